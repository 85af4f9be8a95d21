#include "about_box.h"

#include <QDate>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QUrl>

#include "maker_info.h"

namespace glim {

QString replaceFirstYearPlaceholder(QString text, int year) {
  const qsizetype at = text.indexOf(QLatin1String("XXXX"));
  if (at < 0) return text;
  text.remove(at, 4);
  text.insert(at, QString::number(year));
  return text;
}

namespace {
QLabel* placedLabel(QWidget* parent, const char* text, int x, int y) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->move(x, y);
  label->adjustSize();
  return label;
}
}  // namespace

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
  setWindowTitle(QStringLiteral("Info"));
  setFixedSize(664, 453);
  setModal(true);

  Panel1 = new QFrame(this);
  Panel1->setGeometry(8, 8, 649, 385);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(2);
  Panel1->setAutoFillBackground(true);
  QPalette banner = Panel1->palette();
  banner.setColor(QPalette::Window, QColor(240, 202, 166));
  banner.setColor(QPalette::WindowText, Qt::black);
  Panel1->setPalette(banner);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setGeometry(16, 40, 306, 322);
  ProgramIcon->setScaledContents(true);
  ProgramIcon->setPixmap(QIcon(QStringLiteral(":/art/about_picture.svg")).pixmap(306, 322));

  ProductName = placedLabel(Panel1, maker::kProductName, 8, 8);
  QFont heading(QStringLiteral("Arial Narrow"));
  heading.setPixelSize(24);
  heading.setBold(true);
  ProductName->setFont(heading);
  ProductName->adjustSize();

  Copyright = placedLabel(Panel1, maker::kCopyright, 336, 40);
  Comments = placedLabel(Panel1, maker::kComments, 336, 56);
  Comments->setWordWrap(true);
  Comments->resize(257, 33);
  Label1 = placedLabel(Panel1, maker::kLabel1, 336, 96);
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->adjustSize();
  Label2 = placedLabel(Panel1, maker::kLabel2, 336, 112);
  Label3 = placedLabel(Panel1, maker::kLabel3, 336, 128);
  Label3->setWordWrap(true);
  Label3->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label3->resize(238, 121);

  BitBtnXP1 = new QPushButton(QIcon(QStringLiteral(":/art/web.svg")),
                              QString::fromUtf8(maker::kWebSiteCaption), Panel1);
  BitBtnXP1->setGeometry(336, 240, 169, 25);
  BitBtnXP1->setAutoDefault(false);
  connect(BitBtnXP1, &QPushButton::clicked, this, &TAboutBox::BitBtnXP1Click);

  BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
  BitBtn1->setGeometry(241, 404, 181, 37);
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());  // centred on the screen
  }
  FormCreate();
}

void TAboutBox::FormCreate() {
  Copyright->setText(replaceFirstYearPlaceholder(Copyright->text(), QDate::currentDate().year()));
  Copyright->adjustSize();
}

void TAboutBox::BitBtnXP1Click() {
  // The result is not examined: a missing browser is the desktop's business.
  QDesktopServices::openUrl(QUrl(QString::fromUtf8(maker::kWebSiteAddress)));
}

}  // namespace glim
