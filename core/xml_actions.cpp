// The action routines of the XML automaton and its run loop (see xml_automaton.h).
//
// The text buffer always keeps room for 16 more bytes and the terminating NUL before
// an action runs: the largest single append is 15 held bytes and one more (H+A), and a
// reference adds at most 4 bytes. It grows in steps of 1000 bytes, or of half its size
// once it is large, so a long text costs no more than a few copies; a text beyond
// kXmlMaxText stops the parse with gblerr 1 rather than exhaust memory.
//
// The element stack holds kXmlMaxDepth ids; `depth` counts every open element, so the
// elements beyond the stack are opened and closed by counting alone and an end of
// element always closes what its start opened.
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "core/wstring.h"
#include "core/xml_automaton.h"

namespace {

constexpr uint32_t kTextRoom = kXmlRefSize + 1;      // bytes one action may add, and NUL
constexpr uint32_t kTextStep = 1000;
constexpr uint32_t kXmlMaxText = 64u * 1024 * 1024;  // longest text or value delivered
constexpr char32_t kMaxCodePoint = 0x10FFFF;

// ---- Text and reference buffers ------------------------------------------------------

bool grow_text(xml_parser_t* ctx) {
  if (ctx->text_capacity >= kXmlMaxText) {
    set_gblerr(ERR_MEMORY);
    return false;
  }
  uint32_t step = ctx->text_capacity / 2;
  if (step < kTextStep) step = kTextStep;
  if (step > kXmlMaxText - ctx->text_capacity) step = kXmlMaxText - ctx->text_capacity;
  ctx->text_capacity += step;
  realloc_mem(&ctx->text, ctx->text_capacity);
  return true;
}

// Room for one action's bytes and the NUL; false (gblerr set) when the text is too long.
inline bool text_room(xml_parser_t* ctx) {
  return ctx->text_capacity - ctx->text_len >= kTextRoom || grow_text(ctx);
}

inline void terminate_text(xml_parser_t* ctx) { ctx->text[ctx->text_len] = '\0'; }

void lower_in_place(char* s) {
  for (; *s; ++s)
    if (*s >= 'A' && *s <= 'Z') *s = char(*s - 'A' + 'a');
}

// The bytes [from, to) of a name as a word, the first in the low byte. They are read
// one at a time: they were just written so, and loading them as a whole word would
// stall on those stores.
inline uint64_t name_word(const char* name, uint32_t from, uint32_t to) {
  uint64_t w = 0;
  for (uint32_t i = from; i < to; ++i)
    w |= uint64_t(static_cast<unsigned char>(name[i])) << (8 * (i - from));
  return w;
}

// The id of the name in the text buffer in one of the two dictionaries (which: 0
// elements, 1 attributes), through the context's cache of recent lookups.
int lookup(xml_parser_t* ctx, int which, char* name) {
  static_assert(xml_name_cache::kWords == 3);
  if (ctx->lower_case) lower_in_place(name);
  // A name holds no NUL (the automaton appends none to a name): its length is the text's.
  const uint32_t len = ctx->text_len;
  xml_name_cache::entry* slot = nullptr;
  uint64_t w0 = 0, w1 = 0, w2 = 0;
  if (ctx->names && len > 0 && len <= 24) {
    w0 = name_word(name, 0, len < 8 ? len : 8);
    if (len > 8) w1 = name_word(name, 8, len < 16 ? len : 16);
    if (len > 16) w2 = name_word(name, 16, len);
    const uint64_t hash =
        (w0 ^ (w1 * 0x9E3779B97F4A7C15ull) ^ (w2 * 0xC2B2AE3D27D4EB4Full) ^ len) *
        0xFF51AFD7ED558CCDull;
    slot = &ctx->names->slots[which][hash >> (64 - xml_name_cache::kSlotBits)];
    if (slot->len == len && slot->words[0] == w0 && slot->words[1] == w1 &&
        slot->words[2] == w2)
      return slot->id;
  }
  int id = 0;
  dict_lookup(which == 0 ? ctx->elements : ctx->attributes, name, 0, &id);
  if (slot) {
    slot->words[0] = w0;
    slot->words[1] = w1;
    slot->words[2] = w2;
    slot->id = id;
    slot->len = len;
  }
  return id;
}

// ---- Handler calls ---------------------------------------------------------------------

int stacked(const xml_parser_t* ctx) {
  return ctx->depth < kXmlMaxDepth ? ctx->depth : kXmlMaxDepth;
}

void call_element(xml_parser_t* ctx, int id, const char* text) {
  if (id < 0 || id >= ctx->handler_count) return;
  xml_element_handler fn = ctx->element_handlers[id];
  if (fn) fn(ctx, text);
}

void call_attribute(xml_parser_t* ctx, const char* value) {
  if (ctx->depth < 1 || ctx->depth > kXmlMaxDepth || ctx->attr_id < 0) return;
  xml_attr_handler fn = ctx->attr_handlers[ctx->attr_id];
  if (fn) fn(ctx, xml_top_element(ctx), value);
}

// ---- References ------------------------------------------------------------------------

// Value of the digits after a numeric reference's '#' or '#x'; beyond the last code
// point it stops growing (the reference is then invalid).
char32_t numeric_value(const char* digits, int base) {
  char32_t value = 0;
  for (const char* p = digits; *p; ++p) {
    int d;
    if (*p >= '0' && *p <= '9')
      d = *p - '0';
    else if (base == 16 && *p >= 'a' && *p <= 'f')
      d = *p - 'a' + 10;
    else if (base == 16 && *p >= 'A' && *p <= 'F')
      d = *p - 'A' + 10;
    else
      break;
    value = value * base + d;
    if (value > kMaxCodePoint) return kMaxCodePoint + 1;
  }
  return value;
}

// Appends a referenced character in the document's encoding. 0, surrogates and values
// beyond U+10FFFF are no characters: nothing is appended.
void append_character(xml_parser_t* ctx, char32_t c) {
  if (c == 0 || c > kMaxCodePoint || (c >= 0xD800 && c <= 0xDFFF)) return;
  char* out = ctx->text + ctx->text_len;
  if (ctx->encoding == XML_LOCAL) {
    const int b = wchar_to_cp1252(c);
    *out = b > 0 ? char(b) : '?';
    ctx->text_len += 1;
  } else {
    ctx->text_len += uint32_t(utf8_put_char(c, out));
  }
}

// ---- Actions ---------------------------------------------------------------------------

void act_reset(xml_parser_t* ctx, unsigned char) {
  ctx->text_len = 0;
  ctx->ref_len = 0;
  ctx->attr_id = 0;
  ctx->end_tag = 0;
  ctx->section_mark = -1;
}

void act_append(xml_parser_t* ctx, unsigned char b) {
  if (text_room(ctx)) ctx->text[ctx->text_len++] = char(b);
}

void act_flush(xml_parser_t* ctx, unsigned char) {
  if (ctx->text_len > 0 && ctx->depth > 0) {
    terminate_text(ctx);
    call_element(ctx, xml_top_element(ctx), ctx->text);
  }
  ctx->text_len = 0;
}

void act_flush_append(xml_parser_t* ctx, unsigned char b) {
  act_flush(ctx, b);
  if (get_gblerr() == 0) act_append(ctx, b);
}

void act_drop_prefix(xml_parser_t* ctx, unsigned char) {
  ctx->text_len = 0;
  ctx->section_mark = -1;
}

// Only a marked section holds ']' (never a reference or a keyword), and there only the
// last two can end it: when the buffer is full, one ']' goes to the text instead of
// being lost.
void act_hold(xml_parser_t* ctx, unsigned char b) {
  if (ctx->ref_len < kXmlRefSize - 1)
    ctx->ref[ctx->ref_len++] = char(b);
  else if (b == ']' && text_room(ctx))
    ctx->text[ctx->text_len++] = ']';
}

void act_hold_append(xml_parser_t* ctx, unsigned char b) {
  if (!text_room(ctx)) return;
  std::memcpy(ctx->text + ctx->text_len, ctx->ref, size_t(ctx->ref_len));
  ctx->text_len += uint32_t(ctx->ref_len);
  ctx->text[ctx->text_len++] = char(b);
  ctx->ref_len = 0;
}

// The buffer holds '&' and the name (';' is not held).
void act_reference(xml_parser_t* ctx, unsigned char) {
  ctx->ref[ctx->ref_len] = '\0';
  char32_t value = 0;
  if (ctx->ref_len >= 3 && ctx->ref[1] == '#') {
    const bool hex = ctx->ref[2] == 'x' || ctx->ref[2] == 'X';
    value = hex ? numeric_value(ctx->ref + 3, 16) : numeric_value(ctx->ref + 2, 10);
  } else if (ctx->ref_len > 1) {
    int v = 0;
    dict_lookup(ctx->entities, ctx->ref + 1, 0, &v);
    value = v > 0 ? char32_t(v) : 0;
  }
  ctx->ref_len = 0;
  if (value && text_room(ctx)) append_character(ctx, value);
}

void act_keyword(xml_parser_t* ctx, unsigned char) {
  ctx->ref[ctx->ref_len] = '\0';
  ctx->section_mark = std::strcmp(ctx->ref, "CDATA") == 0 ? -1 : int32_t(ctx->text_len);
  ctx->ref_len = 0;
}

// The reference buffer holds the ']' characters read before '>': all but the last two
// belong to the section's text.
void act_section_end(xml_parser_t* ctx, unsigned char) {
  if (ctx->ref_len > 2 && text_room(ctx)) {
    std::memcpy(ctx->text + ctx->text_len, ctx->ref, size_t(ctx->ref_len - 2));
    ctx->text_len += uint32_t(ctx->ref_len - 2);
  }
  if (ctx->section_mark >= 0) ctx->text_len = uint32_t(ctx->section_mark);
  ctx->section_mark = -1;
  ctx->ref_len = 0;
}

// After a comment or a marked section: the blank separates the text before it from
// the text after it, unless the text before already ends in a blank (the run is then
// folded) or there is none (it is a leading blank).
void act_blank(xml_parser_t* ctx, unsigned char b) {
  if (ctx->text_len == 0) return;
  const char last = ctx->text[ctx->text_len - 1];
  if (last == ' ' || last == '\t' || last == '\r' || last == '\n') return;
  act_append(ctx, b);
}

void act_start_tag(xml_parser_t* ctx, unsigned char) {
  terminate_text(ctx);
  if (ctx->depth >= kXmlMaxDepth) {
    // Counted, not stacked, not reported.
    if (ctx->depth < INT32_MAX) ++ctx->depth;
  } else {
    const int id = lookup(ctx, 0, ctx->text);
    ctx->stack[ctx->depth++] = id;
    ctx->end_tag = 0;
    call_element(ctx, id, nullptr);
  }
  ctx->text_len = 0;
}

void act_pop(xml_parser_t* ctx, unsigned char) {
  if (ctx->depth > 0) --ctx->depth;
}

void act_attr_name(xml_parser_t* ctx, unsigned char) {
  terminate_text(ctx);
  ctx->attr_id = 0;
  if (ctx->depth >= 1 && ctx->depth <= kXmlMaxDepth) {
    ctx->attr_id = lookup(ctx, 1, ctx->text);
    call_attribute(ctx, nullptr);
  }
  ctx->text_len = 0;
  ctx->ref_len = 0;
}

// A reference left open before the closing quote ("a&") is dropped with the value.
void act_attr_value(xml_parser_t* ctx, unsigned char) {
  terminate_text(ctx);
  call_attribute(ctx, ctx->text);
  ctx->text_len = 0;
  ctx->ref_len = 0;
}

void act_end_tag(xml_parser_t* ctx, unsigned char) {
  terminate_text(ctx);
  if (ctx->depth > kXmlMaxDepth) {
    --ctx->depth;  // closes the deepest element, which was never stacked
  } else {
    const int id = lookup(ctx, 0, ctx->text);
    for (int k = ctx->depth - 1; k >= 0; --k) {
      if (ctx->stack[k] != id) continue;
      ctx->end_tag = 1;
      call_element(ctx, id, nullptr);
      ctx->end_tag = 0;
      ctx->depth = k;
      break;
    }
  }
  ctx->text_len = 0;
}

}  // namespace

