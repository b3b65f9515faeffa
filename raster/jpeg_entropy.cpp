// The JPEG reader's entropy-coded bits and Huffman codes (jpeg_state.h).
//
// A scan decoder run reads its bits through a 64-bit accumulator loaded with whole bytes
// from a window of bytes read ahead from the buffered reader: a 0xFF followed by 0x00 is one data byte 0xFF, a 0xFF
// followed by anything else is a marker (possibly after fill bytes 0xFF) and stops the
// loading there. Bits asked for beyond the data read as zeros. When the run ends, the
// reader is moved back to the byte after the last one the run used, so the marker
// automaton goes on exactly where the coded data stopped.
//
// Huffman codes are found with a 11-bit look-ahead table; longer codes by comparing with
// the largest code of each length, which gives the same symbol as walking the code tree
// bit by bit.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/error.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "raster/jpeg_state.h"

namespace {

// Moves the bytes not loaded yet to the window's start and reads more after them.
void refill(jpeg_state* st) {
  jpeg_bits& b = st->bits;
  const int keep = b.have - b.next;
  if (keep > 0 && b.next > 0) std::memmove(st->window, st->window + b.next, size_t(keep));
  b.window_at += b.next;
  b.next = 0;
  b.have = keep;
  const int64_t want = std::min<int64_t>(kJpegWindow - keep, rd_bytes_left());
  const int64_t got = want > 0 ? rd_read_bytes(st->window + keep, want) : 0;
  if (got < want) set_gblerr(0);
  b.have += int(got > 0 ? got : 0);
  if (got <= 0 || rd_bytes_left() <= 0) b.file_end = true;
}

// Loads whole bytes while the accumulator has room for one more.
void load(jpeg_state* st) {
  jpeg_bits& b = st->bits;
  const uint8_t* w = st->window;
  while (b.count <= 56 && !b.stopped) {
    if (b.have - b.next < 2 && !b.file_end) {
      refill(st);
      w = st->window;
    }
    if (b.next >= b.have) {  // the end of the file
      b.stopped = true;
      break;
    }
    const int byte = w[b.next];
    if (byte == 0xFF) {
      // A stuffed zero makes it a data byte; a marker, fill bytes or the end stop here.
      if (b.next + 1 >= b.have || w[b.next + 1] != 0) {
        b.stopped = true;
        break;
      }
      b.next += 2;
    } else {
      b.next += 1;
    }
    b.acc |= uint64_t(byte) << (56 - b.count);
    b.count += 8;
    b.ends[b.loaded % 16] = b.window_at + b.next;
    ++b.loaded;
  }
}

void log_missing_code(int kind, uint32_t code, int64_t position) {
  static const char* const kFormats[3] = {"CODE HUFF DC NON TROUV %d pos %x",
                                          "CODE HUFF AC NON TROUV %d pos %x",
                                          "CODE HUFF ACH NON TROUV %d pos %x"};
  char text[96];
  std::snprintf(text, sizeof text, kFormats[kind < 0 || kind > 2 ? 0 : kind], int(code),
                unsigned(position));
  log_error_line(text);
}

// Annex K.3: the typical tables (counts per length, then the symbols).
const uint8_t kDcLumaCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kDcChromaCounts[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const uint8_t kDcSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const uint8_t kAcLumaCounts[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const uint8_t kAcLumaSymbols[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
const uint8_t kAcChromaCounts[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
const uint8_t kAcChromaSymbols[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

}  // namespace

bool jpeg_build_huffman(jpeg_huffman* t, const uint8_t counts[16], const uint8_t* symbols) {
  *t = jpeg_huffman{};
  int32_t code = 0;
  int k = 0;
  for (int len = 1; len <= 16; ++len) {
    t->valoffset[len] = k - code;
    for (int i = 0; i < counts[len - 1]; ++i, ++code, ++k) {
      if (k >= 256) return false;
      t->symbols[k] = symbols[k];
      if (len <= kJpegFastBits && code < (1 << len)) {
        const int shift = kJpegFastBits - len;
        for (int32_t f = code << shift; f < (code + 1) << shift; ++f)
          t->fast[f] = uint16_t(len << 8 | symbols[k]);
      }
    }
    t->maxcode[len] = counts[len - 1] ? code - 1 : -1;
    if (code > (1 << len)) return false;  // more codes than this length holds
    code <<= 1;
  }
  // Whole coefficients: the code's symbol gives the run and the size of the value bits.
  for (int f = 0; f < (1 << kJpegFastBits); ++f) {
    const int len = t->fast[f] >> 8, rs = t->fast[f] & 0xFF, size = rs & 15;
    if (len == 0 || size == 0 || len + size > kJpegFastBits) continue;
    const int32_t bits = (f >> (kJpegFastBits - len - size)) & ((1 << size) - 1);
    const int32_t value = bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits;
    t->fast_ac[f] = int32_t(uint32_t(value) << 16) | (rs >> 4) << 8 | (len + size);
  }
  t->defined = true;
  return true;
}

void jpeg_default_huffman(jpeg_state* st) {
  jpeg_build_huffman(&st->huff[0], kDcLumaCounts, kDcSymbols);
  jpeg_build_huffman(&st->huff[1], kAcLumaCounts, kAcLumaSymbols);
  jpeg_build_huffman(&st->huff[2], kDcChromaCounts, kDcSymbols);
  jpeg_build_huffman(&st->huff[3], kAcChromaCounts, kAcChromaSymbols);
}

void jpeg_bits_begin(jpeg_state* st) {
  st->bits = jpeg_bits{};
  st->bits.start = rd_tell();
  st->bits.window_at = st->bits.start;
}

void jpeg_bits_end(jpeg_state* st) {
  jpeg_bits& b = st->bits;
  const uint64_t unused = uint64_t(b.count / 8);
  const uint64_t used = b.loaded - unused;
  rd_seek(used ? b.ends[(used - 1) % 16] : b.start, 0);
  b = jpeg_bits{};
}

bool jpeg_at_marker(jpeg_state* st) {
  jpeg_bits& b = st->bits;
  if (b.count == 0) load(st);
  return b.stopped && b.count == 0;
}

void jpeg_bits_load(jpeg_state* st) { load(st); }

int jpeg_decode_long_symbol(jpeg_state* st, int slot, int kind, int missing_error) {
  jpeg_bits& b = st->bits;
  const jpeg_huffman& t = st->huff[slot & 7];
  for (int len = kJpegFastBits + 1; len <= 16; ++len) {
    const int32_t code = int32_t(b.acc >> (64 - len));
    if (code <= t.maxcode[len]) {
      jpeg_consume(b, len);
      return t.symbols[(t.valoffset[len] + code) & 0xFF];
    }
  }
  log_missing_code(kind, uint32_t(b.acc >> 48), b.window_at + b.next);
  jpeg_consume(b, 16);
  jpeg_set_error(st, missing_error);
  return -1;
}
