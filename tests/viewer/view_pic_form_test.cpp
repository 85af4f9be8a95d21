// The picture viewer, shown offscreen: the zoomed picture area in its sizing passes, drawing only
// what is visible (no zoomed copy), drag-panning that follows the pointer exactly.
#include "view_pic_form.h"

#include <sys/resource.h>

#include <QAccessible>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QWheelEvent>

#include "../ui/qt_test_app.h"
#include "gtest/gtest.h"
#include "print_fixtures.h"
#include "spin_field.h"
#include "zoom_geometry.h"

namespace glim {
namespace {

// Each pixel's colour tells where it is: red the column, green the line from the top.
testing::OwnedDib placeCodedPicture(int32_t width, int32_t height) {
  testing::OwnedDib picture(width, height, 24);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = picture.row(height - 1 - y);
    for (int32_t x = 0; x < width; ++x) {
      row[3 * x] = 77;
      row[3 * x + 1] = static_cast<uint8_t>(y);
      row[3 * x + 2] = static_cast<uint8_t>(x);
    }
  }
  return picture;
}

long peakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

class ViewerTest : public ::testing::Test {
 protected:
  void show(const testing::OwnedDib& shown) {
    viewer.Picture = *shown;
    viewer.resize(532, 420);
    viewer.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&viewer));
    settle();
  }

  // Lets the posted paints run until nothing changes any more.
  void settle() {
    for (int round = 0; round < 10; ++round) QCoreApplication::processEvents();
  }

  void setZoom(int zoom) {
    viewer.ZoomEd->setValue(zoom);
    settle();
  }

  QSize area() const { return viewer.PaintBox1->size(); }
  QPoint scroll() const {
    return {viewer.ScrollBox1->horizontalScrollBar()->value(),
            viewer.ScrollBox1->verticalScrollBar()->value()};
  }

  // A real mouse event on the picture area at a point of the visible region, given as the
  // area's own coordinates at that moment, as the window system delivers it.
  void mouse(QEvent::Type type, QPoint inViewport) {
    const QPoint local = inViewport - viewer.PaintBox1->pos();
    QMouseEvent event(type, local, viewer.PaintBox1->mapToGlobal(local), Qt::RightButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::RightButton,
                      Qt::NoModifier);
    QApplication::sendEvent(viewer.PaintBox1, &event);
  }

  testing::QtAppFirst app;
  TViewPicForm viewer;
  testing::OwnedDib picture = placeCodedPicture(640, 480);
};

TEST_F(ViewerTest, TheAreaTakesTheZoomedSizeWithoutAZoomedCopy) {
  show(picture);
  EXPECT_EQ(area(), QSize(640, 480));
  setZoom(5);
  EXPECT_EQ(area(), QSize(32, 24));
  const long before = peakKilobytes();
  setZoom(9000);
  EXPECT_EQ(area(), QSize(57600, 43200));
  // Somewhere in the middle: each picture pixel is 90 screen pixels wide.
  viewer.ScrollBox1->horizontalScrollBar()->setValue(30000);
  viewer.ScrollBox1->verticalScrollBar()->setValue(20000);
  // The whole window drawn as on screen, where the area paints at its place in the window.
  const QImage shown = viewer.grab().toImage();
  const QPoint corner = viewer.ScrollBox1->viewport()->mapTo(&viewer, QPoint(0, 0));
  const QRgb pixel = shown.pixel(corner + QPoint(10, 10));
  EXPECT_EQ(qRed(pixel), (30000 + 10) / 90 % 256);
  EXPECT_EQ(qGreen(pixel), (20000 + 10) / 90 % 256);
  EXPECT_EQ(qBlue(pixel), 77);
  // A 57600 x 43200 copy would take 7 GB; the paint takes what the visible region needs.
  EXPECT_LT(peakKilobytes() - before, 64 * 1024);
}

TEST_F(ViewerTest, ATinyPictureAtZoomFiveLeavesAnEmptyAreaAndDrawsNothing) {
  const testing::OwnedDib tiny = placeCodedPicture(10, 10);
  setZoom(5);
  show(tiny);
  EXPECT_EQ(area(), QSize(0, 0));
  EXPECT_EQ(viewer.drawingPasses(), 0);
  setZoom(100);  // the empty area still comes back
  EXPECT_EQ(area(), QSize(10, 10));
  EXPECT_GT(viewer.drawingPasses(), 0);
}

TEST_F(ViewerTest, AZoomChangeResizesInTwoPassesAndDrawsInTheNext) {
  show(picture);
  const int sized = viewer.sizingPasses();
  const int drawn = viewer.drawingPasses();
  viewer.ZoomEd->setValue(200);  // runs the paint handler: the width pass
  EXPECT_EQ(viewer.sizingPasses(), sized + 1);
  EXPECT_EQ(area(), QSize(1280, 480));
  EXPECT_EQ(viewer.drawingPasses(), drawn);
  settle();
  EXPECT_EQ(viewer.sizingPasses(), sized + 2);
  EXPECT_EQ(area(), QSize(1280, 960));
  EXPECT_GT(viewer.drawingPasses(), drawn);
}

