// openfilenow on a 24-megapixel JPEG (decode, replace the current picture, paint the preview
// pane at once) next to OpenDib of the same file alone. The goal is a ratio of at most 1.1;
// after the Google Benchmark runs the program measures both in alternation and prints the
// ratio of the medians. A photograph given as the first argument is measured as well.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../photo_like.h"
#include "main_form.h"
#include "silent_dialogs.h"

namespace {

using glim::bench::SilentDialogs;

// A 6000 x 4000 photograph-like JPEG written with the codec library, made once per run.
std::string makeLargeJpeg() {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("glim-preview-bench-" + std::to_string(getpid()) + ".jpg"))
                               .string();
  DibImage made = glim::bench::makePhotoLikePicture();
  SaveDib(made, path.c_str(), PICODEC_SAVE_JPEG, nullptr);
  deldib(made);
  return path;
}

// Counts the paints of the preview pane, so that the run shows the pane was really drawn.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

SilentDialogs dialogs;
PaintCounter paintCounter;
glim::TMainForm* form = nullptr;
std::vector<std::string> files;

void decodeAlone(const std::string& path) {
  DibImage dib{};
  OpenDib(&dib, path.c_str(), 0, nullptr);
  if (!dib.Pixels) std::abort();
  deldib(dib);
}

// The decode with the main window's handle: the status bar shows the library's progress.
void decodeWithProgress(const std::string& path) {
  DibImage dib{};
  OpenDib(&dib, path.c_str(), 0, form->windowHandle());
  if (!dib.Pixels) std::abort();
  deldib(dib);
}

void loadIntoPreview(const std::string& path) {
  form->openfilenow(path);
  if (form->album.PreviewFileName != path) std::abort();
}

void BM_OpenDibAlone(benchmark::State& state) {
  const std::string& path = files.at(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) decodeAlone(path);
}

void BM_OpenDibWithProgress(benchmark::State& state) {
  const std::string& path = files.at(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) decodeWithProgress(path);
}

void BM_PaintPane(benchmark::State& state) {
  loadIntoPreview(files.at(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) form->DibPrevPaint->repaint();
}

void BM_OpenIntoPreview(benchmark::State& state) {
  const std::string& path = files.at(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) loadIntoPreview(path);
}

double seconds(void (*run)(const std::string&), const std::string& path) {
  const auto start = std::chrono::steady_clock::now();
  run(path);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void printRatio(const std::string& path) {
  std::vector<double> alone, preview;
  for (int round = 0; round < 9; ++round) {
    alone.push_back(seconds(decodeAlone, path));
    preview.push_back(seconds(loadIntoPreview, path));
  }
  std::sort(alone.begin(), alone.end());
  std::sort(preview.begin(), preview.end());
  const double a = alone[alone.size() / 2], p = preview[preview.size() / 2];
  std::printf("%s: OpenDib alone %.1f ms, into the preview and painted %.1f ms, ratio %.3f\n",
              path.c_str(), a * 1e3, p * 1e3, p / a);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  files.push_back(makeLargeJpeg());
  if (argc > 1) files.emplace_back(argv[1]);

  glim::TMainForm window(&dialogs);
  form = &window;
  window.show();
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < 200) QCoreApplication::processEvents();
  window.DibPrevPaint->installEventFilter(&paintCounter);

  for (int64_t i = 0; i < static_cast<int64_t>(files.size()); ++i) {
    benchmark::RegisterBenchmark("OpenDibAlone", BM_OpenDibAlone)
        ->Arg(i)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("OpenDibWithProgress", BM_OpenDibWithProgress)
        ->Arg(i)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("PaintPane", BM_PaintPane)->Arg(i)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("OpenIntoPreview", BM_OpenIntoPreview)
        ->Arg(i)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  for (const std::string& path : files) printRatio(path);
  std::printf("preview pane painted %d times\n", paintCounter.paints);
  std::filesystem::remove(files.front());
  benchmark::Shutdown();
  return 0;
}
