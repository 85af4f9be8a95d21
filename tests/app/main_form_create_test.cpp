// The create button over the album generator: the overview's save dialog, the album written
// into the chosen folder, the result page shown, and no page switch when the overview fails.
#include <QCheckBox>
#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <optional>
#include <string_view>

#include "album_generation.h"
#include "form_storage.h"
#include "main_form_fixture.h"
#include "output_folder.h"
#include "picture_button.h"
#include "progress_status_bar.h"
#include "qt_user_dialogs.h"
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
    form->PageControl2->setCurrentIndex(3);
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
  EXPECT_EQ(form->PageControl2->currentIndex(), 4);
  EXPECT_EQ(form->WebBrowser1->source(), QUrl::fromLocalFile(QString::fromStdString(overview)));
  EXPECT_EQ(form->WebBrowser1->source().toString(), QString::fromStdString("file://" + overview));
  EXPECT_TRUE(form->WebBrowser1->toPlainText().contains("Glimmervellium"));
  EXPECT_EQ(form->StatusBar1->Progress(), 100) << "the codec library's progress reached the bar";
  for (const PictureEntry& entry : form->album.entries()) {
    EXPECT_TRUE(entry.PageName.empty() && entry.MiniName.empty() && entry.PicsName.empty());
  }

  // A second run into the same folder shows the replaced overview, not the first one.
  form->PageControl2->setCurrentIndex(3);
  form->CaptionED->setText("Second run");
  dialogs.fileNames = {overview};
  clickGo();
  EXPECT_EQ(form->PageControl2->currentIndex(), 4);
  EXPECT_TRUE(form->WebBrowser1->toPlainText().contains("Second run"));
  EXPECT_EQ(folderNames(folder.path() / "web/pics"),
            (std::vector<std::string>{"Urlaub.JPG", "Urlaub0.JPG"}));
}

// The page style chosen on the create page makes the run's pages, is kept in a settings group
// of its own, and is the next window's first choice.
TEST_F(CreateTest, ModernStyleIsUsedAndRemembered) {
  ASSERT_EQ(form->StyleBox->currentText(), QStringLiteral("Classic")) << "the default";
  form->StyleBox->setCurrentIndex(1);
  EXPECT_EQ(openProgramSettings()->value(QStringLiteral("AlbumPages/Style")).toString(),
            QStringLiteral("Modern"));
  const std::string overview = folder / "web/index.htm";
  dialogs.fileNames = {overview};
  clickGo();
  EXPECT_EQ(folderNames(folder.path() / "web"),
            (std::vector<std::string>{"html", "index.css", "index.htm", "mini", "pics"}));
  // The result page shows the modern overview with its links.
  EXPECT_NE(form->WebBrowser1->toHtml().indexOf(QStringLiteral("html/Urlaub.HTM")), -1);
  testing::RecordingDialogs otherDialogs;
  TMainForm next(&otherDialogs);
  EXPECT_EQ(next.StyleBox->currentText(), QStringLiteral("Modern"));
  form->StyleBox->setCurrentIndex(0);  // leaves the settings as the other tests expect them

  // Updated in place: the same names again, the record beside them; the choice is remembered.
  form->UpdateCheck->setChecked(true);
  const std::string updated = folder / "updated/index.htm";
  dialogs.fileNames = {updated, updated};
  clickGo();
  clickGo();
  EXPECT_EQ(folderNames(folder.path() / "updated/pics"), (std::vector<std::string>{"Urlaub.JPG"}));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "updated/.index.htm.record"));
  EXPECT_TRUE(TMainForm(&otherDialogs).UpdateCheck->isChecked());
  form->UpdateCheck->setChecked(false);
}

// A settings file that cannot be read is told once, after the window has come up, and left as
// it is: neither read (a larger one held the window for a minute) nor written.
TEST_F(CreateTest, AnUnreadableSettingsFileIsToldOnceAndLeftAlone) {
  const QString path = openProgramSettings()->fileName();
  const QString kept = path + QStringLiteral(".kept");
  QFile::rename(path, kept);
  for (const char* problem : {"it is a folder", "it is larger than 1 MiB"}) {
    QFile file(path);
    if (std::string_view(problem).ends_with("folder")) {
      QDir().mkpath(path);
    } else if (file.open(QIODevice::WriteOnly) && file.write("[AlbumPages]\nStyle=Modern\n")) {
      file.resize(kSettingsFileLimit + 1);
    }
    const QFileInfo before(path);
    testing::RecordingDialogs told;
    TMainForm next(&told);
    QCoreApplication::processEvents();
    EXPECT_EQ(next.StyleBox->currentText(), QStringLiteral("Classic")) << problem;
    next.StyleBox->setCurrentIndex(1);
    EXPECT_EQ(told.messages.size(), 1u) << problem;
    const std::string said = told.messages.empty() ? "" : told.messages[0].text;
    EXPECT_NE(said.find((path + " (" + problem + ")").toStdString()), std::string::npos) << said;
    const QFileInfo after(path);
    EXPECT_TRUE(after.isDir() == before.isDir() && after.size() == before.size() &&
                after.lastModified() == before.lastModified())
        << problem;
    QDir(path).removeRecursively();
    QFile::remove(path);
  }
  QFile::rename(kept, path);
}

