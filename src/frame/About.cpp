#include "frame/About.h"

#include <QApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <string_view>

#include "kanji/QtText.h"
#include "platform/Platform.h"
#include "widgets/FormFont.h"
#include "core/GetVerInfoUnit.h"

namespace tavi {

namespace {

// The file name is the system's, not text of ours: shown as the system names it.
QString LocalText(const std::string& Text) {
  return QString::fromLocal8Bit(Text.data(), static_cast<qsizetype>(Text.size()));
}

// The program ships no image files: the application's icon when one is set,
// else a painted speech balloon.
QPixmap ProgramPixmap() {
  const QIcon appIcon = QApplication::windowIcon();
  if (!appIcon.isNull()) {
    const QPixmap pixmap = appIcon.pixmap(32, 32);
    if (!pixmap.isNull()) return pixmap;
  }
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 64, 160));
  p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
  QPainterPath balloon;
  balloon.addEllipse(QRectF(5, 6, 22, 15));
  balloon.moveTo(10, 18);
  balloon.lineTo(8, 27);
  balloon.lineTo(16, 20);
  p.setBrush(Qt::white);
  p.drawPath(balloon.simplified());
  p.setBrush(QColor(0, 128, 0));
  for (int x : {10, 15, 20}) p.drawEllipse(QRectF(x, 12, 3, 3));
  return pixmap;
}

constexpr int ClientWidth = 298;
constexpr int ClientHeight = 213;

}  // namespace

TAboutBox::TAboutBox(QWidget* Owner) : TCommandDialog(Owner, true) {
  setObjectName(QStringLiteral("AboutBox"));
  ApplyFormFont(this);
  setWindowTitle(Ui(u8"バージョン情報"));
  setFixedSize(ClientWidth, ClientHeight);
  BuildControls();
  FormCreate();
  // Centred on the screen rather than over the owner.
  if (QScreen* screen = QGuiApplication::primaryScreen())
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
}

void TAboutBox::BuildControls() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  // Lowered outside, raised inside.
  Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
  Panel1->setLineWidth(1);
  Panel1->setMidLineWidth(0);
  Panel1->setGeometry(8, 8, 282, 161);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
  ProgramIcon->setGeometry(8, 8, 65, 57);
  ProgramIcon->setScaledContents(true);
  ProgramIcon->setPixmap(ProgramPixmap());

  auto label = [this](const char* Name, const QString& Text, int Left, int Top, int Width, int Height) {
    auto* l = new QLabel(Text, Panel1);
    l->setObjectName(QString::fromLatin1(Name));
    l->setGeometry(Left, Top, Width, Height);
    return l;
  };
  ProductName = label("ProductName", QString(), 88, 16, 186, 16);
  Version = label("Version", QString(), 88, 40, 186, 16);
  Copyright = label("Copyright", Ui(u8"Tavi 開発チーム"), 8, 72, 266, 16);
  Comments = label("Comments", Ui(u8"コメント"), 8, 92, 266, 28);
  Comments->setWordWrap(true);
  Comments->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label1 = label("Label1", Ui(u8"お気づきの点がありましたら、下記まで"), 8, 124, 266, 16);
  Label2 = label("Label2", Ui(u8"tavi-dev@example.org"), 8, 140, 266, 16);
  Label2->setTextInteractionFlags(Qt::TextSelectableByMouse);

  OKButton = new QPushButton(Ui(u8"OK"), this);
  OKButton->setObjectName(QStringLiteral("OKButton"));
  OKButton->setGeometry((ClientWidth - 75) / 2, 178, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);
}

void TAboutBox::FormCreate() {
  const std::string program = Platform().ProgramFilePath();
  ProductName->setText(QStringLiteral("ProductName : ") + LocalText(ExtractFileName(program)));
  Version->setText(QStringLiteral("Version : ") + QText(GetVerInfo(program, "ProductVersion")));
}

void TAboutBox::OKButtonClick() { close(); }

}  // namespace tavi
