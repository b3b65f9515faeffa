// The "Find place name" window: its controls laid out in pixels on a "ClasseDialogue"
// window, its procedure (the enabling rules of Find and Localize, the category boxes and
// "All"), the search that fills the result list from the place index, the sort by a
// column, and Localize.
#include <iterator>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/memory.h"
#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/strutil.h"
#include "core/wstring.h"
#include "map/graphspace.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listview.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/styles.h"
#include "platform/ui/window.h"
#include "shell/framework/winutil.h"
#include "shell/menu.h"
#include "shell/place_window.h"

namespace {

// A listed object: the row's data word is its running number in the index; the id,
// class and address find the object again when it is located.
struct place_hit {
  intptr_t number;
  int id;
  int cls;
  const obj_t* address;
};

struct place_state {
  plat::Wnd wnd = nullptr, edit = nullptr, find = nullptr, all = nullptr, list = nullptr,
            localize = nullptr;
  plat::Wnd boxes[3] = {};
  class_holder_t* index = nullptr;
  int descending[2] = {0, 0};  // next sort direction of each column
  std::vector<place_hit> hits;
};
place_state& st() {
  static place_state s;
  return s;
}

const char* tr(const char* fr, const char* en) { return is_french() ? fr : en; }

bool checked(plat::Wnd box) { return plat::send_message(box, plat::BM_GETCHECK, 0, 0) == plat::BST_CHECKED; }
void set_checked(plat::Wnd box, bool on) {
  plat::send_message(box, plat::BM_SETCHECK, on ? plat::BST_CHECKED : plat::BST_UNCHECKED, 0);
}

plat::Wnd checkbox(plat::Wnd wnd, const char* text, int x, int width, int id) {
  return create_control(wnd, plat::kButtonClass, text, plat::WS_TABSTOP | plat::BS_AUTOCHECKBOX, x, 66, width,
                        24, id);
}

void free_index() {
  free_obj(&st().index);
  st().hits.clear();
}

}  // namespace

// ---- The window ---------------------------------------------------------------------------

void placedlg_create_controls(plat::Wnd wnd) {
  place_state& s = st();
  create_control(wnd, plat::kStaticClass, tr("Nom", "Name"), plat::SS_LEFT, 10, 6, 92, 24, -1);
  s.edit = create_control(wnd, plat::kEditClass, "", plat::WS_TABSTOP | plat::ES_AUTOHSCROLL, 10, 34, 408, 24,
                          IDC_PLACE_EDIT, plat::WS_EX_CLIENTEDGE);
  s.find = create_control(wnd, plat::kButtonClass, tr("Rechercher", "Find"), plat::WS_TABSTOP, 426, 32, 100, 28,
                          IDC_PLACE_FIND);
  // The category row is spread over the whole width: in the dialog font the French
  // texts are wider than the English ones the first layout was sized for.
  s.boxes[0] = checkbox(wnd, tr("Donn\xC3\xA9" "es carto", "Map data"), 10, 135, IDC_PLACE_MAP);
  s.boxes[1] = checkbox(wnd, tr("Donn\xC3\xA9" "es GPS", "GPS data"), 150, 126, IDC_PLACE_GPS);
  s.boxes[2] = checkbox(wnd, tr("Donn\xC3\xA9" "es graphiques", "Graphic data"), 281, 182, IDC_PLACE_GRAPHIC);
  s.all = checkbox(wnd, tr("Tout", "All"), 468, 58, IDC_PLACE_ALL);
  create_control(wnd, plat::kStaticClass, tr("R\xC3\xA9sultats de recherche", "Find results"), plat::SS_LEFT, 10,
                 102, 300, 24, -1);
  s.list = create_control(wnd, plat::kListViewClass, "",
                          plat::WS_TABSTOP | plat::LVS_REPORT | plat::LVS_SINGLESEL | plat::LVS_SHOWSELALWAYS,
                          10, 130, 516, 200, IDC_PLACE_LIST, plat::WS_EX_CLIENTEDGE);
  plat::send_message(s.list, plat::LVM_SETEXTENDEDLISTVIEWSTYLE, 0, plat::LVS_EX_FULLROWSELECT);
  listview_add_column(s.list, 0, tr("Nom", "Name"), 384);
  listview_add_column(s.list, 1, "Type", 106);
  s.localize = create_control(wnd, plat::kButtonClass, tr("Localiser", "Localize"),
                              plat::WS_TABSTOP | plat::BS_DEFPUSHBUTTON, 138, 342, 100, 28, IDC_PLACE_LOCALIZE);
  create_control(wnd, plat::kButtonClass, tr("Fermer", "Close"), plat::WS_TABSTOP, 426, 342, 100, 28,
                 IDC_PLACE_CLOSE);
  plat::enable_window(s.find, false);
  plat::enable_window(s.localize, false);
  set_checked(s.all, true);
  for (plat::Wnd box : s.boxes) set_checked(box, true);
}

