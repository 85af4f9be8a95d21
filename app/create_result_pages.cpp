// TMainForm: the "Create Glimmervellium" page, whose fields are the album's creation
// settings, and the "View result" page with the browser that shows the created album.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "album_generation.h"
#include "album_text.h"
#include "form_storage.h"
#include "main_form.h"
#include "page_parts.h"
#include "paths.h"
#include "picture_button.h"
#include "picture_work.h"
#include "run_guard.h"
#include "spin_field.h"

namespace glim {

namespace {
QSpinBox* spinField(IntRange range, int32_t value, QWidget* parent) {
  auto* field = new SpinField(range.min, range.max, value, parent);
  field->setFixedWidth(70);
  return field;
}

// Groups kept tight, so that the page fits the window's first size.
QFormLayout* compactForm(QGroupBox* group) {
  auto* form = new QFormLayout(group);
  form->setContentsMargins(8, 4, 8, 4);
  form->setVerticalSpacing(2);
  return form;
}

// A group box with one control of its own at its top right, beside its form rather than in it,
// so that none of the form's fields moves: aligned with the form's first field.
class CornerGroupBox : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;
  void setCorner(QWidget* corner, QWidget* alignedWith) {
    corner_ = corner;
    alignedWith_ = alignedWith;
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QGroupBox::resizeEvent(event);
    if (corner_ != nullptr) corner_->move(width() - corner_->width() - 8, alignedWith_->y());
  }

 private:
  QWidget* corner_ = nullptr;
  QWidget* alignedWith_ = nullptr;
};

QColor swatchColor(uint32_t value) {
  return QColor(int(value & 0xFF), int(value >> 8 & 0xFF), int(value >> 16 & 0xFF));
}
}  // namespace

