#include "conversation/WhoIsReply.h"

#include <QLabel>
#include <QPalette>
#include <QPushButton>

#include "kanji/QtText.h"
#include "widgets/FormFont.h"

namespace tavi {

namespace {

constexpr int ClientWidth = 250;
constexpr int ClientHeight = 357;
constexpr int RowHeight = 40;

QLabel* MakeLabel(QWidget* Parent, const char* Name, const QString& Text, int Left, int Top) {
  auto* label = new QLabel(Text, Parent);
  label->setObjectName(QString::fromLatin1(Name));
  label->setGeometry(Left, Top, ClientWidth - Left - 8, 16);
  // The values are server text: shown as they are, never read as markup.
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

TWhoIsReplyForm::TWhoIsReplyForm(QWidget* Owner) : TCommandDialog(Owner, true) {
  setObjectName(QStringLiteral("WhoIsReplyForm"));
  // Being shown is not being active.
  SetActivateOn(TActivateOn::ActivationOnly);
  ApplyFormFont(this);
  setWindowTitle(Ui(u8"情報表示"));
  setFixedSize(ClientWidth, ClientHeight);

  struct TRow {
    QLabel** Caption;
    const char* CaptionName;
    std::u8string_view Text;
    QLabel** Value;
    const char* ValueName;
  };
  const TRow rows[] = {
      {&Label1, "Label1", u8"ニックネーム：", &NickNameLabel, "NickNameLabel"},
      {&Label2, "Label2", u8"ログイン名：", &LoginNameLabel, "LoginNameLabel"},
      {&Label3, "Label3", u8"ホスト名：", &HostNameLabel, "HostNameLabel"},
      {&Label4, "Label4", u8"本名：", &RealNameLabel, "RealNameLabel"},
      {&Label5, "Label5", u8"サーバー名：", &ServerNameLabel, "ServerNameLabel"},
      {&Label6, "Label6", u8"アイドル時間：", &IdleTimeLabel, "IdleTimeLabel"},
      {&Label7, "Label7", u8"参加しているチャンネル名：", &ChannelNameLabel, "ChannelNameLabel"},
  };
  int top = 8;
  for (const TRow& row : rows) {
    *row.Caption = MakeLabel(this, row.CaptionName, Ui(row.Text), 8, top);
    *row.Value = MakeLabel(this, row.ValueName, QString(), 24, top + 17);
    top += RowHeight;
  }
  IRCOperatorLabel = MakeLabel(this, "IRCOperatorLabel", QString(), 8, top + 4);

  CloseButton = new QPushButton(Ui(u8"閉じる"), this);
  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setGeometry((ClientWidth - 75) / 2, ClientHeight - 33, 75, 25);
  CloseButton->setDefault(true);
  connect(CloseButton, &QPushButton::clicked, this, &TWhoIsReplyForm::CloseButtonClick);
}

void TWhoIsReplyForm::SetValueColor(const QColor& Color) {
  for (QLabel* label : {NickNameLabel, LoginNameLabel, HostNameLabel, RealNameLabel, ServerNameLabel, IdleTimeLabel,
                        ChannelNameLabel})
    SetLabelColor(label, Color);
}

void TWhoIsReplyForm::SetLabelColor(QLabel* Label, const QColor& Color) {
  QPalette palette = Label->palette();
  palette.setColor(QPalette::WindowText, Color);
  Label->setPalette(palette);
}

QColor TWhoIsReplyForm::LabelColor(const QLabel* Label) { return Label->palette().color(QPalette::WindowText); }

void TWhoIsReplyForm::CloseButtonClick() { close(); }

void TWhoIsReplyForm::FormActivate() { WasActivated = true; }

void TWhoIsReplyForm::FormDeactivate() {
  if (WasActivated) TCommandDialog::FormDeactivate();
}

}  // namespace tavi
