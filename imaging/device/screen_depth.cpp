#include "screen_depth.h"

#include <QGuiApplication>
#include <QScreen>

namespace glim {
namespace {

// Drawing runs on the user-interface thread only, as does every test that overrides the depth.
int32_t overrideBits = 0;  // 0: no override
int32_t overrideQueries = 0;

}  // namespace

int32_t ScreenBitsPerPixel() {
  if (overrideBits != 0) {
    ++overrideQueries;
    return overrideBits;
  }
  if (qGuiApp == nullptr) return 32;
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->depth() : 32;
}

ScreenDepthOverride::ScreenDepthOverride(int32_t bits)
    : previousBits_(overrideBits), previousQueries_(overrideQueries) {
  overrideBits = bits;
  overrideQueries = 0;
}

ScreenDepthOverride::~ScreenDepthOverride() {
  overrideBits = previousBits_;
  overrideQueries = previousQueries_;
}

int32_t ScreenDepthOverride::queries() const {
  return overrideQueries;
}

}  // namespace glim
