// The TIFF writer of the reader's tests (tiff_builder.h).
#include "tests/raster/tiff_builder.h"

#include <algorithm>

namespace tiff_test {

void put_u16(bytes* f, size_t at, uint16_t v, bool big_endian) {
  if (f->size() < at + 2) f->resize(at + 2);
  (*f)[at] = uint8_t(big_endian ? v >> 8 : v);
  (*f)[at + 1] = uint8_t(big_endian ? v : v >> 8);
}

void put_u32(bytes* f, size_t at, uint32_t v, bool big_endian) {
  if (f->size() < at + 4) f->resize(at + 4);
  for (int i = 0; i < 4; ++i)
    (*f)[at + size_t(i)] = uint8_t(v >> (big_endian ? 24 - 8 * i : 8 * i));
}

namespace {

int type_size(int type) {
  switch (type) {
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
      return 4;
    case 5:
    case 10:
    case 12:
      return 8;
    default:
      return 1;
  }
}

void put_value(bytes* f, size_t at, int type, uint32_t v, bool be) {
  switch (type_size(type)) {
    case 1:
      (*f)[at] = uint8_t(v);
      break;
    case 2:
      put_u16(f, at, uint16_t(v), be);
      break;
    default:
      put_u32(f, at, v, be);
      break;
  }
}

}  // namespace

uint32_t built::next_at(size_t i) const {
  const uint32_t at = directories[i];
  const uint16_t n =
      uint16_t(file[0] == 'M' ? file[at] << 8 | file[at + 1] : file[at] | file[at + 1] << 8);
  return at + 2 + 12u * n;
}

built build(bool be, const std::vector<directory>& dirs) {
  built out;
  bytes& f = out.file;
  f = {uint8_t(be ? 'M' : 'I'), uint8_t(be ? 'M' : 'I')};
  put_u16(&f, 2, 42, be);
  put_u32(&f, 4, 0, be);
  size_t link = 4;  // where the offset of the next directory goes
  for (const directory& d : dirs) {
    const uint32_t data_at = uint32_t(f.size());
    f.insert(f.end(), d.data.begin(), d.data.end());
    if (f.size() % 2) f.push_back(0);
    std::vector<entry> entries = d.entries;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const entry& a, const entry& b) { return a.tag < b.tag; });
    const uint32_t ifd = uint32_t(f.size());
    out.directories.push_back(ifd);
    put_u32(&f, link, ifd, be);
    put_u16(&f, ifd, uint16_t(entries.size()), be);
    size_t extra = ifd + 2 + 12 * entries.size() + 4;
    f.resize(extra, 0);
    for (size_t i = 0; i < entries.size(); ++i) {
      const entry& e = entries[i];
      const size_t at = ifd + 2 + 12 * i;
      const int size = type_size(e.type);
      const size_t per = (e.type == 5 || e.type == 10) ? 2 : 1;
      const uint32_t count = e.count >= 0 ? uint32_t(e.count) : uint32_t(e.values.size() / per);
      put_u16(&f, at, e.tag, be);
      put_u16(&f, at + 2, e.type, be);
      put_u32(&f, at + 4, count, be);
      const size_t bytes_needed = size_t(size) * e.values.size() / per;
      size_t to = at + 8;
      if (bytes_needed > 4) {
        to = f.size();
        put_u32(&f, at + 8, uint32_t(to), be);
        f.resize(to + bytes_needed + (bytes_needed % 2), 0);
      }
      const int value_size = per == 2 ? 4 : size;
      for (size_t k = 0; k < e.values.size(); ++k) {
        uint32_t v = e.values[k];
        if (v >= kDataOffset && v < kDataOffset + 8) v = data_at + (v - kDataOffset);
        if (value_size == 4 && per == 2)
          put_u32(&f, to + 4 * k, v, be);
        else
          put_value(&f, to + size_t(value_size) * k, e.type, v, be);
      }
    }
    link = ifd + 2 + 12 * entries.size();
  }
  return out;
}

bytes build_file(bool be, const std::vector<directory>& dirs) { return build(be, dirs).file; }

directory page(uint32_t width, uint32_t height, int bits, int samples, int photometric,
               int compression, const bytes& data, const std::vector<entry>& extra) {
  std::vector<entry> base = {
      {256, 4, {width}},
      {257, 4, {height}},
      {258, 3, std::vector<uint32_t>(size_t(samples), uint32_t(bits))},
      {259, 3, {uint32_t(compression)}},
      {262, 3, {uint32_t(photometric)}},
      {273, 4, {kDataOffset}},
      {277, 3, {uint32_t(samples)}},
      {278, 4, {height}},
      {279, 4, {uint32_t(data.size())}},
  };
  directory d;
  for (const entry& e : base) {
    const bool replaced =
        std::any_of(extra.begin(), extra.end(), [&](const entry& x) { return x.tag == e.tag; });
    if (!replaced) d.entries.push_back(e);
  }
  for (const entry& e : extra)
    if (e.type != 0) d.entries.push_back(e);  // type 0: only removes the base entry
  d.data = data;
  return d;
}

bytes lzw_literals(const bytes& data, int clear_every) {
  bytes out;
  uint64_t acc = 0;
  int nbits = 0;
  int width = 9, next = 258;
  auto emit = [&](int code) {
    acc = acc << width | uint64_t(code);
    nbits += width;
    while (nbits >= 8) {
      out.push_back(uint8_t(acc >> (nbits - 8)));
      nbits -= 8;
    }
  };
  emit(256);
  bool first = true;
  int since_clear = 0;
  for (uint8_t b : data) {
    if (clear_every > 0 && since_clear == clear_every) {
      emit(256);
      width = 9;
      next = 258;
      first = true;
      since_clear = 0;
    }
    emit(b);
    ++since_clear;
    // The decoder adds an entry for every code after the first since a clear.
    if (!first && next < 4096) {
      ++next;
      if (next >= (1 << width) - 1 && width < 12) ++width;
    }
    first = false;
  }
  emit(257);
  if (nbits > 0) out.push_back(uint8_t(acc << (8 - nbits)));
  return out;
}

bytes lzw_flood(int repeats) {
  bytes out;
  uint64_t acc = 0;
  int nbits = 0, width = 9, next = 258;
  auto emit = [&](int code) {
    acc = acc << width | uint64_t(code);
    nbits += width;
    while (nbits >= 8) {
      out.push_back(uint8_t(acc >> (nbits - 8)));
      nbits -= 8;
    }
  };
  auto added = [&]() {
    if (next < 4096) {
      ++next;
      if (next >= (1 << width) - 1 && width < 12) ++width;
    }
  };
  emit(256);
  emit(0x55);
  while (next < 4096) {
    emit(next);
    added();
  }
  for (int i = 0; i < repeats; ++i) emit(4095);
  emit(257);
  if (nbits > 0) out.push_back(uint8_t(acc << (8 - nbits)));
  return out;
}

}  // namespace tiff_test
