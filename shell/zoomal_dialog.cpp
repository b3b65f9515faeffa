// The manual localisation dialog "Zoomal" and its command: the map window is positioned
// on an extent typed as corners, centre and size, or size as a percentage of the graph
// space's extent. Each of these is derived from the others as the user types, and OK is
// available only while the extent overlaps the graph space's.
#include <cmath>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/strutil.h"
#include "geodesy/extent.h"
#include "geodesy/units.h"
#include "geodesy/xform_records.h"
#include "map/extent_map.h"
#include "map/graphspace.h"
#include "map/mapwin.h"
#include "map/view_set.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_static.h"
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

using dlgitem::kNoId;
constexpr int kAngleUnitsListed = 11;
constexpr int kLengthUnitsListed = 23;

// The centre-and-size form of extent_center_form.
enum form_slot { CX = 0, WIDTH = 1, CY = 2, HEIGHT = 3 };

struct zoomal_state {
  extent_t edited{};
  double form[4] = {0, 0, 0, 0};
  extent_t reference{};
  // The display system, read under the graph space's lock when the command starts.
  int refertype = 0, unit = 0;
  std::string system_name;
  mapwin_t* win = nullptr;
  bool initialising = false;
  int confirmed = 0;
};
zoomal_state& st() {
  static zoomal_state s;
  return s;
}

const dialog_text kTexts[] = {
    {IDC_ZOOMAL_ULC, "CSG", "ULC"},
    {IDC_ZOOMAL_LRC, "CID", "LRC"},
    {IDC_ZOOMAL_HEIGHT_LABEL, "Hauteur", "Height"},
    {IDC_ZOOMAL_CENTRE, "Centre", "Center"},
    {IDC_ZOOMAL_WIDTH_LABEL, "Largeur", "Width"},
    {IDC_ZOOMAL_CANCEL, "Annuler", "Cancel"},
    {0, "Localisation manuelle", "Manual localization"},
};

// The ten fields the dialog writes, each with what it shows.
enum field_kind { F_XMIN, F_YMAX, F_XMAX, F_YMIN, F_HEIGHT, F_HEIGHT_PCT, F_CX, F_CY, F_WIDTH, F_WIDTH_PCT };
struct field {
  int id;
  field_kind kind;
};
constexpr field kFields[] = {
    {IDC_ZOOMAL_XMIN, F_XMIN},     {IDC_ZOOMAL_YMAX, F_YMAX},         {IDC_ZOOMAL_XMAX, F_XMAX},
    {IDC_ZOOMAL_YMIN, F_YMIN},     {IDC_ZOOMAL_HEIGHT, F_HEIGHT},     {IDC_ZOOMAL_HEIGHT_PCT, F_HEIGHT_PCT},
    {IDC_ZOOMAL_CX, F_CX},         {IDC_ZOOMAL_CY, F_CY},             {IDC_ZOOMAL_WIDTH, F_WIDTH},
    {IDC_ZOOMAL_WIDTH_PCT, F_WIDTH_PCT},
};

plat::DlgItem reference(int id, int x, int y) { return dlgitem::text(id, "", plat::SS_RIGHT, x, y, 90); }

}  // namespace

// Two frames: the corners with the graph space's extent under them, then the centre and
// the size with its percentages. Columns: captions, "X" and its field, "Y" and its field.
const plat::DlgTemplate& zoomal_template() {
  static const plat::DlgTemplate t = [] {
    plat::DlgTemplate d;
    d.title = "Localisation manuelle";
    d.style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU | plat::DS_MODALFRAME;
    d.cx = 276;
    d.cy = 188;
    using namespace dlgitem;
    constexpr int C = 10, XL = 56, XF = 66, YL = 162, YF = 172;
    d.items = {
        {"Button", IDC_ZOOMAL_SYSTEM, "WGS84", plat::BS_PUSHBUTTON | plat::WS_DISABLED, 8, 6, 160, 14},
        {"ComboBox", IDC_ZOOMAL_UNIT, "", plat::CBS_DROPDOWNLIST | plat::WS_VSCROLL | plat::WS_DISABLED, 172, 6,
         96, 100},
        {"Button", IDC_ZOOMAL_CORNERS_BOX, "", plat::BS_GROUPBOX, 4, 24, 268, 66},
        label(IDC_ZOOMAL_ULC, "CSG", C, 34, 44),
        label(kNoId, "X", XL, 34, 8),
        edit(IDC_ZOOMAL_XMIN, XF, 34, 90),
        label(kNoId, "Y", YL, 34, 8),
        edit(IDC_ZOOMAL_YMAX, YF, 34, 90),
        reference(IDC_ZOOMAL_REF_XMIN, XF, 49),
        reference(IDC_ZOOMAL_REF_YMAX, YF, 49),
        label(IDC_ZOOMAL_LRC, "CID", C, 61, 44),
        label(kNoId, "X", XL, 61, 8),
        edit(IDC_ZOOMAL_XMAX, XF, 61, 90),
        label(kNoId, "Y", YL, 61, 8),
        edit(IDC_ZOOMAL_YMIN, YF, 61, 90),
        reference(IDC_ZOOMAL_REF_XMAX, XF, 76),
        reference(IDC_ZOOMAL_REF_YMIN, YF, 76),
        {"Button", IDC_ZOOMAL_SIZE_BOX, "", plat::BS_GROUPBOX, 4, 94, 268, 68},
        label(IDC_ZOOMAL_CENTRE, "Centre", C, 104, 44),
        label(kNoId, "X", XL, 104, 8),
        edit(IDC_ZOOMAL_CX, XF, 104, 90),
        label(kNoId, "Y", YL, 104, 8),
        edit(IDC_ZOOMAL_CY, YF, 104, 90),
        label(IDC_ZOOMAL_WIDTH_LABEL, "Largeur", C, 124, 44),
        edit(IDC_ZOOMAL_WIDTH, XF, 124, 90),
        edit(IDC_ZOOMAL_WIDTH_PCT, YF, 124, 60),
        label(kNoId, "%", YF + 64, 124, 10),
        label(IDC_ZOOMAL_HEIGHT_LABEL, "Hauteur", C, 143, 44),
        edit(IDC_ZOOMAL_HEIGHT, XF, 143, 90),
        edit(IDC_ZOOMAL_HEIGHT_PCT, YF, 143, 60),
        label(kNoId, "%", YF + 64, 143, 10),
        default_button(IDC_ZOOMAL_OK, "OK", 158, 168),
        button(IDC_ZOOMAL_CANCEL, "Annuler", 216, 168),
    };
    return d;
  }();
  return t;
}

