// Windows: creation and destruction order, stale handles, destruction in the middle of
// a message, subclassing, window values, text, geometry, show / enable / focus /
// activation, and capture.
#include "tests/platform/ui_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class UiWindows : public UiTest {};

TEST_F(UiWindows, CreationSendsItsMessagesInOrder) {
  Wnd w = top("T", WS_OVERLAPPEDWINDOW);
  ASSERT_TRUE(is_window(w));
  EXPECT_EQ(messages_of(w), (std::vector<uint32_t>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
  EXPECT_EQ(window_text(w), "T");
  EXPECT_FALSE(is_window_visible(w));
  message_log().clear();
  show_window(w, SW_SHOW);
  EXPECT_EQ(messages_of(w, {WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS}),
            (std::vector<uint32_t>{WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS}));
  EXPECT_EQ(get_active_window(), w);
  EXPECT_EQ(get_focus(), w);
}

TEST_F(UiWindows, RefusedCreationGivesNoWindow) {
  struct Case {
    uint32_t refused_at;
    plat::LResult answer;
  };
  for (Case c : {Case{WM_NCCREATE, 0}, Case{WM_CREATE, -1}}) {
    static Case current;
    current = c;
    WndClass cls;
    cls.name = c.refused_at == WM_NCCREATE ? "RefuseNc" : "RefuseCreate";
    cls.proc = [](Wnd w, uint32_t m, WParam wp, LParam lp) -> LResult {
      if (m == current.refused_at) return current.answer;
      return def_window_proc(w, m, wp, lp);
    };
    ASSERT_NE(register_class(cls), 0);
    EXPECT_EQ(create_window(0, cls.name, "x", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, 0), nullptr);
    EXPECT_TRUE(top_level_windows().empty());
  }
  EXPECT_EQ(create_window(0, "NoSuchClass", "x", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, 0), nullptr);
  EXPECT_EQ(register_class(WndClass{}), 0);
}

TEST_F(UiWindows, DestructionGoesDownThenBackUp) {
  Wnd owner = top("Owner");
  Wnd owned = create_window(0, kRecClass, "Owned", WS_POPUP, 0, 0, 50, 50, owner, 0);
  Wnd a = child(owner, 1, Rect{0, 0, 50, 50});
  Wnd a1 = child(a, 11, Rect{0, 0, 10, 10});
  Wnd b = child(owner, 2, Rect{60, 0, 110, 50});
  message_log().clear();
  EXPECT_TRUE(destroy_window(owner));
  std::vector<std::pair<Wnd, uint32_t>> got;
  for (const Logged& l : message_log())
    if (l.msg == WM_DESTROY || l.msg == WM_NCDESTROY) got.emplace_back(l.wnd, l.msg);
  const std::vector<std::pair<Wnd, uint32_t>> want = {
      {owned, WM_DESTROY}, {owned, WM_NCDESTROY}, {owner, WM_DESTROY}, {b, WM_DESTROY},
      {b, WM_NCDESTROY},   {a, WM_DESTROY},       {a1, WM_DESTROY},    {a1, WM_NCDESTROY},
      {a, WM_NCDESTROY},   {owner, WM_NCDESTROY}};
  EXPECT_EQ(got, want);
  for (Wnd w : {owner, owned, a, a1, b}) EXPECT_FALSE(is_window(w));
}

TEST_F(UiWindows, ChildrenStillExistDuringTheParentsDestroy) {
  Wnd parent = top();
  Wnd kid = child(parent, 5, Rect{0, 0, 20, 20});
  bool kid_alive = false;
  handlers()[parent] = [&](Wnd, uint32_t m, WParam, LParam, LResult*) {
    if (m == WM_DESTROY) kid_alive = is_window(kid) && get_dlg_item(parent, 5) == kid;
    return false;
  };
  destroy_window(parent);
  EXPECT_TRUE(kid_alive);
}

TEST_F(UiWindows, StaleAndMadeUpHandlesFailQuietly) {
  Wnd w = top();
  destroy_window(w);
  Wnd made_up = reinterpret_cast<Wnd>(uintptr_t(0xDEADBEE0));
  for (Wnd bad : {w, made_up}) {
    Rect r{1, 2, 3, 4};
    Point p{5, 6};
    EXPECT_FALSE(is_window(bad));
    EXPECT_FALSE(destroy_window(bad));
    EXPECT_FALSE(show_window(bad, SW_SHOW));
    EXPECT_FALSE(enable_window(bad, false));
    EXPECT_FALSE(set_window_text(bad, "x"));
    EXPECT_EQ(window_text(bad), "");
    EXPECT_FALSE(get_window_rect(bad, &r));
    EXPECT_FALSE(get_client_rect(bad, &r));
    EXPECT_FALSE(client_to_screen(bad, &p));
    EXPECT_FALSE(move_window(bad, 0, 0, 10, 10, true));
    EXPECT_EQ(get_window_long(bad, GWLP_USERDATA), 0);
    EXPECT_EQ(set_window_long(bad, GWLP_USERDATA, 5), 0);
    EXPECT_EQ(get_parent(bad), nullptr);
    EXPECT_EQ(set_focus(bad), nullptr);
    EXPECT_FALSE(invalidate_rect(bad, nullptr, true));
    EXPECT_EQ(get_dc(bad), nullptr);
    EXPECT_EQ(set_timer(bad, 1, 100, nullptr), 0u);
    EXPECT_FALSE(set_menu(bad, nullptr));
    EXPECT_EQ(scroll_window_ex(bad, 0, 5, nullptr, nullptr, nullptr, nullptr, 0), RGN_ERROR);
  }
}

TEST_F(UiWindows, AWindowMayDestroyItselfInTheMiddleOfAMessage) {
  Wnd w = top();
  bool after = false;
  handlers()[w] = [&](Wnd self, uint32_t m, WParam, LParam, LResult*) {
    if (m != WM_USER + 1) return false;
    destroy_window(self);
    after = !is_window(self) && get_window_long(self, GWLP_USERDATA) == 0;
    return true;
  };
  tm_test::run_until_idle();
  post_message(w, WM_USER + 1, 0, 0);
  post_message(w, WM_USER + 2, 0, 0);  // dropped with the window
  tm_test::run_until_idle();
  EXPECT_TRUE(after);
  EXPECT_TRUE(logged(WM_USER + 2).empty());
}

LResult counting_proc(Wnd w, uint32_t m, WParam wp, LParam lp);
WndProc g_old_proc = nullptr;
int g_subclass_seen = 0;
LResult counting_proc(Wnd w, uint32_t m, WParam wp, LParam lp) {
  if (m == WM_USER + 4) {
    ++g_subclass_seen;
    return 99;  // handled here, the old procedure never sees it
  }
  return call_window_proc(g_old_proc, w, m, wp, lp);
}

TEST_F(UiWindows, SubclassingChainsToTheOldProcedure) {
  Wnd w = top();
  g_subclass_seen = 0;
  g_old_proc = set_window_proc(w, counting_proc);
  EXPECT_EQ(g_old_proc, recording_proc);
  EXPECT_EQ(get_window_long(w, GWLP_WNDPROC), reinterpret_cast<intptr_t>(&counting_proc));
  message_log().clear();
  EXPECT_EQ(send_message(w, WM_USER + 4, 0, 0), 99);
  send_message(w, WM_USER + 5, 0, 0);
  EXPECT_EQ(g_subclass_seen, 1);
  EXPECT_EQ(messages_of(w), (std::vector<uint32_t>{WM_USER + 5}));
  // Restoring the old procedure through the window value works the same way.
  set_window_long(w, GWLP_WNDPROC, reinterpret_cast<intptr_t>(g_old_proc));
  send_message(w, WM_USER + 4, 0, 0);
  EXPECT_EQ(g_subclass_seen, 1);
}

TEST_F(UiWindows, WindowValuesKeepWhatIsSet) {
  Wnd parent = top();
  Wnd w = child(parent, 42, Rect{0, 0, 10, 10});
  struct Case {
    int index;
    intptr_t value;
  };
  for (Case c : {Case{GWLP_USERDATA, 0x1234567890}, Case{GWLP_ID, 77}, Case{0, -5}, Case{8, 1 << 20}}) {
    intptr_t before = get_window_long(w, c.index);
    EXPECT_EQ(set_window_long(w, c.index, c.value), before);
    EXPECT_EQ(get_window_long(w, c.index), c.value);
  }
  EXPECT_EQ(get_dlg_ctrl_id(w), 77);
  EXPECT_EQ(get_window_long(w, 9), 0) << "past the class's bytes";
  EXPECT_EQ(uint32_t(get_window_long(w, GWL_STYLE)) & WS_CHILD, WS_CHILD);
  EXPECT_EQ(get_window_long(w, GWLP_HWNDPARENT), intptr_t(reinterpret_cast<uintptr_t>(parent)));
  set_window_long(w, GWL_EXSTYLE, WS_EX_CLIENTEDGE);
  Rect cr;
  get_client_rect(w, &cr);
  EXPECT_EQ(cr, (Rect{0, 0, 6, 6}));
}

TEST_F(UiWindows, TextIsKeptAsUtf16AndCutAtCharacterBoundaries) {
  Wnd w = top();
  ASSERT_TRUE(set_window_text(w, "Système d'affichage €"));
  EXPECT_EQ(window_text(w), "Système d'affichage €");
  EXPECT_EQ(get_window_text_length(w), 21);
  EXPECT_EQ(window_text_w(w), u"Système d'affichage €");
  char buf[5];
  EXPECT_EQ(get_window_text(w, buf, sizeof buf), 4);  // "Syst", and "è" would not fit whole
  EXPECT_STREQ(buf, "Syst");
  char16_t wbuf[4];
  EXPECT_EQ(get_window_text_w(w, wbuf, 4), 3);
  EXPECT_EQ(std::u16string(wbuf), u"Sys");
  EXPECT_EQ(find_window(kRecClass, "Système d'affichage €"), w);
  EXPECT_EQ(find_window("recorder", nullptr), w) << "class names ignore case";
}

TEST_F(UiWindows, ClientAreaFollowsTheFrameStyles) {
  struct Case {
    uint32_t style;
    uint32_t ex_style;
    Size client;
  };
  const Case cases[] = {
      {WS_POPUP, 0, {200, 100}},
      {WS_POPUP | WS_BORDER, 0, {198, 98}},
      {WS_POPUP | WS_CAPTION, 0, {194, 74}},
      {WS_OVERLAPPEDWINDOW, 0, {192, 72}},
      {WS_POPUP | WS_VSCROLL | WS_HSCROLL, 0, {184, 84}},
      {WS_POPUP, WS_EX_CLIENTEDGE, {196, 96}},
      {WS_POPUP | WS_CAPTION, WS_EX_DLGMODALFRAME, {194, 74}},
  };
  for (const Case& c : cases) {
    Wnd w = create_window(c.ex_style, kRecClass, "", c.style, 10, 20, 200, 100, nullptr, 0);
    Rect cr;
    ASSERT_TRUE(get_client_rect(w, &cr));
    EXPECT_EQ(Size(cr.width(), cr.height()), c.client) << std::hex << c.style;
    // adjust_window_rect gives back the window size (scroll bars aside).
    if (!(c.style & (WS_VSCROLL | WS_HSCROLL))) {
      Rect r{0, 0, c.client.cx, c.client.cy};
      adjust_window_rect(&r, c.style, false, c.ex_style);
      EXPECT_EQ(Size(r.width(), r.height()), (Size{200, 100}));
    }
    destroy_window(w);
  }
}

TEST_F(UiWindows, CoordinatesConvertBetweenScreenAndClients) {
  Wnd t = top("T", WS_POPUP | WS_BORDER | WS_VISIBLE, Rect{100, 50, 400, 350});
  Wnd c = child(t, 1, Rect{10, 20, 110, 120});
  Wnd g = child(c, 2, Rect{5, 5, 50, 50});
  Point p{0, 0};
  client_to_screen(g, &p);
  EXPECT_EQ(p, (Point{100 + 1 + 10 + 5, 50 + 1 + 20 + 5}));
  screen_to_client(t, &p);
  EXPECT_EQ(p, (Point{15, 25}));
  Point q{3, 4};
  map_window_points(g, c, &q, 1);
  EXPECT_EQ(q, (Point{8, 9}));
  Rect r;
  get_window_rect(g, &r);
  EXPECT_EQ(r, (Rect{116, 76, 161, 121}));
  EXPECT_EQ(window_from_point(Point{120, 80}), g);
  EXPECT_EQ(window_from_point(Point{112, 72}), c);
}

TEST_F(UiWindows, MovingAndSizingTellTheWindow) {
  Wnd t = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 300, 200});
  Wnd c = child(t, 1, Rect{10, 10, 60, 60});
  tm_test::run_until_idle();
  message_log().clear();
  move_window(c, 20, 30, 50, 50, true);  // moved only
  move_window(c, 20, 30, 80, 40, true);  // sized only
  EXPECT_EQ(messages_of(c, {WM_SIZE, WM_MOVE}), (std::vector<uint32_t>{WM_MOVE, WM_SIZE}));
  std::vector<Logged> sizes = logged(WM_SIZE);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].lp, make_lparam(80, 40));
  // A top-level window's surface follows its size.
  move_window(t, 0, 0, 320, 240, true);
  Size s;
  with_window_surface(t, [&](const Surface& sf) { s = Size{sf.width, sf.height}; });
  EXPECT_EQ(s, (Size{320, 240}));
}

