// The nautical chart reader (kap_read.h).
//
// The header is read record by record: the record name up to "/" is looked up in the
// record dictionary and its handler reads the rest of the line (at most 99 characters
// are kept). BSB and NOS records carry items name=value separated by ",", looked up in
// the sub-keyword dictionary; only RA (the size) and DU (the resolution) are kept.
//
// The raster rows are bounded by the bytes really there: every row costs at least
// three bytes, so a height the file cannot hold is refused before anything is
// allocated; a run never reaches past the width, and a row number or a run length
// stops being read as soon as it cannot be valid.
#include "raster/kap_read.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>

#include "core/command_hooks.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/object.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "core/tracelog.h"
#include "map/bitmap_record.h"
#include "raster/decoder_file.h"
#include "raster/raster_limits.h"

namespace {

constexpr int64_t kChartBuffer = 0x20000;
constexpr int kCtrlZ = 26;
constexpr int kNameMax = 7;      // characters of a record or item name
constexpr int kLineMax = 99;     // characters kept of the rest of a record line
constexpr int kRowNumberBytes = 4;
constexpr int64_t kNumberCap = int64_t(1) << 40;

tag_t g_record_table[] = {
    make_tag("NO1", kBsbRecNo1), make_tag("BSB", kBsbRecBsb), make_tag("RGB", kBsbRecRgb),
    make_tag("VER", kBsbRecVer), make_tag("OST", kBsbRecOst), make_tag("IFM", kBsbRecIfm),
    make_tag("NOS", kBsbRecNos), make_tag("REF", kBsbRecRef), make_tag("KNP", kBsbRecKnp),
};

tag_t g_sub_table[] = {
    make_tag("RA", kBsbSubRa),     make_tag("DU", kBsbSubDu),     make_tag("GD", kBsbSubGd),
    make_tag("PR", kBsbSubPr),     make_tag("UN", kBsbSubUn),     make_tag("PP", kBsbSubPp),
    make_tag("P1", kBsbSubP1),     make_tag("P2", kBsbSubP1 + 1), make_tag("P3", kBsbSubP1 + 2),
    make_tag("P4", kBsbSubP1 + 3),
};

std::atomic<container_t*> g_records{nullptr};
std::atomic<container_t*> g_subs{nullptr};

template <size_t N>
int lookup(const std::atomic<container_t*>& slot, tag_t (&table)[N], const char* name) {
  int code = -1;
  if (const container_t* d = slot.load(std::memory_order_acquire)) {
    dict_lookup(d, name, -1, &code);
    return code;
  }
  for (const tag_t& t : table)
    if (std::strcmp(t.name, name) == 0) return t.val;
  return -1;
}

int bad_file() { return set_gblerr(ERR_BAD_FILE); }
bool blank(int c) { return c == ' ' || c == '\t'; }
bool line_end(int c) { return c == '\r' || c == '\n'; }

// The parse state of one chart.
struct chart_ctx {
  bitmap_t* image = nullptr;
  int record = -1;          // code of the current record (-1: none, or not known)
  char first = 0;           // first character of the record name
  char name[kNameMax + 1] = {};
  char rest[kLineMax + 1] = {};
  int length = 0;           // characters in rest
  int cursor = 0;
  int depth = 0;            // IFM depth, 1 to 7
  int64_t width = 0, height = 0;
};

// The next byte, or -1 at the end of the file (the reader's end error is cleared).
int next_byte() {
  if (rd_bytes_left() <= 0) return -1;
  const int c = rd_read_byte();
  if (get_gblerr()) {
    set_gblerr(0);
    return -1;
  }
  return c;
}

// Ctrl-Z ends the header wherever it comes: a line stops before it.
void put_back() { rd_seek(-1, 1); }

void skip_line() {
  for (;;) {
    const int c = next_byte();
    if (c < 0 || line_end(c)) return;
    if (c == kCtrlZ) return put_back();
  }
}

// The rest of the line into ctx.rest (at most 99 characters; the others are skipped).
void read_rest(chart_ctx& ctx) {
  ctx.length = ctx.cursor = 0;
  for (;;) {
    const int c = next_byte();
    if (c < 0 || line_end(c)) break;
    if (c == kCtrlZ) {
      put_back();
      break;
    }
    if (ctx.length < kLineMax) ctx.rest[ctx.length++] = char(c);
  }
  ctx.rest[ctx.length] = 0;
}

// ---- Values of the rest of a line ---------------------------------------------------

bool at_end(const chart_ctx& ctx) { return ctx.cursor >= ctx.length; }
char here(const chart_ctx& ctx) { return at_end(ctx) ? 0 : ctx.rest[ctx.cursor]; }

// Skips a value up to the next "," (left in place).
void skip_value(chart_ctx& ctx) {
  while (!at_end(ctx) && here(ctx) != ',') ++ctx.cursor;
}

void skip_comma(chart_ctx& ctx) {
  if (here(ctx) == ',') ++ctx.cursor;
}

// An integer (leading blanks, a sign, digits; the rest of the value up to "," is
// skipped). Values beyond any size are capped.
int64_t read_number(chart_ctx& ctx) {
  while (blank(here(ctx))) ++ctx.cursor;
  bool negative = false;
  if (here(ctx) == '-' || here(ctx) == '+') negative = ctx.rest[ctx.cursor++] == '-';
  int64_t v = 0;
  while (here(ctx) >= '0' && here(ctx) <= '9') {
    if (v < kNumberCap) v = v * 10 + (ctx.rest[ctx.cursor] - '0');
    ++ctx.cursor;
  }
  skip_value(ctx);
  return negative ? -v : v;
}

// "a,b": the first number, the ",", the second.
int64_t next_number(chart_ctx& ctx) {
  const int64_t v = read_number(ctx);
  skip_comma(ctx);
  return v;
}

// ---- Record handlers ------------------------------------------------------------------

bool sized_record(const chart_ctx& ctx) {
  return ctx.record == kBsbRecBsb || ctx.record == kBsbRecNos;
}

void item_size(chart_ctx& ctx) {
  if (ctx.record == kBsbRecNos) {
    next_number(ctx);
    next_number(ctx);
  }
  ctx.width = next_number(ctx);
  ctx.height = read_number(ctx);
}

void item_resolution(chart_ctx& ctx) {
  const int64_t du = read_number(ctx);
  const int v = du < 0 ? 0 : du > 1000000 ? 1000000 : int(du);
  ctx.image->xres = ctx.image->yres = v;
}

// Items name=value of a BSB or NOS record, from the cursor to the end of the line.
void parse_items(chart_ctx& ctx) {
  while (!at_end(ctx)) {
    while (blank(here(ctx))) ++ctx.cursor;
    char name[kNameMax + 1] = {};
    int n = 0;
    while (!at_end(ctx) && here(ctx) != '=' && here(ctx) != ',') {
      if (n < kNameMax) name[n++] = here(ctx);
      ++ctx.cursor;
    }
    if (here(ctx) == '=') ++ctx.cursor;
    const int code = lookup(g_subs, g_sub_table, name);
    if (code == kBsbSubRa && sized_record(ctx)) {
      item_size(ctx);
    } else if (code == kBsbSubDu && sized_record(ctx)) {
      item_resolution(ctx);
    } else {
      skip_value(ctx);
    }
    skip_comma(ctx);
  }
}

int record_version(chart_ctx& ctx) {
  read_rest(ctx);
  if (std::strtod(ctx.rest, nullptr) >= 4.0) {
    log_error_line("Version >= 4 non geree");
    return set_gblerr(ERR_UNKNOWN_FORMAT);
  }
  return 0;
}

int record_depth(chart_ctx& ctx) {
  read_rest(ctx);
  const int64_t n = read_number(ctx);
  if (n < 1 || n > 7) return set_gblerr(ERR_UNKNOWN_FORMAT);
  ctx.depth = int(n);
  ctx.image->bits_per_sample = n == 7 ? 8 : int(n);
  return 0;
}

uint8_t component(int64_t v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// RGB/i,r,g,b: an index outside the tables is no entry of them.
int record_palette(chart_ctx& ctx) {
  read_rest(ctx);
  const int64_t i = next_number(ctx);
  const int64_t r = next_number(ctx), g = next_number(ctx), b = read_number(ctx);
  if (i < 0 || i > 255) return 0;
  ctx.image->lut_r[i] = component(r);
  ctx.image->lut_g[i] = component(g);
  ctx.image->lut_b[i] = component(b);
  return 0;
}

int record_items(chart_ctx& ctx) {
  if (ctx.record == kBsbRecBsb) ctx.image->variant = kChartKindBsb;
  if (ctx.record == kBsbRecNos)
    ctx.image->variant = ctx.name[2] != 'S' ? kChartKindNosOther : kChartKindNos;
  read_rest(ctx);
  parse_items(ctx);
  return 0;
}

int run_record(chart_ctx& ctx) {
  switch (ctx.record) {
    case kBsbRecBsb:
    case kBsbRecNos:
      return record_items(ctx);
    case kBsbRecRgb:
      return record_palette(ctx);
    case kBsbRecVer:
      return record_version(ctx);
    case kBsbRecIfm:
      return record_depth(ctx);
    default:
      skip_line();
      return 0;
  }
}

// A record whose name starts with c: the name up to "/", then its handler. A name
// longer than seven characters, or a line without "/", is skipped.
int start_record(chart_ctx& ctx, int c) {
  ctx.first = char(c);
  std::memset(ctx.name, 0, sizeof ctx.name);
  ctx.name[0] = char(c);
  ctx.record = -1;
  for (int n = 1;; ++n) {
    const int d = next_byte();
    if (d < 0 || line_end(d)) return 0;
    if (d == kCtrlZ) {
      put_back();
      return 0;
    }
    if (d == '/') break;
    if (n >= kNameMax) {
      skip_line();
      return 0;
    }
    ctx.name[n] = char(d);
  }
  ctx.record = lookup(g_records, g_record_table, ctx.name);
  return run_record(ctx);
}

// After a first blank or TAB: three more make a continuation line of the current
// record; a character that comes earlier starts a new record.
int continuation(chart_ctx& ctx) {
  for (int n = 1; n < 4; ++n) {
    const int c = next_byte();
    if (c < 0 || line_end(c)) return 0;
    if (c == kCtrlZ) {
      put_back();
      return 0;
    }
    if (!blank(c)) return start_record(ctx, c);
  }
  if (!sized_record(ctx)) {
    skip_line();
    return 0;
  }
  read_rest(ctx);
  parse_items(ctx);
  return 0;
}

// ---- Raster rows ----------------------------------------------------------------------

// The raster bytes, taken from the reader a block at a time.
class raster_bytes {
 public:
  // The next byte, or -1 at the end of the file.
  int next() {
    if (at_ == end_ && !refill()) return -1;
    return buf_[at_++];
  }
  // Bytes not yet taken, buffered or in the file.
  int64_t left() const { return int64_t(end_ - at_) + rd_bytes_left(); }

 private:
  bool refill() {
    const int64_t n = std::min<int64_t>(int64_t(sizeof buf_), rd_bytes_left());
    if (n <= 0 || rd_read_bytes(buf_, n) != n) {
      set_gblerr(0);
      return false;
    }
    at_ = 0;
    end_ = size_t(n);
    return true;
  }
  uint8_t buf_[1 << 16];
  size_t at_ = 0, end_ = 0;
};

// A row number: 7-bit groups, the first most significant, the top bit set on every
// group but the last. Answers -1 for a number cut short or longer than four groups.
int64_t read_row_number(raster_bytes& in) {
  int64_t n = 0;
  for (int i = 0; i < kRowNumberBytes; ++i) {
    const int v = in.next();
    if (v < 0) return -1;
    n = n * 128 + (v & 127);
    if (!(v & 0x80)) return n;
  }
  return -1;
}

int decode_row(const chart_ctx& ctx, raster_bytes& in, uint8_t* line) {
  const int b = ctx.depth;
  const int colour_mask = (1 << b) - 1, length_mask = 127 >> b;
  for (int64_t x = 0; x < ctx.width;) {
    int c = in.next();
    if (c < 0) return bad_file();
    const int colour = (c >> (7 - b)) & colour_mask;
    int64_t length = c & length_mask;
    while (c & 0x80) {
      c = in.next();
      if (c < 0) return bad_file();
      length = length * 128 + (c & 127);
      if (length >= ctx.width) return bad_file();
    }
    if (x + length + 1 > ctx.width) return bad_file();
    if (line) std::memset(line + x, colour, size_t(length + 1));
    x += length + 1;
  }
  if (in.next() != 0) return bad_file();
  return 0;
}

int read_rows(chart_ctx& ctx) {
  if (next_byte() != 0) return bad_file();
  if (ctx.depth == 0) return set_gblerr(ERR_UNKNOWN_FORMAT);
  if (next_byte() != ctx.depth) return bad_file();
  if (ctx.width < 1 || ctx.height < 1 || ctx.width > INT32_MAX || ctx.height > INT32_MAX)
    return bad_file();
  // A row costs its number, a run and its end byte.
  if (ctx.height > rd_bytes_left() / 3) return bad_file();
  bitmap_t* image = ctx.image;
  if (raster_check_size(ctx.width, ctx.height, 1)) return get_gblerr();
  if (alloc_bitmap(image, int(ctx.width), int(ctx.height), 1, 2) != 0)
    return set_gblerr(ERR_MEMORY);
  image->samples_per_pixel = 1;
  auto in = std::make_unique<raster_bytes>();
  for (int64_t r = 0; r < ctx.height; ++r) {
    const int64_t number = read_row_number(*in);
    if (number != r && number != r + 1) return bad_file();
    if (int rc = decode_row(ctx, *in, get_img_line_adr(image, int(r), 0))) return rc;
    if (r % 100 == 0) core_progress_file_position(file_name_of(image->file));
  }
  // The table of row offsets follows the last row.
  if (in->left() <= 0) return bad_file();
  return 0;
}

int parse_chart(bitmap_t* image) {
  chart_ctx ctx;
  ctx.image = image;
  const bool by_lines = image->format == kDecoderChart;
  for (;;) {
    const int c = next_byte();
    if (c < 0) return bad_file();  // no raster data
    int rc = 0;
    if (line_end(c)) continue;
    if (c == kCtrlZ) return read_rows(ctx);
    if (blank(c)) {
      rc = by_lines ? continuation(ctx) : 0;
    } else if (c == '!' && by_lines) {
      skip_line();
    } else {
      rc = start_record(ctx, c);
    }
    if (rc) return rc;
  }
}

}  // namespace

int sb_chart_parse(bitmap_t* image) { return decode_image_file(image, kChartBuffer, parse_chart); }

namespace {

void free_dict(std::atomic<container_t*>& slot) {
  container_t* d = slot.exchange(nullptr);
  free_obj(&d);
}

// The tags' ids are cleared first: they belong to an earlier object store when the
// tables are built again.
template <size_t N> void build(tag_t (&table)[N], std::atomic<container_t*>& slot) {
  for (tag_t& t : table) t.id = 0;
  container_t* d = nullptr;
  dict_build(int(N), table, &d);
  slot.store(d, std::memory_order_release);
}

}  // namespace

void sb_chart_register() {
  sb_chart_unregister();
  build(g_record_table, g_records);
  build(g_sub_table, g_subs);
}

void sb_chart_unregister() {
  free_dict(g_records);
  free_dict(g_subs);
}

const container_t* bsb_record_keywords() { return g_records.load(std::memory_order_acquire); }
const container_t* bsb_sub_keywords() { return g_subs.load(std::memory_order_acquire); }
