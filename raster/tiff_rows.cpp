// Decoding the rows of one strip or one row of tiles of a TIFF page.
//
// The bytes of each strip or tile are read into memory (at most its byte count and
// never past the end of the file) and decoded row by row. A decoded row keeps the
// file's sample order: the predictor is undone there, per sample, before anything else.
// The rows of the tiles of a tile row, or of the planes of a page stored plane by plane,
// are then gathered into one row of whole pixels, which is unpacked into the bitmap:
// one-plane pages through the sample map, colour pages into planes 0, 1, 2. Samples of
// 16 bits give their high byte, read in the file's byte order.
#include <cstring>
#include <memory>
#include <vector>

#include "core/error.h"
#include "core/reader.h"
#include "core/reader_reopen.h"
#include "map/bitmap_record.h"
#include "raster/tiff_g4.h"
#include "raster/tiff_state.h"
#include "raster/tiff_values.h"

namespace {

// How the rows of each orientation are written: columns right to left, rows bottom to
// top, and the quarter turn (image_rotate direction) that follows. The result is the
// upright image: 5 the transpose, 6 a clockwise turn, 7 the transverse, 8 a
// counter-clockwise turn of the stored image.
struct orientation_rule {
  bool mirror_x, mirror_y;
  int turn;
};
constexpr orientation_rule kOrientations[9] = {
    {false, false, 0}, {false, false, 0}, {true, false, 0}, {true, true, 0},  {false, true, 0},
    {true, false, 1},  {false, false, 2}, {false, true, 1}, {false, false, 1}};

const orientation_rule& rule_of(const tiff_state* st) {
  const int o = st->orientation >= 1 && st->orientation <= 8 ? st->orientation : 1;
  return kOrientations[o];
}

// Largest pixel buffer of one Group 4 strip or tile.
constexpr int64_t kMaxG4Bytes = int64_t(256) << 20;

// Group 4 rows: the decoder fills a buffer of one byte per pixel. Each coded row costs
// at least one bit, so no more rows than the data has bits are decoded; the rest stay
// white (0).
class g4_source final : public tiff_chunk_source {
 public:
  g4_source(const uint8_t* data, size_t size, int64_t width, int64_t rows, int fill_order)
      : width_(width) {
    const int64_t bits = int64_t(size) * 8;
    coded_ = rows < bits ? rows : bits;
    if (coded_ * width > kMaxG4Bytes) {
      rc_ = ERR_MEMORY;
      return;
    }
    pixels_.assign(size_t(coded_ * width), 0);
    if (coded_ > 0)
      rc_ = tiff_g4_decode(data, size, int(width), int(coded_), fill_order, pixels_.data());
  }
  int next_row(uint8_t* row, size_t n) override {
    if (rc_) return rc_;
    if (next_ < coded_)
      std::memcpy(row, pixels_.data() + next_ * width_, n);
    else
      std::memset(row, 0, n);
    ++next_;
    return 0;
  }

