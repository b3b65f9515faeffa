// The bitmap record (class 1): every raster image in memory, and the routines that the
// MrSID plug-in binds back to by name.
//
// This header is the one declaration of the record's byte layout, included both by the
// programs and by the plug-in, which reads and writes the fields directly. The record
// is packed (no gaps, little-endian); in this 64-bit build every pointer field is 8
// bytes, so the offsets are those of the 32-bit layout shifted by 4 for each pointer
// before them. The static_asserts below fix every offset and the size: both sides of
// the plug-in boundary compile against them.
//
// Pixels live in a line store (core/line_store.h): one line per image row, the planes of
// a row one after another (plane p of row r starts at byte width * p of the line). A
// second store, the overview, keeps one sample per 10 x 10 tile, planar as well.
//
// Files: bitmap_alloc.cpp (the entry points bound by name, with C linkage: stores, line
// addresses, lookup tables), bitmap_object.cpp (destructor, header copy, small
// queries), bitmap_module.cpp (start-up, the global list of images, ECW views).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/object.h"
#include "geodesy/extent.h"

struct filemobj_t;
struct georef_t;

constexpr int CLS_BITMAP = 1;
constexpr int CLS_IMG_FRAME = 29;
constexpr int kBitmapTileSide = 10;   // overview: one sample per 10 x 10 pixels
constexpr int kFormatEcw = 16;        // `format` of an ECW image
constexpr int kFormatTiff = 3;        // `format` of a TIFF image
constexpr int kFormatMrSid = 18;      // `format` of a MrSID image

// Routine called with the decoder block when a bitmap is destroyed.
using bitmap_release_fn = void (*)(void* decoder);

#pragma pack(push, 1)
struct bitmap_t : obj_t {
  int32_t store_words[2];        // object-store words (zero)
  obj_t* file;                   // file object of the image; null when made in memory
  uint8_t byte20;                // not used by the bitmap routines
  int32_t format;                // format code of the file
  int32_t bits_per_sample;       // 8 for 8-bit samples
  int32_t samples_per_pixel;     // 1 or 3
  int32_t loader_words[2];       // two words of the image loaders
  int32_t variant;               // loader's variant code (24 written by the plug-in)
  int32_t width;                 // pixels
  int32_t height;                // rows
  int32_t tiles_across;          // overview columns
  int32_t tiles_down;            // overview rows
  extent_t extent;               // extent of the image in its georeference
  int32_t planes;                // bytes per pixel: 1 or 3
  int32_t xres;                  // dots per inch
  int32_t yres;
  int32_t loader_words2[2];      // two more words of the image loaders
  int32_t frame_number;          // image number in a multi-image file (1 = first)
  uint8_t transparent[4];        // transparent index (first byte) or colour (three)
  uint8_t has_transparent;       // 1 when `transparent` applies
  obj_t* exif;                   // photo metadata record (class 49) or null
  double gamma;                  // -1.0 when not given
  uint8_t lut_r[256];            // lookup tables, indexed by sample value
  uint8_t lut_g[256];
  uint8_t lut_b[256];
  char* name;                    // owned 8-bit string
  filemobj_t* lines;             // line store of the pixel rows
  filemobj_t* overview;          // line store of the overview
  georef_t* georef;              // georeference (class 46) or null
  obj_t* georef2;                // display transformation (owned) or null
  int32_t display_words[5];      // words of the raster display and loaders
  void* decoder;                 // decoder block owned by the loader or the plug-in
  bitmap_release_fn release;     // called with `decoder` at destruction, or null
};

// Class 29: one frame of an animated image.
struct img_frame_t : obj_t {
  bitmap_t* bitmap;
  int32_t frame_number;
  uint8_t user_input;            // 1-byte user-input flag
  uint8_t disposal;              // disposal method 0..7
  uint16_t loop_count;
  uint16_t delay;                // hundredths of a second
  int32_t reserved;              // rest of the 26-byte record of the 32-bit layout
};
#pragma pack(pop)

// The layout shared with the plug-in.
static_assert(offsetof(bitmap_t, id) == 0 && offsetof(bitmap_t, cls) == 4);
static_assert(offsetof(bitmap_t, file) == 16);
static_assert(offsetof(bitmap_t, byte20) == 24);
static_assert(offsetof(bitmap_t, format) == 25);
static_assert(offsetof(bitmap_t, bits_per_sample) == 29);
static_assert(offsetof(bitmap_t, samples_per_pixel) == 33);
static_assert(offsetof(bitmap_t, loader_words) == 37);
static_assert(offsetof(bitmap_t, variant) == 45);
static_assert(offsetof(bitmap_t, width) == 49);
static_assert(offsetof(bitmap_t, height) == 53);
static_assert(offsetof(bitmap_t, tiles_across) == 57);
static_assert(offsetof(bitmap_t, tiles_down) == 61);
static_assert(offsetof(bitmap_t, extent) == 65);
static_assert(offsetof(bitmap_t, planes) == 105);
static_assert(offsetof(bitmap_t, xres) == 109);
static_assert(offsetof(bitmap_t, yres) == 113);
static_assert(offsetof(bitmap_t, loader_words2) == 117);
static_assert(offsetof(bitmap_t, frame_number) == 125);
static_assert(offsetof(bitmap_t, transparent) == 129);
static_assert(offsetof(bitmap_t, has_transparent) == 133);
static_assert(offsetof(bitmap_t, exif) == 134);
static_assert(offsetof(bitmap_t, gamma) == 142);
static_assert(offsetof(bitmap_t, lut_r) == 150);
static_assert(offsetof(bitmap_t, lut_g) == 406);
static_assert(offsetof(bitmap_t, lut_b) == 662);
static_assert(offsetof(bitmap_t, name) == 918);
static_assert(offsetof(bitmap_t, lines) == 926);
static_assert(offsetof(bitmap_t, overview) == 934);
static_assert(offsetof(bitmap_t, georef) == 942);
static_assert(offsetof(bitmap_t, georef2) == 950);
static_assert(offsetof(bitmap_t, display_words) == 958);
static_assert(offsetof(bitmap_t, decoder) == 978);
static_assert(offsetof(bitmap_t, release) == 986);
static_assert(sizeof(bitmap_t) == 994);
static_assert(offsetof(img_frame_t, bitmap) == 8 && offsetof(img_frame_t, frame_number) == 16);
static_assert(offsetof(img_frame_t, disposal) == 21 && offsetof(img_frame_t, delay) == 24);
static_assert(sizeof(img_frame_t) == 30);

