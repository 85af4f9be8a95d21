#include "picture_work.h"

#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "album_naming.h"
#include "depth_promotion.h"
#include "dibs24.h"
#include "picture_memory.h"
#include "resampling.h"
#include "web_pictures.h"

namespace glim {
namespace {

// How often a waiting run looks after the window and the progress.
constexpr auto kIdleInterval = std::chrono::milliseconds(15);

// A worker's stack: the codecs keep their large buffers on the heap, and every thread's
// stack is address space taken from what a limit (ulimit -v) leaves for pictures.
constexpr size_t kWorkerStack = 2 << 20;

// One picture made by the codec library, freed with deldib however the step ends.
class OwnedPicture {
 public:
  OwnedPicture() = default;
  explicit OwnedPicture(const DibImage& dib) : dib_(dib) {}
  OwnedPicture(const OwnedPicture&) = delete;
  OwnedPicture& operator=(const OwnedPicture&) = delete;
  ~OwnedPicture() { deldib(dib_); }

  DibImage& get() { return dib_; }
  bool hasPixels() const { return dib_.Pixels != nullptr && dib_.Header != nullptr; }

 private:
  DibImage dib_{};
};

// A window handle that keeps the latest progress of one entry for the run to pass on.
struct ProgressRelay {
  PicoWindow window{&ProgressRelay::receive};  // first: the library's pointer is our address
  std::atomic<intptr_t> percent{-1};
  const std::function<void()>* wake = nullptr;  // the run's, when it waits for it
  std::atomic<bool> awaited{false};             // the run waits for this entry now

  static void receive(PicoWindow* window, uint32_t message, intptr_t wparam, intptr_t) {
    if (message != PICODEC_WM_USER) return;
    auto* relay = reinterpret_cast<ProgressRelay*>(window);
    if (relay->percent.exchange(wparam) != wparam && relay->awaited && relay->wake != nullptr) {
      (*relay->wake)();
    }
  }
};

// Writes `picture` as a JPEG into a new temporary file in `folder`. Nothing in `file` when it
// failed; `error` then holds the errno of a write that failed, 0 when the file was not to blame.
void saveTo(DibImage& picture, const std::string& folder, HWND window, TemporaryFile& file,
            int& error) {
  error = 0;
  if (!file.create(folder)) {
    error = file.error();
    return;
  }
  int32_t writeError = 0;
  if (SaveDibToFile(picture, file.fd(), PICODEC_SAVE_JPEG, window, &writeError) != PICODEC_OK) {
    error = writeError;
    file.discard();
  } else if (!file.close()) {
    error = file.error();
    file.discard();
  }
}

}  // namespace

int usableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

void keepFreedPictureMemory() {
  // The C library's defaults hand every block over its moving threshold back at once and trim
  // the heap's top soon after a free: on the 64-photo benchmark set that is 149,000 page
  // faults on one thread against 61,000 with these limits, at the same peak memory.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  // One heap for all threads: what one worker frees is there for the next picture of any
  // other, so the memory kept stays within what the pictures in flight took together. With a
  // heap per thread each kept its own (628 MiB against 963 MiB for eight large pictures), and
  // each reserved 64 MiB of address space.
  mallopt(M_ARENA_MAX, 1);
}

struct PictureWorkers::Shared {
  std::vector<std::string> paths;
  std::vector<char> needed;  // per entry, the parts to make (PictureParts); empty: all
  AlbumSettings settings;
  std::string picsFolder;
  std::string miniFolder;
  PictureExtras extras;
  int32_t ahead = 1;    // entries a thread may work on beyond the one the run waits for
  uint64_t budget = 0;  // memory for the pictures in flight

  std::mutex mutex;
  std::condition_variable spaceFreed;
  std::condition_variable workDone;
  std::function<void()> wake;  // the waiting run's, set before any thread starts
  int32_t next = 0;            // the next entry a thread takes
  int32_t consumed = 0;        // entries the run has taken
  bool stopping = false;
  std::vector<std::optional<PictureWork>> done;
  std::vector<ProgressRelay> progress;
  // Threads start as they are needed: one more while every thread has a picture in flight,
  // up to `threadsWanted`, so that a run whose budget holds one picture at a time takes no
  // address space for stacks that would only wait.
  std::vector<pthread_t> threads;
  size_t threadsWanted = 0;
  bool threaded = false;  // at least one thread was started

