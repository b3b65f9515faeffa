// The JPEG reader's scan decoders: sequential and progressive Huffman scans (jpeg_state.h).
//
// A scan decoder run starts at SOS or at a restart marker and decodes one restart
// interval (or the whole scan): MCU restart count x interval onward. The restart count is
// 64-bit, so a scan of more than 65535 intervals keeps its place.
//
// A scan of one component walks that component's own blocks, ceil(component width / 8)
// by ceil(component height / 8) (T.81 A.2), one block an MCU, whatever its sampling
// factors; a scan of several components walks the frame's MCUs. A sequential scan that
// holds every component of the frame writes its MCUs as it goes; the scans of a
// progressive frame, and the scans of a sequential frame whose components come in
// separate scans, keep their coefficients, which are written out at the end of the
// image (jpeg_output_buffered).
//
// Every value of the coded data is checked before it indexes anything: the sizes of DC
// differences and AC values, the runs of zeros that must stay inside the band, the
// symbol size of refinement scans. A run stops at a marker; a block that needed bits
// beyond the marker is not written.
#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "map/bitmap_record.h"
#include "platform/sys/sysinfo.h"
#include "raster/jpeg_state.h"
#include "raster/raster_limits.h"

namespace {

// The walk of one scan: units are blocks of one component or MCUs of several.
struct scan_walk {
  bool single = false;
  int64_t across = 0, down = 0, total = 0;
  int64_t first = 0, count = 0;
};

// Zig-zag index -> itself.
constexpr uint8_t kSequence[64] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                   13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25,
                                   26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38,
                                   39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51,
                                   52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63};

int64_t ceil_div(int64_t a, int64_t b) { return (a + b - 1) / b; }

int max_dc_size(const jpeg_state* st) { return st->frame.precision == 12 ? 15 : 11; }
int max_ac_size(const jpeg_state* st) { return st->frame.precision == 12 ? 14 : 10; }

bool plan_walk(jpeg_state* st, scan_walk* w) {
  const jpeg_frame& f = st->frame;
  const jpeg_scan& s = st->scan;
  w->single = s.count == 1;
  if (w->single) {
    const jpeg_component& c = f.comp[s.comp[0]];
    w->across = c.used_across;
    w->down = c.used_down;
  } else {
    int blocks = 0;
    for (int i = 0; i < s.count; ++i) blocks += f.comp[s.comp[i]].h * f.comp[s.comp[i]].v;
    if (blocks > kJpegMaxBlocksInMcu) return jpeg_set_error(st, ERR_BAD_FILE), false;
    w->across = f.mcus_across;
    w->down = f.mcus_down;
  }
  w->total = w->across * w->down;
  if (st->restart_interval == 0) {
    w->first = 0;
    w->count = st->restart_count == 0 ? w->total : 0;
  } else {
    w->first = st->restart_count * int64_t(st->restart_interval);
    w->count = w->first >= w->total ? 0 : std::min<int64_t>(st->restart_interval, w->total - w->first);
  }
  return true;
}

// The block at column bx, row by of the component's block grid in the coefficient buffer.
int16_t* stored_block(jpeg_state* st, int c, int64_t bx, int64_t by) {
  jpeg_component& k = st->frame.comp[c];
  return k.coefficients.data() + (by * k.blocks_across + bx) * 64;
}

// Only the MCU rows some scan decoded data for are written out at the end.
void note_row(jpeg_state* st, int64_t mcu_row) {
  std::vector<uint8_t>& rows = st->frame.rows_reached;
  if (mcu_row >= 0 && mcu_row < int64_t(rows.size())) rows[size_t(mcu_row)] = 1;
}

// ---- Sequential ---------------------------------------------------------------------------

