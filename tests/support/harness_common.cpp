// Harness answers for the common dialogs (typing and clicking in the real dialogs), and
// the sample dialog that holds one control of each kind.
#include "tests/support/harness_common.h"

#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/ctl_button.h"
#include "platform/ui/ctl_combo.h"
#include "platform/ui/ctl_edit.h"
#include "platform/ui/ctl_listbox.h"
#include "platform/ui/ctl_listview.h"
#include "platform/ui/ctl_progress.h"
#include "platform/ui/ctl_static.h"
#include "platform/ui/ctl_tab.h"
#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/ctl_trackbar.h"
#include "platform/ui/ctl_treeview.h"
#include "platform/ui/ctl_updown.h"
#include "platform/ui/dialog.h"
#include "platform/ui/ui.h"

namespace tm_test {

namespace {

std::string quoted_list(const std::vector<std::string>& paths) {
  if (paths.size() == 1) return paths[0];
  std::string text;
  for (const std::string& p : paths) text += (text.empty() ? "\"" : " \"") + p + "\"";
  return text;
}

// Home, then Down to the entry: a drop-down list changes its selection (and tells the
// dialog) as a user's keys would.
void choose_type(plat::Wnd dlg, int filter_index) {
  plat::Wnd combo = dlg_control(dlg, plat::cdlg::kFileType);
  if (!combo || filter_index < 1) return;
  plat::set_focus(combo);
  press_key(plat::VK_HOME);
  for (int i = 1; i < filter_index; ++i) press_key(plat::VK_DOWN);
}

}  // namespace

void answer_next_open_dialog(const std::vector<std::string>& paths) {
  answer_next_dialog([paths](plat::Wnd dlg) {
    if (paths.empty()) {
      click_control(dlg, plat::IDCANCEL);
      return;
    }
    type_into(dlg, plat::cdlg::kFileName, quoted_list(paths).c_str());
    click_control(dlg, plat::IDOK);
  });
}

void answer_next_save_dialog(const std::string& path, int filter_index) {
  answer_next_dialog([path, filter_index](plat::Wnd dlg) {
    choose_type(dlg, filter_index);
    type_into(dlg, plat::cdlg::kFileName, path.c_str());
    click_control(dlg, plat::IDOK);
  });
}

void answer_next_color_dialog(plat::Color colour) {
  answer_next_dialog([colour](plat::Wnd dlg) {
    type_into(dlg, plat::cdlg::kRed, std::to_string(colour & 255).c_str());
    type_into(dlg, plat::cdlg::kGreen, std::to_string((colour >> 8) & 255).c_str());
    type_into(dlg, plat::cdlg::kBlue, std::to_string((colour >> 16) & 255).c_str());
    click_control(dlg, plat::IDOK);
  });
}

void answer_next_folder_dialog(const std::string& path) {
  answer_next_dialog([path](plat::Wnd dlg) {
    type_into(dlg, plat::cdlg::kFolderPath, path.c_str());
    click_control(dlg, plat::IDOK);
  });
}

void cancel_next_dialog() {
  answer_next_dialog([](plat::Wnd dlg) { click_control(dlg, plat::IDCANCEL); });
}

}  // namespace tm_test

