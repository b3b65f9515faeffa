// Dialogs built from templates: the items, their places in dialog units, the font, the
// plain layout of items given no place, WM_INITDIALOG, the dialog procedure's results,
// and the item helpers.
#include <climits>

#include "tests/platform/dialog_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class Dialog : public DialogTest {};

// Where an item of a template lands: its corner and its size each in pixels.
Rect dialog_rect_of(Wnd dlg, int x, int y, int cx, int cy) {
  Rect corner{x, y, 0, 0}, size{0, 0, cx, cy};
  EXPECT_TRUE(map_dialog_rect(dlg, &corner));
  EXPECT_TRUE(map_dialog_rect(dlg, &size));
  return Rect{corner.left, corner.top, corner.left + size.right, corner.top + size.bottom};
}

Rect rect_in_parent(Wnd w) {
  Rect r;
  get_window_rect(w, &r);
  Point p{r.left, r.top};
  screen_to_client(get_parent(w), &p);
  return Rect{p.x, p.y, p.x + r.width(), p.y + r.height()};
}

bool overlap(const Rect& a, const Rect& b) { return !intersect_rect(a, b).empty(); }

TEST_F(Dialog, TheTemplateGivesTheItemsTheirClassTextStyleAndPlace) {
  DlgTemplate t = sample_template();
  t.items[2].hidden = true;
  Wnd dlg = create_dialog_indirect(t, parent_, probe_proc, 77);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(get_class_name(dlg), "#32770");
  EXPECT_EQ(window_text(dlg), "Impression");
  EXPECT_EQ(get_owner(dlg), parent_);
  EXPECT_EQ(probe().init_param, 77);
  const Size base = dialog_base_units(dlg);
  EXPECT_GE(base.cx, 5);
  EXPECT_GE(base.cy, 11);
  Rect client;
  get_client_rect(dlg, &client);
  EXPECT_EQ(client, dialog_rect_of(dlg, 0, 0, 230, 150));
  const LResult font = send_message(dlg, WM_GETFONT, 0, 0);
  EXPECT_NE(font, 0);
  for (const DlgItem& it : t.items) {
    Wnd w = get_dlg_item(dlg, it.id);
    ASSERT_NE(w, nullptr) << it.id;
    EXPECT_EQ(get_class_name(w), it.class_name) << it.id;
    EXPECT_EQ(window_text(w), it.text) << it.id;
    EXPECT_EQ(rect_in_parent(w), dialog_rect_of(dlg, it.x, it.y, it.cx, it.cy)) << it.id;
    EXPECT_EQ(uint32_t(get_window_long(w, GWL_STYLE)) & 0xFFFFu, it.style & 0xFFFFu) << it.id;
    EXPECT_EQ(is_window_visible(w), !it.hidden) << it.id;
    EXPECT_EQ(send_message(w, WM_GETFONT, 0, 0), font) << it.id;
  }
  EXPECT_TRUE(is_window_visible(dlg));
  EXPECT_EQ(get_active_window(), dlg);
  EXPECT_EQ(probe().init_focus, get_dlg_item(dlg, 1096)) << "the first tab stop";
  EXPECT_EQ(get_focus(), get_dlg_item(dlg, 1096));
  uint32_t a = 9, b = 9;
  send_message(get_focus(), EM_GETSEL, WParam(reinterpret_cast<uintptr_t>(&a)), LParam(reinterpret_cast<intptr_t>(&b)));
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 3u) << "its text is selected";
}

TEST_F(Dialog, DialogUnitsFollowTheFont) {
  DlgTemplate t;
  t.cx = 100;
  t.cy = 50;
  Size previous{0, 0};
  for (int points : {8, 10, 14}) {
    t.font_size = points;
    Wnd dlg = create_dialog_indirect(t, nullptr, probe_proc);
    ASSERT_NE(dlg, nullptr);
    const Size base = dialog_base_units(dlg);
    EXPECT_GT(base.cx, previous.cx) << points;
    EXPECT_GT(base.cy, previous.cy) << points;
    Rect client;
    get_client_rect(dlg, &client);
    EXPECT_EQ(client.width(), (100 * base.cx + 2) / 4) << points;
    previous = base;
    destroy_window(dlg);
  }
}

