#include "widgets/WritingChoice.h"

#include <QActionGroup>
#include <QMenu>

#include "kanji/QtText.h"
#include "platform/Platform.h"

namespace tavi {

QMenu* AddWritingMenu(QMenu* Menu, std::function<TWriting*()> Writing) {
  QMenu* sub = Menu->addMenu(Ui(u8"送信する文字コード"));
  sub->setObjectName(QStringLiteral("WritingMenu"));
  auto* group = new QActionGroup(sub);
  for (TWireEncoding encoding : {TWireEncoding::Ascii, TWireEncoding::Jis, TWireEncoding::Sjis, TWireEncoding::Utf8}) {
    QAction* action = sub->addAction(QText(encoding == TWireEncoding::Ascii ? U8(u8"自動（参加者の文字コード）")
                                                                             : EncodingName(encoding)));
    action->setCheckable(true);
    action->setData(static_cast<int>(encoding));
    group->addAction(action);
    QObject::connect(action, &QAction::triggered, sub, [Writing, encoding] {
      if (TWriting* writing = Writing()) writing->Chosen = encoding;
    });
  }
  QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, Writing] {
    const TWriting* writing = Writing();
    for (QAction* action : sub->actions())
      action->setChecked(writing && action->data().toInt() == static_cast<int>(writing->Chosen));
  });
  return sub;
}

bool ChooseSending(const std::string& Text, TWireEncoding Encoding, TWireEncoding& As) {
  As = TWireEncoding::Ascii;
  const std::u32string lost = UnencodableCharacters(Text, Encoding);
  if (lost.empty()) return true;
  std::string shown;
  for (char32_t c : lost) {
    if (!shown.empty()) shown += " ";
    shown += StdText(QString::fromUcs4(&c, 1));
  }
  const int choice = Platform().AskChoice(
      U8(u8"次の文字は ") + EncodingName(Encoding) + U8(u8" で送れません：\r\n") + shown +
          U8(u8"\r\nUTF-8 で送るか、〓 に置き換えて送るかを選んでください。"),
      {U8(u8"UTF-8 で送信"), U8(u8"〓 に置き換えて送信"), U8(u8"送信しない")});
  if (choice == 0) As = TWireEncoding::Utf8;
  if (choice == 1) As = Encoding;
  return choice == 0 || choice == 1;
}

}  // namespace tavi
