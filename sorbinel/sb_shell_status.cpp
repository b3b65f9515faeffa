// What the viewer's window shows: the error line, the status refresh after every
// browsing step and key, the page label, the shown document and its zoom. Contract in
// sb_state.h and sb_shell.h.
//
// The title, status part and status text live on the main window's object (the command
// target) and become the window text at the next busy_reset, as in the other programs.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>

#include "core/config.h"
#include "core/error.h"
#include "core/tracelog.h"
#include "formats/file_load.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_records.h"
#include "map/view_records.h"
#include "map/view_set.h"
#include "platform/ui/window.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/progress.h"
#include "sorbinel/sb_browse.h"
#include "sorbinel/sb_shell.h"

namespace {

const char* tr(const char* en, const char* fr) { return is_french() ? fr : en; }

constexpr int kFileKindWebPage = 10;
constexpr int kFileKindUrl = 8;
constexpr int kFileKindStream = 12;

// Titles given to files by SBTITLE, by the file object's path (file_get_name).
std::unordered_map<std::string, std::string>& titles() {
  static std::unordered_map<std::string, std::string> t;
  return t;
}

const char* name_of(fileatt_t* file) { return sb_file_shown_name(file); }

// The shown document made anew (empty, no georeference) and attached to the window.
graphspace_t* fresh_document() {
  sb_state& s = sb();
  // The window's pane points into the old document: it goes first.
  if (s.view) mapwin_free_pane(s.view);
  if (s.document) {
    georef_t* old = s.document->georef;
    graphspace_free(&s.document);
    if (old) free_obj(&old);
  }
  // The document's own system is a plain one, no datum and no step: an image without a
  // georeference of its own is placed in it pixel for pixel.
  obj_t* georef = nullptr;
  obj_new_registered(CLS_GEOREF, &georef);
  graphspace_t* gs = nullptr;
  graphspace_new(reinterpret_cast<georef_t*>(georef), &gs);
  s.mirror = 1;
  s.document = gs;
  if (gs) {
    // Image rows go down the screen: the document's y axis points down (formats drawn
    // the other way round turn it back with sb_set_orientation).
    graphspace_set_orientation(gs, 1);
    graphspace_set_current(gs);
    if (s.view) {
      mapwin_attach_graphspace(s.view, gs);
      mapwin_set_size(s.view, s.view->width, s.view->height);
    }
  }
  return gs;
}

}  // namespace

void sb_set_file_title(const char* path, const char* title) {
  if (!path) return;
  if (title)
    titles()[path] = title;
  else
    titles().erase(path);
}

const char* sb_file_shown_name(fileatt_t* file) {
  if (!file) return "";
  const char* name = file_get_name(file);
  auto it = titles().find(name);
  return it == titles().end() ? name : it->second.c_str();
}

void sb_file_titles_clear() { titles().clear(); }

// ---- Document ------------------------------------------------------------------------------
void sb_document_clear() { fresh_document(); }

void sb_document_show_file(fileatt_t* file) {
  graphspace_t* gs = fresh_document();
  if (!gs || !file) return;
  int counter = 0;
  folder_t* it = nullptr;
  for (folder_t* f = file_get_first_folder(file, &it); f; f = file_next_folder(file, &it)) {
    // An image without georeference is shown in its own pixel grid, one world unit a pixel.
    if (f->image && f->image->cls == CLS_BITMAP) {
      bitmap_t* b = static_cast<bitmap_t*>(f->image);
      const extent_t e = b->extent;
      if (!b->georef && !(e.xmax > e.xmin && e.ymax > e.ymin)) bitmap_extent(b, &b->extent);
    }
    graphspace_add_file(gs, f, &counter);
  }
  graphspace_rebuild(gs);
}

void sb_zoom_to(double zoom) {
  mapwin_t* win = sb().view;
  if (!win) return;
  extent_t e{};
  if (sb().document) graphspace_compute_extent(sb().document, &e);
  if (zoom > 0.0 && e.xmax > e.xmin && e.ymax > e.ymin) {
    // One image pixel is one world unit: the zoom is the scale, about the document's centre.
    view_set(win, (e.xmin + e.xmax) / 2.0, (e.ymin + e.ymax) / 2.0, zoom, zoom, 0);
  } else {
    // The whole document; never beyond one pixel per image pixel when the settings say so.
    view_fit_all(win, sb_filter()->no_zoom_max ? 1.0 : 0.0);
  }
  if (sb().mirror < 0) {
    // Mirrored: the horizontal scale turned round about the window's centre.
    const screen_mapping m = win->map;
    if (m.scale_x != 0.0 && m.scale_y != 0.0) {
      const double cx = win->width / (2.0 * m.scale_x) - m.origin_x;
      const double cy = win->height / (2.0 * m.scale_y) - m.origin_y;
      view_set(win, cx, cy, -std::fabs(m.scale_x), std::fabs(m.scale_y), 0);
    }
  }
  mapwin_request_redraw(win);
}

