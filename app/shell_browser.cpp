#include "shell_browser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QTreeView>
#include <algorithm>

namespace glim {

namespace {
const QString kParentLine = QStringLiteral("..");
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

FileListModel::FileListModel(QObject* parent) : QFileSystemModel(parent) {
  // NoDot without NoDotDot keeps the parent-folder line; AllDirs lets folders pass any mask.
  setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDot | QDir::System);
  setNameFilterDisables(false);
  setReadOnly(false);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags result =
      QFileSystemModel::flags(index) & ~(Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled);
  if (index.isValid() && fileName(index) == kParentLine) result &= ~Qt::ItemIsEditable;
  return result;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != 0 || !index.isValid()) {
    return QFileSystemModel::setData(index, value, role);
  }
  const QString oldName = fileName(index);
  const QString newName = value.toString();
  if (newName == oldName) return true;
  const QString folder = filePath(index.parent());
  const QDir dir(folder);
  const bool acceptable = !newName.isEmpty() && !newName.contains(QLatin1Char('/')) &&
                          newName != kParentLine && newName != QLatin1String(".") &&
                          oldName != kParentLine && QFileInfo::exists(dir.filePath(oldName)) &&
                          !QFileInfo::exists(dir.filePath(newName)) &&
                          QFileInfo(folder).isWritable();
  if (!acceptable) {
    emit renameRefused(oldName, newName);
    return false;
  }
  return QFileSystemModel::setData(index, value, role);
}

ShellBrowser::ShellBrowser(QTreeView* tree, FileListView* list, QObject* parent)
    : QObject(parent),
      tree_(tree),
      list_(list),
      treeModel_(new QFileSystemModel(this)),
      listModel_(new FileListModel(this)) {
  treeModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  treeModel_->setReadOnly(true);
  treeModel_->setRootPath(QDir::rootPath());
  tree_->setModel(treeModel_);
  for (int column = 1; column < treeModel_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->setDragEnabled(false);
  tree_->setAcceptDrops(false);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (current.isValid()) showInList(treeModel_->filePath(current));
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

std::vector<ShellBrowser::Item> ShellBrowser::selectedItems() const {
  QModelIndexList rows = list_->selectionModel()->selectedRows(0);
  const QModelIndex root = list_->rootIndex();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<Item> items;
  for (const QModelIndex& row : rows) {
    if (row.parent() != root) continue;
    const QString name = listModel_->fileName(row);
    if (name == kParentLine) continue;
    items.push_back({name, listModel_->isDir(row)});
  }
  return items;
}

bool ShellBrowser::isEditing() const {
  return list_->isEditing();
}

bool ShellBrowser::onlyParentLineChosen() const {
  const QModelIndex current = list_->currentIndex();
  return current.isValid() && listModel_->fileName(current.siblingAtColumn(0)) == kParentLine &&
         selectedItems().empty();
}

void ShellBrowser::openFolder(const QString& folder) {
  showInList(folder);
  const QModelIndex index = treeModel_->index(folder_);
  if (index.isValid() && tree_->currentIndex() != index) {
    const QSignalBlocker quiet(tree_->selectionModel());
    tree_->setCurrentIndex(index);
  }
  if (index.isValid()) tree_->scrollTo(index);
}

void ShellBrowser::openParentFolder() {
  QDir dir(folder_);
  if (dir.cdUp()) openFolder(dir.absolutePath());
}

void ShellBrowser::setMask(const QString& mask) {
  listModel_->setNameFilters(maskPatterns(mask));
}

void ShellBrowser::showInList(const QString& folder) {
  const QString cleaned = QDir::cleanPath(folder);
  if (cleaned == folder_ && list_->rootIndex().isValid()) return;
  folder_ = cleaned;
  listModel_->setRootPath(folder_);
  list_->setRootIndex(listModel_->index(folder_));
  list_->clearSelection();
  emit folderShown(folder_);
}

}  // namespace glim
