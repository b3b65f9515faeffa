// The calling convention of the outside ECW decoding library as the programs use it: the
// file-information record and the types of the six calls (and the optional clock
// binding of the stand-in). The programs bind each call by name through one table
// (raster/ecw_library.cpp), so a library whose own names differ only needs its names
// in that table. Every call but close answers 0 on success.
#pragma once
#include <cstdint>

extern "C" {

#pragma pack(push, 1)
// What the library tells about an open file view. The record belongs to the view and
// lives until the view is closed.
struct ecw_file_info {
  uint32_t width;       // pixels
  uint32_t height;      // lines
  uint16_t bands;       // bands per pixel
  int32_t cell_unit;    // 0 unknown, 1 metres, 2 degrees, 3 feet
  double cell_x;        // world size of a cell across
  double cell_y;        // world size of a cell down (negative when north is up)
  double origin_x;      // world position of the top-left corner of the first pixel
  double origin_y;
  const char* datum;       // datum name ("RAW" for an image without georeference)
  const char* projection;  // projection name ("RAW", "GEODETIC" or a projection name)
};
#pragma pack(pop)

// 73: opens a view of the file; *view set on success. `refresh` is unused (null).
using ecw_open_fn = int (*)(const char* path, void** view, void* refresh);
// 71: the view's information record.
using ecw_info_fn = int (*)(void* view, ecw_file_info** info);
// 70: closes the view; free_cache 1 also drops the library's cached file.
using ecw_close_fn = void (*)(void* view, int free_cache);
// 82: sets the region (full-resolution pixels, corners inclusive) and the output size;
// the library then delivers `height` lines of `width` pixels covering the region.
using ecw_set_view_fn = int (*)(void* view, int band_count, const int* bands, int x0, int y0,
                                int x1, int y1, int width, int height);
// 78: the next line, one destination of `width` bytes per selected band.
using ecw_read_bands_fn = int (*)(void* view, uint8_t** destinations);
// 77: the next line as `width` 32-bit pixels: red in bits 16-23, green 8-15, blue 0-7.
using ecw_read_rgb_fn = int (*)(void* view, uint32_t* destination);
// The stand-in only: the routine through which it waits (the host's clock), so that its
// delays run on the host's virtual clock in tests.
using ecw_sleep_fn = void (*)(int64_t ms);
using ecw_bind_clock_fn = void (*)(ecw_sleep_fn sleep);

}  // extern "C"
