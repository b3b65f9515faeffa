// Surface storage: resizing keeps the top-left block of pixels that still fits.
#include "platform/gdi/surface.h"

#include <algorithm>

namespace plat {

void Surface::resize(int w, int h, uint32_t fill) {
  w = std::max(w, 0);
  h = std::max(h, 0);
  std::vector<uint32_t> next(size_t(w) * size_t(h), fill);
  int keep_w = std::min(w, width), keep_h = std::min(h, height);
  for (int y = 0; y < keep_h; ++y)
    std::copy_n(pixels.data() + size_t(y) * size_t(width), keep_w, next.data() + size_t(y) * size_t(w));
  pixels.swap(next);
  width = w;
  height = h;
}

}  // namespace plat
