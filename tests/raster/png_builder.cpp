// PNG files built in the tests (png_builder.h).
#include "tests/raster/png_builder.h"

#include <cstring>

#include "platform/sys/checksum.h"
#include "platform/sys/deflate_writer.h"

namespace raster_test {

namespace {

void put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out->push_back(uint8_t(v >> s));
}

int channels(int type) {
  switch (type) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

}  // namespace

std::vector<uint8_t> png_builder::chunk(const char* type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  put32(&out, uint32_t(data.size()));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  put32(&out, plat::crc32_update(plat::kCrc32Init, out.data() + 4, data.size() + 4));
  return out;
}

std::vector<uint8_t> png_builder::zlib(const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  plat::DeflateWriter w([&out](const uint8_t* p, size_t n) {
    out.insert(out.end(), p, p + n);
    return true;
  });
  w.write(data.data(), data.size());
  w.finish();
  return out;
}

std::vector<uint8_t> png_builder::zero_raw() const {
  static const int kPass[7][4] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                                  {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};
  size_t total = 0;
  for (int i = 0; i < (interlace ? 7 : 1); ++i) {
    const int r0 = interlace ? kPass[i][0] : 0, c0 = interlace ? kPass[i][1] : 0;
    const int rs = interlace ? kPass[i][2] : 1, cs = interlace ? kPass[i][3] : 1;
    const size_t cols = width > uint32_t(c0) ? (width - c0 + cs - 1) / cs : 0;
    const size_t rows = height > uint32_t(r0) ? (height - r0 + rs - 1) / rs : 0;
    if (cols && rows) total += rows * (1 + (cols * channels(colour_type) * depth + 7) / 8);
  }
  return std::vector<uint8_t>(total, 0);
}

std::vector<uint8_t> png_builder::build() const {
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> h;
  put32(&h, width);
  put32(&h, height);
  h.insert(h.end(), {depth, colour_type, 0, 0, interlace});
  h.insert(h.end(), ihdr_extra.begin(), ihdr_extra.end());
  h.resize(h.size() - size_t(ihdr_cut));
  const auto ihdr = chunk("IHDR", h);
  out.insert(out.end(), ihdr.begin(), ihdr.end());
  for (const auto& c : chunks) out.insert(out.end(), c.begin(), c.end());
  if (with_idat) {
    const auto idat = chunk("IDAT", zlib(raw.empty() ? zero_raw() : raw));
    out.insert(out.end(), idat.begin(), idat.end());
  }
  if (with_iend) {
    const auto iend = chunk("IEND", {});
    out.insert(out.end(), iend.begin(), iend.end());
  }
  return out;
}

}  // namespace raster_test