const xml_action_fn xml_action_routines[XA_COUNT] = {
    nullptr,          act_reset,       act_append,     act_flush,       act_flush_append,
    act_drop_prefix,  act_hold,        act_hold_append, act_reference,  act_keyword,
    act_section_end,  act_start_tag,   act_pop,        act_attr_name,   act_attr_value,
    act_end_tag,      act_blank};

void xml_forget_element_names(xml_parser_t* ctx) {
  if (ctx->names)
    for (auto& slot : ctx->names->slots[0]) slot.len = 0;
}

int xml_top_element(const xml_parser_t* ctx) {
  const int n = ctx ? stacked(ctx) : 0;
  return n > 0 ? ctx->stack[n - 1] : 0;
}

void xml_run(xml_parser_t* ctx, const unsigned char* bytes, size_t n) {
  const xml_cell* table = xml_byte_transitions;
  int state = ctx->state;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char b = bytes[i];
    const xml_cell cell = table[state * 256 + b];
    if (cell.action == XA_APPEND && ctx->text_capacity - ctx->text_len >= kTextRoom) {
      ctx->text[ctx->text_len++] = char(b);  // act_append without the call: most bytes
      if (cell.next == state) {
        // A run of bytes that append and stay in this state (a name, a value, a text):
        // each next cell is found from its byte alone, not from the cell before it.
        const xml_cell* row = table + state * 256;
        char* text = ctx->text;
        uint32_t len = ctx->text_len;
        const uint32_t limit = ctx->text_capacity - kTextRoom;
        while (i + 1 < n && len <= limit) {
          const xml_cell c = row[bytes[i + 1]];
          if (c.action != XA_APPEND || c.next != state) break;
          text[len++] = char(bytes[++i]);
        }
        ctx->text_len = len;
      }
    } else if (cell.action != XA_NONE) {
      xml_action_routines[cell.action](ctx, b);
      if (get_gblerr() != 0) {
        ctx->state = state;
        return;
      }
    }
    state = cell.next;
  }
  ctx->state = state;
}
