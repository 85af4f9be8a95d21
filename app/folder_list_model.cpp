#include "folder_list_model.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QFile>
#include <QFileIconProvider>
#include <QFileSystemWatcher>
#include <QTimer>
#include <QLocale>
#include <algorithm>
#include <cerrno>
#include <cstdio>

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
  const auto same = [](const Entry& a, const Entry& b) {
    return a.bytes == b.bytes && a.folder == b.folder && a.size == b.size &&
           a.modified == b.modified;
  };
  if (std::equal(fresh.begin(), fresh.end(), entries_.begin(), entries_.end(), same)) return false;
  beginResetModel();
  entries_ = std::move(fresh);
  endResetModel();
  return true;
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
  while (const dirent* item = ::readdir(dir)) {
    if (static_cast<int>(entries.size()) >= kMaxEntries) break;
    const std::string bytes = item->d_name;
    if (bytes == ".") continue;
    if (bytes == ".." && folder_ == "/") continue;
    if (bytes != ".." && bytes.front() == '.') continue;  // hidden, as the tree hides them
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
  sortEntries(entries);
  return entries;
}

void FolderListModel::sortEntries(std::vector<Entry>& entries) const {
  const bool ascending = sortOrder_ == Qt::AscendingOrder;
  const int column = sortColumn_;
  std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
    if (a.parentLine != b.parentLine) return a.parentLine;
    if (a.folder != b.folder) return a.folder;  // folders first, either way
    int order = 0;
    if (column == kSize && a.size != b.size) order = a.size < b.size ? -1 : 1;
    if (column == kType) order = naturalCompare(typeText(a), typeText(b));
    if (column == kDate && a.modified != b.modified) order = a.modified < b.modified ? -1 : 1;
    if (order == 0) order = naturalCompare(a.name, b.name);
    if (order == 0) order = a.bytes.compare(b.bytes);
    return ascending ? order < 0 : order > 0;
  });
}

void FolderListModel::sort(int column, Qt::SortOrder order) {
  sortColumn_ = std::clamp(column, 0, kColumns - 1);
  sortOrder_ = order;
  emit layoutAboutToBeChanged();
  sortEntries(entries_);
  emit layoutChanged();
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
