// The display settings as atomic words, with their starting values.
#include "map/display_settings.h"

#include <atomic>

#include "map/gps_classes.h"
#include "map/view_records.h"

namespace {

struct start_value {
  uint32_t colour;
  int size;
};
// In display_kind order.
constexpr start_value kStart[kDisplayKindCount] = {
    {colour_word(255, 128, 0), 12},  // waypoints
    {colour_word(255, 0, 0), 10},    // tracklogs
    {colour_word(0, 128, 0), 10},    // routes
    {colour_word(255, 0, 255), 10},  // navigation track
    {colour_word(0, 0, 0), 12},      // points of interest
    {colour_word(255, 0, 0), 10},    // lines of interest
};

struct settings {
  std::atomic<uint32_t> colour[kDisplayKindCount];
  std::atomic<int> size[kDisplayKindCount];
  settings() {
    for (int i = 0; i < kDisplayKindCount; ++i) {
      colour[i].store(kStart[i].colour);
      size[i].store(kStart[i].size);
    }
  }
};

settings& st() {
  static settings s;
  return s;
}

int index_of(display_kind kind) {
  const int i = int(kind);
  return i >= 0 && i < kDisplayKindCount ? i : 0;
}

}  // namespace

uint32_t display_colour(display_kind kind) {
  return st().colour[index_of(kind)].load(std::memory_order_relaxed);
}

void set_display_colour(display_kind kind, uint32_t colour) {
  st().colour[index_of(kind)].store(colour, std::memory_order_relaxed);
}

int display_size(display_kind kind) { return st().size[index_of(kind)].load(std::memory_order_relaxed); }

void set_display_size(display_kind kind, int size) {
  st().size[index_of(kind)].store(size, std::memory_order_relaxed);
}

void display_settings_reset() {
  for (int i = 0; i < kDisplayKindCount; ++i) {
    st().colour[i].store(kStart[i].colour);
    st().size[i].store(kStart[i].size);
  }
}

bool display_kind_of_class(int cls, display_kind* kind) {
  display_kind k;
  switch (cls) {
    case CLS_WAYPOINT: k = display_kind::waypoints; break;
    case CLS_TRACKLOG: k = display_kind::tracklogs; break;
    case CLS_ROUTE: k = display_kind::routes; break;
    case CLS_GPSPOS: k = display_kind::navigation; break;
    case CLS_POI: k = display_kind::pois; break;
    case CLS_LOIS:
    case CLS_LOIL: k = display_kind::lois; break;
    default: return false;
  }
  if (kind) *kind = k;
  return true;
}