void placedlg_open() {
  place_state& s = st();
  if (s.wnd && plat::is_window(s.wnd)) {
    plat::set_foreground_window(s.wnd);
    return;
  }
  plat::register_controls();
  register_dialog_class();
  const uint32_t style = plat::WS_POPUP | plat::WS_CAPTION | plat::WS_SYSMENU;
  const uint32_t ex_style = plat::WS_EX_DLGMODALFRAME;
  plat::Rect r{40, 60, 576, 440};
  plat::adjust_window_rect(&r, style, false, ex_style);
  plat::Wnd wnd = plat::create_window(ex_style, "ClasseDialogue", tr("Recherche d'un nom de lieu", "Find place name"),
                                      style, r.left, r.top, r.width(), r.height(), dialog_owner_window(), 0);
  if (!wnd) return;
  menu_disable_all(1);
  s = place_state{};
  s.wnd = wnd;
  placedlg_create_controls(wnd);
  plat::set_window_proc(wnd, placedlg_wndproc);
  plat::show_window(wnd, plat::SW_SHOW);
  plat::set_focus(s.edit);
}

plat::Wnd placedlg_window() {
  const plat::Wnd w = st().wnd;
  return w && plat::is_window(w) ? w : nullptr;
}

// ---- Enabling -----------------------------------------------------------------------------

void placedlg_update_find() {
  place_state& s = st();
  char16_t text[kPlaceMaxFindText + 1] = {};
  const bool typed = plat::get_window_text_w(s.edit, text, kPlaceMaxFindText + 1) > 0;
  bool any = false;
  for (plat::Wnd box : s.boxes) any = any || checked(box);
  plat::enable_window(s.find, typed && any);
}

void placedlg_update_locate() {
  const auto selected = plat::send_message(st().list, plat::LVM_GETNEXTITEM, plat::WParam(-1), plat::LVNI_SELECTED);
  plat::enable_window(st().localize, selected >= 0);
}

// ---- Search -------------------------------------------------------------------------------

namespace {

void add_row(const char16_t* text, int cls, intptr_t number) {
  plat::Wnd lv = st().list;
  plat::LvItem it;
  it.mask = plat::LVIF_TEXT | plat::LVIF_PARAM;
  it.item = int(plat::send_message(lv, plat::LVM_GETITEMCOUNT, 0, 0));
  it.text = const_cast<char16_t*>(text);
  it.param = number;
  const int row = int(plat::send_message(lv, plat::LVM_INSERTITEM, 0, plat::LParam(&it)));
  if (row < 0) return;
  listview_set_cell(lv, row, 1, obj_class_name(cls));
}

int attr_offset(int cls, int attr) {
  int offset = 0;
  obj_attr_info(cls, attr, nullptr, &offset, nullptr);
  return offset;
}

}  // namespace

namespace {

// The matches of the pattern in the index, at most kPlaceMaxRows, with their texts
// copied: the rows are added once the layers are free again.
void collect_matches(const char16_t* pattern, std::vector<std::u16string>* texts) {
  place_state& s = st();
  class_holder_t* h = s.index;
  if (!h) return;
  const int cls = obj_get_word6(h);
  const int at_object = attr_offset(cls, 2), at_type = attr_offset(cls, 3);
  const int at_name = attr_offset(cls, 4), at_comment = attr_offset(cls, 5);
  const char16_t* fold = place_fold_table();
  int part = 0, index = 0, visited = 0;
  obj_t* record = nullptr;
  while (int(s.hits.size()) < kPlaceMaxRows && parts_find_range(h, &part, &record, &index, &visited)) {
    const auto* name = field_load<const char16_t*>(record, at_name);
    const auto* comment = field_load<const char16_t*>(record, at_comment);
    const char16_t* match = wstr_like_ci(pattern, name, fold)       ? name
                            : wstr_like_ci(pattern, comment, fold) ? comment
                                                                   : nullptr;
    if (!match) continue;
    const auto* object = field_load<const obj_t*>(record, at_object);
    // The running number counts every element walked so far, linked or not.
    s.hits.push_back({visited - 1, object ? object->id : 0, field_load<int32_t>(record, at_type), object});
    texts->emplace_back(match);
  }
}

}  // namespace

