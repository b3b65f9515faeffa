// The JPEG reader's per-call state and the routines its files share (jpeg_read.h).
//
// jpeg_read.cpp runs the marker automaton, jpeg_segments.cpp parses the segments,
// jpeg_entropy.cpp reads the entropy-coded bits and the Huffman codes, jpeg_scan.cpp
// decodes sequential and progressive scans, jpeg_output.cpp dequantises, transforms and
// writes the samples. One jpeg_state lives on the stack of each jpeg_read call.
#pragma once
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

struct bitmap_t;

constexpr int kJpegMaxComponents = 4;
constexpr int kJpegMaxFactor = 4;      // largest H and V
constexpr int kJpegMaxBlocksInMcu = 10;
constexpr int kJpegFastBits = 11;      // Huffman look-ahead

// Frame modes (the SOF marker's coding process).
constexpr int kJpegBaseline = 0;
constexpr int kJpegExtended = 1;
constexpr int kJpegProgressive = 2;

extern const uint8_t kJpegZigzag[64];  // zig-zag index -> natural position (row * 8 + col)

// A Huffman table with an 11-bit look-ahead: codes of up to 11 bits are found in one step,
// longer ones by their canonical first code per length.
struct jpeg_huffman {
  jpeg_huffman() {
    for (int32_t& m : maxcode) m = -1;  // no code of any length until the table is built
  }
  bool defined = false;
  // (length << 8 | symbol) of the code the next 11 bits begin with, 0 when it is longer
  // or absent.
  uint16_t fast[1 << kJpegFastBits] = {};
  // For AC tables: when that code and the value bits after it fit the 11 bits, the whole
  // coefficient: value << 16 | run << 8 | bits used; else 0.
  int32_t fast_ac[1 << kJpegFastBits] = {};
  int32_t maxcode[18];         // largest code of each length, -1 when none
  int32_t valoffset[17] = {};  // symbol index of the first code of each length, minus that code
  uint8_t symbols[256] = {};
};

// The entropy-coded bit stream of one scan decoder run: whole bytes are loaded into a
// 64-bit accumulator (stuffed zeros dropped) until a marker or the end of the file, so
// that the run can give back the bytes it did not use and leave the reader at the byte
// after its last one (the marker, normally).
struct jpeg_bits {
  uint64_t acc = 0;         // next bit in bit 63
  int count = 0;            // bits of data in acc
  bool stopped = false;     // a marker or the end of the file was met while loading
  bool overrun = false;     // bits were asked for beyond that marker
  uint64_t loaded = 0;      // bytes loaded in this run
  int64_t start = 0;        // reader position when the run began
  int64_t ends[16] = {};    // file position after each of the last 16 bytes loaded
  // The window of file bytes read ahead (jpeg_state::window): bytes [next, have) of it
  // are not loaded yet; window[0] is at file position `window_at`.
  int next = 0, have = 0;
  int64_t window_at = 0;
  bool file_end = false;    // the reader has no byte after the window's last
};

constexpr int kJpegWindow = 1024;

// The kept coefficients of one component: a zero-filled block of its own, taken in large
// pages (a frame of 8000 x 8000 pixels keeps about 190 MB of them).
class jpeg_coefficients {
 public:
  jpeg_coefficients() = default;
  jpeg_coefficients(const jpeg_coefficients&) = delete;
  jpeg_coefficients& operator=(const jpeg_coefficients&) = delete;
  jpeg_coefficients(jpeg_coefficients&& o) noexcept { swap(o); }
  jpeg_coefficients& operator=(jpeg_coefficients&& o) noexcept {
    if (this != &o) {
      clear();
      swap(o);
    }
    return *this;
  }
  ~jpeg_coefficients() { clear(); }
  // `count` zero coefficients in place of the ones held; false when no memory is left.
  bool assign_zeros(size_t count);
  void clear();
  bool empty() const { return count_ == 0; }
  int16_t* data() { return data_; }
  const int16_t* data() const { return data_; }

