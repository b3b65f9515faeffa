// The frame's title and status texts, kept on its window object (the command target):
// the title, a status part (the display system) and a status text. A timed status text
// (a message the user should see) stays for at least 20 seconds against later timed
// texts; the dispatcher's untimed empty text at every command leaves it. Every change
// sets the texts-changed flag, which the frame's periodic title refresh reads.
#include <cstring>

#include "core/dates.h"
#include "core/memory.h"
#include "core/tracelog.h"
#include "map/mapwin.h"

namespace {

constexpr double kTimedStatusSeconds = 20.0;

mapwin_t* target_or(mapwin_t* target) {
  if (target) return target;
  auto fn = mapwin_get_ui_hooks().command_target;
  obj_t* t = fn ? fn() : nullptr;
  return t && t->cls == CLS_MAPWIN ? static_cast<mapwin_t*>(t) : nullptr;
}

const char* text_or_empty(const char* s) { return s ? s : ""; }

// The three owned texts of the record. They are read and written by name, never through
// a pointer to member: the record is packed and the fields may be unaligned.
enum text_field { kTitle, kStatusPart, kStatusText };

char* get_text(const mapwin_t* win, text_field f) {
  switch (f) {
    case kTitle: return win->title;
    case kStatusPart: return win->status_part;
    default: return win->status_text;
  }
}

void put_text(mapwin_t* win, text_field f, char* text) {
  switch (f) {
    case kTitle: win->title = text; break;
    case kStatusPart: win->status_part = text; break;
    default: win->status_text = text; break;
  }
}

// Replaces an owned text of the record; false when it was equal already.
bool replace_text(text_field field, mapwin_t* win, const char* text) {
  char* owned = get_text(win, field);
  if (std::strcmp(text_or_empty(owned), text) == 0) return false;
  str_set(text, &owned);
  put_text(win, field, owned);
  win->texts_changed = 1;
  return true;
}

// The clock gives whole seconds, and a difference of packed dates (day number and
// fraction in one double) may come out a fraction of a millisecond short: half a second
// of slack makes exactly 20 elapsed seconds count as 20.
bool timed_text_holds(const mapwin_t* win, double now) {
  return date_diff(win->status_start, now) < seconds_to_days(kTimedStatusSeconds - 0.5);
}

}  // namespace

void main_set_title_text(const char* text) {
  if (mapwin_t* t = target_or(nullptr)) replace_text(kTitle, t, text_or_empty(text));
}

void main_set_status_part(const char* text) {
  if (mapwin_t* t = target_or(nullptr)) replace_text(kStatusPart, t, text_or_empty(text));
}

void main_set_status_text(mapwin_t* target, const char* text, int timed) {
  mapwin_t* t = target_or(target);
  if (!t) return;
  text = text_or_empty(text);
  const bool empty = *text == '\0';
  if (!t->timed_status && timed && empty) return;
  if (std::strcmp(text, text_or_empty(get_text(t, kStatusText))) == 0) return;
  const double now = date_now();
  if (t->timed_status) {
    if (timed && timed_text_holds(t, now)) return;
    if (!timed && empty) return;
  }
  t->timed_status = timed && !empty ? 1 : 0;
  t->status_start = t->timed_status ? now : 0.0;
  replace_text(kStatusText, t, text);
  if (timed) log_error_line(text);
}

void main_set_doc_text(const char* file_name) {
  mapwin_t* t = target_or(nullptr);
  if (!t) return;
  replace_text(kTitle, t, text_or_empty(file_name));
  replace_text(kStatusPart, t, "");
  if (t->timed_status || text_or_empty(get_text(t, kStatusText))[0] == '\0') return;
  t->status_start = 0.0;
  replace_text(kStatusText, t, "");
}

void main_clear_status_text_if(mapwin_t* target, const char* text) {
  mapwin_t* t = target_or(target);
  if (!t || !text || !*text) return;
  if (std::strcmp(text, text_or_empty(get_text(t, kStatusText))) != 0) return;
  t->timed_status = 0;
  t->status_start = 0.0;
  replace_text(kStatusText, t, "");
}

char* main_get_title_text(const mapwin_t* target, char** out) {
  const mapwin_t* t = target ? target : target_or(nullptr);
  char* text = nullptr;
  if (t) {
    str_set(t->title, &text);
    str_cat("   ", &text);
    str_cat(t->status_part, &text);
    str_cat("   ", &text);
    str_cat(t->status_text, &text);
  }
  if (out) {
    free_mem(out);
    *out = text;
  }
  return text;
}
