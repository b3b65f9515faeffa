// Inside the MIF reader: the reading context, the transition table and the handlers the
// table names, shared by the reader's files.
#pragma once
#include <cstdint>

#include "core/obj_list.h"

struct georef_t;

constexpr int kMifTokenSize = 2001;  // a word of up to 2000 characters and its NUL
constexpr int kMifTextSize = 256;    // a quoted text of up to 255 characters
constexpr int kMifStateCount = 10;

// One per file.
struct mif_context {
  container_t* list = nullptr;   // the file's object list
  char token[kMifTokenSize] = {};
  int64_t remaining = 0;         // bytes of the file not read yet
  int64_t file_size = 0;
  int token_length = 0;
  uint32_t pen_colour = 0, brush_colour = 0, symbol_colour = 0, font_colour = 0;
  int pen_width = 1;
  int pen_style = 1;
  int brush_kind = 1;
  int symbol_shape = 3;
  int font_family = 0;
  int font_style = 1;            // thickness part of the text style (1, or 3 bold)
  int font_underital = 0;        // 1 italic, 2 underline, 3 both
  int symbol_size = 3;
  int font_size = 0;
  georef_t* georef = nullptr;    // null after a NonEarth system or a refused one
  container_t* recent = nullptr; // objects made since the last style clause
  bool style_seen = false;
  bool ended = false;            // the file ended inside a clause's numbers
};

// A handler of the transition table.
using mif_handler = void (*)(mif_context* c);
struct mif_transition {
  mif_handler handler;  // null: nothing
  int next;
};
// The transition of (state, code); code kMifOther for a word outside the dictionary.
const mif_transition& mif_transition_of(int state, int code);

// ---- Numbers and words (mif_read.cpp) ---------------------------------------------------
// The next number (number scanner); at the end of the file 0, and `ended` is set.
double mif_number(mif_context* c);
// The next count (integer scanner); at the end of the file 0, and `ended` is set.
int64_t mif_count(mif_context* c);
// A count of items that each take at least `bytes_each` bytes: false (gblerr 14, reading
// stops) when it is negative or the bytes left cannot hold it.
bool mif_count_fits(mif_context* c, int64_t n, int64_t bytes_each);
// The next blank-delimited word (lower case) into c->token; its length.
int mif_next_word(mif_context* c);
// A quoted text into buf (size bytes with its NUL).
void mif_quoted(mif_context* c, char* buf, int size);
// Reading stops with error 14.
void mif_error(mif_context* c);
// Syncs `remaining` with the reader after a scanner that keeps no budget.
void mif_sync(mif_context* c);
// A new object of class cls in the list, joined to `recent` (emptied first when a style
// clause was applied since the last object).
obj_t* mif_new_object(mif_context* c, int cls);

// ---- Handlers -----------------------------------------------------------------------------
// Objects (mif_read_objects.cpp).
void mif_on_point(mif_context* c);
void mif_on_multipoint(mif_context* c);
void mif_on_line(mif_context* c);
void mif_on_pline(mif_context* c);
void mif_on_region(mif_context* c);
void mif_on_arc(mif_context* c);
void mif_on_text(mif_context* c);
void mif_on_rect(mif_context* c);
void mif_on_roundrect(mif_context* c);
void mif_on_ellipse(mif_context* c);
// Styles (mif_read_styles.cpp).
void mif_on_pen(mif_context* c);
void mif_on_brush(mif_context* c);
void mif_on_symbol(mif_context* c);
void mif_on_font(mif_context* c);
void mif_on_label(mif_context* c);
// Header (mif_read_coordsys.cpp).
void mif_on_columns(mif_context* c);
void mif_on_coordsys(mif_context* c);
void mif_on_projection(mif_context* c);
void mif_on_affine(mif_context* c);
void mif_on_transform(mif_context* c);
// Keeps a transformation step a georeference points at until mif_free_tables (null:
// nothing).
void mif_keep_step(obj_t* step);
// Removes the file's georeference from the list and deletes it.
void mif_drop_georef(mif_context* c);

// ---- Style tables (mif_read_styles.cpp) -----------------------------------------------------
int mif_pen_width_of(int w);
int mif_pen_style_of(int pattern);
int mif_brush_kind_of(int pattern);
int mif_symbol_shape_of(int code);
uint32_t mif_colour_of(int64_t c);
