// Window objects: completing one (its window, its two brushes, the focus, the first one
// becoming the command target), window-object texts, the scrolled map child window of a
// frame with the toolbar band at the left or the top, and the frame's resize of it.
#include <string>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/ui/controls.h"
#include "platform/ui/ctl_edit.h"
#include "tests/framework/winutil_fixture.h"

namespace {

using winutil_test::ToolkitTest;

uint32_t brush_pixel(plat::Brush b) {
  plat::Surface s(4, 4, 0);
  plat::Dc dc = plat::create_surface_dc(&s, plat::Point{0, 0}, nullptr);
  plat::fill_rect(dc, plat::Rect{0, 0, 4, 4}, b);
  plat::delete_dc(dc);
  return s.at(1, 1);
}

std::vector<int>& interrupts() {
  static std::vector<int> v;
  return v;
}
void record_interrupt(int mode) { interrupts().push_back(mode); }

// A subclass procedure as the frame installs one: it hands everything on to the
// procedure it replaced, kept when it was installed.
plat::LResult map_subclass(plat::Wnd w, uint32_t m, plat::WParam wp, plat::LParam lp) {
  plat::WndProc previous = map_subclass_previous();
  return previous ? plat::call_window_proc(previous, w, m, wp, lp) : plat::def_window_proc(w, m, wp, lp);
}

class ObjectTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    interrupts().clear();
    set_redraw_interrupt_routine(record_interrupt);
  }
  uint32_t style(plat::Wnd w) { return uint32_t(plat::get_window_long(w, plat::GWL_STYLE)); }
  uint32_t ex_style(plat::Wnd w) { return uint32_t(plat::get_window_long(w, plat::GWL_EXSTYLE)); }
  plat::Point place(plat::Wnd w) {
    plat::Rect r;
    plat::get_window_rect(w, &r);
    plat::Point p{r.left, r.top};
    plat::screen_to_client(plat::get_parent(w), &p);
    return p;
  }
};

TEST_F(ObjectTest, CompletedObjectsHoldWindowBrushesAndFocus) {
  struct Case {
    uint32_t colour_word;
    plat::Color back, inverse;
  } cases[] = {
      {colour_word(10, 20, 30), plat::rgb(10, 20, 30), plat::rgb(245, 235, 225)},
      {colour_word(255, 255, 255), plat::rgb(255, 255, 255), plat::rgb(0, 0, 0)},
      {plat::rgb(0, 128, 255), plat::rgb(0, 128, 255), plat::rgb(255, 127, 0)},  // no "set" byte
  };
  for (const Case& c : cases) {
    plat::Wnd wnd = child(0, 0, 50, 40);
    mapwin_t* out = nullptr;
    mapwin_t* win = keep(attach_window_object(&out, wnd, 3, 4, 50, 40, c.colour_word, 32, 1));
    ASSERT_NE(win, nullptr);
    EXPECT_EQ(out, win);
    EXPECT_EQ(win->cls, CLS_MAPWIN);
    EXPECT_EQ(win->wnd, wnd);
    EXPECT_EQ(window_object_wnd(win), wnd);
    EXPECT_EQ(win->x, 3);
    EXPECT_EQ(win->y, 4);
    EXPECT_EQ(win->width, 50);
    EXPECT_EQ(win->height, 40);
    EXPECT_EQ(win->depth, 32);
    EXPECT_EQ(win->scrollbars, 1);
    EXPECT_EQ(win->background, c.colour_word);
    EXPECT_EQ(brush_pixel(win->brush), plat::pixel_of(c.back));
    EXPECT_EQ(brush_pixel(win->inverse_brush), plat::pixel_of(c.inverse));
    EXPECT_EQ(plat::get_focus(), wnd);
    EXPECT_EQ(plat::get_active_window(), frame);
    // The frame's object came first and stays the command target.
    EXPECT_EQ(get_command_target(), frame_object);
    EXPECT_EQ(command_target_window(), frame);
  }
}

TEST_F(ObjectTest, FirstCompletedObjectBecomesTheTarget) {
  task_slots_init();  // no target any more
  ASSERT_EQ(get_command_target(), nullptr);
  EXPECT_EQ(command_target_window(), nullptr);
  plat::Wnd a = child(0, 0, 10, 10), b = child(20, 0, 10, 10);
  mapwin_t* wa = keep(attach_window_object(nullptr, a, 0, 0, 10, 10, 0, 32, 0));
  mapwin_t* wb = keep(attach_window_object(nullptr, b, 0, 0, 10, 10, 0, 32, 0));
  ASSERT_NE(wb, nullptr);
  EXPECT_EQ(get_command_target(), wa);
  EXPECT_EQ(command_target_window(), a);
  EXPECT_EQ(dialog_owner_window(), a);
}

