// Calls that a worker task makes on the user-interface thread (dialogs, message boxes,
// state the window procedures read). The request is sent to a hidden window made for
// it, whose procedure runs the function; the task waits for the answer.
#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "shell/framework/winutil.h"

namespace {

constexpr const char* kCallClass = "TmUiCall";
constexpr uint32_t kRunCall = plat::WM_APP + 1;

plat::LResult call_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  if (msg == kRunCall) return (*reinterpret_cast<const std::function<intptr_t()>*>(lparam))();
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

}  // namespace

intptr_t run_on_ui_thread(const std::function<intptr_t()>& fn) {
  if (plat::on_ui_thread()) return fn();
  plat::WndClass cls;
  cls.proc = call_proc;
  cls.name = kCallClass;
  plat::register_class(cls);  // once: later calls find the name taken
  plat::Wnd wnd = plat::create_window(0, kCallClass, "", 0, 0, 0, 0, 0, nullptr, 0);
  if (!wnd) return 0;
  const plat::LResult r = plat::send_message(wnd, kRunCall, 0, reinterpret_cast<plat::LParam>(&fn));
  plat::destroy_window(wnd);
  return intptr_t(r);
}
