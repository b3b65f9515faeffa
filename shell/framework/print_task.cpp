// Command 8 as the dispatcher's worker task, the same in every program that prints:
// the printing code runs on the task thread and asks for the set-up dialog, which must
// run on the user-interface thread. The request goes through run_on_ui_thread (the task
// waits for the answer).
#include "shell/framework/dispatcher.h"
#include "shell/framework/print_dialog.h"
#include "shell/framework/winutil.h"

namespace {

int dialog_on_ui(mapwin_t* owner, container_t* printers, printer_entry_t** printer,
                 quality_entry_t** quality, double* font_factor, double* thickness_factor,
                 int* image_hres, int* image_vres, int* full_page) {
  return int(run_on_ui_thread([&]() -> intptr_t {
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
}
