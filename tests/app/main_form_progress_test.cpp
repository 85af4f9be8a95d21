// Progress reports reach the main window's status bar through the window handle the codec
// library is given, and the bar is on the screen before control returns to the event loop.
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "album_text.h"
#include "main_form_fixture.h"
#include "progress_status_bar.h"

namespace glim {
namespace {

// Counts the paints a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

class MainFormProgressTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QCoreApplication::processEvents();
  }

  // Navy columns across the progress panel in what the window last put on the screen.
  int navyColumns() {
    ProgressStatusBar* bar = form->StatusBar1;
    const QPoint origin = bar->mapTo(form.get(), QPoint(0, 0));
    const QImage shot =
        form->screen()
            ->grabWindow(form->winId(), origin.x(), origin.y(), bar->width(), bar->height())
            .toImage();
    const int row = bar->progressPanelRect().center().y();
    int count = 0;
    for (int x = 0; x < shot.width(); ++x) {
      count += shot.pixelColor(x, row) == ProgressStatusBar::kBarColor;
    }
    return count;
  }
  int expectedColumns(int percent) const {
    const QRect panel = form->StatusBar1->ProgressRect();  // L, T, R, B as last painted
    return (panel.right() + 1 - panel.left()) * percent / 100;
  }
  void send(intptr_t percent) {
    HWND window = form->windowHandle();
    window->send(window, 0x0400, percent, 12345);
  }
};

TEST_F(MainFormProgressTest, MessagesThroughTheHandleDriveTheBar) {
  ASSERT_FALSE(form->StatusBar1->ProgressRect().isEmpty());
  EXPECT_EQ(form->StatusBar1->ProgressRect().left(), 253);
  for (int percent = 10; percent <= 100; percent += 10) {
    send(percent);
    EXPECT_EQ(form->StatusBar1->Progress(), percent);
    EXPECT_EQ(navyColumns(), expectedColumns(percent)) << "at " << percent;
  }
  send(0);
  EXPECT_EQ(navyColumns(), 0);
  // Another message number is not progress.
  HWND window = form->windowHandle();
  window->send(window, 0x0401, 70, 0);
  EXPECT_EQ(form->StatusBar1->Progress(), 0);
}

// A 24-bit BMP of the given size, written byte by byte.
void writeBmp(const std::string& path, int32_t width, int32_t height) {
  const uint32_t rowBytes = (uint32_t(width) * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * uint32_t(height);
  std::string file;
  auto put16 = [&](uint16_t v) { file.append({char(v & 0xFF), char(v >> 8)}); };
  auto put32 = [&](uint32_t v) {
    file.append({char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24)});
  };
  file += "BM";
  put32(54 + imageBytes);
  put32(0);
  put32(54);
  put32(40);
  put32(uint32_t(width));
  put32(uint32_t(height));
  put16(1);
  put16(24);
  put32(0);
  put32(imageBytes);
  put32(2835);
  put32(2835);
  put32(0);
  put32(0);
  std::string row(rowBytes, '\0');
  for (int32_t x = 0; x < width; ++x) row[std::size_t(x) * 3 + 2] = char(x & 0xFF);
  for (int32_t y = 0; y < height; ++y) file += row;
  std::ofstream(path, std::ios::binary) << file;
}

TEST_F(MainFormProgressTest, OpeningALargePictureReportsIntoTheBarWhileItDecodes) {
  QTemporaryDir folder;
  const std::string path = pathBytes(folder.filePath("large.bmp"));
  writeBmp(path, 2000, 1500);
  PaintCounter counter;
  form->StatusBar1->installEventFilter(&counter);

  DibImage picture{};
  OpenDib(&picture, path.c_str(), 0, form->windowHandle());
  ASSERT_NE(picture.Pixels, nullptr) << reinterpret_cast<const char*>(picture.PaletteEntries);
  EXPECT_EQ(picture.Header->biWidth, 2000);
  deldib(picture);

  // The reports were painted inside the call, without the event loop running.
  EXPECT_GE(counter.paints, 3);
  EXPECT_EQ(form->StatusBar1->Progress(), 100);
  EXPECT_EQ(navyColumns(), expectedColumns(100));
  form->StatusBar1->removeEventFilter(&counter);
}

}  // namespace
}  // namespace glim
