#include "shell_browser.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>

#include "name_only_file_icons.h"
#include "paths.h"

namespace glim {

namespace {
QString shownPath(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}
}  // namespace

QStringList maskPatterns(const QString& mask) {
  QStringList patterns;
  for (const QString& part : mask.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const QString pattern = part.trimmed();
    if (pattern.isEmpty()) continue;
    // "*.*" means every file on the system the masks come from, names without a dot included.
    if (pattern == QLatin1String("*") || pattern == QLatin1String("*.*")) return {};
    patterns << pattern;
  }
  return patterns;
}

QString userPicturesFolder() {
  const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (!pictures.isEmpty() && QFileInfo(pictures).isDir()) return QDir::cleanPath(pictures);
  return QDir::homePath();
}

ShellBrowser::ShellBrowser(QTreeView* tree, FileListView* list, QObject* parent)
    : QObject(parent),
      tree_(tree),
      list_(list),
      treeModel_(new QFileSystemModel(this)),
      listModel_(new FolderListModel(this)) {
  judgeFilesByName(*treeModel_);  // the tree reads every entry of a folder, files too
  treeModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  treeModel_->setReadOnly(true);
  treeModel_->setRootPath(QDir::rootPath());
  tree_->setModel(treeModel_);
  for (int column = 1; column < treeModel_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->setDragEnabled(false);
  tree_->setAcceptDrops(false);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  // The tree fills in as folders are read; once the chosen folder's parent has been read, the
  // folder is brought into view.
  revealTimer_ = new QTimer(this);
  revealTimer_->setSingleShot(true);
  revealTimer_->setInterval(100);
  connect(revealTimer_, &QTimer::timeout, this, [this] {
    if (revealPending_ && tree_->currentIndex().isValid()) {
      tree_->doItemsLayout();
      tree_->scrollTo(tree_->currentIndex(), QAbstractItemView::PositionAtCenter);
    }
  });
  connect(treeModel_, &QFileSystemModel::directoryLoaded, this, &ShellBrowser::revealInTree);
  for (QObject* part : {static_cast<QObject*>(tree_), static_cast<QObject*>(tree_->viewport()),
                        static_cast<QObject*>(tree_->verticalScrollBar())}) {
    part->installEventFilter(this);
  }
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) openFolder(treeModel_->filePath(current));
          });

  list_->setModel(listModel_);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setDragEnabled(false);
  list_->setAcceptDrops(false);
  list_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  list_->setSortingEnabled(true);
  list_->sortByColumn(0, Qt::AscendingOrder);
  list_->header()->resizeSection(0, 180);
}

QString ShellBrowser::selectedFolder() const {
  return shownPath(listModel_->folder());
}

std::vector<ShellBrowser::Item> ShellBrowser::selectedItems() const {
  QModelIndexList rows = list_->selectionModel()->selectedRows(0);
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<Item> items;
  for (const QModelIndex& row : rows) {
    const FolderListModel::Entry& entry = listModel_->entry(row);
    if (!entry.parentLine) items.push_back({entry.name, entry.bytes, entry.folder});
  }
  return items;
}

bool ShellBrowser::onlyParentLineChosen() const {
  const QModelIndex current = list_->currentIndex();
  return current.isValid() && listModel_->entry(current).parentLine && selectedItems().empty();
}

void ShellBrowser::openFolder(const QString& folder) {
  openFolderBytes(QFile::encodeName(QDir::cleanPath(folder)).toStdString());
}

void ShellBrowser::openFolderBytes(const std::string& folder) {
  if (folder != listModel_->folder()) {
    listModel_->setFolder(folder);
    list_->clearSelection();
    list_->setCurrentIndex(QModelIndex());
    list_->scrollToTop();  // a folder opens at its first line, not where the last one was
  }
  // The tree shows the folder where it can: a name the locale cannot show is not in it.
  const QModelIndex index = treeModel_->index(shownPath(folder));
  if (!index.isValid()) return;
  if (tree_->currentIndex() != index) {
    const QSignalBlocker quiet(tree_->selectionModel());
    tree_->setCurrentIndex(index);
    tree_->viewport()->update();
  }
  for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) {
    tree_->expand(parent);
  }
  revealPending_ = true;
  revealInTree();
}

void ShellBrowser::revealInTree() {
  const QModelIndex current = tree_->currentIndex();
  if (!revealPending_ || !current.isValid() || !tree_->isVisible()) return;
  // Once the model has sorted what it read (later rows may still move the folder down).
  revealTimer_->start();
}

bool ShellBrowser::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Resize:
      if (watched == tree_->viewport()) revealInTree();
      break;
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
      revealPending_ = false;  // the user moves about the tree now
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

void ShellBrowser::openParentFolder() {
  const std::string& folder = listModel_->folder();
  const std::size_t cut = folder.find_last_of('/');
  if (folder == "/" || cut == std::string::npos) return;
  openFolderBytes(cut == 0 ? std::string("/") : folder.substr(0, cut));
}

void ShellBrowser::setMask(const QString& mask) {
  listModel_->setNameFilters(maskPatterns(mask));
}

}  // namespace glim
