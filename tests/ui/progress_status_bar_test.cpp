// The status bar's progress panel: the bar's width in real pixels, drawn synchronously on a
// rise and by a whole repaint on a fall.
#include "progress_status_bar.h"

#include <QAccessible>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>
#include <climits>

#include "gtest/gtest.h"
#include "qt_test_app.h"

namespace glim {
namespace {

TEST(ProgressBarRight, ComputesTheRightEdgeByTruncatingDivision) {
  struct Case {
    int32_t left, right, percent, expected;
  } cases[] = {
      {250, 600, 50, 425},    // 175 columns: 250..424
      {250, 600, 100, 600},   // the whole panel
      {250, 600, 0, 250},     // nothing
      {250, 600, 33, 365},    // 350 * 33 = 11550, div 100 = 115
      {250, 600, 250, 1125},  // past the panel, clipped by the painter
      {250, 600, -10, 215},   // truncation toward zero for negatives
      {0, 7, 99, 6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(progressBarRight(c.left, c.right, c.percent), c.expected)
        << c.left << ".." << c.right << " at " << c.percent;
  }
  // A value far outside 0..100 must not overflow 32-bit arithmetic.
  EXPECT_EQ(progressBarRight(250, 600, INT32_MAX), INT32_MAX);
  EXPECT_EQ(progressBarRight(250, 600, INT32_MIN), INT32_MIN);
}

// The bar as the screen shows it: the window's backing store, read without a new paint.
class StatusBarOnScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    window.resize(600, 60);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch(1);
    bar = new ProgressStatusBar(&window);
    layout->addWidget(bar);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
  }

  // Navy columns on the middle row of the progress panel, as last flushed to the screen.
  int navyColumns() {
    const QRect panel = bar->progressPanelRect();
    const QPoint origin = bar->mapTo(&window, QPoint(0, 0));
    const QImage shot =
        window.screen()
            ->grabWindow(window.winId(), origin.x(), origin.y(), bar->width(), bar->height())
            .toImage();
    int count = 0;
    for (int x = 0; x < shot.width(); ++x) {
      if (shot.pixelColor(x, panel.center().y()) == ProgressStatusBar::kBarColor) ++count;
    }
    return count;
  }

  int expectedColumns(int percent) {
    const QRect panel = bar->progressPanelRect();
    return (panel.right() + 1 - panel.left()) * percent / 100;
  }

  testing::QtAppFirst app;  // before any widget member
  QWidget window;
  ProgressStatusBar* bar = nullptr;
};

TEST_F(StatusBarOnScreen, GrowingBarIsOnScreenBeforeTheEventLoopRuns) {
  ASSERT_FALSE(bar->ProgressRect().isEmpty());
  EXPECT_EQ(bar->ProgressRect(), bar->progressPanelRect());
  EXPECT_EQ(navyColumns(), 0);
  const int fullPaints = bar->fullPaintCount();
  for (int percent = 10; percent <= 100; percent += 10) {
    bar->SetProStatus(percent);
    // No processEvents: what the screen holds now was painted inside SetProStatus.
    EXPECT_EQ(navyColumns(), expectedColumns(percent)) << "at " << percent;
    EXPECT_EQ(bar->Progress(), percent);
    // A screen reader hears the same value.
    QAccessibleInterface* progress =
        QAccessible::queryAccessibleInterface(bar->findChild<QProgressBar*>());
    ASSERT_TRUE(progress != nullptr && progress->valueInterface() != nullptr);
    EXPECT_EQ(progress->valueInterface()->currentValue().toInt(), percent);
  }
  EXPECT_EQ(bar->fullPaintCount(), fullPaints) << "a rise must not repaint the whole bar";
  EXPECT_EQ(navyColumns(), bar->progressPanelRect().width());
}

TEST_F(StatusBarOnScreen, FallRepaintsTheWholeBarAtOnce) {
  bar->SetProStatus(100);
  const int fullPaints = bar->fullPaintCount();
  bar->SetProStatus(0);
  EXPECT_EQ(bar->fullPaintCount(), fullPaints + 1);
  EXPECT_EQ(navyColumns(), 0);
  bar->SetProStatus(70);
  bar->SetProStatus(40);
  EXPECT_EQ(navyColumns(), expectedColumns(40));
}

TEST_F(StatusBarOnScreen, ResizeRedrawsTheBarInProportion) {
  bar->SetProStatus(50);
  window.resize(420, 60);
  QCoreApplication::processEvents();
  bar->repaint();
  EXPECT_EQ(bar->ProgressRect(), bar->progressPanelRect());
  EXPECT_EQ(navyColumns(), expectedColumns(50));
}

TEST(StatusBarBeforeFirstPaint, StoresTheValueAndShowsItAtTheFirstPaint) {
  testing::qtApp();
  ProgressStatusBar bar;
  bar.resize(500, ProgressStatusBar::kHeight);
  bar.SetProStatus(60);
  EXPECT_TRUE(bar.ProgressRect().isEmpty());
  EXPECT_EQ(bar.Progress(), 60);
  const QImage image = bar.grab().toImage();
  const QRect panel = bar.progressPanelRect();
  int count = 0;
  for (int x = 0; x < image.width(); ++x) {
    if (image.pixelColor(x, panel.center().y()) == ProgressStatusBar::kBarColor) ++count;
  }
  EXPECT_EQ(count, panel.width() * 60 / 100);
  EXPECT_EQ(bar.ProgressRect(), panel);
}

}  // namespace
}  // namespace glim
