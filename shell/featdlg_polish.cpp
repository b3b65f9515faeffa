// The page "Polish format" of the map features window: a main type and a subtype of the
// Polish feature index, drawn as a POI, a polyline or a polygon, with its display name
// and its representation.
//
// The type list holds the main types of the index, the subtype list the features of
// the chosen type (their positions in the index as item data). The type and subtype
// may also be typed as one number; only a number of two bytes whose main type is not 0
// names a feature (256 .. 0xFFFF), anything else leaves the element kinds off. Apply
// records the feature in the Polish user table and rebuilds the index, under the
// tables' lock (a load task reads the index meanwhile), then lists the index again:
// the positions of the subtype list change with a rebuild.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/object.h"
#include "core/obj_list.h"
#include "formats/polish_map.h"
#include "map/repr.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/featdlg.h"
#include "shell/featdlg_internal.h"
#include "shell/framework/winutil.h"

// What the type and subtype field reads.
constexpr int kNumberChars = 37;

namespace featdlg {
namespace {

constexpr int kNameChars = 255;

struct polish_page_state {
  int updating = 0;  // texts and lists set by the page itself
};
polish_page_state g_page;

plat::Wnd page() { return featdlg_page(kFeatPagePolish); }
plat::Wnd ctl(int id) { return page_item(kFeatPagePolish, id); }
bool on(int id) { return page_box_on(kFeatPagePolish, id); }

std::string hex2(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%02x", unsigned(v) & 255u);
  return buf;
}

std::string hex4(int type, int subtype) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%02x%02x", unsigned(type) & 255u, unsigned(subtype) & 255u);
  return buf;
}

// The element kind of the checked radio (0 when none is).
int checked_kind() {
  if (is_checked(ctl(kMpPoi))) return kPolishPoi;
  if (is_checked(ctl(kMpPolyline))) return kPolishPolyline;
  if (is_checked(ctl(kMpPolygon))) return kPolishPolygon;
  return 0;
}

void check_kind(int elttype) {
  set_checked(ctl(kMpPoi), elttype == kPolishPoi);
  set_checked(ctl(kMpPolyline), elttype == kPolishPolyline);
  set_checked(ctl(kMpPolygon), elttype != kPolishPoi && elttype != kPolishPolyline);
}

// A copy of a feature of the index, read under the lock.
struct feature_copy {
  bool found = false;
  int type = 0, subtype = 0, elttype = 0;
  std::string mnemo, name;
};

feature_copy feature_at(int position, int type) {
  feature_copy c;
  std::lock_guard<std::recursive_mutex> lock(mp_tables_mutex());
  const container_t* index = mp_features();
  if (position < 0 || position >= obj_list_count(index)) return c;
  const auto* f = static_cast<const feature_t*>(index->elems[position]);
  if (!f || f->cls != CLS_FEATURE || f->maintype != type) return c;
  c.found = true;
  c.type = f->maintype;
  c.subtype = f->subtype;
  c.elttype = f->elttype;
  c.mnemo = f->mnemo ? f->mnemo : "";
  c.name = f->name ? f->name : "";
  return c;
}

// The position in the index of the feature (type, subtype, kind); -1 when none.
int position_of(int type, int subtype, int elttype) {
  std::lock_guard<std::recursive_mutex> lock(mp_tables_mutex());
  feature_t* f = nullptr;
  mp_feature_find(type, subtype, elttype, &f);
  const container_t* index = mp_features();
  const int n = obj_list_count(index);
  for (int i = 0; f && i < n; ++i)
    if (index->elems[i] == f) return i;
  return -1;
}

// ---- Lists ---------------------------------------------------------------------------------------

void fill_types() {
  plat::Wnd list = ctl(kMpTypeList);
  list_clear(list);
  std::lock_guard<std::recursive_mutex> lock(mp_tables_mutex());
  const container_t* index = mp_features();
  const int n = obj_list_count(index);
  bool any = false;
  int last = 0;
  for (int i = 0; i < n; ++i) {
    const auto* f = static_cast<const feature_t*>(index->elems[i]);
    if (!f || f->cls != CLS_FEATURE) continue;
    if (any && f->maintype == last) continue;
    any = true;
    last = f->maintype;
    list_add_item(list, hex2(f->maintype).c_str(), f->maintype);
  }
}

// The features of the type, in index order; their count.
int fill_subtypes(int type) {
  plat::Wnd list = ctl(kMpSubtypeList);
  list_clear(list);
  std::lock_guard<std::recursive_mutex> lock(mp_tables_mutex());
  const container_t* index = mp_features();
  const int n = obj_list_count(index);
  int count = 0;
  for (int i = 0; i < n; ++i) {
    const auto* f = static_cast<const feature_t*>(index->elems[i]);
    if (!f || f->cls != CLS_FEATURE || f->maintype != type) continue;
    list_add_item(list, hex2(f->subtype).c_str(), i);
    ++count;
  }
  return count;
}

// ---- Steps ------------------------------------------------------------------------------------------

// An element kind chosen: POI opens the point side, the two others the line side.
void kind_chosen() {
  const bool point = on(kMpPoi);
  const bool line = on(kMpPolyline) || on(kMpPolygon);
  plat::enable_window(ctl(kMpPointList), point);
  plat::enable_window(ctl(kMpLineList), line);
  enable_point_group(point);
  enable_line_group(line);
}

void set_radios_enabled(bool enabled) {
  for (int id : {kMpPoi, kMpPolyline, kMpPolygon}) plat::enable_window(ctl(id), enabled);
}

void set_number_text(const std::string& text) {
  ++g_page.updating;
  plat::set_window_text(ctl(kMpNumber), text.c_str());
  --g_page.updating;
}

// No subtype chosen: the type's text, no name, nothing to edit.
void no_subtype() {
  set_number_text(list_text(ctl(kMpTypeList)));
  plat::set_window_text(ctl(kMpName), "");
  set_radios_enabled(false);
  plat::enable_window(ctl(kMpPointList), false);
  plat::enable_window(ctl(kMpLineList), false);
  disable_editor();
}

// A subtype chosen: its number, name and kind, its representation selected in the
// list of its kind and loaded into the editor.
void subtype_chosen() {
  const int type = int(list_selected_data(ctl(kMpTypeList)));
  const int position = int(list_selected_data(ctl(kMpSubtypeList)));
  const feature_copy f = feature_at(position, type);
  if (!f.found) {
    no_subtype();
    return;
  }
  set_number_text(hex4(f.type, f.subtype));
  plat::set_window_text(ctl(kMpName), f.name.c_str());
  set_radios_enabled(true);
  check_kind(f.elttype);
  kind_chosen();
  representation_t* r = nullptr;
  int feattype = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(repr_tables_mutex());
    repr_find_mnemo(f.mnemo.c_str(), &r, nullptr);
    if (r) feattype = r->feattype;
  }
  plat::Wnd points = ctl(kMpPointList), lines = ctl(kMpLineList);
  const bool as_point = r && feattype == kEltNode;
  select_mnemonic(points, as_point ? f.mnemo.c_str() : "");
  select_mnemonic(lines, r && !as_point ? f.mnemo.c_str() : "");
  const std::string p = list_text(points), l = list_text(lines);
  if (!p.empty()) set_point_mnemonic(p);
  if (!l.empty()) set_line_mnemonic(l);
}

