// The strips the conversation windows share: the speed-button panel at the
// top and the "発言：" input panel at the bottom.
#pragma once

#include <QIcon>
#include <QSize>

class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QToolButton;
class QVBoxLayout;
class QWidget;

namespace tavi {

class TMdiChildForm;

// The least a conversation window can be made: its strips, and room for a
// few lines and the member pane.
inline constexpr QSize ConversationMinimumSize(260, 170);

// Makes Form a conversation window (title, system menu, minimise, maximise
// and close; resizable down to ConversationMinimumSize; HelpContext for F1)
// and gives the content widget whose column holds the strips and panes, top
// to bottom.
QVBoxLayout* MakeConversationColumn(TMdiChildForm* Form, int HelpContext, QWidget*& Content);

// A red cross in a 16 x 16 square.
QIcon CloseFormIcon();

// Panel1, 26 high; its buttons go into the returned row, left to right.
QFrame* MakeSpeedButtonPanel(QWidget* Parent, QHBoxLayout*& Row);
// A flat 22 x 22 button with a hint, added to Row.
QToolButton* AddSpeedButton(QFrame* Panel, QHBoxLayout* Row, const char* Name, const char8_t* Hint, const QIcon& Icon);

// Panel2, 34 high, with Label1 and SendEdit (in the 16-pixel font).
QFrame* MakeSendPanel(QWidget* Parent, QLabel*& Label1, QLineEdit*& SendEdit);

}  // namespace tavi
