// The create button over the album generator: the overview's save dialog, the album written
// into the chosen folder, the result page shown, and no page switch when the overview fails.
#include <QLineEdit>
#include <QTabWidget>
#include <QTextBrowser>
#include <fstream>

#include "main_form_fixture.h"
#include "picture_button.h"
#include "progress_status_bar.h"
#include "test_pictures.h"

namespace glim {
namespace {

using testing::folderNames;
using testing::TemporaryFolder;

class CreateTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    testing::writePlainBmp(folder / "Urlaub.bmp", 400, 300);
    form->album.append(folder / "Urlaub.bmp");
    form->UpdateListBox();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->PageControl1->setCurrentIndex(3);
  }

  void clickGo() { QTest::mouseClick(form->GoBtn1, Qt::LeftButton, {}, QPoint(20, 10)); }

  TemporaryFolder folder{"glim-create"};
};

TEST_F(CreateTest, GoButtonCreatesTheAlbumAndShowsTheResultPage) {
  const std::string overview = folder / "web/index.htm";
  dialogs.fileNames = {overview};
  clickGo();
  ASSERT_EQ(dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(dialogs.fileRequests[0].filter, "HTML Dateien (*.htm)|*.htm; *.html");
  EXPECT_EQ(dialogs.fileRequests[0].defaultExtension, "htm");
  EXPECT_FALSE(dialogs.fileRequests[0].askOverwrite);
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_FALSE(form->GoPressed());
  EXPECT_EQ(folderNames(folder.path() / "web"),
            (std::vector<std::string>{"html", "index.htm", "mini", "pics"}));
  EXPECT_EQ(folderNames(folder.path() / "web/pics"), std::vector<std::string>{"Urlaub.JPG"});
  EXPECT_EQ(folderNames(folder.path() / "web/mini"), std::vector<std::string>{"Urlaub.JPG"});
  EXPECT_EQ(folderNames(folder.path() / "web/html"), std::vector<std::string>{"Urlaub.HTM"});
  EXPECT_EQ(form->PageControl1->currentIndex(), 4);
  EXPECT_EQ(form->WebBrowser1->source(), QUrl::fromLocalFile(QString::fromStdString(overview)));
  EXPECT_EQ(form->WebBrowser1->source().toString(), QString::fromStdString("file://" + overview));
  EXPECT_TRUE(form->WebBrowser1->toPlainText().contains("Glimmervellium"));
  EXPECT_EQ(form->StatusBar1->Progress(), 100) << "the codec library's progress reached the bar";
  for (const PictureEntry& entry : form->album.entries()) {
    EXPECT_TRUE(entry.PageName.empty() && entry.MiniName.empty() && entry.PicsName.empty());
  }

  // A second run into the same folder shows the replaced overview, not the first one.
  form->PageControl1->setCurrentIndex(3);
  form->CaptionED->setText("Second run");
  dialogs.fileNames = {overview};
  clickGo();
  EXPECT_EQ(form->PageControl1->currentIndex(), 4);
  EXPECT_TRUE(form->WebBrowser1->toPlainText().contains("Second run"));
  EXPECT_EQ(folderNames(folder.path() / "web/pics"),
            (std::vector<std::string>{"Urlaub.JPG", "Urlaub0.JPG"}));
}

TEST_F(CreateTest, CancelledDialogCreatesNothing) {
  clickGo();
  EXPECT_EQ(dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"Urlaub.bmp"});
  EXPECT_EQ(form->PageControl1->currentIndex(), 3);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(CreateTest, OverviewThatCannotBeWrittenLeavesThePageAsItIs) {
  std::filesystem::create_directories(folder.path() / "web/taken.htm");  // a folder, not a file
  dialogs.fileNames = {folder / "web/taken.htm"};
  clickGo();
  EXPECT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(form->PageControl1->currentIndex(), 3);
  EXPECT_TRUE(form->WebBrowser1->source().isEmpty());
  EXPECT_EQ(folderNames(folder.path() / "web/pics"), std::vector<std::string>{"Urlaub.JPG"});
}

TEST_F(CreateTest, FolderThatCannotBeMadeIsReported) {
  std::ofstream(folder / "plain") << "a file where a folder should be";
  dialogs.fileNames = {folder / "plain/index.htm"};
  clickGo();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0], errorBox("Could not create the folder!"));
  EXPECT_EQ(form->PageControl1->currentIndex(), 3);
}

}  // namespace
}  // namespace glim