TEST_F(Dialog, ItemsGivenNoPlaceAreLaidOutPlainly) {
  DlgTemplate t;
  t.title = "Choix";
  t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
  t.items = {
      {"Static", 1002, "Systèmes déjà présents", SS_LEFT},
      {"ListBox", 1085, "", WS_BORDER | WS_TABSTOP},
      {"Static", 1004, "Coordonnées géographiques", SS_LEFT},
      {"Edit", 1018, "", WS_BORDER | WS_TABSTOP},
      {"Button", 1094, "Niveaux de gris", BS_AUTOCHECKBOX | WS_TABSTOP},
      {"Static", 1008, "Une longue remarque sur une ligne à elle", SS_LEFT},
      {"Button", IDOK, "OK", BS_DEFPUSHBUTTON | WS_TABSTOP},
      {"Button", IDCANCEL, "Annuler", BS_PUSHBUTTON | WS_TABSTOP},
  };
  // The list box class may not be there: a stand-in of that name keeps the layout test
  // to the dialog's own part.
  WndClass stand_in;
  stand_in.name = "ListBox";
  stand_in.proc = def_window_proc;
  if (!get_class_info("ListBox", nullptr)) register_class(stand_in);
  Wnd dlg = create_dialog_indirect(t, nullptr, probe_proc);
  ASSERT_NE(dlg, nullptr);
  Rect client;
  get_client_rect(dlg, &client);
  std::vector<Rect> r;
  for (const DlgItem& it : t.items) r.push_back(rect_in_parent(get_dlg_item(dlg, it.id)));
  for (size_t i = 0; i < r.size(); ++i) {
    EXPECT_FALSE(r[i].empty()) << t.items[i].id;
    EXPECT_EQ(intersect_rect(r[i], client), r[i]) << t.items[i].id << " inside the dialog";
    for (size_t j = i + 1; j < r.size(); ++j) EXPECT_FALSE(overlap(r[i], r[j])) << t.items[i].id << " / " << t.items[j].id;
  }
  // A label shares its field's row, left of it; other items take rows of their own.
  for (size_t label : {size_t(0), size_t(2)}) {
    EXPECT_LT(r[label].right, r[label + 1].left + 1);
    EXPECT_LT(r[label].top, r[label + 1].bottom);
    EXPECT_GT(r[label].bottom, r[label + 1].top);
  }
  EXPECT_EQ(r[1].left, r[3].left) << "fields in one column";
  EXPECT_GE(r[4].top, r[3].bottom);
  EXPECT_GE(r[5].top, r[4].bottom);
  // Push buttons at the bottom right, in their order.
  EXPECT_GE(r[6].top, r[5].bottom);
  EXPECT_EQ(r[6].top, r[7].top);
  EXPECT_LT(r[6].right, r[7].left);
  EXPECT_GT(r[7].right, client.right - 20);
  // Each label shows its whole text.
  for (size_t label : {size_t(0), size_t(2), size_t(5)}) {
    Wnd w = get_dlg_item(dlg, t.items[label].id);
    tm_test::run_until_idle();
    auto [lo, hi] = ink_columns(w, Rect{0, 0, r[label].width(), r[label].height()}, inky);
    EXPECT_GE(lo, 0) << t.items[label].id;
    EXPECT_LT(hi, r[label].width() - 1) << t.items[label].id << " not cut";
  }
}

TEST_F(Dialog, AnItemOfAnUnknownClassFailsTheDialog) {
  DlgTemplate t = sample_template();
  t.items.push_back({"NoSuchClass", 5, "", 0, 1, 1, 10, 10});
  EXPECT_EQ(create_dialog_indirect(t, parent_, probe_proc), nullptr);
  EXPECT_EQ(dialog_box_indirect(t, parent_, probe_proc), -1);
  EXPECT_TRUE(is_window_enabled(parent_));
  EXPECT_EQ(find_window("#32770", nullptr), nullptr);
}

TEST_F(Dialog, InitDialogDecidesTheFirstFocus) {
  struct Case {
    bool give;       // WM_INITDIALOG answers true
    int focus_self;  // the procedure's own choice, 0 for none
    int expected;
  };
  const Case cases[] = {{true, 0, 1096}, {false, 1005, 1005}};
  for (const Case& c : cases) {
    probe().init_answer = c.give;
    probe().hook = [&](Wnd dlg, uint32_t m, WParam, LParam) -> intptr_t {
      if (m == WM_INITDIALOG && c.focus_self) set_focus(get_dlg_item(dlg, c.focus_self));
      return 0;
    };
    Wnd dlg = create_dialog_indirect(sample_template(), parent_, probe_proc);
    ASSERT_NE(dlg, nullptr);
    tm_test::run_until_idle();
    EXPECT_EQ(tm_test::focused_control_id(), c.expected);
    destroy_window(dlg);
  }
}

TEST_F(Dialog, TheProcedureDecidesResults) {
  Brush pink = create_solid_brush(rgb(255, 200, 200));
  probe().hook = [&](Wnd dlg, uint32_t m, WParam, LParam) -> intptr_t {
    if (m == WM_USER + 5) {
      set_window_long(dlg, DWLP_MSGRESULT, 42);
      return 1;
    }
    if (m == WM_CTLCOLORSTATIC) return intptr_t(reinterpret_cast<uintptr_t>(pink));  // the brush itself
    return 0;
  };
  Wnd dlg = create_dialog_indirect(sample_template(), parent_, probe_proc);
  tm_test::run_until_idle();
  EXPECT_EQ(send_message(dlg, WM_USER + 5, 0, 0), 42);
  EXPECT_EQ(send_message(dlg, WM_USER + 6, 0, 0), 0) << "left to the default";
  EXPECT_EQ(tm_test::pixel_at(get_dlg_item(dlg, 1097), 1, 1), pixel_of(rgb(255, 200, 200)));
  EXPECT_EQ(get_window_long(dlg, DWLP_DLGPROC), reinterpret_cast<intptr_t>(&probe_proc));
  set_window_long(dlg, DWLP_USER, 1234);
  EXPECT_EQ(get_window_long(dlg, DWLP_USER), 1234);
  destroy_window(dlg);
  delete_object(pink);
}

