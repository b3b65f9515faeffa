// Parser contexts, the entry points over a file and over memory, and the input stage
// that hands bytes to the automaton (see xml.h).
//
// The input stage looks at the first bytes of a document once: a UTF-16 document
// (byte-order mark, or "<?" in UTF-16 without one) is decoded to UTF-8 block by block,
// a byte or a high surrogate that straddles two blocks being carried over; any other
// document reaches the automaton as it stands. Files are read in blocks through the
// buffered reader, and the automaton runs over each block. Handlers run between two
// blocks and may read other files through the reader (a linked file, a symbol), so
// the document is made the reader's current file again, at its place, before each
// block.
//
// The context owns what the parse adds: the clone of the element dictionary (the
// caller's tags, plus the tags made for unknown names, which it also owns), the handler
// table and the text buffer. These are private objects that sit in no class list, so
// they are released directly, even while an error is pending.
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "core/xml_automaton.h"

namespace {

constexpr int64_t kReaderBuffer = 131072;
constexpr size_t kBlock = 65536;          // bytes handed to the automaton at once
constexpr uint32_t kFirstText = 1000;     // text buffer at creation
constexpr int kMaxUnknownNames = 10000;   // distinct unknown element names given ids

enum input_mode : int32_t { IN_DETECT = 0, IN_BYTES, IN_UTF16LE, IN_UTF16BE };

void handler_nothing(xml_parser_t*, const char*) {}
void attr_nothing(xml_parser_t*, int, const char*) {}
const xml_attr_handler kNoAttrHandlers[1] = {attr_nothing};

// ---- Private objects -------------------------------------------------------------------

void release_list(container_t** list) {
  if (!*list) return;
  obj_list_destroy(*list);
  char* rec = reinterpret_cast<char*>(*list);
  free_mem(&rec);
  *list = nullptr;
}

void release_unknown_tags(container_t** list) {
  const int n = obj_list_count(*list);
  for (int i = 0; i < n; ++i) {
    tag_t* tag = nullptr;
    obj_list_get(*list, i, &tag);
    if (!tag) continue;
    char* name = tag->name;
    free_mem(&name);
    char* rec = reinterpret_cast<char*>(tag);
    free_mem(&rec);
  }
  release_list(list);
}

// ---- Input stage -----------------------------------------------------------------------

int detect_input(const unsigned char* p, size_t n, size_t* skip) {
  *skip = 0;
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    *skip = 2;
    return IN_UTF16LE;
  }
  if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
    *skip = 2;
    return IN_UTF16BE;
  }
  if (n >= 4 && p[0] == '<' && p[1] == 0 && p[2] == '?' && p[3] == 0) return IN_UTF16LE;
  if (n >= 4 && p[0] == 0 && p[1] == '<' && p[2] == 0 && p[3] == '?') return IN_UTF16BE;
  return IN_BYTES;
}

size_t put_utf8(char32_t c, unsigned char* out) {
  return utf8_put_char(c, reinterpret_cast<char*>(out));
}

// One UTF-16 unit; a high surrogate waits in the context for its low half, and a
// surrogate without its other half becomes U+FFFD.
size_t decode_unit(xml_parser_t* ctx, char16_t u, unsigned char* out) {
  size_t n = 0;
  const char16_t high = static_cast<char16_t>(ctx->input_high_surrogate);
  if (high) {
    ctx->input_high_surrogate = 0;
    if (u >= 0xDC00 && u <= 0xDFFF)
      return put_utf8(0x10000 + ((char32_t(high) - 0xD800) << 10) + (u - 0xDC00), out);
    n = put_utf8(0xFFFD, out);
  }
  if (u >= 0xD800 && u <= 0xDBFF) {
    ctx->input_high_surrogate = u;
    return n;
  }
  if (u >= 0xDC00 && u <= 0xDFFF) return n + put_utf8(0xFFFD, out + n);
  return n + put_utf8(u, out + n);
}

// Decodes UTF-16 bytes to UTF-8 in pieces and runs the automaton over each piece.
void feed_utf16(xml_parser_t* ctx, const unsigned char* p, size_t n) {
  constexpr size_t kUnits = 4096;
  unsigned char out[kUnits * 6 + 8];  // at most 6 bytes per unit (U+FFFD and a character)
  const bool little = ctx->input_mode == IN_UTF16LE;
  size_t i = 0;
  while (i < n && get_gblerr() == 0) {
    size_t len = 0;
    for (size_t units = 0; units < kUnits && i < n; ++i) {
      if (!ctx->input_odd_byte) {
        ctx->input_odd_byte = 1 + p[i];  // the first byte of a unit, kept as 1..256
        continue;
      }
      const unsigned first = unsigned(ctx->input_odd_byte - 1);
      ctx->input_odd_byte = 0;
      const char16_t u = little ? char16_t(first | (p[i] << 8)) : char16_t((first << 8) | p[i]);
      len += decode_unit(ctx, u, out + len);
      ++units;
    }
    xml_run(ctx, out, len);
  }
}