void type_chosen() {
  const int type = int(list_selected_data(ctl(kMpTypeList)));
  if (type < 0) return;
  if (fill_subtypes(type) == 1) {
    plat::send_message(ctl(kMpSubtypeList), plat::LB_SETCURSEL, 0, 0);
    subtype_chosen();
  } else {
    no_subtype();
  }
}

// Selects the type and the feature of the position in the two lists, quietly.
void select_feature(int type, int position) {
  list_select_data(ctl(kMpTypeList), type);
  fill_subtypes(type);
  list_select_data(ctl(kMpSubtypeList), position);
}

// The number typed: the kinds open while it names a type and subtype; a feature of that
// number and the checked kind is selected in the lists.
void number_typed() {
  if (g_page.updating) return;
  int number = 0;
  const bool valid = featdlg_read_type_subtype(text_of(ctl(kMpNumber), kNumberChars).c_str(), &number);
  set_radios_enabled(valid);
  if (valid) {
    const int type = (number / 256) % 256, subtype = number % 256;
    const int position = position_of(type, subtype, checked_kind());
    if (position >= 0) select_feature(type, position);
  }
  kind_chosen();
}

}  // namespace

// ---- Page routines ----------------------------------------------------------------------------------

void polish_page_build(plat::Wnd p) {
  ++g_page.updating;
  const uint32_t list_style = plat::WS_TABSTOP | plat::WS_VSCROLL | plat::WS_BORDER | plat::LBS_NOTIFY;
  create_control(p, plat::kStaticClass, "Type", plat::SS_LEFT, 8, 8, 84, 18, -1);
  create_control(p, plat::kListBoxClass, "", list_style, 8, 28, 84, 160, kMpTypeList);
  create_control(p, plat::kStaticClass, "Subtype", plat::SS_LEFT, 100, 8, 84, 18, -1);
  create_control(p, plat::kListBoxClass, "", list_style, 100, 28, 84, 160, kMpSubtypeList);
  create_control(p, plat::kStaticClass, "Type/Subtype", plat::SS_LEFT, 196, 28, 170, 18, -1);
  create_control(p, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_AUTOHSCROLL, 196, 50, 120, 24, kMpNumber,
                 plat::WS_EX_CLIENTEDGE);
  plat::send_message(plat::get_dlg_item(p, kMpNumber), plat::EM_LIMITTEXT, kNumberChars, 0);
  create_control(p, plat::kStaticClass, tr("D\xC3\xA9nomination", "Display name"), plat::SS_LEFT, 196, 90, 170, 18,
                 -1);
  create_control(p, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_AUTOHSCROLL, 196, 112, 170, 24, kMpName,
                 plat::WS_EX_CLIENTEDGE);
  plat::send_message(plat::get_dlg_item(p, kMpName), plat::EM_LIMITTEXT, kNameChars, 0);
  create_control(p, plat::kButtonClass, "POI", plat::WS_TABSTOP | plat::WS_GROUP | plat::BS_AUTORADIOBUTTON, 8, 198,
                 84, 24, kMpPoi);
  create_control(p, plat::kButtonClass, "POLYLINE", plat::WS_TABSTOP | plat::BS_AUTORADIOBUTTON, 100, 198, 120, 24,
                 kMpPolyline);
  create_control(p, plat::kButtonClass, "POLYGON", plat::WS_TABSTOP | plat::BS_AUTORADIOBUTTON, 232, 198, 120, 24,
                 kMpPolygon);
  const char* mode = tr("Repr\xC3\xA9sentation", "Display mode");
  create_control(p, plat::kStaticClass, mode, plat::SS_LEFT, 8, 228, 176, 18, -1);
  create_control(p, plat::kListBoxClass, "", list_style, 8, 248, 176, 100, kMpPointList);
  create_control(p, plat::kStaticClass, mode, plat::SS_LEFT, 192, 228, 174, 18, -1);
  create_control(p, plat::kListBoxClass, "", list_style, 192, 248, 174, 100, kMpLineList);
  for (int id : {kMpPoi, kMpPolyline, kMpPolygon, kMpPointList, kMpLineList})
    plat::enable_window(plat::get_dlg_item(p, id), false);
  --g_page.updating;
}

