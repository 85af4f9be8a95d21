// The current picture: loading a file into it, the preview pane's fitted drawing (checked in
// grabbed pixels), the error boxes of a failed load, and the preview window's one-to-one view.
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <fstream>

#include "main_form_fixture.h"
#include "preview_load.h"
#include "test_pictures.h"

namespace glim {
namespace {

using testing::Rgb;
using testing::TemporaryFolder;
using testing::writePlainBmp;

const QColor kRed(200, 30, 40);

class PreviewTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->DibPrevPaint->setFixedSize(181, 70);
    QCoreApplication::processEvents();
    ASSERT_EQ(form->DibPrevPaint->size(), QSize(181, 70));
  }

  QColor panelColor() const { return form->DibPrevPaint->palette().color(QPalette::Window); }

  // Width and height of the drawn area: pixels of `color` along the top row and left column.
  QSize drawnSize(const QColor& color) const {
    const QImage image = form->DibPrevPaint->grab().toImage();
    int width = 0;
    while (width < image.width() && image.pixel(width, 0) == color.rgb()) ++width;
    int height = 0;
    while (height < image.height() && image.pixel(0, height) == color.rgb()) ++height;
    // Everything right of and below that area is the panel's colour.
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const bool inside = x < width && y < height;
        if (image.pixel(x, y) != (inside ? color : panelColor()).rgb()) return {-1, -1};
      }
    }
    return {width, height};
  }

  TemporaryFolder folder{"glim-preview"};
};

TEST_F(PreviewTest, PaneFitsPicturesIntoItsTopLeftCorner) {
  ASSERT_NE(panelColor(), QColor(Qt::white));
  EXPECT_EQ(drawnSize(Qt::white), QSize(112, 70)) << "the white 320 x 200 start picture";

  struct Case {
    int32_t width, height;
    QSize drawn;
  };
  for (const Case& c :
       {Case{100, 1000, {7, 70}}, Case{1000, 100, {181, 18}}, Case{32, 32, {70, 70}}}) {
    const std::string path =
        folder / ("p" + std::to_string(c.width) + "x" + std::to_string(c.height) + ".bmp");
    writePlainBmp(path, c.width, c.height, Rgb{200, 30, 40});
    form->openfilenow(path);
    EXPECT_EQ(form->album.PreviewFileName, path);
    EXPECT_EQ(drawnSize(kRed), c.drawn) << c.width << " x " << c.height;
  }
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(PreviewTest, FailedLoadKeepsThePictureAndShowsOneBox) {
  const std::string good = folder / "good.bmp";
  writePlainBmp(good, 32, 32, Rgb{200, 30, 40});
  form->openfilenow(good);
  const uint8_t* pixels = form->currentPicture.Pixels;

  const std::string broken = folder / "broken.bmp";
  {
    std::ofstream out(broken, std::ios::binary);
    out << "BM not really a bitmap";
  }
  DibImage probe{};
  OpenDib(&probe, broken.c_str(), 0, nullptr);
  ASSERT_EQ(probe.Pixels, nullptr);
  const std::string libraryText = libraryErrorText(probe);
  ASSERT_GT(libraryText.size(), 5u);

  form->openfilenow(broken);
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0],
            (MessageBox{libraryText, "Error: The file " + broken + " could not be loaded!",
                        MessageButtons::Ok, MessageIcon::None}));
  EXPECT_EQ(form->album.PreviewFileName, good);
  EXPECT_EQ(form->currentPicture.Pixels, pixels);
  EXPECT_EQ(drawnSize(kRed), QSize(70, 70));

  // Opening the same path again after success decodes it afresh.
  form->openfilenow(good);
  EXPECT_NE(form->currentPicture.Pixels, nullptr);
  EXPECT_EQ(form->album.PreviewFileName, good);
  EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST(PreviewLoadErrorBox, LibraryTextOnlyWhenLongerThanFiveCharacters) {
  const std::string path = "/pictures/x.jpg";
  const std::string generic = "Error: The file /pictures/x.jpg could not be loaded!";
  EXPECT_EQ(previewLoadErrorBox("Broken", path),
            (MessageBox{"Broken", generic, MessageButtons::Ok, MessageIcon::None}));
  EXPECT_EQ(previewLoadErrorBox("Short", path),
            (MessageBox{generic, "Error", MessageButtons::Ok, MessageIcon::None}));
  EXPECT_EQ(previewLoadErrorBox("", path),
            (MessageBox{generic, "Error", MessageButtons::Ok, MessageIcon::None}));
}

TEST(PreviewLoadErrorBox, LibraryTextIsReadWithinItsArea) {
  DibImage failed{};
  std::memset(failed.PaletteEntries, 'x', sizeof failed.PaletteEntries);  // no terminating NUL
  EXPECT_EQ(libraryErrorText(failed).size(), sizeof failed.PaletteEntries);
  std::memcpy(failed.PaletteEntries, "Bad\0tail", 8);
  EXPECT_EQ(libraryErrorText(failed), "Bad");
}

TEST_F(MainFormTest, PreviewWindowSizesItsPaintBoxBeforeDrawingOneToOne) {
  addPreviewWindow();
  testing::TemporaryFolder folder("glim-preview");
  const std::string path = folder / "big.bmp";
  testing::BmpPicture picture;
  picture.width = 2000;
  picture.height = 1500;
  picture.colorAt = [](int32_t x, int32_t y) {
    return x < 1000 && y < 750 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
  };
  testing::writeBmp(path, picture);
  form->openfilenow(path);
  ASSERT_EQ(form->album.PreviewFileName, path);

  TPreViewForm* window = form->PreViewForm;
  EXPECT_EQ(window->windowTitle(), "View picture");
  EXPECT_EQ(window->size(), QSize(560, 460));
  EXPECT_EQ(window->BitBtn1->text(), "Back..");
  EXPECT_EQ(window->BitBtn1->geometry(), QRect(8, 8, 105, 25));
  QSize paintBox;
  QImage shown;
  bool scrollBars = false;
  bool drawn = false;
  QTimer::singleShot(0, window, [&] {
    drawn = QTest::qWaitFor([&] { return window->drawingPasses() > 0; }, 5000);
    paintBox = window->PaintBox1->size();
    shown = window->ScrollBox1->viewport()->grab().toImage();
    scrollBars = window->ScrollBox1->horizontalScrollBar()->isVisible() &&
                 window->ScrollBox1->verticalScrollBar()->isVisible();
    window->BitBtn1->click();
  });
  EXPECT_EQ(window->exec(), QDialog::Accepted);
  EXPECT_TRUE(drawn);
  EXPECT_EQ(window->sizingPasses(), 2);
  EXPECT_GE(window->drawingPasses(), 1);
  EXPECT_EQ(paintBox, QSize(2000, 1500));
  EXPECT_TRUE(scrollBars);
  ASSERT_FALSE(shown.isNull());
  EXPECT_EQ(shown.pixelColor(0, 0), QColor(255, 0, 0)) << "the top left quarter, one to one";
  EXPECT_EQ(shown.pixelColor(shown.width() - 1, shown.height() - 1), QColor(255, 0, 0));
}

}  // namespace
}  // namespace glim
