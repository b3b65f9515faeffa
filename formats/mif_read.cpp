// The MIF reader's loop: the file opened with a 1 MiB buffer, the VERSION line skipped,
// then word after word through the transition table (mif_tables.cpp) until the file, or
// an error, ends it; the default styles of the drawn shapes and the file's folder then.
//
// Words. A word is read up to the next blank; a word that begins with a digit, ':' or
// ';' is the rest of a clause this reader does not read (coordinates of a Center, the
// back colour of a Brush, a column's type ...), and its line is skipped. Numbers are
// read with the number scanner (separators, parentheses and commas skipped) and counts
// with the integer scanner; either one at the end of the file notes that the file ended
// inside a clause, which the handler that asked decides about.
#include <cctype>
#include <cstring>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/reader.h"
#include "core/scanner.h"
#include "formats/mif.h"
#include "formats/mif_read_internal.h"
#include "geodesy/georef.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr int64_t kBufferSize = 1048576;
constexpr double kStyleScale = 200.0;

// A scanner that met the end of the file leaves gblerr 2: the file ended inside the
// clause, which is the handler's to judge, not a failure of the read.
void note_end(mif_context* c) {
  if (get_gblerr() == ERR_FILE_ACCESS) {
    set_gblerr(0);
    c->ended = true;
  }
}

void init_context(mif_context* c, container_t* list) {
  c->list = list;
  const uint32_t red = gps_rgb(255, 0, 0);
  c->pen_colour = c->brush_colour = c->symbol_colour = c->font_colour = red;
  c->pen_width = 1;
  c->pen_style = 1;
  c->brush_kind = 1;
  c->symbol_shape = 3;
  c->symbol_size = 3;
  c->font_family = 0;
  c->style_seen = false;
  obj_list_new(&c->recent);
  georef_t* g = nullptr;
  georef_create(list, &g);
  if (g) g->unit = 1;
  c->georef = g;
}

// The default styles: every display value from the object, at a scale of 200; texts
// at the fixed size 10.
void make_styles(container_t* list) {
  geopoint_style_create(list, nullptr, nullptr, NULL_INT, NULL_INT, NULL_INT, kStyleScale);
  geotext_style_create(list, nullptr, nullptr, 10, NULL_INT, NULL_INT, kStyleScale);
  geosegment_style_create(list, nullptr, nullptr, NULL_INT, NULL_INT, kStyleScale);
  geoarcellip_style_create(list, nullptr, nullptr, NULL_INT, NULL_INT, NULL_INT, kStyleScale);
  georectangle_style_create(list, nullptr, nullptr, NULL_INT, NULL_INT, NULL_INT, kStyleScale);
  obj_t* o = nullptr;
  obj_new_in_list(list, CLS_DPOLYCURVE, &o);
  if (!o || get_gblerr()) return;
  auto* s = static_cast<dpolycurve_t*>(o);
  s->typesrc = CLS_LOIL;
  s->contsrc = list;
  s->meterpixsize = kStyleScale;
  s->plcoord = int32_t(offsetof(loil_t, loicoord));
  s->pcolour = int32_t(offsetof(loil_t, colour));
  s->pedgemotif = int32_t(offsetof(loil_t, edgemotif));
  s->pfillmotif = int32_t(offsetof(loil_t, fillmotif));
  s->pthickness = int32_t(offsetof(loil_t, thickness));
}

// 1 when the list holds a drawn object (anything but georeferences and the
// transformation steps of the header).
bool has_objects(const container_t* list) {
  for (int i = 0; i < obj_list_count(list); ++i) {
    const obj_t* o = list->elems[i];
    if (!o) continue;
    switch (o->cls) {
      case CLS_GEOPOINT: case CLS_GEOSEGMENT: case CLS_LOIL: case CLS_GEORECTANGLE:
      case CLS_GEOARCELLIP: case CLS_GEOTEXT:
        return true;
      default:
        break;
    }
  }
  return false;
}

int run(mif_context* c) {
  int state = 0;
  while (c->remaining > 0) {
    core_progress_file_position("MIF");
    if (mif_next_word(c) == 0) break;
    const int code = mif_keyword_code(c->token);
    const mif_transition& t = mif_transition_of(state, code);
    if (t.handler) t.handler(c);
    state = t.next;
    const int err = get_gblerr();
    if (err != 0) {
      set_gblerr(0);
      return err;
    }
  }
  return 0;
}

}  // namespace

void mif_sync(mif_context* c) { c->remaining = rd_bytes_left(); }

double mif_number(mif_context* c) {
  if (rd_at_end()) {
    c->ended = true;
    return 0.0;
  }
  const double v = rd_scan_double();
  note_end(c);
  mif_sync(c);
  return v;
}

int64_t mif_count(mif_context* c) {
  mif_sync(c);
  const int64_t n = rd_read_long(&c->remaining);
  note_end(c);
  if (c->remaining <= 0 && n == 0) c->ended = true;
  mif_sync(c);
  return n;
}

bool mif_count_fits(mif_context* c, int64_t n, int64_t bytes_each) {
  mif_sync(c);
  if (n >= 0 && (n == 0 || n <= c->remaining / bytes_each)) return true;
  mif_error(c);
  return false;
}

int mif_next_word(mif_context* c) {
  for (;;) {
    mif_sync(c);
    char stop = '\0';
    rd_read_token(sizeof c->token, &c->remaining, c->token, &stop);
    note_end(c);
    const unsigned char first = static_cast<unsigned char>(c->token[0]);
    if (first >= '0' && first <= ';') {
      if (stop != '\n' && stop != '\r') rd_skip_line(&c->remaining);
      note_end(c);
      continue;
    }
    int n = 0;
    for (; c->token[n]; ++n) c->token[n] = char(std::tolower(static_cast<unsigned char>(c->token[n])));
    c->token_length = n;
    mif_sync(c);
    return n;
  }
}

void mif_quoted(mif_context* c, char* buf, int size) {
  mif_sync(c);
  rd_read_quoted(size_t(size), &c->remaining, buf);
  note_end(c);
  mif_sync(c);
}

void mif_error(mif_context* c) {
  c->remaining = 0;
  set_gblerr(kMifBadData);
}

obj_t* mif_new_object(mif_context* c, int cls) {
  if (c->style_seen) {
    obj_list_clear(c->recent);
    c->style_seen = false;
  }
  obj_t* o = nullptr;
  obj_new_in_list(c->list, cls, &o);
  if (!o || get_gblerr()) return nullptr;
  obj_list_append(c->recent, o);
  return o;
}

int mif_read(obj_t* file, container_t* list) {
  if (!list || rd_open(file, kBufferSize, 1) != 0) {
    set_gblerr(0);
    return kMifCannotOpen;
  }
  mif_context* c = new mif_context;
  init_context(c, list);
  c->file_size = rd_size();
  c->remaining = c->file_size;
  rd_skip_line(&c->remaining);  // the VERSION line
  note_end(c);
  int err = get_gblerr();
  if (err == 0) err = run(c);
  set_gblerr(0);
  const bool any = has_objects(list);
  if (err == 0 && any) make_styles(list);
  if (err == 0) err = get_gblerr();
  set_gblerr(0);
  free_obj(&c->recent);
  delete c;
  if (err != 0) return err;
  if (!any) return kMifBadData;
  if (file_of(file)) folder_get_or_create(file, list, 0, nullptr);
  err = get_gblerr();
  set_gblerr(0);
  return err;
}