TEST_F(Dialog, ItemTextsInBothForms) {
  Wnd dlg = create_dialog_indirect(sample_template(), parent_, probe_proc);
  probe().commands.clear();
  EXPECT_TRUE(set_dlg_item_text(dlg, 1004, "Facteur d'épaisseur"));
  EXPECT_EQ(dlg_item_text(dlg, 1004), "Facteur d'épaisseur");
  EXPECT_EQ(dlg_item_text_w(dlg, 1004), u"Facteur d'épaisseur");
  EXPECT_TRUE(set_dlg_item_text_w(dlg, 1005, u"Géo 😀"));
  EXPECT_EQ(dlg_item_text(dlg, 1005), "Géo 😀");
  char small[3];
  EXPECT_EQ(get_dlg_item_text(dlg, 1005, small, sizeof small), 1) << "cut before the 'é', never inside it";
  EXPECT_STREQ(small, "G");
  char16_t wide[4];
  EXPECT_EQ(get_dlg_item_text_w(dlg, 1005, wide, 4), 3);
  EXPECT_EQ(std::u16string(wide), u"Géo");
  EXPECT_EQ(dialog_codes(1005), (std::vector<int>{EN_UPDATE, EN_CHANGE})) << "an edit's text set by code";
  EXPECT_FALSE(set_dlg_item_text(dlg, 4242, "x"));
  char none[4] = "abc";
  EXPECT_EQ(get_dlg_item_text(dlg, 4242, none, 4), 0);
  EXPECT_STREQ(none, "");
  EXPECT_EQ(send_dlg_item_message(dlg, 1096, WM_GETTEXTLENGTH, 0, 0), 3);
  EXPECT_EQ(send_dlg_item_message(dlg, 4242, WM_GETTEXTLENGTH, 0, 0), 0);
}

TEST_F(Dialog, ItemNumbers) {
  Wnd dlg = create_dialog_indirect(sample_template(), parent_, probe_proc);
  struct Case {
    const char* text;
    bool is_signed;
    bool ok;
    unsigned value;
  };
  const Case cases[] = {
      {"250", false, true, 250},
      {"  12000 ", false, true, 12000},
      {"-5", true, true, unsigned(-5)},
      {"-5", false, false, 0},
      {"4294967295", false, true, 4294967295u},
      {"4294967296", false, false, 0},
      {"2147483648", true, false, 0},
      {"-2147483648", true, true, unsigned(INT_MIN)},
      {"12a", false, false, 0},
      {"", false, false, 0},
      {"1.00", false, false, 0},
  };
  for (const Case& c : cases) {
    set_dlg_item_text(dlg, 1005, c.text);
    bool ok = !c.ok;
    EXPECT_EQ(get_dlg_item_int(dlg, 1005, &ok, c.is_signed), c.value) << c.text;
    EXPECT_EQ(ok, c.ok) << c.text;
  }
  EXPECT_TRUE(set_dlg_item_int(dlg, 1005, unsigned(-40), true));
  EXPECT_EQ(dlg_item_text(dlg, 1005), "-40");
  EXPECT_TRUE(set_dlg_item_int(dlg, 1005, unsigned(-40), false));
  EXPECT_EQ(dlg_item_text(dlg, 1005), "4294967256");
  EXPECT_EQ(get_dlg_item_int(dlg, 4242, nullptr, false), 0u);
}

TEST_F(Dialog, CheckHelpersRaiseNothing) {
  Wnd dlg = create_dialog_indirect(sample_template(), parent_, probe_proc);
  probe().commands.clear();
  EXPECT_TRUE(check_dlg_button(dlg, 1094, BST_CHECKED));
  EXPECT_EQ(is_dlg_button_checked(dlg, 1094), BST_CHECKED);
  EXPECT_TRUE(check_radio_button(dlg, 1111, 1113, 1112));
  EXPECT_EQ(is_dlg_button_checked(dlg, 1111), BST_UNCHECKED);
  EXPECT_EQ(is_dlg_button_checked(dlg, 1112), BST_CHECKED);
  EXPECT_TRUE(check_radio_button(dlg, 1113, 1111, 1113));
  EXPECT_EQ(is_dlg_button_checked(dlg, 1112), BST_UNCHECKED);
  EXPECT_EQ(is_dlg_button_checked(dlg, 1113), BST_CHECKED);
  EXPECT_TRUE(check_radio_button(dlg, INT_MIN, INT_MAX, 1111)) << "a wide range costs nothing";
  EXPECT_EQ(is_dlg_button_checked(dlg, 1094), BST_UNCHECKED);
  EXPECT_EQ(is_dlg_button_checked(dlg, 1111), BST_CHECKED);
  EXPECT_FALSE(check_dlg_button(dlg, 4242, BST_CHECKED));
  EXPECT_EQ(is_dlg_button_checked(dlg, 4242), 0u);
  tm_test::run_until_idle();
  EXPECT_TRUE(probe().commands.empty());
}

}  // namespace
