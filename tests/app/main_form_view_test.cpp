// The add page's "&Show big" button and the viewer it opens: the focused picture, loaded only
// when it is not the current one; the zoom kept for the next picture; printing and opening the
// file from the viewer.
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <functional>

#include "made_clips.h"
#include "main_form_fixture.h"
#include "print_form.h"
#include "read_ahead.h"
#include "spin_field.h"
#include "test_pictures.h"
#include "view_pic_form.h"

namespace glim {

// Takes the addresses the viewer hands to the desktop.
class OpenedUrls : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls << url; }
};

namespace {

using testing::Rgb;
using testing::TemporaryFolder;
using testing::writePlainBmp;

class ViewButtonTest : public MainFormTest {
 protected:
  void SetUp() override {
    qputenv("CUPS_SERVER", "/nonexistent/glimmervellium-cups.sock");
    MainFormTest::SetUp();
    form->setViewer(new TViewPicForm(form.get()));
    writePlainBmp(folder / "first.bmp", 80, 60, Rgb{200, 30, 40});
    writePlainBmp(folder / "second.bmp", 60, 80, Rgb{30, 40, 200});
    form->album.append(folder / "first.bmp");
    form->album.append(folder / "second.bmp");
    form->UpdateListBox();
  }

  // Shows the focused line in the viewer; `inside` runs while it is shown, then it is closed.
  // Returns whether the viewer was shown.
  bool view(int line, std::function<void(TViewPicForm&)> inside = {}) {
    bool shown = false;
    QTimer::singleShot(0, form.get(), [this, &shown, inside] {
      auto* viewer = qobject_cast<TViewPicForm*>(QApplication::activeModalWidget());
      if (viewer == nullptr) return;
      shown = true;
      if (inside) inside(*viewer);
      viewer->ReadyBtn->click();
    });
    form->ImageList->setCurrentRow(line);
    QTest::mouseClick(form->ViewBtn, Qt::LeftButton);
    QCoreApplication::processEvents();
    return shown;
  }

  TemporaryFolder folder{"glim-view"};
};

TEST_F(ViewButtonTest, ShowsTheFocusedPictureAndKeepsTheZoomForTheNext) {
  EXPECT_TRUE(view(0, [](TViewPicForm& viewer) {
    EXPECT_EQ(viewer.Picture.Header->biWidth, 80);
    viewer.ZoomEd->setValue(300);
  }));
  EXPECT_EQ(form->ViewPicForm->PictureFileName, folder / "first.bmp");
  int zoomShown = 0;
  EXPECT_TRUE(view(1, [&zoomShown](TViewPicForm& viewer) {
    EXPECT_EQ(viewer.Picture.Header->biWidth, 60);
    zoomShown = viewer.zoom();
  }));
  EXPECT_EQ(zoomShown, 300);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(ViewButtonTest, TheCurrentPictureIsNotLoadedAgainAndFailuresShowOneMessage) {
  form->ImageList->setCurrentRow(0);
  form->ImageListDblClick();
  std::filesystem::remove(folder / "first.bmp");
  std::filesystem::remove(folder / "second.bmp");
  EXPECT_TRUE(view(0));  // from memory: no load, no message
  EXPECT_TRUE(dialogs.messages.empty());

  EXPECT_FALSE(view(1));  // the loader's message only
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_NE(dialogs.messages[0].caption.find("could not be loaded"), std::string::npos);

  // A current picture without pixels is refused with its own message.
  uint8_t* pixels = std::exchange(form->currentPicture.Pixels, nullptr);
  EXPECT_FALSE(view(0));
  form->currentPicture.Pixels = pixels;
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1], errorBox("Could not open image file!"));
}

TEST_F(ViewButtonTest, PrintingCancelledPrintsNothingAndOpenHandsTheFileToTheDesktop) {
  OpenedUrls opened;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
  bool printDialogShown = false;
  EXPECT_TRUE(view(0, [&printDialogShown](TViewPicForm& viewer) {
    QTimer::singleShot(0, &viewer, [&printDialogShown] {
      auto* dialog = qobject_cast<TPrintForm*>(QApplication::activeModalWidget());
      printDialogShown = dialog != nullptr;
      if (dialog != nullptr) dialog->CancelBitBtn2->click();
    });
    viewer.PrintBrn->click();
    EXPECT_TRUE(viewer.isVisible());
    viewer.OpenBtn->click();
  }));
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_TRUE(printDialogShown);
  EXPECT_TRUE(dialogs.fileRequests.empty()) << "nothing printed, no PDF asked for";
  EXPECT_TRUE(dialogs.messages.empty());
  ASSERT_EQ(opened.urls.size(), 1);
  EXPECT_EQ(opened.urls[0], QUrl::fromLocalFile(QString::fromStdString(folder / "first.bmp")));
}

