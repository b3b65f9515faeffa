// What the GPX reader's routines share: the reader state and the lookups of the element
// stack (gpx_read.cpp, gpx_read_text.cpp).
#pragma once
#include <cstdint>

#include "core/xml.h"
#include "formats/gpx.h"

struct obj_t;

// One read. owner[k] is the object that the element at stack position k made when it
// started (null when it made none); a start tag clears its slot first, so a slot never
// speaks for an earlier element of the same depth.
struct gpx_reader {
  container_t* list;
  obj_t* owner[kXmlMaxDepth];
  int64_t made;    // objects made so far
  int64_t routes;  // routes made so far
};

inline gpx_reader* gpx_state(xml_parser_t* ctx) { return static_cast<gpx_reader*>(ctx->user); }

// Position of the element on top of the stack (-1 when none is stacked).
inline int gpx_top(const xml_parser_t* ctx) {
  return (ctx->depth < kXmlMaxDepth ? ctx->depth : kXmlMaxDepth) - 1;
}
// The code of the element at a stack position: names outside the dictionary count as 0.
inline int gpx_code_at(const xml_parser_t* ctx, int k) {
  if (k < 0) return GPX_NONE;
  const int id = ctx->stack[k];
  return id >= 1 && id <= kGpxElementCount ? id : GPX_NONE;
}
// The position of the nearest element enclosing position k whose code is in the
// dictionary (passing over code-0 elements), -1 when there is none.
inline int gpx_known_parent(const xml_parser_t* ctx, int k) {
  for (int p = k - 1; p >= 0; --p)
    if (gpx_code_at(ctx, p) != GPX_NONE) return p;
  return -1;
}

// The object that the element at position k made, when it is of class `cls`. Null when
// that element made nothing (the text is ignored); an object of another class is bad
// data: error 14 with `strict`, else ignored.
obj_t* gpx_owner_of(xml_parser_t* ctx, int k, int cls, bool strict = true);

// Text routine of an element code, given the element's stack position and its text.
using gpx_text_fn = void (*)(xml_parser_t* ctx, int top, const char* text);
extern const gpx_text_fn gpx_text_routines[kGpxElementRoutines];