void feed(xml_parser_t* ctx, const unsigned char* p, size_t n) {
  if (ctx->input_mode == IN_DETECT) {
    size_t skip = 0;
    ctx->input_mode = detect_input(p, n, &skip);
    if (ctx->input_mode != IN_BYTES) ctx->encoding = XML_UTF16;
    p += skip;
    n -= skip;
  }
  if (ctx->input_mode == IN_BYTES)
    xml_run(ctx, p, n);
  else
    feed_utf16(ctx, p, n);
}

void start_parse(xml_parser_t* ctx, int64_t size) {
  ctx->bytes_left = size;
  ctx->state = 0;
  ctx->input_mode = IN_DETECT;
  ctx->input_high_surrogate = 0;
  ctx->input_odd_byte = 0;
}

// Makes the document the reader's current file at position `at` again after the
// handlers had their turn: reopened when its entry was closed meanwhile (the handler
// closed it, or opened so many files that it fell off the table); false when that
// fails.
bool resume_document(obj_t* file, int64_t at) {
  if (rd_current_file() != file) rd_make_current(file);
  if (rd_buffer_size() == 0 && rd_open(file, kReaderBuffer, 0) != 0) return false;
  if (rd_tell() != at) rd_seek(at, 0);
  return rd_tell() == at;
}

// Room for one more element handler slot.
void grow_handlers(xml_parser_t* ctx) {
  if (uint32_t(ctx->handler_count) < ctx->handler_capacity) return;
  ctx->handler_capacity = ctx->handler_capacity * 2 + 8;
  realloc_mem(&ctx->element_handlers, size_t(ctx->handler_capacity) * sizeof(xml_element_handler));
}

}  // namespace

int dict_build_pair(int element_count, tag_t* element_table, int attr_count,
                    tag_t* attr_table, container_t** out_elements,
                    container_t** out_attributes) {
  dict_build(element_count, element_table, out_elements);
  dict_build(attr_count, attr_table, out_attributes);
  return get_gblerr();
}

int dict_rebuild_pair(int element_count, tag_t* element_table, int attr_count,
                      tag_t* attr_table, container_t** elements, container_t** attributes) {
  free_obj(elements);
  free_obj(attributes);
  for (int i = 0; i < element_count; ++i) element_table[i].id = 0;
  for (int i = 0; i < attr_count; ++i) attr_table[i].id = 0;
  return dict_build_pair(element_count, element_table, attr_count, attr_table, elements, attributes);
}

xml_parser_t* xml_parser_create(void* user, container_t* elements, container_t* attributes,
                                container_t* entities, int lower_case, int handler_count,
                                const xml_element_handler* element_handlers,
                                const xml_attr_handler* attr_handlers, xml_parser_t** out) {
  xml_parser_t* ctx = nullptr;
  alloc_mem_zero(&ctx, sizeof(xml_parser_t));
  if (elements)
    obj_list_clone(elements, &ctx->elements);
  else
    dict_create(&ctx->elements);
  ctx->attributes = attributes;
  ctx->entities = entities ? entities : xml_standard_entities();
  ctx->lower_case = lower_case;
  ctx->handler_count = handler_count > 0 ? handler_count : 1;
  ctx->handler_capacity = uint32_t(ctx->handler_count);
  alloc_mem(&ctx->element_handlers, size_t(ctx->handler_capacity) * sizeof(xml_element_handler));
  ctx->element_handlers[0] = xml_unknown_element;
  for (int i = 1; i < ctx->handler_count; ++i) {
    const xml_element_handler fn = element_handlers ? element_handlers[i] : nullptr;
    ctx->element_handlers[i] = fn ? fn : handler_nothing;
  }
  // Without a handler table there is only the do-nothing slot 0: no attribute name is
  // looked up, so no id can index past it.
  ctx->attr_handlers = attr_handlers ? attr_handlers : kNoAttrHandlers;
  if (!attr_handlers) ctx->attributes = nullptr;
  obj_list_new(&ctx->unknown_tags);
  ctx->user = user;
  ctx->section_mark = -1;
  alloc_mem_zero(&ctx->names, sizeof(xml_name_cache));
  ctx->text_capacity = kFirstText;
  alloc_mem(&ctx->text, ctx->text_capacity);
  ctx->text[0] = '\0';
  if (out) *out = ctx;
  return ctx;
}

