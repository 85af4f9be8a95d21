// The one exception type of the library's inside: its text is what the caller's record gets
// after a failed open. It never crosses the C boundary (see picodec_api.cpp).
#pragma once

#include <stdexcept>
#include <string>

namespace picodec {

class CodecError : public std::runtime_error {
 public:
  explicit CodecError(const std::string& text) : std::runtime_error(text) {}
};

[[noreturn]] inline void fail(const std::string& text) {
  throw CodecError(text);
}

}  // namespace picodec