 private:
  int64_t width_, coded_ = 0, next_ = 0;
  int rc_ = 0;
  std::vector<uint8_t> pixels_;
};

struct group_plan {
  const tiff_state* st;
  bool g4;
  int bs;               // bytes per sample (0 below 8 bits)
  int file_planes;      // planes stored one after another (planar configuration 2)
  int units;            // samples per pixel inside one strip or tile
  int64_t columns;      // tiles across (1 for strips)
  int64_t chunk_width;  // pixels per strip or tile row
  int64_t chunk_row_bytes;
  int64_t row_bytes;  // bytes of one gathered row of whole pixels
  int hi;             // offset of the high byte inside a sample
  // Packed samples (1 and 4 bits) taken least significant first: fill order 2 on data
  // whose bytes were not already reversed before decoding.
  bool lsb_first;
};

// Fill order 2 on PackBits data: the coded bytes are bit-reversed before decoding, as the
// fill order describes the bytes in the file (Group 4 reverses them in its bit reader).
bool reversed_before_decoding(const tiff_state* st) {
  return st->fill_order != 1 && st->pixel_kind == kTiffKindPackBits;
}

uint8_t reverse_bits(uint8_t b) {
  b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
  b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
  return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

group_plan plan_of(const tiff_state* st) {
  group_plan p{};
  p.st = st;
  p.g4 = st->pixel_kind == kTiffKindG4;
  const int bps = st->bits_per_sample;
  p.bs = bps >= 8 ? bps / 8 : 0;
  p.file_planes = st->planar == 2 ? st->samples_per_pixel : 1;
  p.units = st->planar == 2 ? 1 : st->samples_per_pixel;
  p.columns = st->tiled ? st->tiles_across : 1;
  p.chunk_width = st->tiled ? st->tile_width : st->width;
  if (p.g4) {
    p.chunk_row_bytes = p.chunk_width;
    p.row_bytes = st->width;
  } else if (p.bs == 0) {
    p.chunk_row_bytes = (p.chunk_width * bps + 7) / 8;
    p.row_bytes = (st->width * bps + 7) / 8;
  } else {
    p.chunk_row_bytes = p.chunk_width * p.units * p.bs;
    p.row_bytes = st->width * st->samples_per_pixel * p.bs;
  }
  p.hi = (p.bs == 2 && st->order == kTiffLittleEndian) ? 1 : 0;
  p.lsb_first = st->fill_order != 1 && !reversed_before_decoding(st);
  return p;
}

}  // namespace

int tiff_refusal(const tiff_state* st) {
  switch (st->pixel_kind) {
    case kTiffKindNone:
    case kTiffKindPackBits:
    case kTiffKindG4:
      break;
    case kTiffKindLzw:
      if (st->fill_order != 1) return ERR_BAD_FILE;
      break;
    default:
      return ERR_UNKNOWN_FORMAT;  // MH, Group 3, JPEG, Deflate and the rest
  }
  if (st->predictor != 0 && (st->predictor != 1 || st->bits_per_sample < 8))
    return ERR_UNKNOWN_FORMAT;  // floating point, or a predictor of packed samples
  if (st->colour_model == kModelYcbcr && st->ycbcr_subsampled) return ERR_UNKNOWN_FORMAT;
  return 0;
}

namespace {

// Undoes horizontal differencing on one strip or tile row, in file sample order.
void undo_predictor(const group_plan& p, uint8_t* row) {
  const int64_t n = p.chunk_width * p.units;
  if (p.bs == 1) {
    // One pass, each sample's running sum kept in a register.
    if (p.units == 1) {
      uint8_t a = row[0];
      for (int64_t i = 1; i < n; ++i) row[i] = a = uint8_t(a + row[i]);
    } else if (p.units == 3) {
      uint8_t a = row[0], b = row[1], c = row[2];
      for (int64_t i = 3; i + 2 < n; i += 3) {
        row[i] = a = uint8_t(a + row[i]);
        row[i + 1] = b = uint8_t(b + row[i + 1]);
        row[i + 2] = c = uint8_t(c + row[i + 2]);
      }
    } else {
      for (int64_t i = p.units; i < n; ++i) row[i] = uint8_t(row[i] + row[i - p.units]);
    }
    return;
  }
  const bool le = p.st->order == kTiffLittleEndian;
  auto get = [&](int64_t i) {
    const uint8_t* s = row + 2 * i;
    return le ? uint16_t(s[0] | s[1] << 8) : uint16_t(s[0] << 8 | s[1]);
  };
  for (int64_t i = p.units; i < n; ++i) {
    const uint16_t v = uint16_t(get(i) + get(i - p.units));
    uint8_t* s = row + 2 * i;
    s[le ? 0 : 1] = uint8_t(v);
    s[le ? 1 : 0] = uint8_t(v >> 8);
  }
}

// Puts one strip or tile row of plane `plane`, column `col` into the gathered row.
void place(const group_plan& p, const uint8_t* chunk, int plane, int64_t col, uint8_t* row) {
  const tiff_state* st = p.st;
  if (p.file_planes == 1) {
    int64_t at = 0;
    if (col > 0)
      at = p.g4 ? col * p.chunk_width
                : (p.bs == 0 ? col * p.chunk_width * st->bits_per_sample / 8
                             : col * p.chunk_width * p.units * p.bs);
    if (at >= p.row_bytes) return;
    const int64_t n = p.chunk_row_bytes < p.row_bytes - at ? p.chunk_row_bytes : p.row_bytes - at;
    std::memcpy(row + at, chunk, size_t(n));
    return;
  }
  const int spp = st->samples_per_pixel;
  for (int64_t i = 0; i < p.chunk_width; ++i) {
    const int64_t x = col * p.chunk_width + i;
    if (x >= st->width) break;
    std::memcpy(row + (x * spp + plane) * p.bs, chunk + i * p.bs, size_t(p.bs));
  }
}

// One gathered row into bitmap row y.
void unpack(const group_plan& p, const uint8_t* row, bitmap_t* target, int64_t y) {
  const tiff_state* st = p.st;
  uint8_t* line = get_img_line_adr(target, int(y), 0);
  if (!line) return;
  const int64_t w = st->width;
  const bool mx = rule_of(st).mirror_x;
  const uint8_t* map = st->sample_map;
  if (target->planes == 1) {
    if (p.bs == 1 && !p.g4 && !mx) {
      const int spp = st->samples_per_pixel;
      for (int64_t x = 0; x < w; ++x) line[x] = map[row[x * spp]];
      return;
    }
    for (int64_t x = 0; x < w; ++x) {
      int v;
      if (p.g4) {
        v = row[x];
      } else if (p.bs == 0 && st->bits_per_sample == 1) {
        const int bit = int(x & 7);
        v = row[x >> 3] >> (p.lsb_first ? bit : 7 - bit) & 1;
      } else if (p.bs == 0) {
        const bool high = (x & 1) == 0 ? !p.lsb_first : p.lsb_first;
        v = high ? row[x >> 1] >> 4 : row[x >> 1] & 15;
      } else {
        v = row[x * st->samples_per_pixel * p.bs + p.hi];
      }
      line[mx ? w - 1 - x : x] = map[v & 255];
    }
    return;
  }
  const int spp = st->samples_per_pixel;
  if (p.bs == 1 && spp >= 3 && !mx && st->colour_model != kModelCmyk) {
    // Bytes 0, 1, 2 of each pixel into the three planes as they are.
    uint8_t* r = line;
    uint8_t* g = line + w;
    uint8_t* b = line + 2 * w;
    for (int64_t x = 0; x < w; ++x, row += spp) {
      r[x] = row[0];
      g[x] = row[1];
      b[x] = row[2];
    }
    return;
  }
  for (int64_t x = 0; x < w; ++x) {
    const uint8_t* px = row + x * spp * p.bs + p.hi;
    int c[4];
    for (int k = 0; k < 4 && k < spp; ++k) c[k] = px[k * p.bs];
    const int64_t at = mx ? w - 1 - x : x;
    for (int k = 0; k < 3; ++k) {
      int v = c[k];
      if (st->colour_model == kModelCmyk) {
        v = 255 - c[k] - c[3];
        if (v < 1) v = 0;
      }
      line[at + k * w] = uint8_t(v);
    }
  }
}

// Size of the page's file, and n bytes of it from `at`: from the disk file the page
// keeps open, else through the reader (its current file).
int64_t file_bytes(const tiff_state* st) { return st->disk ? st->disk->size : rd_size(); }

int64_t read_bytes(const tiff_state* st, int64_t at, uint8_t* out, int64_t n) {
  if (!st->disk) return rd_read_at(at, out, n);
  if (at < 0 || at >= st->disk->size) return 0;
  const int64_t in_file = n < st->disk->size - at ? n : st->disk->size - at;
  return file_read_at(st->disk->handle, st->disk->start + at, out, in_file);
}

// The bytes of strip or tile `index`: at most its byte count and at most `want` bytes.
// Without byte counts an uncompressed strip takes the bytes its rows need; compressed
// data without them is bad data.
int read_chunk(const tiff_state* st, uint64_t index, int64_t want, std::vector<uint8_t>* out) {
  if (index >= st->offsets.size()) return ERR_BAD_FILE;
  const int64_t at = st->base + int64_t(st->offsets[index]);
  const int64_t size = file_bytes(st);
  if (at >= size) return ERR_BAD_FILE;
  int64_t n = size - at;
  if (st->counts.empty() && st->pixel_kind != kTiffKindNone) return ERR_BAD_FILE;
  if (!st->counts.empty() && int64_t(st->counts[index]) < n) n = st->counts[index];
  if (want >= 0 && want < n) n = want;
  // Every byte is read (rd_read_at zeroes what the file lacks): no clearing first.
  out->resize(size_t(n));
  if (n > 0 && read_bytes(st, at, out->data(), n) != n) {
    set_gblerr(0);
    return ERR_BAD_FILE;
  }
  return 0;
}

}  // namespace

int64_t tiff_group_rows(const tiff_state* st) {
  return st->tiled ? st->tile_length : st->rows_per_strip;
}

int64_t tiff_group_count(const tiff_state* st) {
  const int64_t rows = tiff_group_rows(st);
  return rows > 0 ? (st->height + rows - 1) / rows : 0;
}

int64_t tiff_target_row(const tiff_state* st, int64_t r) {
  return rule_of(st).mirror_y ? st->height - 1 - r : r;
}

int tiff_turn_direction(const tiff_state* st) { return rule_of(st).turn; }

int tiff_decode_group(const tiff_state* st, bitmap_t* target, int64_t g, tiff_workspace* ws) {
  if (int rc = tiff_refusal(st)) return rc;
  const int64_t grows = tiff_group_rows(st);
  const int64_t row0 = g * grows;
  if (g < 0 || row0 >= st->height) return 0;
  const int64_t nrows = grows < st->height - row0 ? grows : st->height - row0;
  const group_plan p = plan_of(st);
  const int64_t per_plane = st->tiled ? st->tiles_across * st->tiles_down : tiff_group_count(st);
  tiff_workspace own;
  if (!ws) ws = &own;
  // Every strip or tile of the group, read and given its decoder.
  const size_t n = size_t(p.file_planes * p.columns);
  std::vector<std::vector<uint8_t>>& data = ws->data;
  std::vector<std::unique_ptr<tiff_chunk_source>>& sources = ws->sources;
  if (data.size() < n) data.resize(n);
  if (sources.size() < n) sources.resize(n);
  // The strips or tiles of one group are distinct parts of the file: together they hold
  // no more than it, whatever their offsets and byte counts claim.
  const int64_t budget = 2 * file_bytes(st) + 4096;
  int64_t held = 0;
  for (int plane = 0; plane < p.file_planes; ++plane) {
    for (int64_t c = 0; c < p.columns; ++c) {
      const size_t k = size_t(plane * p.columns + c);
      const uint64_t index =
          uint64_t(plane * per_plane + (st->tiled ? g * st->tiles_across + c : g));
      const int64_t want = st->pixel_kind == kTiffKindNone ? nrows * p.chunk_row_bytes : -1;
      if (int rc = read_chunk(st, index, want, &data[k])) return rc;
      held += int64_t(data[k].size());
      if (held > budget) return ERR_BAD_FILE;
      if (reversed_before_decoding(st))
        for (uint8_t& b : data[k]) b = reverse_bits(b);
      if (p.g4)
        sources[k] = std::make_unique<g4_source>(data[k].data(), data[k].size(), p.chunk_width,
                                                 nrows, st->fill_order);
      else if (!sources[k] || !sources[k]->restart(data[k].data(), data[k].size()))
        sources[k].reset(tiff_new_chunk_source(st->pixel_kind, data[k].data(), data[k].size()));
      if (!sources[k]) return ERR_UNKNOWN_FORMAT;
    }
  }
  std::vector<uint8_t>& chunk = ws->chunk;
  std::vector<uint8_t>& row = ws->row;
  chunk.resize(size_t(p.chunk_row_bytes) + 8);
  row.resize(size_t(p.row_bytes) + 8);
  for (int64_t r = 0; r < nrows; ++r) {
    for (int plane = 0; plane < p.file_planes; ++plane) {
      for (int64_t c = 0; c < p.columns; ++c) {
        tiff_chunk_source* src = sources[size_t(plane * p.columns + c)].get();
        if (int rc = src->next_row(chunk.data(), size_t(p.chunk_row_bytes))) return rc;
        if (st->predictor == 1) undo_predictor(p, chunk.data());
        place(p, chunk.data(), plane, c, row.data());
      }
    }
    unpack(p, row.data(), target, tiff_target_row(st, row0 + r));
  }
  return 0;
}
