// The window on this desktop: browsing and the file dialogs start in the user's pictures folder
// and then follow the user's choices; lists keep their chosen line in view; a double-click
// anywhere in an album list acts on its focused line.
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "main_form_fixture.h"
#include "paths.h"
#include "test_pictures.h"

namespace glim {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

// Sets an environment variable for the life of the object.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(StartFolderTest, BrowsingAndDialogsStartInThePicturesFolderThenFollowTheUser) {
  testing::qtApp();
  for (const bool havePictures : {true, false}) {
    TemporaryFolder home{"glim-home"};
    if (havePictures) fs::create_directory(home / "Pictures");
    fs::create_directories(home / "albums");
    const ScopedVariable homeVariable("HOME", home.path().string());
    const ScopedVariable config("XDG_CONFIG_HOME", home / "config");  // no user-dirs.dirs
    const std::string start = havePictures ? home / "Pictures" : home.path().string();

    testing::RecordingDialogs dialogs;
    TMainForm form(&dialogs);
    SCOPED_TRACE(start);
    EXPECT_EQ(form.fileBrowser()->selectedFolder(), QString::fromStdString(start));
    EXPECT_NE(form.album.ProgramDir, withTrailingSeparator(start)) << "ProgramDir stays";

    // Each dialog is cancelled once, then answered, then shown again.
    form.SaveAsBtnClick();
    form.GoBtn1Click();
    ASSERT_EQ(dialogs.fileRequests.size(), 2u);
    EXPECT_EQ(dialogs.fileRequests[0].initialFolder, start);
    EXPECT_EQ(dialogs.fileRequests[1].initialFolder, start);

    dialogs.fileNames = {home / "albums/trip.lmf"};
    form.SaveAsBtnClick();
    dialogs.fileNames = {home / "web/index.htm"};
    form.GoBtn1Click();
    form.OpenBtnClick();
    form.GoBtn1Click();
    ASSERT_EQ(dialogs.fileRequests.size(), 6u);
    EXPECT_EQ(dialogs.fileRequests[4].initialFolder, home / "albums/");
    EXPECT_EQ(dialogs.fileRequests[5].initialFolder, home / "web/");
    EXPECT_TRUE(fs::exists(home / "albums/trip.lmf"));
  }
}

class ListViewTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    addPreviewWindow();
    for (int i = 0; i < 3; ++i) {
      const std::string picture = folder / ("p" + std::to_string(i) + ".bmp");
      testing::writePlainBmp(picture, 20 + i, 10);
      form->album.append(picture);
    }
    form->UpdateListBox();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }

  static bool lineInView(const QAbstractItemView* list, const QModelIndex& line) {
    return line.isValid() && list->viewport()->rect().contains(list->visualRect(line));
  }

  TemporaryFolder folder{"glim-platform"};
};

TEST_F(ListViewTest, ADoubleClickBelowTheLastLineActsOnTheFocusedLine) {
  struct Case {
    int page;
    QListWidget* TMainForm::*list;
    int line;
    bool opensWindow;  // the sort and comments lists open the preview window
  };
  for (const Case& c : {Case{0, &TMainForm::ImageList, 1, false},
                        Case{1, &TMainForm::SortBox, 2, true},
                        Case{2, &TMainForm::ImageBox, 0, true}}) {
    form->PageControl2->setCurrentIndex(c.page);
    QListWidget* list = form.get()->*c.list;
    list->setCurrentRow(c.line);
    QWidget* viewport = list->viewport();
    const QPoint below(5, viewport->height() - 3);
    ASSERT_FALSE(list->indexAt(below).isValid());
    bool windowShown = false;
    QTimer::singleShot(0, form->PreViewForm, [&] {
      windowShown = form->PreViewForm->isVisible();
      form->PreViewForm->BitBtn1->click();
    });
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, below);
    QCoreApplication::processEvents();
    EXPECT_EQ(form->album.PreviewFileName, form->album.entry(c.line).FilePath) << c.page;
    EXPECT_EQ(windowShown, c.opensWindow) << c.page;
    EXPECT_EQ(list->currentRow(), c.line) << "the click below kept the focused line";
  }
}

TEST_F(ListViewTest, ListsKeepTheirChosenLineInView) {
  for (int i = 0; i < 400; ++i) form->album.append("/album/line" + std::to_string(i) + ".jpg");
  form->UpdateListBox();

  // Moving a line near the end keeps it in view on the sort page.
  form->PageControl2->setCurrentIndex(1);
  form->SortBox->setCurrentRow(380);
  form->UpNow->click();
  ASSERT_EQ(form->SortBox->currentRow(), 379);
  EXPECT_TRUE(lineInView(form->SortBox, form->SortBox->currentIndex()));

  // A rebuild brings line 0 back into view in a list scrolled to its end.
  form->PageControl2->setCurrentIndex(2);
  form->ImageBox->scrollToBottom();
  form->UpdateListBox();
  EXPECT_TRUE(lineInView(form->ImageBox, form->ImageBox->currentIndex()));

  // A newly opened folder of the file list starts at its top.
  form->PageControl2->setCurrentIndex(0);
  for (const char* name : {"one", "two"}) {
    fs::create_directory(folder / name);
    for (int i = 0; i < 200; ++i) {
      testing::writePlainBmp(folder / name + "/f" + std::to_string(i) + ".bmp", 1, 1);
    }
  }
  ASSERT_TRUE(showFolder(QString::fromStdString(folder / "one"), 201));
  form->JamShellList1->scrollToBottom();
  ASSERT_GT(form->JamShellList1->verticalScrollBar()->value(), 0);
  ASSERT_TRUE(showFolder(QString::fromStdString(folder / "two"), 201));
  EXPECT_EQ(form->JamShellList1->verticalScrollBar()->value(), 0);
}

}  // namespace
}  // namespace glim
