#include "console_dialogs.h"

namespace glim {

std::string consoleMessageLine(const MessageBox& box) {
  std::string line = box.caption.empty() ? box.text : box.caption + ": " + box.text;
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return line;
}

ConsoleDialogs::ConsoleDialogs(std::FILE* out, bool progress)
    : out_(out), progress_(progress), window_{{&ConsoleDialogs::receive}, this} {}

ConsoleDialogs::~ConsoleDialogs() {
  clearProgress();
}

MessageAnswer ConsoleDialogs::showMessage(const MessageBox& box) {
  clearProgress();
  const std::string line = consoleMessageLine(box) + "\n";
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
  ++messages_;
  return MessageAnswer::Ok;
}

void ConsoleDialogs::pictureStarted(int32_t number, int32_t count) {
  number_ = number;
  count_ = count;
  percent_ = 0;
  drawProgress();
}

void ConsoleDialogs::receive(PicoWindow* window, uint32_t message, intptr_t wparam, intptr_t) {
  if (message != PICODEC_WM_USER) return;
  ConsoleDialogs* self = reinterpret_cast<Window*>(window)->owner;
  self->percent_ = static_cast<int32_t>(wparam < 0 ? 0 : wparam > 100 ? 100 : wparam);
  self->drawProgress();
}

void ConsoleDialogs::drawProgress() {
  if (!progress_ || number_ == 0) return;
  // Carriage return and "erase to end of line": the line is redrawn in place.
  std::fprintf(out_, "\r\033[Kpicture %d of %d  %3d%%", number_, count_, percent_);
  std::fflush(out_);
  lineShown_ = true;
}

void ConsoleDialogs::clearProgress() {
  if (!lineShown_) return;
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
  lineShown_ = false;
}

}  // namespace glim
