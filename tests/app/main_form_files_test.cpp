// The album file commands of the main window, answered by the scripted recorder, on real
// files in a temporary folder.
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <fstream>
#include <iterator>

#include "album_file.h"
#include "album_text.h"
#include "main_form_fixture.h"

namespace glim {
namespace {

class MainFormFilesTest : public MainFormTest {
 protected:
  std::string path(const char* name) const { return pathBytes(folder.filePath(name)); }

  static void writeBytes(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
  }
  static std::string readBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  void addTwoPictures() {
    form->album.append(pathBytes(folder.filePath("a.jpg")));
    form->album.append("/elsewhere/b.png");
    form->album.setComment(1, "second");
    form->UpdateListBox();
  }

  QTemporaryDir folder;
};

TEST_F(MainFormFilesTest, NewAnsweredCancelChangesNothing) {
  addTwoPictures();
  form->Setsavedfilename(path("kept.lmf"));
  dialogs.answers = {MessageAnswer::Cancel};
  form->NewBtn->click();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0], (MessageBox{"You will lost all not saved information!", "File/New",
                                             MessageButtons::OkCancel, MessageIcon::Information}));
  EXPECT_EQ(form->album.EntryCount(), 2);
  EXPECT_EQ(form->ImageList->count(), 2);
  EXPECT_EQ(form->windowTitle(), "Tulbrin Glimmervellium 1.0 - [kept.lmf]");
}

TEST_F(MainFormFilesTest, NewAnsweredOkClearsEntriesButKeepsSettings) {
  addTwoPictures();
  form->Setsavedfilename(path("kept.lmf"));
  form->BreitEd->setValue(321);
  form->NewBtn->click();
  EXPECT_EQ(form->album.EntryCount(), 0);
  EXPECT_EQ(form->ImageList->count(), 0);
  EXPECT_FALSE(form->DelBtn->isEnabled());
  EXPECT_EQ(form->windowTitle(), "Tulbrin Glimmervellium 1.0 - [noname.lmf]");
  EXPECT_EQ(form->BreitEd->value(), 321);
}

TEST_F(MainFormFilesTest, OpenAnsweredCancelAsksForNoFile) {
  addTwoPictures();
  dialogs.answers = {MessageAnswer::Cancel};
  form->OpenBtn->click();
  EXPECT_EQ(dialogs.messages.at(0).caption, "File/Open");
  EXPECT_TRUE(dialogs.fileRequests.empty());
  EXPECT_EQ(form->album.EntryCount(), 2);
  // OK, then the file dialog cancelled: still nothing.
  form->OpenBtn->click();
  EXPECT_EQ(dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(form->album.EntryCount(), 2);
  EXPECT_EQ(dialogs.messages.size(), 2u);
}

TEST_F(MainFormFilesTest, OpeningADamagedFileShowsTheInvalidFileMessageAndKeepsTheAlbum) {
  addTwoPictures();
  const auto before = form->album.entries();
  const std::string damaged = path("damaged.lmf");
  writeBytes(damaged, "Tulbrin Glimmervellium 1.1 and then nothing useful");
  const std::string truncated = path("truncated.lmf");
  const std::string whole = encodeAlbumFile(before, AlbumSettings(), truncated);
  writeBytes(truncated, whole.substr(0, whole.size() - 7));

  for (const std::string& file : {damaged, truncated}) {
    dialogs.messages.clear();
    dialogs.fileNames = {file};
    form->OpenBtn->click();
    ASSERT_EQ(dialogs.messages.size(), 2u) << file;
    EXPECT_EQ(dialogs.messages[1], invalidFileBox());
    EXPECT_EQ(dialogs.messages[1].text, "This isn't a valid \"Glimmervellium 1\" file!");
    EXPECT_EQ(form->album.entries(), before);
    EXPECT_EQ(form->ImageList->count(), 2);
    EXPECT_EQ(form->windowTitle(), "Tulbrin Glimmervellium 1.0 - [noname.lmf]");
  }

  dialogs.messages.clear();
  dialogs.fileNames = {path("missing.lmf")};
  form->OpenBtn->click();
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].text, "Open Glimmervellium: Couldn't open file missing.lmf !");
  EXPECT_EQ(form->album.entries(), before);
}