// About the window's centre. The map windows refuse to zoom out once the data is small
// in the window; a viewer zooms out of a small image all the same.
void sb_zoom_by(double factor) {
  mapwin_t* win = sb().view;
  if (!win || !(factor > 0.0)) return;
  const screen_mapping m = win->map;
  if (m.scale_x == 0.0 || m.scale_y == 0.0) return;
  const double cx = win->width / (2.0 * m.scale_x) - m.origin_x;
  const double cy = win->height / (2.0 * m.scale_y) - m.origin_y;
  view_set(win, cx, cy, m.scale_x * factor, std::fabs(m.scale_y) * factor, 0);
  mapwin_request_redraw(win);
}

void sb_zoom_value(double zoom) { sb_zoom_to(zoom); }

void sb_redraw_now() {
  if (sb().view) mapwin_request_redraw_now(sb().view);
}

void sb_set_orientation(int flag) {
  if (sb().view) mapwin_set_orientation(sb().view, flag);
}

// ---- Texts -----------------------------------------------------------------------------------
std::string sb_slideshow_title() {
  const sb_state& s = sb();
  if (!(s.mode & kSbModeSlideshow)) return "";
  const int seconds = s.delay_ms / 1000, tenths = (s.delay_ms % 1000) / 100;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%d%s%ds", tr("Slideshow ", "Diaporama "), seconds, tr(".", ","), tenths);
  return buf;
}

std::string sb_page_label(fileatt_t* file) {
  // Without a shown file the status text stays (the error line's "No valid file").
  if (!file) return sb().status_text;
  std::string label = name_of(file);
  const sb_file_filter_t* f = sb_filter();
  if (f->page_count > f->first_page) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " page %d/%d", int(f->current_page), int(f->page_count - f->first_page + 1));
    label += buf;
  }
  if (file && (file_get_type(file) & 127) != kFileKindWebPage) label += "  " + sb_file_description(file);
  sb().status_text = label;
  main_set_status_text(nullptr, label.c_str(), 0);
  return label;
}

void sb_refresh_status() {
  sb_state& s = sb();
  // An error left by the step that just ran is the user's to see, not a reason to end:
  // it goes to the error line and the viewer goes on.
  if (get_gblerr() != 0) {
    char line[96];
    std::snprintf(line, sizeof line, "%s %d", tr("Internal Error.", "Erreur interne."), get_gblerr());
    log_error_line(line);
    const char* title = get_error_title(get_gblerr());
    sb_show_load_error(s.current, nullptr, title && *title ? title : nullptr);
    return;
  }
  main_set_title_text(sb_slideshow_title().c_str());
  main_set_status_part(name_of(s.current));
  main_set_status_text(nullptr, s.status_text.c_str(), 0);
  busy_reset();
}

void sb_show_reading(fileatt_t* file) {
  const std::string text = std::string(tr("Reading ", "Lecture de ")) + name_of(file);
  main_set_status_text(nullptr, text.c_str(), 0);
  const int type = file_get_type(file) & 127;
  if (type != kFileKindUrl && type != kFileKindStream && get_gblerr() == 0) busy_tick(0, "DISK", nullptr);
  busy_reset();
}

void sb_show_loading(fileatt_t* file) {
  if (sb().mode & kSbModeSlideshow) return;
  const std::string text = std::string(tr("Loading ... ", "Chargement ... ")) + name_of(file);
  main_set_status_text(nullptr, text.c_str(), 0);
  set_busy_cursor(2);
  busy_reset();
}

// ---- The error line ------------------------------------------------------------------------------
void sb_show_load_error(fileatt_t* file, fileatt_t* image, const char* text) {
  sb_state& s = sb();
  if (file) main_set_status_part(file_get_name(file));
  const std::string status = text ? text : tr("Error while loading", "Erreur pendant le chargement");
  s.status_text = status;
  // Timed: the empty text every command starts with leaves it on the line. A newer
  // error replaces an older one at once.
  if (s.frame) s.frame->timed_status = 0;
  main_set_status_text(nullptr, status.c_str(), 1);
  set_gblerr(0);
  sb_file_filter_t* f = sb_filter();
  f->stored_zoom = 1.0;
  f->first_page = 0;
  f->page_count = 0;
  // The document is rebuilt only when no worker task (a redraw, a print) may be reading
  // it; otherwise the line alone tells the error.
  if (task_running_slot() <= 0) {
    sb_document_show_file(image ? image : s.error_image);
    sb_zoom_to(1.0);
    sb_redraw_now();
  }
  busy_reset();
}

void sb_show_no_valid_file() {
  sb_show_load_error(nullptr, sb().unknown_image, tr("No valid file", "Aucun fichier à afficher"));
}

void sb_focus_path_field(int to_path) {
  const sb_state& s = sb();
  if (to_path && s.path_field)
    plat::set_focus(s.path_field);
  else if (s.document_window)
    plat::set_focus(s.document_window);
}
