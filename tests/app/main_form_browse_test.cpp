// The file-browsing pane through the real views: the tree and the list linked both ways, the
// filter masks, double-click and Enter on folders and files, in-place renaming, and adding the
// list's selection to the album.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <fstream>

#include "album_text.h"
#include "main_form_fixture.h"
#include "test_pictures.h"

namespace glim {
namespace {

using testing::TemporaryFolder;
using testing::writePlainBmp;

class BrowseTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    for (const char* name : {"b.bmp", "a.bmp", "c.bmp"}) writePlainBmp(folder / name, 8, 6);
    std::ofstream(folder / "notes.txt") << "no picture";
    std::filesystem::create_directory(folder.path() / "sub");
    writePlainBmp(folder / "sub/inner.bmp", 4, 4);
    dir = QString::fromStdString(folder.path().string());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }

  TemporaryFolder folder{"glim-browse"};
  QString dir;
};

TEST_F(BrowseTest, TreeOpensAtThePicturesFolderRootedAtTheFileSystemRoot) {
  QFileSystemModel* tree = form->fileBrowser()->treeModel();
  EXPECT_EQ(tree->filePath(form->JamShellTree1->currentIndex()), userPicturesFolder());
  EXPECT_EQ(tree->rootPath(), QDir::rootPath());
  EXPECT_EQ(form->fileBrowser()->selectedFolder(), userPicturesFolder());
  EXPECT_EQ(form->JamShellList1->model()->columnCount(), 4) << "name, size, type, date";
  // The folder is brought into view once the tree has read the folders around it.
  QTreeView* view = form->JamShellTree1;
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return view->viewport()->rect().contains(view->visualRect(view->currentIndex())); },
      5000));
}

TEST_F(BrowseTest, FirstMaskShowsPicturesAndFoldersWithTheParentLine) {
  ASSERT_TRUE(showFolder(dir, 5));
  EXPECT_EQ(listedNames(), QStringList({"..", "sub", "a.bmp", "b.bmp", "c.bmp"}));
  // Selecting the folder in the tree is the same as opening it in the list.
  QFileSystemModel* tree = form->fileBrowser()->treeModel();
  EXPECT_EQ(tree->filePath(form->JamShellTree1->currentIndex()), dir);
}

TEST_F(BrowseTest, MaskOfTwoPatternsLetsBothKindsThrough) {
  std::ofstream(folder / "d.png") << "listed, not read";
  ASSERT_TRUE(showFolder(dir, 6));
  int bitmapsOnly = -1;
  for (int i = 0; i < form->FilterComboBox1->count(); ++i) {
    if (form->FilterComboBox1->itemText(i).startsWith("Windows bitmaps")) bitmapsOnly = i;
  }
  ASSERT_GE(bitmapsOnly, 0);
  form->FilterComboBox1->setCurrentIndex(bitmapsOnly);  // the list is filtered at once
  EXPECT_EQ(listedNames(), QStringList({"..", "sub", "a.bmp", "b.bmp", "c.bmp"}));
  form->FilterComboBox1->setCurrentIndex(0);  // every picture kind
  EXPECT_EQ(listedNames(), QStringList({"..", "sub", "a.bmp", "b.bmp", "c.bmp", "d.png"}));

  form->fileBrowser()->setMask("*.txt; *.BMP");
  EXPECT_EQ(listedNames(), QStringList({"..", "sub", "a.bmp", "b.bmp", "c.bmp", "notes.txt"}));
  form->fileBrowser()->setMask("*.txt");
  EXPECT_EQ(listedNames(), QStringList({"..", "sub", "notes.txt"}));
  form->fileBrowser()->setMask("*.*");
  EXPECT_EQ(listedNames().size(), 7);
}

TEST(MaskPatterns, SplitsTrimsAndTreatsStarDotStarAsEverything) {
  EXPECT_EQ(maskPatterns("*.jpg;*.jpeg"), QStringList({"*.jpg", "*.jpeg"}));
  EXPECT_EQ(maskPatterns("*.htm; *.html;"), QStringList({"*.htm", "*.html"}));
  EXPECT_TRUE(maskPatterns("*.*").isEmpty());
  EXPECT_TRUE(maskPatterns("*").isEmpty());
  EXPECT_TRUE(maskPatterns("").isEmpty());
}

