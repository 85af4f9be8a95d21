// TMainForm: the "Add picture" page with the file-browsing area, the file-type filter box,
// the preview pane, the button row and the album list.
#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

#include "album_text.h"
#include "main_form.h"
#include "page_parts.h"
#include "painter_device.h"
#include "paths.h"
#include "preview_fit.h"
#include "shell_browser.h"
#include "stretch_draw.h"

namespace glim {

QWidget* TMainForm::buildAddPage() {
  auto* content = new QWidget;
  Splitter1 = new QSplitter(Qt::Vertical, content);
  Splitter1->setChildrenCollapsible(false);

  // Upper part: the folder tree and the file list over the file system.
  Splitter2 = new QSplitter(Qt::Horizontal, Splitter1);
  Splitter2->setChildrenCollapsible(false);
  QFont shellFont(QStringLiteral("Segoe UI"));
  shellFont.setPixelSize(12);
  JamShellTree1 = new QTreeView(Splitter2);
  JamShellTree1->setHeaderHidden(true);
  JamShellTree1->setFont(shellFont);
  auto* fileList = new FileListView(Splitter2);
  JamShellList1 = fileList;  // report view: one line per item, with details
  JamShellList1->setRootIsDecorated(false);
  JamShellList1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  JamShellList1->setFont(shellFont);
  Splitter2->addWidget(JamShellTree1);
  Splitter2->addWidget(JamShellList1);
  shellBrowser_ = new ShellBrowser(JamShellTree1, fileList, this);
  connect(JamShellList1, &QTreeView::doubleClicked, this, &TMainForm::JamShellList1DblClick);
  JamShellList1->installEventFilter(this);
  connect(
      shellBrowser_->listModel(), &FolderListModel::renameRefused, this,
      [this](const QString& oldName, const QString& newName) {
        dialogs_->showMessage(errorBox("The file " + albumBytes(oldName) +
                                       " could not be renamed to " + albumBytes(newName) + "!"));
      });
  Splitter2->setSizes({241, 397});
  Splitter2->setStretchFactor(1, 1);

  // Lower part: buttons above the album list at the left, filter box above the preview at
  // the right.
  auto* lower = new QWidget(Splitter1);
  auto* lowerLayout = new QHBoxLayout(lower);
  lowerLayout->setContentsMargins(2, 2, 2, 2);
  lowerLayout->setSpacing(4);

  auto* left = new QWidget(lower);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->setSpacing(2);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(2);
  AddBtn =
      new QPushButton(QIcon(QStringLiteral(":/art/add.svg")), QStringLiteral("&Add file"), left);
  DelBtn =
      new QPushButton(QIcon(QStringLiteral(":/art/delete.svg")), QStringLiteral("Delete"), left);
  ViewBtn =
      new QPushButton(QIcon(QStringLiteral(":/art/show.svg")), QStringLiteral("&Show big"), left);
  PrintBtn =
      new QPushButton(QIcon(QStringLiteral(":/art/print.svg")), QStringLiteral("Print..."), left);
  for (QPushButton* button : {AddBtn, DelBtn, ViewBtn, PrintBtn}) buttons->addWidget(button);
  buttons->addStretch(1);
  DelBtn->setEnabled(false);
  ViewBtn->setEnabled(false);
  PrintBtn->setEnabled(false);
  leftLayout->addLayout(buttons);
  ImageList = new QListWidget(left);
  ImageList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  leftLayout->addWidget(ImageList, 1);
  lowerLayout->addWidget(left, 1);

  auto* right = new QWidget(lower);
  right->setFixedWidth(185);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(2);
  FilterComboBox1 = new QComboBox(right);
  FilterComboBox1->setToolTip(QStringLiteral("Here you can select the displayed file types"));
  connect(FilterComboBox1, &QComboBox::currentIndexChanged, this,
          &TMainForm::FilterComboBox1Change);
  rightLayout->addWidget(FilterComboBox1);
  DibPrevPanel = new QFrame(right);
  DibPrevPanel->setFrameStyle(QFrame::Box | QFrame::Plain);
  DibPrevPanel->setLineWidth(1);
  DibPrevPanel->setAutoFillBackground(true);
  QPalette workspace = DibPrevPanel->palette();
  workspace.setColor(QPalette::Window, workspace.color(QPalette::Dark));  // application workspace
  DibPrevPanel->setPalette(workspace);
  DibPrevPaint = new QWidget(DibPrevPanel);
  DibPrevPaint->setAccessibleName(QStringLiteral("Picture preview"));
  DibPrevPaint->setToolTip(QStringLiteral("Shows a preview of the loaded picture"));
  DibPrevPaint->installEventFilter(this);
  auto* paneLayout = new QVBoxLayout(DibPrevPanel);
  paneLayout->setContentsMargins(1, 1, 1, 1);
  paneLayout->addWidget(DibPrevPaint);
  rightLayout->addWidget(DibPrevPanel, 1);
  lowerLayout->addWidget(right);

  Splitter1->addWidget(Splitter2);
  Splitter1->addWidget(lower);
  Splitter1->setSizes({209, 180});
  Splitter1->setStretchFactor(1, 1);
  // Named for screen readers: the panes, the handles between them and the filter's list.
  Splitter1->setAccessibleName(QStringLiteral("Browser and album"));
  Splitter2->setAccessibleName(QStringLiteral("Folders and files"));
  for (int i = 0; i < 2; ++i) {  // handle 0 is never shown, but a reader may still meet it
    Splitter1->handle(i)->setAccessibleName(QStringLiteral("Height of the browser"));
    Splitter2->handle(i)->setAccessibleName(QStringLiteral("Width of the folder tree"));
  }
  FilterComboBox1->view()->setAccessibleName(QStringLiteral("File types"));
  auto* layout = new QVBoxLayout(content);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Splitter1);
  return makePage(QStringLiteral("Add pictures - Select a file and click on \"Add picture\""),
                  content);
}

