// The XML engine: one small, table-driven reader for every XML document the system
// reads, and the escaped-text writer.
//
// The engine builds no tree. A reader describes the element and attribute names it
// cares about as two keyword dictionaries (dict.h), gives one handler routine per
// element id and one per attribute id, and the engine calls them while a byte-level
// automaton (a table of action routines by state and character class, xml_table.cpp)
// walks the document. Character data and attribute values reach the handlers as NUL-terminated
// byte strings after reference substitution and whitespace folding: leading blanks
// dropped, every run of blanks folded to its first character, control bytes dropped.
// A handler turns them into wide text with xml_text_to_wcs, or parses numbers from
// them directly.
//
// Handler calls, as the automaton meets the document:
// - element handler (ctx, null) with end_tag 0 at a start tag, once the name is read
//   and before any attribute; (ctx, null) with end_tag 1 at the matching end tag;
//   (ctx, text) for each run of character data of the element on top of the stack.
//   An empty element '<a/>' and a declaration '<?xml ...?>' get no end call.
// - attribute handler (ctx, element id, null) when the attribute name is read (also
//   for an attribute without value), then (ctx, element id, value) at the closing quote;
//   ctx->attr_id holds the attribute's id meanwhile.
// - A handler stops the parse by setting gblerr; the engine tests it after every action.
//
// Markup that is not an element: a comment or a marked section does not split the text
// around it, and a blank right after it is kept when text comes before it ('a<!-- c -->
// b' gives "a b"). A declaration ('<!DOCTYPE r ...>') opens an element of its name that
// is never closed; its internal subset ('[' ... ']') is skipped whole, whatever its
// literals, comments and processing instructions hold, so that the elements after it
// keep their depth.
//
// Malformed input never stops a parse and never crashes it: a bad reference is dropped
// with the pending text, an unexpected byte inside markup skips to the next '>', an end
// tag that matches no open element is ignored. Up to kXmlMaxDepth elements are stacked;
// deeper elements are counted but neither stacked nor reported, and their text goes to
// the deepest stacked element.
//
// Encodings, and what handlers receive. The `encoding` field starts at XML_UTF8 and a
// declaration may change it (xml_set_encoding); the bytes handed to the handlers are:
// - XML_UTF8: the document's bytes (UTF-8, or whatever an undeclared document holds);
// - XML_UTF16: UTF-8. A UTF-16 document (byte-order mark, or "<?" in UTF-16 without
//   one) is decoded to UTF-8 before the automaton, surrogate pairs joined and lone
//   surrogates made U+FFFD, and its declaration cannot change that. A byte document
//   that declares "utf-16" is read as it stands and also counts as UTF-8 text;
// - XML_LOCAL (any other declared encoding: ISO-8859-1, Windows-1252, ...): the
//   document's bytes, local code page text (wstring.h: UTF-8 when valid, else
//   Windows-1252).
// A numeric character reference becomes its character in that same form: UTF-8 bytes
// for XML_UTF8 and XML_UTF16, the Windows-1252 byte (or '?' for a character the code
// page lacks) for XML_LOCAL. Markup, names and numbers are ASCII in every case, so a
// handler may compare names and parse numbers from the bytes directly.
// For wide text a handler calls xml_text_to_wcs, which reads XML_UTF8 and XML_UTF16
// text as UTF-8 (utf8_to_wcs) and XML_LOCAL text as local code page text
// (mbs_to_wcs); a reader never reinterprets the bytes from `encoding` itself. A reader
// that keeps 8-bit text keeps UTF-8: XML_LOCAL text goes through mbs_to_wcs and
// wstr_to_utf8 first.
//
// Files: xml_engine.cpp (contexts, the file and memory entry points, UTF-16 input),
// xml_actions.cpp (the action routines and the run loop), xml_table.cpp (the character
// classes and the transition table), xml_writer.cpp (entities and escaped output).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/dict.h"

struct xml_parser_t;

using xml_element_handler = void (*)(xml_parser_t* ctx, const char* text);
using xml_attr_handler = void (*)(xml_parser_t* ctx, int element_id, const char* value);

constexpr int kXmlMaxDepth = 40;      // elements stacked
constexpr int kXmlStates = 65;        // states of the automaton (xml_table.cpp)
constexpr int kXmlRefSize = 16;       // reference / keyword / held ']' buffer
constexpr int kXmlScratchSize = 500;  // scratch block of the file readers

// Document encodings (field `encoding`).
enum xml_encoding : int { XML_UTF8 = 0, XML_UTF16 = 1, XML_LOCAL = 2 };

