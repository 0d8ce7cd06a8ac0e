// The answer to WHOIS and WHOWAS: one value label under each caption label.
#pragma once

#include <QColor>

#include "dialogs/CommandDialog.h"

class QLabel;
class QPushButton;

namespace tavi {

class TWhoIsReplyForm : public TCommandDialog {
  Q_OBJECT
 public:
  explicit TWhoIsReplyForm(QWidget* Owner);

  // Caption labels.
  QLabel* Label1 = nullptr;  // "ニックネーム："
  QLabel* Label2 = nullptr;  // "ログイン名："
  QLabel* Label3 = nullptr;  // "ホスト名："
  QLabel* Label4 = nullptr;  // "本名："
  QLabel* Label5 = nullptr;  // "サーバー名："
  QLabel* Label6 = nullptr;  // "アイドル時間："
  QLabel* Label7 = nullptr;  // "参加しているチャンネル名："
  // Value labels.
  QLabel* NickNameLabel = nullptr;
  QLabel* LoginNameLabel = nullptr;
  QLabel* HostNameLabel = nullptr;
  QLabel* RealNameLabel = nullptr;
  QLabel* ServerNameLabel = nullptr;
  QLabel* IdleTimeLabel = nullptr;
  QLabel* ChannelNameLabel = nullptr;
  QLabel* IRCOperatorLabel = nullptr;
  QPushButton* CloseButton = nullptr;

  // Set once the window has been active; only then does losing the
  // activation close it, so a window shown behind another stays.
  bool WasActivated = false;

  // The font colour of the seven value labels.
  void SetValueColor(const QColor& Color);
  static void SetLabelColor(QLabel* Label, const QColor& Color);
  static QColor LabelColor(const QLabel* Label);

  void CloseButtonClick();
  void FormActivate() override;
  void FormDeactivate() override;
};

}  // namespace tavi
