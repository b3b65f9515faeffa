// The two ways out of the map program: the initialisation failure and the normal exit.
//
// Both end in one exit routine. It never ends the process under a running worker: the
// workers are asked to give way, then waited for (a bounded real time, the user-interface
// thread meanwhile answering the messages they send it, so that a worker waiting on a
// window cannot hold the exit), and only then are the saved tables written and the swap
// files closed. The process ends through core_exit, which tests intercept.
#include <chrono>
#include <cstdio>

#include "core/error.h"
#include "core/hooks.h"
#include "core/line_store.h"
#include "core/tracelog.h"
#include "map/saved_tables.h"
#include "platform/sys/thread.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "shell/framework/dispatcher.h"
#include "shell/pending_commands.h"
#include "shell/startup.h"
#if defined(TM_HAVE_X11)
#include "platform/x11/x11_presenter.h"
#endif

namespace {

constexpr const char kInitErrorText[] = "Erreur lors de l'initialisation\nFin de l'application";
constexpr const char kInitErrorCaption[] = "Erreur lors de l'initialisation";

// Waits until no worker thread is left or the bound has passed (real time, whatever
// clock the program runs on).
void join_workers() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kExitJoinBoundMs);
  auto done = [deadline] {
    return plat::live_threads() == 0 || std::chrono::steady_clock::now() >= deadline;
  };
  if (plat::on_ui_thread())
    plat::wait_servicing_sends(done, -1);
  else
    plat::join_threads(kExitJoinBoundMs);
}

}  // namespace

void init_error_exit() {
  // Nobody may see a box on a headless run: the reason goes to standard error as well.
  if (!plat::get_presenter()) std::fprintf(stderr, "%s: %s\n", kInitErrorCaption, kInitErrorText);
  plat::message_box(nullptr, kInitErrorText, kInitErrorCaption, plat::MB_OK | plat::MB_ICONHAND);
  char line[64];
  std::snprintf(line, sizeof line, "Erreur d'init : %d", get_gblerr());
  log_error_line(line);
  app_exit_code(kInitFailureExitCode);
}

void app_exit() { app_exit_code(0); }

void app_exit_code(int code) {
  app_set_closing(1);
  set_stop_request(1);  // a redraw in progress gives way at its next step
  navig_stop();
  join_workers();
  if (get_gblerr() == 0) savfile_flush();
  swap_close_files();
#if defined(TM_HAVE_X11)
  plat::x11_stop();
#endif
  core_exit(code);
}
