// Drawing into a pane: the device context a pane is drawn through, on the screen (the
// window's back buffer, copied to the window when a step of the pass ends) or on a
// printer page, and the clearing of the background rectangles.
//
// A printer page is one document of one page. Its context is the window's `dc` from
// the moment the printing command makes the window; the first pane_begin_drawing
// starts the document and the page, later ones (a pass that gave way and resumed)
// draw on into the same page, and pane_finish_page ends it once the last layer is
// drawn: ending the page at every pane_end_drawing would cut a picture in two and free
// a pane that the resume point still names.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/config.h"
#include "core/core_classes.h"
#include "core/error.h"
#include "map/draw_gdi.h"
#include "map/extent_map.h"
#include "map/quadtree.h"
#include "map/quadtree_internal.h"
#include "map/redraw.h"
#include "platform/print/printer.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/paint.h"

namespace {

const char kPrintErrorFr[] =
    "M\xC3\xA9moire insuffisante\n\nL'impression d'images peut utiliser jusqu'\xC3\xA0 1Go voire plus "
    "de m\xC3\xA9moire.\n\nV\xC3\xA9rifiez que le disque contenant le r\xC3\xA9pertoire du spouleur "
    "d'impression\net le disque c: disposent de suffisament d'espace libre.\nPour d\xC3\xA9terminer "
    "quel est ce disque, vous pouvez relancer une impression\net chercher pour quel le disque "
    "l'espace libre diminue lors de l'impression.\n\nVous pouvez aussi diminuer la m\xC3\xA9moire "
    "n\xC3\xA9" "cessaire \xC3\xA0 l'impression.\nPour cela vous pouvez\n  Diminuer la r\xC3\xA9solution "
    "de l'imprimante,\n  Diminuer le ratio,\n  Enlever le mode pleine page,\n  Activer "
    "l'impression en niveaux de gris.\n";
const char kPrintErrorEn[] =
    "Not enough memory\n\nImages print can use up to 1Gb and more of memory.\n\nCheck that the "
    "drive containing the print spooler\nand c: drive have enough free space.\nTo find this "
    "drive, you can rerun the print\nand look after the drive having free space decreasing "
    "during print.\n\nYou can also descrease the memory needed for printing.\nFor that, you "
    "can\n  Descrease printer resolution,\n  Descrease ratio,\n  Uncheck full page mode,\n  "
    "Check gray level mode.\n";

// A document the printer or the print server did not take (as opposed to a device
// that ran out of memory while drawing): the print-error box gives the reason.
const char kJobErrorFr[] = "Le document n'a pas pu \xC3\xAAtre imprim\xC3\xA9.\n\n";
const char kJobErrorEn[] = "The document could not be printed.\n\n";

// The printer pages whose document and page are started, why a document failed, and
// the map window that was current before drawing began (restored at its end).
struct device_state {
  std::mutex mu;
  std::vector<mapwin_t*> started;
  std::vector<std::pair<mapwin_t*, std::string>> failures;
};
device_state& dev() {
  static device_state d;
  return d;
}
std::atomic<mapwin_t*> g_previous{nullptr};

bool page_started(mapwin_t* win) {
  std::lock_guard<std::mutex> lock(dev().mu);
  return std::find(dev().started.begin(), dev().started.end(), win) != dev().started.end();
}
void forget_page(mapwin_t* win) {
  std::lock_guard<std::mutex> lock(dev().mu);
  auto& s = dev().started;
  s.erase(std::remove(s.begin(), s.end(), win), s.end());
}

// The printing layer's reason for the failure of a document call, kept for the box.
void note_failure(mapwin_t* win) {
  win->print_error = 1;
  std::string reason = plat::last_print_error();
  if (reason.empty()) return;
  std::lock_guard<std::mutex> lock(dev().mu);
  dev().failures.emplace_back(win, std::move(reason));
}
std::string take_failure(mapwin_t* win) {
  std::lock_guard<std::mutex> lock(dev().mu);
  std::string reason;
  auto& f = dev().failures;
  for (auto it = f.begin(); it != f.end();) {
    if (it->first == win) {
      if (reason.empty()) reason = it->second;
      it = f.erase(it);
    } else {
      ++it;
    }
  }
  return reason;
}

// Where the document went, in the status text for the user: the file's full path, or
// the printer and the server's job number.
void tell_printed(plat::Dc dc) {
  const bool fr = is_french() != 0;
  std::string text;
  const std::string file = plat::printed_file(dc);
  if (!file.empty()) {
    text = (fr ? "Imprim\xC3\xA9 dans " : "Printed to ") + file;
  } else if (const int job = plat::printed_job(dc)) {
    text = std::string(fr ? "Envoy\xC3\xA9 \xC3\xA0 l'imprimante " : "Sent to printer ") + plat::printer_dc_name(dc) +
           (fr ? " (travail " : " (job ") + std::to_string(job) + ")";
  }
  if (!text.empty()) main_set_status_text(nullptr, text.c_str(), 1);
}

// Starts the document and its page once; a failure sets the print error flag, which
// makes pane_finish_page abandon the document and tell the user.
void start_printer_page(mapwin_t* win) {
  if (page_started(win) || !win->dc) return;
  const auto* info = static_cast<const print_doc_info*>(win->doc_info);
  const char* name = info && info->name ? info->name : "tarmelo";
  const char* path = info ? info->output_path : nullptr;
  if (plat::start_doc(win->dc, name, path) <= 0 || plat::start_page(win->dc) <= 0) note_failure(win);
  std::lock_guard<std::mutex> lock(dev().mu);
  dev().started.push_back(win);
}

plat::Rect pixel_rect(extent_t e, int grow) {
  return plat::Rect{int(std::floor(e.xmin)), int(std::floor(e.ymin)), int(std::ceil(e.xmax)) + grow,
                    int(std::ceil(e.ymax)) + grow};
}

// Takes the next background rectangle of the pane (under the lists' locks).
bool take_background(pane_t* pane, extent_t* out) {
  graphspace_lock space_lock(graphspace_mutex());
  std::lock_guard<std::mutex> lock(mapwin_invalid_mutex());
  extent_t* first = nullptr;
  if (!pane->background_rects || !extent_list_next(pane->graphspace, pane->background_rects, &first))
    return false;
  *out = extent_load(first);
  extent_list_subtract(pane->graphspace, pane->background_rects, *out);
  return true;
}

void restore_current_mapwin() {
  if (mapwin_t* prev = g_previous.exchange(nullptr)) set_current_mapwin(prev);
}

}  // namespace

