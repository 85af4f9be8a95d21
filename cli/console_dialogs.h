// The user dialogs of the command-line builder: every message box becomes one line on
// standard error, and every question for a file or colour is answered "cancelled". On a
// terminal it also keeps a progress line (picture n of N, with the codec library's percent).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "picodec.h"
#include "user_dialogs.h"

namespace glim {

// "caption: text", or the text alone when there is no caption; control bytes (a line break
// inside a file name) become spaces, so one message is always one line.
std::string consoleMessageLine(const MessageBox& box);

class ConsoleDialogs : public UserDialogs {
 public:
  // `progress`: keep a progress line on `out` (only sensible on a terminal).
  ConsoleDialogs(std::FILE* out, bool progress);
  ~ConsoleDialogs() override;
  ConsoleDialogs(const ConsoleDialogs&) = delete;
  ConsoleDialogs& operator=(const ConsoleDialogs&) = delete;

  MessageAnswer showMessage(const MessageBox& box) override;
  std::optional<std::string> openFileName(const FileDialogRequest&) override {
    return std::nullopt;
  }
  std::optional<std::string> saveFileName(const FileDialogRequest&) override {
    return std::nullopt;
  }
  std::optional<uint32_t> chooseColor(uint32_t) override { return std::nullopt; }

  int32_t messageCount() const { return messages_; }

  // The handle for OpenDib and SaveDib: null when no progress line is kept.
  HWND progressWindow() { return progress_ ? &window_.window : nullptr; }
  // A new picture is being worked on.
  void pictureStarted(int32_t number, int32_t count);
  // Removes the progress line, so that what follows starts on a clean line.
  void clearProgress();

 private:
  // The record the codec library calls: first member, so its address is the handle.
  struct Window {
    PicoWindow window;
    ConsoleDialogs* owner;
  };
  static void receive(PicoWindow* window, uint32_t message, intptr_t wparam, intptr_t lparam);
  void drawProgress();

  std::FILE* out_;
  bool progress_;
  Window window_;
  int32_t messages_ = 0;
  int32_t number_ = 0;
  int32_t count_ = 0;
  int32_t percent_ = 0;
  bool lineShown_ = false;
};

}  // namespace glim
