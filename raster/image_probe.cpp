// image_probe_size: the size of the image a file holds, read from its header alone.
//
// A program that only needs an image's size (the viewer sizing its window before it
// shows anything) would otherwise decode every line, and then decode them again to
// show them. Here the file's first bytes tell its format (the same magics recognition
// tests first) and the header of a PNG, JPEG or GIF file gives the size; no store is
// made and no line decoded. A header that the reader would refuse, or anything unusual
// (another format, a variant the reader does not take, a size beyond the limits) is
// left to a load: the answer is "unknown", never a guess.
#include <cstdint>
#include <cstring>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "raster/image_load.h"
#include "raster/raster_limits.h"

namespace {

constexpr int64_t kProbeBuffer = int64_t(64) << 10;

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// The PNG reader refuses a header whose raw data could not come from a Deflate stream
// of the file's length (the same bound as the reader's).
constexpr int64_t kDeflateMaxRatio = 1032;
constexpr int64_t kDeflateSlack = 4096;
// The GIF reader refuses a large screen that a small file cannot fill.
constexpr int64_t kGifFreePixels = int64_t(1) << 24;
constexpr int64_t kGifPixelsPerByte = 4096;

uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
int be16(const uint8_t* p) { return p[0] << 8 | p[1]; }
int le16(const uint8_t* p) { return p[0] | p[1] << 8; }

bool read_exact(void* out, int64_t n) { return n <= rd_bytes_left() && rd_read_bytes(out, n) == n; }

bool skip(int64_t n) {
  if (n < 0 || n > rd_bytes_left()) return false;
  rd_seek(n, 1);
  return true;
}

bool size_allowed(int64_t w, int64_t h, int planes) {
  const bool ok = w >= 1 && h >= 1 && raster_check_size(w, h, planes) == 0;
  set_gblerr(0);
  return ok;
}

// ---- PNG: the IHDR chunk, which must come first ------------------------------------------
// Sample depths each colour type allows (bit d-1 for depth d), 16 left out: the reader
// refuses 16-bit samples.
int png_depths(int type) {
  switch (type) {
    case 0: return 0x8B;             // 1, 2, 4, 8
    case 3: return 0x8B;             // 1, 2, 4, 8
    case 2: case 4: case 6: return 0x80;  // 8
    default: return 0;
  }
}
int png_channels(int type) {
  switch (type) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

// Raw bytes of the rows: one filter byte and the packed samples per row of each pass.
int64_t png_raw_bytes(int64_t w, int64_t h, int bits_per_pixel, bool interlaced) {
  struct pass { int col0, row0, col_step, row_step; };
  static constexpr pass kAdam7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  static constexpr pass kWhole[1] = {{0, 0, 1, 1}};
  const pass* passes = interlaced ? kAdam7 : kWhole;
  const int count = interlaced ? 7 : 1;
  int64_t total = 0;
  for (int i = 0; i < count; ++i) {
    const pass& p = passes[i];
    const int64_t cols = w > p.col0 ? (w - p.col0 + p.col_step - 1) / p.col_step : 0;
    const int64_t rows = h > p.row0 ? (h - p.row0 + p.row_step - 1) / p.row_step : 0;
    if (cols == 0 || rows == 0) continue;
    const int64_t n = (cols * bits_per_pixel + 7) / 8 + 1;
    if (n > INT64_MAX / rows - total) return -1;
    total += n * rows;
  }
  return total;
}

bool probe_png(int* width, int* height) {
  uint8_t h[8 + 8 + 13];
  if (!read_exact(h, sizeof h) || std::memcmp(h, kPngSignature, 8) != 0) return false;
  if (be32(h + 8) != 13 || std::memcmp(h + 12, "IHDR", 4) != 0) return false;
  const uint8_t* d = h + 16;
  const uint32_t w = be32(d), ht = be32(d + 4);
  const int depth = d[8], type = d[9];
  if (w < 1 || ht < 1 || w > uint32_t(INT32_MAX) || ht > uint32_t(INT32_MAX)) return false;
  if (depth < 1 || depth > 8 || d[10] != 0 || d[11] != 0 || d[12] > 1) return false;
  if (!(png_depths(type) & (1 << (depth - 1)))) return false;
  const int64_t raw = png_raw_bytes(w, ht, png_channels(type) * depth, d[12] == 1);
  if (raw < 0 || raw > rd_size() * kDeflateMaxRatio + kDeflateSlack) return false;
  const int planes = (type == 2 || type == 6) ? 3 : 1;
  if (!size_allowed(w, ht, planes)) return false;
  *width = int(w);
  *height = int(ht);
  return true;
}

// ---- JPEG: the segments up to the first frame header -------------------------------------
bool probe_jpeg(int* width, int* height) {
  uint8_t soi[2];
  if (!read_exact(soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8) return false;
  for (;;) {
    uint8_t m[2];
    if (!read_exact(m, 2) || m[0] != 0xFF) return false;
    int marker = m[1];
    while (marker == 0xFF) {  // fill bytes
      if (!read_exact(m + 1, 1)) return false;
      marker = m[1];
    }
    // Anything but a segment with a length before the frame header: left to the reader.
    const bool app = marker >= 0xE0 && marker <= 0xEF;
    const bool table = marker == 0xDB || marker == 0xC4 || marker == 0xDD || marker == 0xFE;
    const bool frame = marker == 0xC0 || marker == 0xC1 || marker == 0xC2;
    if (!app && !table && !frame) return false;
    uint8_t len[2];
    if (!read_exact(len, 2)) return false;
    const int length = be16(len);
    if (length < 2) return false;
    if (!frame) {
      if (!skip(length - 2)) return false;
      continue;
    }
    uint8_t f[6 + 3 * 4];
    if (length < 8 || !read_exact(f, 6)) return false;
    const int precision = f[0], h = be16(f + 1), w = be16(f + 3), count = f[5];
    const bool precision_ok = marker == 0xC0 ? precision == 8 : precision == 8 || precision == 12;
    if (!precision_ok || count < 1 || count > 4 || length - 8 < 3 * count) return false;
    if (!read_exact(f + 6, 3 * count)) return false;
    for (int c = 0; c < count; ++c) {
      const int hf = f[6 + 3 * c + 1] >> 4, vf = f[6 + 3 * c + 1] & 15, tq = f[6 + 3 * c + 2];
      if (hf < 1 || hf > 4 || vf < 1 || vf > 4 || tq > 3) return false;
    }
    const int planes = count == 1 ? 1 : 3;
    if (!size_allowed(w, h, planes)) return false;
    *width = w;
    *height = h;
    return true;
  }
}

// ---- GIF: the screen, grown by every frame larger than it ---------------------------------
bool skip_sub_blocks() {
  for (;;) {
    const int n = rd_read_byte();
    if (get_gblerr()) return false;
    if (n == 0) return true;
    if (!skip(n)) return false;
  }
}

bool probe_gif(int* width, int* height) {
  uint8_t h[13];
  if (!read_exact(h, 13) || std::memcmp(h, "GIF", 3) != 0) return false;
  if (std::memcmp(h + 3, "87a", 3) != 0 && std::memcmp(h + 3, "89a", 3) != 0) return false;
  int w = le16(h + 6), ht = le16(h + 8);
  if ((h[10] & 0x80) && !skip(3 * (1 << ((h[10] & 7) + 1)))) return false;
  bool frames = false;
  for (;;) {
    const int byte = rd_read_byte();
    if (get_gblerr()) return false;
    if (byte == 0x3B) break;
    if (byte == 0x00) continue;  // a stray zero between blocks, as the reader takes it
    if (byte == 0x21) {
      // The extensions the reader knows: graphic control, comment, application, text.
      const int label = rd_read_byte();
      if (get_gblerr() || (label != 0xF9 && label != 0xFE && label != 0xFF && label != 0x01)) return false;
      if (!skip_sub_blocks()) return false;
      continue;
    }
    if (byte != 0x2C) return false;
    uint8_t d[9];
    if (!read_exact(d, 9)) return false;
    if (d[8] & 0x80 && !skip(3 * (1 << ((d[8] & 7) + 1)))) return false;
    const int min_size = rd_read_byte();
    if (get_gblerr() || min_size < 1 || min_size > 8) return false;
    if (!skip_sub_blocks()) return false;
    w = w > le16(d + 4) ? w : le16(d + 4);
    ht = ht > le16(d + 6) ? ht : le16(d + 6);
    frames = true;
  }
  if (!frames) return false;
  w = w > 1 ? w : 1;
  ht = ht > 1 ? ht : 1;
  const int64_t pixels = int64_t(w) * ht;
  if (pixels > kGifFreePixels && pixels / kGifPixelsPerByte > rd_size()) return false;
  if (!size_allowed(w, ht, 3)) return false;
  *width = w;
  *height = ht;
  return true;
}

}  // namespace

int image_probe_size(obj_t* file, int* width, int* height) {
  if (width) *width = 0;
  if (height) *height = 0;
  if (!file) return 0;
  const int kind = int(file_get(file, FF_TYPE));
  if (kind != kFileKindLocal && kind != kFileKindImage) return 0;
  if (get_file_ops().container(file)) return 0;  // archive members are unpacked by a load
  const int32_t pending = get_gblerr();
  if (pending != 0) return 0;
  if (rd_open(file, kProbeBuffer, 1) != 0) {
    set_gblerr(0);
    return 0;
  }
  uint8_t magic[8] = {};
  const int64_t got = rd_read_bytes(magic, 8);
  rd_seek(0, 0);
  int w = 0, h = 0;
  bool known = false;
  if (got == 8 && std::memcmp(magic, kPngSignature, 8) == 0)
    known = probe_png(&w, &h);
  else if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
    known = probe_jpeg(&w, &h);
  else if (got >= 6 && (std::memcmp(magic, "GIF87a", 6) == 0 || std::memcmp(magic, "GIF89a", 6) == 0))
    known = probe_gif(&w, &h);
  set_gblerr(0);
  rd_close_file(file);
  if (!known) return 0;
  if (width) *width = w;
  if (height) *height = h;
  return 1;
}
