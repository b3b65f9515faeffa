// Input: characters from keys, the key state a handler sees, mouse messages and where
// they go, double clicks, the cursor, scroll-bar clicks and drags, dropped files, the
// close box, and keys on their way to a window that closes.
#include <functional>

#include "tests/platform/ui_fixture.h"

using namespace plat;
using namespace ui_test;

namespace {

class UiInput : public UiTest {};

TEST_F(UiInput, KeysTypeTheirCharactersRightAfterTheKeyDown) {
  struct Case {
    int vk;
    unsigned mods;
    char16_t ch;  // 0: no WM_CHAR
  };
  const Case cases[] = {
      {'A', 0, u'a'},          {'A', tm_test::MOD_SHIFT, u'A'}, {'A', tm_test::MOD_CTRL, 1},
      {'5', tm_test::MOD_SHIFT, u'%'}, {VK_RETURN, 0, u'\r'},   {VK_OEM_MINUS, 0, u'-'},
      {VK_NUMPAD0 + 7, 0, u'7'},   {VK_LEFT, 0, 0},                 {VK_F1, 0, 0},
  };
  Wnd w = top();
  tm_test::run_until_idle();
  for (const Case& c : cases) {
    message_log().clear();
    tm_test::press_key(c.vk, c.mods);
    tm_test::run_until_idle();
    std::vector<uint32_t> seq;
    for (const Logged& l : message_log())
      if (l.wnd == w && (l.msg == WM_CHAR || ((l.msg == WM_KEYDOWN || l.msg == WM_KEYUP) && l.wp == WParam(c.vk))))
        seq.push_back(l.msg);
    if (c.ch) {
      EXPECT_EQ(seq, (std::vector<uint32_t>{WM_KEYDOWN, WM_CHAR, WM_KEYUP})) << c.vk;
      ASSERT_EQ(logged(WM_CHAR).size(), 1u);
      EXPECT_EQ(logged(WM_CHAR)[0].wp, WParam(c.ch));
    } else {
      EXPECT_EQ(seq, (std::vector<uint32_t>{WM_KEYDOWN, WM_KEYUP})) << c.vk;
    }
  }
}

TEST_F(UiInput, TypedTextArrivesAsCharacters) {
  Wnd w = top();
  tm_test::run_until_idle();
  message_log().clear();
  tm_test::type_text("Ab1 é");
  tm_test::run_until_idle();
  std::u16string got;
  for (const Logged& l : logged(WM_CHAR)) got.push_back(char16_t(l.wp));
  EXPECT_EQ(got, u"Ab1 é");
  EXPECT_EQ(logged(WM_CHAR).front().wnd, w);
}

TEST_F(UiInput, AHandlerSeesTheModifiersOfItsOwnKey) {
  Wnd w = top();
  std::vector<bool> ctrl_at_p;
  handlers()[w] = [&](Wnd, uint32_t m, WParam wp, LParam, LResult*) {
    if (m == WM_KEYDOWN && wp == 'P') ctrl_at_p.push_back(get_key_state(VK_CONTROL) < 0);
    return false;
  };
  tm_test::run_until_idle();
  // All of it is queued before anything is handled.
  tm_test::press_key('P', tm_test::MOD_CTRL);
  tm_test::press_key('P');
  EXPECT_FALSE(get_async_key_state(VK_CONTROL) < 0) << "Ctrl is already up again";
  tm_test::run_until_idle();
  EXPECT_EQ(ctrl_at_p, (std::vector<bool>{true, false}));
}

TEST_F(UiInput, MouseMessagesGoToTheWindowUnderThePoint) {
  Wnd t = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 200, 200});
  Wnd kid = child(t, 1, Rect{50, 50, 100, 100});
  Wnd off = child(t, 2, Rect{120, 50, 170, 100}, WS_CHILD | WS_VISIBLE | WS_DISABLED);
  tm_test::run_until_idle();
  struct Case {
    Wnd at;
    int x, y;
    Wnd receiver;
    Point client;
  };
  const Case cases[] = {
      {t, 10, 10, t, {10, 10}},
      {kid, 5, 6, kid, {5, 6}},
      {off, 5, 5, t, {125, 55}},  // a disabled child lets its parent have the click
  };
  for (const Case& c : cases) {
    message_log().clear();
    tm_test::click(c.at, c.x, c.y);
    tm_test::run_until_idle();
    std::vector<Logged> downs = logged(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].wnd, c.receiver);
    EXPECT_EQ(Point(x_of_lparam(downs[0].lp), y_of_lparam(downs[0].lp)), c.client);
    EXPECT_EQ(downs[0].wp & MK_LBUTTON, MK_LBUTTON);
    ASSERT_EQ(logged(WM_LBUTTONUP).size(), 1u);
    EXPECT_EQ(logged(WM_LBUTTONUP)[0].wp & MK_LBUTTON, 0u);
  }
  // A disabled top-level window gets nothing.
  enable_window(t, false);
  message_log().clear();
  tm_test::click(t, 10, 10);
  tm_test::run_until_idle();
  EXPECT_TRUE(logged(WM_LBUTTONDOWN).empty());
}

