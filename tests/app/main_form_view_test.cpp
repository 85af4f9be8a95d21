// The add page's "&Show big" button and the viewer it opens: the focused picture, loaded only
// when it is not the current one; the zoom kept for the next picture; printing and opening the
// file from the viewer.
#include <QDesktopServices>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <functional>

#include "main_form_fixture.h"
#include "print_form.h"
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

}  // namespace
}  // namespace glim

#include "main_form_view_test.moc"
