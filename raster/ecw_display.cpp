// The display and printing path of ECW images (ecw.h): the visible window is read at
// display resolution, straight from the library, or handed to the refinement worker.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "map/bitmap_record.h"
#include "map/extent_map.h"
#include "map/file_object.h"
#include "map/raster_display.h"
#include "map/view_records.h"
#include "platform/sys/clock.h"
#include "raster/ecw_internal.h"

namespace {

constexpr double kEdgeGuard = 0.00000001;
constexpr double kSlowPassDays = 0.3 / 86400.0;  // 0.3 s on the packed-date clock
constexpr int kPrintWaitSteps = 30000;           // 1 ms steps waiting for the worker

// Bit 1 for the length of one display read: cleared on every way out.
class reading_flag {
 public:
  reading_flag() { ecw_flag_word().fetch_or(kEcwReading); }
  ~reading_flag() { clear(); }
  void clear() {
    if (held_) ecw_flag_word().fetch_and(~kEcwReading);
    held_ = false;
  }

 private:
  bool held_ = true;
};

bool same_world(const double a[4], const double b[4]) {
  for (int i = 0; i < 4; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

bool opened_by_address(const bitmap_t* image) {
  return image->file && file_get(image->file, FF_TYPE) == kFileKindEcwp;
}

// The request repeats the one the worker last handled; the kept copy is dropped.
bool take_kept(ecw_state* s, const ecw_window& request) {
  if (!s) return false;
  std::lock_guard<std::mutex> hold(s->kept_lock);
  const bool repeated = s->has_kept && same_world(s->kept.world, request.world);
  s->has_kept = false;
  return repeated;
}

uint8_t grey_of(uint32_t p) {
  return uint8_t(((p >> 16) & 255) / 3 + ((p >> 8) & 255) / 3 + (p & 255) / 3);
}

// One display line from a library line: grey bytes or packed pixels.
void put_line(const uint32_t* src, int count, int grey, uint8_t* d8, uint32_t* d32) {
  if (grey) {
    for (int i = 0; i < count; ++i) d8[i] = grey_of(src[i]);
  } else {
    std::memcpy(d32, src, size_t(count) * 4);
  }
}

// Reads the region's lines into the window: line by line at the same size, else by
// nearest neighbour (the window larger than the region). false when a call fails.
bool draw_region(const ecw_calls* lib, ecw_state* s, const ecw_region& r, const ecw_window& w,
                 int grey, uint8_t* d8, uint32_t* d32, int stride) {
  std::vector<uint32_t> line(static_cast<size_t>(r.out_w));
  if (r.out_w == w.width && r.out_h == w.height) {
    for (int y = 0; y < r.out_h; ++y) {
      if (lib->read_rgb(s->view, line.data()) != 0) return false;
      put_line(line.data(), r.out_w, grey, d8, d32);
      if (grey) d8 += stride; else d32 += stride;
    }
    return true;
  }
  const double step_x = w.extent_x / w.width - kEdgeGuard;
  const double step_y = w.extent_y / w.height - kEdgeGuard;
  std::vector<uint32_t> row(static_cast<size_t>(w.width));
  // Column of each display pixel, never past the region's line.
  std::vector<int> column(static_cast<size_t>(w.width));
  double ax = kEdgeGuard;
  for (int i = 0; i < w.width; ++i, ax += step_x)
    column[size_t(i)] = std::clamp(int(ax), 0, r.out_w - 1);
  if (lib->read_rgb(s->view, line.data()) != 0) return false;
  int lines_read = 1;
  double ay = 0;
  int current = 0;
  for (int y = 0; y < w.height; ++y) {
    if (int(ay) != current) {
      current = int(ay);
      // The region delivers out_h lines: the last one serves the rows below it.
      if (lines_read < r.out_h) {
        if (lib->read_rgb(s->view, line.data()) != 0) return false;
        ++lines_read;
      }
    }
    for (int i = 0; i < w.width; ++i) row[size_t(i)] = line[size_t(column[size_t(i)])];
    put_line(row.data(), w.width, grey, d8, d32);
    if (grey) d8 += stride; else d32 += stride;
    ay += step_y;
  }
  return true;
}

}  // namespace

std::atomic<int>& ecw_flag_word() {
  static std::atomic<int> flags{0};
  return flags;
}

int ecw_flags() { return ecw_flag_word().load(); }

ecw_region ecw_region_of(double origin_x, double origin_y, double extent_x, double extent_y,
                         int width, int height) {
  ecw_region r;
  r.x0 = int(origin_x);
  r.y0 = int(origin_y);
  r.x1 = std::max(std::min(int(origin_x + extent_x - kEdgeGuard + 1), width) - 1, r.x0);
  r.y1 = std::max(std::min(int(origin_y + extent_y - kEdgeGuard + 1), height) - 1, r.y0);
  r.x0 = std::clamp(r.x0, 0, std::max(width - 1, 0));
  r.y0 = std::clamp(r.y0, 0, std::max(height - 1, 0));
  r.x1 = std::clamp(r.x1, r.x0, std::max(width - 1, 0));
  r.y1 = std::clamp(r.y1, r.y0, std::max(height - 1, 0));
  return r;
}

int ecw_read_passes(ecw_state* s, const ecw_region& r, bool (*keep_going)(void*), void* arg) {
  const ecw_calls* lib = ecw_library();
  if (!lib || !s->view) return -1;
  std::vector<uint32_t> scratch(static_cast<size_t>(r.out_w));
  for (int pass = 0; pass < kEcwMaxPasses; ++pass) {
    const double start = date_now();
    if (lib->set_view(s->view, s->band_count, s->bands.data(), r.x0, r.y0, r.x1, r.y1, r.out_w,
                      r.out_h) != 0)
      return -1;
    for (int y = 0; y < r.out_h; ++y) {
      if (lib->read_rgb(s->view, scratch.data()) != 0) return -1;
      if (keep_going && !keep_going(arg)) return 1;
    }
    if (date_now() - start <= kSlowPassDays) break;
  }
  return 0;
}

bool ecw_pane_world(const pane_t* pane, double out[4]) {
  if (!pane) return false;
  const screen_mapping m = pane_mapping(pane);
  extent_t world{};
  screen_to_world_extent(m, pane_page(pane), &world);
  out[0] = world.xmin;
  out[1] = world.xmax;
  out[2] = world.ymin;
  out[3] = world.ymax;
  return true;
}

int ecw_read_lines(bitmap_t* image, ecw_window* window, int grey, uint8_t* dest8,
                   uint32_t* dest32, int stride) {
  if (!image || !window) return 0;
  reading_flag reading;
  ecw_pane_world(window->pane, window->world);
  const bool repeated = take_kept(ecw_state_of(image), *window);
  const bool printing = window->pane && window->pane->printing;
  const bool worker_busy = (ecw_flag_word().load() & kEcwWorking) != 0;
  if (!printing && (worker_busy || (!repeated && opened_by_address(image)))) {
    // The flag goes before the push: under MONOTHREAD the worker runs inside it and
    // must not wait for this very read.
    reading.clear();
    ecw_job_push(image, *window);
    return 1;
  }
  if (window->width < 1 || window->height < 1) return 0;
  if ((grey && !dest8) || (!grey && !dest32)) return 0;
  if (ecw_open(image) != 0) {
    set_gblerr(0);
    if (ecw_state* s = ecw_state_of(image)) {
      std::lock_guard<std::mutex> hold(s->lock);
      ecw_close_locked(s, 1);
    }
    return -1;
  }
  ecw_state* s = ecw_state_of(image);
  const ecw_calls* lib = ecw_library();
  ecw_region r = ecw_region_of(window->origin_x, window->origin_y, window->extent_x,
                               window->extent_y, image->width, image->height);
  r.out_w = std::min(window->width, r.x1 - r.x0 + 1);
  r.out_h = std::min(window->height, r.y1 - r.y0 + 1);
  if (printing) {
    for (int i = 0; i < kPrintWaitSteps && (ecw_flag_word().load() & kEcwWorking); ++i)
      plat::sleep_ms(1);
  }
  if (!opened_by_address(image)) ecw_open_list_add(image);
  std::lock_guard<std::mutex> hold(s->lock);
  if (!s->view || !lib) return -1;
  if (printing) ecw_read_passes(s, r, nullptr, nullptr);
  if (lib->set_view(s->view, s->band_count, s->bands.data(), r.x0, r.y0, r.x1, r.y1, r.out_w,
                    r.out_h) != 0)
    return -1;
  return draw_region(lib, s, r, *window, grey, dest8, dest32, stride) ? 0 : -1;
}

int ecw_display(bitmap_t* image, uint8_t* dib, int row_bytes, int dib_x, int dib_y,
                extent_t screen) {
  pane_t* pane = raster_display_pane();
  const raster_dib& d = raster_display_buffer();
  if (!image || !dib || !pane) return 0;
  const int c0 = int(screen.xmin), c1 = int(screen.xmax);
  const int r0 = int(screen.ymin), r1 = int(screen.ymax);
  if (c1 <= c0 || r1 <= r0 || c0 < dib_x || r0 < dib_y) return 0;
  extent_t img{};
  screen_to_image_extent(pane_mapping(pane), image, screen, &img);
  const double w = image->width, h = image->height;
  const double x0 = std::clamp(std::min(img.xmin, img.xmax), 0.0, w);
  const double x1 = std::clamp(std::max(img.xmin, img.xmax), 0.0, w);
  const double y0 = std::clamp(std::min(img.ymin, img.ymax), 0.0, h);
  const double y1 = std::clamp(std::max(img.ymin, img.ymax), 0.0, h);
  if (!(x1 > x0) || !(y1 > y0)) return 0;
  ecw_window window;
  window.width = c1 - c0;
  window.height = r1 - r0;
  window.origin_x = x0;
  window.origin_y = y0;
  window.extent_x = x1 - x0;
  window.extent_y = y1 - y0;
  window.pane = pane;
  // A deferred window or a failing call leaves the block as it is; the pass goes on.
  uint8_t* first = dib + size_t(r0 - dib_y) * size_t(row_bytes);
  if (d.palette_mode) {
    ecw_read_lines(image, &window, 1, first + (c0 - dib_x), nullptr, row_bytes);
  } else {
    auto* first32 = reinterpret_cast<uint32_t*>(first) + (c0 - dib_x);
    ecw_read_lines(image, &window, 0, nullptr, first32, row_bytes / 4);
  }
  return 0;
}

void ecw_symbol(bitmap_t* image, uint32_t* pixels, int width, int height) {
  if (!image || !pixels || width < 1 || height < 1 || image->width < 1 || image->height < 1)
    return;
  reading_flag reading;
  if (ecw_open(image) != 0) {
    set_gblerr(0);
    if (ecw_state* s = ecw_state_of(image)) {
      std::lock_guard<std::mutex> hold(s->lock);
      ecw_close_locked(s, 1);
    }
    return;
  }
  ecw_state* s = ecw_state_of(image);
  const ecw_calls* lib = ecw_library();
  if (!s || !lib) return;
  ecw_window window;
  window.width = width;
  window.height = height;
  window.origin_x = 0.0;
  window.origin_y = 0.0;
  window.extent_x = image->width;
  window.extent_y = image->height;
  ecw_region r = ecw_region_of(0.0, 0.0, image->width, image->height, image->width, image->height);
  r.out_w = std::min(width, r.x1 - r.x0 + 1);
  r.out_h = std::min(height, r.y1 - r.y0 + 1);
  if (!opened_by_address(image)) ecw_open_list_add(image);
  std::lock_guard<std::mutex> hold(s->lock);
  if (!s->view) return;
  if (lib->set_view(s->view, s->band_count, s->bands.data(), r.x0, r.y0, r.x1, r.y1, r.out_w,
                    r.out_h) != 0)
    return;
  draw_region(lib, s, r, window, 0, nullptr, pixels, width);
}
