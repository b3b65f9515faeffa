// The host side of the MrSID plug-in: binding it at start-up, the decoder row of format
// code 18, and the raster display's slots for images drawn at display resolution.
//
// The plug-in is looked for beside the running program (kSidPluginFile) and loaded once
// per process; it is never unloaded. Without it, without one of its three exports, or
// when its initialisation cannot bind the decoding library, SID images are off: one
// message goes to the standard error and the trace log, and nothing else changes.
// Later calls answer from the first attempt, and fill the row and the display slots
// again when a test emptied them.
#include "raster/sid_host.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

#include "core/error.h"
#include "core/tracelog.h"
#include "map/bitmap_record.h"
#include "map/extent_map.h"
#include "map/raster_display.h"
#include "map/view_records.h"
#include "raster/image_load.h"

namespace {

struct plugin_state {
  std::mutex lock;
  bool tried = false;
  bool bound = false;
  std::string path_override;
  sid_load_fn load = nullptr;
  sid_display_fn display = nullptr;
};
plugin_state& state() {
  static plugin_state s;
  return s;
}

// The folder of the running program, with its closing '/'.
std::string program_folder() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  const std::string path(buf, size_t(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

void report_off(const std::string& why) {
  const std::string text = "MrSID images are off: " + why;
  std::fprintf(stderr, "%s\n", text.c_str());
  log_error_line(text.c_str());
}

// Loads the plug-in and binds its exports; false (reported) when SID images stay off.
bool bind_plugin(plugin_state& s) {
  const std::string path =
      s.path_override.empty() ? program_folder() + kSidPluginFile : s.path_override;
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* why = dlerror();
    report_off("the plug-in " + path + " cannot be loaded (" + (why ? why : "?") + ")");
    return false;
  }
  auto init = reinterpret_cast<sid_init_fn>(dlsym(lib, "sid_init_tmsid"));
  auto load = reinterpret_cast<sid_load_fn>(dlsym(lib, "sid_load_sid"));
  auto display = reinterpret_cast<sid_display_fn>(dlsym(lib, "sid_display_sid"));
  if (!init || !load || !display) {
    report_off("the plug-in " + path + " lacks one of its entry points");
    return false;
  }
  const int rc = init();
  if (rc != 0) {
    report_off(rc == 2 ? "the plug-in found no decoding library beside it"
                       : "the plug-in cannot bind this program's services");
    return false;
  }
  s.load = load;
  s.display = display;
  return true;
}

sid_load_fn bound_load() {
  std::lock_guard<std::mutex> guard(state().lock);
  return state().bound ? state().load : nullptr;
}
sid_display_fn bound_display() {
  std::lock_guard<std::mutex> guard(state().lock);
  return state().bound ? state().display : nullptr;
}

// The decoder row of code 18: a first load (-1, -2) opens and sizes the image, a second
// decode decodes the requested line.
int sid_row(const image_decode_call& call) {
  const sid_load_fn load = bound_load();
  if (!load || !call.image || !*call.image) return kSidRefused;
  int32_t result = 0;
  load(*call.image, call.requested_line < 0 ? kImageFirstLoad : call.requested_line, &result);
  // The code is the row's result: the loader logs it and frees a failed first load,
  // which it can only do with the error cleared.
  if (result != 0 && get_gblerr() == result) set_gblerr(0);
  return result;
}

// The plug-in's own errors of a display (a refused decode) do not outlive the redraw.
void call_display(sid_display_fn fn, bitmap_t* image, sid_window* win, int grey, uint8_t* d8,
                  uint32_t* d32, int stride) {
  const int before = get_gblerr();
  fn(image, win, grey, d8, d32, stride);
  if (get_gblerr() != before) set_gblerr(before);
}

// Image pixel coordinates under a screen point.
void image_point(screen_mapping m, const bitmap_t* image, double x, double y, double* ix,
                 double* iy) {
  extent_t out{};
  screen_to_image_extent(m, image, extent_t{x, x, y, y, 0}, &out);
  *ix = out.xmin;
  *iy = out.ymin;
}

int display_slot(bitmap_t* image, uint8_t* dib, int row_bytes, int dib_x, int dib_y,
                 extent_t screen) {
  const sid_display_fn fn = bound_display();
  pane_t* pane = raster_display_pane();
  const raster_dib& d = raster_display_buffer();
  if (!fn || !pane || !image || !dib) return 0;
  const int c0 = int(screen.xmin), c1 = int(screen.xmax);
  const int r0 = int(screen.ymin), r1 = int(screen.ymax);
  if (c1 <= c0 || r1 <= r0) return 0;
  const screen_mapping m = pane_mapping(pane);
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0, ybottom = 0, unused = 0;
  image_point(m, image, c0, r0, &x0, &y0);
  image_point(m, image, c1, r1, &x1, &y1);
  image_point(m, image, c0, r1, &unused, &ybottom);
  sid_window win{c1 - c0, r1 - r0, std::fmin(x0, x1), std::fmin(y0, y1), std::fabs(x1 - x0),
                 std::fabs(y1 - y0)};
  // The block lies on the image up to the rounding of its edges to whole pixels.
  if (win.origin_x < 0.0) win.origin_x = 0.0;
  if (win.origin_y < 0.0) win.origin_y = 0.0;
  const int bytes = d.palette_mode ? 1 : 4;
  const int stride = row_bytes / bytes;
  // Image rows run up the screen when the image's y grows upwards: bottom-up output.
  const bool upward = ybottom < y0;
  const int first_row = upward ? r1 - 1 : r0;
  uint8_t* at = dib + int64_t(first_row - dib_y) * row_bytes + int64_t(c0 - dib_x) * bytes;
  call_display(fn, image, &win, d.palette_mode ? 1 : 0, d.palette_mode ? at : nullptr,
               d.palette_mode ? nullptr : reinterpret_cast<uint32_t*>(at),
               upward ? -stride : stride);
  return 0;
}

// A symbol copy: the whole image at width x height, packed pixels.
void symbol_slot(bitmap_t* image, uint32_t* pixels, int width, int height) {
  const sid_display_fn fn = bound_display();
  if (!fn || !image || !pixels || width < 1 || height < 1) return;
  sid_window win{width, height, 0.0, 0.0, double(image->width), double(image->height)};
  call_display(fn, image, &win, 0, nullptr, pixels, width);
}

void install(bool bound) {
  if (!bound) {
    if (image_decoder_for(kDecoderSid) == sid_row) image_decoder_register(kDecoderSid, nullptr);
    return;
  }
  if (image_decoder_for(kDecoderSid) != sid_row) image_decoder_register(kDecoderSid, sid_row);
  raster_display_hooks& hooks = get_raster_display_hooks();
  if (hooks.sid_display != display_slot) hooks.sid_display = display_slot;
  if (hooks.sid_symbol != symbol_slot) hooks.sid_symbol = symbol_slot;
}

}  // namespace

void sid_plugin_load(int* flag) {
  if (flag) *flag = 0;
  bool bound = false;
  {
    plugin_state& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.tried) {
      s.tried = true;
      s.bound = bind_plugin(s);
    }
    bound = s.bound;
  }
  install(bound);
  if (flag) *flag = bound ? 1 : 0;
}

void sid_plugin_set_path(const char* path) {
  plugin_state& s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  s.path_override = path ? path : "";
  s.tried = false;
  s.bound = false;
}

int sid_display_image(bitmap_t* image, sid_window* window, int grey, uint8_t* dest8,
                      uint32_t* dest32, int stride) {
  const sid_display_fn fn = bound_display();
  if (!fn) return -1;
  fn(image, window, grey, dest8, dest32, stride);
  return 0;
}
