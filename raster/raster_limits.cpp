// Size checks of the image decoders (raster_limits.h).
#include "raster/raster_limits.h"

#include "core/error.h"
#include "core/memory.h"

namespace {

constexpr int64_t kDefaultMaxImageBytes = int64_t(16) << 30;
int64_t g_max_image_bytes = kDefaultMaxImageBytes;

int64_t budget_bytes() {
  const double b = compute_mem_budget();
  if (!(b > 0)) return 0;
  return b >= 9e18 ? INT64_MAX : int64_t(b);
}

}  // namespace

void raster_set_max_image_bytes(int64_t bytes) {
  g_max_image_bytes = bytes > 0 ? bytes : kDefaultMaxImageBytes;
}

int64_t raster_max_image_bytes() { return g_max_image_bytes; }

int raster_check_size(int64_t width, int64_t height, int planes) {
  if (width < 1 || height < 1 || planes < 1) return set_gblerr(ERR_MEMORY), 1;
  const int64_t budget = budget_bytes();
  // Each factor is below 2^31, so the products fit in 64 bits.
  const int64_t row = width * planes;
  const bool fits = row <= INT32_MAX && row <= budget / 8 &&
                    height * kRasterRowOverhead <= budget / 4 &&
                    row * height <= g_max_image_bytes;
  if (fits) return 0;
  set_gblerr(ERR_MEMORY);
  return 1;
}