// The window under the mouse is asked which part of it lies there: a window answering
// HTTRANSPARENT is passed over for the sibling below it (or the parent), and any other
// answer is the hit-test code its mouse messages carry.
TEST_F(UiInput, TheWindowUnderTheMouseIsAskedWhatLiesThere) {
  Wnd t = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 200, 200});
  Wnd cover = child(t, 1, Rect{20, 20, 180, 180});  // made first: the top of the stacking order
  Wnd under = child(t, 2, Rect{50, 50, 100, 100});
  LResult answer = HTCLIENT;
  std::vector<Point> asked;  // screen points the cover was asked about
  handlers()[cover] = [&](Wnd, uint32_t m, WParam, LParam lp, LResult* r) {
    if (m != WM_NCHITTEST) return false;
    asked.push_back(Point{x_of_lparam(lp), y_of_lparam(lp)});
    *r = answer;
    return true;
  };
  tm_test::run_until_idle();
  struct Case {
    LResult answer;  // the cover's
    Wnd receiver;
    uint32_t down;  // the press it gets
    WParam wp;      // its hit-test code for a non-client press
    Point at;       // client (or screen for a non-client press) coordinates
  };
  const Case cases[] = {
      {HTCLIENT, cover, WM_LBUTTONDOWN, 0, {40, 40}},
      {HTTRANSPARENT, under, WM_LBUTTONDOWN, 0, {10, 10}},
      {HTCAPTION, cover, WM_NCLBUTTONDOWN, WParam(HTCAPTION), {60, 60}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    answer = c.answer;
    asked.clear();
    message_log().clear();
    tm_test::click(t, 60, 60);
    tm_test::run_until_idle();
    ASSERT_FALSE(asked.empty());
    for (Point p : asked) EXPECT_EQ(p, (Point{60, 60}));
    std::vector<Logged> downs = logged(c.down);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].wnd, c.receiver);
    if (c.down == WM_NCLBUTTONDOWN) {
      EXPECT_EQ(downs[0].wp, c.wp);
    }
    EXPECT_EQ(Point(x_of_lparam(downs[0].lp), y_of_lparam(downs[0].lp)), c.at);
    EXPECT_EQ(c.down == WM_LBUTTONDOWN ? logged(WM_NCLBUTTONDOWN).size() : logged(WM_LBUTTONDOWN).size(), 0u);
    // The cursor is set for the same part.
    std::vector<Logged> cursors = logged(WM_SETCURSOR);
    ASSERT_FALSE(cursors.empty());
    EXPECT_EQ(int(int16_t(loword(uintptr_t(cursors[0].lp)))), c.down == WM_LBUTTONDOWN ? HTCLIENT : int(c.wp));
    EXPECT_EQ(window_from_point(Point{60, 60}), c.receiver);
  }
  // Where nothing lies below a transparent window, its parent has the point.
  answer = HTTRANSPARENT;
  message_log().clear();
  tm_test::click(t, 30, 30);
  tm_test::run_until_idle();
  ASSERT_EQ(logged(WM_LBUTTONDOWN).size(), 1u);
  EXPECT_EQ(logged(WM_LBUTTONDOWN)[0].wnd, t);
}