QWidget* TMainForm::buildCreatePage() {
  const AlbumSettings defaults;
  auto* content = new QWidget;
  auto* layout = new QHBoxLayout(content);
  layout->setContentsMargins(0, 0, 4, 0);
  layout->addWidget(makeDecorativePanel(QStringLiteral(":/art/create_picture.svg"),
                                        QStringLiteral("Create Glimmervellium..."), content));
  auto* right = new QVBoxLayout;
  right->setSpacing(3);
  layout->addLayout(right, 1);

  auto* Panel27 = new QWidget(content);
  Panel27->setFixedHeight(36);
  GoBtn1 =
      new PictureButton(QIcon(QStringLiteral(":/art/go.svg")).pixmap(101, 30),
                        QIcon(QStringLiteral(":/art/go_down.svg")).pixmap(101, 30), true, Panel27);
  GoBtn1->move(8, 3);
  GoBtn1->setText(QStringLiteral("Create!"));  // the words on its picture
  GoBtn1->setHint(QStringLiteral("Create HTML file!"));
  connect(GoBtn1, &PictureButton::clicked, this, &TMainForm::GoBtn1Click);
  Shape1 = new QFrame(Panel27);
  Shape1->setGeometry(130, 5, 25, 25);
  Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
  Shape1->setAutoFillBackground(true);
  ColorBtn = new QPushButton(QStringLiteral("Background color..."), Panel27);
  ColorBtn->setGeometry(164, 5, 130, 25);
  connect(ColorBtn, &QPushButton::clicked, this, &TMainForm::ColorBtnClick);
  right->addWidget(Panel27);

  auto* thumbs = new CornerGroupBox(QStringLiteral("Thumbnails"), content);
  auto* thumbsForm = compactForm(thumbs);
  BreitEd = spinField(kThumbSizeRange, defaults.thumbWidth, thumbs);
  HochEd = spinField(kThumbSizeRange, defaults.thumbHeight, thumbs);
  thumbsForm->addRow(QStringLiteral("Width:"), BreitEd);
  thumbsForm->addRow(QStringLiteral("Height:"), HochEd);
  right->addWidget(thumbs);

  auto* overview = new QGroupBox(QStringLiteral("Overview"), content);
  auto* overviewForm = compactForm(overview);
  CaptionED = new QLineEdit(albumText(defaults.caption), overview);
  FreeText = new QLineEdit(albumText(defaults.freeText), overview);
  AnzEd = spinField(kPerLineRange, defaults.perLine, overview);
  BorderEd = spinField(kBorderRange, defaults.borderWidth, overview);
  overviewForm->addRow(QStringLiteral("Caption:"), CaptionED);
  overviewForm->addRow(QStringLiteral("Free text:"), FreeText);
  overviewForm->addRow(QStringLiteral("Thumbnails per line:"), AnzEd);
  overviewForm->addRow(QStringLiteral("Border width:"), BorderEd);
  right->addWidget(overview);

  auto* detail = new QGroupBox(QStringLiteral("Detail view"), content);
  auto* detailForm = compactForm(detail);
  Caption2ED = new QLineEdit(albumText(defaults.detailCaption), detail);
  Border2ED = spinField(kBorderRange, defaults.detailBorderWidth, detail);
  detailForm->addRow(QStringLiteral("Caption:"), Caption2ED);
  detailForm->addRow(QStringLiteral("Border width:"), Border2ED);
  right->addWidget(detail);

  // Beside the colour button, so that none of the page's fields moves; the choice as wide as
  // its longest text needs and no wider, with the panel at least that wide, so that nothing of
  // it is cut off and the rest of the row stays free.
  auto* styleLabel = new QLabel(QStringLiteral("Style:"), Panel27);
  styleLabel->setGeometry(304, 5, std::max(36, styleLabel->sizeHint().width()), 25);
  StyleBox = new QComboBox(Panel27);
  StyleBox->addItems({QStringLiteral("Classic"), QStringLiteral("Modern")});
  StyleBox->setGeometry(styleLabel->geometry().right() + 1, 5, StyleBox->sizeHint().width(), 25);
  StyleBox->setAccessibleName(QStringLiteral("Page style"));
  StyleBox->view()->setAccessibleName(QStringLiteral("Page styles"));
  styleLabel->setBuddy(StyleBox);
  // Under the style, in the free room at the right of the thumbnail fields: the row of the
  // style is full at the window's first size, and no other control moves.
  UpdateCheck = new QCheckBox(QStringLiteral("Update in place"), thumbs);
  UpdateCheck->resize(UpdateCheck->sizeHint().width(), BreitEd->sizeHint().height());
  thumbs->setCorner(UpdateCheck, BreitEd);
  UpdateCheck->setToolTip(
      QStringLiteral("Update the album already in the folder: only what changed is made again"));
  Panel27->setMinimumWidth(StyleBox->geometry().right() + 1);
  {
    const std::unique_ptr<QSettings> stored = openProgramSettings();
    if (settingsUsable(*stored)) {
      if (stored->value(QStringLiteral("AlbumPages/Style")).toString() == QStringLiteral("Modern"))
        StyleBox->setCurrentIndex(1);
      UpdateCheck->setChecked(stored->value(QStringLiteral("AlbumPages/Update")).toBool());
    }
  }
  connect(StyleBox, &QComboBox::currentIndexChanged, this,
          [this] { storeAlbumPagesValue(QStringLiteral("Style"), StyleBox->currentText()); });
  connect(UpdateCheck, &QCheckBox::toggled, this,
          [this](bool on) { storeAlbumPagesValue(QStringLiteral("Update"), on); });
  right->addStretch(1);

  setBackgroundColor(defaults.backgroundColor);
  return makePage(
      QStringLiteral("Create Glimmervellium - Copy all pictures and create a HTML file "), content);
}

void TMainForm::storeAlbumPagesValue(const QString& name, const QVariant& value) {
  const std::unique_ptr<QSettings> stored = openProgramSettings();
  if (!settingsUsable(*stored)) return;
  stored->setValue(QStringLiteral("AlbumPages/") + name, value);
  stored->sync();
  if (stored->status() != QSettings::NoError && !settingsTrouble_) {
    settingsTrouble_ = true;
    dialogs_->showMessage(errorBox(
        albumBytes(QStringLiteral("The settings could not be saved: %1").arg(stored->fileName()))));
  }
}

bool TMainForm::settingsUsable(const QSettings& settings) {
  const QString problem = settingsFileProblem(settings.fileName());
  if (problem.isEmpty()) return true;
  // Told once a run, after the window has come up.
  if (!settingsTrouble_) {
    settingsTrouble_ = true;
    const std::string text =
        albumBytes(QStringLiteral("The settings could not be read: %1 (%2). The page style is "
                                  "not kept.")
                       .arg(settings.fileName(), problem));
    QTimer::singleShot(0, this, [this, text] { dialogs_->showMessage(errorBox(text)); });
  }
  return false;
}

