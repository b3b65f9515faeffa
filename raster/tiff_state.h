// The state of the TIFF reader shared by its files: one reader state per page, kept in
// the page's image record (its decoder field) for later on-demand lines, and the
// routines that walk a directory, decode strip or tile data and unpack rows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

struct bitmap_t;
struct container_t;

// Pixel kinds of TIFF pages (the image record's `variant`), by compression.
constexpr int kTiffKindNone = 8;       // 1: uncompressed
constexpr int kTiffKindMh = 9;         // 2: CCITT modified Huffman (refused)
constexpr int kTiffKindG3 = 10;        // 3: CCITT Group 3 (refused)
constexpr int kTiffKindG4 = 11;        // 4: CCITT Group 4
constexpr int kTiffKindLzw = 12;       // 5: LZW
constexpr int kTiffKindJpeg = 13;      // 6, 7: JPEG (refused)
constexpr int kTiffKindPackBits = 14;  // 32773: PackBits
constexpr int kTiffKindUnknown = 0;    // any other compression (refused)

// Colour models of the photometric interpretation.
enum tiff_colour_model { kModelNone = 0, kModelRgb = 1, kModelYcbcr = 2, kModelCmyk = 3,
                         kModelLab = 4 };

// The disk file of pages whose lines are decoded on demand, kept open for the pages'
// life (shared by the pages of one file, closed with the last of them): their strips
// are then read straight from it at their offsets, by whichever thread decodes a line,
// without opening the file again or going through the buffered reader. At most
// kTiffKeptFiles are open at once; pages beyond get none and reopen their file.
struct tiff_disk_file {
  FILE* handle = nullptr;
  int64_t start = 0, size = 0;  // the file's bytes in the disk file
  ~tiff_disk_file();
};
constexpr int kTiffKeptFiles = 64;

struct tiff_state {
  int64_t base = 0;
  int order = 0;
  // Geometry as stored in the file (the record's width and height are those of the
  // upright image: swapped for orientations 5 to 8).
  int64_t width = 0, height = 0;
  std::vector<uint32_t> offsets, counts;  // strips or tiles, plane after plane
  int64_t rows_per_strip = 0;             // 0: not given
  bool tiled = false;
  int64_t tile_width = 0, tile_length = 0, tiles_across = 0, tiles_down = 0;
  int bits_per_sample = 1, samples_per_pixel = 1, bits_per_pixel = 1;
  int fill_order = 1, orientation = 1, planar = 1, predictor = 0;  // predictor - 1
  int photometric = -1;
  int colour_mode = 0;    // 1 bilevel, 2 grey, 3 palette, 4 true colour
  int colour_model = kModelNone;
  int compression = 1;
  int pixel_kind = kTiffKindNone;
  bool reduced = false, page = false, mask = false, uncompressed_ok = false;
  bool ycbcr_subsampled = false, ycbcr_subsampling_given = false;
  uint8_t sample_map[256] = {};
  int store_mode = 3;     // line store mode of the page
  int64_t next_directory_at = 0;  // position of the next-directory offset
  std::shared_ptr<tiff_disk_file> disk;  // null: strips are read through the reader
};

// A new reader state in the page's decoder field (a block of the core allocator, which
// the record frees after calling the release routine); null when it cannot be made.
tiff_state* tiff_attach_state(bitmap_t* page);
// The reader state of a record, or null when its decoder field holds none.
tiff_state* tiff_state_of(const bitmap_t* page);

// Walks the directory at the reader's position into `page` (a header copy) and `st`:
// the entry count, then each entry through the tag table; `viewer` keeps the tags below
// 533 and the Exif directory only. Returns 0 or the code that discards the page (3 for
// an unsupported variant, 14 for a bad structure; gblerr set).
int tiff_walk_directory(bitmap_t* page, tiff_state* st, bool viewer);

// After the entries: bits per pixel, the checks that keep or discard the page, and the
// planes of its image. Returns 0 with *planes set, or the discarding code.
// A page whose data no decoder here reads (Deflate, JPEG, CCITT modified Huffman and
// Group 3, LZW with fill order 2, ...) is refused here, when the directory is read, so
// that no page is placed whose every line would fail.
int tiff_check_page(tiff_state* st, int* planes);

// 0 when the page's compression, predictor and sampling are decoded here; else 3 (a
// compression or variant not decoded) or 14 (LZW with fill order 2).
int tiff_refusal(const tiff_state* st);

// Rows of one strip (or one tile row) of the page, and the number of such groups.
int64_t tiff_group_rows(const tiff_state* st);
int64_t tiff_group_count(const tiff_state* st);

struct tiff_chunk_source;
// Buffers and row sources of one page's decoding, kept from one group to the next so
// that decoding every group of a page allocates them once. Belongs to one decoding call
// (never shared between threads).
struct tiff_workspace {
  std::vector<std::vector<uint8_t>> data;  // bytes of each strip or tile of the group
  std::vector<std::unique_ptr<tiff_chunk_source>> sources;
  std::vector<uint8_t> chunk, row;
};

// Decodes group g (a strip, or a row of tiles; every plane of a page stored plane by
// plane) and writes its rows into `target`, a bitmap of the stored width and height
// (the page itself, or the bitmap a page of orientation 5 to 8 is turned from), in the
// column and row order of the page's orientation. The file is the reader's current
// one. Returns 0, or 3 for a refused variant, 14 for bad data, 1 for a strip too large
// for memory (gblerr left clear). `ws` (may be null) keeps buffers for the next group.
int tiff_decode_group(const tiff_state* st, bitmap_t* target, int64_t g,
                      tiff_workspace* ws = nullptr);

// The bitmap row that stored row r lands on (rows are written bottom-up for some
// orientations), and the quarter turn that follows the decoding: 0 none, else the
// image_rotate direction.
int64_t tiff_target_row(const tiff_state* st, int64_t r);
int tiff_turn_direction(const tiff_state* st);

// ---- Chunk decoders (tiff_chunks.cpp) ------------------------------------------------
// A source of the rows of one strip or tile, decoded from its bytes held in memory.
struct tiff_chunk_source {
  virtual ~tiff_chunk_source() = default;
  // Fills the next row (n bytes). Returns 0, or 14 when the data ends or is bad.
  virtual int next_row(uint8_t* row, size_t n) = 0;
  // Starts over on other bytes of the same kind; false when this source cannot (a new
  // one is then made).
  virtual bool restart(const uint8_t* data, size_t size) { return false; }
};
// The decoder of a pixel kind over `data` (uncompressed, PackBits or LZW), or null for
// a kind this reader refuses.
tiff_chunk_source* tiff_new_chunk_source(int pixel_kind, const uint8_t* data, size_t size);