// One parse, owned by the caller from xml_parser_create to xml_parser_free.
struct xml_parser_t {
  container_t* elements;               // private clone of the caller's element dictionary
  container_t* attributes;             // the caller's attribute dictionary
  container_t* entities;               // the caller's, or the standard one
  int32_t lower_case;                  // names lower-cased (ASCII) before lookup
  int32_t handler_count;               // element handlers; next id of an unknown name
  xml_element_handler* element_handlers;  // private copy, grown for unknown names
  const xml_attr_handler* attr_handlers;  // the caller's, or a do-nothing slot 0
  container_t* unknown_tags;           // tags made for unknown element names
  int64_t bytes_left;                  // bytes of the file not yet read
  int32_t encoding;                    // xml_encoding
  int32_t state;                       // automaton state 0..kXmlStates-1
  int32_t depth;                       // open elements (may exceed kXmlMaxDepth)
  int32_t stack[kXmlMaxDepth];         // ids of the stacked elements, bottom first
  int32_t attr_id;                     // current attribute id
  int32_t end_tag;                     // 1 while an end-tag handler runs
  uint32_t text_capacity;              // bytes of the text buffer
  char* text;                          // text buffer (owned)
  uint32_t text_len;                   // bytes of text collected
  int32_t section_mark;                // text length where an ignored section began, -1 none
  char ref[kXmlRefSize];               // '&' and a reference name, a keyword, or held ']'
  int32_t ref_len;                     // bytes held in `ref`
  void* caller_data;                   // a word for the caller
  void* user;                          // user data given to xml_parser_create
  intptr_t caller_words[2];            // two further words for the caller
  char* scratch;                       // allocated by the caller, freed with the context
  // Engine-private state after the fields readers use.
  uint32_t handler_capacity;           // slots allocated in element_handlers
  struct xml_name_cache* names;        // recent name lookups of both dictionaries
  int32_t input_mode;                  // how bytes reach the automaton (xml_engine.cpp)
  int32_t input_high_surrogate;        // UTF-16: a high surrogate waiting for its pair
  int32_t input_odd_byte;              // UTF-16: first byte of a unit + 1, 0 when none
};

// Module initialiser: the standard entity dictionary ("amp", "quot", "lt", "gt",
// "apos" to their characters) and its reverse for the writer. Runs at start-up; calling
// it again rebuilds both (tests reset the object store).
void xml_init();
// The standard entity dictionary and its reverse (null before xml_init).
container_t* xml_standard_entities();
container_t* xml_standard_entity_names();

// Two dict_build calls; returns gblerr.
int dict_build_pair(int element_count, tag_t* element_table, int attr_count,
                    tag_t* attr_table, container_t** out_elements,
                    container_t** out_attributes);
// dict_build_pair for a module initialiser that may run again (tests reset the object
// store): the two dictionaries are freed first and the ids the tables kept from an
// earlier object store are cleared.
int dict_rebuild_pair(int element_count, tag_t* element_table, int attr_count,
                      tag_t* attr_table, container_t** elements, container_t** attributes);

// Makes a context: the element dictionary is cloned (unknown names are added to the
// clone), `entities` null takes the standard ones, handler slots 1..n-1 are copied and
// slot 0 becomes xml_unknown_element, `attr_handlers` null gives a do-nothing slot 0
// (no attribute name is then looked up: every attribute has id 0).
// The caller's attribute handler table must have a slot for every id of its attribute
// dictionary, and neither dictionary may change during a parse (the engine remembers
// recent lookups). Returns the context (also in *out), null on failure with gblerr set.
xml_parser_t* xml_parser_create(void* user, container_t* elements, container_t* attributes,
                                container_t* entities, int lower_case, int handler_count,
                                const xml_element_handler* element_handlers,
                                const xml_attr_handler* attr_handlers, xml_parser_t** out);
// Runs the automaton over the whole file through the buffered reader (128 KiB buffer).
// A file that cannot be opened: gblerr 2 and no handler is called. Text pending at the
// end of the file is not delivered and open elements get no end call.
void xml_read_file(obj_t* file, xml_parser_t* ctx);
// The same over bytes in memory.
void xml_read_bytes(const void* bytes, size_t n, xml_parser_t* ctx);
// Frees everything the context owns, the context itself, and nulls *ctx.
void xml_parser_free(xml_parser_t** ctx);

// Element slot 0: gives an unknown element name an id of its own, whose handler does
// nothing, so later occurrences and its end tag find it.
void xml_unknown_element(xml_parser_t* ctx, const char* text);
// Converts handler text to an owned wide string by the document's encoding:
// XML_UTF8 and XML_UTF16 (decoded to UTF-8 on input) by utf8_to_wcs, XML_LOCAL by
// mbs_to_wcs. Null text gives u"".
void xml_text_to_wcs(xml_parser_t* ctx, const char* text, char16_t** owner);
// Attribute handler for "encoding" of the declaration (element id 1): "utf-8" gives
// UTF-8, "utf-16" UTF-16, anything else the local code page (case ignored).
void xml_set_encoding(xml_parser_t* ctx, int element_id, const char* value);
// The id of the element on top of the stack, 0 when none is open.
int xml_top_element(const xml_parser_t* ctx);

// Writes wide text as UTF-8 with '&', '"', '<', '>' and '\'' written as entities.
// Null writes nothing.
void xml_write_text(FILE* out, const char16_t* text);
