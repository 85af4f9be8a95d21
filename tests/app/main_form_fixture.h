// A main window answered by the scripted recorder, for the window's widget tests, with helpers
// that drive its file-browsing pane and make picture files.
#pragma once

#include <QApplication>
#include <QFileSystemModel>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>
#include <QTreeView>
#include <memory>
#include "folder_list_model.h"

#include "../ui/qt_test_app.h"
#include "gtest/gtest.h"
#include "main_form.h"
#include "preview_form.h"
#include "recording_dialogs.h"
#include "shell_browser.h"

namespace glim {

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override { form = std::make_unique<TMainForm>(&dialogs); }

  // The file-name parts each list shows, line by line.
  static QStringList lines(const QListWidget* list) {
    QStringList result;
    for (int i = 0; i < list->count(); ++i) result << list->item(i)->text();
    return result;
  }

  // The preview window of the program, as program start makes it.
  void addPreviewWindow() {
    form->PreViewForm = new TPreViewForm(&form->currentPicture, form.get());
  }

  // Lets the file list show `folder`; true when it lists `rows` lines.
  bool showFolder(const QString& folder, int rows) {
    form->fileBrowser()->openFolder(folder);
    FolderListModel* model = form->fileBrowser()->listModel();
    model->refresh();  // what the file system watcher does a moment later
    return model->rowCount() == rows;
  }

  // The names the file list shows, in list order.
  QStringList listedNames() const {
    FolderListModel* model = form->fileBrowser()->listModel();
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
      names << model->index(row, 0).data().toString();
    return names;
  }

  QModelIndex listIndex(const QString& name) const {
    FolderListModel* model = form->fileBrowser()->listModel();
    for (int row = 0; row < model->rowCount(); ++row) {
      if (model->index(row, 0).data().toString() == name) return model->index(row, 0);
    }
    return {};
  }

  // Selects the named lines of the file list (adding to the selection), the last one current.
  void selectInList(const QStringList& names) {
    for (const QString& name : names) {
      const QModelIndex index = listIndex(name);
      ASSERT_TRUE(index.isValid()) << name.toStdString();
      form->JamShellList1->selectionModel()->setCurrentIndex(
          index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }

  // A real double-click on a line of the file list.
  void doubleClickInList(const QString& name) {
    const QModelIndex index = listIndex(name);
    ASSERT_TRUE(index.isValid()) << name.toStdString();
    const QPoint at = form->JamShellList1->visualRect(index).center();
    QWidget* viewport = form->JamShellList1->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QMouseEvent second(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &second);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
  }

  testing::QtAppFirst app;
  testing::RecordingDialogs dialogs;
  std::unique_ptr<TMainForm> form;
};

}  // namespace glim
