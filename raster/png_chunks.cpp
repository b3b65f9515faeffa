// The chunk handlers of the PNG reader, one per chunk type, found through one table.
//
// Each handler reads at most its chunk's length (the chunk loop skips whatever is left
// and the CRC) and checks that length before it reads a field. The header fixes the
// geometry that every later handler relies on, so it must come first and once.
#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "core/line_store.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/png_read.h"
#include "raster/png_state.h"
#include "raster/raster_limits.h"

namespace {

// Largest factor by which Deflate data can grow (a stream of longest matches), with a
// margin: an image whose raw rows need more than this many times the file's size cannot
// be held by the file, and is refused before anything is allocated.
constexpr int64_t kDeflateMaxRatio = 1032;
constexpr int64_t kDeflateSlack = 4096;

uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A 16-bit value read as signed and clamped to a byte, as tRNS and bKGD store samples.
uint8_t clamped16(const uint8_t* p) {
  const int v = int16_t(uint16_t(p[0] << 8 | p[1]));
  return uint8_t(std::clamp(v, 0, 255));
}

int bad_file() { return set_gblerr(ERR_BAD_FILE); }

// Reads the first `need` bytes of a chunk of `length` bytes; a shorter chunk is bad.
int read_fields(uint32_t length, uint32_t need, uint8_t* out) {
  if (length < need) return bad_file();
  if (rd_read_bytes(out, need) != int64_t(need)) return bad_file();
  return 0;
}

// Depths a colour type allows: bit d-1 set for depth d.
int allowed_depths(int colour_type) {
  switch (colour_type) {
    case 0: return 0x8B;  // 1, 2, 4, 8
    case 3: return 0x8B;
    case 2: case 4: case 6: return 0x80;  // 8
    default: return 0;
  }
}

int channels_of(int colour_type) {
  static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  return colour_type >= 0 && colour_type <= 6 ? kChannels[colour_type] : 0;
}

int check_header(png_state* st, const uint8_t* h) {
  const uint32_t w = be32(h), ht = be32(h + 4);
  if (w < 1 || ht < 1 || w > uint32_t(INT32_MAX) || ht > uint32_t(INT32_MAX)) return bad_file();
  const int depth = h[8], type = h[9];
  if (depth == 16) return set_gblerr(ERR_UNKNOWN_FORMAT);
  if (depth < 1 || depth > 8 || h[10] != 0 || h[11] != 0 || h[12] > 1) return bad_file();
  if (!(allowed_depths(type) & (1 << (depth - 1)))) return bad_file();
  st->colour_type = type;
  st->depth = depth;
  st->interlace = h[12];
  st->channels = channels_of(type);
  st->planes = (type == 2 || type == 6) ? 3 : 1;
  st->filter_bpp = std::max(1, st->channels * depth / 8);
  bitmap_t* b = st->image;
  b->width = int32_t(w);
  b->height = int32_t(ht);
  return 0;
}

int on_ihdr(png_state* st, uint32_t length) {
  uint8_t h[13];
  if (st->seen_ihdr) return bad_file();
  if (int rc = read_fields(length, 13, h)) return rc;
  if (int rc = check_header(st, h)) return rc;
  st->seen_ihdr = true;
  bitmap_t* b = st->image;
  const int64_t raw = png_raw_size(st);
  if (raw < 0 || raw > st->file_size * kDeflateMaxRatio + kDeflateSlack) return bad_file();
  if (raster_check_size(b->width, b->height, st->planes)) return get_gblerr();
  b->variant = kPngPixelKind;
  b->bits_per_sample = st->depth;
  b->samples_per_pixel = st->channels;
  if (st->colour_type == 0 || st->colour_type == 4) set_nbit_gray_lut(b, st->depth);
  if (alloc_bitmap(b, b->width, b->height, st->planes, 2) != 0)
    return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
  return 0;
}

int on_plte(png_state* st, uint32_t length) {
  if (length % 3 != 0 || length > 3 * 256) return bad_file();
  uint8_t p[3 * 256];
  if (int rc = read_fields(length, length, p)) return rc;
  // Grey images have no palette: their tables stay the grey levels of their depth.
  if (st->colour_type == 0 || st->colour_type == 4) return 0;
  bitmap_t* b = st->image;
  for (uint32_t i = 0; i < length / 3; ++i) {
    b->lut_r[i] = p[3 * i];
    b->lut_g[i] = p[3 * i + 1];
    b->lut_b[i] = p[3 * i + 2];
  }
  return 0;
}

// The data stays in the file: its chunks are read again, in order, when it is inflated.
int on_idat(png_state* st, uint32_t length) {
  if (st->first_idat < 0) st->first_idat = rd_tell() - 8;
  st->idat_bytes += length;
  return 0;
}

int on_iend(png_state* st, uint32_t) {
  st->seen_iend = true;
  return 0;
}

// The palette index to show as transparent: the first fully transparent entry, else
// the most transparent one (the first of equals); -1 when every entry is opaque.
int transparent_index(const uint8_t* alpha, uint32_t n) {
  int best = -1;
  for (uint32_t i = 0; i < n; ++i) {
    if (alpha[i] == 0) return int(i);
    if (alpha[i] < 255 && (best < 0 || alpha[i] < alpha[best])) best = int(i);
  }
  return best;
}

int on_trns(png_state* st, uint32_t length) {
  bitmap_t* b = st->image;
  uint8_t v[256];
  switch (st->colour_type) {
    case 0:
      if (int rc = read_fields(length, 2, v)) return rc;
      b->transparent[0] = clamped16(v);
      break;
    case 2:
      if (int rc = read_fields(length, 6, v)) return rc;
      for (int c = 0; c < 3; ++c) b->transparent[c] = clamped16(v + 2 * c);
      break;
    case 3: {
      const uint32_t n = std::min<uint32_t>(length, 256);
      if (int rc = read_fields(length, n, v)) return rc;
      const int index = transparent_index(v, n);
      if (index >= 0) b->transparent[0] = uint8_t(index);
      break;
    }
    default:
      return 0;  // an alpha channel: the chunk has no business here and is ignored
  }
  b->has_transparent = 1;
  return 0;
}

int on_gama(png_state* st, uint32_t length) {
  uint8_t v[4];
  if (int rc = read_fields(length, 4, v)) return rc;
  st->image->gamma = be32(v) * 0.00001;
  return 0;
}

// Writes the background into every line; the decoded rows then overwrite it.
void fill_background(bitmap_t* b, const uint8_t* value, int planes) {
  for (int32_t y = 0; y < b->height; ++y)
    for (int p = 0; p < planes; ++p)
      if (uint8_t* line = get_img_line_adr(b, y, p)) std::memset(line, value[p], size_t(b->width));
}

// bKGD is only the colour to show behind the image: it never marks pixels transparent.
int on_bkgd(png_state* st, uint32_t length) {
  uint8_t v[6];
  uint8_t value[3];
  switch (st->colour_type) {
    case 3:
      if (int rc = read_fields(length, 1, v)) return rc;
      value[0] = v[0];
      break;
    case 2: case 6:
      if (int rc = read_fields(length, 6, v)) return rc;
      for (int c = 0; c < 3; ++c) value[c] = clamped16(v + 2 * c);
      break;
    default:
      if (int rc = read_fields(length, 2, v)) return rc;
      value[0] = clamped16(v);
      break;
  }
  fill_background(st->image, value, st->planes);
  return 0;
}

int on_phys(png_state* st, uint32_t length) {
  uint8_t v[9];
  if (int rc = read_fields(length, 9, v)) return rc;
  int64_t x = be32(v), y = be32(v + 4);
  if (v[8] > 1) return bad_file();
  if (v[8] == 1) {  // per metre: dots per inch, truncated
    x = int64_t(double(x) * 0.0254);
    y = int64_t(double(y) * 0.0254);
  }
  st->image->xres = int32_t(std::min<int64_t>(x, INT32_MAX));
  st->image->yres = int32_t(std::min<int64_t>(y, INT32_MAX));
  return 0;
}

int on_skip(png_state*, uint32_t) { return 0; }

struct chunk_row {
  char type[5];
  png_chunk_fn handler;
};

const chunk_row kChunks[] = {
    {"IHDR", on_ihdr}, {"PLTE", on_plte}, {"IDAT", on_idat}, {"IEND", on_iend},
    {"tRNS", on_trns}, {"gAMA", on_gama}, {"cHRM", on_skip}, {"sRGB", on_skip},
    {"iCCP", on_skip}, {"tEXt", on_skip}, {"zTXt", on_skip}, {"iTXt", on_skip},
    {"bKGD", on_bkgd}, {"pHYs", on_phys}, {"sBIT", on_skip}, {"sPLT", on_skip},
    {"hIST", on_skip}, {"tIME", on_skip},
};

}  // namespace

png_chunk_fn png_chunk_handler(const uint8_t type[4]) {
  for (const chunk_row& row : kChunks)
    if (std::memcmp(row.type, type, 4) == 0) return row.handler;
  return nullptr;
}