TEST_F(UiInput, DoubleClicksNeedTheClassStyle) {
  WndClass plain;
  plain.name = "NoDouble";
  plain.proc = recording_proc;
  register_class(plain);
  Wnd with = top("With", WS_POPUP | WS_VISIBLE, Rect{0, 0, 100, 100});
  Wnd without = create_window(0, "NoDouble", "", WS_POPUP | WS_VISIBLE, 200, 0, 100, 100, nullptr, 0);
  tm_test::run_until_idle();
  message_log().clear();
  tm_test::double_click(with, 10, 10);
  tm_test::double_click(without, 10, 10);
  tm_test::run_until_idle();
  const std::vector<uint32_t> buttons = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK};
  EXPECT_EQ(messages_of(with, buttons), (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
  EXPECT_EQ(messages_of(without, buttons), (std::vector<uint32_t>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP}));
}

TEST_F(UiInput, CaptureTakesTheMouseEverywhere) {
  Wnd t = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 200, 200});
  Wnd kid = child(t, 1, Rect{50, 50, 100, 100});
  tm_test::run_until_idle();
  set_capture(kid);
  message_log().clear();
  tm_test::mouse_move(t, 10, 10);
  tm_test::run_until_idle();
  std::vector<Logged> moves = logged(WM_MOUSEMOVE);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].wnd, kid);
  EXPECT_EQ(Point(x_of_lparam(moves[0].lp), y_of_lparam(moves[0].lp)), (Point{-40, -40}));
}

TEST_F(UiInput, TheClassCursorIsSetOverTheClientArea) {
  WndClass wait_class;
  wait_class.name = "Busy";
  wait_class.proc = recording_proc;
  wait_class.cursor = load_cursor(IDC_WAIT);
  register_class(wait_class);
  Wnd busy = create_window(0, "Busy", "", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, 0);
  Wnd normal = top("N", WS_POPUP | WS_VISIBLE, Rect{200, 0, 300, 100});
  tm_test::mouse_move(busy, 10, 10);
  EXPECT_EQ(cursor_id(get_cursor()), IDC_WAIT);
  tm_test::mouse_move(normal, 10, 10);
  EXPECT_EQ(cursor_id(get_cursor()), IDC_ARROW);
  EXPECT_EQ(cursor_id(set_cursor(load_cursor(IDC_WAIT))), IDC_ARROW);
  EXPECT_EQ(load_cursor(12345), nullptr);
  EXPECT_EQ(cursor_id(reinterpret_cast<Cursor>(uintptr_t(0x4321))), 0);
}

TEST_F(UiInput, ScrollBarClicksSendScrollCodes) {
  // A 200 x 200 popup with a vertical bar: arrows of 16 at both ends, a track of 168.
  Wnd w = top("T", WS_POPUP | WS_VISIBLE | WS_VSCROLL, Rect{0, 0, 200, 200});
  ScrollInfo si;
  si.mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.min = 0;
  si.max = 99;
  si.page = 20;
  si.pos = 40;
  set_scroll_info(w, SB_VERT, &si, true);
  tm_test::run_until_idle();
  // The thumb: 168 * 20 / 100 = 33 long, at 40 * (168 - 33) / 80 = 67 into the track.
  struct Case {
    int y;
    unsigned code;
  };
  const Case cases[] = {{5, SB_LINEUP}, {195, SB_LINEDOWN}, {16 + 30, SB_PAGEUP}, {16 + 150, SB_PAGEDOWN}};
  for (const Case& c : cases) {
    message_log().clear();
    tm_test::click_window_point(w, 192, c.y);
    tm_test::run_until_idle();
    std::vector<Logged> codes = logged(WM_VSCROLL);
    ASSERT_EQ(codes.size(), 2u) << c.y;
    EXPECT_EQ(loword(codes[0].wp), c.code) << c.y;
    EXPECT_EQ(loword(codes[1].wp), SB_ENDSCROLL);
  }
  EXPECT_EQ(get_scroll_pos(w, SB_VERT), 40) << "the messages alone move nothing";
}

