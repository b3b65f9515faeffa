// The zoom level dialog "Nivzoom": its template, its bilingual texts, the state of the
// one dialog open at a time, and its procedure.
//
// The values are map units per screen pixel in the unit the dialog shows, always
// positive (the direction of the y axis belongs to the map window and is kept). OK
// carries them back into the display system's unit before it sets the scales.
//
// OK is disabled at opening and becomes available with the first change that OK would
// apply: a value moved or typed (and accepted), the unit changed; with "Image Zoom 1/1"
// checked, it is available only while an image is chosen.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "core/config.h"
#include "core/obj_list.h"
#include "core/strutil.h"
#include "geodesy/units.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_set.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/ctl_trackbar.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/framework/dialog_items.h"
#include "shell/frame.h"
#include "shell/framework/winutil.h"
#include "shell/zoom_dialog_fields.h"
#include "shell/zoom_dialogs.h"

namespace {

constexpr int kValueTextMax = 19;
constexpr int kListedUnits = 11;  // the unit combos offer the first eleven of a table

struct nivzoom_state {
  double x = 1.0, y = 1.0;  // shown values
  int unit = 0;             // unit shown
  int base_unit = 0;        // unit of the display system
  int refertype = 0;
  zoom_scale scale;
  std::string format = "%9.5lf";
  std::vector<const bitmap_t*> images;  // in the order of the image list
  bool filling = false;  // our own writes raise edit notifications: ignored
  bool changed = false;  // a value or the unit changed since opening
};
nivzoom_state& st() {
  static nivzoom_state s;
  return s;
}

const dialog_text kTexts[] = {
    {IDC_NIVZOOM_SAME, "Valeurs identiques", "Same values"},
    {IDC_NIVZOOM_X_LABEL, "X : 1 pixel repr\xC3\xA9sente", "X : 1 pixel is"},
    {IDC_NIVZOOM_Y_LABEL, "Y : 1 pixel repr\xC3\xA9sente", "Y : 1 pixel is"},
    {IDC_NIVZOOM_ONE_TO_ONE, "Zoom 1/1 de l'image", "Image Zoom 1/1"},
    {IDC_NIVZOOM_CANCEL, "Annuler", "Cancel"},
    {0, "Niveau de zoom", "Zoom level"},
};

// `ticks_side`: TBS_BOTTOM or TBS_TOP, so that both sliders' ticks face the graduations.
plat::DlgItem slider(int id, uint32_t ticks_side, int x, int y, int cx) {
  return {plat::kTrackbarClass, id, "", plat::TBS_AUTOTICKS | ticks_side | plat::WS_TABSTOP, x, y, cx, 18};
}

}  // namespace

// The graduations sit between the two sliders, which share them: the first left-aligned
// under the sliders' left end, the last right-aligned at their right end, the others
// centred on the quarters.
const plat::DlgTemplate& nivzoom_template() {
  static const plat::DlgTemplate t = [] {
    plat::DlgTemplate d;
    d.title = "Niveau de zoom";
    d.style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME;
    using namespace dlgitem;
    constexpr int L = 8, W = 310, G = 50;  // left, slider width, graduation width
    constexpr int List = 100;
    d.cx = L + W + L;
    d.cy = 166;
    d.items = {
        check_box(IDC_NIVZOOM_SAME, "Valeurs identiques", L, 6, 150, 10),
        text(IDC_NIVZOOM_X_LABEL, "X : 1 pixel repr\xC3\xA9sente", plat::SS_LEFT, L, 24, 100),
        edit(IDC_NIVZOOM_X, 112, 22, 70),
        combo(IDC_NIVZOOM_X_UNIT, 188, 22, 130, List),
        slider(IDC_NIVZOOM_X_SLIDER, plat::TBS_BOTTOM, L, 40, W),
        text(IDC_NIVZOOM_GRAD1, "1000.0000", plat::SS_LEFT, L, 60, G),
        text(IDC_NIVZOOM_GRAD2, "1000", plat::SS_CENTER, L + W / 4 - G / 2, 60, G),
        text(IDC_NIVZOOM_GRAD3, "100", plat::SS_CENTER, L + W / 2 - G / 2, 60, G),
        text(IDC_NIVZOOM_GRAD4, "1000", plat::SS_CENTER, L + 3 * W / 4 - G / 2, 60, G),
        text(IDC_NIVZOOM_GRAD5, "0.0000001", plat::SS_RIGHT, L + W - G, 60, G),
        slider(IDC_NIVZOOM_Y_SLIDER, plat::TBS_TOP, L, 71, W),
        text(IDC_NIVZOOM_Y_LABEL, "Y : 1 pixel repr\xC3\xA9sente", plat::SS_LEFT, L, 95, 100),
        edit(IDC_NIVZOOM_Y, 112, 93, 70),
        combo(IDC_NIVZOOM_Y_UNIT, 188, 93, 130, List),
        check_box(IDC_NIVZOOM_ONE_TO_ONE, "Zoom 1/1 de l'image", L, 120, 100, 10),
        combo(IDC_NIVZOOM_IMAGES, 112, 118, 206, List),
        default_button(IDC_NIVZOOM_OK, "OK", 206, 144),
        button(IDC_NIVZOOM_CANCEL, "Annuler", 264, 144),
    };
    return d;
  }();
  return t;
}