  // Pictures start in album order when their memory fits beside those in flight; one that
  // does not fit the budget alone starts when no other is in flight. The header of the next
  // entry is read by one thread outside the lock, so a slow file holds up no other thread.
  std::vector<uint64_t> memory;     // per entry, once looked up; 0 before
  std::vector<PictureFacts> facts;  // per entry, for the modern pages
  bool lookingUp = false;           // a thread reads the header of entry `next`
  std::vector<char> overlapped;     // per entry: another picture was in flight beside it
  std::set<int32_t> inFlight;
  uint64_t inFlightMemory = 0;
  std::set<int32_t> retries;  // failed beside others: each runs again alone, lowest first

  int partsOf(int32_t index) const {
    return needed.empty() ? int{kAllParts} : needed[static_cast<size_t>(index)];
  }
  bool skipped(int32_t index) const { return partsOf(index) == 0; }

  // Reads the header of entry `next` with the lock released; false when another thread does.
  bool lookUpNext(std::unique_lock<std::mutex>& lock) {
    const auto index = static_cast<size_t>(next);
    if (memory[index] != 0 || lookingUp) return false;
    lookingUp = true;
    lock.unlock();
    const std::optional<PictureHeader> header = readPictureHeader(paths[index]);
    // Unknown size: the picture is treated as needing the whole budget; a file that is not
    // a regular file fails at once.
    const uint64_t bytes =
        header ? pictureMemory(*header, extras).value_or(std::max<uint64_t>(budget, 1)) : 1;
    PictureFacts found = header && extras.facts ? exifFacts(header->exif) : PictureFacts{};
    lock.lock();
    lookingUp = false;
    memory[index] = std::max<uint64_t>(bytes, 1);
    facts[index] = std::move(found);
    return true;
  }

