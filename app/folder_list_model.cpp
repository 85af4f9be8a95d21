#include "folder_list_model.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileIconProvider>
#include <QFileSystemWatcher>
#include <QLocale>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "paths.h"

namespace glim {

namespace {
enum Column { kName, kSize, kType, kDate, kColumns };

QString typeText(const FolderListModel::Entry& entry) {
  if (entry.folder) return QStringLiteral("Folder");
  const qsizetype dot = entry.name.lastIndexOf(QLatin1Char('.'));
  if (dot <= 0) return QStringLiteral("File");
  return entry.name.mid(dot + 1).toUpper() + QStringLiteral(" File");
}

QString sizeText(qint64 bytes) {
  return QLocale::system().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

// Names compared as people read them: runs of digits by their value, letters without regard
// to case (b2 before B10), the locale's collation not being needed for that.
int naturalCompare(const QString& a, const QString& b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      qsizetype endA = i, endB = j;
      while (endA < a.size() && a[endA] == QLatin1Char('0')) ++endA;
      while (endB < b.size() && b[endB] == QLatin1Char('0')) ++endB;
      qsizetype digitsA = endA, digitsB = endB;
      while (digitsA < a.size() && a[digitsA].isDigit()) ++digitsA;
      while (digitsB < b.size() && b[digitsB].isDigit()) ++digitsB;
      const qsizetype lengthA = digitsA - endA, lengthB = digitsB - endB;
      if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
      const int value =
          QStringView(a).mid(endA, lengthA).compare(QStringView(b).mid(endB, lengthB));
      if (value != 0) return value;
      i = digitsA;
      j = digitsB;
      continue;
    }
    const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
    if (x != y) return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  return j < b.size() ? -1 : 0;
}

const QFileIconProvider& icons() {
  static const QFileIconProvider provider;
  return provider;
}
}  // namespace

FolderListModel::FolderListModel(QObject* parent)
    : QAbstractTableModel(parent),
      watcher_(new QFileSystemWatcher(this)),
      followUp_(new QTimer(this)) {
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
    quietLooks_ = 0;
    refresh();
    followUp_->start();
  });
  // The folder reports new, removed and renamed entries, but not a file that grows: a file
  // being copied in is listed as it was created, with 0 bytes. After a change the folder is
  // read again a few times, until it has stayed the same for a while.
  followUp_->setInterval(kFollowUpMs);
  connect(followUp_, &QTimer::timeout, this, [this] {
    if (refresh()) {
      quietLooks_ = 0;
    } else if (++quietLooks_ >= kQuietLooks) {
      followUp_->stop();
    }
  });
}

void FolderListModel::setFolder(const std::string& folder) {
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  folder_ = folder;
  const QString watched = QFile::decodeName(QByteArray::fromStdString(folder_));
  if (QFile::encodeName(watched).toStdString() == folder_) watcher_->addPath(watched);
  beginResetModel();
  entries_ = readFolder();
  endResetModel();
}

void FolderListModel::setNameFilters(const QStringList& patterns) {
  patterns_.clear();
  for (const QString& pattern : patterns) {
    patterns_.emplace_back(QRegularExpression::wildcardToRegularExpression(pattern),
                           QRegularExpression::CaseInsensitiveOption);
  }
  refresh();
}

