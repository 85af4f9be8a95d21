// The main window with a large album: opening an album file of 10,000 entries (or the count
// given as the first argument; each open is of another album, so that no line size is known
// yet) until its lists are laid out and painted, showing the sort and comments pages with
// their lists, and one edit of each kind: a move down on the sort page, a delete on the add
// page and a check mark on the comments page. The window is shown (offscreen); each figure
// is the median and the largest of its runs, in milliseconds. Goals: the album open with its
// three lists under 300 ms, one edit under 100 ms.
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "album_file.h"
#include "atomic_file.h"
#include "main_form.h"
#include "silent_dialogs.h"

namespace {

using glim::bench::SilentDialogs;

using Clock = std::chrono::steady_clock;

// An album of `count` pictures with names of varied length, some comments and some check
// marks cleared; `variant` makes the names differ from those of another variant.
std::string writeAlbum(int count, int variant) {
  const std::string path =
      (std::filesystem::temp_directory_path() /
       ("glim-lists-bench-" + std::to_string(getpid()) + "-" + std::to_string(variant) + ".lmf"))
          .string();
  std::vector<glim::PictureEntry> entries(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    glim::PictureEntry& entry = entries[static_cast<std::size_t>(i)];
    entry.FilePath = "/home/anna/Bilder/2024/Urlaub " + std::to_string(i / 100) + "/" +
                     std::string(static_cast<std::size_t>(i % 23), 'x') + "IMG_" +
                     std::to_string(variant) + "_" + std::to_string(i) + ".JPG";
    if (i % 3 == 0) entry.Comment = "Am Strand, Tag " + std::to_string(i);
    entry.CheckMark = i % 7 != 0;
  }
  if (!glim::writeFileAtomically(path, glim::encodeAlbumFile(entries, {}, path))) std::abort();
  return path;
}

// What the event loop does next: the lists' delayed layout, then the paint.
void settle() {
  for (int round = 0; round < 3; ++round) QCoreApplication::processEvents();
}

double milliseconds(const std::function<void()>& action) {
  const auto start = Clock::now();
  action();
  settle();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figure {
  const char* what;
  std::vector<double> times;
};

void print(const Figure& figure) {
  std::vector<double> sorted = figure.times;
  std::sort(sorted.begin(), sorted.end());
  std::printf("  %-44s median %8.2f ms, largest %8.2f ms (%zu runs)\n", figure.what,
              sorted[sorted.size() / 2], sorted.back(), sorted.size());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 10000;
  // Each open is of an album the window has not shown yet.
  constexpr int kOpens = 7;
  std::vector<std::string> albums;
  for (int variant = 0; variant < kOpens; ++variant) albums.push_back(writeAlbum(count, variant));

  SilentDialogs dialogs;
  glim::TMainForm window(&dialogs);
  window.show();
  settle();

  Figure open{"open the album (add page shown)", {}};
  Figure sortPage{"then show the sort page", {}};
  Figure commentsPage{"then show the comments page", {}};
  Figure allThree{"open and show all three lists", {}};
  for (int run = 0; run < kOpens; ++run) {
    window.PageControl2->setCurrentIndex(0);
    window.album.DelallPics();
    window.UpdateListBox();
    settle();
    const double a = milliseconds([&] { window.OpenFile(albums[run]); });
    if (window.ImageBox->count() != count) std::abort();
    const double b = milliseconds([&] { window.PageControl2->setCurrentIndex(1); });
    const double c = milliseconds([&] { window.PageControl2->setCurrentIndex(2); });
    open.times.push_back(a);
    sortPage.times.push_back(b);
    commentsPage.times.push_back(c);
    allThree.times.push_back(a + b + c);
  }

  Figure reopen{"open the last one again over itself", {}};
  for (int run = 0; run < kOpens; ++run) {
    reopen.times.push_back(milliseconds([&] { window.OpenFile(albums.back()); }));
  }

  Figure moveDown{"move down (sort page)", {}};
  window.PageControl2->setCurrentIndex(1);
  settle();
  for (int run = 0; run < 15; ++run) {
    const int line = count / 2 + run;
    window.SortBox->setCurrentRow(line);
    settle();
    moveDown.times.push_back(milliseconds([&] { window.DownNow->click(); }));
    if (window.SortBox->currentRow() != line + 1) std::abort();
  }

  Figure check{"check mark (comments page)", {}};
  window.PageControl2->setCurrentIndex(2);
  settle();
  for (int run = 0; run < 15; ++run) {
    const int line = count / 2 + run;
    QListWidgetItem* item = window.ImageBox->item(line);
    const bool on = item->checkState() != Qt::Checked;
    check.times.push_back(
        milliseconds([&] { item->setCheckState(on ? Qt::Checked : Qt::Unchecked); }));
    if (window.album.entry(line).CheckMark != on) std::abort();
  }

  Figure remove{"delete one line (add page)", {}};
  window.PageControl2->setCurrentIndex(0);
  settle();
  for (int run = 0; run < 15; ++run) {
    const int before = window.album.EntryCount();
    window.ImageList->setCurrentRow(count / 2, QItemSelectionModel::ClearAndSelect);
    settle();
    remove.times.push_back(milliseconds([&] { window.DelBtn->click(); }));
    if (window.album.EntryCount() != before - 1 || window.ImageList->count() != before - 1)
      std::abort();
  }

  std::printf("main window with an album of %d entries (offscreen)\n", count);
  for (const Figure* figure :
       {&open, &sortPage, &commentsPage, &allThree, &reopen, &moveDown, &check, &remove}) {
    print(*figure);
  }
  for (const std::string& path : albums) std::filesystem::remove(path);
  return 0;
}