void pane_begin_drawing(pane_t* pane) {
  if (!pane) return;
  redraw_set_current_pane(pane);
  mapwin_t* win = pane->mapwin;
  if (!win) return;
  mapwin_t* prev = get_current_mapwin();
  if (prev != win) {
    g_previous.store(prev);
    set_current_mapwin(win);
  }
  int ox = 0, oy = 0;
  if (pane->printing) {
    start_printer_page(win);
    if (win->dc) {
      ox = (plat::get_device_caps(win->dc, plat::HORZRES) - win->width) / 2;
      oy = (plat::get_device_caps(win->dc, plat::VERTRES) - win->height) / 2;
    }
  } else {
    win->dc = win->back_dc ? win->back_dc : (win->wnd ? plat::get_dc(win->wnd) : nullptr);
  }
  if (win->dc) dc_begin(pane, win->dc, ox, oy);
}

void pane_end_drawing() {
  pane_t* pane = redraw_current_pane();
  dc_end();
  mapwin_t* win = pane ? pane->mapwin : nullptr;
  if (win && !pane->printing) {
    if (win->back_dc && win->wnd) {
      const plat::Rect r = pixel_rect(pane->current, 0);
      if (plat::Dc wdc = plat::get_dc(win->wnd)) {
        plat::bit_blt(wdc, r.left, r.top, r.right - r.left, r.bottom - r.top, win->back_dc, r.left,
                      r.top, plat::SRCCOPY);
        plat::release_dc(win->wnd, wdc);
      }
    } else if (!win->back_dc && win->wnd && win->dc) {
      plat::release_dc(win->wnd, win->dc);
    }
    win->dc = nullptr;
  }
  restore_current_mapwin();
}

