// One paint of the picture viewer showing a 24-megapixel picture in a 1024 x 768 viewing area
// at zoom 100, 1000 and 9000, one drag step and one Ctrl+wheel zoom step (100 <-> 125, painted),
// each next to a plain QPainter::drawImage of a
// 1024 x 768 image onto a widget of that size. The goal is a ratio of at most 3: a paint costs
// about what the visible pixels cost, whatever the zoom. After the Google Benchmark runs the
// program times both in alternation and prints the ratios of the medians.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "../photo_like.h"
#include "spin_field.h"
#include "view_pic_form.h"

namespace {

constexpr int kViewWidth = 1024;
constexpr int kViewHeight = 768;

// The baseline: a widget that draws one viewport-sized picture as it stands.
class PlainImageWidget : public QWidget {
 public:
  PlainImageWidget() : image_(kViewWidth, kViewHeight, QImage::Format_BGR888) {
    for (int y = 0; y < kViewHeight; ++y) {
      uchar* line = image_.scanLine(y);
      for (int x = 0; x < 3 * kViewWidth; ++x) line[x] = static_cast<uchar>(x * 7 + y);
    }
    resize(kViewWidth, kViewHeight);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
  }

 private:
  QImage image_;
};

glim::TViewPicForm* viewer = nullptr;
PlainImageWidget* plain = nullptr;
int dragDirection = 1;

void settle() {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 100) QCoreApplication::processEvents();
}

// Zoom set, area sized, scrolled to the middle of the picture.
void showAtZoom(int zoom) {
  viewer->ZoomEd->setValue(zoom);
  settle();
  QScrollBar* h = viewer->ScrollBox1->horizontalScrollBar();
  QScrollBar* v = viewer->ScrollBox1->verticalScrollBar();
  h->setValue(h->maximum() / 2);
  v->setValue(v->maximum() / 2);
  settle();
  const QSize shown = viewer->ScrollBox1->viewport()->size();
  if (shown != QSize(kViewWidth, kViewHeight)) {
    std::fprintf(stderr, "viewing area is %d x %d\n", shown.width(), shown.height());
  }
}

void paintViewer() {
  viewer->PaintBox1->repaint();
}
void paintPlain() {
  plain->repaint();
}

void dragStep() {
  const QPoint centre(kViewWidth / 2, kViewHeight / 2);
  viewer->PaintBox1MouseDown(centre);
  viewer->PaintBox1MouseMove(centre + QPoint(10 * dragDirection, 8 * dragDirection));
  viewer->PaintBox1MouseUp();
  dragDirection = -dragDirection;
}

// One notch of Ctrl+wheel at the centre, in and out in turn, until the picture is painted.
int wheelDirection = 1;
void wheelStep() {
  const QPointF centre(kViewWidth / 2.0, kViewHeight / 2.0);
  const int drawn = viewer->drawingPasses();
  QWheelEvent wheel(centre, centre, QPoint(), QPoint(0, 120 * wheelDirection), Qt::NoButton,
                    Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewer->ScrollBox1->viewport(), &wheel);
  QElapsedTimer waited;
  waited.start();
  while (viewer->drawingPasses() == drawn && waited.elapsed() < 10000) {
    QCoreApplication::processEvents();
  }
  wheelDirection = -wheelDirection;
}

void BM_PlainDrawImage(benchmark::State& state) {
  for (auto _ : state) paintPlain();
}

void BM_ViewerPaint(benchmark::State& state) {
  showAtZoom(static_cast<int>(state.range(0)));
  for (auto _ : state) paintViewer();
}

void BM_ViewerDragStep(benchmark::State& state) {
  showAtZoom(static_cast<int>(state.range(0)));
  for (auto _ : state) dragStep();
}

double median(const std::function<void()>& run, std::vector<double>& samples) {
  const auto start = std::chrono::steady_clock::now();
  run();
  samples.push_back(
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return 0;
}

void printRatio(const char* what, int zoom, const std::function<void()>& run) {
  showAtZoom(zoom);
  std::vector<double> base, measured;
  for (int round = 0; round < 41; ++round) {
    median(paintPlain, base);
    median(run, measured);
  }
  std::sort(base.begin(), base.end());
  std::sort(measured.begin(), measured.end());
  const double b = base[base.size() / 2], m = measured[measured.size() / 2];
  std::printf("%s at zoom %d: %.3f ms, plain drawImage %.3f ms, ratio %.2f\n", what, zoom, m * 1e3,
              b * 1e3, m / b);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);

  DibImage picture = glim::bench::makePhotoLikePicture();
  glim::TViewPicForm window;
  viewer = &window;
  window.Picture = picture;
  window.show();
  // The window around a viewing area of exactly 1024 x 768.
  settle();
  const QSize extra = window.size() - window.ScrollBox1->viewport()->size();
  window.resize(QSize(kViewWidth, kViewHeight) + extra);
  settle();
  PlainImageWidget baseline;
  plain = &baseline;
  baseline.show();
  settle();

  benchmark::RegisterBenchmark("PlainDrawImage", BM_PlainDrawImage)->Unit(benchmark::kMillisecond);
  for (int zoom : {100, 1000, 9000}) {
    benchmark::RegisterBenchmark("ViewerPaint", BM_ViewerPaint)
        ->Arg(zoom)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("ViewerDragStep", BM_ViewerDragStep)
      ->Arg(100)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();

  for (int zoom : {100, 1000, 9000}) printRatio("viewer paint", zoom, paintViewer);
  printRatio("drag step", 100, dragStep);
  printRatio("Ctrl+wheel zoom step", 100, wheelStep);
  std::printf("viewer drew %d times\n", window.drawingPasses());
  window.Picture = DibImage{};
  deldib(picture);
  benchmark::Shutdown();
  return 0;
}
