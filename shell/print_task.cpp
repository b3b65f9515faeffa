// Command 8 as the dispatcher's worker task: the printing code runs on the task thread
// and asks for the set-up dialog, which must run on the user-interface thread. The
// request is sent (the task waits for the answer) to a hidden window made for it.
#include <functional>

#include "platform/ui/messages.h"
#include "platform/ui/queue.h"
#include "platform/ui/window.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/print_dialog.h"

namespace {

constexpr const char* kCallClass = "TmPrintCall";
constexpr uint32_t kRunCall = plat::WM_APP + 1;

plat::LResult call_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam) {
  if (msg == kRunCall) return (*reinterpret_cast<std::function<plat::LResult()>*>(lparam))();
  return plat::def_window_proc(wnd, msg, wparam, lparam);
}

// Runs fn on the user-interface thread and returns its result.
plat::LResult on_ui(std::function<plat::LResult()> fn) {
  if (plat::on_ui_thread()) return fn();
  plat::WndClass cls;
  cls.proc = call_proc;
  cls.name = kCallClass;
  plat::register_class(cls);  // once: later calls find the name taken
  plat::Wnd wnd = plat::create_window(0, kCallClass, "", 0, 0, 0, 0, 0, nullptr, 0);
  if (!wnd) return 0;
  const plat::LResult r = plat::send_message(wnd, kRunCall, 0, reinterpret_cast<plat::LParam>(&fn));
  plat::destroy_window(wnd);
  return r;
}

int dialog_on_ui(mapwin_t* owner, container_t* printers, printer_entry_t** printer,
                 quality_entry_t** quality, double* font_factor, double* thickness_factor,
                 int* image_hres, int* image_vres, int* full_page) {
  return int(on_ui([&]() -> plat::LResult {
    return print_setup_dialog(owner, printers, printer, quality, font_factor, thickness_factor,
                              image_hres, image_vres, full_page);
  }));
}

}  // namespace

void print_run(void*) {
  print_setup();
  task_end();
}

void install_print_routines() {
  get_dispatcher_hooks().print_run = print_run;
  print_dialog_hooks hooks;
  hooks.run = dialog_on_ui;
  print_set_dialog_hooks(&hooks);
  print_install_page_offsets();
  register_dialog_template("CHXIMPR", &print_dialog_template());
}