TEST_F(ViewerTest, DragPanningFollowsThePointerAndStopsAtTheEnds) {
  show(picture);
  setZoom(400);  // 2560 x 1920
  viewer.ScrollBox1->horizontalScrollBar()->setValue(600);
  viewer.ScrollBox1->verticalScrollBar()->setValue(500);
  QPoint pointer(250, 150);
  mouse(QEvent::MouseButtonPress, pointer);
  for (int step = 0; step < 10; ++step) {
    pointer -= QPoint(10, 8);
    const int drawn = viewer.drawingPasses();
    mouse(QEvent::MouseMove, pointer);
    EXPECT_EQ(viewer.drawingPasses(), drawn + 1) << "one paint per step";
  }
  EXPECT_EQ(scroll(), QPoint(700, 580));
  // Far past either end: the positions stop at the ends of their ranges.
  mouse(QEvent::MouseMove, QPoint(5000, 5000));
  EXPECT_EQ(scroll(), QPoint(0, 0));
  mouse(QEvent::MouseMove, QPoint(-5000, -5000));
  EXPECT_EQ(scroll(), QPoint(viewer.ScrollBox1->horizontalScrollBar()->maximum(),
                             viewer.ScrollBox1->verticalScrollBar()->maximum()));
  // Released: moves pan no more.
  mouse(QEvent::MouseButtonRelease, pointer);
  const QPoint kept = scroll();
  mouse(QEvent::MouseMove, QPoint(100, 100));
  EXPECT_EQ(scroll(), kept);
}

// Ctrl+wheel zooms about the pointer: the picture point under it stays under it within one
// pixel, in the middle and at both ends of the scroll ranges; finer wheels add up to a notch.
TEST_F(ViewerTest, CtrlWheelKeepsThePointUnderThePointer) {
  show(picture);
  QScrollBar* across = viewer.ScrollBox1->horizontalScrollBar();
  QScrollBar* down = viewer.ScrollBox1->verticalScrollBar();
  const QSize view = viewer.ScrollBox1->viewport()->size();
  struct Case {
    QPoint scroll;  // -1: the end of the range
    QPoint pointer;
    std::vector<int> angles;
    std::vector<int> zooms;
  };
  const Case cases[] = {
      {{50, 80}, {200, 150}, {120, -120}, {125, 100}},
      {{0, 0}, {3, 3}, {120, -120}, {125, 100}},
      {{-1, -1}, {view.width() - 3, view.height() - 3}, {120, -120}, {125, 100}},
      {{50, 80}, {100, 100}, {60, 60, -120}, {100, 125, 100}},
  };
  for (const Case& c : cases) {
    setZoom(100);
    across->setValue(c.scroll.x() < 0 ? across->maximum() : c.scroll.x());
    down->setValue(c.scroll.y() < 0 ? down->maximum() : c.scroll.y());
    for (size_t i = 0; i < c.angles.size(); ++i) {
      const QPointF local = QPointF(c.pointer) - QPointF(viewer.PaintBox1->pos());
      const QPointF picturePoint = local * 100.0 / viewer.zoom();
      QWheelEvent wheel(local, viewer.PaintBox1->mapToGlobal(local), QPoint(),
                        QPoint(0, c.angles[i]), Qt::NoButton, Qt::ControlModifier,
                        Qt::NoScrollPhase, false);
      QApplication::sendEvent(viewer.PaintBox1, &wheel);
      settle();
      EXPECT_EQ(viewer.zoom(), c.zooms[i]);
      const QPointF now = QPointF(c.pointer) - QPointF(viewer.PaintBox1->pos());
      const QPointF off = now - picturePoint * viewer.zoom() / 100.0;
      EXPECT_LE(std::max(std::abs(off.x()), std::abs(off.y())), 1.0)
          << "pointer " << c.pointer.x() << "," << c.pointer.y() << " step " << i;
    }
  }
}