// One block of a sequential scan into coef (zig-zag order); false when the data is bad.
// *last is the zig-zag index of the last coefficient decoded.
// `order` maps zig-zag index to the place the coefficient is stored at.
bool decode_sequential_block(jpeg_state* st, int s, int32_t coef[64], int* last,
                             const uint8_t* order) {
  *last = 0;
  std::memset(coef, 0, 64 * sizeof(int32_t));
  const int c = st->scan.comp[s];
  const int dc = jpeg_decode_symbol(st, 2 * st->scan.td[s], 0, ERR_LOADING);
  if (dc < 0) return false;
  if (dc > max_dc_size(st)) return jpeg_set_error(st, ERR_BAD_FILE), false;
  st->predictor[c] += jpeg_receive_extend(st, dc);
  coef[0] = st->predictor[c];
  const int ac_slot = 1 + 2 * st->scan.ta[s];
  const int32_t* whole = st->huff[ac_slot & 7].fast_ac;
  jpeg_bits& b = st->bits;
  // The accumulator and its count stay in locals while the whole-coefficient look-ups
  // run; they are handed back before anything else reads the bits.
  uint64_t acc = b.acc;
  int count = b.count;
  for (int k = 1; k < 64;) {
    // Most coefficients: the code and the value bits in one look-up.
    if (count < 16) {
      b.acc = acc;
      b.count = count;
      jpeg_bits_fill(st);
      acc = b.acc;
      count = b.count;
    }
    if (const int32_t e = whole[acc >> (64 - kJpegFastBits)]) {
      const int n = e & 0xFF;  // at most kJpegFastBits
      if (n > count) b.overrun = true;
      acc <<= n;
      count = n >= count ? 0 : count - n;
      k += (e >> 8) & 0xFF;
      if (k > 63) {
        b.acc = acc;
        b.count = count;
        return jpeg_set_error(st, ERR_BAD_FILE), false;
      }
      *last = k;
      coef[order[k++]] = e >> 16;
      continue;
    }
    b.acc = acc;
    b.count = count;
    const int rs = jpeg_decode_symbol(st, ac_slot, 1, ERR_LOADING);
    acc = b.acc;
    count = b.count;
    if (rs < 0) return false;
    if (rs == 0) break;
    const int size = rs & 15;
    k += rs >> 4;
    if (size > max_ac_size(st) || k > 63) return jpeg_set_error(st, ERR_BAD_FILE), false;
    *last = k;
    coef[order[k++]] = jpeg_receive_extend(st, size);
    acc = b.acc;
    count = b.count;
  }
  b.acc = acc;
  b.count = count;
  return !st->bits.overrun;
}

void keep_block(jpeg_state* st, int c, int64_t bx, int64_t by, const int32_t coef[64]) {
  int16_t* dst = stored_block(st, c, bx, by);
  for (int k = 0; k < 64; ++k) dst[k] = int16_t(coef[k]);
}

void write_unit(jpeg_state* st, int64_t px, int64_t py, int64_t w, int64_t h) {
  const jpeg_frame& f = st->frame;
  jpeg_write_mcu(st, int(px), int(py), int(std::min<int64_t>(w, f.width - px)),
                 int(std::min<int64_t>(h, f.height - py)));
}

// Decodes unit m of a sequential scan; false when the run must stop.
bool sequential_unit(jpeg_state* st, const scan_walk& w, int64_t m, bool direct) {
  const jpeg_frame& f = st->frame;
  const jpeg_scan& s = st->scan;
  const int64_t ux = m % w.across, uy = m / w.across;
  int32_t coef[64];
  int last = 63;
  // The fast path transforms coefficients in natural order; kept ones stay in zig-zag.
  const uint8_t* order = direct && f.fast ? kJpegZigzag : kSequence;
  if (w.single) {
    const int c = s.comp[0];
    if (jpeg_at_marker(st) || !decode_sequential_block(st, 0, coef, &last, order)) return false;
    if (direct && f.fast) {
      jpeg_block_to_row(st, c, coef, int(ux), 0);
      jpeg_row_unit(st, int(uy * 8), 8, int(ux * 8), int(ux * 8 + 8));
    } else if (direct) {  // a one-component frame: the block is its own 8 x 8 piece of the image
      jpeg_block_to_mcu(st, c, coef, 0, 0, last);
      write_unit(st, ux * 8, uy * 8, 8, 8);
    } else {
      keep_block(st, c, ux, uy, coef);
      note_row(st, uy / f.comp[c].v);
    }
    return true;
  }
  for (int i = 0; i < s.count; ++i) {
    const int c = s.comp[i];
    const jpeg_component& k = f.comp[c];
    for (int by = 0; by < k.v; ++by)
      for (int bx = 0; bx < k.h; ++bx) {
        if (jpeg_at_marker(st) || !decode_sequential_block(st, i, coef, &last, order)) return false;
        if (direct && f.fast)
          jpeg_block_to_row(st, c, coef, int(ux * k.h + bx), by);
        else if (direct)
          jpeg_block_to_mcu(st, c, coef, bx, by, last);
        else
          keep_block(st, c, ux * k.h + bx, uy * k.v + by, coef);
      }
  }
  if (direct && f.fast)
    jpeg_row_unit(st, int(uy * 8 * f.vmax), 8 * f.vmax, int(ux * 8 * f.hmax),
                  int((ux + 1) * 8 * f.hmax));
  else if (direct)
    write_unit(st, ux * 8 * f.hmax, uy * 8 * f.vmax, 8 * f.hmax, 8 * f.vmax);
  else
    note_row(st, uy);
  return true;
}

