// The MrSID path on arbitrary bytes: the stand-in decoder's header reader, then the
// plug-in's own code (compiled into the harness, its host services bound straight to the
// host's routines) opening an image whose every decoder answer comes from the input, a
// row decode and a display window also taken from the input. The decoder here is a
// fake that checks each region it is asked for against the image at that magnification
// and writes exactly the region's samples, so a buffer the plug-in sized wrongly shows
// as an overflow; every handle it opens must be closed when the image record goes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "fuzz/support/decoder_fuzz.h"
#include "map/file_object.h"
#include "map/raster_display.h"
#include "raster/image_load.h"
#include "platform/mrsid/msid_format.h"
#include "tmsid/tmsid_bind.cpp"
#include "tmsid/tmsid_open.cpp"
#include "tmsid/tmsid_window.cpp"

namespace {

// The decoder's answers, read from the input without any check (padded with zeros).
struct answers {
  msid::header h;
  uint32_t raw_bands = 0, raw_type = 0;
};
answers g_answers;
int g_open = 0;
uint8_t g_handle_tag = 0;

constexpr size_t kWindowBytes = 4 + 32 + 1 + 4;  // sizes, four doubles, grey, row
constexpr int64_t kMaxDecodeSamples = int64_t(1) << 20;

int fake_open(ltic_handle* out, const char* path) {
  *out = nullptr;
  if (!path) return 1;
  *out = &g_handle_tag;
  ++g_open;
  return 0;
}
int fake_close(ltic_handle h) {
  if (h == &g_handle_tag) --g_open;
  return 0;
}
int fake_decode(ltic_handle, double x0, double y0, double w, double hgt, double mag,
                uint8_t** bands) {
  const msid::header& h = g_answers.h;
  if (h.fail_call == msid::kCallDecode) return 1;
  if (!(mag > 0.0) || !(mag <= 64.0)) return 2;
  const double mw = std::ceil(double(h.width) * mag), mh = std::ceil(double(h.height) * mag);
  if (!(x0 >= 0 && y0 >= 0 && w >= 1 && hgt >= 1 && x0 + w <= mw && y0 + hgt <= mh)) return 3;
  if (w * hgt > double(kMaxDecodeSamples)) return 4;
  const int count = h.bands == 3 ? 3 : 1;
  const size_t n = size_t(w) * size_t(hgt);
  for (int b = 0; b < count; ++b) std::memset(bands[b], 0x40 + b, n);
  return 0;
}
int fake_type(ltic_handle) { return g_answers.h.data_type; }
int fake_bands(ltic_handle) { return g_answers.h.bands; }
uint32_t fake_width(ltic_handle) { return g_answers.h.width; }
uint32_t fake_height(ltic_handle) { return g_answers.h.height; }
int fake_colour(ltic_handle) { return g_answers.h.colour_space; }
double fake_max(ltic_handle) { return g_answers.h.max_mag; }
double fake_min(ltic_handle) { return g_answers.h.min_mag; }
double fake_xrot(ltic_handle) { return g_answers.h.x_rot; }
double fake_yrot(ltic_handle) { return g_answers.h.y_rot; }
double fake_xres(ltic_handle) { return g_answers.h.x_res; }
double fake_yres(ltic_handle) { return g_answers.h.y_res; }
double fake_xorg(ltic_handle) { return g_answers.h.x_origin; }
double fake_yorg(ltic_handle) { return g_answers.h.y_origin; }

char* fake_name(obj_t*) {
  char* s = static_cast<char*>(std::malloc(9));
  std::memcpy(s, "fuzz.sid", 9);
  return s;
}

void bind_once() {
  static bool bound = false;
  if (bound) return;
  bound = true;
  // The host's hooks: the image-to-world step of a record goes with it.
  raster_module_init();
  tmsid::host_services& h = tmsid::host();
  h.alloc_obj = alloc_obj_export;
  h.alloc_mem = alloc_mem_export;
  h.get_loc_mem = get_loc_mem;
  h.get_filemobj_name = fake_name;
  h.set_graylevel_lut = set_graylevel_lut;
  h.alloc_bitmap = alloc_bitmap;
  h.get_img_line_adr = get_img_line_adr;
  h.gblerr = &gblerr;
  h.rshift = &rshift;
  h.vshift = &vshift;
  h.bshift = &bshift;
  tmsid::decoder_calls& d = tmsid::decoder();
  d = {fake_open, fake_close, fake_decode, fake_type,  fake_bands, fake_width,
       fake_height, fake_colour, fake_max,  fake_min,   fake_xrot,  fake_yrot,
       fake_xres,  fake_yres,  fake_xorg,   fake_yorg};
}

double f64_at(const uint8_t* p) { return msid::get_f64(p); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init_images();
  bind_once();
  msid::header checked;
  msid::parse_header(data, size, &checked);

  std::vector<uint8_t> in(msid::kHeaderSize + kWindowBytes, 0);
  std::memcpy(in.data(), data, std::min(size, in.size()));
  msid::header& h = g_answers.h;
  h.width = msid::get_u32(&in[8]);
  h.height = msid::get_u32(&in[12]);
  h.bands = int32_t(msid::get_u32(&in[16]));
  h.data_type = int32_t(msid::get_u32(&in[20]));
  h.colour_space = int32_t(msid::get_u32(&in[24]));
  h.fail_call = int32_t(msid::get_u32(&in[28]));
  h.max_mag = f64_at(&in[40]);
  h.min_mag = f64_at(&in[48]);
  h.x_rot = f64_at(&in[56]);
  h.y_rot = f64_at(&in[64]);
  h.x_res = f64_at(&in[72]);
  h.y_res = f64_at(&in[80]);
  h.x_origin = f64_at(&in[88]);
  h.y_origin = f64_at(&in[96]);
  const uint8_t* w = &in[msid::kHeaderSize];

  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  if (!image) return 0;
  image->format = 18;
  image->gamma = -1.0;
  set_graylevel_lut(image);
  int32_t result = 0;
  sid_load_sid(image, -1, &result);
  if (result == 0 && image->height > 0)
    sid_load_sid(image, int32_t(msid::get_u32(w + 37) % uint32_t(image->height)), &result);
  set_gblerr(0);
  sid_window win{int32_t(w[0]) + (w[1] & 1) - 1, int32_t(w[2]) + (w[3] & 1) - 1, f64_at(w + 4),
                 f64_at(w + 12), f64_at(w + 20), f64_at(w + 28)};
  const int grey = w[36] & 1;
  const size_t pixels = size_t(std::max(win.width, 0)) * size_t(std::max(win.height, 0));
  std::vector<uint8_t> d8(pixels + 1);
  std::vector<uint32_t> d32(pixels + 1);
  sid_display_sid(image, &win, grey, d8.data(), d32.data(), std::max(win.width, 0));
  set_gblerr(0);
  free_obj(&image);
  if (g_open != 0) std::abort();  // a handle outlived its image record
  return 0;
}