TEST_F(BrowseTest, DoubleClickOnAFolderOpensItWithoutLoadingAnything) {
  ASSERT_TRUE(showFolder(dir, 5));
  doubleClickInList("sub");
  const QString sub = dir + "/sub";
  ASSERT_EQ(listedNames(), QStringList({"..", "inner.bmp"}));
  EXPECT_EQ(form->fileBrowser()->selectedFolder(), sub);
  QFileSystemModel* tree = form->fileBrowser()->treeModel();
  EXPECT_EQ(tree->filePath(form->JamShellTree1->currentIndex()), sub);
  EXPECT_TRUE(form->album.PreviewFileName.empty());
  EXPECT_TRUE(dialogs.messages.empty());

  // The parent-folder line leads back.
  doubleClickInList("..");
  ASSERT_EQ(listedNames().size(), 5);
  EXPECT_EQ(form->fileBrowser()->selectedFolder(), dir);
}

TEST_F(BrowseTest, DoubleClickAndEnterOnFilesLoadTheFirstSelected) {
  ASSERT_TRUE(showFolder(dir, 5));
  doubleClickInList("b.bmp");
  EXPECT_EQ(form->album.PreviewFileName, folder / "b.bmp");

  form->JamShellList1->clearSelection();
  selectInList({"c.bmp", "a.bmp"});
  form->JamShellList1->setFocus();
  QTest::keyClick(form->JamShellList1, Qt::Key_Return);
  EXPECT_EQ(form->album.PreviewFileName, folder / "a.bmp") << "first in list order";
  EXPECT_TRUE(dialogs.messages.empty());
  EXPECT_EQ(form->album.EntryCount(), 0) << "previewing adds nothing";
}

TEST_F(BrowseTest, EnterWhileRenamingFinishesTheNameAndLoadsNothing) {
  ASSERT_TRUE(showFolder(dir, 5));
  form->JamShellList1->clearSelection();
  selectInList({"c.bmp"});
  form->JamShellList1->setFocus();
  QTest::keyClick(form->JamShellList1, Qt::Key_F2);
  ASSERT_TRUE(form->fileBrowser()->isEditing());
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  editor->setText("renamed.bmp");
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->fileBrowser()->isEditing(); }));
  EXPECT_TRUE(form->album.PreviewFileName.empty());
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "renamed.bmp"));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "c.bmp"));

  // A name that is taken is refused with a box; nothing is renamed.
  ASSERT_TRUE(QTest::qWaitFor([&] { return listIndex("renamed.bmp").isValid(); }));
  EXPECT_FALSE(form->JamShellList1->model()->setData(listIndex("renamed.bmp"), "a.bmp"));
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].caption, "Error");
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "renamed.bmp"));
  EXPECT_FALSE(form->JamShellList1->model()->flags(listIndex("..")) & Qt::ItemIsEditable);
}

TEST_F(BrowseTest, AddAppendsTheSelectionInListOrderEveryTime) {
  ASSERT_TRUE(showFolder(dir, 5));
  form->JamShellList1->clearSelection();
  selectInList({"c.bmp", "..", "a.bmp", "sub"});
  form->AddBtn->click();
  form->AddBtn->click();
  std::vector<std::string> paths;
  for (const PictureEntry& entry : form->album.entries()) paths.push_back(entry.FilePath);
  const std::string f = folder.path().string() + "/";
  EXPECT_EQ(paths, (std::vector<std::string>{f + "sub", f + "a.bmp", f + "c.bmp", f + "sub",
                                             f + "a.bmp", f + "c.bmp"}));
  EXPECT_EQ(lines(form->ImageList),
            QStringList({"sub", "a.bmp", "c.bmp", "sub", "a.bmp", "c.bmp"}));
  for (const PictureEntry& entry : form->album.entries()) {
    EXPECT_TRUE(entry.ShowFlag);
    EXPECT_TRUE(entry.CheckMark);
    EXPECT_FALSE(entry.Comment.has_value());
  }
}

TEST_F(BrowseTest, AddWithNothingSelectedRebuildsTheLists) {
  ASSERT_TRUE(showFolder(dir, 5));
  form->album.append("/x/one.bmp");
  form->album.append("/x/two.bmp");
  form->UpdateListBox();
  form->ImageList->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
  form->ImageBox->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
  form->JamShellList1->clearSelection();
  selectInList({".."});  // never counts as selected
  form->AddBtn->click();
  EXPECT_EQ(form->album.EntryCount(), 2);
  EXPECT_EQ(form->ImageList->currentRow(), 0);
  EXPECT_EQ(form->ImageBox->currentRow(), 0);
  EXPECT_EQ(form->ImageList->selectedItems().size(), 1);
}