 private:
  void swap(jpeg_coefficients& o) noexcept {
    std::swap(data_, o.data_);
    std::swap(count_, o.count_);
  }
  int16_t* data_ = nullptr;
  size_t count_ = 0;
};

struct jpeg_component {
  int id = 0, h = 1, v = 1, tq = 0;
  int blocks_across = 0, blocks_down = 0;  // whole MCUs' worth of the component's blocks
  int used_across = 0, used_down = 0;      // blocks holding samples of the image (T.81 A.2)
  jpeg_coefficients coefficients;          // progressive or multi-scan frames, zig-zag order
};

struct jpeg_frame {
  bool present = false;
  int mode = 0, precision = 8, height = 0, width = 0, count = 0;
  jpeg_component comp[kJpegMaxComponents];
  int hmax = 1, vmax = 1, mcus_across = 0, mcus_down = 0;
  bool buffered = false;       // coefficients kept, samples written at the end
  bool fast = false;           // samples take the fast path (jpeg_frame_takes_fast_path)
  std::vector<uint8_t> rows_reached;  // per MCU row: 1 once a scan decoded data there
};

struct jpeg_scan {
  bool present = false;
  int count = 0;
  int comp[kJpegMaxComponents] = {};  // frame component index of each scan component
  int td[kJpegMaxComponents] = {}, ta[kJpegMaxComponents] = {};
  int ss = 0, se = 63, ah = 0, al = 0;
};

// The fast path's samples of one row of MCUs (of blocks, in a one-component frame's scan),
// each component at its own resolution: a row is converted and written an image line at
// a time, one line-store look-up a line, once its units are decoded.
struct jpeg_rows {
  std::vector<uint8_t> plane[3];
  int stride[3] = {};      // bytes a plane line: the component's blocks across, x 8
  int lines[3] = {};       // plane lines: the component's blocks in an MCU down, x 8
  int top = -1;            // image line of the row held, -1 when none
  int height = 0;          // its lines
  int from = 0, upto = 0;  // pixel columns decoded and not written yet
  float quant[4][64] = {};  // the quantisation tables in natural order, as floats
  std::vector<int16_t> terms;  // per-pixel colour terms of a chroma line (jpeg_flush_row)
};

struct jpeg_state {
  bitmap_t* image = nullptr;
  int error = 0;
  bool done = false;
  uint16_t quant[4][64] = {};       // zig-zag order, as in the file
  jpeg_huffman huff[8];             // slot = class + 2 x identifier
  jpeg_frame frame;
  int frame_count = 0;
  jpeg_scan scan;
  uint32_t restart_interval = 0;    // MCUs per interval, 0 for none
  int64_t restart_count = 0;        // RST markers met in the current scan
  bool colour_conversion = true;    // off for SPIFF files
  bool jfif = false;
  int adobe_transform = -1;         // APP14 "Adobe" transform, -1 without the segment
  int32_t predictor[kJpegMaxComponents] = {};
  uint32_t eob_run = 0;
  jpeg_bits bits;
  uint8_t window[kJpegWindow];      // the bit stream's read-ahead bytes (jpeg_bits)
  float mcu[kJpegMaxComponents][64 * kJpegMaxFactor * kJpegMaxFactor] = {};
  // The fast path's MCU planes (8-bit files in grey, YCbCr or RGB with power-of-two
  // sampling): each component at its own resolution, line stride 8 x hmax.
  uint8_t planes8[kJpegMaxComponents][64 * kJpegMaxFactor * kJpegMaxFactor] = {};
  uint8_t samples[3][64 * kJpegMaxFactor * kJpegMaxFactor] = {};  // an MCU's output planes
  jpeg_rows rows;
};

