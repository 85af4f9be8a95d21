// The file-browsing pane's two views: a folder tree over the file system, rooted at its root
// and showing folders only, and a file list in report view that shows the tree's folder; the
// two are linked both ways. It offers the window exactly the queries and actions the add page
// needs, with every name also as the bytes the file system stores.
#pragma once

#include <QFileSystemModel>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QTreeView>
#include <string>
#include <vector>

#include "folder_list_model.h"

namespace glim {

// The file list's view: a tree view in report mode that tells whether a name is being edited.
class FileListView : public QTreeView {
  Q_OBJECT
 public:
  using QTreeView::QTreeView;
  bool isEditing() const { return state() == QAbstractItemView::EditingState; }
};

// The user's pictures folder where it exists, otherwise the home folder: where browsing starts.
QString userPicturesFolder();

class ShellBrowser : public QObject {
  Q_OBJECT
 public:
  ShellBrowser(QTreeView* tree, FileListView* list, QObject* parent = nullptr);

  struct Item {
    QString name;       // as shown
    std::string bytes;  // as the file system stores it, extension included
    bool folder = false;
  };

  // The folder the list shows (and the tree has selected, where it can show it).
  QString selectedFolder() const;
  const std::string& selectedFolderBytes() const { return listModel_->folder(); }
  // The selected items of the list in list order, the parent-folder line left out.
  std::vector<Item> selectedItems() const;
  // True while an item name is being edited in place.
  bool isEditing() const { return list_->isEditing(); }
  // True when the list's current line is its parent-folder line and no item is selected.
  bool onlyParentLineChosen() const;

  // The list shows `folder` and the tree selects it.
  void openFolder(const QString& folder);
  void openFolderBytes(const std::string& folder);
  // The list shows its folder's parent (nothing at the root).
  void openParentFolder();
  // Patterns separated by ';'; "*", "*.*" or nothing show everything.
  void setMask(const QString& mask);

  FolderListModel* listModel() const { return listModel_; }
  QFileSystemModel* treeModel() const { return treeModel_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Brings the tree's folder into view whenever the tree has read more folders, until the user
  // starts to move about in the tree.
  void revealInTree();

  QTreeView* tree_;
  FileListView* list_;
  QFileSystemModel* treeModel_;
  FolderListModel* listModel_;
  bool revealPending_ = false;
  QTimer* revealTimer_;
};

// The patterns of a filter mask; empty means everything is shown.
QStringList maskPatterns(const QString& mask);

}  // namespace glim
