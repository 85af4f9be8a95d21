// Progress reports to the caller's window: message 0x0400 with the percentage, sent
// synchronously. Reports only when the value grew by a few percent, so a decoder may call
// update() per row without flooding the window.
#pragma once

#include <cstdint>

#include "picodec.h"

namespace picodec {

class Progress {
 public:
  explicit Progress(HWND window) : window_(window) {}
  void start() { send(0); }
  // Reports done / total as a percentage, when it moved on far enough.
  void update(int64_t done, int64_t total) {
    if (total <= 0) return;
    const int percent = static_cast<int>(done * 100 / total);
    if (percent >= last_ + kStep && percent < 100) send(percent);
  }
  void finish() { send(100); }
  // After a failure: empties the bar again if it had grown.
  void abandon() {
    if (last_ > 0) send(0);
  }

 private:
  static constexpr int kStep = 5;
  void send(int percent) {
    last_ = percent;
    if (window_ != nullptr && window_->send != nullptr) {
      window_->send(window_, PICODEC_WM_USER, percent, 0);
    }
  }
  HWND window_;
  int last_ = 0;
};

}  // namespace picodec
