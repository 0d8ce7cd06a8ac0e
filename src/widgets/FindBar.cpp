#include "widgets/FindBar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextEdit>
#include <QToolButton>

#include "kanji/QtText.h"
#include "widgets/ConversationPanels.h"
#include "widgets/FormFont.h"

namespace tavi {

template <class TEdit>
TFindBar::TPaneAccess TFindBar::AccessOf(TEdit* Edit) {
  return {Edit->document(), [Edit] { return Edit->textCursor(); },
          [Edit](const QTextCursor& Match) {
            Edit->setTextCursor(Match);
            Edit->ensureCursorVisible();
          }};
}

TFindBar::TFindBar(QTextEdit* Pane, QWidget* Parent) : TFindBar(AccessOf(Pane), Parent) {}
TFindBar::TFindBar(QPlainTextEdit* Pane, QWidget* Parent) : TFindBar(AccessOf(Pane), Parent) {}

TFindBar::TFindBar(TPaneAccess Pane, QWidget* Parent) : QFrame(Parent), pane_(std::move(Pane)) {
  setObjectName(QStringLiteral("FindBar"));
  hide();
  FindShortcut = new QShortcut(QKeySequence::Find, Parent);
  FindShortcut->setContext(Qt::WidgetWithChildrenShortcut);
  connect(FindShortcut, &QShortcut::activated, this, &TFindBar::Open);
}

// Built when first opened: most windows never find in their pane, and
// there may be hundreds of them.
void TFindBar::Build() {
  ApplyFormFont(this);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 2, 2, 2);
  row->setSpacing(2);
  auto* label = new QLabel(QText(U8(u8"検索：")), this);
  FindEdit = new QLineEdit(this);
  FindEdit->setObjectName(QStringLiteral("FindEdit"));
  label->setBuddy(FindEdit);
  auto makeButton = [this](const char* Name, const char8_t* Hint) {
    auto* button = new QToolButton(this);
    button->setObjectName(QLatin1String(Name));
    button->setToolTip(QText(U8(Hint)));
    button->setAutoRaise(true);
    button->setFixedSize(22, 22);
    return button;
  };
  FindPreviousButton = makeButton("FindPreviousButton", u8"前を検索（Shift+Enter）");
  FindPreviousButton->setArrowType(Qt::UpArrow);
  FindNextButton = makeButton("FindNextButton", u8"次を検索（Enter）");
  FindNextButton->setArrowType(Qt::DownArrow);
  FindCloseButton = makeButton("FindCloseButton", u8"検索を閉じる（Esc）");
  FindCloseButton->setIcon(CloseFormIcon());
  FindStatusLabel = new QLabel(this);
  FindStatusLabel->setObjectName(QStringLiteral("FindStatusLabel"));
  row->addWidget(label);
  row->addWidget(FindEdit, 1);
  row->addWidget(FindPreviousButton);
  row->addWidget(FindNextButton);
  row->addWidget(FindStatusLabel);
  row->addWidget(FindCloseButton);

  FindEdit->installEventFilter(this);
  connect(FindNextButton, &QToolButton::clicked, this, [this] { FindNext(false); });
  connect(FindPreviousButton, &QToolButton::clicked, this, [this] { FindNext(true); });
  connect(FindCloseButton, &QToolButton::clicked, this, &TFindBar::Close);
  // Typing finds as it goes: the match grows where it stands.
  connect(FindEdit, &QLineEdit::textEdited, this, [this] {
    QTextCursor from = pane_.Cursor();
    from.setPosition(from.selectionStart());
    FindFrom(from, false);
  });
}

void TFindBar::Open() {
  if (!FindEdit) Build();
  QWidget* focus = QApplication::focusWidget();
  if (focus && !isAncestorOf(focus)) returnFocus_ = focus;
  show();
  FindEdit->setFocus(Qt::ShortcutFocusReason);
  FindEdit->selectAll();
}

void TFindBar::Close() {
  hide();
  if (FindStatusLabel) FindStatusLabel->clear();
  if (returnFocus_) returnFocus_->setFocus(Qt::OtherFocusReason);
}

bool TFindBar::FindNext(bool Backward) { return FindFrom(pane_.Cursor(), Backward); }

bool TFindBar::FindFrom(QTextCursor From, bool Backward) {
  if (!FindEdit) return false;  // nothing to find before it was opened
  const QString text = FindEdit->text();
  FindStatusLabel->clear();
  FindStatusLabel->setStyleSheet(QString());
  if (text.isEmpty()) return false;
  const QTextDocument::FindFlags flags = Backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
  QTextCursor match = pane_.Document->find(text, From, flags);
  if (match.isNull()) {
    QTextCursor edge(pane_.Document);
    if (Backward) edge.movePosition(QTextCursor::End);
    match = pane_.Document->find(text, edge, flags);
    if (!match.isNull())
      FindStatusLabel->setText(QText(Backward ? U8(u8"末尾から続けて検索しました") : U8(u8"先頭から続けて検索しました")));
  }
  if (match.isNull()) {
    FindStatusLabel->setText(QText(U8(u8"見つかりません")));
    FindStatusLabel->setStyleSheet(QStringLiteral("color: #c00000"));
    return false;
  }
  pane_.Select(match);
  return true;
}

bool TFindBar::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched != FindEdit) return false;
  const bool press = Event->type() == QEvent::KeyPress;
  if (!press && Event->type() != QEvent::ShortcutOverride) return false;
  auto* key = static_cast<QKeyEvent*>(Event);
  switch (key->key()) {
    case Qt::Key_Escape:
      // Ours before any shortcut of the window's.
      if (press) Close();
      Event->accept();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (press) FindNext(key->modifiers().testFlag(Qt::ShiftModifier));
      Event->accept();
      return true;
    default:
      return false;
  }
}

}  // namespace tavi
