// TMainForm: the top bar of file commands, the bottom strip with the home-page, about and
// quit buttons, and the progress the codec library reports.
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIcon>
#include <QToolButton>
#include <QUrl>

#include "about_box.h"
#include "main_form.h"
#include "maker_info.h"
#include "picture_button.h"
#include "progress_status_bar.h"

namespace glim {

namespace {
QToolButton* flatButton(const QString& icon, const QString& caption, const QString& hint,
                        QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setIcon(QIcon(icon));
  button->setText(caption);
  button->setToolTip(hint);
  button->setAutoRaise(true);
  button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  return button;
}

QPixmap artwork(const char* name) {
  return QIcon(QStringLiteral(":/art/") + QLatin1String(name)).pixmap(101, 30);
}
}  // namespace

QWidget* TMainForm::buildTopBar() {
  auto* bar = new QWidget(this);
  bar->setFixedHeight(27);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  NewBtn = flatButton(QStringLiteral(":/art/new.svg"), QStringLiteral("&New"),
                      QStringLiteral("Create new Photo collection"), bar);
  OpenBtn = flatButton(QStringLiteral(":/art/open.svg"), QStringLiteral("Open..."),
                       QStringLiteral("Open album..."), bar);
  SaveBtn = flatButton(QStringLiteral(":/art/save.svg"), QStringLiteral("Save"),
                       QStringLiteral("Save album"), bar);
  SaveAsBtn = flatButton(QStringLiteral(":/art/saveas.svg"), QStringLiteral("Save as..."),
                         QStringLiteral("Save album as..."), bar);
  for (QToolButton* button : {NewBtn, OpenBtn, SaveBtn, SaveAsBtn}) {
    button->setFixedSize(121, 27);
    layout->addWidget(button);
  }
  layout->addStretch(1);
  connect(NewBtn, &QToolButton::clicked, this, &TMainForm::NewBtnClick);
  connect(OpenBtn, &QToolButton::clicked, this, &TMainForm::OpenBtnClick);
  connect(SaveBtn, &QToolButton::clicked, this, &TMainForm::SaveBtnClick);
  connect(SaveAsBtn, &QToolButton::clicked, this, &TMainForm::SaveAsBtnClick);
  return bar;
}

QWidget* TMainForm::buildBottomBar() {
  auto* Panel7 = new QWidget(this);
  Panel7->setFixedHeight(41);
  wwwBtn = flatButton(QStringLiteral(":/art/web.svg"), QString::fromUtf8(maker::kHomePageCaption),
                      QStringLiteral("Go to the Tulbrin homepage..."), Panel7);
  wwwBtn->setGeometry(5, 5, 137, 33);
  connect(wwwBtn, &QToolButton::clicked, this, &TMainForm::wwwBtnClick);

  auto* Panel8 = new QWidget(Panel7);
  Panel8->setFixedSize(210, 41);
  ueberbtn = new PictureButton(artwork("about.svg"), artwork("about_down.svg"), true, Panel8);
  ueberbtn->move(1, 4);
  ueberbtn->setText(QStringLiteral("Info"));  // the words on its picture
  ueberbtn->setHint(QStringLiteral("Information about the program"));
  connect(ueberbtn, &PictureButton::clicked, this, &TMainForm::ueberbtnClick);
  EndeBtn = new PictureButton(artwork("quit.svg"), artwork("quit_down.svg"), false, Panel8);
  EndeBtn->move(105, 4);
  EndeBtn->setText(QStringLiteral("Quit"));
  EndeBtn->setHint(QStringLiteral("Hereby you leave the program"));
  connect(EndeBtn, &PictureButton::clicked, this, &TMainForm::EndeBtnClick);

  auto* layout = new QHBoxLayout(Panel7);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addSpacing(5 + 137);  // wwwBtn sits at its own place
  layout->addStretch(1);
  layout->addWidget(Panel8);
  return Panel7;
}

bool TMainForm::EndePressed() const {
  return EndeBtn->pressedFlag();
}
bool TMainForm::UeberPressed() const {
  return ueberbtn->pressedFlag();
}
bool TMainForm::GoPressed() const {
  return GoBtn1->pressedFlag();
}

void TMainForm::EndeBtnClick() {
  EndeBtn->resetImages();
  close();  // the close query decides
}

void TMainForm::ueberbtnClick() {
  TAboutBox box(this);
  ueberbtn->resetImages();
  box.exec();
}

void TMainForm::wwwBtnClick() {
  QDesktopServices::openUrl(QUrl(QString::fromUtf8(maker::kHomePageAddress)));
}

void TMainForm::WMUser(intptr_t wparam) {
  SetProStatus(static_cast<int32_t>(wparam));
}

void TMainForm::SetProStatus(int32_t value) {
  StatusBar1->SetProStatus(value);
}

}  // namespace glim