TEST_F(UiWindows, ShowHideEnableAndFocusSendTheirMessages) {
  Wnd t = top();
  Wnd a = child(t, 1, Rect{0, 0, 20, 20});
  Wnd b = child(t, 2, Rect{30, 0, 50, 20});
  tm_test::run_until_idle();
  message_log().clear();
  EXPECT_EQ(set_focus(a), t);
  EXPECT_EQ(set_focus(b), a);
  EXPECT_EQ(messages_of(a, {WM_SETFOCUS, WM_KILLFOCUS}), (std::vector<uint32_t>{WM_SETFOCUS, WM_KILLFOCUS}));
  std::vector<Logged> kill = logged(WM_KILLFOCUS);
  ASSERT_GE(kill.size(), 2u);
  EXPECT_EQ(kill.back().wp, WParam(reinterpret_cast<uintptr_t>(b)));
  // Disabling the focus window takes the focus away.
  EXPECT_FALSE(enable_window(b, false));
  EXPECT_EQ(get_focus(), nullptr);
  EXPECT_TRUE(enable_window(b, true));
  EXPECT_EQ(messages_of(b, {WM_ENABLE}), (std::vector<uint32_t>{WM_ENABLE, WM_ENABLE}));
  // Hiding a child hides its subtree.
  EXPECT_TRUE(show_window(a, SW_HIDE));
  EXPECT_FALSE(is_window_visible(a));
  EXPECT_FALSE(show_window(a, SW_HIDE));
}

