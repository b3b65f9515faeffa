// The page "OSM" of the map features window: a keyword (k) and a value (v) of the
// OpenStreetMap feature tables, drawn as a node and/or a way, each with a representation.
//
// The keyword list holds the keys that have a keyword record, the value list the values
// the feature table knows for the chosen key. Typing k and v selects them when known;
// "Node" and "Way" open the point and line groups of the editor. Apply records the
// keyword (its default value) and the node and way features in the OSM user lists and
// rebuilds the OSM tables, all under the tables' lock: a load task classifies elements
// with those tables meanwhile.
#include <mutex>
#include <string>

#include "core/object.h"
#include "core/obj_list.h"
#include "core/dict.h"
#include "formats/osm.h"
#include "map/repr.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/featdlg.h"
#include "shell/featdlg_internal.h"
#include "shell/framework/winutil.h"

namespace featdlg {
namespace {

constexpr int kTextChars = 255;  // what k and v take

struct osm_page_state {
  int updating = 0;  // texts set by the page itself: no typed-text rules meanwhile
};
osm_page_state g_page;

plat::Wnd page() { return featdlg_page(kFeatPageOsm); }
plat::Wnd ctl(int id) { return page_item(kFeatPageOsm, id); }
bool on(int id) { return page_box_on(kFeatPageOsm, id); }

std::string key_text() { return text_of(ctl(kOsmKeyEdit), kTextChars); }
std::string value_text() { return text_of(ctl(kOsmValueEdit), kTextChars); }

// ---- Lists ---------------------------------------------------------------------------------------

// Every key of the key dictionary (in its order) that has a keyword record.
void fill_keywords() {
  plat::Wnd combo = ctl(kOsmKeywordList);
  combo_clear(combo);
  std::lock_guard<std::recursive_mutex> lock(osm_tables_mutex());
  const container_t* dict = osm_key_dict();
  const int n = obj_list_count(dict);
  for (int i = 0; i < n; ++i) {
    const auto* tag = static_cast<const tag_t*>(dict->elems[i]);
    if (!tag || !tag->name || tag->val == 0) continue;
    if (osm_keyword_find(tag->val, nullptr)) combo_add_item(combo, tag->name, tag->val);
  }
}

// The values of the key's features, in the feature table's order, one per run of equal
// value codes.
void fill_values(int key) {
  plat::Wnd list = ctl(kOsmValueList);
  list_clear(list);
  std::lock_guard<std::recursive_mutex> lock(osm_tables_mutex());
  const container_t* features = osm_features();
  const int n = obj_list_count(features);
  int last = 0;
  bool any = false;
  for (int i = 0; i < n; ++i) {
    const auto* f = static_cast<const feature_t*>(features->elems[i]);
    if (!f || f->maintype != key) continue;
    if (any && f->subtype == last) continue;
    any = true;
    last = f->subtype;
    if (const char* name = osm_value_name(f->subtype)) list_add_item(list, name, f->subtype);
  }
}

// "Node" and "Way" open their lists and their groups of the editor.
void update_sides() {
  const bool node = on(kOsmNode);
  const bool way = on(kOsmWay);
  plat::enable_window(ctl(kOsmNodeList), node);
  plat::enable_window(ctl(kOsmWayList), way);
  enable_point_group(node);
  enable_line_group(way);
}

// The mnemonic of the (key, value, element type) feature when it has a representation
// in the table; "" otherwise.
std::string represented_mnemo(int key, int value, int elttype) {
  std::string mnemo;
  {
    std::lock_guard<std::recursive_mutex> lock(osm_tables_mutex());
    feature_t* f = nullptr;
    osm_feature_find(key, value, elttype, &f);
    if (f && f->mnemo) mnemo = f->mnemo;
  }
  if (mnemo.empty()) return mnemo;
  representation_t* r = nullptr;
  repr_find_mnemo(mnemo.c_str(), &r, nullptr);
  return r ? mnemo : std::string();
}

// ---- Steps ------------------------------------------------------------------------------------------

// A keyword chosen: its values listed, its name in k, v emptied, nothing drawn yet.
void keyword_chosen() {
  const int key = int(combo_selected_data(ctl(kOsmKeywordList)));
  if (key <= 0) return;
  fill_values(key);
  const char* name = nullptr;
  std::string key_name;
  {
    std::lock_guard<std::recursive_mutex> lock(osm_tables_mutex());
    name = osm_key_name(key);
    key_name = name ? name : "";
  }
  plat::set_window_text(ctl(kOsmKeyEdit), key_name.c_str());
  plat::set_window_text(ctl(kOsmValueEdit), "");
  set_checked(ctl(kOsmNode), false);
  set_checked(ctl(kOsmWay), false);
  update_sides();
}

// k or v typed: a known key and value are selected; the boxes need both texts.
void text_typed() {
  if (g_page.updating) return;
  const std::string k = key_text(), v = value_text();
  const int key = osm_key_code(k.c_str());
  if (key) combo_select_data(ctl(kOsmKeywordList), key);
  const int value = osm_value_code(v.c_str());
  if (value) list_select_data(ctl(kOsmValueList), value);
  const bool both = !k.empty() && !v.empty();
  for (int id : {kOsmDefaultValue, kOsmNode, kOsmWay}) plat::enable_window(ctl(id), both);
  if (!both) set_checked(ctl(kOsmDefaultValue), false);
  update_sides();
}

// A value chosen: its name in v, the default box, and the node and way features with
// their representations selected and loaded into the editor.
void value_chosen() {
  const int value = int(list_selected_data(ctl(kOsmValueList)));
  if (value <= 0) return;
  const std::string name = list_text(ctl(kOsmValueList));
  plat::set_window_text(ctl(kOsmValueEdit), name.c_str());
  const int key = osm_key_code(key_text().c_str());
  int default_value = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(osm_tables_mutex());
    feature_t* keyword = nullptr;
    osm_keyword_find(key, &keyword);
    if (keyword) default_value = keyword->subtype;
  }
  set_checked(ctl(kOsmDefaultValue), key && default_value == value);
  const std::string node = represented_mnemo(key, value, kEltNode);
  const std::string way = represented_mnemo(key, value, kEltWay);
  set_checked(ctl(kOsmNode), !node.empty());
  set_checked(ctl(kOsmWay), !way.empty());
  select_mnemonic(ctl(kOsmNodeList), node.c_str());
  select_mnemonic(ctl(kOsmWayList), way.c_str());
  update_sides();
  if (!node.empty()) set_point_mnemonic(node);
  if (!way.empty()) set_line_mnemonic(way);
}

// The feature of one element type: recorded with the group's mnemonic when its box is
// checked, recorded without representation ("NONE") when unchecked and the table has
// it, else left alone. Called with the tables' lock held.
void record_side(int key, int value, int elttype, bool checked, const std::string& mnemo,
                 const std::string& value_name) {
  feature_t* known = nullptr;
  osm_feature_find(key, value, elttype, &known);
  if (!checked && !known) return;
  const std::string name = known && known->name ? known->name : value_name;
  const char* recorded = checked && !mnemo.empty() ? mnemo.c_str() : kReprNoMnemo;
  feature_t* f = nullptr;
  feature_create(nullptr, key, value, elttype, recorded, name.c_str(), &f);
  if (!f) return;
  osm_feature_record(f);
  obj_t* o = f;
  free_obj(&o);
}

}  // namespace