TEST_F(ObjectTest, UnderAnErrorTheObjectStaysBare) {
  task_slots_init();
  plat::Wnd wnd = child(0, 0, 10, 10);
  plat::set_focus(frame);
  set_gblerr(5);
  mapwin_t* out = nullptr;
  mapwin_t* win = attach_window_object(&out, wnd, 0, 0, 10, 10, colour_word(1, 2, 3), 32, 0);
  EXPECT_EQ(out, win);
  if (win) {
    EXPECT_EQ(win->wnd, nullptr);
    EXPECT_EQ(win->brush, nullptr);
    EXPECT_EQ(win->inverse_brush, nullptr);
    set_gblerr(0);
    keep(win);
  }
  EXPECT_EQ(get_command_target(), nullptr);
  EXPECT_NE(plat::get_focus(), wnd);
  set_gblerr(0);
}

TEST_F(ObjectTest, TextsOfWindowObjects) {
  plat::Wnd wnd = child(0, 0, 10, 10);
  mapwin_t* win = keep(attach_window_object(nullptr, wnd, 0, 0, 10, 10, 0, 32, 0));
  struct Case {
    mapwin_t* target;
    const char* text;
    plat::Wnd changed;
    std::string want;
  } cases[] = {
      {win, "Carte \xc3\xa9t\xc3\xa9", wnd, "Carte \xc3\xa9t\xc3\xa9"},
      {nullptr, "Frame title", frame, "Frame title"},  // none: the command target
      {win, nullptr, wnd, ""},
  };
  for (const Case& c : cases) {
    set_window_object_text(c.target, c.text);
    EXPECT_EQ(plat::window_text(c.changed), c.want);
  }
  task_slots_init();
  set_window_object_text(nullptr, "nowhere");  // no target: nothing
  EXPECT_EQ(plat::window_text(frame), "Frame title");
}

TEST_F(ObjectTest, ScrolledChildAfterTheToolbarBand) {
  plat::Rect pc;
  plat::get_client_rect(frame, &pc);
  struct Case {
    int left, size;
    plat::Point at;
  } cases[] = {
      {1, 40, {40, 0}},
      {0, 30, {0, 30}},
      {1, 0, {0, 0}},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string cls = "mapchild" + std::to_string(n++);
    set_map_subclass_routine(map_subclass);
    interrupts().clear();
    mapwin_t* out = nullptr;
    mapwin_t* win = keep(create_scrolled_child(cls.c_str(), frame_object, &out, 1, c.left, c.size));
    ASSERT_NE(win, nullptr) << cls;
    EXPECT_EQ(out, win);
    plat::Wnd w = win->wnd;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(plat::get_parent(w), frame);
    EXPECT_EQ(plat::get_class_name(w), cls);
    plat::WndClass info, edit;
    ASSERT_TRUE(plat::get_class_info(cls.c_str(), &info));
    ASSERT_TRUE(plat::get_class_info(plat::kEditClass, &edit));
    EXPECT_EQ(info.style, plat::CS_DBLCLKS);
    EXPECT_EQ(info.proc, edit.proc);
    EXPECT_EQ(plat::get_window_proc(w), map_subclass);
    EXPECT_EQ(map_subclass_previous(), edit.proc);
    EXPECT_EQ(place(w).x, c.at.x);
    EXPECT_EQ(place(w).y, c.at.y);
    plat::Rect r, client;
    plat::get_window_rect(w, &r);
    plat::get_client_rect(w, &client);
    EXPECT_EQ(r.width(), pc.width() - c.at.x);
    EXPECT_EQ(r.height(), pc.height() - c.at.y);
    EXPECT_EQ(win->width, client.width());
    EXPECT_EQ(win->height, client.height());
    EXPECT_EQ(win->scrollbars, 1);
    EXPECT_EQ(win->depth, 32);
    EXPECT_EQ(win->background, config_back_color());
    uint32_t want = plat::WS_CHILD | plat::WS_VISIBLE | plat::WS_HSCROLL | plat::WS_VSCROLL | plat::ES_READONLY |
                    plat::ES_NOHIDESEL;
    EXPECT_EQ(style(w) & want, want);
    EXPECT_EQ(ex_style(w) & (plat::WS_EX_CLIENTEDGE | plat::WS_EX_ACCEPTFILES),
              plat::WS_EX_CLIENTEDGE | plat::WS_EX_ACCEPTFILES);
    EXPECT_EQ(ex_style(w) & plat::WS_EX_NOPARENTNOTIFY, 0u);
    EXPECT_EQ(plat::window_text(w), "");
    EXPECT_EQ(frame_object->width, pc.width());
    EXPECT_EQ(frame_object->height, pc.height());
    EXPECT_EQ(interrupts(), std::vector<int>{1});
    // Through the subclass the window still answers as an edit window.
    plat::send_message(w, plat::EM_LIMITTEXT, 7, 0);
    EXPECT_EQ(plat::send_message(w, plat::EM_GETLIMITTEXT, 0, 0), 7);
    plat::destroy_window(w);
  }
  set_map_subclass_routine(nullptr);  // no subclass: nothing to chain to any more
  EXPECT_EQ(map_subclass_previous(), nullptr);
}