// ---- Entry points bound by name ---------------------------------------------------------
// C linkage and default visibility: the programs are linked with -rdynamic, and the
// plug-in looks these names up in the program's module.
extern "C" {
// Width and height below 1 become 1; planes below 1 become 1 and 2 becomes 3. Stores the
// size and the tile counts, then creates `lines` (height lines of width * planes bytes,
// line-store mode `mode`) and `overview` (tiles_down lines of tiles_across * planes
// bytes, mode 2, named after the bitmap's file); stores held before are freed first.
// 0 when both exist, else -1 with gblerr set (1 when the stores cannot be made, also
// for a row too long for one line).
int alloc_bitmap(bitmap_t* bitmap, int width, int height, int planes, int mode);
// Address of plane `plane` of row `row` (the row is brought into memory when it was
// swapped out); null for a null bitmap, a row outside 0..height-1, a plane outside
// 0..planes-1, or a bitmap without line store.
uint8_t* get_img_line_adr(bitmap_t* bitmap, int row, int plane);
// The three lookup tables become the identity.
void set_graylevel_lut(bitmap_t* bitmap);
// The object store's allocator under its plain name, for the plug-in.
obj_t* alloc_obj_export(int cls, obj_t** out) __asm__("alloc_obj");
}

// ---- Lookup tables, destruction, copies --------------------------------------------------
// Grey tables for n-bit samples (1 <= n <= 8): entry v (v < 2^n) = v * (255 / (2^n - 1)).
// n outside 1..8: gblerr 12 and nothing changes. Returns the code.
int set_nbit_gray_lut(bitmap_t* bitmap, int n);
// Free routine of class 1 (see bitmap_object.cpp).
void bitmap_destroy(obj_t* bitmap);
// A new bitmap (in the class list) with the header of source and no pixel stores.
bitmap_t* bitmap_clone_header(const bitmap_t* source, bitmap_t** out);
// Every row set to 0.
void bitmap_clear(bitmap_t* bitmap);

// ---- Queries ------------------------------------------------------------------------------
void bitmap_get_size(const bitmap_t* bitmap, int* width, int* height);
// {0, width, 0, height, 0}; all 0 for null.
void bitmap_extent(const bitmap_t* bitmap, extent_t* out);
int bitmap_is_tiff(const bitmap_t* bitmap);
// For a store that swaps: writes the row alone when not yet on disk, then drops it from
// memory once it is marked saved. A discardable store, or a row that could not be
// written, keeps the row.
void bitmap_swap_out_line(bitmap_t* bitmap, int row);
// 1 when the row is in memory.
int bitmap_line_loaded(const bitmap_t* bitmap, int row);
// The first bitmap in the file object's object list.
bitmap_t* file_get_bitmap(obj_t* file, bitmap_t** out);
// `frame_number` := 0 for every bitmap of the list.
void bitmap_clear_frame_numbers(container_t* list);
// Ends the ECW view of every ECW bitmap (file set, format 16).
void bitmap_close_ecw_views();

// ---- Start-up -----------------------------------------------------------------------------
// The image services of other modules that the bitmap routines call. Empty slots do
// nothing: the image loading subsystem fills them when it starts.
struct bitmap_hooks {
  void (*ecw_end_view)(bitmap_t* bitmap) = nullptr;  // ends the ECW view of one image
  void (*exif_register)() = nullptr;                 // registers the EXIF class
  void (*ecw_init)() = nullptr;                      // initialises the ECW state
  void (*plugin_load)() = nullptr;                   // binds the MrSID plug-in
  // Called first when a bitmap is destroyed: the image loading drops what it keeps
  // about the record beside it (position, overview queue entry).
  void (*destroyed)(bitmap_t* bitmap) = nullptr;
  // Decodes an icon file (PNG; a relative name is looked for in the system folder, then
  // the program folder) into a new bitmap; null with gblerr set when it cannot.
  bitmap_t* (*icon_load)(const char* name) = nullptr;
};
bitmap_hooks& get_bitmap_hooks();

// Registers classes 1 and 29, runs the start-up hooks, installs the line store's
// bitmap hooks (24-bit test, ECW views at exit) and creates the global list of images.
void bitmap_module_init();
// The global list of images (null before bitmap_module_init).
container_t* bitmap_image_list();
// The addresses of the entry points bound by name. Start-up takes them, so that a
// program linked from the static library always holds (and exports) them.
int bitmap_exported_entries(const void* const** out);
