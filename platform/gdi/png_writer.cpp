// Pictures of surfaces as PNG files: 8-bit RGB, no filtering, the image data stored in
// uncompressed Deflate blocks inside the zlib stream. Each stored block goes out as an
// IDAT chunk of its own as soon as it is full, so a picture of any size needs only one
// block of memory. The checksums (CRC-32 of chunks, Adler-32 of the zlib stream) are
// computed here, the platform layer having no other source of them.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/gdi/surface.h"

namespace plat {

namespace {

constexpr size_t kBlock = 65535;  // the largest stored Deflate block

std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> t{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[n] = c;
  }
  return t;
}

uint32_t crc_update(uint32_t crc, const uint8_t* p, size_t n) {
  static const std::array<uint32_t, 256> table = make_crc_table();
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

void put_be32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

class PngOut {
 public:
  explicit PngOut(FILE* f) : f_(f) { block_.reserve(kBlock); }

  void chunk(const char* type, const uint8_t* data, size_t n) {
    uint8_t head[8];
    put_be32(head, uint32_t(n));
    memcpy(head + 4, type, 4);
    uint32_t crc = crc_update(0xFFFFFFFFu, head + 4, 4);
    crc = crc_update(crc, data, n) ^ 0xFFFFFFFFu;
    uint8_t tail[4];
    put_be32(tail, crc);
    write(head, 8);
    write(data, n);
    write(tail, 4);
  }

  // Bytes of the uncompressed image data, in order.
  void data(const uint8_t* p, size_t n) {
    while (n) {
      if (block_.size() == kBlock) flush_block(false);
      size_t take = std::min(n, kBlock - block_.size());
      adler_update(p, take);
      block_.insert(block_.end(), p, p + take);
      p += take;
      n -= take;
    }
  }

  void finish() {
    flush_block(true);
    uint8_t adler[4];
    put_be32(adler, (b_ << 16) | a_);
    chunk("IDAT", adler, 4);
    chunk("IEND", nullptr, 0);
  }

  bool ok() const { return ok_; }

 private:
  void write(const uint8_t* p, size_t n) {
    if (n && fwrite(p, 1, n, f_) != n) ok_ = false;
  }
  // The sums are reduced once per 5552 bytes, the most that cannot overflow 32 bits.
  void adler_update(const uint8_t* p, size_t n) {
    while (n) {
      size_t k = std::min<size_t>(n, 5552);
      n -= k;
      for (; k; --k) {
        a_ += *p++;
        b_ += a_;
      }
      a_ %= 65521u;
      b_ %= 65521u;
    }
  }
  // One stored block (with the zlib header before the first) as one IDAT chunk.
  void flush_block(bool last) {
    std::vector<uint8_t> out;
    out.reserve(block_.size() + 7);
    if (first_) {
      out.push_back(0x78);  // Deflate, 32K window
      out.push_back(0x01);  // no preset dictionary, fastest; (0x7801 % 31 == 0)
      first_ = false;
    }
    uint16_t len = uint16_t(block_.size()), nlen = uint16_t(~len);
    out.push_back(last ? 1 : 0);
    out.push_back(uint8_t(len));
    out.push_back(uint8_t(len >> 8));
    out.push_back(uint8_t(nlen));
    out.push_back(uint8_t(nlen >> 8));
    out.insert(out.end(), block_.begin(), block_.end());
    chunk("IDAT", out.data(), out.size());
    block_.clear();
  }

  FILE* f_;
  std::vector<uint8_t> block_;
  uint32_t a_ = 1, b_ = 0;
  bool first_ = true;
  bool ok_ = true;
};

}  // namespace

int write_png_rect(const Surface& s, const Rect& r, const char* path) {
  Rect c = intersect_rect(r, s.rect());
  if (!path || c.empty()) return -1;
  FILE* f = fopen(path, "wb");
  if (!f) return -1;
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  fwrite(kSignature, 1, 8, f);
  PngOut png(f);
  uint8_t ihdr[13];
  put_be32(ihdr, uint32_t(c.width()));
  put_be32(ihdr + 4, uint32_t(c.height()));
  ihdr[8] = 8;   // bits per sample
  ihdr[9] = 2;   // RGB
  ihdr[10] = 0;  // Deflate
  ihdr[11] = 0;  // adaptive filtering (every row uses filter 0)
  ihdr[12] = 0;  // not interlaced
  png.chunk("IHDR", ihdr, 13);
  std::vector<uint8_t> line(size_t(c.width()) * 3 + 1);
  for (int y = c.top; y < c.bottom; ++y) {
    const uint32_t* src = s.row(y) + c.left;
    line[0] = 0;
    for (int x = 0; x < c.width(); ++x) {
      line[size_t(x) * 3 + 1] = uint8_t(src[x] >> 16);
      line[size_t(x) * 3 + 2] = uint8_t(src[x] >> 8);
      line[size_t(x) * 3 + 3] = uint8_t(src[x]);
    }
    png.data(line.data(), line.size());
  }
  png.finish();
  bool ok = png.ok() && fflush(f) == 0;
  ok = fclose(f) == 0 && ok;
  if (!ok) remove(path);
  return ok ? 0 : -1;
}

int write_png(const Surface& s, const char* path) { return write_png_rect(s, s.rect(), path); }

}  // namespace plat
