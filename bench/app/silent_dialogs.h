// Dialogs for the window benchmarks: they answer nothing, so that a run never waits for a box,
// and print each message to standard error.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "user_dialogs.h"

namespace glim::bench {

class SilentDialogs : public UserDialogs {
 public:
  MessageAnswer showMessage(const MessageBox& box) override {
    std::fprintf(stderr, "message: %s\n", box.text.c_str());
    return MessageAnswer::Ok;
  }
  std::optional<std::string> openFileName(const FileDialogRequest&) override { return {}; }
  std::optional<std::string> saveFileName(const FileDialogRequest&) override { return {}; }
  std::optional<uint32_t> chooseColor(uint32_t) override { return {}; }
};

}  // namespace glim::bench
