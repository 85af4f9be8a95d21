// A step of the picture viewer (Space, then Backspace) to a 24-megapixel JPEG that was decoded
// ahead, from the key press to the painted picture, next to OpenDib of the same file in the
// same run: the goal is a ratio of at most 1/5. It also prints the peak memory that the viewer
// with its decoding ahead adds, against the size of one decoded picture (goal: at most two).
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QListWidget>
#include <QScrollArea>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../photo_like.h"
#include "main_form.h"
#include "silent_dialogs.h"
#include "view_pic_form.h"

namespace {

using glim::bench::SilentDialogs;

// A line of /proc/self/status in kilobytes.
long statusKilobytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  }
  return -1;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void idle(double seconds) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < seconds * 1000) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("glim-viewer-step-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  std::vector<std::string> files;
  DibImage made = glim::bench::makePhotoLikePicture();
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
    files.push_back((folder / name).string());
    SaveDib(made, files.back().c_str(), PICODEC_SAVE_JPEG, nullptr);
  }
  const double pictureMegabytes = made.RowBytes * 4000.0 / 1e6;
  deldib(made);

  std::vector<double> decodes;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    DibImage dib{};
    OpenDib(&dib, files[1].c_str(), 0, nullptr);
    decodes.push_back(secondsSince(start));
    if (dib.Pixels == nullptr) return 1;
    deldib(dib);
  }
  const double decode = median(decodes);

  SilentDialogs dialogs;
  glim::TMainForm form(&dialogs);
  auto* viewer = new glim::TViewPicForm(&form);
  form.setViewer(viewer);
  for (const std::string& file : files) form.album.append(file);
  form.UpdateListBox();
  form.show();
  idle(0.2);
  form.ImageList->setCurrentRow(0);
  form.ImageListDblClick();
  idle(0.1);
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
  const long before = statusKilobytes("VmRSS:");

  std::vector<double> steps;
  int wrongSteps = 0;
  QTimer::singleShot(0, &form, [&] {
    viewer->resize(1024, 768);
    for (int round = 0; round < 8; ++round) {
      idle(3 * decode + 0.2);  // the neighbour is decoded ahead meanwhile
      const int line = form.ImageList->currentRow();
      const int drawn = viewer->drawingPasses();
      const auto start = std::chrono::steady_clock::now();
      QKeyEvent press(QEvent::KeyPress, round % 2 == 0 ? Qt::Key_Space : Qt::Key_Backspace,
                      Qt::NoModifier);
      QApplication::sendEvent(viewer->ScrollBox1, &press);
      while (viewer->drawingPasses() == drawn && secondsSince(start) < 30) {
        QCoreApplication::processEvents();
      }
      steps.push_back(secondsSince(start));
      if (form.ImageList->currentRow() == line) ++wrongSteps;
    }
    viewer->accept();
  });
  form.ViewBtnClick();
  const long peak = statusKilobytes("VmHWM:");

  const double step = median(steps);
  std::printf(
      "OpenDib of a 6000 x 4000 JPEG %.1f ms; a step to it decoded ahead, key to paint "
      "%.1f ms; ratio %.3f (goal at most 0.2)\n",
      decode * 1e3, step * 1e3, step / decode);
  std::printf(
      "peak memory added while viewing: %.1f MB, %.2f decoded pictures of %.1f MB "
      "(goal at most 2)\n",
      (peak - before) / 1e3, (peak - before) / 1e3 / pictureMegabytes, pictureMegabytes);
  if (wrongSteps != 0) std::printf("%d steps did not move\n", wrongSteps);
  std::filesystem::remove_all(folder);
  return 0;
}