// Space, Backspace and Alt+arrows step through a five-entry album whose third picture cannot
// be read and whose last is a video clip: its message is shown, the viewer keeps the picture it
// had, the next step passes it, and the ends stop the steps. The album's focused line follows
// every step.
TEST_F(ViewButtonTest, StepsThroughTheAlbumPastAnUnreadablePictureAndStopsAtTheEnds) {
  std::ofstream(folder / "broken.bmp") << "BM not a picture";
  writePlainBmp(folder / "fourth.bmp", 40, 30, Rgb{10, 200, 10});
  ASSERT_TRUE(testing::makeClip(folder / "fifth.mp4", "h264"));  // its poster, and its length
  for (const char* name : {"broken.bmp", "fourth.bmp", "fifth.mp4"}) {
    form->album.append(folder / name);
  }
  form->UpdateListBox();
  struct Step {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int line;           // the focused line after it
    const char* shown;  // the viewer's picture after it, and its place
    const char* place;
    size_t messages;
  };
  const Step steps[] = {
      {Qt::Key_Space, Qt::NoModifier, 1, "second.bmp", "2 of 5", 0},
      {Qt::Key_Space, Qt::NoModifier, 2, "second.bmp", "2 of 5", 1},
      {Qt::Key_Right, Qt::AltModifier, 3, "fourth.bmp", "4 of 5", 1},
      {Qt::Key_Space, Qt::NoModifier, 4, "fifth.mp4", "5 of 5   0:02", 1},
      {Qt::Key_Space, Qt::NoModifier, 4, "fifth.mp4", "5 of 5   0:02", 1},
      {Qt::Key_Backspace, Qt::NoModifier, 3, "fourth.bmp", "4 of 5", 1},
      {Qt::Key_Left, Qt::AltModifier, 2, "fourth.bmp", "4 of 5", 2},
      {Qt::Key_Backspace, Qt::NoModifier, 1, "second.bmp", "2 of 5", 2},
      {Qt::Key_Left, Qt::AltModifier, 0, "first.bmp", "1 of 5", 2},
      {Qt::Key_Backspace, Qt::NoModifier, 0, "first.bmp", "1 of 5", 2},
  };
  EXPECT_TRUE(view(0, [&](TViewPicForm& viewer) {
    viewer.activateWindow();  // the Alt commands are the window's
    ASSERT_TRUE(QTest::qWaitForWindowActive(&viewer));
    for (const Step& step : steps) {
      QTest::keyClick(viewer.focusWidget(), step.key, step.modifiers);
      const std::string shown = std::filesystem::path(viewer.PictureFileName).filename();
      EXPECT_EQ(form->ImageList->currentRow(), step.line) << shown;
      EXPECT_EQ(shown, step.shown);
      EXPECT_EQ(form->album.PreviewFileName, viewer.PictureFileName);
      EXPECT_EQ(viewer.Picture.Pixels, form->currentPicture.Pixels) << "the current picture";
      EXPECT_EQ(dialogs.messages.size(), step.messages) << shown;
      EXPECT_TRUE(viewer.PositionLabel->text().endsWith(QString::fromLatin1(step.place)))
          << viewer.PositionLabel->text().toStdString();
    }
    EXPECT_TRUE(viewer.isVisible());
  }));
  EXPECT_NE(dialogs.messages[1].caption.find("broken.bmp"), std::string::npos);
}

TEST_F(ViewButtonTest, SpaceOnAFocusedBackButtonClosesTheViewer) {
  bool closed = false;
  QTimer::singleShot(0, form.get(), [&closed] {
    auto* viewer = qobject_cast<TViewPicForm*>(QApplication::activeModalWidget());
    ASSERT_NE(viewer, nullptr);
    viewer->ReadyBtn->setFocus();
    QTest::keyClick(viewer->ReadyBtn, Qt::Key_Space);
    closed = !viewer->isVisible();
    if (!closed) viewer->reject();
  });
  form->ImageList->setCurrentRow(0);
  form->ViewBtnClick();
  EXPECT_TRUE(closed);
  EXPECT_EQ(form->ImageList->currentRow(), 0) << "no step";
}

// A picture decoded ahead is handed out only while its file is as it was when decoding began.
TEST_F(ViewButtonTest, ANeighbourRewrittenAfterItWasDecodedAheadIsDecodedAgain) {
  PictureReadAhead ahead;
  const std::string first = folder / "first.bmp", second = folder / "second.bmp";
  ahead.want({first, second});
  ASSERT_TRUE(ahead.waitUntilDecoded(std::chrono::seconds(20)));
  std::optional<DibImage> unchanged = ahead.take(first);
  ASSERT_TRUE(unchanged.has_value());
  EXPECT_EQ(unchanged->Header->biWidth, 80);
  deldib(*unchanged);
  writePlainBmp(second, 60, 80, Rgb{1, 2, 3});  // same size, new contents and time
  EXPECT_FALSE(ahead.take(second).has_value());
  ahead.want({second});
  ASSERT_TRUE(ahead.waitUntilDecoded(std::chrono::seconds(20)));
  std::optional<DibImage> fresh = ahead.take(second);
  ASSERT_TRUE(fresh.has_value());
  EXPECT_EQ(getpixel(*fresh, 0, 0), 0x030201u) << "the rewritten file's colour";
  deldib(*fresh);
}

}  // namespace
}  // namespace glim

#include "main_form_view_test.moc"
