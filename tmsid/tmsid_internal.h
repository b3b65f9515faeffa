// Inside the plug-in: the host's services and the decoding library's calls, bound once
// by sid_init_tmsid and kept in process-wide pointers (the exports run one at a time on
// the host's load and redraw tasks), and the steps the exports share.
#pragma once
#include <atomic>
#include <cstdint>

#include "map/bitmap_record.h"
#include "platform/mrsid/ltic_api.h"
#include "raster/sid_plugin.h"

namespace tmsid {

// The host's exports, looked up by name in the loading program.
struct host_services {
  obj_t* (*alloc_obj)(int cls, obj_t** out) = nullptr;
  void (*del_obj)(obj_t** obj) = nullptr;  // not exported by the hosts: stays null
  void* (*alloc_mem)(void** owner, int size) = nullptr;
  void* (*get_loc_mem)(int size) = nullptr;
  char* (*get_filemobj_name)(obj_t* file) = nullptr;
  void (*set_graylevel_lut)(bitmap_t* image) = nullptr;
  int (*alloc_bitmap)(bitmap_t* image, int width, int height, int planes, int mode) = nullptr;
  uint8_t* (*get_img_line_adr)(bitmap_t* image, int row, int plane) = nullptr;
  std::atomic<int>* gblerr = nullptr;
  int32_t* rshift = nullptr;
  int32_t* vshift = nullptr;
  int32_t* bshift = nullptr;
};

// The decoding library's calls.
struct decoder_calls {
  int (*open)(ltic_handle* out, const char* path) = nullptr;
  int (*close)(ltic_handle h) = nullptr;
  int (*decode)(ltic_handle h, double x0, double y0, double w, double hgt, double mag,
                uint8_t** bands) = nullptr;
  int (*data_type)(ltic_handle h) = nullptr;
  int (*num_bands)(ltic_handle h) = nullptr;
  uint32_t (*width)(ltic_handle h) = nullptr;
  uint32_t (*height)(ltic_handle h) = nullptr;
  int (*colour_space)(ltic_handle h) = nullptr;
  double (*max_mag)(ltic_handle h) = nullptr;
  double (*min_mag)(ltic_handle h) = nullptr;
  double (*x_rotation)(ltic_handle h) = nullptr;
  double (*y_rotation)(ltic_handle h) = nullptr;
  double (*x_resolution)(ltic_handle h) = nullptr;
  double (*y_resolution)(ltic_handle h) = nullptr;
  double (*x_origin)(ltic_handle h) = nullptr;
  double (*y_origin)(ltic_handle h) = nullptr;
};

host_services& host();
decoder_calls& decoder();

// Store mode of the images' line stores: lines dropped are decoded again, never swapped.
constexpr int kStoreDecodeAgain = 3;
// Pixel kind written into the image record.
constexpr int kPixelKind = 24;
// Largest side the plug-in accepts from the decoder.
constexpr uint32_t kMaxSide = 1000000;

int error_code();
void set_error(int code);

// The handle kept in the image's decoder state, or null when the image is not open.
ltic_handle image_handle(const bitmap_t* image);
// Opens the image on first use (see tmsid_open.cpp): true when it is open.
bool open_image(bitmap_t* image);
// The release routine of the decoder state: closes the handle.
void release_handle(void* block);

// The window decode of sid_display_sid (tmsid_window.cpp).
void display_window(bitmap_t* image, sid_window* window, int grey, uint8_t* dest8,
                    uint32_t* dest32, int stride);

}  // namespace tmsid