TEST_F(MainFormFilesTest, SaveAsAsksWithTheAlbumFilterThenSaveWritesWithoutADialog) {
  addTwoPictures();
  form->SaveBtn->click();  // never saved: behaves as Save as, and the dialog is cancelled
  ASSERT_EQ(dialogs.fileRequests.size(), 1u);
  const FileDialogRequest& request = dialogs.fileRequests[0];
  EXPECT_EQ(request.filter, "Glimmervellium-Dateien|*.lmf");
  EXPECT_EQ(request.defaultExtension, "lmf");
  EXPECT_EQ(request.initialFolder, pathBytes(userPicturesFolder()));
  EXPECT_TRUE(request.askOverwrite);

  const std::string file = path("album.lmf");
  dialogs.fileNames = {file};
  form->SaveAsBtn->click();
  EXPECT_EQ(form->windowTitle(), "Tulbrin Glimmervellium 1.0 - [album.lmf]");
  EXPECT_EQ(readBytes(file), encodeAlbumFile(form->album.entries(), AlbumSettings(), file));

  form->CaptionED->setText("Summer");
  form->SaveBtn->click();
  EXPECT_EQ(dialogs.fileRequests.size(), 2u) << "Save with a name asks nothing";
  const auto decoded = decodeAlbumFile(readBytes(file), file);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->settings.caption, "Summer");
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFormFilesTest, SaveAfterOpenWritesBackToTheOpenedFile) {
  addTwoPictures();
  AlbumSettings settings;
  settings.thumbWidth = 2000;  // beyond the field's range: shown as 1000
  settings.perLine = 7;
  settings.backgroundColor = rgbColor(1, 2, 3);
  const std::string file = path("opened.lmf");
  writeBytes(file, encodeAlbumFile(form->album.entries(), settings, file));
  const auto entries = form->album.entries();
  form->NewBtn->click();

  dialogs.fileNames = {file};
  form->OpenBtn->click();
  ASSERT_EQ(form->album.EntryCount(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(form->album.entry(i).FilePath, entries[i].FilePath);
    EXPECT_EQ(form->album.entry(i).commentText(), entries[i].commentText());
  }
  EXPECT_EQ(lines(form->SortBox), QStringList({"a.jpg", "b.png"}));
  EXPECT_EQ(form->ImageBox->currentRow(), 0);
  EXPECT_EQ(form->windowTitle(), "Tulbrin Glimmervellium 1.0 - [opened.lmf]");
  EXPECT_EQ(form->BreitEd->value(), 1000);
  EXPECT_EQ(form->AnzEd->value(), 7);
  EXPECT_EQ(form->backgroundColor(), rgbColor(1, 2, 3));

  form->album.setComment(0, "added later");
  const std::size_t requests = dialogs.fileRequests.size();
  form->SaveBtn->click();
  EXPECT_EQ(dialogs.fileRequests.size(), requests);
  const auto decoded = decodeAlbumFile(readBytes(file), file);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->entries.at(0).commentText(), "added later");
  EXPECT_EQ(decoded->settings.thumbWidth, 1000);
}

TEST_F(MainFormFilesTest, AnAlbumNamedOnTheCommandLineOpensWithoutAskingAndKeepsItsWholePath) {
  addTwoPictures();
  const auto entries = form->album.entries();
  writeBytes(path("given.lmf"), encodeAlbumFile(entries, AlbumSettings(), path("given.lmf")));
  form->NewBtn->click();
  dialogs.messages.clear();
  const QString working = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(folder.path()));
  form->openGivenAlbum(QStringLiteral("given.lmf"));
  form->openGivenAlbum(QStringLiteral("missing.lmf"));  // told as Open tells it; album kept
  QDir::setCurrent(working);
  ASSERT_EQ(form->album.EntryCount(), 2);
  EXPECT_EQ(form->album.entry(0).FilePath, entries[0].FilePath);
  EXPECT_EQ(form->album.entry(1).FilePath, entries[1].FilePath);
  EXPECT_EQ(form->album.SavedFileName, path("given.lmf"));
  EXPECT_EQ(form->windowTitle(), "Tulbrin Glimmervellium 1.0 - [given.lmf]");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "Open Glimmervellium: Couldn't open file missing.lmf !");
}

TEST_F(MainFormFilesTest, FailedSaveIsReportedAndChangesNothing) {
  addTwoPictures();
  const std::string file = path("no-such-folder/album.lmf");
  dialogs.fileNames = {file};
  form->SaveAsBtn->click();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0], errorBox("Save Glimmervellium: Couldn't save file album.lmf !"));
  EXPECT_TRUE(form->album.SavedFileName.empty());
  EXPECT_EQ(form->windowTitle(), "Tulbrin Glimmervellium 1.0 - [noname.lmf]");
}

TEST_F(MainFormFilesTest, SingleByteTextsShowTheirLettersAndKeepTheirMeaningWhenSaved) {
  AlbumSettings settings;
  settings.caption =
      "Gr\xFC\xDF"
      "e aus K\xF6ln";  // written on a single-byte code page
  std::vector<PictureEntry> entries(1);
  entries[0].FilePath = "/bilder/M\xFCnchen.jpg";
  entries[0].Comment = "Sch\xF6n \x80 5";
  const std::string file = path("old.lmf");
  writeBytes(file, encodeAlbumFile(entries, settings, file));

  dialogs.fileNames = {file};
  form->OpenBtn->click();
  EXPECT_EQ(form->CaptionED->text(), QString::fromUtf8("Grüße aus Köln"));
  EXPECT_EQ(form->ComMemo->toPlainText(), QString::fromUtf8("Schön € 5"));
  EXPECT_EQ(form->ImageList->item(0)->text(), QString::fromUtf8("München.jpg"));

  form->SaveBtn->click();
  const auto decoded = decodeAlbumFile(readBytes(file), file);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(albumText(decoded->settings.caption), QString::fromUtf8("Grüße aus Köln"));
  EXPECT_EQ(decoded->entries.at(0).FilePath, "/bilder/M\xFCnchen.jpg") << "paths keep their bytes";
  EXPECT_EQ(decoded->entries.at(0).Comment, entries[0].Comment) << "unedited comments too";
}

}  // namespace
}  // namespace glim