// ---- The sample dialog -----------------------------------------------------------------------
namespace tm_test {

namespace {

enum SampleId {
  kName = 101, kNameEdit, kPicture, kNotes, kOptions, kCheck, kRadio1, kRadio2, kPush, kOwner,
  kDropDown, kDropList, kList, kReport, kTree, kCount, kSpin, kSlider, kProgress, kTabs, kTools,
  kCountLabel,
};

plat::DlgTemplate sample_template() {
  using namespace plat;
  DlgTemplate t;
  t.title = "Sample dialog";
  t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
  t.x = 10;
  t.y = 10;
  t.cx = 330;
  t.cy = 200;
  t.items = {
      {"Static", kName, "Name:", SS_LEFT, 7, 8, 30, 10},
      {"Edit", kNameEdit, "Single line", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 40, 6, 85, 14},
      {"Static", kPicture, "", SS_BITMAP, 132, 5, 16, 16},
      {"Edit", kNotes, "Multi-line edit\r\nsecond line", ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
       7, 25, 143, 34},
      {"Button", kOptions, "Options", BS_GROUPBOX, 7, 62, 143, 50},
      {"Button", kCheck, "Check box", BS_AUTOCHECKBOX | WS_TABSTOP, 14, 73, 80, 10},
      {"Button", kRadio1, "Radio one", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 14, 85, 60, 10},
      {"Button", kRadio2, "Radio two", BS_AUTORADIOBUTTON, 80, 85, 60, 10},
      {"Button", kPush, "Push", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 14, 97, 40, 12},
      {"Button", kOwner, "Owner", BS_OWNERDRAW, 60, 97, 40, 12},
      {"Static", kCountLabel, "Count:", SS_LEFT, 7, 119, 30, 10},
      {"Edit", kCount, "5", ES_NUMBER | WS_BORDER | WS_TABSTOP, 40, 117, 40, 14},
      {"msctls_updown32", kSpin, "", UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS, 0, 0, 10, 14},
      {"msctls_trackbar32", kSlider, "", TBS_AUTOTICKS | WS_TABSTOP, 85, 116, 65, 18},
      {"msctls_progress32", kProgress, "", PBS_SMOOTH, 7, 138, 143, 10},
      {"ComboBox", kDropDown, "Drop-down", CBS_DROPDOWN | WS_TABSTOP | WS_VSCROLL, 160, 6, 80, 60},
      {"ComboBox", kDropList, "", CBS_DROPDOWNLIST | WS_TABSTOP | WS_VSCROLL, 245, 6, 78, 60},
      {"ListBox", kList, "", LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_TABSTOP, 160, 25, 80, 40},
      {"SysListView32", kReport, "", LVS_REPORT | WS_BORDER | WS_TABSTOP, 245, 25, 78, 58},
      {"SysTreeView32", kTree, "", TVS_CHECKBOXES | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | WS_BORDER | WS_TABSTOP,
       160, 68, 80, 62},
      {"SysTabControl32", kTabs, "", WS_TABSTOP, 245, 88, 78, 42},
      {"ToolbarWindow32", kTools, "", CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | TBSTYLE_FLAT, 160, 136, 80, 16},
      {"Button", plat::IDOK, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 218, 180, 50, 14},
      {"Button", plat::IDCANCEL, "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 273, 180, 50, 14},
  };
  return t;
}

intptr_t sample_proc(plat::Wnd dlg, uint32_t msg, plat::WParam, plat::LParam lp) {
  using namespace plat;
  if (msg == WM_INITDIALOG) return 1;
  if (msg == WM_DESTROY) {  // the picture of the bitmap static is the dialog's to free
    LResult bmp = send_dlg_item_message(dlg, kPicture, STM_GETIMAGE, IMAGE_BITMAP, 0);
    if (bmp) delete_object(reinterpret_cast<Bitmap>(bmp));
    return 0;
  }
  if (msg == WM_DRAWITEM) {
    const DrawItemStruct& di = *reinterpret_cast<const DrawItemStruct*>(lp);
    Brush b = create_solid_brush(rgb(0, 96, 160));
    fill_rect(di.dc, di.rc_item, b);
    delete_object(b);
    set_bk_mode(di.dc, TRANSPARENT);
    set_text_color(di.dc, rgb(255, 255, 255));
    Rect r = di.rc_item;
    draw_text(di.dc, u"Owner", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    set_window_long(dlg, DWLP_MSGRESULT, 1);
    return 1;
  }
  return 0;
}

void add(plat::Wnd dlg, int id, uint32_t msg, const char16_t* text) {
  plat::send_dlg_item_message(dlg, id, msg, 0, plat::LParam(text));
}

// A small picture for the bitmap static: a blue square with a yellow cross. The dialog
// deletes it when it goes, since the control does not own it.
plat::Bitmap sample_bitmap() {
  std::vector<uint32_t> px(24 * 24, 0xFF2050C0u);
  for (int i = 0; i < 24; ++i) px[size_t(i * 24 + i)] = px[size_t(i * 24 + 23 - i)] = 0xFFFFE000u;
  return plat::create_bitmap(24, 24, px.data());
}

void fill_views(plat::Wnd dlg) {
  using namespace plat;
  std::u16string name = u"Name", size = u"Size";
  LvColumn col;
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  col.cx = 70;
  col.text = name.data();
  send_dlg_item_message(dlg, kReport, LVM_INSERTCOLUMN, 0, LParam(&col));
  col.cx = 50;
  col.text = size.data();
  send_dlg_item_message(dlg, kReport, LVM_INSERTCOLUMN, 1, LParam(&col));
  const char16_t* rows[][2] = {{u"track.gpx", u"12 kB"}, {u"map.tif", u"3 MB"}};
  for (int i = 0; i < 2; ++i) {
    std::u16string a = rows[i][0], b = rows[i][1];
    LvItem it;
    it.mask = LVIF_TEXT;
    it.item = i;
    it.text = a.data();
    send_dlg_item_message(dlg, kReport, LVM_INSERTITEM, 0, LParam(&it));
    it.sub_item = 1;
    it.text = b.data();
    send_dlg_item_message(dlg, kReport, LVM_SETITEMTEXT, WParam(i), LParam(&it));
  }
  std::u16string root = u"Layers", l1 = u"Roads", l2 = u"Rivers";
  TvInsertStruct ins;
  ins.parent = TVI_ROOT;
  ins.insert_after = TVI_LAST;
  ins.item.mask = TVIF_TEXT;
  ins.item.text = root.data();
  TreeItem top = reinterpret_cast<TreeItem>(send_dlg_item_message(dlg, kTree, TVM_INSERTITEM, 0, LParam(&ins)));
  ins.parent = top;
  for (std::u16string* s : {&l1, &l2}) {
    ins.item.text = s->data();
    send_dlg_item_message(dlg, kTree, TVM_INSERTITEM, 0, LParam(&ins));
  }
  send_dlg_item_message(dlg, kTree, TVM_EXPAND, TVE_EXPAND, LParam(top));
}

void fill_bars(plat::Wnd dlg) {
  using namespace plat;
  send_dlg_item_message(dlg, kSpin, UDM_SETRANGE32, 0, 10);
  send_dlg_item_message(dlg, kSpin, UDM_SETPOS32, 0, 5);
  send_dlg_item_message(dlg, kSlider, TBM_SETRANGE, 1, make_lparam(0, 10));
  send_dlg_item_message(dlg, kSlider, TBM_SETTICFREQ, 2, 0);
  send_dlg_item_message(dlg, kSlider, TBM_SETPOS, 1, 4);
  send_dlg_item_message(dlg, kProgress, PBM_SETRANGE, 0, make_lparam(0, 100));
  send_dlg_item_message(dlg, kProgress, PBM_SETPOS, 60, 0);
  std::u16string t1 = u"General", t2 = u"More";
  TcItem tab;
  tab.mask = TCIF_TEXT;
  tab.text = t1.data();
  send_dlg_item_message(dlg, kTabs, TCM_INSERTITEM, 0, LParam(&tab));
  tab.text = t2.data();
  send_dlg_item_message(dlg, kTabs, TCM_INSERTITEM, 1, LParam(&tab));
  send_dlg_item_message(dlg, kTools, TB_BUTTONSTRUCTSIZE, sizeof(TbButton), 0);
  TbAddBitmap std_images;
  std_images.instance = HINST_COMMCTRL;
  std_images.id = IDB_STD_SMALL_COLOR;
  send_dlg_item_message(dlg, kTools, TB_ADDBITMAP, 0, LParam(&std_images));
  TbButton buttons[3];
  buttons[0].bitmap = STD_FILENEW;
  buttons[0].command = 201;
  buttons[1].bitmap = STD_FILEOPEN;
  buttons[1].command = 202;
  buttons[2].bitmap = STD_FILESAVE;
  buttons[2].command = 203;
  buttons[2].style = TBSTYLE_CHECK;
  send_dlg_item_message(dlg, kTools, TB_ADDBUTTONS, 3, LParam(buttons));
}

}  // namespace

const std::vector<SampleItem>& sample_dialog_labels() {
  static const std::vector<SampleItem> labels = {
      {kName, "Name:"},   {kNameEdit, "Single line"}, {kNotes, "Multi-line edit"}, {kOptions, "Options"},
      {kCheck, "Check box"}, {kRadio1, "Radio one"}, {kPush, "Push"},           {kDropDown, "Drop-down"},
      {kDropList, "Second"}, {kList, "First"},       {kReport, "Name"},         {kTree, "Layers"},
      {kTabs, "General"},  {plat::IDOK, "OK"},       {plat::IDCANCEL, "Cancel"},
  };
  return labels;
}

plat::Wnd create_sample_dialog(plat::Wnd owner) {
  using namespace plat;
  register_controls();
  Wnd dlg = create_dialog_indirect(sample_template(), owner, sample_proc);
  if (!dlg) return nullptr;
  send_dlg_item_message(dlg, kPicture, STM_SETIMAGE, IMAGE_BITMAP, LParam(sample_bitmap()));
  check_dlg_button(dlg, kCheck, BST_CHECKED);
  check_dlg_button(dlg, kRadio1, BST_CHECKED);
  for (const char16_t* s : {u"First", u"Second", u"Third"}) {
    add(dlg, kDropDown, CB_ADDSTRING, s);
    add(dlg, kDropList, CB_ADDSTRING, s);
    add(dlg, kList, LB_ADDSTRING, s);
  }
  send_dlg_item_message(dlg, kDropList, CB_SETCURSEL, 1, 0);
  send_dlg_item_message(dlg, kList, LB_SETCURSEL, 1, 0);
  fill_views(dlg);
  fill_bars(dlg);
  invalidate_rect(dlg, nullptr, true);
  return dlg;
}

}  // namespace tm_test
