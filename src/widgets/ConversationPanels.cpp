#include "widgets/ConversationPanels.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>

#include "kanji/QtText.h"
#include "widgets/FormFont.h"
#include "widgets/MdiChildForm.h"

namespace tavi {

QVBoxLayout* MakeConversationColumn(TMdiChildForm* Form, int HelpContext, QWidget*& Content) {
  Form->setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                       Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  Form->setMinimumSize(ConversationMinimumSize);
  Form->setProperty("helpContext", HelpContext);
  Content = new QWidget(Form);
  auto* column = new QVBoxLayout(Content);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  return column;
}

QIcon CloseFormIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setPen(QPen(QColor(128, 0, 0), 2));
  p.drawLine(4, 4, 11, 11);
  p.drawLine(11, 4, 4, 11);
  return QIcon(pixmap);
}

QFrame* MakeSpeedButtonPanel(QWidget* Parent, QHBoxLayout*& Row) {
  auto* panel = new QFrame(Parent);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFixedHeight(26);
  Row = new QHBoxLayout(panel);
  Row->setContentsMargins(2, 2, 2, 2);
  Row->setSpacing(0);
  Row->addStretch(1);
  return panel;
}

QToolButton* AddSpeedButton(QFrame* Panel, QHBoxLayout* Row, const char* Name, const char8_t* Hint, const QIcon& Icon) {
  auto* button = new QToolButton(Panel);
  button->setObjectName(QLatin1String(Name));
  button->setToolTip(QText(U8(Hint)));
  button->setIcon(Icon);
  button->setIconSize(QSize(16, 16));
  button->setAutoRaise(true);
  button->setFixedSize(22, 22);
  // Before the closing stretch, so that the buttons stay on the left.
  Row->insertWidget(Row->count() - 1, button);
  return button;
}

QFrame* MakeSendPanel(QWidget* Parent, QLabel*& Label1, QLineEdit*& SendEdit) {
  auto* panel = new QFrame(Parent);
  panel->setObjectName(QStringLiteral("Panel2"));
  panel->setFixedHeight(34);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(4, 4, 4, 4);
  Label1 = new QLabel(QText(U8(u8"発言：")), panel);
  Label1->setObjectName(QStringLiteral("Label1"));
  SendEdit = new QLineEdit(panel);
  SendEdit->setObjectName(QStringLiteral("SendEdit"));
  SendEdit->setFont(FormFont(16));
  Label1->setBuddy(SendEdit);
  row->addWidget(Label1);
  row->addWidget(SendEdit, 1);
  return panel;
}

}  // namespace tavi