TEST_F(UiInput, DraggingTheThumbTracksAndEndsWithItsPosition) {
  Wnd w = top("T", WS_POPUP | WS_VISIBLE | WS_VSCROLL, Rect{0, 0, 200, 200});
  ScrollInfo si;
  si.mask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.max = 99;
  si.page = 20;
  si.pos = 0;
  set_scroll_info(w, SB_VERT, &si, true);
  tm_test::run_until_idle();
  Rect wr;
  get_window_rect(w, &wr);
  // Grab the thumb (top of the track) and drag it to the bottom.
  Point grab{192, 16 + 5};
  input_mouse_move(w, grab);
  input_mouse_button(w, grab, MouseButton::left, true);
  input_mouse_move(w, Point{192, 16 + 5 + 67});
  ScrollInfo track;
  track.mask = SIF_TRACKPOS;
  get_scroll_info(w, SB_VERT, &track);
  EXPECT_EQ(track.track_pos, 40);
  input_mouse_move(w, Point{192, 400});  // beyond the end: the last position
  input_mouse_button(w, Point{192, 400}, MouseButton::left, false);
  tm_test::run_until_idle();
  std::vector<unsigned> codes, positions;
  for (const Logged& l : logged(WM_VSCROLL)) {
    codes.push_back(loword(l.wp));
    positions.push_back(hiword(l.wp));
  }
  EXPECT_EQ(codes, (std::vector<unsigned>{SB_THUMBTRACK, SB_THUMBTRACK, SB_THUMBPOSITION, SB_ENDSCROLL}));
  EXPECT_EQ(positions[0], 40u);
  EXPECT_EQ(positions[1], 80u);
  EXPECT_EQ(positions[2], 80u);
}

TEST_F(UiInput, DroppedFilesReachTheWindowThatAcceptsThem) {
  Wnd t = top("T", WS_POPUP | WS_VISIBLE, Rect{0, 0, 200, 200});
  Wnd map = child(t, 1, Rect{10, 10, 110, 110});
  Wnd inner = child(map, 2, Rect{0, 0, 20, 20});
  tm_test::run_until_idle();
  EXPECT_FALSE(tm_test::drop_files(map, 5, 5, {"/tmp/a.gpx"})) << "nobody accepts files yet";
  drag_accept_files(map, true);
  const std::vector<std::string> files = {"/data/a.gpx", "/data/été.kml"};
  ASSERT_TRUE(tm_test::drop_files(inner, 5, 5, files));  // goes up to the accepting parent
  tm_test::run_until_idle();
  std::vector<Logged> drops = logged(WM_DROPFILES);
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0].wnd, map);
  Drop d = reinterpret_cast<Drop>(drops[0].wp);
  ASSERT_EQ(drag_query_file(d, 0xFFFFFFFFu, nullptr, 0), 2u);
  for (unsigned i = 0; i < 2; ++i) {
    ASSERT_EQ(drag_query_file(d, i, nullptr, 0), files[i].size());
    char buf[64];
    EXPECT_EQ(drag_query_file(d, i, buf, sizeof buf), files[i].size());
    EXPECT_EQ(std::string(buf), files[i]);
  }
  char small[11];  // room for "/data/ét" and one byte of the second é
  EXPECT_EQ(drag_query_file(d, 1, small, sizeof small), 9u) << "cut before the é, never inside it";
  EXPECT_STREQ(small, "/data/ét");
  Point p;
  ASSERT_TRUE(drag_query_point(d, &p));
  EXPECT_EQ(p, (Point{5, 5}));
  drag_finish(d);
  EXPECT_EQ(drag_query_file(d, 0xFFFFFFFFu, nullptr, 0), 0u);
}

TEST_F(UiInput, TheCloseBoxClosesTheWindow) {
  Wnd w = top("T", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 300, 200});
  tm_test::run_until_idle();
  message_log().clear();
  // The close box sits at the right end of the caption.
  tm_test::click_window_point(w, 300 - 4 - 3 - 8, 4 + 10);
  tm_test::run_until_idle();
  EXPECT_EQ(messages_of(w, {WM_CLOSE, WM_DESTROY}).size(), 2u);
  EXPECT_FALSE(is_window(w));
}

