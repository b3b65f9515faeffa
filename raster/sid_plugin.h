// The boundary between the programs and the MrSID plug-in `tmsid`: the plug-in's file
// name, its three exports and the display window record that the host hands to the
// display export. Included by the host (raster/sid_*.cpp) and by the plug-in, which
// compile against the same record layouts (this one and map/bitmap_record.h).
//
// The plug-in binds back to the host's exported routines and data by name (dlopen of
// the process, dlsym): alloc_obj, alloc_mem, get_loc_mem, get_filemobj_name,
// set_graylevel_lut, alloc_bitmap, get_img_line_adr, gblerr, rshift, vshift, bshift.
// Strings that get_filemobj_name returns are malloc blocks the caller frees.
#pragma once
#include <cstddef>
#include <cstdint>

struct bitmap_t;

// File name of the plug-in, looked for in the folder of the running program.
constexpr const char* kSidPluginFile = "tmsid.so";

#pragma pack(push, 1)
// The part of the raster display's window record that the plug-in reads: the display
// size and the visible part of the image in full-resolution pixels. The plug-in writes
// the two extents back after clamping them to the image.
struct sid_window {
  int32_t width;     // display pixels
  int32_t height;
  double origin_x;   // top-left corner of the visible part, image pixels
  double origin_y;
  double extent_x;   // size of the visible part, image pixels
  double extent_y;
};
#pragma pack(pop)
static_assert(offsetof(sid_window, origin_x) == 8 && offsetof(sid_window, extent_y) == 32);
static_assert(sizeof(sid_window) == 40);

// Results of sid_load_sid besides 0 and the host's error codes: the decoder refused
// the file or a decode (the plug-in sets it; the loader reports it as the outside
// library's refusal).
constexpr int kSidRefused = 7;

extern "C" {
// 0 when the host's services and the decoding library are bound; else non-zero (the
// host then leaves the format off).
using sid_init_fn = int (*)();
// Opens the image on first use and, for line >= 0, decodes that row of every band into
// the image's line store; *result 0 or an error code.
using sid_load_fn = void (*)(bitmap_t* image, int32_t line, int32_t* result);
// Decodes the window's visible part into the destination (8-bit when grey is set, else
// 32-bit), `stride` destination pixels apart from row to row (negative: bottom-up).
using sid_display_fn = void (*)(bitmap_t* image, sid_window* window, int32_t grey,
                                uint8_t* dest8, uint32_t* dest32, int32_t stride);
}
