// PNG decoding for the program's icons (see png_read.h).
//
// Order of work: the file is split into chunks, each checked for its length and CRC;
// the header fixes the size of the inflated data (height rows of one filter byte and
// width * channels samples); the image data chunks are joined into an in-memory file
// and inflated by the core decoder; the rows are unfiltered, and the samples are
// turned into one indexed plane or three colour planes. Every failure names its reason.
#include "map/png_read.h"

#include <cstdio>
#include <cstring>

#include "core/checksum.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/line_store.h"
#include "core/reader.h"

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
// Largest inflated image the decoder builds.
constexpr int64_t kPngMaxRawBytes = int64_t(64) << 20;

uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

struct png_header {
  int32_t width = 0, height = 0;
  int colour_type = -1;
  int channels = 0;
  std::vector<uint8_t> palette;  // 3 bytes per entry
  std::vector<uint8_t> alpha;    // tRNS of a palette image
  int has_key = 0;
  uint16_t key[3] = {};          // tRNS of a grey or RGB image
};

int fail(std::string* why, const char* reason) {
  if (why) *why = reason;
  set_gblerr(ERR_BAD_FILE);
  return ERR_BAD_FILE;
}

int channels_of(int colour_type) {
  switch (colour_type) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    case 6: return 4;
    default: return 0;
  }
}

int read_ihdr(const uint8_t* d, uint32_t n, png_header* h, std::string* why) {
  if (n != 13) return fail(why, "IHDR chunk of wrong length");
  const uint32_t w = be32(d), ht = be32(d + 4);
  if (w < 1 || ht < 1 || w > uint32_t(kPngMaxSide) || ht > uint32_t(kPngMaxSide))
    return fail(why, "image size out of range");
  if (d[8] != 8) return fail(why, "only 8-bit samples are supported");
  h->channels = channels_of(d[9]);
  if (!h->channels) return fail(why, "unknown colour type");
  if (d[10] != 0 || d[11] != 0) return fail(why, "unknown compression or filter method");
  if (d[12] != 0) return fail(why, "interlaced images are not supported");
  h->width = int32_t(w);
  h->height = int32_t(ht);
  h->colour_type = d[9];
  return 0;
}

int read_trns(const uint8_t* d, uint32_t n, png_header* h, std::string* why) {
  if (h->colour_type == 3) {
    if (n > h->palette.size() / 3) return fail(why, "tRNS longer than the palette");
    h->alpha.assign(d, d + n);
  } else if (h->colour_type == 0) {
    if (n != 2) return fail(why, "tRNS of wrong length");
    h->has_key = 1;
    h->key[0] = uint16_t(d[0] << 8 | d[1]);
  } else if (h->colour_type == 2) {
    if (n != 6) return fail(why, "tRNS of wrong length");
    h->has_key = 1;
    for (int i = 0; i < 3; ++i) h->key[i] = uint16_t(d[2 * i] << 8 | d[2 * i + 1]);
  } else {
    return fail(why, "tRNS not allowed with an alpha channel");
  }
  return 0;
}

// Walks the chunks: header, palette, transparency, joined image data.
int read_chunks(const uint8_t* data, int64_t size, png_header* h, std::vector<uint8_t>* idat,
                std::string* why) {
  if (size < 8 || std::memcmp(data, kSignature, 8) != 0) return fail(why, "not a PNG file");
  int64_t pos = 8;
  bool first = true, ended = false;
  while (!ended) {
    if (size - pos < 12) return fail(why, "truncated chunk");
    const uint32_t n = be32(data + pos);
    if (n > uint32_t(0x7FFFFFFF) || int64_t(n) > size - pos - 12)
      return fail(why, "chunk length beyond the end of the file");
    const uint8_t* type = data + pos + 4;
    const uint8_t* d = type + 4;
    if (crc32_update(kCrc32Init, type, size_t(n) + 4) != be32(d + n))
      return fail(why, "chunk CRC mismatch");
    const bool is_ihdr = std::memcmp(type, "IHDR", 4) == 0;
    if (first != is_ihdr) return fail(why, "IHDR is not the first chunk");
    int rc = 0;
    if (is_ihdr) {
      rc = read_ihdr(d, n, h, why);
    } else if (std::memcmp(type, "PLTE", 4) == 0) {
      if (n % 3 != 0 || n == 0 || n > 768) return fail(why, "palette of wrong length");
      h->palette.assign(d, d + n);
    } else if (std::memcmp(type, "tRNS", 4) == 0) {
      rc = read_trns(d, n, h, why);
    } else if (std::memcmp(type, "IDAT", 4) == 0) {
      if (int64_t(idat->size()) + n > kPngMaxFileBytes) return fail(why, "image data too long");
      idat->insert(idat->end(), d, d + n);
    } else if (std::memcmp(type, "IEND", 4) == 0) {
      ended = true;
    } else if (!(type[0] & 0x20)) {
      return fail(why, "unknown critical chunk");
    }
    if (rc) return rc;
    first = false;
    pos += int64_t(n) + 12;
  }
  if (h->colour_type == 3 && h->palette.empty()) return fail(why, "palette image without palette");
  if (idat->empty()) return fail(why, "no image data");
  return 0;
}

