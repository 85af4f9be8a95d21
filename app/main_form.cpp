// TMainForm: creation, destruction, closing and the three picture lists.
#include "main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cstring>
#include <vector>

#include "album_text.h"
#include "focus_frame.h"
#include "line_size_cache.h"
#include "paths.h"
#include "picture_button.h"
#include "print_job.h"
#include "progress_status_bar.h"
#include "qt_user_dialogs.h"
#include "read_ahead.h"
#include "shell_browser.h"
#include "window_placement.h"

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
  PageControl2 = new QTabWidget(this);
  PageControl2->addTab(buildAddPage(), QIcon(QStringLiteral(":/art/tab_add.svg")),
                       QStringLiteral("Add picture"));
  PageControl2->addTab(buildSortPage(), QIcon(QStringLiteral(":/art/tab_sort.svg")),
                       QStringLiteral("Sort"));
  PageControl2->addTab(buildCommentsPage(), QIcon(QStringLiteral(":/art/tab_comment.svg")),
                       QStringLiteral("Comments"));
  PageControl2->addTab(buildCreatePage(), QIcon(QStringLiteral(":/art/tab_create.svg")),
                       QStringLiteral("Create Glimmervellium"));
  PageControl2->addTab(buildResultPage(), QIcon(QStringLiteral(":/art/tab_view.svg")),
                       QStringLiteral("View result"));
  PageControl2->tabBar()->setAttribute(Qt::WA_Hover);  // tabs highlight under the mouse
  layout->addWidget(PageControl2, 1);
  layout->addWidget(buildBottomBar());
  StatusBar1 = new ProgressStatusBar(this);
  layout->addWidget(StatusBar1);
  connectListEditing();
  auto lineSizes = std::make_shared<LineSizeCache::Sizes>();
  for (QListWidget* list : {ImageList, SortBox, ImageBox}) {
    list->setItemDelegate(new LineSizeCache(lineSizes, list));
  }
  for (QAbstractItemView* view : std::initializer_list<QAbstractItemView*>{
           JamShellTree1, JamShellList1, ImageList, SortBox, ImageBox}) {
    showFocusFrame(view);
  }
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &TMainForm::cancelButtonKey);
  addKeyboardCommands();
  addAlbumHistory();

  openWithinScreen(*this, QSize(638, 512));
  FormCreate();
}

void TMainForm::addKeyboardCommands() {
  // The shortcuts people expect, each running the handler its button runs.
  const std::pair<QKeySequence, void (TMainForm::*)()> commands[] = {
      {QKeySequence(Qt::CTRL | Qt::Key_N), &TMainForm::NewBtnClick},
      {QKeySequence(Qt::CTRL | Qt::Key_O), &TMainForm::OpenBtnClick},
      {QKeySequence(Qt::CTRL | Qt::Key_S), &TMainForm::SaveBtnClick},
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &TMainForm::SaveAsBtnClick},
      {QKeySequence(Qt::CTRL | Qt::Key_P), &TMainForm::PrintBtnClick},
      {QKeySequence(Qt::CTRL | Qt::Key_Q), &TMainForm::EndeBtnClick},
      {QKeySequence(Qt::CTRL | Qt::Key_Tab), &TMainForm::nextPage},
      {QKeySequence(Qt::CTRL | Qt::Key_PageDown), &TMainForm::nextPage},
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), &TMainForm::previousPage},
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), &TMainForm::previousPage},
      {QKeySequence(Qt::CTRL | Qt::Key_PageUp), &TMainForm::previousPage},
  };
  for (const auto& [keys, handler] : commands) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, this, handler);
  }

  // Tab goes through the page tabs, the top bar, the shown page's controls top to bottom
  // (left to right within a row), then the bottom bar; hidden pages are passed over.
  // clang-format off
  const std::vector<QWidget*> chain = {PageControl2->tabBar(), NewBtn, OpenBtn, SaveBtn, SaveAsBtn,
                                 JamShellTree1, JamShellList1, AddBtn, DelBtn, ViewBtn,
                                 PrintBtn, FilterComboBox1, ImageList, SortBox, UpNow, DownNow,
                                 ImageBox, ShowComment, ComMemo, GoBtn1, ColorBtn, StyleBox, UpdateCheck,
                                 BreitEd, HochEd, CaptionED, FreeText, AnzEd, BorderEd,
                                 Caption2ED, Border2ED, WebBrowser1, wwwBtn, ueberbtn, EndeBtn};
  // clang-format on
  for (std::size_t i = 0; i + 1 < chain.size(); ++i) setTabOrder(chain[i], chain[i + 1]);
  // Names a screen reader reads for the controls that show no caption of their own.
  const std::pair<QWidget*, const char*> names[] = {
      {JamShellTree1, "Folders"},         {JamShellList1, "Files"},
      {ImageList, "Album pictures"},      {SortBox, "Album pictures in order"},
      {ImageBox, "Pictures to comment"},  {Shape1, "Background color"},
      {WebBrowser1, "Created album"}};
  for (const auto& [widget, name] : names) widget->setAccessibleName(QString::fromLatin1(name));
  // The comment is a form field: Tab leaves it rather than typing a tab character.
  ComMemo->setTabChangesFocus(true);
}