void polish_page_fill() { fill_types(); }

void polish_page_command(plat::Wnd p, int id, int code) {
  if (p != page()) return;
  switch (id) {
    case kMpTypeList:
      if (code == plat::LBN_SELCHANGE) type_chosen();
      break;
    case kMpSubtypeList:
      if (code == plat::LBN_SELCHANGE) subtype_chosen();
      break;
    case kMpNumber:
      if (code == plat::EN_CHANGE) number_typed();
      break;
    case kMpPoi:
    case kMpPolyline:
    case kMpPolygon:
      if (code == plat::BN_CLICKED) kind_chosen();
      break;
    case kMpPointList:
      if (code == plat::LBN_SELCHANGE) set_point_mnemonic(list_text(ctl(kMpPointList)));
      break;
    case kMpLineList:
      if (code == plat::LBN_SELCHANGE) set_line_mnemonic(list_text(ctl(kMpLineList)));
      break;
    default:
      break;
  }
}

bool polish_page_allows_point() { return on(kMpPoi); }
bool polish_page_allows_line() { return on(kMpPolyline) || on(kMpPolygon); }

void polish_page_apply() {
  int number = 0;
  if (!featdlg_read_type_subtype(text_of(ctl(kMpNumber), kNumberChars).c_str(), &number)) return;
  const int kind = checked_kind();
  if (kind == 0) return;
  const int type = (number / 256) % 256, subtype = number % 256;
  const std::string mnemo = kind == kPolishPoi ? point_mnemonic() : line_mnemonic();
  const std::string name = text_of(ctl(kMpName), kNameChars);
  feature_t* f = nullptr;
  feature_create(nullptr, type, subtype, kind, mnemo.empty() ? kReprNoMnemo : mnemo.c_str(), name.c_str(), &f);
  if (!f) return;
  {
    // The record and the rebuild are one change for the load tasks that read the index.
    std::lock_guard<std::recursive_mutex> lock(mp_tables_mutex());
    mp_feature_record_change(f);
    mp_features_rebuild();
  }
  obj_t* o = f;
  free_obj(&o);
  select_mnemonic(ctl(kind == kPolishPoi ? kMpPointList : kMpLineList), mnemo.c_str());
  // The index was rebuilt: its positions are listed again and the feature chosen again.
  ++g_page.updating;
  fill_types();
  const int position = position_of(type, subtype, kind);
  if (position >= 0) select_feature(type, position);
  --g_page.updating;
}

}  // namespace featdlg

bool featdlg_read_type_subtype(const char* text, int* number) {
  if (!text) return false;
  std::string s(text);
  if (s.size() > size_t(kNumberChars)) s.resize(size_t(kNumberChars));
  size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  const char* start = s.c_str() + first;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(start, &end, 0);
  if (end == start || errno == ERANGE) return false;
  for (const char* p = end; *p; ++p)
    if (*p != ' ' && *p != '\t') return false;
  // Two bytes, main type first: below 256 the main type is 0, above 0xFFFF the number
  // would wrap into some other type.
  if (v < 256 || v > 0xFFFF) return false;
  if (number) *number = int(v);
  return true;
}
