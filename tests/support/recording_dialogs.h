// A UserDialogs for tests: records every request and answers from a script.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "user_dialogs.h"

namespace glim::testing {

class RecordingDialogs : public UserDialogs {
 public:
  std::vector<MessageBox> messages;
  std::vector<FileDialogRequest> fileRequests;
  std::deque<MessageAnswer> answers;                 // default Ok when empty
  std::deque<std::optional<std::string>> fileNames;  // default cancel when empty
  std::deque<std::optional<uint32_t>> colors;        // default cancel when empty

  MessageAnswer showMessage(const MessageBox& box) override {
    messages.push_back(box);
    if (answers.empty()) return MessageAnswer::Ok;
    const MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::optional<std::string> openFileName(const FileDialogRequest& request) override {
    return nextFile(request);
  }
  std::optional<std::string> saveFileName(const FileDialogRequest& request) override {
    return nextFile(request);
  }
  std::optional<uint32_t> chooseColor(uint32_t) override {
    if (colors.empty()) return std::nullopt;
    auto c = colors.front();
    colors.pop_front();
    return c;
  }

 private:
  std::optional<std::string> nextFile(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (fileNames.empty()) return std::nullopt;
    auto f = fileNames.front();
    fileNames.pop_front();
    return f;
  }
};

}  // namespace glim::testing
