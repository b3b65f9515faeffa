// The HTML automaton: the XML automaton's table (xml_table.cpp) with the changes that
// make it tolerant of real pages, two more states, and the run loop that drives the
// engine's action routines with it (see html.h).
//
// The XML states keep their meaning; two more follow them: kSkipToBlank skips to a
// blank or '>' (a stray byte between or inside attributes loses only the attribute it
// is in, not the tag), kUnquoted reads an unquoted value. A reference
// that cannot be completed is text, as browsers show it: its held bytes are appended
// (HX_HELD_TEXT and its variants). An unquoted value runs to a blank or '>', as in
// HTML, so "href=/maps/a.htm" is read whole.
//
// Elements that never have content are closed at the '>' of their start tag; the run
// loop notes in caller_words[1] that a start tag is open until its tag ends.
#include <array>
#include <initializer_list>

#include "core/error.h"
#include "core/html.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/xml_automaton.h"

namespace {

// Actions of the HTML table beyond the XML ones.
enum html_action : uint8_t {
  HX_HELD_HOLD = XA_COUNT,  // held bytes become text, the byte starts a new reference
  HX_HELD_VALUE,            // held bytes become text, then the value is complete
  HX_HELD_FLUSH,            // held bytes become text, then the text is delivered
  HX_COUNT
};

constexpr uint8_t kSkipToBlank = kXmlStates;
constexpr uint8_t kUnquoted = kXmlStates + 1;
static_assert(kUnquoted + 1 == kHtmlStates);

constexpr int64_t kReaderBuffer = 131072;
constexpr size_t kBlock = 65536;

using table_t = std::array<std::array<xml_cell, XC_COUNT>, kHtmlStates>;

struct diff {
  uint8_t cls;
  uint8_t action;
  uint8_t next;
};

void set(table_t& t, int s, std::initializer_list<diff> diffs) {
  for (const diff& d : diffs) t[s][d.cls] = {d.action, d.next};
}
void set_all(table_t& t, int s, uint8_t action, uint8_t next) {
  for (auto& cell : t[s]) cell = {action, next};
}

// A reference inside a quoted value: `text` the value's text state, `blank` its state
// after a blank, `quote` and `other` the value's own quote and the other one, `ctl`
// where a control byte goes. A further '&' is set by the caller.
void tolerant_value_reference(table_t& t, int s, int text, int blank, int quote, int other,
                              xml_cell ctl) {
  const uint8_t T = uint8_t(text);
  for (int c = 0; c < XC_COUNT; ++c) {
    const xml_cell xml = t[s][c];
    if (xml.action != XA_HOLD && xml.action != XA_REFERENCE)
      t[s][c] = {XA_HOLD_APPEND, T};  // cannot continue the name: it is text
  }
  set(t, s, {{XC_SPACE, XA_HOLD_APPEND, uint8_t(blank)},
             {uint8_t(quote), HX_HELD_VALUE, 17}, {uint8_t(other), XA_HOLD_APPEND, T},
             {XC_OTHER, XA_HOLD_APPEND, T},
             {XC_LT, XA_NONE, kSkipToBlank}});
  t[s][XC_CONTROL] = ctl;
}

table_t build() {
  table_t t{};
  for (int s = 0; s < kXmlStates; ++s)
    for (int c = 0; c < XC_COUNT; ++c) t[s][c] = xml_transition(s, c);
  constexpr uint8_t _ = XA_NONE, A = XA_APPEND, F = XA_FLUSH, H = XA_HOLD, HA = XA_HOLD_APPEND,
                    R = XA_RESET, N = XA_ATTR_NAME, V = XA_ATTR_VALUE;
  // Content: text is delivered before markup; a reference that cannot go on is text.
  set(t, 1, {{XC_LT, F, 5}});
  for (int s : {3, 4}) {
    for (int c = 0; c < XC_COUNT; ++c)
      if (t[s][c].action == R) t[s][c] = {HA, 1};
    set(t, s, {{XC_LT, HX_HELD_FLUSH, 5}, {XC_AMP, HX_HELD_HOLD, 3}});
  }
  set(t, 3, {{XC_SQUOTE, R, 0}});
  // Marked sections keep control bytes; a third ']' is text.
  set(t, 13, {{XC_CONTROL, A, 13}});
  set(t, 15, {{XC_RBRACKET, HA, 13}});
  // "/" and "?" may repeat before the '>' of an empty tag.
  set(t, 18, {{XC_SLASH, _, 18}, {XC_QUESTION, _, 18}});
  // Attribute names and values: a stray byte skips to a blank or '>'.
  for (int s : {17, 19, 20, 21})
    for (auto& cell : t[s])
      if (cell.next == 46) cell.next = kSkipToBlank;
  set(t, 19, {{XC_LT, _, 46}});
  for (int c = 0; c < XC_COUNT; ++c)
    if (t[21][c].next == kSkipToBlank)
      t[21][c] = {A, kUnquoted};  // any other byte starts an unquoted value
  set(t, 21, {{XC_CONTROL, _, kSkipToBlank}, {XC_GT, N, 0}});
  // Quoted values: tolerant references; the value's own quote always ends it.
  tolerant_value_reference(t, 24, 23, 22, XC_DQUOTE, XC_SQUOTE, {H, 25});
  tolerant_value_reference(t, 25, 23, 22, XC_DQUOTE, XC_SQUOTE, {_, kSkipToBlank});
  tolerant_value_reference(t, 35, 34, 33, XC_SQUOTE, XC_DQUOTE, {_, kSkipToBlank});
  tolerant_value_reference(t, 36, 34, 33, XC_SQUOTE, XC_DQUOTE, {_, kSkipToBlank});
  set(t, 24, {{XC_AMP, HX_HELD_HOLD, 24}});
  set(t, 25, {{XC_AMP, HX_HELD_HOLD, 24}});
  set(t, 35, {{XC_AMP, HX_HELD_HOLD, 35}});
  set(t, 36, {{XC_AMP, HX_HELD_HOLD, 35}});
  set(t, 22, {{XC_CONTROL, _, 23}});
  set(t, 23, {{XC_CONTROL, _, kSkipToBlank}});
  for (int s = 26; s <= 29; ++s) set(t, s, {{XC_DQUOTE, V, 17}});
  for (int s = 39; s <= 42; ++s) set(t, s, {{XC_SQUOTE, V, 17}});
  // Skipping inside a tag, and unquoted values.
  set_all(t, kSkipToBlank, _, kSkipToBlank);
  set(t, kSkipToBlank, {{XC_SPACE, _, 20}, {XC_GT, R, 0}});
  set_all(t, kUnquoted, A, kUnquoted);
  set(t, kUnquoted, {{XC_CONTROL, _, kSkipToBlank}, {XC_SPACE, V, 17}, {XC_GT, V, 0}});
  return t;
}

struct byte_table {
  std::array<xml_cell, kHtmlStates * 256> cells;
  byte_table() {
    const table_t t = build();
    for (int s = 0; s < kHtmlStates; ++s)
      for (int b = 0; b < 256; ++b) cells[size_t(s * 256 + b)] = t[size_t(s)][xml_class_of(uint8_t(b))];
  }
};

const xml_cell* transitions() {
  static const byte_table table;
  return table.cells.data();
}

// The held bytes of a reference that proved not to be one become text.
void held_to_text(xml_parser_t* ctx) {
  if (ctx->ref_len == 0) return;
  xml_action_routines[XA_HOLD_APPEND](ctx, ' ');  // appends the held bytes and a blank
  if (get_gblerr() == 0) --ctx->text_len;          // which is taken back
}

void run_action(xml_parser_t* ctx, uint8_t action, unsigned char b) {
  switch (action) {
    case HX_HELD_HOLD:
      held_to_text(ctx);
      if (get_gblerr() == 0) xml_action_routines[XA_HOLD](ctx, b);
      break;
    case HX_HELD_VALUE:
      held_to_text(ctx);
      if (get_gblerr() == 0) xml_action_routines[XA_ATTR_VALUE](ctx, b);
      break;
    case HX_HELD_FLUSH:
      held_to_text(ctx);
      if (get_gblerr() == 0) xml_action_routines[XA_FLUSH](ctx, b);
      break;
    default:
      xml_action_routines[action](ctx, b);
  }
}

bool is_void(int id) {
  return id == HE_IMG || id == HE_EMBED || id == HE_META || id == HE_BASE || id == HE_FRAME ||
         id == HE_LINK || id >= kHtmlVoidBase;
}

// At the '>' of a start tag: an element that never has content is closed.
void end_of_start_tag(xml_parser_t* ctx) {
  ctx->caller_words[1] = 0;
  if (ctx->depth < 1 || ctx->depth > kXmlMaxDepth) return;
  const int id = ctx->stack[ctx->depth - 1];
  if (is_void(id)) --ctx->depth;
}

void feed_file(obj_t* file, xml_parser_t* ctx) {
  const int64_t size = rd_size();
  ctx->bytes_left = size;
  unsigned char* block = nullptr;
  alloc_mem(&block, kBlock);
  while (ctx->bytes_left > 0 && get_gblerr() == 0) {
    if (rd_current_file() != file) rd_make_current(file);
    if (rd_buffer_size() == 0 && rd_open(file, kReaderBuffer, 0) != 0) break;
    if (rd_tell() != size - ctx->bytes_left) rd_seek(size - ctx->bytes_left, 0);
    const int64_t want = ctx->bytes_left < int64_t(kBlock) ? ctx->bytes_left : int64_t(kBlock);
    const int64_t got = rd_read_bytes(block, want);
    if (got <= 0) break;
    ctx->bytes_left -= got;
    const int short_read = get_gblerr();
    if (short_read) set_gblerr(0);
    html_run(ctx, block, size_t(got));
    if (short_read) break;
  }
  free_mem(&block);
}

// A name longer than any reference cannot be one: it is text, and so is what follows.
xml_cell overflow(int state, xml_cell cell) {
  switch (state) {
    case 3: case 4: return {XA_HOLD_APPEND, 1};
    case 24: case 25: return {XA_HOLD_APPEND, 23};
    case 35: case 36: return {XA_HOLD_APPEND, 34};
    default: return cell;  // ']' held in a marked section
  }
}

}  // namespace