TEST_F(CreateTest, CancelledDialogCreatesNothing) {
  clickGo();
  EXPECT_EQ(dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(folderNames(folder.path()), std::vector<std::string>{"Urlaub.bmp"});
  EXPECT_EQ(form->PageControl2->currentIndex(), 3);
  EXPECT_TRUE(dialogs.messages.empty());
}

// A folder in the overview's place is refused before anything is written; a name too long to
// be written is found when the overview is written, after the pictures.
TEST_F(CreateTest, OverviewThatCannotBeWrittenLeavesThePageAsItIs) {
  std::filesystem::create_directories(folder.path() / "web/taken.htm");
  dialogs.fileNames = {folder / "web/taken.htm",
                       folder / ("web/" + std::string(252, 't') + ".htm")};
  clickGo();
  EXPECT_EQ(folderNames(folder.path() / "web"), std::vector<std::string>{"taken.htm"});
  clickGo();
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[0], overviewIsFolderBox(folder / "web/taken.htm"));
  EXPECT_EQ(form->PageControl2->currentIndex(), 3);
  EXPECT_TRUE(form->WebBrowser1->source().isEmpty());
  EXPECT_EQ(folderNames(folder.path() / "web/pics"), std::vector<std::string>{"Urlaub.JPG"});
}

// Another run (here the test) holds the output folder: one box, nothing written.
TEST_F(CreateTest, FolderOfAnotherRunIsRefusedWithOneBox) {
  std::filesystem::create_directories(folder.path() / "web");
  FolderLock other;
  ASSERT_EQ(other.lock(folder / "web"), FolderLock::Result::Held);
  dialogs.fileNames = {folder / "web/index.htm"};
  clickGo();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0], folderBusyBox(folder / "web"));
  // Only the other run's lock file.
  EXPECT_EQ(folderNames(folder.path() / "web"),
            std::vector<std::string>{FolderLock::kLockFileName});
  EXPECT_EQ(form->PageControl2->currentIndex(), 3);
}

TEST_F(CreateTest, FolderThatCannotBeMadeIsReported) {
  std::ofstream(folder / "plain") << "a file where a folder should be";
  dialogs.fileNames = {folder / "plain/index.htm"};
  clickGo();
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0], errorBox("Could not create the folder!"));
  EXPECT_EQ(form->PageControl2->currentIndex(), 3);
}

// Answers the overview dialog like the user: when it closes, the window needs a repaint, and
// the user presses Delete in the album list while the run works.
class ImpatientUser : public testing::RecordingDialogs {
 public:
  TMainForm* form = nullptr;
  bool running = false;
  Qt::Key key = Qt::Key_Delete;
  std::optional<std::string> saveFileName(const FileDialogRequest& request) override {
    auto chosen = RecordingDialogs::saveFileName(request);
    running = chosen.has_value();
    form->update();
    QCoreApplication::postEvent(form->ImageList,
                                new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    return chosen;
  }
};

// Counts the window's paints during the run with the pictures written so far, and asks for
// the next paint at once.
class PaintsDuringRun : public QObject {
 public:
  PaintsDuringRun(ImpatientUser& user, std::filesystem::path pics) : user_(user), pics_(pics) {}
  std::vector<size_t> picturesAtPaint;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && user_.running) {
      picturesAtPaint.push_back(folderNames(pics_).size());
      static_cast<QWidget*>(watched)->update();
    }
    return false;
  }

 private:
  ImpatientUser& user_;
  std::filesystem::path pics_;
};

TEST(CreateRunTest, TheWindowPaintsBetweenPicturesAndTakesNoInput) {
  testing::QtAppFirst app;
  ImpatientUser user;
  TMainForm window(&user);
  user.form = &window;
  TemporaryFolder folder{"glim-create-run"};
  constexpr int kPictures = 6;
  for (int i = 0; i < kPictures; ++i) {
    const std::string path = folder / ("Bild" + std::to_string(i) + ".bmp");
    testing::writePlainBmp(path, 1600, 1200);
    window.album.append(path);
  }
  window.UpdateListBox();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.PageControl2->setCurrentIndex(3);
  PaintsDuringRun paints(user, folder.path() / "web/pics");
  window.installEventFilter(&paints);
  user.fileNames = {folder / "web/index.htm"};
  QTest::mouseClick(window.GoBtn1, Qt::LeftButton, {}, QPoint(20, 10));
  user.running = false;

  EXPECT_EQ(folderNames(folder.path() / "web/pics").size(), size_t{kPictures});
  ASSERT_FALSE(paints.picturesAtPaint.empty()) << "no paint during the run";
  EXPECT_TRUE(std::any_of(paints.picturesAtPaint.begin(), paints.picturesAtPaint.end(),
                          [](size_t n) { return n > 0 && n < kPictures; }))
      << "no paint between two pictures";
  EXPECT_EQ(window.album.EntryCount(), kPictures) << "the Delete key was taken during the run";
  EXPECT_TRUE(user.messages.empty());
}

