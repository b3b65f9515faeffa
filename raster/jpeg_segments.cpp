// The JPEG reader's segment parsers: APP0 (JFIF), APP1 (Exif), APP8 (SPIFF), APP14
// (Adobe), DQT, DHT, DRI, the frame headers and the scan header (jpeg_state.h).
//
// Each segment's body is read whole (at most 65533 bytes) before it is parsed, so no
// count in it can make a parser read past the segment. Every value that sizes or
// indexes something is checked first: table numbers, sampling factors, component
// counts, Huffman code counts, spectral bounds and the approximation bit. A second
// frame header must describe the same kind and size of image as the first, whose
// bitmap it writes into.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "map/bitmap_record.h"
#include "raster/exif_read.h"
#include "raster/jpeg_read.h"
#include "raster/jpeg_state.h"
#include "raster/raster_limits.h"

const uint8_t kJpegZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18,
                                 11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20,
                                 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43,
                                 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45,
                                 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

namespace {

// Annex K.1 and K.2, in natural order.
const uint8_t kLumaQuant[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const uint8_t kChromaQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// Trace-log texts of the coding processes that are not decoded, by frame mode.
struct refused_kind {
  int mode;
  const char* text;
  int min_precision, max_precision;  // 0 when only 8 and 12 are valid
};
const refused_kind kRefused[] = {
    {3, "JPEG Lossless Huffman", 2, 16},
    {5, "JPEG Differential Sequential DCT Huffman", 8, 8},
    {6, "JPEG Differential Progressive DCT Huffman", 0, 0},
    {7, "JPEG Differential lossless Huffman", 2, 16},
    {9, "JPEG Extended Sequential DCT Arithmetic", 0, 0},
    {10, "JPEG Progressive DCT Arithmetic", 0, 0},
    {11, "JPEG Lossless Sequential DCT Arithmetic", 2, 16},
    {13, "JPEG Differential Sequential DCT Arithmetic", 8, 8},
    {14, "JPEG Differential Progressive DCT Arithmetic", 0, 0},
    {15, "JPEG Differential Lossless DCT Arithmetic", 2, 16},
};

constexpr int kPixelKindJfif = 3;
constexpr int kPixelKindSpiff = 4;
constexpr int kPixelKindExif = 27;

int be16(const uint8_t* p) { return p[0] << 8 | p[1]; }
uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Reads the 16-bit length and the body it counts; false, with the error set, when the
// length is below 2 or the file ends inside the body.
bool read_segment(jpeg_state* st, std::vector<uint8_t>* body) {
  uint8_t head[2];
  if (rd_read_bytes(head, 2) != 2) return jpeg_set_error(st, ERR_FILE_ACCESS), false;
  const int length = be16(head);
  if (length < 2) return jpeg_set_error(st, ERR_BAD_FILE), false;
  body->assign(size_t(length - 2), 0);
  if (rd_read_bytes(body->data(), length - 2) != length - 2)
    return jpeg_set_error(st, ERR_FILE_ACCESS), false;
  return true;
}

// The fields of a frame header that come before its components.
struct frame_head {
  int precision = 0, height = 0, width = 0, count = 0;
};

bool read_frame_head(jpeg_state* st, std::vector<uint8_t>* body, frame_head* h) {
  if (!read_segment(st, body)) return false;
  if (body->size() < 6) return jpeg_set_error(st, ERR_BAD_FILE), false;
  const uint8_t* p = body->data();
  h->precision = p[0];
  h->height = be16(p + 1);
  h->width = be16(p + 3);
  h->count = p[5];
  return true;
}

// The planes the image gets: one per component, the colours of four-component
// (CMYK, YCCK) files made into red, green and blue.
int output_planes(int count) { return count == 4 ? 3 : count; }

// The first frame sizes the image record and creates its bitmap.
int create_bitmap(jpeg_state* st) {
  bitmap_t* image = st->image;
  const jpeg_frame& f = st->frame;
  const int planes = output_planes(f.count);
  if (raster_check_size(f.width, f.height, planes == 2 ? 3 : planes)) return jpeg_set_error(st, ERR_MEMORY);
  image->bits_per_sample = f.precision;
  image->samples_per_pixel = planes;
  // A new store's lines read as zeros until written: nothing needs clearing.
  if (alloc_bitmap(image, f.width, f.height, planes, 2) != 0) {
    const int rc = get_gblerr() ? get_gblerr() : ERR_MEMORY;
    set_gblerr(0);
    return jpeg_set_error(st, rc);
  }
  if (f.count == 1) set_graylevel_lut(image);
  return 0;
}

// A frame after the first must be of the same kind and size: it writes into the
// bitmap the first one created.
bool same_image(const jpeg_frame& a, int mode, const frame_head& h) {
  return a.mode == mode && a.precision == h.precision && a.width == h.width &&
         a.height == h.height && a.count == h.count;
}

}  // namespace

int jpeg_set_error(jpeg_state* st, int code) {
  if (st->error == 0) st->error = code;
  return st->error;
}

void jpeg_reset(jpeg_state* st) {
  for (int i = 0; i < 64; ++i) {
    st->quant[0][i] = kLumaQuant[kJpegZigzag[i]];
    st->quant[1][i] = kChromaQuant[kJpegZigzag[i]];
  }
  jpeg_default_huffman(st);
}

void jpeg_skip_segment(jpeg_state* st) {
  uint8_t head[2];
  if (rd_read_bytes(head, 2) != 2) return void(jpeg_set_error(st, ERR_FILE_ACCESS));
  const int length = be16(head);
  if (length < 2) return void(jpeg_set_error(st, ERR_BAD_FILE));
  rd_seek(length - 2, 1);
}

void jpeg_app0(jpeg_state* st) {
  std::vector<uint8_t> body;
  if (!read_segment(st, &body)) return;
  const size_t length = body.size() + 2;
  if (length < 7) return void(jpeg_set_error(st, ERR_BAD_FILE));
  const uint8_t* p = body.data();
  if (std::memcmp(p, "JFIF\0", 5) != 0) return;  // JFXX, AVI1 and others are skipped
  if (length < 16) return void(jpeg_set_error(st, ERR_BAD_FILE));
  st->jfif = true;
  st->image->variant = kPixelKindJfif;
  const int units = p[7];
  int xres = be16(p + 8), yres = be16(p + 10);
  if (units == 2) {
    xres = int(xres * 2.54);
    yres = int(yres * 2.54);
  }
  st->image->xres = xres;
  st->image->yres = yres;
}

void jpeg_app1(jpeg_state* st) {
  uint8_t head[2];
  if (rd_read_bytes(head, 2) != 2) return void(jpeg_set_error(st, ERR_FILE_ACCESS));
  const int length = be16(head);
  if (length == 2) return;
  if (length < 8) return void(jpeg_set_error(st, ERR_BAD_FILE));
  const int64_t end = rd_tell() + length - 2;
  uint8_t id[6] = {};
  if (rd_read_bytes(id, 6) != 6) return void(jpeg_set_error(st, ERR_FILE_ACCESS));
  if (std::memcmp(id, "Exif\0", 5) == 0) {
    st->image->variant = kPixelKindExif;
    int rc = exif_read(st->image, end);
    if (!rc) rc = get_gblerr();
    set_gblerr(0);
    if (rc) return void(jpeg_set_error(st, rc));
  }
  rd_seek(end, 0);
}

void jpeg_app8(jpeg_state* st) {
  std::vector<uint8_t> body;
  if (!read_segment(st, &body)) return;
  if (body.size() < 6 || std::memcmp(body.data(), "SPIFF\0", 6) != 0)
    return void(jpeg_set_error(st, ERR_UNKNOWN_FORMAT));
  st->colour_conversion = false;
  if (body.size() + 2 < 32) return void(jpeg_set_error(st, ERR_BAD_FILE));
  // After the identifier: version (2), profile, components, height (4), width (4), colour
  // space, bits per sample, compression, units, then the vertical and horizontal resolution.
  const uint8_t* p = body.data() + 6;
  st->image->yres = int32_t(be32(p + 16));
  st->image->xres = int32_t(be32(p + 20));
  st->image->variant = kPixelKindSpiff;
}

void jpeg_other_app(jpeg_state* st, int marker) {
  if (marker != 0xEE) return jpeg_skip_segment(st);
  std::vector<uint8_t> body;
  if (!read_segment(st, &body)) return;
  // "Adobe", version, flags 0, flags 1, colour transform.
  if (body.size() >= 12 && std::memcmp(body.data(), "Adobe", 5) == 0)
    st->adobe_transform = body[11];
}

void jpeg_dqt(jpeg_state* st) {
  std::vector<uint8_t> body;
  if (!read_segment(st, &body)) return;
  const size_t length = body.size() + 2;
  if (length < 67) return;
  size_t at = 0;
  while (at + 65 <= body.size()) {
    const int pq = body[at] >> 4, tq = body[at] & 15;
    if (tq > 3 || pq > 1) return void(jpeg_set_error(st, ERR_BAD_FILE));
    if (at + 65 + 64 * size_t(pq) > body.size()) return void(jpeg_set_error(st, ERR_BAD_FILE));
    const uint8_t* v = body.data() + at + 1;
    for (int i = 0; i < 64; ++i) st->quant[tq][i] = uint16_t(pq ? be16(v + 2 * i) : v[i]);
    at += 65 + 64 * size_t(pq);
  }
}

void jpeg_dht(jpeg_state* st) {
  std::vector<uint8_t> body;
  if (!read_segment(st, &body)) return;
  if (body.size() + 2 < 19) return;
  size_t at = 0;
  while (at + 17 <= body.size()) {
    const int tc = body[at] >> 4, th = body[at] & 15;
    if (th > 3 || tc > 1) return void(jpeg_set_error(st, ERR_BAD_FILE));
    const uint8_t* counts = body.data() + at + 1;
    size_t total = 0;
    for (int i = 0; i < 16; ++i) total += counts[i];
    if (total > 256 || at + 17 + total > body.size()) return void(jpeg_set_error(st, ERR_BAD_FILE));
    if (!jpeg_build_huffman(&st->huff[tc + 2 * th], counts, body.data() + at + 17)) {
      st->huff[tc + 2 * th] = jpeg_huffman{};
      return void(jpeg_set_error(st, ERR_BAD_FILE));
    }
    at += 17 + total;
  }
}

void jpeg_dri(jpeg_state* st) {
  std::vector<uint8_t> body;
  if (!read_segment(st, &body)) return;
  if (body.size() < 2) return void(jpeg_set_error(st, ERR_BAD_FILE));
  st->restart_interval = uint32_t(be16(body.data()));
}

void jpeg_sof(jpeg_state* st, int mode) {
  std::vector<uint8_t> body;
  frame_head h;
  if (!read_frame_head(st, &body, &h)) return;
  const bool precision_ok = mode == kJpegBaseline ? h.precision == 8
                                                  : h.precision == 8 || h.precision == 12;
  if (!precision_ok || h.count < 1 || h.count > kJpegMaxComponents || h.width < 1 ||
      h.height < 1 || body.size() < 6 + 3 * size_t(h.count))
    return void(jpeg_set_error(st, ERR_BAD_FILE));
  if (st->frame.present && !same_image(st->frame, mode, h))
    return void(jpeg_set_error(st, ERR_BAD_FILE));
  jpeg_frame f;
  f.present = true;
  f.mode = mode;
  f.precision = h.precision;
  f.width = h.width;
  f.height = h.height;
  f.count = h.count;
  for (int c = 0; c < h.count; ++c) {
    const uint8_t* p = body.data() + 6 + 3 * c;
    jpeg_component& k = f.comp[c];
    k.id = p[0];
    k.h = p[1] >> 4;
    k.v = p[1] & 15;
    k.tq = p[2];
    if (k.h < 1 || k.h > kJpegMaxFactor || k.v < 1 || k.v > kJpegMaxFactor || k.tq > 3)
      return void(jpeg_set_error(st, ERR_BAD_FILE));
  }
  // An earlier frame whose samples wait for the end is written out first.
  if (st->frame.present && st->frame.buffered) jpeg_output_buffered(st);
  if (st->error) return;
  const bool first = !st->frame.present;
  st->frame = std::move(f);
  ++st->frame_count;
  st->scan = jpeg_scan{};
  if (jpeg_frame_geometry(st)) return;
  if (mode == kJpegProgressive && jpeg_alloc_coefficients(st)) return;
  if (first) create_bitmap(st);
}

void jpeg_refused_sof(jpeg_state* st, int mode) {
  std::vector<uint8_t> body;
  frame_head h;
  if (!read_frame_head(st, &body, &h)) return;
  for (const refused_kind& k : kRefused) {
    if (k.mode != mode) continue;
    const char* name = st->image->file ? file_name_of(st->image->file) : nullptr;
    char text[512];
    std::snprintf(text, sizeof text, "image %s : %s non traite", name ? name : "", k.text);
    log_error_line(text);
    const bool valid = k.min_precision ? h.precision >= k.min_precision && h.precision <= k.max_precision
                                       : h.precision == 8 || h.precision == 12;
    jpeg_set_error(st, valid ? ERR_UNKNOWN_FORMAT : ERR_BAD_FILE);
    return;
  }
  jpeg_set_error(st, ERR_BAD_FILE);
}

void jpeg_sos(jpeg_state* st) {
  std::vector<uint8_t> body;
  if (!read_segment(st, &body)) return;
  const int count = body.empty() ? 0 : body[0];
  if (count < 1 || count > kJpegMaxComponents || body.size() < 4 + 2 * size_t(count))
    return void(jpeg_set_error(st, ERR_BAD_FILE));
  if (!st->frame.present) return void(jpeg_set_error(st, ERR_BAD_FILE));
  jpeg_scan s;
  s.present = true;
  s.count = count;
  for (int i = 0; i < count; ++i) {
    const uint8_t* p = body.data() + 1 + 2 * i;
    s.td[i] = p[1] >> 4;
    s.ta[i] = p[1] & 15;
    if (s.td[i] > 3 || s.ta[i] > 3) return void(jpeg_set_error(st, ERR_BAD_FILE));
    s.comp[i] = -1;
    for (int c = 0; c < st->frame.count && s.comp[i] < 0; ++c)
      if (st->frame.comp[c].id == p[0]) s.comp[i] = c;
    if (s.comp[i] < 0) return void(jpeg_set_error(st, ERR_VALUE));
  }
  const uint8_t* p = body.data() + 1 + 2 * count;
  s.ss = p[0];
  s.se = p[1];
  s.ah = p[2] >> 4;
  s.al = p[2] & 15;
  if (s.ss > 63 || s.se > 63 || s.al > 13) return void(jpeg_set_error(st, ERR_BAD_FILE));
  st->scan = s;
  st->restart_count = 0;
  jpeg_decode_scan(st);
}