  // Starts another thread; under the lock. False when the system gives no more.
  bool addThread() {
    if (stopping || threads.size() >= threadsWanted) return false;
    pthread_attr_t attributes;
    ::pthread_attr_init(&attributes);
    ::pthread_attr_setstacksize(&attributes, kWorkerStack);
    pthread_t thread;
    const auto run = [](void* shared) -> void* {
      // Where a window waits on the run, its thread comes first: with every core busy with
      // pictures, a reader's many small requests through the accessibility bus would
      // otherwise each wait for a time slice. Best effort.
      if (static_cast<Shared*>(shared)->wake) {
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
        if (errno == 0) {
          ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), std::min(nice + 10, 19));
        }
      }
      static_cast<Shared*>(shared)->runThread();
      return nullptr;
    };
    const bool started = ::pthread_create(&thread, &attributes, run, this) == 0;
    ::pthread_attr_destroy(&attributes);
    if (started) threads.push_back(thread);
    return started;
  }

  bool fits(uint64_t bytes) const {
    return inFlight.empty() || (bytes <= budget && inFlightMemory + bytes <= budget);
  }

  void start(int32_t index, uint64_t bytes) {
    if (!inFlight.empty()) {
      overlapped[static_cast<size_t>(index)] = 1;
      for (const int32_t other : inFlight) overlapped[static_cast<size_t>(other)] = 1;
    }
    inFlight.insert(index);
    inFlightMemory += bytes;
  }

  void finish(int32_t index, uint64_t bytes) {
    inFlight.erase(index);
    inFlightMemory -= bytes;
    spaceFreed.notify_all();
  }

  PictureWork work(int32_t index, HWND window, const PictureFacts& pictureFacts) const {
    PictureWork result;
    OwnedPicture picture;
    OpenDib(&picture.get(), paths[static_cast<size_t>(index)].c_str(), 0, window);
    if (!picture.hasPixels()) return result;
    if (DibBitCount(picture.get()) != 24) DepthUpTo24(picture.get());
    if (DibBitCount(picture.get()) != 24) {
      result.outcome = PictureWork::Outcome::NotPromoted;
      return result;
    }
    result.outcome = PictureWork::Outcome::Done;
    const int parts = partsOf(index);
    if (parts & kPicturePart) {
      saveTo(picture.get(), picsFolder, window, result.picture, result.pictureError);
    }
    const int32_t width = DibWidth(picture.get()), height = DibHeight(picture.get());
    result.width = width;
    result.height = height;
    result.facts = pictureFacts;
    if (parts & kThumbnailParts) {
      const ThumbnailSize size = thumbnailSize(width, height, settings);
      OwnedPicture thumbnail(Resize(picture.get(), size.width, size.height, false));
      if (!thumbnail.hasPixels()) return result;
      result.thumbnailMade = true;
      saveTo(thumbnail.get(), miniFolder, window, result.thumbnail, result.thumbnailError);
      result.thumbWidth = size.width;
      result.thumbHeight = size.height;
      if (extras.twiceThumbnail) {
        // Twice the thumbnail in both sides, never enlarged: a smaller picture gets none.
        const int64_t twiceWidth = int64_t{size.width} * 2, twiceHeight = int64_t{size.height} * 2;
        if (result.thumbnail.exists() && twiceWidth <= width && twiceHeight <= height) {
          OwnedPicture large(Resize(picture.get(), static_cast<int32_t>(twiceWidth),
                                    static_cast<int32_t>(twiceHeight), false));
          int error = 0;  // the thumbnail at twice the box is offered only when it is there
          if (large.hasPixels()) saveTo(large.get(), miniFolder, window, result.thumbnail2x, error);
        }
      }
      if (extras.placeholder) result.placeholder = placeholderUri(thumbnail.get());
    }
    // The ladder: all widths made first (see below), then written largest first,
    // each freed once written.
    std::vector<PictureSize> sizes;
    for (const int32_t target : extras.widths) {
      if (!(parts & kLadderPart)) break;
      if (target < 1 || target >= width) continue;  // never enlarged
      sizes.push_back({target, static_cast<int32_t>(std::max<int64_t>(
                                   1, (int64_t{height} * target + width / 2) / width))});
    }
    // A width half of a larger one is made from that one (2 x 2 boxes of its pixels, from a
    // picture a few times smaller than the original); the others in one sweep over the picture.
    std::vector<size_t> from(sizes.size(), sizes.size());  // the larger width's index, or none
    std::vector<PictureSize> direct;
    std::vector<size_t> directIndex(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
      for (size_t j = i + 1; j < sizes.size(); ++j) {
        if (sizes[j].width == 2 * sizes[i].width && from[j] == sizes.size()) from[i] = j;
      }
    }
    for (size_t i = 0; i < sizes.size(); ++i) {
      if (from[i] != sizes.size()) continue;
      directIndex[i] = direct.size();
      direct.push_back(sizes[i]);
    }
    std::vector<DibImage> swept = ResizeAveraged(picture.get(), direct);
    std::vector<std::unique_ptr<OwnedPicture>> made(sizes.size());
    for (size_t i = sizes.size(); i-- > 0;) {
      made[i] = from[i] == sizes.size()
                    ? std::make_unique<OwnedPicture>(swept[directIndex[i]])
                    : std::make_unique<OwnedPicture>(
                          ResizeAveraged(made[from[i]]->get(), sizes[i].width, sizes[i].height));
    }
    result.sized.resize(sizes.size());
    for (size_t i = sizes.size(); i-- > 0;) {
      if (!made[i]->hasPixels()) continue;
      SizedPicture& file = result.sized[i];
      file.width = sizes[i].width;
      file.height = sizes[i].height;
      saveWebJpeg(made[i]->get(), picsFolder, kLadderQuality, file.jpeg, file.jpegError);
      if (std::find(extras.avifWidths.begin(), extras.avifWidths.end(), file.width) !=
          extras.avifWidths.end()) {
        int error = 0;  // an AVIF file is offered only when it is there
        saveAvif(made[i]->get(), picsFolder, extras.avifSpeed, file.avif, error);
      }
      made[i].reset();
    }
    std::erase_if(result.sized, [](const SizedPicture& file) { return file.width == 0; });
    return result;
  }

  bool complete(int32_t index, const PictureWork& work) const {
    const int parts = partsOf(index);
    return work.outcome == PictureWork::Outcome::NotPromoted ||
           (work.outcome == PictureWork::Outcome::Done &&
            (!(parts & kPicturePart) || work.picture.exists()) &&
            (!(parts & kThumbnailParts) || (work.thumbnailMade && work.thumbnail.exists())));
  }

  void runThread() {
    for (;;) {
      int32_t index = 0;
      uint64_t bytes = 0;
      PictureFacts pictureFacts;
      {
        std::unique_lock lock(mutex);
        for (;;) {
          while (next < static_cast<int32_t>(paths.size()) && skipped(next)) ++next;
          if (stopping || next >= static_cast<int32_t>(paths.size())) return;
          if (retries.empty() && next < consumed + ahead + 1) {
            if (lookUpNext(lock)) continue;  // the lock was released meanwhile
            bytes = memory[static_cast<size_t>(next)];
            if (bytes != 0 && fits(bytes)) break;
          }
          spaceFreed.wait(lock);
        }
        index = next++;
        pictureFacts = std::move(facts[static_cast<size_t>(index)]);
        start(index, bytes);
        if (inFlight.size() >= threads.size()) addThread();
      }
      spaceFreed.notify_all();  // the next entry's header may be read now
      const HWND window = &progress[static_cast<size_t>(index)].window;
      PictureWork result = work(index, window, pictureFacts);
      {
        std::unique_lock lock(mutex);
        finish(index, bytes);
        // What failed beside other pictures may have lacked only memory: it runs once more
        // with nothing beside it, so that the album does not depend on the number of threads.
        if (!complete(index, result) && overlapped[static_cast<size_t>(index)] && !stopping) {
          retries.insert(index);
          spaceFreed.wait(lock, [this, index] {
            return stopping || (inFlight.empty() && *retries.begin() == index);
          });
          retries.erase(index);
          if (!stopping) {
            start(index, bytes);
            lock.unlock();
            result = PictureWork{};  // its files go before the picture is made again
            result = work(index, window, pictureFacts);
            lock.lock();
            finish(index, bytes);
          }
        }
        result.besideOthers = overlapped[static_cast<size_t>(index)] != 0;
        done[static_cast<size_t>(index)] = std::move(result);
      }
      spaceFreed.notify_all();
      workDone.notify_all();
      if (wake) wake();
    }
  }
};