// Escape during a run asks whether to stop: Cancel goes on; OK stops it as a termination
// signal does, with the files written whole, no temporary file left and no overview.
TEST(CreateRunTest, EscapeAsksWhetherToStopTheRun) {
  testing::QtAppFirst app;
  for (const MessageAnswer answer : {MessageAnswer::Cancel, MessageAnswer::Ok}) {
    ImpatientUser user;
    user.key = Qt::Key_Escape;
    user.answers = {answer};
    TMainForm window(&user);
    user.form = &window;
    TemporaryFolder folder{"glim-create-stop"};
    constexpr size_t kPictures = 6;
    for (size_t i = 0; i < kPictures; ++i) {
      testing::writePlainBmp(folder / ("Bild" + std::to_string(i) + ".bmp"), 1600, 1200);
      window.album.append(folder / ("Bild" + std::to_string(i) + ".bmp"));
    }
    window.UpdateListBox();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.PageControl2->setCurrentIndex(3);
    user.fileNames = {folder / "web/index.htm"};
    QTest::mouseClick(window.GoBtn1, Qt::LeftButton, {}, QPoint(20, 10));
    const bool stopped = answer == MessageAnswer::Ok;
    ASSERT_EQ(user.messages.size(), 1u);
    EXPECT_EQ(user.messages[0], stopRunBox());
    EXPECT_EQ(std::filesystem::exists(folder.path() / "web/index.htm"), !stopped);
    const std::vector<std::string> pictures = folderNames(folder.path() / "web/pics");
    EXPECT_EQ(pictures.size() < kPictures, stopped) << pictures.size();
    EXPECT_EQ(folderNames(folder.path() / "web/mini"), pictures) << "a temporary file was left";
    EXPECT_EQ(window.PageControl2->currentIndex(), stopped ? 3 : 4);
  }
}

// The real boxes, with the overview's name given: the boxes about pictures that cannot be
// opened show in the middle of the run; the first is answered with the Return key and the
// second with a click on its button, each sent where a user's would arrive (the focused
// button, the button under the pointer), not to the box itself.
class AnsweringUser : public QtUserDialogs {
 public:
  explicit AnsweringUser(QWidget* owner, std::string overview)
      : QtUserDialogs(owner), overview_(std::move(overview)) {}
  int answered = 0;
  int forced = 0;
  std::optional<std::string> saveFileName(const FileDialogRequest&) override { return overview_; }
  MessageAnswer showMessage(const MessageBox& box) override {
    const bool byKey = answered % 2 == 0;
    QTimer::singleShot(100, [byKey] {
      auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (shown == nullptr) return;
      if (byKey) {
        if (QWidget* focused = QApplication::focusWidget())
          QTest::keyClick(focused, Qt::Key_Return);
      } else if (QAbstractButton* ok = shown->button(QMessageBox::Ok)) {
        QTest::mouseClick(ok, Qt::LeftButton);
      }
    });
    // Should the input be lost, the box still closes, so that the test ends.
    QTimer::singleShot(5000, [this] {
      if (auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        ++forced;
        shown->done(QMessageBox::Ok);
      }
    });
    ++answered;
    return QtUserDialogs::showMessage(box);
  }

 private:
  std::string overview_;
};

TEST(CreateRunTest, ABoxDuringTheRunTakesTheKeyboard) {
  testing::QtAppFirst app;
  TemporaryFolder folder{"glim-create-box"};
  AnsweringUser user(nullptr, folder / "web/index.htm");
  TMainForm window(&user);
  std::ofstream(folder / "Kaputt.jpg") << "no picture";
  testing::writePlainBmp(folder / "Bild.bmp", 64, 48);
  window.album.append(folder / "Kaputt.jpg");
  window.album.append(folder / "Bild.bmp");
  window.album.append(folder / "Kaputt.jpg");
  window.UpdateListBox();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.PageControl2->setCurrentIndex(3);
  QTest::mouseClick(window.GoBtn1, Qt::LeftButton, {}, QPoint(20, 10));
  EXPECT_EQ(user.answered, 2);
  EXPECT_EQ(user.forced, 0) << "a box did not take the key or the click";
  EXPECT_EQ(folderNames(folder.path() / "web/pics").size(), 1u);
}

}  // namespace
}  // namespace glim