void sequential_scan(jpeg_state* st) {
  scan_walk w;
  if (!plan_walk(st, &w)) return;
  const bool direct = st->scan.count == st->frame.count;
  if (!direct && !st->frame.buffered) {
    if (jpeg_alloc_coefficients(st)) return;
    st->frame.buffered = true;
  }
  if (direct && st->frame.fast) {
    if (st->rows.plane[0].empty() && jpeg_rows_ready(st)) return;
    jpeg_rows_quant(st);
  }
  for (int64_t i = 0; i < w.count && !st->error; ++i)
    if (!sequential_unit(st, w, w.first + i, direct)) break;
  if (direct && st->frame.fast) jpeg_flush_row(st);
}

// ---- Progressive --------------------------------------------------------------------------

bool dc_first(jpeg_state* st, int s, int16_t* block) {
  const int c = st->scan.comp[s];
  const int size = jpeg_decode_symbol(st, 2 * st->scan.td[s], 0, ERR_LOADING);
  if (size < 0) return false;
  if (size > max_dc_size(st)) return jpeg_set_error(st, ERR_BAD_FILE), false;
  st->predictor[c] += jpeg_receive_extend(st, size);
  block[0] = int16_t(st->predictor[c] * (int32_t(1) << st->scan.al));
  return true;
}

bool dc_refine(jpeg_state* st, int16_t* block) {
  if (jpeg_get_bit(st)) block[0] = int16_t(block[0] | (1 << st->scan.al));
  return true;
}

bool ac_first(jpeg_state* st, int16_t* block) {
  const jpeg_scan& s = st->scan;
  if (st->eob_run > 0) {
    --st->eob_run;
    return true;
  }
  const int slot = 1 + 2 * s.ta[0];
  for (int k = s.ss; k <= s.se;) {
    const int rs = jpeg_decode_symbol(st, slot, 1, ERR_BAD_FILE);
    if (rs < 0) return false;
    const int r = rs >> 4, size = rs & 15;
    if (size) {
      k += r;
      if (size > max_ac_size(st) || k > s.se) return jpeg_set_error(st, ERR_BAD_FILE), false;
      block[k++] = int16_t(jpeg_receive_extend(st, size) * (int32_t(1) << s.al));
    } else if (r == 15) {
      k += 16;
      if (k > s.se + 1) return jpeg_set_error(st, ERR_BAD_FILE), false;
    } else {
      st->eob_run = (uint32_t(1) << r) + jpeg_get_bits(st, r) - 1;
      break;
    }
  }
  return true;
}

// The correction bit of a coefficient already non-zero.
void refine_coefficient(jpeg_state* st, int16_t* coef, int32_t p1) {
  if (!jpeg_get_bit(st) || (*coef & p1)) return;
  *coef = int16_t(*coef >= 0 ? *coef + p1 : *coef - p1);
}

bool ac_refine(jpeg_state* st, int16_t* block) {
  const jpeg_scan& s = st->scan;
  const int32_t p1 = int32_t(1) << s.al;
  int k = s.ss;
  if (st->eob_run == 0) {
    const int slot = 1 + 2 * s.ta[0];
    for (; k <= s.se; ++k) {
      const int rs = jpeg_decode_symbol(st, slot, 2, ERR_LOADING);
      if (rs < 0) return false;
      int r = rs >> 4;
      int32_t value = 0;
      if (rs & 15) {
        if ((rs & 15) != 1) return jpeg_set_error(st, ERR_LOADING), false;
        value = jpeg_get_bit(st) ? p1 : -p1;
      } else if (r != 15) {
        st->eob_run = (uint32_t(1) << r) + jpeg_get_bits(st, r);
        break;
      }
      // Pass r zero coefficients (refining the non-zero ones met), then place the value.
      for (; k <= s.se; ++k) {
        int16_t* coef = block + k;
        if (*coef != 0)
          refine_coefficient(st, coef, p1);
        else if (--r < 0)
          break;
      }
      if (value) {
        if (k > s.se) return jpeg_set_error(st, ERR_BAD_FILE), false;
        block[k] = int16_t(value);
      }
    }
  }
  if (st->eob_run > 0) {
    for (; k <= s.se; ++k)
      if (block[k] != 0) refine_coefficient(st, block + k, p1);
    --st->eob_run;
  }
  return true;
}

bool progressive_block(jpeg_state* st, int s, int16_t* block) {
  const jpeg_scan& sc = st->scan;
  bool ok;
  if (sc.ss == 0)
    ok = sc.ah == 0 ? dc_first(st, s, block) : dc_refine(st, block);
  else
    ok = sc.ah == 0 ? ac_first(st, block) : ac_refine(st, block);
  return ok && !st->bits.overrun;
}