// ---- Segments (jpeg_segments.cpp); each sets st->error on failure -----------------------
void jpeg_reset(jpeg_state* st);
void jpeg_app0(jpeg_state* st);
void jpeg_app1(jpeg_state* st);
void jpeg_app8(jpeg_state* st);
void jpeg_other_app(jpeg_state* st, int marker);
void jpeg_dqt(jpeg_state* st);
void jpeg_dht(jpeg_state* st);
void jpeg_dri(jpeg_state* st);
void jpeg_sof(jpeg_state* st, int mode);
void jpeg_refused_sof(jpeg_state* st, int mode);
void jpeg_sos(jpeg_state* st);
void jpeg_skip_segment(jpeg_state* st);
int jpeg_set_error(jpeg_state* st, int code);

// ---- Entropy-coded data (jpeg_entropy.cpp) ----------------------------------------------
// Builds the table from 16 counts and their symbols; false when the counts ask for more
// codes than their lengths allow.
bool jpeg_build_huffman(jpeg_huffman* t, const uint8_t counts[16], const uint8_t* symbols);
// The Annex K tables (DC and AC, luminance and chrominance) in slots 0 to 3.
void jpeg_default_huffman(jpeg_state* st);
void jpeg_bits_begin(jpeg_state* st);
// Gives back the bytes loaded but not used: the reader stands after the last byte used.
void jpeg_bits_end(jpeg_state* st);
// True once every bit before a marker (or the end of the file) has been used.
bool jpeg_at_marker(jpeg_state* st);
// Loads whole bytes into the accumulator while it has room for one more.
void jpeg_bits_load(jpeg_state* st);
// jpeg_decode_symbol for codes longer than the look-ahead, and for no code at all.
int jpeg_decode_long_symbol(jpeg_state* st, int slot, int kind, int missing_error);