TEST_F(UiWindows, ActivationMovesBetweenTopLevelWindows) {
  Wnd one = top("One");
  Wnd two = top("Two");
  EXPECT_EQ(get_active_window(), two);
  message_log().clear();
  set_active_window(one);
  std::vector<Logged> acts = logged(WM_ACTIVATE);
  ASSERT_EQ(acts.size(), 2u);
  EXPECT_EQ(acts[0].wnd, two);
  EXPECT_EQ(loword(acts[0].wp), WA_INACTIVE);
  EXPECT_EQ(acts[1].wnd, one);
  EXPECT_EQ(loword(acts[1].wp), WA_ACTIVE);
  EXPECT_EQ(get_focus(), one);
  // Destroying the active window hands the activation on.
  destroy_window(one);
  EXPECT_EQ(get_active_window(), two);
}

TEST_F(UiWindows, MaximiseFillsTheWorkAreaAndRestoreComesBack) {
  Wnd t = top("T", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{10, 10, 210, 110});
  message_log().clear();
  show_window(t, SW_SHOWMAXIMIZED);
  Rect r;
  get_window_rect(t, &r);
  EXPECT_EQ(r, get_work_area());
  EXPECT_TRUE(is_zoomed(t));
  ASSERT_FALSE(logged(WM_SIZE).empty());
  EXPECT_EQ(logged(WM_SIZE).back().wp, WParam(SIZE_MAXIMIZED));
  show_window(t, SW_RESTORE);
  get_window_rect(t, &r);
  EXPECT_EQ(r, (Rect{10, 10, 210, 110}));
}