TEST_F(UiInput, KeysGoToTheFocusWindow) {
  Wnd t = top();
  Wnd kid = child(t, 1, Rect{0, 0, 10, 10});
  set_focus(kid);
  tm_test::run_until_idle();
  message_log().clear();
  tm_test::press_key('X');
  tm_test::run_until_idle();
  EXPECT_EQ(messages_of(kid, {WM_KEYDOWN, WM_CHAR, WM_KEYUP}),
            (std::vector<uint32_t>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
  EXPECT_TRUE(messages_of(t, {WM_KEYDOWN}).empty());
}

// A window closed by the desktop (the window manager's Alt+F4 or close button) while
// keys are on their way, as the table and dialog windows of the programs close: their
// owner, disabled meanwhile, is enabled again and the window destroyed. The activation
// and the focus go back to the owner; keys typed or let go meanwhile reach the owner;
// no key pressed in the closed window stays down there, nor does Alt pressed in it and
// let go in the owner select the owner's menu bar. The next key types at the owner.
TEST_F(UiInput, KeysOfAWindowThatClosesGoBackToItsOwner) {
  struct Case {
    const char* what;
    std::function<void(Wnd closing)> act;
    int owner_key;  // a key the owner gets on the way (0: none)
  };
  auto close = [](Wnd w) { input_close(w); };
  const Case cases[] = {
      {"Alt+F4 of the desktop: Alt let go once the window is gone",
       [&](Wnd w) {
         tm_test::key_down(VK_MENU);
         tm_test::run_until_idle();
         close(w);
         tm_test::run_until_idle();
         tm_test::key_up(VK_MENU);
       },
       0},
      {"Alt let go before the close is handled",
       [&](Wnd w) {
         tm_test::key_down(VK_MENU);
         tm_test::run_until_idle();
         close(w);
         tm_test::key_up(VK_MENU);
       },
       0},
      {"Shift let go before the close is handled",
       [&](Wnd w) {
         tm_test::key_down(VK_SHIFT);
         tm_test::run_until_idle();
         close(w);
         tm_test::key_up(VK_SHIFT);
       },
       0},
      {"a key typed before the close is handled",
       [&](Wnd w) {
         close(w);
         tm_test::press_key(VK_SPACE);
       },
       VK_SPACE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Wnd owner = top("Owner");
    Wnd closing = create_window(0, kRecClass, "Closing", WS_POPUP | WS_CAPTION | WS_VISIBLE, 150, 150, 200, 120,
                                owner, 0);
    Wnd button = child(closing, 1, Rect{10, 10, 60, 30});
    enable_window(owner, false);
    set_focus(button);
    handlers()[closing] = [](Wnd w, uint32_t m, WParam, LParam, LResult*) {
      if (m != WM_CLOSE) return false;
      enable_window(get_owner(w), true);
      destroy_window(w);
      return true;
    };
    tm_test::run_until_idle();
    message_log().clear();
    c.act(closing);
    tm_test::run_until_idle();
    EXPECT_FALSE(is_window(closing));
    EXPECT_EQ(get_active_window(), owner);
    EXPECT_EQ(get_focus(), owner);
    if (c.owner_key) {
      bool got = false;
      for (const Logged& l : message_log()) got |= l.wnd == owner && l.msg == WM_KEYDOWN && l.wp == WParam(c.owner_key);
      EXPECT_TRUE(got) << "the key typed as the window closed was lost";
    }
    for (const Logged& l : logged(WM_SYSCOMMAND))
      EXPECT_NE(l.wp & 0xFFF0u, SC_KEYMENU) << "the owner's menu bar was selected";
    for (int vk : {VK_MENU, VK_SHIFT, VK_CONTROL, VK_SPACE}) EXPECT_GE(get_key_state(vk), 0) << vk << " stayed down";
    message_log().clear();
    tm_test::press_key('A');
    tm_test::run_until_idle();
    EXPECT_EQ(messages_of(owner, {WM_KEYDOWN, WM_SYSKEYDOWN, WM_CHAR, WM_SYSCHAR}),
              (std::vector<uint32_t>{WM_KEYDOWN, WM_CHAR}));
    ASSERT_EQ(logged(WM_CHAR).size(), 1u);
    EXPECT_EQ(logged(WM_CHAR)[0].wp, WParam(u'a'));
    destroy_window(owner);
    tm_test::run_until_idle();
  }
}

// Keys still queued for a window that goes when no window is left to take them are
// dropped, but they come up: nothing stays held down for the windows made later.
TEST_F(UiInput, KeysLeftWithNoWindowStillComeUp) {
  Wnd only = top("Only");
  tm_test::key_down(VK_SHIFT);
  tm_test::run_until_idle();
  ASSERT_LT(get_key_state(VK_SHIFT), 0);
  tm_test::key_up(VK_SHIFT);
  destroy_window(only);
  tm_test::run_until_idle();
  EXPECT_GE(get_key_state(VK_SHIFT), 0);
  EXPECT_GE(get_async_key_state(VK_SHIFT), 0);
}

}  // namespace