void xml_read_file(obj_t* file, xml_parser_t* ctx) {
  if (!ctx) return;
  // A file with nothing to read cannot be opened either.
  if (rd_open(file, kReaderBuffer, 1) != 0 || rd_size() <= 0) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  const int64_t size = rd_size();
  start_parse(ctx, size);
  unsigned char* block = nullptr;
  alloc_mem(&block, kBlock);
  while (ctx->bytes_left > 0 && get_gblerr() == 0) {
    if (!resume_document(file, size - ctx->bytes_left)) {
      set_gblerr(ERR_FILE_ACCESS);
      break;
    }
    const int64_t want = ctx->bytes_left < int64_t(kBlock) ? ctx->bytes_left : int64_t(kBlock);
    const int64_t got = rd_read_bytes(block, want);
    if (got <= 0) break;  // the reader has reported the end of data
    ctx->bytes_left -= got;
    // Data that ends before the file's size (gblerr 2) is still parsed up to its end,
    // as byte-by-byte reading would have; then the error stops the parse.
    const int short_read = get_gblerr();
    if (short_read) set_gblerr(0);
    feed(ctx, block, size_t(got));
    if (short_read) {
      if (get_gblerr() == 0) set_gblerr(short_read);
      break;
    }
  }
  free_mem(&block);
}

void xml_read_bytes(const void* bytes, size_t n, xml_parser_t* ctx) {
  if (!ctx || (!bytes && n)) return;
  start_parse(ctx, int64_t(n));
  const auto* p = static_cast<const unsigned char*>(bytes);
  while (ctx->bytes_left > 0 && get_gblerr() == 0) {
    const size_t piece = ctx->bytes_left < int64_t(kBlock) ? size_t(ctx->bytes_left) : kBlock;
    feed(ctx, p, piece);
    p += piece;
    ctx->bytes_left -= int64_t(piece);
  }
}

void xml_parser_free(xml_parser_t** ctx) {
  if (!ctx || !*ctx) return;
  xml_parser_t* c = *ctx;
  free_mem(&c->element_handlers);
  release_list(&c->elements);
  release_unknown_tags(&c->unknown_tags);
  free_mem(&c->text);
  free_mem(&c->scratch);
  free_mem(&c->names);
  free_mem(ctx);
}

// At a start tag the text buffer holds the element name.
void xml_unknown_element(xml_parser_t* ctx, const char* text) {
  if (!ctx || text || ctx->end_tag) return;
  if (ctx->depth < 1 || ctx->depth > kXmlMaxDepth) return;
  if (obj_list_count(ctx->unknown_tags) >= kMaxUnknownNames) return;  // stays id 0
  tag_t* tag = nullptr;
  obj_t* obj = nullptr;
  obj_new_in_list(ctx->unknown_tags, CLS_TAG, &obj);
  tag = static_cast<tag_t*>(obj);
  if (!tag) return;
  char* name = nullptr;
  str_set(ctx->text, &name);
  tag->name = name;
  tag->val = ctx->handler_count;
  grow_handlers(ctx);
  ctx->element_handlers[ctx->handler_count] = handler_nothing;
  index_insert(ctx->elements, tag);
  xml_forget_element_names(ctx);  // the name may be remembered as unknown
  ctx->stack[ctx->depth - 1] = ctx->handler_count;
  ++ctx->handler_count;
}

void xml_text_to_wcs(xml_parser_t* ctx, const char* text, char16_t** owner) {
  // UTF-16 documents reach the handlers decoded to UTF-8.
  if (ctx && ctx->encoding == XML_LOCAL)
    mbs_to_wcs(text, owner);
  else
    utf8_to_wcs(text, owner);
}

// A UTF-16 document is known by its first bytes; its declaration cannot change that.
void xml_set_encoding(xml_parser_t* ctx, int element_id, const char* value) {
  if (!ctx || element_id != 1 || !value) return;
  if (ctx->input_mode == IN_UTF16LE || ctx->input_mode == IN_UTF16BE) return;
  if (str_compare_ci(value, "utf-8") == 0)
    ctx->encoding = XML_UTF8;
  else if (str_compare_ci(value, "utf-16") == 0)
    ctx->encoding = XML_UTF16;
  else
    ctx->encoding = XML_LOCAL;
}
