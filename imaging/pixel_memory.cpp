#include "pixel_memory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace glim {

void adviseLargePixelWrite(const DibImage& picture) {
#if defined(MADV_HUGEPAGE)
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  constexpr uintptr_t kPage = 4096;
  if (picture.Pixels == nullptr || picture.Header == nullptr) return;
  const auto begin = reinterpret_cast<uintptr_t>(picture.Pixels);
  const uintptr_t end = begin + picture.Header->biSizeImage;
  // Only whole pages inside the pixel memory, and only where at least two huge pages fit.
  const uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
  const uintptr_t last = end & ~(kPage - 1);
  if (last <= first || last - first < 2 * kHugePage) return;
  madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)picture;
#endif
}

}  // namespace glim
