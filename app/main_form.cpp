// TMainForm: creation, destruction, closing and the three picture lists.
#include "main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstring>

#include "album_text.h"
#include "paths.h"
#include "progress_status_bar.h"
#include "qt_user_dialogs.h"
#include "shell_browser.h"

namespace glim {

namespace {
void sendToMainForm(PicoWindow* window, uint32_t message, intptr_t wparam, intptr_t) {
  auto* handle = reinterpret_cast<MainWindowHandle*>(window);
  if (message == PICODEC_WM_USER && handle->form) handle->form->WMUser(wparam);
}
}  // namespace

TMainForm::TMainForm(UserDialogs* dialogs, QWidget* parent)
    : QWidget(parent), handle_{{&sendToMainForm}, this} {
  if (!dialogs) {
    ownDialogs_ = std::make_unique<QtUserDialogs>(this);
    dialogs = ownDialogs_.get();
  }
  dialogs_ = dialogs;

  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(11);
  setFont(font);
  setAttribute(Qt::WA_AlwaysShowToolTips);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(buildTopBar());
  PageControl1 = new QTabWidget(this);
  PageControl1->addTab(buildAddPage(), QIcon(QStringLiteral(":/art/tab_add.svg")),
                       QStringLiteral("Add picture"));
  PageControl1->addTab(buildSortPage(), QIcon(QStringLiteral(":/art/tab_sort.svg")),
                       QStringLiteral("Sort"));
  PageControl1->addTab(buildCommentsPage(), QIcon(QStringLiteral(":/art/tab_comment.svg")),
                       QStringLiteral("Comments"));
  PageControl1->addTab(buildCreatePage(), QIcon(QStringLiteral(":/art/tab_create.svg")),
                       QStringLiteral("Create Glimmervellium"));
  PageControl1->addTab(buildResultPage(), QIcon(QStringLiteral(":/art/tab_view.svg")),
                       QStringLiteral("View result"));
  PageControl1->tabBar()->setAttribute(Qt::WA_Hover);  // tabs highlight under the mouse
  layout->addWidget(PageControl1, 1);
  layout->addWidget(buildBottomBar());
  StatusBar1 = new ProgressStatusBar(this);
  layout->addWidget(StatusBar1);
  connectListEditing();
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &TMainForm::cancelButtonKey);

  resize(638, 512);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  FormCreate();
}

TMainForm::~TMainForm() {
  FormDestroy();
}

void TMainForm::FormCreate() {
  album.ProgramDir = withTrailingSeparator(pathBytes(QCoreApplication::applicationDirPath()));
  // The album dialogs start in ProgramDir (albumFileDialog reads it each time).

  const char* filter = GetDIBOpenFilter();
  fileTypes_ = parseFileTypeFilter(filter ? std::string_view(filter) : std::string_view());
  {
    const QSignalBlocker quiet(FilterComboBox1);
    FilterComboBox1->clear();
    for (const FileTypeChoice& choice : fileTypes_) FilterComboBox1->addItem(choice.description);
    FilterComboBox1->setCurrentIndex(fileTypes_.empty() ? -1 : 0);
  }
  FilterComboBox1Change();

  newdib(&currentPicture, 320, 200, 24, nullptr, 0);
  if (currentPicture.Pixels && currentPicture.Header) {
    std::memset(currentPicture.Pixels, 255, currentPicture.Header->biSizeImage);
  }

  shellBrowser_->openFolder(pathText(album.ProgramDir));
  ChangeImageBox();
  Setsavedfilename(std::string());
}

void TMainForm::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  handle_.form = nullptr;
  deldib(currentPicture);
  currentPicture = DibImage{};
  album.DelallPics();
}

bool TMainForm::FormCloseQuery() {
  return ask("Hereby you quit the program! All data not saved will be lost!", "Quit program") ==
         MessageAnswer::Ok;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (FormCloseQuery()) {
    event->accept();
  } else {
    event->ignore();
  }
}

MessageAnswer TMainForm::ask(const char* text, const char* caption) {
  return dialogs_->showMessage({text, caption, MessageButtons::OkCancel, MessageIcon::Information});
}

void TMainForm::Setsavedfilename(const std::string& path) {
  album.Setsavedfilename(path);
  setWindowTitle(albumText(windowCaption(album.SavedFileName)));
}

void TMainForm::UpdateListBox() {
  // Check marks set while the lines are made must not reach ImageBoxClickCheck.
  const QSignalBlocker quiet(ImageBox);
  ImageList->clear();
  ImageBox->clear();
  SortBox->clear();
  for (const PictureEntry& entry : album.entries()) {
    const QString name = albumText(fileNamePart(entry.FilePath));
    ImageList->addItem(name);
    auto* line = new QListWidgetItem(name, ImageBox);
    line->setFlags(line->flags() | Qt::ItemIsUserCheckable);
    line->setCheckState(entry.CheckMark ? Qt::Checked : Qt::Unchecked);
    SortBox->addItem(name);
  }
  const bool any = album.EntryCount() > 0;
  ViewBtn->setEnabled(any);
  PrintBtn->setEnabled(any);
  DelBtn->setEnabled(any);
  if (any) {
    ImageList->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    ImageBox->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    SortBox->setCurrentRow(0);
  }
  ChangeImageBox();
}

void TMainForm::ChangeImageBox() {
  album.Updating = true;
  const int line = ImageBox->currentRow();
  if (line < 0 || line >= album.EntryCount()) {
    ShowComment->setEnabled(false);
    ComMemo->setEnabled(false);
    ComMemo->clear();
  } else {
    ShowComment->setEnabled(true);
    ComMemo->setEnabled(true);
    const PictureEntry& entry = album.entry(line);
    ShowComment->setChecked(entry.ShowFlag);
    ComMemo->setPlainText(albumText(entry.commentText()));
  }
  album.Updating = false;
}

}  // namespace glim
