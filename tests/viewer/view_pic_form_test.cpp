// The picture viewer, shown offscreen: the zoomed picture area in its sizing passes, drawing only
// what is visible (no zoomed copy), drag-panning that follows the pointer exactly.
#include "view_pic_form.h"

#include <sys/resource.h>

#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

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

TEST(ZoomGeometryTest, SizesAndDragPositions) {
  EXPECT_EQ(zoomedSize(333, 100, 33), (ZoomedSize{109, 33, 109, 33}));
  EXPECT_EQ(zoomedSize(6000, 4000, 9000), (ZoomedSize{540000, 360000, 540000, 360000}));
  // Beyond what a widget can hold: the area stops at the limit, the picture keeps its size.
  EXPECT_EQ(zoomedSize(200000, 10, 9000), (ZoomedSize{18000000, 900, kMaxWidgetExtent, 900}));
  EXPECT_EQ(dragScrollPosition(250, 600, 150, 2000), 700);
  EXPECT_EQ(dragScrollPosition(250, 600, 1000, 2000), 0);
  EXPECT_EQ(dragScrollPosition(250, 600, -5000, 2000), 2000);
}

}  // namespace
}  // namespace glim