namespace {

void enable(plat::Wnd dlg, int id, bool on) { plat::enable_window(plat::get_dlg_item(dlg, id), on); }

double field_value(field_kind kind) {
  const zoomal_state& s = st();
  switch (kind) {
    case F_XMIN: return s.edited.xmin;
    case F_YMAX: return s.edited.ymax;
    case F_XMAX: return s.edited.xmax;
    case F_YMIN: return s.edited.ymin;
    case F_HEIGHT: return s.form[HEIGHT];
    case F_HEIGHT_PCT: return 100.0 * s.form[HEIGHT] / extent_height(s.reference);
    case F_CX: return s.form[CX];
    case F_CY: return s.form[CY];
    case F_WIDTH: return s.form[WIDTH];
    case F_WIDTH_PCT: return 100.0 * s.form[WIDTH] / extent_width(s.reference);
  }
  return 0.0;
}

// An extent OK may apply: it overlaps the graph space's (touching is not overlapping),
// and it is a rectangle the right way round (a corner typed past the opposite one gives
// none).
bool applicable(const extent_t& e) {
  return !extent_disjoint(e, st().reference) && e.xmax > e.xmin && e.ymax > e.ymin;
}

// Every field but `skip` written from the extent, its modified flag cleared.
void write_fields(plat::Wnd dlg, int skip) {
  for (const field& f : kFields) {
    if (f.id == skip) continue;
    char text[40];
    format_double_sig(field_value(f.kind), text, sizeof text);
    zoomdlg::set_item_text_if_changed(dlg, f.id, text);
    plat::send_dlg_item_message(dlg, f.id, plat::EM_SETMODIFY, 0, 0);
  }
}

// Every field but the one being edited is rewritten from the extent, OK enabled; an
// extent OK must not apply only disables OK.
void refresh(plat::Wnd dlg, int skip) {
  if (!applicable(st().edited)) {
    enable(dlg, IDC_ZOOMAL_OK, false);
    return;
  }
  write_fields(dlg, skip);
  enable(dlg, IDC_ZOOMAL_OK, true);
}

void derive_form() { extent_center_form(2, &st().edited, st().form); }
void derive_extent() { extent_center_form(0, &st().edited, st().form); }

// The number typed: the whole text (blanks around it aside) must be one, with '.' or ','
// as the decimal separator.
bool parse_field(const char* text, double* out) {
  while (*text == ' ' || *text == '\t') ++text;
  size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t')) --n;
  if (n == 0) return false;
  const std::string t(text, n);
  bool digit = false;
  for (char c : t) digit = digit || (c >= '0' && c <= '9');
  if (!digit) return false;
  const char last = t.back();
  if (!(last >= '0' && last <= '9') && last != '.' && last != ',') return false;
  const char* end = parse_number(t.c_str(), out);
  return end == t.c_str() + t.size() && std::isfinite(*out);
}

void apply_field(field_kind kind, double v) {
  zoomal_state& s = st();
  switch (kind) {
    case F_XMIN: s.edited.xmin = v; derive_form(); return;
    case F_YMAX: s.edited.ymax = v; derive_form(); return;
    case F_XMAX: s.edited.xmax = v; derive_form(); return;
    case F_YMIN: s.edited.ymin = v; derive_form(); return;
    case F_HEIGHT: s.form[HEIGHT] = v; break;
    case F_WIDTH: s.form[WIDTH] = v; break;
    case F_CX: s.form[CX] = v; break;
    case F_CY: s.form[CY] = v; break;
    case F_HEIGHT_PCT: s.form[HEIGHT] = extent_height(s.reference) * v * 0.01; break;
    case F_WIDTH_PCT: s.form[WIDTH] = extent_width(s.reference) * v * 0.01; break;
  }
  derive_extent();
}

void on_edit(plat::Wnd dlg, const field& f) {
  if (!plat::send_dlg_item_message(dlg, f.id, plat::EM_GETMODIFY, 0, 0)) return;
  char text[zoomdlg::kFieldTextMax + 1] = "";
  plat::get_dlg_item_text(dlg, f.id, text, sizeof text);
  double v = 0.0;
  if (!parse_field(text, &v)) {
    enable(dlg, IDC_ZOOMAL_OK, false);
    return;
  }
  apply_field(f.kind, v);
  refresh(dlg, f.id);
}

// The display system's units, as the unit dialog lists them, its own selected.
void fill_units(plat::Wnd dlg) {
  const bool fr = is_french() != 0;
  const bool geographic = st().refertype == 1;
  plat::Wnd list = plat::get_dlg_item(dlg, IDC_ZOOMAL_UNIT);
  const int n = geographic ? kAngleUnitsListed : kLengthUnitsListed;
  for (int u = 0; u < n; ++u) {
    const char* name = geographic ? angle_unit_name(u, fr) : length_unit_name(u, fr);
    if (name) combo_add_item(list, name, u);
  }
  combo_select_data(list, st().unit);
}

void write_reference(plat::Wnd dlg) {
  const extent_t& r = st().reference;
  const struct {
    int id;
    double v;
  } rows[] = {{IDC_ZOOMAL_REF_XMIN, r.xmin}, {IDC_ZOOMAL_REF_YMAX, r.ymax},
              {IDC_ZOOMAL_REF_XMAX, r.xmax}, {IDC_ZOOMAL_REF_YMIN, r.ymin}};
  for (const auto& row : rows) {
    char text[64];
    format_double_dot(row.v, "%14.9lf", text, sizeof text);
    zoomdlg::set_item_text_if_changed(dlg, row.id, text);
  }
}

void on_init(plat::Wnd dlg) {
  zoomal_state& s = st();
  s.initialising = true;
  dialog_set_texts(dlg, kTexts);
  zoomdlg::set_item_text_if_changed(dlg, IDC_ZOOMAL_SYSTEM, s.system_name.c_str());
  fill_units(dlg);
  write_reference(dlg);
  // What the window shows now.
  if (const mapwin_t* win = s.win)
    screen_to_world_extent(win->map, extent_t{0, double(win->width), 0, double(win->height), 0}, &s.edited);
  derive_form();
  write_fields(dlg, 0);
  refresh(dlg, 0);
  s.initialising = false;
}

void on_command(plat::Wnd dlg, int id, int code) {
  if (id == IDC_ZOOMAL_OK) {
    st().confirmed = 1;
    plat::end_dialog(dlg, 1);
    return;
  }
  if (id == IDC_ZOOMAL_CANCEL || id == plat::IDCANCEL) {
    plat::end_dialog(dlg, 0);
    return;
  }
  if (st().initialising || code != plat::EN_CHANGE) return;
  for (const field& f : kFields)
    if (f.id == id) on_edit(dlg, f);
}

}  // namespace