void pane_finish_page(pane_t* pane) {
  if (!pane || !pane->printing) return;
  mapwin_t* win = pane->mapwin;
  if (!win) return;
  if (win->dc) {
    if (page_started(win)) {
      if (win->print_error) {
        plat::abort_doc(win->dc);
      } else if (plat::end_page(win->dc) <= 0 || plat::end_doc(win->dc) <= 0) {
        note_failure(win);
      } else {
        tell_printed(win->dc);
      }
    }
    plat::delete_dc(win->dc);
    win->dc = nullptr;
  }
  forget_page(win);
  const std::string reason = take_failure(win);
  if (win->print_error) {
    const bool fr = is_french() != 0;
    const std::string text = reason.empty() ? std::string(fr ? kPrintErrorFr : kPrintErrorEn)
                                            : std::string(fr ? kJobErrorFr : kJobErrorEn) + reason;
    plat::message_box(nullptr, text.c_str(), fr ? "Erreur d'impression" : "Print error", plat::MB_OK);
  }
  // The page exists for one pass: nothing may name it any more.
  obj_t* resume_pane = nullptr;
  redraw_resume_point(&resume_pane, nullptr);
  if (resume_pane == pane) visible_list_reset();
  if (redraw_current_pane() == pane) redraw_set_current_pane(nullptr);
  if (get_current_mapwin() == win) set_current_mapwin(nullptr);
  mapwin_free_pane(win);
  obj_t* rec = win;
  free_obj(&rec);
}

void pane_clear_background() {
  pane_t* pane = redraw_current_pane();
  if (!pane || pane->printing || !pane->mapwin) return;
  mapwin_t* win = pane->mapwin;
  extent_t world{};
  while (take_background(pane, &world)) {
    extent_t screen{};
    world_to_screen_extent(pane->map, world, &screen);
    pane->current = screen;
    if (extent_is_empty(screen) || !win->dc) continue;
    plat::Brush brush = win->inverse ? win->inverse_brush : win->brush;
    if (brush) plat::fill_rect(win->dc, pixel_rect(screen, 1), brush);
  }
}

int pane_clip_to_page(pane_t* pane) {
  if (!pane) return 0;
  extent_t r = pane->current;
  if (!extent_intersect(&r, pane_page(pane)) || extent_is_empty(r)) return 0;
  pane->current = r;
  mapwin_t* win = pane->mapwin;
  if (win && win->dc && !pane->printing) {
    plat::Rgn rgn = plat::create_rect_rgn_indirect(pixel_rect(r, 0));
    plat::select_clip_rgn(win->dc, rgn);
    plat::delete_object(rgn);
  }
  return 1;
}

void invalid_rect_redraw(mapwin_t* win, extent_t screen) {
  if (!win) win = get_current_mapwin();
  if (!win || !win->pane || win->pane->printing) return;
  if (win->fill_first) {
    plat::Brush brush = win->inverse ? win->inverse_brush : win->brush;
    const plat::Rect r = pixel_rect(screen, 0);
    if (brush && win->back_dc) plat::fill_rect(win->back_dc, r, brush);
    if (brush && win->wnd) {
      if (plat::Dc wdc = plat::get_dc(win->wnd)) {
        plat::fill_rect(wdc, r, brush);
        plat::release_dc(win->wnd, wdc);
      }
    }
  }
  mapwin_invalidate_screen_rect(win, screen);
}
