// Nested (modal) message loops: message boxes and dialogs run one while their window
// is up. The loop goes on dispatching everything that arrives, posted commands
// included, until the window ends it or goes away.
//
// Headless, nobody may ever press a button, so an idle modal loop first asks the modal
// idle hook (the test harness answers there), then gives the window's default answer
// once, and ends by itself if even that changed nothing: a modal loop never hangs.
#include "platform/ui/queue.h"
#include "platform/ui/ui_state.h"

namespace plat {

using namespace ui_detail;

namespace {

// 1: ended with the code in *code; -1: the window is gone; 0: still running.
// The code given to end_modal counts even when the window is destroyed right after.
int modal_state(Wnd wnd, intptr_t* code) {
  Guard g;
  auto it = S().modal_results.find(key_of(wnd));
  if (it != S().modal_results.end()) {
    *code = it->second;
    S().modal_results.erase(it);
    return 1;
  }
  WndRec* w = find(wnd);
  return !w || w->destroying ? -1 : 0;
}

void default_close(Wnd wnd) { post_message(wnd, WM_CLOSE, 0, 0); }

intptr_t modal_loop(Wnd wnd, intptr_t if_gone, void (*headless_idle)(Wnd), ModalFilter filter) {
  {
    Guard g;
    if (!find(wnd)) return if_gone;
    S().modal_results.erase(key_of(wnd));
  }
  bool defaulted = false;
  for (;;) {
    intptr_t code = 0;
    int state = modal_state(wnd, &code);
    if (state == 1) return code;
    if (state < 0) return if_gone;
    Msg m;
    if (peek_message(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        // The outer loop must still see the quit.
        post_quit_message(int(intptr_t(m.wparam)));
        return if_gone;
      }
      if (filter && filter(wnd, &m)) continue;
      translate_message(&m);
      dispatch_message(&m);
      continue;
    }
    if (S().presenter.load()) {
      wait_message(-1);
      continue;
    }
    std::function<bool(Wnd)> hook;
    {
      Guard g;
      hook = S().modal_idle_hook;
    }
    if (hook && hook(wnd)) continue;
    if (defaulted) return if_gone;
    defaulted = true;
    (headless_idle ? headless_idle : default_close)(wnd);
  }
}

}  // namespace

intptr_t run_modal_loop(Wnd wnd, intptr_t if_gone, void (*headless_idle)(Wnd), ModalFilter filter) {
  return run_on_ui([&]() -> LResult { return modal_loop(wnd, if_gone, headless_idle, filter); });
}

void end_modal(Wnd wnd, intptr_t code) {
  {
    Guard g;
    if (!find(wnd)) return;
    S().modal_results[key_of(wnd)] = code;
  }
  wake_ui();
}

void set_modal_idle_hook(std::function<bool(Wnd)> hook) {
  Guard g;
  S().modal_idle_hook = std::move(hook);
}

}  // namespace plat