PictureWorkers::PictureWorkers(std::vector<std::string> filePaths, const AlbumSettings& settings,
                               std::string picsFolder, std::string miniFolder, int threads,
                               uint64_t memoryBudget, PictureExtras extras,
                               std::function<void()> wake, std::vector<char> needed)
    : shared_(std::make_unique<Shared>()) {
  Shared& s = *shared_;
  s.needed = std::move(needed);
  if (!s.needed.empty() &&
      std::count(s.needed.begin(), s.needed.end(), 0) == std::ssize(s.needed)) {
    threads = 0;  // nothing to do
  }
  s.wake = std::move(wake);
  s.extras = std::move(extras);
  s.paths = std::move(filePaths);
  s.settings = settings;
  s.picsFolder = std::move(picsFolder);
  s.miniFolder = std::move(miniFolder);
  if (threads <= 0 || s.paths.empty()) return;
  // Each thread holds one decoded picture at a time; results wait as small temporary files.
  s.ahead = threads;
  s.budget = memoryBudget != 0 ? memoryBudget : defaultPictureMemory();
  s.memory.resize(s.paths.size());
  s.facts.resize(s.paths.size());
  s.overlapped.resize(s.paths.size());
  s.done.resize(s.paths.size());
  s.progress = std::vector<ProgressRelay>(s.paths.size());
  if (s.wake) {
    for (ProgressRelay& relay : s.progress) relay.wake = &s.wake;
  }
  const auto work = s.needed.empty()
                        ? static_cast<std::ptrdiff_t>(s.paths.size())
                        : std::ssize(s.needed) - std::count(s.needed.begin(), s.needed.end(), 0);
  s.threadsWanted = static_cast<size_t>(std::min<std::ptrdiff_t>(threads, work));
  std::lock_guard lock(s.mutex);
  // The system gives no thread: the caller does the work.
  s.threaded = s.addThread();
}

PictureWorkers::~PictureWorkers() {
  Shared& s = *shared_;
  {
    std::lock_guard lock(s.mutex);
    s.stopping = true;
  }
  s.spaceFreed.notify_all();
  // No thread starts once stopping is set.
  for (const pthread_t thread : s.threads) ::pthread_join(thread, nullptr);
  s.done.clear();  // the files of work never taken go with it
}

PictureWork PictureWorkers::take(int32_t index, HWND window, const std::function<void()>& idle) {
  Shared& s = *shared_;
  if (s.skipped(index)) {
    if (s.threaded) {
      const std::lock_guard lock(s.mutex);
      s.consumed = index + 1;
    }
    s.spaceFreed.notify_all();
    return {};
  }
  if (!s.threaded) {
    return s.work(
        index, window,
        s.extras.facts ? readPictureFacts(s.paths[static_cast<size_t>(index)]) : PictureFacts{});
  }

  ProgressRelay& progress = s.progress[static_cast<size_t>(index)];
  intptr_t shown = -1;
  const auto passOnProgress = [&] {
    const intptr_t percent = progress.percent.load();
    if (window != nullptr && percent >= 0 && percent != shown) {
      window->send(window, PICODEC_WM_USER, percent, 0);
      shown = percent;
    }
  };
  progress.awaited = true;
  std::unique_lock lock(s.mutex);
  std::optional<PictureWork>& slot = s.done[static_cast<size_t>(index)];
  while (!slot) {
    // With a wake, idle waits for it: every finished picture and every move of progress
    // calls it, after the slot was filled.
    if ((!s.wake || !idle) &&
        s.workDone.wait_for(lock, kIdleInterval, [&slot] { return slot.has_value(); })) {
      break;
    }
    lock.unlock();
    passOnProgress();
    if (idle) idle();
    lock.lock();
  }
  progress.awaited = false;
  PictureWork result = std::move(*slot);
  slot.reset();
  s.consumed = index + 1;
  lock.unlock();
  s.spaceFreed.notify_all();
  passOnProgress();
  return result;
}

}  // namespace glim