// Files that appear in the open folder and grow change the list line by line: selection,
// current line and scroll position stay, and go with a grown file that moves in a list ordered
// by size.
TEST_F(BrowseTest, ListKeepsItsPlaceWhileFilesAppearAndGrow) {
  for (int i = 10; i < 70; ++i) std::ofstream(folder / ("p" + std::to_string(i) + ".bmp"));
  ASSERT_TRUE(showFolder(dir, 65));
  QTreeView* list = form->JamShellList1;
  QScrollBar* bar = list->verticalScrollBar();
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->maximum() > 10; }, 2000));
  list->clearSelection();
  selectInList({"p20.bmp", "p40.bmp"});
  bar->setValue(10);
  const auto chosen = [&] {
    QStringList names;
    for (const ShellBrowser::Item& item : form->fileBrowser()->selectedItems()) names << item.name;
    return names << list->currentIndex().data().toString();
  };
  std::ofstream(folder / "p05.bmp");  // above the lines in view
  std::ofstream(folder / "z.bmp");
  std::ofstream(folder / "p20.bmp", std::ios::app) << "grown";
  form->fileBrowser()->listModel()->refresh();
  QTest::qWait(50);
  EXPECT_EQ(listedNames().size(), 67);
  EXPECT_EQ(chosen(), QStringList({"p20.bmp", "p40.bmp", "p40.bmp"}));
  EXPECT_EQ(bar->value(), 10);

  list->sortByColumn(1, Qt::AscendingOrder);
  EXPECT_EQ(chosen(), QStringList({"p40.bmp", "p20.bmp", "p40.bmp"}));
  std::ofstream(folder / "p40.bmp", std::ios::app) << "grown more";
  form->fileBrowser()->listModel()->refresh();
  EXPECT_EQ(listedNames().mid(62, 2), QStringList({"p20.bmp", "p40.bmp"})) << "before a.bmp";
  EXPECT_EQ(chosen(), QStringList({"p20.bmp", "p40.bmp", "p40.bmp"}));
}

TEST_F(BrowseTest, NamesAreTakenOverInTheLocalesEncodingAndOpenAgain) {
  const std::string bytes = "K\xC3\xA4se \xE2\x82\xAC.bmp";  // UTF-8, as the file system has it
  writePlainBmp(folder.path() / bytes, 5, 5);
  ASSERT_TRUE(showFolder(dir, 6));
  form->JamShellList1->clearSelection();
  selectInList({QString::fromUtf8("K\u00e4se \u20ac.bmp")});
  form->AddBtn->click();
  ASSERT_EQ(form->album.EntryCount(), 1);
  EXPECT_EQ(form->album.entry(0).FilePath, folder.path().string() + "/" + bytes);
  EXPECT_EQ(lines(form->ImageList), QStringList({QString::fromUtf8("K\u00e4se \u20ac.bmp")}));
  form->ImageList->setCurrentRow(0);
  form->ImageList->setFocus();
  QTest::keyClick(form->ImageList, Qt::Key_Return);
  EXPECT_TRUE(dialogs.messages.empty()) << "the picture opens again from the album";
  EXPECT_EQ(form->album.PreviewFileName, folder.path().string() + "/" + bytes);
}

TEST_F(BrowseTest, NameTheLocaleCannotShowIsAddedWithTheFileSystemsBytes) {
  const std::string raw = "caf\xE9.bmp";  // Latin-1, not valid in the locale's UTF-8
  writePlainBmp(folder.path() / raw, 5, 5);
  ASSERT_TRUE(showFolder(dir, 6));
  const QString shown = QFile::decodeName(QByteArray::fromStdString(raw));
  ASSERT_TRUE(shown.contains(QChar::ReplacementCharacter));
  form->JamShellList1->clearSelection();
  selectInList({shown});
  form->AddBtn->click();
  ASSERT_EQ(form->album.EntryCount(), 1);
  const std::string path = folder.path().string() + "/" + raw;
  EXPECT_EQ(form->album.entry(0).FilePath, path);
  form->ImageList->setCurrentRow(0);
  form->ImageListDblClick();
  EXPECT_TRUE(dialogs.messages.empty()) << "the picture opens again from the album";
  EXPECT_EQ(form->album.PreviewFileName, path);

  // A folder of such a name opens from the list, and its files keep their bytes as well.
  const std::string rawFolder = "d\xFCr";
  std::filesystem::create_directory(folder.path() / rawFolder);
  writePlainBmp(folder.path() / rawFolder / raw, 3, 3);
  ASSERT_TRUE(showFolder(dir, 7));
  doubleClickInList(QFile::decodeName(QByteArray::fromStdString(rawFolder)));
  ASSERT_EQ(listedNames(), QStringList({"..", shown}));
  doubleClickInList(shown);
  EXPECT_EQ(form->album.PreviewFileName, folder.path().string() + "/" + rawFolder + "/" + raw);
  EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
}  // namespace glim
