// Pixel memory of the records, and a small cache of freed large buffers. Opening one photo
// after another would otherwise map tens of megabytes afresh each time, which the kernel
// faults in and zeroes page by page; a kept buffer is already there. Safe to use from any
// thread: a record may be freed on another thread than the one that made it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace picodec {

// What the bytes of new pixel memory hold.
enum class PixelStart {
  Zeroed,       // every byte is zero
  Overwritten,  // whatever was there: the caller writes every byte it will ever read
};

// At least `bytes` (> 0) bytes of pixel memory, or null when there is not enough memory.
// `capacity` receives the size really held, which givePixelMemory needs back.
uint8_t* takePixelMemory(size_t bytes, PixelStart start, size_t& capacity) noexcept;

// Hands back memory from takePixelMemory: kept for a later picture, or freed.
void givePixelMemory(uint8_t* memory, size_t capacity) noexcept;

// What the cache keeps: buffers of at least minBytes, at most maxEntries of them and
// maxTotalBytes together. Buffers larger than maxTotalBytes are never kept.
struct PixelCacheLimits {
  size_t minBytes;
  size_t maxEntries;
  size_t maxTotalBytes;
};

// The limits in force; the defaults until changed.
PixelCacheLimits pixelCacheLimits() noexcept;
// Changes the limits (maxEntries is cut to what the cache can hold) and frees whatever no
// longer fits. Meant for tests, which also use it to empty the cache.
void setPixelCacheLimits(const PixelCacheLimits& limits) noexcept;
// The default limits.
PixelCacheLimits defaultPixelCacheLimits() noexcept;

// How many buffers and bytes the cache holds now.
struct PixelCacheContents {
  size_t entries;
  size_t bytes;
};
PixelCacheContents pixelCacheContents() noexcept;

}  // namespace picodec