// ---- Page routines ----------------------------------------------------------------------------------

void osm_page_build(plat::Wnd p) {
  ++g_page.updating;
  const uint32_t list_style = plat::WS_TABSTOP | plat::WS_VSCROLL | plat::WS_BORDER | plat::LBS_NOTIFY;
  create_control(p, plat::kStaticClass, "Keyword", plat::SS_LEFT, 8, 9, 78, 18, -1);
  create_control(p, plat::kComboBoxClass, "", plat::WS_TABSTOP | plat::WS_VSCROLL | plat::CBS_DROPDOWNLIST, 90, 6,
                 276, 220, kOsmKeywordList);
  create_control(p, plat::kStaticClass, "Value", plat::SS_LEFT, 8, 39, 78, 18, -1);
  create_control(p, plat::kListBoxClass, "", list_style, 90, 36, 276, 104, kOsmValueList);
  create_control(p, plat::kStaticClass, "k", plat::SS_LEFT, 8, 151, 16, 18, -1);
  create_control(p, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_AUTOHSCROLL, 28, 148, 150, 24, kOsmKeyEdit,
                 plat::WS_EX_CLIENTEDGE);
  create_control(p, plat::kStaticClass, "v", plat::SS_LEFT, 192, 151, 16, 18, -1);
  create_control(p, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_AUTOHSCROLL, 212, 148, 154, 24,
                 kOsmValueEdit, plat::WS_EX_CLIENTEDGE);
  for (int id : {kOsmKeyEdit, kOsmValueEdit})
    plat::send_message(ctl(id), plat::EM_LIMITTEXT, kTextChars, 0);
  create_control(p, plat::kButtonClass, tr("v par d\xC3\xA9" "faut pour ce k", "Default v for this k"),
                 plat::WS_TABSTOP | plat::BS_AUTOCHECKBOX, 8, 178, 358, 24, kOsmDefaultValue);
  const char* mode = tr("Repr\xC3\xA9sentation", "Display mode");
  create_control(p, plat::kButtonClass, "Node", plat::WS_TABSTOP | plat::BS_AUTOCHECKBOX, 8, 204, 176, 24, kOsmNode);
  create_control(p, plat::kStaticClass, mode, plat::SS_LEFT, 8, 230, 176, 18, -1);
  create_control(p, plat::kListBoxClass, "", list_style, 8, 250, 176, 98, kOsmNodeList);
  create_control(p, plat::kButtonClass, "Way", plat::WS_TABSTOP | plat::BS_AUTOCHECKBOX, 192, 204, 174, 24, kOsmWay);
  create_control(p, plat::kStaticClass, mode, plat::SS_LEFT, 192, 230, 174, 18, -1);
  create_control(p, plat::kListBoxClass, "", list_style, 192, 250, 174, 98, kOsmWayList);
  for (int id : {kOsmDefaultValue, kOsmNode, kOsmWay, kOsmNodeList, kOsmWayList})
    plat::enable_window(plat::get_dlg_item(p, id), false);
  --g_page.updating;
}