void register_zoom_dialogs() { register_dialog_template("Nivzoom", &nivzoom_template()); }

namespace {

void enable(plat::Wnd dlg, int id, bool on) { plat::enable_window(plat::get_dlg_item(dlg, id), on); }
bool checked(plat::Wnd dlg, int id) { return plat::is_dlg_button_checked(dlg, id) == plat::BST_CHECKED; }

// ---- Writing the fields and sliders ------------------------------------------------------

void write_value(plat::Wnd dlg, int field, int slider, double v) {
  char text[64];
  format_double_dot(v, st().format.c_str(), text, sizeof text);
  st().filling = true;
  zoomdlg::set_item_text_if_changed(dlg, field, text);
  st().filling = false;
  plat::send_dlg_item_message(dlg, slider, plat::TBM_SETPOS, 1, zoom_slider_position(st().scale, v));
}

void write_x(plat::Wnd dlg) { write_value(dlg, IDC_NIVZOOM_X, IDC_NIVZOOM_X_SLIDER, st().x); }
void write_y(plat::Wnd dlg) { write_value(dlg, IDC_NIVZOOM_Y, IDC_NIVZOOM_Y_SLIDER, st().y); }

// The exponent, the value format, the graduations and the slider ranges of the unit.
void apply_unit_scale(plat::Wnd dlg) {
  nivzoom_state& s = st();
  s.scale = zoom_scale_of(s.refertype, s.unit);
  s.format = zoom_value_format(s.scale);
  for (int i = 0; i < 5; ++i)
    zoomdlg::set_item_text_if_changed(dlg, IDC_NIVZOOM_GRAD1 + i, zoom_graduation(s.scale, i).c_str());
  for (int id : {IDC_NIVZOOM_X_SLIDER, IDC_NIVZOOM_Y_SLIDER}) {
    plat::send_dlg_item_message(dlg, id, plat::TBM_SETRANGE, 1,
                                plat::make_lparam(0, s.scale.decades * s.scale.ticks));
    plat::send_dlg_item_message(dlg, id, plat::TBM_SETTICFREQ, plat::WParam(s.scale.ticks), 0);
    plat::send_dlg_item_message(dlg, id, plat::TBM_SETPAGESIZE, 0, s.scale.ticks);
  }
}

void update_ok(plat::Wnd dlg) {
  bool on = st().changed;
  if (checked(dlg, IDC_NIVZOOM_ONE_TO_ONE)) {
    const auto pos = plat::send_dlg_item_message(dlg, IDC_NIVZOOM_IMAGES, plat::CB_GETCURSEL, 0, 0);
    on = pos >= 0 && size_t(pos) < st().images.size();
  }
  enable(dlg, IDC_NIVZOOM_OK, on);
}

// ---- Opening ---------------------------------------------------------------------------------

// The unit names of the display system's kind, in French whatever the user's language
// (as the zoom dialog always listed them); the system's own unit is added when it is
// not among the first eleven, so that it can always be selected.
void fill_units(plat::Wnd dlg) {
  const nivzoom_state& s = st();
  constexpr bool fr = true;
  for (int id : {IDC_NIVZOOM_X_UNIT, IDC_NIVZOOM_Y_UNIT}) {
    plat::Wnd list = plat::get_dlg_item(dlg, id);
    if (s.refertype == 1 || s.refertype == 2) {
      auto name = [&](int u) { return s.refertype == 1 ? angle_unit_name(u, fr) : length_unit_name(u, fr); };
      for (int u = 0; u < kListedUnits; ++u) combo_add_item(list, name(u), u);
      if (s.base_unit >= kListedUnits && name(s.base_unit)) combo_add_item(list, name(s.base_unit), s.base_unit);
    } else {
      combo_add_item(list, "pixels", 0);
    }
    combo_select_data(list, s.unit);
  }
}

// The bitmap objects of the graph space's layers: layer by layer in drawing order, the
// images of a layer in id order.
void collect_images(graphspace_t* gs) {
  std::vector<const bitmap_t*>& images = st().images;
  images.clear();
  if (!gs) return;
  graphspace_lock lock(graphspace_mutex());
  for (int i = 0; i < obj_list_count(gs->layers); ++i) {
    layer_t* layer = nullptr;
    obj_list_get(gs->layers, i, &layer);
    if (!layer) continue;
    const size_t first = images.size();
    for (int j = 0; j < obj_list_count(layer->objects); ++j) {
      obj_t* o = nullptr;
      obj_list_get(layer->objects, j, &o);
      if (o && o->cls == CLS_BITMAP) images.push_back(static_cast<const bitmap_t*>(o));
    }
    std::sort(images.begin() + std::ptrdiff_t(first), images.end(),
              [](const bitmap_t* a, const bitmap_t* b) { return a->id < b->id; });
  }
}

void fill_images(plat::Wnd dlg, graphspace_t* gs) {
  collect_images(gs);
  plat::Wnd list = plat::get_dlg_item(dlg, IDC_NIVZOOM_IMAGES);
  for (size_t i = 0; i < st().images.size(); ++i) {
    const char* name = st().images[i]->name;
    combo_add_item(list, name ? name : "", intptr_t(i));
  }
  if (st().images.empty()) {
    enable(dlg, IDC_NIVZOOM_IMAGES, false);
    enable(dlg, IDC_NIVZOOM_ONE_TO_ONE, false);
  }
}

void on_init(plat::Wnd dlg) {
  nivzoom_state& s = st();
  s = nivzoom_state{};
  mapwin_t* win = get_current_mapwin();
  graphspace_t* gs = win ? static_cast<graphspace_t*>(win->graphspace) : graphspace_current();
  if (win) {
    const screen_mapping m = win->map;
    s.x = 1.0 / std::fabs(m.scale_x);
    s.y = 1.0 / std::fabs(m.scale_y);
  }
  if (gs) {
    graphspace_lock lock(graphspace_mutex());
    if (const georef_t* g = gs->georef) {
      s.refertype = g->refertype;
      s.base_unit = g->unit;
    }
  }
  if (s.refertype != 1 && s.refertype != 2) s.base_unit = 0;
  s.unit = s.base_unit;
  const double f = zoom_display_factor(s.refertype, s.unit);
  s.x *= f;
  s.y *= f;
  dialog_set_texts(dlg, kTexts);
  enable(dlg, IDC_NIVZOOM_OK, false);
  plat::check_dlg_button(dlg, IDC_NIVZOOM_SAME, plat::BST_CHECKED);
  fill_units(dlg);
  apply_unit_scale(dlg);
  // A window without a usable scale opens on the largest value.
  for (double* v : {&s.x, &s.y})
    if (!std::isfinite(*v) || *v <= 0.0) *v = zoom_clamp(s.scale, std::nan(""));
  write_x(dlg);
  write_y(dlg);
  fill_images(dlg, gs);
}

// ---- What the user does ----------------------------------------------------------------

// A value of x (or y) set from a slider or a field: the other follows with "Same values".
void set_value(plat::Wnd dlg, bool is_x, double v, bool write_own_field) {
  nivzoom_state& s = st();
  (is_x ? s.x : s.y) = v;
  if (write_own_field) {
    is_x ? write_x(dlg) : write_y(dlg);
  } else {
    plat::send_dlg_item_message(dlg, is_x ? IDC_NIVZOOM_X_SLIDER : IDC_NIVZOOM_Y_SLIDER, plat::TBM_SETPOS, 1,
                                zoom_slider_position(s.scale, v));
  }
  double& other = is_x ? s.y : s.x;
  if (checked(dlg, IDC_NIVZOOM_SAME) && other != v) {
    other = v;
    is_x ? write_y(dlg) : write_x(dlg);
  }
  s.changed = true;
  update_ok(dlg);
}

void on_slider(plat::Wnd dlg, plat::Wnd bar) {
  const bool is_x = bar == plat::get_dlg_item(dlg, IDC_NIVZOOM_X_SLIDER);
  if (!is_x && bar != plat::get_dlg_item(dlg, IDC_NIVZOOM_Y_SLIDER)) return;
  const int pos = int(plat::send_message(bar, plat::TBM_GETPOS, 0, 0));
  const double v = zoom_slider_value(st().scale, pos);
  if (v == (is_x ? st().x : st().y)) return;
  set_value(dlg, is_x, v, true);
}

// The typed text as a number; 0 for a text that is not one.
double read_value(plat::Wnd dlg, int id) {
  char text[kValueTextMax + 1] = "";
  plat::get_dlg_item_text(dlg, id, text, sizeof text);
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  double v = 0.0;
  parse_number(p, &v);
  return std::isfinite(v) ? v : 0.0;
}

// A typed value: 0 (or no number) is ignored, any other clamped into the slider's range;
// the field keeps what was typed.
void on_edit(plat::Wnd dlg, bool is_x) {
  const double typed = read_value(dlg, is_x ? IDC_NIVZOOM_X : IDC_NIVZOOM_Y);
  if (typed == 0.0) return;
  set_value(dlg, is_x, zoom_clamp(st().scale, typed), false);
}

void on_unit(plat::Wnd dlg, int id) {
  nivzoom_state& s = st();
  const intptr_t unit = combo_selected_data(plat::get_dlg_item(dlg, id));
  if (unit < 0 || unit == s.unit) return;
  combo_select_data(plat::get_dlg_item(dlg, id == IDC_NIVZOOM_X_UNIT ? IDC_NIVZOOM_Y_UNIT : IDC_NIVZOOM_X_UNIT),
                    unit);
  zoom_convert_values(s.refertype, s.unit, int(unit), &s.x, &s.y);
  s.unit = int(unit);
  apply_unit_scale(dlg);
  s.x = zoom_clamp(s.scale, s.x);
  s.y = zoom_clamp(s.scale, s.y);
  write_x(dlg);
  write_y(dlg);
  s.changed = true;
  update_ok(dlg);
}

void on_one_to_one(plat::Wnd dlg) {
  const bool on = checked(dlg, IDC_NIVZOOM_ONE_TO_ONE);
  for (int id : {IDC_NIVZOOM_X_UNIT, IDC_NIVZOOM_Y_UNIT, IDC_NIVZOOM_X, IDC_NIVZOOM_Y, IDC_NIVZOOM_X_SLIDER,
                 IDC_NIVZOOM_Y_SLIDER, IDC_NIVZOOM_SAME})
    enable(dlg, id, !on);
  update_ok(dlg);
}

// The chosen image at one image pixel per screen pixel, or the values as scales. With
// the image box checked and no image chosen there is nothing to show: OK is disabled
// then, and if it arrives all the same it does nothing and the dialog stays open.
void on_ok(plat::Wnd dlg) {
  nivzoom_state& s = st();
  mapwin_t* win = get_current_mapwin();
  if (checked(dlg, IDC_NIVZOOM_ONE_TO_ONE)) {
    const auto pos = plat::send_dlg_item_message(dlg, IDC_NIVZOOM_IMAGES, plat::CB_GETCURSEL, 0, 0);
    if (pos < 0 || size_t(pos) >= s.images.size()) return;
    if (win) view_image_one_to_one(s.images[size_t(pos)], win);
  } else if (win) {
    // Back into the display system's unit (graph units), whatever unit is shown.
    double x = s.x, y = s.y;
    zoom_convert_values(s.refertype, s.unit, s.base_unit, &x, &y);
    x /= zoom_display_factor(s.refertype, s.base_unit);
    y /= zoom_display_factor(s.refertype, s.base_unit);
    const screen_mapping m = win->map;
    const double cx = win->width * 0.5 / m.scale_x - m.origin_x;
    const double cy = win->height * 0.5 / m.scale_y - m.origin_y;
    view_set(win, cx, cy, 1.0 / x, 1.0 / y, 0);
  }
  if (win) mapwin_request_redraw(win);
  s.images.clear();
  plat::end_dialog(dlg, 1);
}

void on_command(plat::Wnd dlg, int id, int code) {
  switch (id) {
    case IDC_NIVZOOM_X:
    case IDC_NIVZOOM_Y:
      if (code == plat::EN_CHANGE && !st().filling) on_edit(dlg, id == IDC_NIVZOOM_X);
      break;
    case IDC_NIVZOOM_X_UNIT:
    case IDC_NIVZOOM_Y_UNIT:
      if (code == plat::CBN_SELCHANGE) on_unit(dlg, id);
      break;
    case IDC_NIVZOOM_ONE_TO_ONE:
      if (code == plat::BN_CLICKED) on_one_to_one(dlg);
      break;
    case IDC_NIVZOOM_IMAGES:
      if (code == plat::CBN_SELCHANGE) update_ok(dlg);
      break;
    case IDC_NIVZOOM_OK:
      on_ok(dlg);
      break;
    case IDC_NIVZOOM_CANCEL:
    case plat::IDCANCEL:
      st().images.clear();
      plat::end_dialog(dlg, 0);
      break;
    default:
      break;
  }
}

}  // namespace

intptr_t nivzoom_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_INITDIALOG:
      on_init(dlg);
      return 1;
    case plat::WM_COMMAND:
      on_command(dlg, int(plat::loword(wparam)), int(plat::hiword(wparam)));
      return 1;
    case plat::WM_HSCROLL:
      // The end of a key press or drag moves nothing: the moves came before it.
      if (plat::loword(wparam) != plat::TB_ENDTRACK) on_slider(dlg, plat::Wnd(lparam));
      return 1;
    case plat::WM_DESTROY:
      st().images.clear();
      return 0;
    default:
      return 0;
  }
}