// Loads the accumulator as jpeg_bits_load does; when the window holds 8 bytes ahead and
// none of them is 0xFF (no stuffed zero, no marker), they are taken in one step.
inline void jpeg_bits_fill(jpeg_state* st) {
  jpeg_bits& b = st->bits;
  if (b.count <= 56 && !b.stopped && b.next + 8 <= b.have) {
    uint64_t x;
    std::memcpy(&x, st->window + b.next, 8);
    x = __builtin_bswap64(x);  // the first byte on top
    const uint64_t v = ~x;     // a 0xFF byte of x is a zero byte of v
    if (((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) == 0) {
      const int n = (64 - b.count) >> 3;  // whole bytes that fit
      const int low = 64 - b.count - 8 * n;
      b.acc |= (x >> b.count) & ~((uint64_t(1) << low) - 1);
      b.count += 8 * n;
      const int64_t at = b.window_at + b.next;
      for (int i = 0; i < n; ++i) b.ends[(b.loaded + uint64_t(i)) % 16] = at + i + 1;
      b.loaded += uint64_t(n);
      b.next += n;
      return;
    }
  }
  jpeg_bits_load(st);
}

// The bit readers below run once per coefficient, so they are inline here.
inline void jpeg_consume(jpeg_bits& b, int n) {
  if (n > b.count) b.overrun = true;
  b.acc = n >= 64 ? 0 : b.acc << n;
  b.count = n >= b.count ? 0 : b.count - n;
}

inline uint32_t jpeg_get_bits(jpeg_state* st, int n) {
  if (n <= 0) return 0;
  jpeg_bits& b = st->bits;
  if (b.count < n) jpeg_bits_fill(st);
  const uint32_t v = uint32_t(b.acc >> (64 - n));
  jpeg_consume(b, n);
  return v;
}

inline int jpeg_get_bit(jpeg_state* st) { return int(jpeg_get_bits(st, 1)); }

// One symbol of the slot's table; -1 (trace-log line, error set) when no code matches.
// `kind` names the table in the message: 0 DC, 1 AC, 2 AC refinement; `missing_error`
// is the error code set then.
inline int jpeg_decode_symbol(jpeg_state* st, int slot, int kind, int missing_error) {
  jpeg_bits& b = st->bits;
  if (b.count < 16) jpeg_bits_fill(st);
  if (const uint16_t f = st->huff[slot & 7].fast[b.acc >> (64 - kJpegFastBits)]) {
    jpeg_consume(b, f >> 8);
    return f & 0xFF;
  }
  return jpeg_decode_long_symbol(st, slot, kind, missing_error);
}

// The received value of s bits, extended to its sign (T.81 F.2.2.1).
inline int32_t jpeg_receive_extend(jpeg_state* st, int s) {
  if (s <= 0) return 0;
  const int32_t v = int32_t(jpeg_get_bits(st, s));
  return v < (int32_t(1) << (s - 1)) ? v - (int32_t(1) << s) + 1 : v;
}

// ---- Scans (jpeg_scan.cpp) ----------------------------------------------------------------
void jpeg_decode_scan(jpeg_state* st);
// Sets up the frame's MCU geometry; 0, or the error code set.
int jpeg_frame_geometry(jpeg_state* st);
// Allocates the frame's coefficient buffer after checking its size; 0 or the error code.
int jpeg_alloc_coefficients(jpeg_state* st);

// ---- Samples (jpeg_output.cpp) ------------------------------------------------------------
// Dequantises and transforms one block of the frame component `c` into the MCU plane at
// block column bx, block row by (in the component's own blocks), replicating each sample
// over the component's share of the MCU. Coefficients after zig-zag index `last` are 0.
void jpeg_block_to_mcu(jpeg_state* st, int c, const int32_t* coef, int bx, int by, int last = 63);
// Writes the MCU planes of the frame's components at pixel (x0, y0), `w` x `h` pixels of
// it, converting the colours.
void jpeg_write_mcu(jpeg_state* st, int x0, int y0, int w, int h);
// Writes every MCU of a frame whose coefficients were kept (progressive or multi-scan).
void jpeg_output_buffered(jpeg_state* st);
// The 8 x 8 inverse DCT of dequantised coefficients (natural order) plus the level shift.
void jpeg_idct(const float in[64], float out[64], float level_shift);
// The fast path's 8 x 8 inverse DCT of an 8-bit frame's block: coefficients in zig-zag
// order and their quantisation values, samples rounded (half up) and held to 0..255 into
// `out` (lines `stride` apart). Coefficients after zig-zag index `last` are taken as 0.
void jpeg_idct_block(const int32_t coef[64], const uint16_t q[64], uint8_t* out, int stride,
                     int last = 63);
// Fast path: makes the row buffer of the frame (jpeg_rows); 0, or the error code set.
int jpeg_rows_ready(jpeg_state* st);
// Fast path: takes the quantisation tables of the scan about to be decoded (natural order).
void jpeg_rows_quant(jpeg_state* st);
// Fast path: dequantises and transforms one block of component `c` (coefficients in natural
// order) into the row buffer at the component's block column bx and block row by within
// the row.
void jpeg_block_to_row(jpeg_state* st, int c, const int32_t* coef, int bx, int by);
// Fast path: the unit covering image lines top..top+height-1, pixel columns x0..x1-1, is
// in the row buffer. The row is written once its last unit is in, or when a unit of
// another row, or not next to the ones held, comes in.
void jpeg_row_unit(jpeg_state* st, int top, int height, int x0, int x1);
// Fast path: writes what the row buffer holds that is not written yet.
void jpeg_flush_row(jpeg_state* st);
// jpeg_idct_block's transform of a block in natural order, with its quantisation values
// as floats in natural order: the same samples.
void jpeg_idct_natural(const int32_t coef[64], const float q[64], uint8_t* out, int stride);
// The frame's `fast`, set by jpeg_frame_geometry.
bool jpeg_fast_output(const jpeg_state* st);
// True when the frame's samples take the fast path (8-bit precision; grey, or three
// components converted from YCbCr or kept as RGB, each sampled at a power-of-two share).
bool jpeg_frame_takes_fast_path(const jpeg_frame& f);