void osm_page_command(plat::Wnd p, int id, int code) {
  if (p != page()) return;
  switch (id) {
    case kOsmKeywordList:
      if (code == plat::CBN_SELCHANGE) keyword_chosen();
      break;
    case kOsmValueList:
      if (code == plat::LBN_SELCHANGE) value_chosen();
      break;
    case kOsmKeyEdit:
    case kOsmValueEdit:
      if (code == plat::EN_CHANGE) text_typed();
      break;
    case kOsmNode:
    case kOsmWay:
      if (code == plat::BN_CLICKED) update_sides();
      break;
    case kOsmNodeList:
      if (code == plat::LBN_SELCHANGE) set_point_mnemonic(list_text(ctl(kOsmNodeList)));
      break;
    case kOsmWayList:
      if (code == plat::LBN_SELCHANGE) set_line_mnemonic(list_text(ctl(kOsmWayList)));
      break;
    default:
      break;
  }
}

void osm_page_fill() { fill_keywords(); }

bool osm_page_allows_point() { return on(kOsmNode); }
bool osm_page_allows_line() { return on(kOsmWay); }

void osm_page_apply() {
  const std::string k = key_text(), v = value_text();
  // Without both names there is no feature to record (and no empty name is entered).
  if (k.empty() || v.empty()) return;
  const bool node = on(kOsmNode), way = on(kOsmWay);
  const bool as_default = on(kOsmDefaultValue);
  const std::string point = point_mnemonic(), line = line_mnemonic();
  int key = 0, value = 0;
  {
    // The record and the rebuild are one change for the load tasks that read the tables.
    std::lock_guard<std::recursive_mutex> lock(osm_tables_mutex());
    key = osm_key_add(k.c_str());
    value = osm_value_add(v.c_str());
    if (key <= 0 || value <= 0) return;
    feature_t* keyword = nullptr;
    osm_keyword_find(key, &keyword);
    int default_value = keyword ? keyword->subtype : 0;
    if (default_value != value && as_default)
      default_value = value;
    else if ((default_value == value && !as_default) || (!node && !way))
      default_value = 0;
    osm_keyword_record(key, default_value);
    record_side(key, value, kEltWay, way, line, v);
    record_side(key, value, kEltNode, node, point, v);
    osm_tables_rebuild();
  }
  if (way) select_mnemonic(ctl(kOsmWayList), line.c_str());
  if (node) select_mnemonic(ctl(kOsmNodeList), point.c_str());
  // The page shows the tables as rebuilt: the keyword and the value chosen again.
  fill_keywords();
  if (combo_select_data(ctl(kOsmKeywordList), key) >= 0) keyword_chosen();
  if (list_select_data(ctl(kOsmValueList), value) >= 0) value_chosen();
}

}  // namespace featdlg