// Inflates the zlib stream of the image data into exactly `expected` bytes.
int inflate_image_data(const std::vector<uint8_t>& idat, int64_t expected,
                       std::vector<uint8_t>* raw, std::string* why) {
  const file_ops& ops = get_file_ops();
  obj_t* input = ops.new_in_memory ? ops.new_in_memory() : nullptr;
  obj_t* output = ops.new_in_memory ? ops.new_in_memory() : nullptr;
  filemobj_t* in_store = reinterpret_cast<filemobj_t*>(file_store_of(input));
  filemobj_t* out_store = reinterpret_cast<filemobj_t*>(file_store_of(output));
  int rc = 0;
  if (!in_store || !out_store ||
      filemobj_append(in_store, idat.data(), int64_t(idat.size())) != 0) {
    if (!get_gblerr()) set_gblerr(ERR_MEMORY);
    rc = get_gblerr();
    if (why) *why = "no memory for the image data";
  } else {
    file_set(input, FF_SIZE, int64_t(idat.size()));
    inflater_t inf;
    inf.input = input;
    inf.output = inf.output_file = output;
    inf.store = out_store;
    inf.limit = expected;
    inf.max_output = expected;  // more data than the header announces is a bad image
    rc = zlib_read_header(&inf);
    if (rc == 0) rc = inflate_blocks(&inf);
    rd_close_file(input);
    if (rc == 0 && inf.produced != expected)
      rc = fail(why, "image data of wrong size");
    else if (rc != 0 && why)
      *why = "damaged image data";
    if (rc == 0) {
      raw->resize(size_t(expected));
      int64_t done = 0;
      while (done < expected) {
        int64_t count = expected - done;
        const uint8_t* p = filemobj_read_ptr(out_store, done, &count);
        if (!p || count <= 0) break;
        std::memcpy(raw->data() + done, p, size_t(count));
        done += count;
      }
      if (done != expected) rc = fail(why, "image data cannot be read back");
    }
  }
  // Freeing is refused while an error is pending: release first, then restore the code.
  const int pending = get_gblerr();
  set_gblerr(0);
  if (ops.free_file) {
    ops.free_file(input);
    ops.free_file(output);
  }
  set_gblerr(pending);
  return rc;
}

uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

// Undoes the row filters in place; rows become `stride` bytes packed one after another.
int unfilter(std::vector<uint8_t>* raw, int32_t height, int64_t stride, int bpp,
             std::string* why) {
  uint8_t* data = raw->data();
  std::vector<uint8_t> zero(size_t(stride), 0);
  for (int32_t r = 0; r < height; ++r) {
    uint8_t* in = data + r * (stride + 1);
    const int filter = in[0];
    uint8_t* row = in + 1;
    const uint8_t* prior = r ? data + (r - 1) * stride : zero.data();
    if (filter > 4) return fail(why, "unknown row filter");
    for (int64_t i = 0; i < stride; ++i) {
      const int a = i >= bpp ? row[i - bpp] : 0;
      const int b = prior[i];
      const int c = i >= bpp ? prior[i - bpp] : 0;
      int v = row[i];
      switch (filter) {
        case 1: v += a; break;
        case 2: v += b; break;
        case 3: v += (a + b) / 2; break;
        case 4: v += paeth(a, b, c); break;
        default: break;
      }
      row[i] = uint8_t(v);
    }
    // Packs the row over its filter byte: row r now starts at r * stride.
    std::memmove(data + r * stride, row, size_t(stride));
  }
  raw->resize(size_t(height * stride));
  return 0;
}

// A value of 0..255 that no opaque sample uses, or -1.
int unused_grey(const std::vector<uint8_t>& rows, int channels) {
  bool used[256] = {};
  for (size_t i = 0; i + channels <= rows.size(); i += size_t(channels))
    if (channels == 1 || rows[i + 1] >= 128) used[rows[i]] = true;
  for (int v = 0; v < 256; ++v)
    if (!used[v]) return v;
  return -1;
}

