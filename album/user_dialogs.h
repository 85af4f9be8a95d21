// The one way the core and the windows talk to the user: message boxes and file,
// colour and printer dialogs as plain requests. The window answers them with real
// dialogs; tests answer them with a scripted recorder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace glim {

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Information, Warning, Error };
enum class MessageAnswer { Ok, Cancel };

// One message box: text, caption, buttons and icon, texts as the album's bytes.
struct MessageBox {
  std::string text;
  std::string caption;
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::Error;

  bool operator==(const MessageBox&) const = default;
};

inline MessageBox errorBox(std::string text) {
  return {std::move(text), "Error", MessageButtons::Ok, MessageIcon::Error};
}

// A file dialog: filter in "description|mask" pairs, default extension without dot.
struct FileDialogRequest {
  std::string title;
  std::string filter;
  std::string defaultExtension;
  std::string initialFolder;
  bool askOverwrite = true;
  std::string fileName;  // a name to suggest in the initial folder; empty: none
};

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  virtual MessageAnswer showMessage(const MessageBox& box) = 0;
  // The chosen full path, or nothing when cancelled.
  virtual std::optional<std::string> openFileName(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> saveFileName(const FileDialogRequest& request) = 0;
  // Colour as red in the low byte, then green, then blue; nothing when cancelled.
  virtual std::optional<uint32_t> chooseColor(uint32_t initial) = 0;
};

}  // namespace glim
