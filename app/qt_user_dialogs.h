// The window's answer to the core's message and dialog requests: real Qt message boxes and
// file and colour dialogs, owned by the given window.
#pragma once

#include <QString>
#include <QWidget>
#include <string_view>

#include "user_dialogs.h"

namespace glim {

// "description|mask|description|mask" as Qt's "description (mask mask);;..." filter list.
QString qtFileFilter(std::string_view pairs);
// True when every description of "description|mask|..." ends in its own "(masks)" already.
bool descriptionsShowMasks(std::string_view pairs);

class QtUserDialogs : public UserDialogs {
 public:
  explicit QtUserDialogs(QWidget* owner) : owner_(owner) {}

  MessageAnswer showMessage(const MessageBox& box) override;
  std::optional<std::string> openFileName(const FileDialogRequest& request) override;
  std::optional<std::string> saveFileName(const FileDialogRequest& request) override;
  std::optional<uint32_t> chooseColor(uint32_t initial) override;

 private:
  std::optional<std::string> runFileDialog(const FileDialogRequest& request, bool save);

  QWidget* owner_;
};

}  // namespace glim