bool FolderListModel::refresh() {
  std::vector<Entry> fresh = readFolder();
  std::unordered_map<std::string, std::size_t> freshRow;
  for (std::size_t row = 0; row < fresh.size(); ++row) freshRow.emplace(fresh[row].bytes, row);
  bool changed = false;

  // Rows of entries that are gone leave in runs, from the bottom up. A name listed twice (a
  // rename in place onto a name that was already gone) stays once.
  std::vector<bool> keep(entries_.size());
  std::unordered_set<std::string> kept;
  for (std::size_t row = 0; row < entries_.size(); ++row) {
    keep[row] = freshRow.count(entries_[row].bytes) != 0 && kept.insert(entries_[row].bytes).second;
  }
  for (int end = rowCount(); end > 0;) {
    if (keep[static_cast<std::size_t>(end - 1)]) {
      --end;
      continue;
    }
    int first = end - 1;
    while (first > 0 && !keep[static_cast<std::size_t>(first - 1)]) --first;
    beginRemoveRows({}, first, end - 1);
    entries_.erase(entries_.begin() + first, entries_.begin() + end);
    endRemoveRows();
    changed = true;
    end = first;
  }

  // The rows that stay take the listing's order: a file renamed in place, or one that grew while
  // the list is ordered by size or date, may have moved.
  std::vector<int> order(entries_.size());
  std::iota(order.begin(), order.end(), 0);
  const auto listedAt = [&](int row) {
    return freshRow.at(entries_[static_cast<std::size_t>(row)].bytes);
  };
  if (!std::is_sorted(order.begin(), order.end(),
                      [&](int a, int b) { return listedAt(a) < listedAt(b); })) {
    std::sort(order.begin(), order.end(), [&](int a, int b) { return listedAt(a) < listedAt(b); });
    arrangeRows(order);
    changed = true;
  }

  // The rows that stay are now the listing less its new entries, in its order: new entries go
  // in as runs between them, and a row whose size, date or kind changed is told.
  const auto same = [](const Entry& a, const Entry& b) {
    return a.folder == b.folder && a.size == b.size && a.modified == b.modified;
  };
  for (std::size_t row = 0; row < fresh.size();) {
    if (row < entries_.size() && entries_[row].bytes == fresh[row].bytes) {
      if (!same(entries_[row], fresh[row])) {
        entries_[row] = std::move(fresh[row]);
        const int at = static_cast<int>(row);
        emit dataChanged(index(at, 0), index(at, kColumns - 1));
        changed = true;
      }
      ++row;
      continue;
    }
    std::size_t end = row + 1;
    while (end < fresh.size() &&
           (row >= entries_.size() || fresh[end].bytes != entries_[row].bytes)) {
      ++end;
    }
    beginInsertRows({}, static_cast<int>(row), static_cast<int>(end - 1));
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(row),
                    std::make_move_iterator(fresh.begin() + static_cast<std::ptrdiff_t>(row)),
                    std::make_move_iterator(fresh.begin() + static_cast<std::ptrdiff_t>(end)));
    endInsertRows();
    changed = true;
    row = end;
  }
  return changed;
}

void FolderListModel::arrangeRows(const std::vector<int>& order) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<int> newRow(order.size());
  std::vector<Entry> arranged;
  arranged.reserve(order.size());
  for (std::size_t row = 0; row < order.size(); ++row) {
    newRow[static_cast<std::size_t>(order[row])] = static_cast<int>(row);
    arranged.push_back(std::move(entries_[static_cast<std::size_t>(order[row])]));
  }
  entries_ = std::move(arranged);
  // The views' selection, current row and open editor go with their entries.
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& old : before) {
    after << index(newRow[static_cast<std::size_t>(old.row())], old.column());
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool FolderListModel::passesFilter(const Entry& entry) const {
  if (entry.folder || patterns_.empty()) return true;
  return std::any_of(patterns_.begin(), patterns_.end(), [&](const QRegularExpression& pattern) {
    return pattern.match(entry.name).hasMatch();
  });
}

std::vector<FolderListModel::Entry> FolderListModel::readFolder() const {
  std::vector<Entry> entries;
  if (folder_.empty()) return entries;
  DIR* dir = ::opendir(folder_.c_str());
  if (!dir) return entries;
  const std::string prefix = withTrailingSeparator(folder_);
  std::unordered_set<std::string> seen;
  while (const dirent* item = ::readdir(dir)) {
    if (static_cast<int>(entries.size()) >= kMaxEntries) break;
    const std::string bytes = item->d_name;
    if (bytes == ".") continue;
    if (bytes == ".." && folder_ == "/") continue;
    if (bytes != ".." && bytes.front() == '.') continue;  // hidden, as the tree hides them
    // A folder changed while it is read may give a name twice.
    if (!seen.insert(bytes).second) continue;
    Entry entry;
    entry.bytes = bytes;
    entry.name = QFile::decodeName(QByteArray::fromStdString(bytes));
    entry.parentLine = bytes == "..";
    struct stat info;
    if (::stat((prefix + bytes).c_str(), &info) == 0) {
      entry.folder = S_ISDIR(info.st_mode);
      entry.size = static_cast<qint64>(info.st_size);
      entry.modified = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(info.st_mtime));
    }
    if (passesFilter(entry)) entries.push_back(std::move(entry));
  }
  ::closedir(dir);
  std::stable_sort(entries.begin(), entries.end(),
                   [this](const Entry& a, const Entry& b) { return listedBefore(a, b); });
  return entries;
}