void TMainForm::nextPage() {
  PageControl2->setCurrentIndex((PageControl2->currentIndex() + 1) % PageControl2->count());
}

void TMainForm::previousPage() {
  const int count = PageControl2->count();
  PageControl2->setCurrentIndex((PageControl2->currentIndex() + count - 1) % count);
}

TMainForm::~TMainForm() {
  FormDestroy();
}

void TMainForm::FormCreate() {
  album.ProgramDir = withTrailingSeparator(pathBytes(QCoreApplication::applicationDirPath()));
  // The executable's folder holds no pictures once installed (and may not be writable): the
  // folder tree and the file dialogs start in the user's pictures folder instead.
  const std::string start = pathBytes(userPicturesFolder());
  albumDialogFolder_ = start;
  overviewDialogFolder_ = start;

  const char* filter = GetDIBOpenFilter();
  fileTypes_ =
      withClipChoices(parseFileTypeFilter(filter ? std::string_view(filter) : std::string_view()));
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

  shellBrowser_->openFolder(pathText(start));
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

namespace {

// Makes the lines of `list` read `names`, checkable with the marks of `checks` when given.
// The lines at both ends that already match stay; those between are replaced in two model
// changes, so a move or a delete in a long album touches two lines or one, and the list
// lays out again once, not once per line.
void followNames(QListWidget* list, const QStringList& names, const std::vector<bool>* checks) {
  const int oldCount = list->count();
  const int newCount = static_cast<int>(names.size());
  auto matches = [&](int oldLine, int newLine) {
    const QListWidgetItem* item = list->item(oldLine);
    return item->text() == names[newLine] &&
           (!checks || (item->checkState() == Qt::Checked) == (*checks)[newLine]);
  };
  int head = 0;
  while (head < oldCount && head < newCount && matches(head, head)) ++head;
  int tail = 0;
  while (tail < oldCount - head && tail < newCount - head &&
         matches(oldCount - 1 - tail, newCount - 1 - tail)) {
    ++tail;
  }
  if (oldCount - tail > head) list->model()->removeRows(head, oldCount - tail - head);
  if (newCount - tail > head) {
    list->insertItems(head, names.mid(head, newCount - tail - head));
    if (checks) {
      for (int line = head; line < newCount - tail; ++line) {
        QListWidgetItem* item = list->item(line);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState((*checks)[line] ? Qt::Checked : Qt::Unchecked);
      }
    }
  }
}

}  // namespace

void TMainForm::UpdateListBox() {
  // Check marks set while the lines are made must not reach ImageBoxClickCheck.
  const QSignalBlocker quiet(ImageBox);
  QStringList names;
  names.reserve(album.EntryCount());
  std::vector<bool> checks;
  checks.reserve(album.entries().size());
  for (const PictureEntry& entry : album.entries()) {
    names.append(albumText(fileNamePart(entry.FilePath)));
    checks.push_back(entry.CheckMark);
  }
  followNames(ImageList, names, nullptr);
  followNames(ImageBox, names, &checks);
  followNames(SortBox, names, nullptr);
  const bool any = album.EntryCount() > 0;
  ViewBtn->setEnabled(any);
  PrintBtn->setEnabled(any);
  DelBtn->setEnabled(any);
  if (any) {
    // Line 0 is reached from no current line, as in a list filled anew: a shown list scrolls
    // to it, a hidden one does when it is shown.
    for (QListWidget* list : {ImageList, ImageBox, SortBox}) list->selectionModel()->clear();
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
