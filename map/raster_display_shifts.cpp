// The colour packing of a DIB pixel, exported by name to the plug-in (which writes
// decoded pixels straight into the display's buffer), the display lookup tables, and
// the averaging depth of the block means.
#include <atomic>
#include <cstdint>

#include "core/config.h"
#include "map/raster_display.h"

extern "C" {
// Data exports: C linkage and default visibility, looked up by name in the program.
__attribute__((visibility("default"))) int32_t rshift = 16;
__attribute__((visibility("default"))) int32_t vshift = 8;
__attribute__((visibility("default"))) int32_t bshift = 0;
__attribute__((visibility("default"))) int32_t tshift = 24;
}

namespace {

struct display_tables {
  uint8_t lut[3][256];
};

display_tables& tables() {
  static display_tables t = [] {
    display_tables d{};
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) d.lut[c][i] = uint8_t(i);
    return d;
  }();
  return t;
}

}  // namespace

void get_colour_shifts(int* red, int* green, int* blue, int* top) {
  if (red) *red = 16;
  if (green) *green = 8;
  if (blue) *blue = 0;
  if (top) *top = 24;
}

int raster_display_exported_data(const void* const** out) {
  static const void* const entries[] = {&rshift, &vshift, &bshift, &tshift};
  if (out) *out = entries;
  return int(sizeof entries / sizeof entries[0]);
}

void reset_display_luts() {
  raster_display_exported_data(nullptr);
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) tables().lut[c][i] = uint8_t(i);
}

const uint8_t* display_lut(int channel) {
  return channel >= 0 && channel < 3 ? tables().lut[channel] : nullptr;
}

// Read each time an image is drawn: the key may be set between two passes (tests, a
// changed configuration), and a cached configuration lookup is cheap.
int raster_averaging_depth() {
  if (is_embedded()) return 1;
  const char* value = config_get("NB_LINES_MEAN_IMAGE_DISPLAY");
  if (!value || !*value) return 3;
  const int n = config_get_number("NB_LINES_MEAN_IMAGE_DISPLAY");
  return n < 1 ? 1 : n > 10 ? 10 : n;
}