void placedlg_search() {
  place_state& s = st();
  plat::send_message(s.list, plat::LVM_DELETEALLITEMS, 0, 0);
  s.hits.clear();
  plat::enable_window(s.localize, false);
  char16_t pattern[kPlaceMaxPattern + 1] = {};
  plat::get_window_text_w(s.edit, pattern, kPlaceMaxPattern + 1);
  std::vector<std::u16string> texts;
  {
    // The load task may change the layers: their lists stay as they are meanwhile.
    graphspace_lock lock(graphspace_mutex());
    place_index_build(pattern, checked(s.boxes[0]), checked(s.boxes[1]), checked(s.boxes[2]), &s.index);
    collect_matches(pattern, &texts);
  }
  for (size_t i = 0; i < texts.size(); ++i) add_row(texts[i].c_str(), s.hits[i].cls, s.hits[i].number);
}

// ---- Sort and Localize --------------------------------------------------------------------

namespace {

std::u16string cell_text(plat::Wnd lv, int item, int column) {
  char16_t buf[kPlaceMaxPattern + 2] = {};
  plat::LvItem it;
  it.sub_item = column;
  it.text = buf;
  it.text_max = int(std::size(buf));
  plat::send_message(lv, plat::LVM_GETITEMTEXT, plat::WParam(item), plat::LParam(&it));
  return buf;
}

// The sort word: the column in the low byte, 1 above it for descending.
int compare_rows(plat::LParam first, plat::LParam second, plat::LParam word) {
  const int column = int(word & 0xFF);
  const bool descending = (word >> 8) != 0;
  const std::u16string a = cell_text(st().list, int(first), column);
  const std::u16string b = cell_text(st().list, int(second), column);
  // wstr_compare_ci gives the second against the first: 1 when b sorts after a.
  const int order = -wstr_compare_ci(a.c_str(), b.c_str());
  return descending ? -order : order;
}

void sort_column(int column) {
  if (column < 0 || column > 1) return;
  place_state& s = st();
  const plat::LParam word = column | (s.descending[column] << 8);
  plat::send_message(s.list, plat::LVM_SORTITEMSEX, plat::WParam(word), plat::LParam(compare_rows));
  s.descending[column] ^= 1;
}

void locate_selected() {
  place_state& s = st();
  const intptr_t number = listview_selected_data(s.list);
  if (number < 0) return;
  for (const place_hit& hit : s.hits) {
    if (hit.number != number) continue;
    if (!place_locate(hit.id, hit.cls, hit.address))
      msg_box(tr("Cet objet n'est plus charg\xC3\xA9.", "This object is no longer loaded."),
              tr("Recherche d'un nom de lieu", "Find place name"));
    break;
  }
  plat::enable_window(s.localize, false);
}

void on_command(plat::Wnd wnd, int id, int code) {
  place_state& s = st();
  if (id == IDC_PLACE_EDIT && code == plat::EN_CHANGE) {
    placedlg_update_find();
  } else if (code != plat::BN_CLICKED) {
    return;
  } else if (id == IDC_PLACE_MAP || id == IDC_PLACE_GPS || id == IDC_PLACE_GRAPHIC) {
    if (!checked(plat::get_dlg_item(wnd, id))) set_checked(s.all, false);
    placedlg_update_find();
  } else if (id == IDC_PLACE_ALL) {
    if (checked(s.all))
      for (plat::Wnd box : s.boxes) set_checked(box, true);
    placedlg_update_find();
  } else if (id == IDC_PLACE_FIND) {
    placedlg_search();
  } else if (id == IDC_PLACE_LOCALIZE) {
    locate_selected();
  } else if (id == IDC_PLACE_CLOSE) {
    free_index();
    plat::send_message(wnd, plat::WM_CLOSE, 0, 0);
  }
}

void on_notify(const plat::NmHdr* h) {
  if (!h || h->hwnd_from != st().list) return;
  if (h->code == plat::NM_CLICK || h->code == plat::LVN_ITEMCHANGED)
    placedlg_update_locate();
  else if (h->code == plat::LVN_COLUMNCLICK)
    sort_column(reinterpret_cast<const plat::NmListView*>(h)->sub_item);
  else if (h->code == plat::LVN_ITEMACTIVATE)
    locate_selected();
}

}  // namespace

plat::LResult placedlg_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  switch (msg) {
    case plat::WM_COMMAND:
      on_command(wnd, int(plat::loword(wparam)), int(plat::hiword(wparam)));
      return 0;
    case plat::WM_NOTIFY:
      on_notify(reinterpret_cast<const plat::NmHdr*>(lparam));
      return 0;
    case plat::WM_CLOSE:
      menu_disable_all(0);
      plat::destroy_window(wnd);
      return 0;
    case plat::WM_DESTROY:
      // No index outlives its window: it borrows the layers' lists.
      if (st().wnd == wnd) {
        free_index();
        st() = place_state{};
      }
      break;
    default:
      break;
  }
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}