void html_run(xml_parser_t* ctx, const unsigned char* bytes, size_t n) {
  const xml_cell* table = transitions();
  int state = ctx->state;
  for (size_t i = 0; i < n; ++i) {
    xml_cell cell = table[state * 256 + bytes[i]];
    if (cell.action == XA_HOLD && ctx->ref_len >= kXmlRefSize - 1) cell = overflow(state, cell);
    if (cell.action != XA_NONE) {
      run_action(ctx, cell.action, bytes[i]);
      if (cell.action == XA_START_TAG) ctx->caller_words[1] = 1;
      if (cell.action == XA_POP) ctx->caller_words[1] = 0;
      if (get_gblerr() != 0) {
        ctx->state = state;
        return;
      }
    }
    if (cell.next == 0 && ctx->caller_words[1]) end_of_start_tag(ctx);
    state = cell.next;
  }
  ctx->state = state;
}

void html_read_file(obj_t* file, xml_parser_t* ctx) {
  if (!ctx) return;
  if (rd_open(file, kReaderBuffer, 1) != 0 || rd_size() <= 0) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  ctx->state = 0;
  feed_file(file, ctx);
}

void html_read_bytes(const void* bytes, size_t n, xml_parser_t* ctx) {
  if (!ctx || (!bytes && n)) return;
  ctx->state = 0;
  html_run(ctx, static_cast<const unsigned char*>(bytes), n);
}
