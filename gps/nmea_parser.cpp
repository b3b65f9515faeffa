// The NMEA 0183 lexer: byte classes, the transition table, the eight actions, the
// parser and fix records, the standard sentence dictionary, and the field helpers the
// handlers (nmea_handlers*.cpp) read sentences with.
#include "gps/nmea_parser.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/dict.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/object.h"
#include "core/scanner.h"
#include "core/strutil.h"
#include "gps/port_io.h"

// The parser is a reader of the read loop: its first three fields are a port reader's.
static_assert(offsetof(nmea_parser, device) == offsetof(port_reader, device));
static_assert(offsetof(nmea_parser, log) == offsetof(port_reader, log));
static_assert(offsetof(nmea_parser, read) == offsetof(port_reader, read));

namespace {

// ---- Lexer tables -------------------------------------------------------------------
enum nmea_action : uint8_t {
  A_NONE, A_RESET, A_NAME, A_NAME_END, A_FIELD, A_COMPLETE, A_CHECKSUM, A_CHECK
};

constexpr uint8_t byte_class(int b) {
  if (b == '$') return 0;
  if (b == 13) return 1;
  if (b == 10) return 2;
  if (b == '*') return 3;
  if (b == ',') return 4;
  if (b >= 'A' && b <= 'F') return 5;
  if (b >= 'G' && b <= 'Z') return 6;
  if (b >= '0' && b <= '9') return 7;
  if (b < 128) return 8;
  return 9;
}

struct class_table {
  uint8_t c[256];
};
constexpr class_table make_classes() {
  class_table t{};
  for (int b = 0; b < 256; ++b) t.c[b] = byte_class(b);
  return t;
}
constexpr class_table kClasses = make_classes();

struct cell {
  uint8_t action;
  uint8_t next;
};

// Rows: states 0 idle, 1 after "$", 2 name, 3 fields, 4 checksum, 5 after CR.
// Columns: "$", CR, LF, "*", ",", A-F, G-Z, digit, other, 128-255.
constexpr cell kTransitions[6][10] = {
    {{0, 1}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    {{1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {2, 2}, {2, 2}, {1, 0}, {1, 0}, {1, 0}},
    {{1, 0}, {1, 0}, {1, 0}, {1, 0}, {3, 3}, {2, 2}, {2, 2}, {2, 2}, {1, 0}, {1, 0}},
    {{1, 0}, {1, 0}, {1, 0}, {0, 4}, {4, 3}, {4, 3}, {4, 3}, {4, 3}, {4, 3}, {1, 0}},
    {{1, 0}, {7, 5}, {1, 0}, {1, 0}, {1, 0}, {6, 4}, {1, 0}, {6, 4}, {1, 0}, {1, 0}},
    {{1, 0}, {1, 5}, {5, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}},
};

// ---- Standard sentence table --------------------------------------------------------
constexpr int kStdNames = 39;
tag_t g_std_table[kStdNames] = {
    make_tag("GPAAM", 0),  make_tag("GPALM", 0),  make_tag("GPAPA", 0),
    make_tag("GPAPB", 0),  make_tag("GPBOD", 7),  make_tag("GPBWC", 0),
    make_tag("GPBWW", 0),  make_tag("GPGGA", 2),  make_tag("GPGLC", 0),
    make_tag("GPGLL", 1),  make_tag("GPGRS", 0),  make_tag("GPGSA", 19),
    make_tag("GPGST", 0),  make_tag("GPGSV", 4),  make_tag("GPHDT", 0),
    make_tag("GPMSS", 0),  make_tag("GPRMA", 0),  make_tag("GPRMB", 5),
    make_tag("GPRMC", 3),  make_tag("GPR00", 13), make_tag("GPRTE", 12),
    make_tag("GPTTM", 0),  make_tag("GPVTG", 6),  make_tag("GPWCV", 0),
    make_tag("GPWNC", 0),  make_tag("GPWPL", 11), make_tag("GPXTE", 0),
    make_tag("GPZDA", 10), make_tag("GPZFO", 0),  make_tag("GPZTG", 0),
    make_tag("GPDTM", 17), make_tag("PGRME", 9),  make_tag("PGRMM", 8),
    make_tag("PGRMZ", 0),  make_tag("PGRMF", 14), make_tag("PGRMV", 16),
    make_tag("PUBX", 18),  make_tag("PTMQT", 15), make_tag("PTMQB", 20),
};

// Built at start-up, read by every parser thread.
std::atomic<container_t*> g_std_dict{nullptr};

// ---- Class 140: an owned text and its count ------------------------------------------
inline constexpr attr_desc kNmeaTextAttrs[] = {
    {"id", AT_ID}, {"type", AT_INT}, {"text", AT_STRING}, {"count", AT_INT}};
const objdesc kNmeaTextDesc = {"nmea_text", 4, kNmeaTextAttrs};
static_assert(sizeof(nmea_text_t) == attr_layout_size(kNmeaTextAttrs, 4));

void nmea_text_free(obj_t* o) {
  auto* t = static_cast<nmea_text_t*>(o);
  free_mem(&t->text);
  t->count = 0;
}

// ---- Actions --------------------------------------------------------------------------
void name_char(uint8_t b, nmea_parser* p) {
  ++p->name_count;
  if (p->name_cursor - p->name < kNmeaNameMax) *p->name_cursor++ = static_cast<char>(b);
}

// The stored name as one number: its characters (never NUL) in order, zero-padded. The
// name buffer always holds 8 readable bytes; those past the name are masked off.
static_assert(sizeof(nmea_parser::name) >= sizeof(uint64_t));
uint64_t name_key(const nmea_parser* p) {
  const size_t length = static_cast<size_t>(p->name_cursor - p->name);
  if constexpr (std::endian::native == std::endian::little) {
    uint64_t word = 0;
    std::memcpy(&word, p->name, sizeof word);
    return length >= 8 ? word : word & ((uint64_t(1) << (8 * length)) - 1);
  } else {
    char padded[kNmeaNameMax] = {};
    std::memcpy(padded, p->name, length);
    uint64_t key = 0;
    std::memcpy(&key, padded, sizeof key);
    return key;
  }
}

// The sentence index of the stored name: from the parser's cache of recent names, else
// from the dictionary (and remembered).
int lookup_name(nmea_parser* p) {
  if (!p->dict) return 0;
  if (p->cache_dict != p->dict) {
    std::memset(p->cache_key, 0, sizeof p->cache_key);
    p->cache_dict = p->dict;
    p->cache_next = 0;
  }
  const uint64_t key = name_key(p);
  for (int i = 0; i < kNmeaNameCache; ++i)
    if (p->cache_key[i] == key && key != 0) return p->cache_index[i];
  int index = 0;
  dict_lookup(p->dict, p->name, 0, &index);
  const int slot = p->cache_next;
  p->cache_key[slot] = key;
  p->cache_index[slot] = index;
  p->cache_next = (slot + 1) % kNmeaNameCache;
  return index;
}

void name_end(nmea_parser* p) {
  *p->name_cursor = '\0';
  int index = lookup_name(p);
  if (index < 0 || index >= p->handler_count) index = 0;
  p->index = index;
  if (p->begins && p->begins[index]) p->begins[index](p);
}

// False when the sentence passes the longest kept: it is dropped.
bool field_char(uint8_t b, nmea_parser* p) {
  const int n = ++p->field_count;
  if (n > kNmeaMaxSentence) {
    nmea_parser_reset(p);
    return false;
  }
  if (n >= p->capacity - 10) {
    const ptrdiff_t at = p->field_cursor - p->fields;
    uint32_t cap = static_cast<uint32_t>(std::max(p->initial_size, n) + 10);
    grow_capacity(&p->fields, &cap);
    p->capacity = static_cast<int32_t>(cap);
    p->field_cursor = p->fields + at;
  }
  *p->field_cursor++ = static_cast<char>(b);
  return true;
}

void checksum_char(uint8_t b, nmea_parser* p) {
  ++p->checksum_count;
  if (p->checksum_cursor - p->checksum < 4) *p->checksum_cursor++ = static_cast<char>(b);
}

// XOR of n bytes, eight at a time.
int xor_bytes(const char* bytes, size_t n) {
  uint64_t wide = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, bytes + i, sizeof w);
    wide ^= w;
  }
  wide ^= wide >> 32;
  wide ^= wide >> 16;
  wide ^= wide >> 8;
  int sum = static_cast<int>(wide & 0xff);
  for (; i < n; ++i) sum ^= static_cast<uint8_t>(bytes[i]);
  return sum;
}

int hex_value(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

// A checksum of 1 to 4 digits equal to the XOR of the name, the comma and the fields;
// otherwise the sentence goes to handler 0.
void check(nmea_parser* p) {
  *p->checksum_cursor = '\0';
  int sum = ',';
  for (const char* c = p->name; c < p->name_cursor; ++c) sum ^= static_cast<uint8_t>(*c);
  sum ^= xor_bytes(p->fields, static_cast<size_t>(p->field_cursor - p->fields));
  int given = 0;
  for (const char* c = p->checksum; *c; ++c) given = given * 16 + hex_value(*c);
  if (p->checksum_count < 1 || p->checksum_count > 4 || given != sum) p->index = 0;
}

void complete(nmea_parser* p) {
  *p->field_cursor = '\0';
  p->field_cursor = p->fields;
  const int index = p->index;
  if (index > 0 && index < p->handler_count && p->handlers && p->handlers[index])
    p->handlers[index](p);
  nmea_parser_reset(p);
}

// Runs one action; false when it dropped the sentence (the machine goes idle).
bool run_action(int action, uint8_t b, nmea_parser* p) {
  switch (action) {
    case A_RESET:
      // A reset sentence is never handled, also not by the LF that may follow a
      // second CR (state 5 stays 5 on CR, and LF completes).
      nmea_parser_reset(p);
      p->index = 0;
      break;
    case A_NAME: name_char(b, p); break;
    case A_NAME_END: name_end(p); break;
    case A_FIELD: return field_char(b, p);
    case A_COMPLETE: complete(p); break;
    case A_CHECKSUM: checksum_char(b, p); break;
    case A_CHECK: check(p); break;
    default: break;
  }
  return true;
}

void copy_cut(char* dst, size_t size, const char* src) {
  size_t n = std::strlen(src);
  if (n >= size) n = size - 1;
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

}  // namespace

// ---- Module ----------------------------------------------------------------------------

void nmea_module_free() {
  container_t* d = g_std_dict.exchange(nullptr);
  free_obj(&d);
}

int nmea_module_init() {
  nmea_module_free();
  for (tag_t& t : g_std_table) t.id = 0;
  container_t* dict = nullptr;
  if (dict_build(kStdNames, g_std_table, &dict) != 0) {
    free_obj(&dict);
    return get_gblerr();
  }
  g_std_dict.store(dict, std::memory_order_release);
  // A program whose records of class 140 extend the text record registers its larger
  // layout after this and keeps it.
  if (obj_class_size(CLS_NMEA_TEXT) < static_cast<int>(sizeof(nmea_text_t))) {
    obj_register_class(CLS_NMEA_TEXT, sizeof(nmea_text_t), &kNmeaTextDesc);
    obj_set_free_callback(CLS_NMEA_TEXT, nmea_text_free);
  }
  return get_gblerr();
}

container_t* nmea_std_dict() { return g_std_dict.load(std::memory_order_acquire); }

// ---- Fix record ----------------------------------------------------------------------

nmea_fix* nmea_fix_new(nmea_fix** out) {
  nmea_fix* f = nullptr;
  alloc_mem_zero(&f, sizeof(nmea_fix));
  f->hdop = f->vdop = f->pdop = NULL_DOUBLE;
  f->h_accuracy = f->v_accuracy = NULL_DOUBLE;
  f->satellites = NULL_INT;
  f->satellites_used = NULL_INT;
  copy_cut(f->datum_name, sizeof f->datum_name, kNmeaStartDatum);
  f->datum_scheme = 4;
  if (out) *out = f;
  return f;
}

void nmea_fix_free(nmea_fix** fix) {
  if (!fix || !*fix) return;
  nmea_fix* f = *fix;
  free_mem(&f->route_name);
  free_mem(&f->route_waypoints);
  free_mem(&f->raw);
  free_mem(fix);
}

void nmea_fix_clear(nmea_fix* fix) {
  if (!fix) return;
  fix->time_stamp = 0.0;
  fix->valid = nmea_valid{};
  fix->event = 0;
}

void nmea_fix_set_text(char* dst, size_t size, const char* src) { copy_cut(dst, size, src); }

// ---- Parser record ---------------------------------------------------------------------

int nmea_parser_new(container_t* dict, const nmea_handler* handlers, int handler_count,
                    void* device, nmea_read_fn read, int initial_size,
                    const nmea_handler* begins, nmea_parser** out) {
  if (!out) return set_gblerr(ERR_PARAMETERS);
  *out = nullptr;
  if (initial_size < 1) initial_size = 1;
  if (initial_size > kNmeaMaxSentence) initial_size = kNmeaMaxSentence;
  nmea_parser* p = nullptr;
  alloc_mem_zero(&p, sizeof(nmea_parser));
  p->device = device;
  p->read = read;
  p->dict = dict;
  p->handlers = handlers;
  p->handler_count = handlers ? std::max(handler_count, 0) : 0;
  p->begins = begins;
  p->initial_size = initial_size;
  p->capacity = initial_size + 12;
  alloc_mem_zero(&p->fields, static_cast<size_t>(p->capacity));
  for (nmea_memo* m : {&p->memo_position[0], &p->memo_position[1], &p->memo_time, &p->memo_date})
    m->length = -1;
  nmea_parser_reset(p);
  p->state = 0;
  *out = p;
  return 0;
}

int nmea_parser_new_std(void* device, nmea_read_fn read, nmea_parser** out) {
  return nmea_parser_new(nmea_std_dict(), kNmeaStdHandlers, kNmeaHandlerCount, device, read,
                         kNmeaStdFieldSize, nullptr, out);
}

int nmea_reader_create(void* device, nmea_read_fn read, nmea_parser** out) {
  const int rc = nmea_parser_new_std(device, read, out);
  if (rc != 0 || !*out) return rc;
  nmea_fix_new(&(*out)->fix);
  (*out)->owns_fix = 1;
  return 0;
}

void nmea_parser_free(nmea_parser** parser) {
  if (!parser || !*parser) return;
  free_mem(&(*parser)->fields);
  free_mem(parser);
}

void nmea_reader_free(nmea_parser** parser) {
  if (!parser || !*parser) return;
  nmea_fix_free(&(*parser)->fix);
  nmea_parser_free(parser);
}

void nmea_parser_reset(nmea_parser* p) {
  p->name[0] = '\0';
  p->fields[0] = '\0';
  p->checksum[0] = '\0';
  p->name_cursor = p->name;
  p->checksum_cursor = p->checksum;
  p->field_cursor = p->fields;
  p->checksum_count = 0;
  p->name_count = 0;
  p->field_count = 0;
}

namespace {

// ---- Runs ------------------------------------------------------------------------------
// Most bytes leave the machine in its state with that state's own action: skipped while
// idle, name characters, field characters, checksum characters. Such a run is taken at
// once, with the same effect as feeding its bytes one by one; the bytes that end a run go
// through the transition table. Which bytes a run takes is read off the table itself.
constexpr bool is_run_action(uint8_t action) {
  return action == A_NONE || action == A_NAME || action == A_FIELD || action == A_CHECKSUM;
}

struct run_tables {
  bool stays[6][256];
};
constexpr run_tables make_runs() {
  run_tables t{};
  for (int s = 0; s < 6; ++s)
    for (int b = 0; b < 256; ++b) {
      const cell c = kTransitions[s][byte_class(b)];
      t.stays[s][b] = c.next == s && is_run_action(c.action);
    }
  return t;
}
constexpr run_tables kRuns = make_runs();
static_assert(kTransitions[0][1].action == A_NONE && kTransitions[2][5].action == A_NAME &&
              kTransitions[3][8].action == A_FIELD && kTransitions[4][7].action == A_CHECKSUM);

// Bytes that end a field run, as 8-lane masks: "$", CR, LF, "*" and bytes 128-255 (every
// other byte stays in the fields state). Checked against the table below.
constexpr bool field_run_ender(int b) {
  return b == '$' || b == 13 || b == 10 || b == '*' || b >= 128;
}
constexpr bool field_enders_match() {
  for (int b = 0; b < 256; ++b)
    if (kRuns.stays[3][b] == field_run_ender(b)) return false;
  return true;
}
static_assert(field_enders_match());

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kHighs = 0x8080808080808080ull;

// Lanes of w equal to byte v: the lowest flagged lane is the first such byte (lanes above
// a match may be flagged falsely; only the lowest is used).
constexpr uint64_t lanes_equal(uint64_t w, uint8_t v) {
  const uint64_t x = w ^ (kOnes * v);
  return (x - kOnes) & ~x & kHighs;
}

// Bytes from `from` that stay in the fields state, at most up to `end`.
size_t field_run_length(const uint8_t* from, const uint8_t* end) {
  const uint8_t* q = from;
  if constexpr (std::endian::native == std::endian::little) {
    while (end - q >= 8) {
      uint64_t w;
      std::memcpy(&w, q, sizeof w);
      const uint64_t hits = lanes_equal(w, '$') | lanes_equal(w, 13) | lanes_equal(w, 10) |
                            lanes_equal(w, '*') | (w & kHighs);
      if (hits) return static_cast<size_t>(q - from) + (std::countr_zero(hits) >> 3);
      q += 8;
    }
  }
  while (q < end && kRuns.stays[3][*q]) ++q;
  return static_cast<size_t>(q - from);
}

// The run of field bytes that starts at the cursor, taken at once: the same as feeding
// them one by one (each appended, the sentence dropped at the byte that passes the
// longest kept), with one capacity check for the whole run. Leaves the cursor on the
// first byte that is not a field byte, or on the byte that dropped the sentence.
void feed_field_run(nmea_parser* p) {
  int32_t n = static_cast<int32_t>(field_run_length(p->cursor, p->cursor + p->remaining));
  // The byte that would pass the longest kept is fed alone (it drops the sentence).
  const int32_t room = kNmeaMaxSentence - p->field_count;
  if (n > room) n = room;
  if (n <= 0) return;
  const int32_t last = p->field_count + n;
  if (last >= p->capacity - 10) {
    const ptrdiff_t at = p->field_cursor - p->fields;
    uint32_t cap = static_cast<uint32_t>(std::max(p->initial_size, last) + 10);
    grow_capacity(&p->fields, &cap);
    p->capacity = static_cast<int32_t>(cap);
    p->field_cursor = p->fields + at;
    if (last >= p->capacity - 10) return;  // no memory: the bytes go one by one
  }
  std::memcpy(p->field_cursor, p->cursor, static_cast<size_t>(n));
  p->field_cursor += n;
  p->field_count = last;
  p->cursor += n;
  p->remaining -= n;
}

// A run in state 0, 2 or 4: skipped bytes, name characters or checksum characters.
void feed_small_run(nmea_parser* p) {
  const bool* stays = kRuns.stays[p->state];
  const uint8_t* b = p->cursor;
  const uint8_t* end = b + p->remaining;
  switch (p->state) {
    case 0: {
      // Only "$" leaves the idle state.
      const void* dollar = std::memchr(b, '$', static_cast<size_t>(end - b));
      b = dollar ? static_cast<const uint8_t*>(dollar) : end;
      break;
    }
    case 2:
      for (; b < end && stays[*b]; ++b) name_char(*b, p);
      break;
    case 4:
      for (; b < end && stays[*b]; ++b) checksum_char(*b, p);
      break;
    default: return;
  }
  p->remaining -= static_cast<int32_t>(b - p->cursor);
  p->cursor = b;
}
static_assert(kTransitions[0][0].next == 1 && [] {
  for (int c = 1; c < 10; ++c)
    if (kTransitions[0][c].action != A_NONE || kTransitions[0][c].next != 0) return false;
  return true;
}());

}  // namespace

int nmea_feed(const uint8_t* bytes, int count, nmea_parser* p) {
  if (!p || !bytes || count <= 0) return 0;
  p->cursor = bytes;
  p->remaining = count;
  while (p->remaining > 0) {
    // Runs only while no error is set: with one set, the next byte's action runs alone
    // and feeding stops there.
    if (get_gblerr() == 0) {
      if (p->state == 3) {
        feed_field_run(p);
        if (const int err = get_gblerr()) return err;
      } else {
        feed_small_run(p);
      }
      if (p->remaining <= 0) break;
    }
    const uint8_t b = *p->cursor++;
    --p->remaining;
    const cell c = kTransitions[p->state][kClasses.c[b]];
    const bool keep = run_action(c.action, b, p);
    if (const int err = get_gblerr()) return err;
    p->state = keep ? c.next : 0;
  }
  return 0;
}

// ---- Helpers ---------------------------------------------------------------------------

int nmea_checksum(const char* text) {
  int sum = 0;
  if (text)
    for (; *text; ++text) sum ^= static_cast<uint8_t>(*text);
  return sum;
}

double nmea_dm_to_deg(double value, double* out) {
  const double degrees = std::trunc(value / 100.0);
  const double result = degrees + (value - degrees * 100.0) / 60.0;
  if (out) *out = result;
  return result;
}

// The scanner's field reading (get_field with ',' and no line ends) written out for the
// handlers' hot path: blanks before the field skipped, a field too long for the buffer
// read as empty, the cursor left after the comma.
char* nmea_next_field(nmea_parser* p, char buffer[kNmeaFieldSize]) {
  const char* c = p->field_cursor;
  if (!c) {
    buffer[0] = '\0';
    return buffer;
  }
  while (*c == ' ' || *c == '\t' || *c == '\r' || *c == '\n') ++c;
  // Fields are short: one pass finds the end and copies (a library copy of a few bytes
  // costs more than the bytes).
  size_t n = 0;
  for (char ch; (ch = c[n]) != ',' && ch != '\0'; ++n)
    if (n < static_cast<size_t>(kNmeaFieldSize) - 1) buffer[n] = ch;
  buffer[n < static_cast<size_t>(kNmeaFieldSize) ? n : 0] = '\0';
  const char* end = c + n;
  p->field_cursor = const_cast<char*>(*end == ',' ? end + 1 : end);
  return buffer;
}

namespace {

// A field in place: its text after the blanks, and its length (0 also for a field too
// long for the field buffer, which reads as empty).
struct field_span {
  const char* text;
  size_t length;
};

// The next field as nmea_next_field finds it, without the copy; moves the cursor.
field_span next_span(nmea_parser* p) {
  const char* c = p->field_cursor;
  if (!c) return {"", 0};
  while (*c == ' ' || *c == '\t' || *c == '\r' || *c == '\n') ++c;
  const char* end = c;
  while (*end != ',' && *end != '\0') ++end;
  p->field_cursor = const_cast<char*>(*end == ',' ? end + 1 : end);
  const size_t n = static_cast<size_t>(end - c);
  return {c, n < static_cast<size_t>(kNmeaFieldSize) ? n : 0};
}

// The field as the text str_to_double and parse_int are given.
void span_text(field_span s, char buffer[kNmeaFieldSize]) {
  std::memcpy(buffer, s.text, s.length);
  buffer[s.length] = '\0';
}

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The plain number a field usually holds: an optional sign, at most 15 digits with at
// most one point, nothing else. Read as str_to_double reads it (the digits as an exact
// integer, one division by an exact power of ten); false for anything else.
bool plain_number(field_span s, double* out) {
  const char* q = s.text;
  const char* end = q + s.length;
  bool negative = false;
  if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
  uint64_t value = 0;
  int digits = 0, decimals = -1;
  for (; q < end; ++q) {
    const char c = *q;
    if (c >= '0' && c <= '9') {
      if (digits == 15) return false;
      value = value * 10 + uint64_t(c - '0');
      ++digits;
      if (decimals >= 0) ++decimals;
    } else if (c == '.' && decimals < 0) {
      decimals = 0;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;  // "-", "+", ".": no number
  const double m = static_cast<double>(value);
  const double v = decimals > 0 ? m / kPowersOfTen[decimals] : m;
  *out = negative ? -v : v;
  return true;
}

// A number with nothing around it but blanks after it: an optional sign, digits with at
// most one point, at least one digit. A field with stray characters ("4x17.24") is no
// number at all: it is never read as far as its digits go. (Blanks before a field are
// skipped when it is found.)
bool well_formed(const char* q, const char* end) {
  while (end > q && (end[-1] == ' ' || end[-1] == '\t')) --end;
  if (q < end && (*q == '+' || *q == '-')) ++q;
  bool digit = false, point = false;
  for (; q < end; ++q) {
    if (*q >= '0' && *q <= '9') digit = true;
    else if (*q == '.' && !point) point = true;
    else return false;
  }
  return digit;
}
bool well_formed(field_span s) { return well_formed(s.text, s.text + s.length); }

double span_double(field_span s) {
  double v = 0.0;
  if (plain_number(s, &v)) return v;
  char buf[kNmeaFieldSize];
  span_text(s, buf);
  return str_to_double(buf);
}

// parse_int's reading of a non-empty field: an optional "-" and at most 9 digits
// directly, anything else through parse_int.
int32_t span_int(field_span s) {
  const char* q = s.text;
  const char* end = q + s.length;
  const bool negative = q < end && *q == '-';
  if (negative) ++q;
  if (end - q <= 9) {
    int32_t v = 0;
    for (; q < end && *q >= '0' && *q <= '9'; ++q) v = v * 10 + (*q - '0');
    if (q == end) return negative ? -v : v;
  }
  char buf[kNmeaFieldSize];
  span_text(s, buf);
  int32_t v = 0;
  parse_int(buf, &v);
  return v;
}

// ddmm.mmmm as seconds of arc, before the hemisphere.
double position_magnitude(double v) {
  const double whole = std::trunc(std::trunc(v) / 100.0);
  return whole * 3600.0 + (v - whole * 100.0) * 60.0;
}

double with_hemisphere(double seconds, char hemisphere) {
  return hemisphere == 'S' || hemisphere == 'W' ? -seconds : seconds;
}

// Texts of at most 16 bytes, handled as two (overlapping) words: a library call costs
// more than such a text.
template <typename Word> Word load_word(const char* at) {
  Word w;
  std::memcpy(&w, at, sizeof w);
  return w;
}

template <typename Word> void store_word(char* at, Word w) { std::memcpy(at, &w, sizeof w); }

void copy_short(char* dst, const char* src, size_t n) {
  if (n >= 8) {
    const uint64_t head = load_word<uint64_t>(src), tail = load_word<uint64_t>(src + n - 8);
    store_word(dst, head);
    store_word(dst + n - 8, tail);
  } else if (n >= 4) {
    const uint32_t head = load_word<uint32_t>(src), tail = load_word<uint32_t>(src + n - 4);
    store_word(dst, head);
    store_word(dst + n - 4, tail);
  } else {
    for (size_t i = 0; i < n; ++i) dst[i] = src[i];
  }
}

bool equal_short(const char* a, const char* b, size_t n) {
  if (n >= 8)
    return load_word<uint64_t>(a) == load_word<uint64_t>(b) &&
           load_word<uint64_t>(a + n - 8) == load_word<uint64_t>(b + n - 8);
  if (n >= 4)
    return load_word<uint32_t>(a) == load_word<uint32_t>(b) &&
           load_word<uint32_t>(a + n - 4) == load_word<uint32_t>(b + n - 4);
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

bool memo_find(const nmea_memo& m, field_span s, double* out) {
  if (m.length != static_cast<int32_t>(s.length) || !equal_short(m.text, s.text, s.length))
    return false;
  *out = m.value;
  return true;
}

void memo_keep(nmea_memo* m, field_span s, double value) {
  if (s.length > sizeof m->text) return;
  copy_short(m->text, s.text, s.length);
  m->length = static_cast<int32_t>(s.length);
  m->value = value;
}

}  // namespace

// A malformed number reads as an empty field.
double nmea_next_double(nmea_parser* p, int* present) {
  const field_span s = next_span(p);
  double v = 0.0;
  if (s.length != 0 && plain_number(s, &v)) {
    if (present) *present = 1;
    return v;
  }
  const bool ok = s.length != 0 && well_formed(s);
  if (present) *present = ok;
  return ok ? span_double(s) : 0.0;
}

int32_t nmea_next_int(nmea_parser* p, int* present) {
  const field_span s = next_span(p);
  const bool ok = s.length != 0 && well_formed(s);
  if (present) *present = ok;
  if (!ok) return NULL_INT;
  return span_int(s);
}

char nmea_next_letter(nmea_parser* p) {
  const field_span s = next_span(p);
  return s.length ? s.text[0] : '\0';
}

void nmea_skip_fields(nmea_parser* p, int n) {
  for (int i = 0; i < n; ++i) next_span(p);
}

double nmea_next_position(nmea_parser* p) {
  const field_span s = next_span(p);
  double seconds = 0.0;
  if (!memo_find(p->memo_position[0], s, &seconds) &&
      !memo_find(p->memo_position[1], s, &seconds)) {
    if (s.length != 0 && !well_formed(s)) {
      nmea_next_letter(p);
      return std::nan("");
    }
    seconds = position_magnitude(span_double(s));
    memo_keep(&p->memo_position[p->memo_position_next], s, seconds);
    p->memo_position_next ^= 1;
  }
  return with_hemisphere(seconds, nmea_next_letter(p));
}

double nmea_next_time(nmea_parser* p, int* present) {
  const field_span s = next_span(p);
  const bool ok = s.length != 0 && well_formed(s);
  if (present) *present = ok;
  if (s.length != 0 && !ok) return std::nan("");
  double fraction = 0.0;
  if (!memo_find(p->memo_time, s, &fraction)) {
    fraction = hhmmss_to_day_fraction(span_double(s), nullptr);
    memo_keep(&p->memo_time, s, fraction);
  }
  return fraction;
}

double nmea_next_date(nmea_parser* p, int* present) {
  const field_span s = next_span(p);
  if (present) *present = s.length != 0;
  double packed = 0.0;
  if (!memo_find(p->memo_date, s, &packed)) {
    char buf[kNmeaFieldSize];
    span_text(s, buf);
    packed = parse_date_ddmmyy(buf, nullptr);
    memo_keep(&p->memo_date, s, packed);
  }
  return packed;
}

bool nmea_number_ok(const char* text) {
  return well_formed(text, text + std::strlen(text));
}

double nmea_position_seconds(const char* value, const char* hemisphere) {
  if (value[0] && !nmea_number_ok(value)) return std::nan("");
  return with_hemisphere(position_magnitude(str_to_double(value)),
                         hemisphere ? hemisphere[0] : '\0');
}