TEST_F(UiWindows, CaptureGoesToTheNewWindowAndTellsTheOldOne) {
  Wnd t = top();
  Wnd a = child(t, 1, Rect{0, 0, 20, 20});
  Wnd b = child(t, 2, Rect{30, 0, 50, 20});
  message_log().clear();
  EXPECT_EQ(set_capture(a), nullptr);
  EXPECT_EQ(set_capture(b), a);
  EXPECT_EQ(get_capture(), b);
  EXPECT_TRUE(release_capture());
  EXPECT_EQ(get_capture(), nullptr);
  std::vector<Logged> changed = logged(WM_CAPTURECHANGED);
  ASSERT_EQ(changed.size(), 2u);
  EXPECT_EQ(changed[0].wnd, a);
  EXPECT_EQ(changed[0].lp, LParam(reinterpret_cast<uintptr_t>(b)));
  EXPECT_EQ(changed[1].wnd, b);
  EXPECT_EQ(changed[1].lp, 0);
  // Destroying the capture window releases it.
  set_capture(a);
  destroy_window(a);
  EXPECT_EQ(get_capture(), nullptr);
}

TEST_F(UiWindows, RelationsFollowTheTree) {
  Wnd owner = top("Owner");
  Wnd popup = create_window(0, kRecClass, "Popup", WS_POPUP, 0, 0, 10, 10, owner, 0);
  Wnd a = child(owner, 1, Rect{0, 0, 5, 5});
  Wnd b = child(owner, 2, Rect{0, 0, 5, 5});
  Wnd a1 = child(a, 3, Rect{0, 0, 5, 5});
  EXPECT_EQ(get_parent(a1), a);
  EXPECT_EQ(get_parent(popup), owner);
  EXPECT_EQ(get_owner(popup), owner);
  EXPECT_EQ(get_ancestor(a1, GA_ROOT), owner);
  EXPECT_EQ(get_ancestor(popup, GA_ROOTOWNER), owner);
  EXPECT_TRUE(is_child(owner, a1));
  EXPECT_FALSE(is_child(a, b));
  EXPECT_EQ(get_window(owner, GW_CHILD), a);
  EXPECT_EQ(get_window(a, GW_HWNDNEXT), b);
  EXPECT_EQ(get_window(b, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(get_dlg_item(owner, 3), a1);
  EXPECT_EQ(set_parent(a1, b), a);
  EXPECT_EQ(get_parent(a1), b);
  EXPECT_EQ(child_windows(b), (std::vector<Wnd>{a1}));
  EXPECT_EQ(set_parent(b, a1), nullptr) << "a window cannot go under its own descendant";
  EXPECT_EQ(get_parent(b), owner);
}

}  // namespace