bool progressive_unit(jpeg_state* st, const scan_walk& w, int64_t m) {
  const jpeg_frame& f = st->frame;
  const jpeg_scan& s = st->scan;
  const int64_t ux = m % w.across, uy = m / w.across;
  // An end-of-band run covers blocks without reading anything.
  const bool needs_bits = !(s.ss != 0 && st->eob_run > 0);
  if (w.single) {
    const int c = s.comp[0];
    if (needs_bits && jpeg_at_marker(st)) return false;
    if (!progressive_block(st, 0, stored_block(st, c, ux, uy))) return false;
    if (needs_bits) note_row(st, uy / f.comp[c].v);
    return true;
  }
  for (int i = 0; i < s.count; ++i) {
    const int c = s.comp[i];
    const jpeg_component& k = f.comp[c];
    for (int by = 0; by < k.v; ++by)
      for (int bx = 0; bx < k.h; ++bx) {
        if (jpeg_at_marker(st)) return false;
        if (!progressive_block(st, i, stored_block(st, c, ux * k.h + bx, uy * k.v + by)))
          return false;
      }
  }
  note_row(st, uy);
  return true;
}

void progressive_scan(jpeg_state* st) {
  const jpeg_scan& s = st->scan;
  if ((s.ss == 0 && s.se != 0) || (s.ss != 0 && s.count > 1) || s.ss > s.se)
    return void(jpeg_set_error(st, ERR_BAD_FILE));
  scan_walk w;
  if (!plan_walk(st, &w)) return;
  if (st->frame.comp[0].coefficients.empty()) return void(jpeg_set_error(st, ERR_BAD_FILE));
  st->eob_run = 0;
  for (int64_t i = 0; i < w.count && !st->error; ++i)
    if (!progressive_unit(st, w, w.first + i)) break;
}

}  // namespace

int jpeg_frame_geometry(jpeg_state* st) {
  jpeg_frame& f = st->frame;
  f.hmax = f.vmax = 1;
  for (int c = 0; c < f.count; ++c) {
    f.hmax = std::max(f.hmax, f.comp[c].h);
    f.vmax = std::max(f.vmax, f.comp[c].v);
  }
  f.mcus_across = int(ceil_div(f.width, 8 * f.hmax));
  f.mcus_down = int(ceil_div(f.height, 8 * f.vmax));
  for (int c = 0; c < f.count; ++c) {
    jpeg_component& k = f.comp[c];
    k.blocks_across = f.mcus_across * k.h;
    k.blocks_down = f.mcus_down * k.v;
    k.used_across = int(ceil_div(ceil_div(int64_t(f.width) * k.h, f.hmax), 8));
    k.used_down = int(ceil_div(ceil_div(int64_t(f.height) * k.v, f.vmax), 8));
  }
  f.fast = jpeg_frame_takes_fast_path(f);
  st->rows = jpeg_rows{};
  return 0;
}

int jpeg_alloc_coefficients(jpeg_state* st) {
  jpeg_frame& f = st->frame;
  // The coefficients stay in memory: they must fit a share of the budget, the image
  // limit and a fixed ceiling, each checked before anything is allocated.
  constexpr int64_t kCeiling = int64_t(4) << 30;
  const double budget = compute_mem_budget();
  int64_t limit = std::min(kCeiling, raster_max_image_bytes());
  if (budget > 0 && budget / 2 < double(limit)) limit = int64_t(budget / 2);
  int64_t total = 0;
  for (int c = 0; c < f.count; ++c) {
    const int64_t bytes = int64_t(f.comp[c].blocks_across) * f.comp[c].blocks_down * 64 * 2;
    if (bytes > int64_t(kMaxBlock)) return jpeg_set_error(st, ERR_MEMORY);
    total += bytes;
  }
  if (total > limit) return jpeg_set_error(st, ERR_MEMORY);
  for (int c = 0; c < f.count; ++c) {
    jpeg_component& k = f.comp[c];
    if (!k.coefficients.assign_zeros(size_t(k.blocks_across) * size_t(k.blocks_down) * 64)) {
      for (int i = 0; i < f.count; ++i) f.comp[i].coefficients.clear();
      return jpeg_set_error(st, ERR_MEMORY);
    }
  }
  f.rows_reached.assign(size_t(f.mcus_down), 0);
  f.buffered = true;
  return 0;
}

bool jpeg_coefficients::assign_zeros(size_t count) {
  clear();
  if (count == 0) return true;
  data_ = static_cast<int16_t*>(plat::alloc_large_block(count * sizeof(int16_t)));
  if (!data_) return false;
  count_ = count;
  return true;
}

void jpeg_coefficients::clear() {
  plat::free_large_block(data_, count_ * sizeof(int16_t));
  data_ = nullptr;
  count_ = 0;
}

void jpeg_decode_scan(jpeg_state* st) {
  if (!st->frame.present || !st->scan.present) return;
  std::memset(st->predictor, 0, sizeof st->predictor);
  jpeg_bits_begin(st);
  if (st->frame.mode == kJpegProgressive)
    progressive_scan(st);
  else
    sequential_scan(st);
  jpeg_bits_end(st);
}
