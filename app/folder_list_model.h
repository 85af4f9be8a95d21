// The file list's model: the entries of one folder in report form (name, size, type, date),
// read synchronously from the file system. Each entry keeps the bytes the file system stores as
// its name, so that a name the locale's encoding cannot show (it appears with replacement marks)
// still names its file when it is taken over. Folders pass every mask and a parent-folder line
// leads up; names are edited in place with a rename that reports, rather than shows, a refusal.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QRegularExpression>
#include <QString>
#include <string>
#include <vector>

class QFileSystemWatcher;
class QTimer;

namespace glim {

class FolderListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // A folder of more entries than this is listed in part.
  static constexpr int kMaxEntries = 200000;

  struct Entry {
    std::string bytes;  // the name as the file system stores it
    QString name;       // the name as the list shows it
    bool folder = false;
    bool parentLine = false;
    qint64 size = 0;
    QDateTime modified;
  };

  explicit FolderListModel(QObject* parent = nullptr);

  // Lists `folder` (bytes, without trailing separator except for the root).
  void setFolder(const std::string& folder);
  const std::string& folder() const { return folder_; }
  // Wildcard patterns matched without regard to case; empty lets every file through.
  void setNameFilters(const QStringList& patterns);
  // Reads the folder again (also done when the file system reports a change in it, and a few
  // times after, while files may still be growing); true when the list changed. Rows come,
  // go, move and change one by one, so that a view keeps its selection, current row, scroll
  // position and type-ahead.
  bool refresh();

  const Entry& entry(const QModelIndex& index) const { return entries_.at(index.row()); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  void sort(int column, Qt::SortOrder order) override;

 signals:
  void renameRefused(const QString& oldName, const QString& newName);

 private:
  std::vector<Entry> readFolder() const;
  bool passesFilter(const Entry& entry) const;
  // The list's order: parent line, folders, then files by the sort column, name and bytes.
  bool listedBefore(const Entry& a, const Entry& b) const;
  // Puts row order[i] at row i, the views' persistent indexes along.
  void arrangeRows(const std::vector<int>& order);

  std::string folder_;
  std::vector<QRegularExpression> patterns_;
  std::vector<Entry> entries_;
  int sortColumn_ = 0;
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
  QFileSystemWatcher* watcher_;
  static constexpr int kFollowUpMs = 400;
  static constexpr int kQuietLooks = 5;  // unchanged looks before the follow-up stops
  QTimer* followUp_;
  int quietLooks_ = 0;
};

}  // namespace glim
