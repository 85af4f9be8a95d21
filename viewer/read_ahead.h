// PictureReadAhead: decodes the pictures next to the one the viewer shows on one worker thread,
// so that a step to one of them shows it without waiting for the decoder.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "picodec.h"

namespace glim {

class PictureReadAhead {
 public:
  PictureReadAhead();
  // Waits for a decoding in progress and frees everything.
  ~PictureReadAhead();
  PictureReadAhead(const PictureReadAhead&) = delete;
  PictureReadAhead& operator=(const PictureReadAhead&) = delete;

  // The files wanted now (the first two at most), in the order to decode them. Pictures held
  // for other files are freed at once.
  void want(std::vector<std::string> paths);
  // The decoded picture of `path`, when it is ready and the file's size and modification time
  // are still those it had when decoding began; the caller frees it. Empty otherwise (the file
  // could not be decoded, changed since, or was not decoded ahead): the caller decodes it
  // itself. A decoding of `path` under way is waited for.
  std::optional<DibImage> take(const std::string& path);
  // Frees every picture held and wants nothing.
  void clear();
  // Waits up to `limit` until every wanted file has been decoded; true when it has.
  bool waitUntilDecoded(std::chrono::milliseconds limit);

 private:
  struct Held {
    std::string path;
    struct stat stamp;
    DibImage picture;  // Pixels null: the file could not be decoded
  };

  void run();
  const std::string* nextToDecode() const;
  void dropUnwanted();

  std::mutex mutex_;
  std::condition_variable wake_;     // something to decode, or stopping
  std::condition_variable decoded_;  // a decoding ended
  std::vector<std::string> wanted_;
  std::vector<Held> held_;
  std::string decoding_;  // the file being decoded now, if any
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace glim