void TMainForm::FilterComboBox1Change() {
  fileListMask_ = currentFileMask(fileTypes_, FilterComboBox1->currentIndex());
  shellBrowser_->setMask(fileListMask_);
}

void TMainForm::JamShellList1DblClick() {
  const std::vector<ShellBrowser::Item> items = shellBrowser_->selectedItems();
  if (items.empty()) {
    // The parent-folder line is no item of the folder, but opening it is what it is there for.
    if (shellBrowser_->onlyParentLineChosen()) shellBrowser_->openParentFolder();
    return;
  }
  const ShellBrowser::Item& first = items.front();
  const std::string path =
      withTrailingSeparator(shellBrowser_->selectedFolderBytes()) + first.bytes;
  if (first.folder) {
    shellBrowser_->openFolderBytes(path);
    return;
  }
  openfilenow(path);
}

bool TMainForm::JamShellList1KeyPress(QKeyEvent* key) {
  if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
      !shellBrowser_->isEditing()) {
    JamShellList1DblClick();
    return true;
  }
  // Left as it came: a key marked ignored here went on to the window after the list had
  // handled it, so Tab moved the focus twice and passed over "Add file".
  return false;
}

void TMainForm::cancelButtonKey() {
  if (PageControl2->currentIndex() == 0 && DelBtn->isEnabled() && !shellBrowser_->isEditing()) {
    DelBtn->click();
  }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == DibPrevPaint && event->type() == QEvent::Paint) {
    DibPrevPaintPaint();
    return true;
  }
  if (watched == ComMemo) commentFieldEvent(event);
  if (listMouse(watched, event)) return true;
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == JamShellList1) return JamShellList1KeyPress(key);
    if (listKeyDown(watched, key)) return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TMainForm::DibPrevPaintPaint() {
  // The current picture in the pane's top left corner, aspect kept; the rest of the pane shows
  // the panel's colour.
  if (!currentPicture.Pixels || !currentPicture.Header) return;
  const int32_t W = currentPicture.Header->biWidth;
  const int32_t H = currentPicture.Header->biHeight;
  // Fitted in the pane's device pixels, so that a scaled screen shows it sharp.
  const qreal ratio = DibPrevPaint->devicePixelRatioF();
  const DrawSize size = previewDrawSize(devicePixels(DibPrevPaint->width(), ratio),
                                        devicePixels(DibPrevPaint->height(), ratio), W, H);
  if (size.width <= 0 || size.height <= 0) return;
  QPainter painter(DibPrevPaint);
  paintInDevicePixels(painter);
  PainterDevice device(painter, PainterDevice::Kind::Display, dialogs_);
  StretchDrawDib(device, 0, 0, size.width, size.height, currentPicture, 0, 0, W, H, true, SRCCOPY,
                 true, nullptr);
}

}  // namespace glim
