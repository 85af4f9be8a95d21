// The file list's model on folders the tests make: what it lists, in which order by each
// column, and renaming in place.
#include <QSignalSpy>
#include <QTest>
#include <fstream>

#include "../ui/qt_test_app.h"
#include "folder_list_model.h"
#include "gtest/gtest.h"
#include "test_pictures.h"

namespace glim {
namespace {

QStringList names(const FolderListModel& model) {
  QStringList result;
  for (int row = 0; row < model.rowCount(); ++row) result << model.index(row, 0).data().toString();
  return result;
}

class FolderListModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(folder / "b10.txt") << "12345678901";
    std::ofstream(folder / "B2.txt") << "1";
    std::ofstream(folder / "a.JPG") << "123";
    std::ofstream(folder / ".hidden") << "";
    std::filesystem::create_directory(folder.path() / "zeta");
    std::filesystem::create_directory(folder.path() / "Alpha");
    model.setFolder(folder.path().string());
  }

  testing::QtAppFirst app;
  testing::TemporaryFolder folder{"glim-list"};
  FolderListModel model;
};

TEST_F(FolderListModelTest, ParentLineThenFoldersThenFilesInNaturalOrder) {
  EXPECT_EQ(names(model), QStringList({"..", "Alpha", "zeta", "a.JPG", "B2.txt", "b10.txt"}));
  EXPECT_EQ(model.columnCount(), 4);
  EXPECT_EQ(model.index(3, 2).data().toString(), "JPG File");
  EXPECT_EQ(model.index(1, 2).data().toString(), "Folder");
  EXPECT_FALSE(model.index(1, 1).data().isValid()) << "folders have no size";

  model.sort(1, Qt::DescendingOrder);
  EXPECT_EQ(names(model), QStringList({"..", "zeta", "Alpha", "b10.txt", "a.JPG", "B2.txt"}));
  model.sort(2, Qt::AscendingOrder);
  EXPECT_EQ(names(model).mid(3), QStringList({"a.JPG", "B2.txt", "b10.txt"}));

  model.setNameFilters({"*.jpg"});  // case does not matter; folders always pass
  EXPECT_EQ(names(model), QStringList({"..", "Alpha", "zeta", "a.JPG"}));

  model.setFolder("/");
  EXPECT_FALSE(names(model).contains("..")) << "the root has no parent line";
  model.setFolder(folder / "missing");
  EXPECT_EQ(model.rowCount(), 0);
}

// A file copied into the open folder is listed with the size it grows to, without leaving the
// folder: the folder only reports that the file appeared.
TEST_F(FolderListModelTest, AFileThatGrowsAfterItAppearedShowsItsSize) {
  const auto listedSize = [this](qint64 wanted) {
    for (int waited = 0; waited < 3000; waited += 20) {
      for (int row = 0; row < model.rowCount(); ++row) {
        const auto& entry = model.entry(model.index(row, 0));
        if (entry.name == "Kopie.jpg" && entry.size == wanted) return true;
      }
      QTest::qWait(20);
    }
    return false;
  };
  std::ofstream copy(folder / "Kopie.jpg", std::ios::binary);
  copy.flush();
  ASSERT_TRUE(listedSize(0));
  copy << std::string(410'000, 'x') << std::flush;
  EXPECT_TRUE(listedSize(410'000));
}

TEST_F(FolderListModelTest, RenameInPlaceOrReportTheRefusal) {
  QSignalSpy refused(&model, &FolderListModel::renameRefused);
  const QModelIndex jpg = model.index(3, 0);
  EXPECT_TRUE(model.setData(jpg, "photo.jpg", Qt::EditRole));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "photo.jpg"));
  EXPECT_EQ(model.entry(jpg).bytes, "photo.jpg");
  EXPECT_EQ(refused.count(), 0);

  for (const char* bad : {"B2.txt", "", "x/y", ".."}) {
    EXPECT_FALSE(model.setData(jpg, QString::fromUtf8(bad), Qt::EditRole)) << bad;
  }
  EXPECT_EQ(refused.count(), 4);
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "photo.jpg"));
  EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable) << "the parent line";
  EXPECT_FALSE(model.setData(model.index(0, 0), "up", Qt::EditRole));
}

}  // namespace
}  // namespace glim
