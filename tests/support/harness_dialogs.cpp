// Harness helpers for dialogs. The answers to modal dialogs sit in a queue owned by the
// modal answerer installed in the harness: a new session drops the answerer and with it
// the answers a test left unused.
#include "tests/support/harness_dialogs.h"

#include <deque>
#include <memory>

#include "platform/ui/controls.h"

namespace tm_test {

namespace {

using Answers = std::deque<std::function<void(plat::Wnd)>>;

std::weak_ptr<Answers>& current_answers() {
  static std::weak_ptr<Answers> answers;
  return answers;
}

bool is_dialog(plat::Wnd w) { return plat::get_class_name(w) == plat::kDialogClass; }

}  // namespace

plat::Wnd dlg_control(plat::Wnd dlg, int id) { return plat::get_dlg_item(dlg, id); }

bool click_control(plat::Wnd dlg, int id) {
  plat::Wnd c = dlg_control(dlg, id);
  plat::Rect r;
  if (!c || !plat::get_client_rect(c, &r)) return false;
  click(c, r.width() / 2, r.height() / 2);
  return true;
}

bool type_into(plat::Wnd dlg, int id, const char* utf8, bool replace) {
  plat::Wnd c = dlg_control(dlg, id);
  if (!c) return false;
  plat::set_focus(c);
  if (replace) press_key('A', MOD_CTRL);
  type_text(utf8);
  return true;
}

void press_tab(bool backwards) { press_key(plat::VK_TAB, backwards ? MOD_SHIFT : 0); }
void press_enter() { press_key(plat::VK_RETURN); }
void press_escape() { press_key(plat::VK_ESCAPE); }

int focused_control_id() {
  plat::Wnd f = plat::get_focus();
  return f ? plat::get_dlg_ctrl_id(f) : 0;
}

void answer_next_dialog(std::function<void(plat::Wnd)> act) {
  std::shared_ptr<Answers> answers = current_answers().lock();
  if (!answers) {
    answers = std::make_shared<Answers>();
    current_answers() = answers;
    set_modal_answerer([answers](plat::Wnd w) {
      if (!is_dialog(w) || answers->empty()) return false;
      auto act = std::move(answers->front());
      answers->pop_front();
      act(w);
      return true;
    });
  }
  answers->push_back(std::move(act));
}

bool dialog_picture(plat::Wnd dlg, const std::string& path) { return window_picture(dlg, path); }

}  // namespace tm_test
