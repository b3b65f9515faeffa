// The headless harness: a message loop like the programs' own, input turned into the
// window system's entry points, and the answers to modal loops kept in queues that
// the window system's hooks read.
#include "tests/support/harness.h"

#include <chrono>
#include <deque>

#include "core/memory.h"
#include "core/wstring.h"
#include "platform/sys/clock.h"
#include "platform/sys/thread.h"

namespace tm_test {

namespace {

struct HarnessState {
  plat::Wnd accel_wnd = nullptr;
  plat::Accel accel = nullptr;
  bool quit = false;
  int exit_code = 0;
  std::deque<int> box_answers;
  std::deque<unsigned> popup_answers;
  std::vector<MessageBoxRecord> boxes;
  std::function<bool(plat::Wnd)> modal_answerer;
};

HarnessState& H() {
  static HarnessState state;
  return state;
}

// A bound on waiting for worker threads; reached only when the code under test is wrong.
constexpr auto kWorkerBound = std::chrono::seconds(10);

// Threads asleep on the virtual clock until a later time are idle; one whose deadline
// has passed is about to run and counts as busy until it has (the clock tells them
// apart), so the verdict needs no grace period after the clock moves.
bool workers_busy() { return plat::live_threads() > plat::virtual_sleepers_waiting(); }

void handle(const plat::Msg& m) {
  if (H().accel && plat::translate_accelerator(H().accel_wnd, H().accel, &m)) return;
  plat::translate_message(&m);
  plat::dispatch_message(&m);
}

// One message handled; false when there was none or it was WM_QUIT.
bool step(bool* got_quit) {
  plat::Msg m;
  if (!plat::peek_message(&m, nullptr, 0, 0, plat::PM_REMOVE)) return false;
  if (m.message == plat::WM_QUIT) {
    H().quit = true;
    H().exit_code = int(intptr_t(m.wparam));
    *got_quit = true;
    return false;
  }
  handle(m);
  return true;
}

std::u16string utf16_of(const char* s) {
  char16_t* wide = nullptr;
  wstr_set_from_utf8(s, &wide);
  std::u16string out(wide);
  free_mem(&wide);
  return out;
}

// The top-level window of `wnd` and a client point of `wnd` in its window coordinates.
plat::Wnd top_point(plat::Wnd wnd, int x, int y, plat::Point* wpt) {
  plat::Wnd top = plat::get_ancestor(wnd, plat::GA_ROOT);
  plat::Point p{x, y};
  plat::Rect tr;
  if (!top || !plat::client_to_screen(wnd, &p) || !plat::get_window_rect(top, &tr)) return nullptr;
  *wpt = plat::Point{p.x - tr.left, p.y - tr.top};
  return top;
}

void install_hooks() {
  plat::set_message_box_hook([](const plat::MessageBoxInfo& info) {
    MessageBoxRecord rec{info.text, info.caption, info.flags, 0};
    if (!H().box_answers.empty()) {
      rec.answer = H().box_answers.front();
      H().box_answers.pop_front();
      plat::message_box_answer(info.box, rec.answer);
    }
    H().boxes.push_back(rec);
  });
  plat::set_popup_chooser([](plat::Menu, plat::Wnd) -> unsigned {
    if (H().popup_answers.empty()) return 0;
    unsigned id = H().popup_answers.front();
    H().popup_answers.pop_front();
    return id;
  });
  plat::set_modal_idle_hook([](plat::Wnd w) { return H().modal_answerer ? H().modal_answerer(w) : false; });
}

}  // namespace

UiSession::UiSession() {
  plat::ui_reset();
  H() = HarnessState{};
  plat::set_ui_thread();
  plat::use_virtual_clock(true);
  install_hooks();
}

UiSession::~UiSession() {
  // Windows still open are destroyed properly, so that every window procedure frees
  // what it holds before the window system forgets them.
  for (plat::Wnd w : plat::top_level_windows())
    if (plat::is_window(w)) plat::destroy_window(w);
  plat::ui_reset();
  H() = HarnessState{};
  plat::use_virtual_clock(false);
}

int pump(int n) {
  int done = 0;
  bool quit = false;
  while (done < n && step(&quit)) ++done;
  return done;
}

bool run_until_idle(int bound) {
  int done = 0;
  for (;;) {
    bool quit = false;
    while (done < bound && step(&quit)) ++done;
    if (quit || done >= bound) return false;
    // A worker posts before it ends: once none runs, a last look at the queue decides.
    if (!workers_busy()) {
      if (plat::queue_has_work()) continue;
      return true;
    }
    // Workers still run: wait (delivering their sends) until they post something or end.
    auto until = std::chrono::steady_clock::now() + kWorkerBound;
    plat::wait_servicing_sends([&] {
      return plat::queue_has_work() || !workers_busy() || std::chrono::steady_clock::now() > until;
    });
    if (std::chrono::steady_clock::now() > until) return false;
  }
}

void advance_time(int64_t ms) {
  run_until_idle();
  const int64_t target = plat::now_ms() + ms;
  int64_t due;
  while (plat::next_timer_due(&due) && due <= target) {
    int64_t now = plat::now_ms();
    if (due > now) plat::advance_virtual_ms(due - now);
    run_until_idle();
  }
  int64_t now = plat::now_ms();
  if (target > now) plat::advance_virtual_ms(target - now);
  run_until_idle();
}

bool quit_received(int* exit_code) {
  if (exit_code) *exit_code = H().exit_code;
  return H().quit;
}

void set_accelerators(plat::Wnd wnd, plat::Accel table) {
  H().accel_wnd = wnd;
  H().accel = table;
}

plat::Wnd find_window(const char* class_name, const char* title) { return plat::find_window(class_name, title); }

plat::Wnd find_child(plat::Wnd parent, const char* class_name, const char* title) {
  for (plat::Wnd c : plat::child_windows(parent)) {
    bool cls_ok = !class_name || plat::get_class_name(c) == class_name;
    bool title_ok = !title || plat::window_text(c) == title;
    if (cls_ok && title_ok) return c;
    if (plat::Wnd deeper = find_child(c, class_name, title)) return deeper;
  }
  return nullptr;
}

plat::Wnd control(plat::Wnd parent, int id) { return plat::get_dlg_item(parent, id); }

void key_down(int vk) { plat::input_key(vk, true); }
void key_up(int vk) { plat::input_key(vk, false); }

void press_key(int vk, unsigned mods) {
  if (mods & MOD_CTRL) key_down(plat::VK_CONTROL);
  if (mods & MOD_SHIFT) key_down(plat::VK_SHIFT);
  if (mods & MOD_ALT) key_down(plat::VK_MENU);
  key_down(vk);
  key_up(vk);
  if (mods & MOD_ALT) key_up(plat::VK_MENU);
  if (mods & MOD_SHIFT) key_up(plat::VK_SHIFT);
  if (mods & MOD_CTRL) key_up(plat::VK_CONTROL);
}

void type_text(const char* utf8) {
  for (char16_t ch : utf16_of(utf8)) {
    int16_t scan = ch == u'\n' ? int16_t(plat::VK_RETURN) : plat::vk_key_scan(ch);
    if (scan < 0) {
      plat::input_char(ch);
      continue;
    }
    press_key(scan & 0xFF, (scan & 0x100) ? MOD_SHIFT : 0);
  }
}

void mouse_move(plat::Wnd wnd, int x, int y) {
  plat::Point wpt;
  if (plat::Wnd top = top_point(wnd, x, y, &wpt)) plat::input_mouse_move(top, wpt);
}

void mouse_down(plat::Wnd wnd, int x, int y, plat::MouseButton b) {
  plat::Point wpt;
  if (plat::Wnd top = top_point(wnd, x, y, &wpt)) plat::input_mouse_button(top, wpt, b, true);
}

void mouse_up(plat::Wnd wnd, int x, int y, plat::MouseButton b) {
  plat::Point wpt;
  if (plat::Wnd top = top_point(wnd, x, y, &wpt)) plat::input_mouse_button(top, wpt, b, false);
}

void click(plat::Wnd wnd, int x, int y, plat::MouseButton b) {
  mouse_move(wnd, x, y);
  mouse_down(wnd, x, y, b);
  mouse_up(wnd, x, y, b);
}

void double_click(plat::Wnd wnd, int x, int y, plat::MouseButton b) {
  click(wnd, x, y, b);
  plat::Point wpt;
  if (plat::Wnd top = top_point(wnd, x, y, &wpt)) {
    plat::input_mouse_double_click(top, wpt, b);
    plat::input_mouse_button(top, wpt, b, false);
  }
}

void wheel(plat::Wnd wnd, int x, int y, int delta) {
  plat::Point wpt;
  if (plat::Wnd top = top_point(wnd, x, y, &wpt)) plat::input_mouse_wheel(top, wpt, delta);
}

void click_window_point(plat::Wnd wnd, int x, int y) {
  plat::Wnd top = plat::get_ancestor(wnd, plat::GA_ROOT);
  plat::Rect wr, tr;
  if (!top || !plat::get_window_rect(wnd, &wr) || !plat::get_window_rect(top, &tr)) return;
  plat::Point wpt{wr.left - tr.left + x, wr.top - tr.top + y};
  plat::input_mouse_move(top, wpt);
  plat::input_mouse_button(top, wpt, plat::MouseButton::left, true);
  plat::input_mouse_button(top, wpt, plat::MouseButton::left, false);
}

bool drop_files(plat::Wnd wnd, int x, int y, const std::vector<std::string>& paths) {
  plat::Point wpt;
  plat::Wnd top = top_point(wnd, x, y, &wpt);
  return top && plat::input_drop_files(top, wpt, paths);
}

bool choose_menu_command(plat::Wnd wnd, unsigned id) { return plat::menu_choose_command(wnd, id); }

void choose_next_popup_command(unsigned id) { H().popup_answers.push_back(id); }

void answer_next_message_box(int id) { H().box_answers.push_back(id); }

const std::vector<MessageBoxRecord>& message_boxes() { return H().boxes; }

void clear_message_boxes() { H().boxes.clear(); }

void set_modal_answerer(std::function<bool(plat::Wnd)> answer) { H().modal_answerer = std::move(answer); }

bool window_picture(plat::Wnd wnd, const std::string& path) {
  plat::Wnd top = plat::get_ancestor(wnd, plat::GA_ROOT);
  plat::Rect wr, tr;
  if (!top || !plat::get_window_rect(wnd, &wr) || !plat::get_window_rect(top, &tr)) return false;
  plat::Rect area = plat::offset_rect(wr, -tr.left, -tr.top);
  int rc = -1;
  plat::with_window_surface(top, [&](const plat::Surface& s) {
    plat::Rect r = plat::intersect_rect(area, s.rect());
    if (!r.empty()) rc = plat::write_png_rect(s, r, path.c_str());
  });
  return rc == 0;
}

uint32_t pixel_at(plat::Wnd wnd, int x, int y) {
  plat::Point wpt;
  plat::Wnd top = top_point(wnd, x, y, &wpt);
  uint32_t px = 0;
  if (top)
    plat::with_window_surface(top, [&](const plat::Surface& s) {
      if (s.rect().contains(wpt)) px = s.at(wpt.x, wpt.y);
    });
  return px;
}

}  // namespace tm_test
