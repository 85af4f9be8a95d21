// Smoke tests of the real dialogs behind the window's dialog interface: buttons, icon and
// answer of a message box; the album file filter and the default extension of the save dialog.
#include "qt_user_dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include "../ui/qt_test_app.h"
#include "album_text.h"
#include "gtest/gtest.h"

namespace glim {
namespace {

template <typename Dialog, typename Action>
void whenShown(Action action) {
  QTimer::singleShot(0, [action] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    action(dialog);
  });
}

TEST(QtUserDialogs, QuestionShowsOkAndCancelAndReportsTheAnswer) {
  testing::qtApp();
  QWidget owner;
  QtUserDialogs dialogs(&owner);
  QString text, caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  whenShown<QMessageBox>([&](QMessageBox* box) {
    text = box->text();
    caption = box->windowTitle();
    icon = box->icon();
    EXPECT_NE(box->button(QMessageBox::Ok), nullptr);
    box->button(QMessageBox::Cancel)->click();
  });
  const MessageAnswer answer = dialogs.showMessage(
      {"Gr\xFC\xDF", "Quit program", MessageButtons::OkCancel, MessageIcon::Information});
  EXPECT_EQ(answer, MessageAnswer::Cancel);
  EXPECT_EQ(text, QString::fromUtf8("Grüß"));
  EXPECT_EQ(caption, "Quit program");
  EXPECT_EQ(icon, QMessageBox::Information);

  whenShown<QMessageBox>([&](QMessageBox* box) {
    icon = box->icon();
    EXPECT_EQ(box->button(QMessageBox::Cancel), nullptr);
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(dialogs.showMessage(errorBox("Save failed")), MessageAnswer::Ok);
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(QtUserDialogs, SaveDialogAppendsTheDefaultExtensionInTheInitialFolder) {
  testing::qtApp();
  QTemporaryDir folder;
  QWidget owner;
  QtUserDialogs dialogs(&owner);
  QStringList filters;
  QString directory;
  whenShown<QFileDialog>([&](QFileDialog* dialog) {
    filters = dialog->nameFilters();
    directory = dialog->directory().absolutePath();
    dialog->selectFile("holiday");
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog checks the typed name
  });
  const auto chosen = dialogs.saveFileName(
      {"Save as", "Glimmervellium-Dateien|*.lmf", "lmf", pathBytes(folder.path()) + "/", true});
  ASSERT_TRUE(chosen);
  EXPECT_EQ(pathText(*chosen), folder.filePath("holiday.lmf"));
  EXPECT_EQ(filters, QStringList("Glimmervellium-Dateien (*.lmf)"));
  EXPECT_EQ(directory, QDir(folder.path()).absolutePath());

  whenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  EXPECT_FALSE(dialogs.openFileName({"Open", "Glimmervellium-Dateien|*.lmf", "lmf", "", true}));
}

}  // namespace
}  // namespace glim