bool FolderListModel::listedBefore(const Entry& a, const Entry& b) const {
  if (a.parentLine != b.parentLine) return a.parentLine;
  if (a.folder != b.folder) return a.folder;  // folders first, either way
  int order = 0;
  if (sortColumn_ == kSize && a.size != b.size) order = a.size < b.size ? -1 : 1;
  if (sortColumn_ == kType) order = naturalCompare(typeText(a), typeText(b));
  if (sortColumn_ == kDate && a.modified != b.modified) order = a.modified < b.modified ? -1 : 1;
  if (order == 0) order = naturalCompare(a.name, b.name);
  if (order == 0) order = a.bytes.compare(b.bytes);
  return sortOrder_ == Qt::AscendingOrder ? order < 0 : order > 0;
}

void FolderListModel::sort(int column, Qt::SortOrder order) {
  sortColumn_ = std::clamp(column, 0, kColumns - 1);
  sortOrder_ = order;
  std::vector<int> rows(entries_.size());
  std::iota(rows.begin(), rows.end(), 0);
  std::stable_sort(rows.begin(), rows.end(), [this](int a, int b) {
    return listedBefore(entries_[static_cast<std::size_t>(a)],
                        entries_[static_cast<std::size_t>(b)]);
  });
  arrangeRows(rows);
}

int FolderListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int FolderListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Entry& e = entries_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    switch (index.column()) {
      case kName:
        return e.name;
      case kSize:
        return e.folder ? QVariant() : QVariant(sizeText(e.size));
      case kType:
        return e.parentLine ? QVariant() : QVariant(typeText(e));
      case kDate:
        return e.parentLine
                   ? QVariant()
                   : QVariant(QLocale::system().toString(e.modified, QLocale::ShortFormat));
    }
  }
  if (role == Qt::DecorationRole && index.column() == kName) {
    return icons().icon(e.folder ? QFileIconProvider::Folder : QFileIconProvider::File);
  }
  if (role == Qt::TextAlignmentRole && index.column() == kSize) {
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  }
  return {};
}

QVariant FolderListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[kColumns] = {"Name", "Size", "Type", "Date Modified"};
  return section >= 0 && section < kColumns ? QString::fromLatin1(kTitles[section]) : QVariant();
}

Qt::ItemFlags FolderListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == kName && !entry(index).parentLine) result |= Qt::ItemIsEditable;
  return result;
}

bool FolderListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid() || index.column() != kName) return false;
  Entry& e = entries_.at(static_cast<std::size_t>(index.row()));
  const QString newName = value.toString();
  if (newName == e.name) return true;
  const std::string newBytes = QFile::encodeName(newName).toStdString();
  const std::string prefix = withTrailingSeparator(folder_);
  struct stat info;
  const bool acceptable = !e.parentLine && !newName.isEmpty() &&
                          !newName.contains(QLatin1Char('/')) && newName != QLatin1String(".") &&
                          newName != QLatin1String("..") &&
                          ::lstat((prefix + newBytes).c_str(), &info) != 0 && errno == ENOENT;
  if (!acceptable || std::rename((prefix + e.bytes).c_str(), (prefix + newBytes).c_str()) != 0) {
    emit renameRefused(e.name, newName);
    return false;
  }
  e.bytes = newBytes;
  e.name = QFile::decodeName(QByteArray::fromStdString(newBytes));
  emit dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(kColumns - 1));
  return true;
}

}  // namespace glim