TEST_F(ObjectTest, ChildWithoutScrollBars) {
  mapwin_t* win = keep(create_scrolled_child("bigchild", frame_object, nullptr, 0, 1, 40));
  ASSERT_NE(win, nullptr);
  plat::Wnd w = win->wnd;
  EXPECT_EQ(place(w).x, 40);
  EXPECT_EQ(place(w).y, 0);
  plat::Rect r;
  plat::get_window_rect(w, &r);
  EXPECT_EQ(r.width(), 10000);
  EXPECT_EQ(r.height(), 10000);
  EXPECT_EQ(style(w) & (plat::WS_HSCROLL | plat::WS_VSCROLL), 0u);
  EXPECT_EQ(ex_style(w) & plat::WS_EX_NOPARENTNOTIFY, plat::WS_EX_NOPARENTNOTIFY);
  EXPECT_EQ(ex_style(w) & plat::WS_EX_ACCEPTFILES, plat::WS_EX_ACCEPTFILES);
  EXPECT_EQ(win->scrollbars, 0);
  // The map window is an edit window underneath: it takes no typing.
  EXPECT_EQ(style(w) & plat::ES_READONLY, plat::ES_READONLY);
  plat::set_focus(w);
  tm_test::type_text("abc");
  tm_test::run_until_idle();
  EXPECT_EQ(plat::window_text(w), "");
}

TEST_F(ObjectTest, ScrolledChildFailures) {
  struct Case {
    const char* cls;
  } cases[] = {{""}, {nullptr}};
  for (const Case& c : cases) {
    set_gblerr(0);
    mapwin_t* out = reinterpret_cast<mapwin_t*>(8);
    EXPECT_EQ(create_scrolled_child(c.cls, frame_object, &out, 1, 1, 10), nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(get_gblerr(), ERR_OS);
  }
  set_gblerr(0);
  EXPECT_EQ(register_edit_class("twice"), 1);
  EXPECT_EQ(register_edit_class("twice"), 1);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(ObjectTest, FrameResizeMovesTheMapChild) {
  mapwin_t* map = keep(create_scrolled_child("resized", frame_object, nullptr, 1, 1, 40));
  ASSERT_NE(map, nullptr);
  struct Case {
    int width, height;
    int want_w, want_h;  // the child's window size
  } cases[] = {
      {600, 400, 560, 400},
      {1000, 700, 960, 700},
      {30, 10, 0, 10},  // narrower than the toolbar band: nothing left
      {0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    interrupts().clear();
    main_resize_children(frame_object, map, c.width, c.height);
    EXPECT_EQ(frame_object->width, c.width);
    EXPECT_EQ(frame_object->height, c.height);
    EXPECT_EQ(place(map->wnd).x, 40);
    EXPECT_EQ(place(map->wnd).y, 0);
    plat::Rect r, client;
    plat::get_window_rect(map->wnd, &r);
    plat::get_client_rect(map->wnd, &client);
    EXPECT_EQ(r.width(), c.want_w) << c.width;
    EXPECT_EQ(r.height(), c.want_h) << c.width;
    EXPECT_EQ(map->width, client.width());
    EXPECT_EQ(map->height, client.height());
    EXPECT_EQ(interrupts(), std::vector<int>{1});
  }
  // No map child yet (the frame's first WM_SIZE): the frame's object only.
  interrupts().clear();
  main_resize_children(frame_object, nullptr, 320, 200);
  EXPECT_EQ(frame_object->width, 320);
  EXPECT_EQ(interrupts(), std::vector<int>{1});
  main_resize_children(nullptr, nullptr, 1, 1);
  set_redraw_interrupt_routine(nullptr);
  main_resize_children(frame_object, map, 500, 500);
  EXPECT_EQ(frame_object->width, 500);
}

}  // namespace
