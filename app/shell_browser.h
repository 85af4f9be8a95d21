// The file-browsing pane's two views over the file system: a folder tree rooted at the
// file-system root and a file list in report view that shows the tree's folder, linked both
// ways. It offers the window exactly the queries and actions the add page needs.
#pragma once

#include <QFileSystemModel>
#include <QObject>
#include <QString>
#include <QTreeView>
#include <optional>
#include <vector>

namespace glim {

// The file list's model: folders pass every mask, the parent-folder line is listed, and an
// in-place rename is only tried when it can work, so that the toolkit never shows a message
// box of its own; a refused rename is announced instead.
class FileListModel : public QFileSystemModel {
  Q_OBJECT
 public:
  explicit FileListModel(QObject* parent = nullptr);
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  void renameRefused(const QString& oldName, const QString& newName);
};

// The file list's view: a tree view in report mode that tells whether a name is being edited.
class FileListView : public QTreeView {
  Q_OBJECT
 public:
  using QTreeView::QTreeView;
  bool isEditing() const { return state() == QAbstractItemView::EditingState; }
};

class ShellBrowser : public QObject {
  Q_OBJECT
 public:
  // Sets up both views; the tree shows folders only, the list shows folders and files.
  ShellBrowser(QTreeView* tree, FileListView* list, QObject* parent = nullptr);

  struct Item {
    QString name;  // file-system name with extension
    bool folder = false;
  };

  // Full path of the folder the tree has selected (and the list shows).
  QString selectedFolder() const { return folder_; }
  // The selected items of the list in list order, the parent-folder line left out.
  std::vector<Item> selectedItems() const;
  // True while an item name is being edited in place.
  bool isEditing() const;
  // True when the list's current item is its parent-folder line and nothing else is selected.
  bool onlyParentLineChosen() const;

  // The list shows `folder` and the tree selects it.
  void openFolder(const QString& folder);
  // The list shows its parent folder (a no-op at the root).
  void openParentFolder();
  // Patterns separated by ';'; "*", "*.*" or nothing show everything.
  void setMask(const QString& mask);

  FileListModel* listModel() const { return listModel_; }
  QFileSystemModel* treeModel() const { return treeModel_; }

 signals:
  // The list has started to show `folder` (its entries may still be arriving).
  void folderShown(const QString& folder);

 private:
  void showInList(const QString& folder);

  QTreeView* tree_;
  FileListView* list_;
  QFileSystemModel* treeModel_;
  FileListModel* listModel_;
  QString folder_;
};

// The patterns of a filter mask; empty means everything is shown.
QStringList maskPatterns(const QString& mask);

}  // namespace glim