intptr_t zoomal_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam) {
  switch (msg) {
    case plat::WM_INITDIALOG:
      on_init(dlg);
      return 1;
    case plat::WM_COMMAND:
      on_command(dlg, int(plat::loword(wparam)), int(plat::hiword(wparam)));
      return 1;
    default:
      return 0;
  }
}

void manual_localisation_command(mapwin_t* win) {
  if (!win) win = get_current_mapwin();
  if (!win || !win->pane) return;
  zoomal_state& s = st();
  s = zoomal_state{};
  s.win = win;
  graphspace_t* gs = static_cast<graphspace_t*>(win->pane->graphspace);
  if (!gs) gs = static_cast<graphspace_t*>(win->graphspace);
  if (gs) {
    graphspace_lock lock(graphspace_mutex());
    std::memcpy(&s.reference, &gs->extent, sizeof s.reference);  // a field of a packed record
    if (const georef_t* g = gs->georef) {
      s.refertype = g->refertype;
      s.unit = g->unit;
      s.system_name = georef_system_name(g);
    }
  }
  // Written so that a NaN extent counts as empty too.
  if (!(extent_height(s.reference) > 0.0) || !(extent_width(s.reference) > 0.0)) {
    const bool fr = is_french() != 0;
    msg_box(fr ? "L'espace graphique est vide." : "Graph space is empty.",
            fr ? "Pas de localisation" : "No localization");
    return;
  }
  plat::dialog_box_indirect(zoomal_template(), dialog_owner_window(), zoomal_dlgproc);
  if (s.confirmed) {
    view_zoom_extent(win, s.edited);
    mapwin_request_redraw(win);
  }
  s.win = nullptr;
}