void to_one_plane(const png_header& h, const std::vector<uint8_t>& rows, png_image* out) {
  const int64_t n = int64_t(h.width) * h.height;
  out->planes = 1;
  out->pixels.resize(size_t(n));
  for (int i = 0; i < 256; ++i) out->lut[0][i] = out->lut[1][i] = out->lut[2][i] = uint8_t(i);
  if (h.colour_type == 3) {
    const size_t count = h.palette.size() / 3;
    for (size_t i = 0; i < count; ++i)
      for (int c = 0; c < 3; ++c) out->lut[c][i] = h.palette[3 * i + c];
  }
  int key = -1;
  if (h.colour_type == 4) {
    key = unused_grey(rows, 2);
  } else if (h.colour_type == 3) {
    for (size_t i = 0; i < h.alpha.size() && key < 0; ++i)
      if (h.alpha[i] < 128) key = int(i);
  } else if (h.has_key && h.key[0] < 256) {
    key = h.key[0];
  }
  for (int64_t i = 0; i < n; ++i) {
    if (h.colour_type == 4) {
      const uint8_t v = rows[size_t(2 * i)];
      out->pixels[size_t(i)] = (key >= 0 && rows[size_t(2 * i + 1)] < 128) ? uint8_t(key) : v;
    } else {
      uint8_t v = rows[size_t(i)];
      // Every see-through palette entry draws as the one transparent index.
      if (h.colour_type == 3 && key >= 0 && v < h.alpha.size() && h.alpha[v] < 128) v = uint8_t(key);
      out->pixels[size_t(i)] = v;
    }
  }
  if (key >= 0) {
    out->has_transparent = 1;
    out->transparent[0] = uint8_t(key);
  }
}

// A colour that no opaque pixel of an RGBA image uses, from a short list of candidates.
bool unused_colour(const std::vector<uint8_t>& rows, uint8_t out[3]) {
  static const uint8_t kCandidates[][3] = {
      {255, 0, 255}, {0, 255, 255}, {1, 254, 1}, {254, 1, 253}, {3, 5, 7}, {250, 251, 252}};
  for (const auto& c : kCandidates) {
    bool used = false;
    for (size_t i = 0; i + 4 <= rows.size() && !used; i += 4)
      used = rows[i + 3] >= 128 && rows[i] == c[0] && rows[i + 1] == c[1] && rows[i + 2] == c[2];
    if (!used) {
      std::memcpy(out, c, 3);
      return true;
    }
  }
  return false;
}

void to_three_planes(const png_header& h, const std::vector<uint8_t>& rows, png_image* out) {
  const int ch = h.channels;
  out->planes = 3;
  out->pixels.resize(size_t(int64_t(h.width) * h.height * 3));
  uint8_t key[3] = {};
  const bool alpha = ch == 4 && unused_colour(rows, key);
  for (int32_t r = 0; r < h.height; ++r) {
    for (int32_t x = 0; x < h.width; ++x) {
      const uint8_t* s = rows.data() + (int64_t(r) * h.width + x) * ch;
      const bool clear = alpha && s[3] < 128;
      for (int c = 0; c < 3; ++c)
        out->pixels[size_t((int64_t(r) * 3 + c) * h.width + x)] = clear ? key[c] : s[c];
    }
  }
  if (alpha) {
    out->has_transparent = 1;
    std::memcpy(out->transparent, key, 3);
  } else if (h.has_key && h.key[0] < 256 && h.key[1] < 256 && h.key[2] < 256) {
    out->has_transparent = 1;
    for (int c = 0; c < 3; ++c) out->transparent[c] = uint8_t(h.key[c]);
  }
}

}  // namespace

int png_decode(const uint8_t* data, int64_t size, png_image* out, std::string* why) {
  *out = png_image{};
  if (!data || size < 0 || size > kPngMaxFileBytes) return fail(why, "file too large or empty");
  png_header h;
  std::vector<uint8_t> idat;
  if (int rc = read_chunks(data, size, &h, &idat, why)) return rc;
  const int64_t stride = int64_t(h.width) * h.channels;
  const int64_t expected = (stride + 1) * h.height;
  if (expected > kPngMaxRawBytes) return fail(why, "image too large");
  std::vector<uint8_t> rows;
  if (int rc = inflate_image_data(idat, expected, &rows, why)) return rc;
  if (int rc = unfilter(&rows, h.height, stride, h.channels, why)) return rc;
  png_image img;
  img.width = h.width;
  img.height = h.height;
  if (h.colour_type == 0 || h.colour_type == 3 || h.colour_type == 4)
    to_one_plane(h, rows, &img);
  else
    to_three_planes(h, rows, &img);
  *out = std::move(img);
  return 0;
}

int png_read_file(const char* path, png_image* out, std::string* why) {
  *out = png_image{};
  std::FILE* f = open_file_resolved(path, "rb");
  if (!f) {
    if (why) *why = "cannot open the file";
    set_gblerr(ERR_FILE_ACCESS);
    return ERR_FILE_ACCESS;
  }
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  bool too_big = false;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
    if (int64_t(bytes.size() + n) > kPngMaxFileBytes) {
      too_big = true;
      break;
    }
    bytes.insert(bytes.end(), buf, buf + n);
  }
  std::fclose(f);
  if (too_big) return fail(why, "file too large");
  return png_decode(bytes.data(), int64_t(bytes.size()), out, why);
}