// Ctrl+0, Ctrl+plus and Ctrl+minus, and F: the whole picture in the area, never above 100 %,
// F again back to the zoom before, and fit ended by a typed zoom.
TEST_F(ViewerTest, ZoomKeysAndFit) {
  const testing::OwnedDib small = placeCodedPicture(100, 80);
  show(picture);
  viewer.activateWindow();  // the Ctrl commands are the window's
  ASSERT_TRUE(QTest::qWaitForWindowActive(&viewer));
  ASSERT_EQ(viewer.focusWidget(), viewer.ScrollBox1) << "the viewing area has the focus";
  EXPECT_EQ(QAccessible::queryAccessibleInterface(viewer.ZoomEd)->text(QAccessible::Name), "Zoom");
  const auto fitted = [this] {
    const QSize most = viewer.ScrollBox1->maximumViewportSize();
    const auto fits = [&](int zoom) {
      const ZoomedSize size = zoomedSize(640, 480, zoom);
      return size.width <= most.width() && size.height <= most.height();
    };
    return fits(viewer.zoom()) && !fits(viewer.zoom() + 1) &&
           !viewer.ScrollBox1->horizontalScrollBar()->isVisible();
  };
  struct Press {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int zoom;  // 0: fitted
  };
  const Press presses[] = {
      {Qt::Key_Plus, Qt::ControlModifier, 125},
      {Qt::Key_Equal, Qt::ControlModifier, 156},
      {Qt::Key_Minus, Qt::ControlModifier, 125},
      {Qt::Key_Minus, Qt::ControlModifier, 100},
      {Qt::Key_Plus, Qt::ControlModifier, 125},
      {Qt::Key_0, Qt::ControlModifier, 100},
      {Qt::Key_F, Qt::NoModifier, 0},
      {Qt::Key_F, Qt::NoModifier, 100},
  };
  for (const Press& press : presses) {
    QTest::keyClick(viewer.ScrollBox1, press.key, press.modifiers);
    settle();
    EXPECT_EQ(viewer.fitting(), press.zoom == 0);
    if (press.zoom == 0) {
      EXPECT_TRUE(fitted()) << viewer.zoom();
    } else {
      EXPECT_EQ(viewer.zoom(), press.zoom);
    }
  }
  QTest::keyClick(viewer.ScrollBox1, Qt::Key_F);
  setZoom(300);  // typed: fit mode ends, so F fits again and then comes back
  EXPECT_FALSE(viewer.fitting());
  QTest::keyClick(viewer.ScrollBox1, Qt::Key_F);
  settle();
  EXPECT_TRUE(fitted()) << viewer.zoom();
  QTest::keyClick(viewer.ScrollBox1, Qt::Key_F);
  EXPECT_EQ(viewer.zoom(), 300);
  // A small picture is never enlarged to fit.
  viewer.showPicture(*small, "small.bmp", 0, 1);
  QTest::keyClick(viewer.ScrollBox1, Qt::Key_F);
  EXPECT_EQ(viewer.zoom(), 100);
  // F belongs to the viewing area: in the zoom field it is the field's key.
  viewer.ZoomEd->setFocus();
  QTest::keyClick(viewer.ZoomEd, Qt::Key_F);
  EXPECT_TRUE(viewer.fitting());
}

// F11 shows the picture alone; Escape first leaves full screen, then closes the viewer.
TEST_F(ViewerTest, FullScreenAndEscape) {
  show(picture);
  viewer.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&viewer));
  QTest::keyClick(viewer.ScrollBox1, Qt::Key_F11);
  EXPECT_TRUE(viewer.isFullScreen());
  EXPECT_FALSE(viewer.Panel5->isVisible());
  EXPECT_FALSE(viewer.StatusBar1->isVisible());
  QTest::keyClick(viewer.ScrollBox1, Qt::Key_F);  // fit works there too
  EXPECT_TRUE(viewer.fitting());
  QTest::keyClick(viewer.ScrollBox1, Qt::Key_Escape);
  EXPECT_FALSE(viewer.isFullScreen());
  EXPECT_TRUE(viewer.isVisible());
  EXPECT_TRUE(viewer.Panel5->isVisible());
  QTest::keyClick(viewer.ScrollBox1, Qt::Key_Escape);
  EXPECT_FALSE(viewer.isVisible());
}

TEST(ZoomGeometryTest, SizesAndDragPositions) {
  EXPECT_EQ(zoomedSize(333, 100, 33), (ZoomedSize{109, 33, 109, 33}));
  EXPECT_EQ(zoomedSize(6000, 4000, 9000), (ZoomedSize{540000, 360000, 540000, 360000}));
  // Beyond what a widget can hold: the area stops at the limit, the picture keeps its size.
  EXPECT_EQ(zoomedSize(200000, 10, 9000), (ZoomedSize{18000000, 900, kMaxWidgetExtent, 900}));
  EXPECT_EQ(dragScrollPosition(250, 600, 150, 2000), 700);
  EXPECT_EQ(dragScrollPosition(250, 600, 1000, 2000), 0);
  EXPECT_EQ(dragScrollPosition(250, 600, -5000, 2000), 2000);
  // A scale-2 screen: the area in widget pixels, rounded up; the picture in device pixels.
  EXPECT_EQ(zoomedSize(401, 300, 100, 2.0), (ZoomedSize{401, 300, 201, 150}));
  EXPECT_EQ(steppedZoom(5, -1), 5);
  EXPECT_EQ(steppedZoom(8000, 2), 9000);
  EXPECT_EQ(fitZoom(4000, 3000, 1024, 768), 25);
  EXPECT_EQ(fitZoom(4000, 1000, 1024, 768), 25);  // limited by the width
  EXPECT_EQ(fitZoom(100000, 10, 1024, 768), 5);
}

}  // namespace
}  // namespace glim