QWidget* TMainForm::buildResultPage() {
  WebBrowser1 = new QTextBrowser;
  // Links between the album's own pages are followed here; anything else goes to the desktop.
  WebBrowser1->setOpenLinks(false);
  connect(WebBrowser1, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    const bool page =
        url.isLocalFile() && (url.path().endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
                              url.path().endsWith(QLatin1String(".html"), Qt::CaseInsensitive));
    if (page || url.isRelative()) {
      WebBrowser1->setSource(WebBrowser1->source().resolved(url));
    } else {
      QDesktopServices::openUrl(url);
    }
  });
  return makePage(QString(), WebBrowser1);
}

void TMainForm::GoBtn1Click() {
  GoBtn1->resetImages();
  const std::optional<std::string> overview = SaveDialog2(*dialogs_, overviewDialogFolder_);
  if (!overview) return;
  overviewDialogFolder_ = folderPart(*overview);
  GenerationOutcome outcome;
  {
    // The pictures are worked on by every core while the window keeps painting.
    RunGuard guard(this);
    guard.askToStop = [this] { return dialogs_->showMessage(stopRunBox()) == MessageAnswer::Ok; };
    const CreationOptions options{
        usableCores(),
        [&guard] { guard.idle(); },
        [&guard] { guard.wake(); },
        0,
        StyleBox->currentIndex() == 1 ? PageStyle::Modern : PageStyle::Classic,
        [&guard] { return guard.stopRequested(); },
        UpdateCheck->isChecked()};
    outcome = GenerateAlbum(album, currentSettings(), *overview, album.ProgramDir, *dialogs_,
                            windowHandle(), {}, options);
  }
  if (!outcome.overviewWritten) return;
  const QUrl address = QUrl::fromLocalFile(pathText(outcome.overviewPath));
  // The same address again would keep the page of an earlier run: the overview was replaced.
  if (WebBrowser1->source() == address) {
    WebBrowser1->reload();
  } else {
    WebBrowser1->setSource(address);
  }
  PageControl2->setCurrentIndex(4);
}

void TMainForm::setBackgroundColor(uint32_t color) {
  backgroundColor_ = color & 0x00FFFFFFu;
  QPalette palette = Shape1->palette();
  palette.setColor(QPalette::Window, swatchColor(backgroundColor_));
  Shape1->setPalette(palette);
}

void TMainForm::ColorBtnClick() {
  if (const std::optional<uint32_t> chosen = dialogs_->chooseColor(backgroundColor_)) {
    setBackgroundColor(*chosen);
  }
}

// The number a field stands for, including one still being typed into it: the create and
// save buttons do not take the keyboard focus, so the field may not have been left yet.
static int fieldValue(const QSpinBox* field) {
  if (const auto* spin = qobject_cast<const SpinField*>(field))
    return spin->valueForText(spin->cleanText());
  return field->value();
}

AlbumSettings TMainForm::currentSettings() const {
  AlbumSettings settings;
  settings.backgroundColor = backgroundColor_;
  settings.thumbWidth = fieldValue(BreitEd);
  settings.thumbHeight = fieldValue(HochEd);
  settings.caption = albumBytes(CaptionED->text());
  settings.freeText = albumBytes(FreeText->text());
  settings.perLine = fieldValue(AnzEd);
  settings.borderWidth = fieldValue(BorderEd);
  settings.detailCaption = albumBytes(Caption2ED->text());
  settings.detailBorderWidth = fieldValue(Border2ED);
  return settings;
}

void TMainForm::showSettings(const AlbumSettings& settings) {
  setBackgroundColor(settings.backgroundColor);
  BreitEd->setValue(settings.thumbWidth);  // each field clamps to its range
  HochEd->setValue(settings.thumbHeight);
  AnzEd->setValue(settings.perLine);
  BorderEd->setValue(settings.borderWidth);
  Border2ED->setValue(settings.detailBorderWidth);
  CaptionED->setText(albumText(settings.caption));
  FreeText->setText(albumText(settings.freeText));
  Caption2ED->setText(albumText(settings.detailCaption));
}

}  // namespace glim
