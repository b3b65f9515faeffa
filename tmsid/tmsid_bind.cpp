// The plug-in's three exports and its binding: back to the host's exported routines and
// data (dlopen of the process, dlsym by name), and forward to the decoding library
// found beside the plug-in's own file.
#include <dlfcn.h>

#include <string>

#include "tmsid/tmsid_internal.h"

namespace tmsid {

host_services& host() {
  static host_services h;
  return h;
}
decoder_calls& decoder() {
  static decoder_calls d;
  return d;
}

int error_code() { return host().gblerr ? host().gblerr->load() : 0; }
void set_error(int code) {
  if (host().gblerr) host().gblerr->store(code);
}

namespace {

template <class F> bool bind(void* module, const char* name, F* out) {
  *out = reinterpret_cast<F>(dlsym(module, name));
  return *out != nullptr;
}

bool bind_host() {
  void* self = dlopen(nullptr, RTLD_NOW);
  if (!self) return false;
  host_services h;
  bool ok = bind(self, "alloc_obj", &h.alloc_obj);
  ok &= bind(self, "alloc_mem", &h.alloc_mem);
  ok &= bind(self, "get_loc_mem", &h.get_loc_mem);
  ok &= bind(self, "get_filemobj_name", &h.get_filemobj_name);
  ok &= bind(self, "set_graylevel_lut", &h.set_graylevel_lut);
  ok &= bind(self, "alloc_bitmap", &h.alloc_bitmap);
  ok &= bind(self, "get_img_line_adr", &h.get_img_line_adr);
  ok &= bind(self, "gblerr", &h.gblerr);
  ok &= bind(self, "rshift", &h.rshift);
  ok &= bind(self, "vshift", &h.vshift);
  ok &= bind(self, "bshift", &h.bshift);
  // "del_obj" is looked up too; no host exports it, so its pointer stays null.
  bind(self, "del_obj", &h.del_obj);
  if (ok) host() = h;
  return ok;
}

// The folder of the plug-in's own file, with its closing '/'.
std::string own_folder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&bind_host), &info) || !info.dli_fname) return "";
  const std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool bind_decoder() {
  const std::string path = own_folder() + kLticLibraryName;
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) return false;
  decoder_calls d;
  bool ok = bind(lib, "ltic_openMrSIDImageFile", &d.open);
  ok &= bind(lib, "ltic_closeImage", &d.close);
  ok &= bind(lib, "ltic_decode", &d.decode);
  ok &= bind(lib, "ltic_getDataType", &d.data_type);
  ok &= bind(lib, "ltic_getNumBands", &d.num_bands);
  ok &= bind(lib, "ltic_getWidth", &d.width);
  ok &= bind(lib, "ltic_getHeight", &d.height);
  ok &= bind(lib, "ltic_getColorSpace", &d.colour_space);
  ok &= bind(lib, "ltic_getMaxMagnification", &d.max_mag);
  ok &= bind(lib, "ltic_getMinMagnification", &d.min_mag);
  ok &= bind(lib, "ltic_getGeoXRotation", &d.x_rotation);
  ok &= bind(lib, "ltic_getGeoYRotation", &d.y_rotation);
  ok &= bind(lib, "ltic_getGeoXResolution", &d.x_resolution);
  ok &= bind(lib, "ltic_getGeoYResolution", &d.y_resolution);
  ok &= bind(lib, "ltic_getGeoXOrigin", &d.x_origin);
  ok &= bind(lib, "ltic_getGeoYOrigin", &d.y_origin);
  // The library stays loaded for the life of the process, like the plug-in.
  if (ok) decoder() = d;
  return ok;
}

}  // namespace
}  // namespace tmsid

extern "C" {

// 0 when bound; 1 when a host service is missing, 2 when the decoding library is
// missing or lacks a call.
__attribute__((visibility("default"))) int sid_init_tmsid() {
  if (!tmsid::bind_host()) return 1;
  if (!tmsid::bind_decoder()) return 2;
  return 0;
}

__attribute__((visibility("default"))) void sid_load_sid(bitmap_t* image, int32_t line,
                                                         int32_t* result) {
  int32_t local = 0;
  if (!result) result = &local;
  *result = 0;
  if (!image || !tmsid::decoder().decode) {
    *result = kSidRefused;
    return;
  }
  const bool opened = tmsid::open_image(image);
  if (const int pending = tmsid::error_code()) {
    *result = pending;
    return;
  }
  // A file the decoder refused (or whose data it cannot give) decodes nothing.
  if (!opened) {
    *result = kSidRefused;
    return;
  }
  if (line < 0 || line >= image->height) return;
  uint8_t* planes[3] = {nullptr, nullptr, nullptr};
  const int count = image->planes == 3 ? 3 : 1;
  for (int p = 0; p < count; ++p) {
    planes[p] = tmsid::host().get_img_line_adr(image, line, p);
    if (!planes[p]) {
      *result = tmsid::error_code() ? tmsid::error_code() : 1;
      return;
    }
  }
  const int status = tmsid::decoder().decode(tmsid::image_handle(image), 0.0, double(line),
                                             double(image->width), 1.0, 1.0, planes);
  // A refused decode leaves the line as it was: it is no success.
  if (status != 0) *result = kSidRefused;
}

__attribute__((visibility("default"))) void sid_display_sid(bitmap_t* image,
                                                            sid_window* window, int32_t grey,
                                                            uint8_t* dest8, uint32_t* dest32,
                                                            int32_t stride) {
  tmsid::display_window(image, window, grey, dest8, dest32, stride);
}

}  // extern "C"
