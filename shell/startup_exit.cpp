// The two ways out of the map program: the initialisation failure and the normal exit.
//
// Both end in one exit routine, which the program also installs as the core's exit hook,
// so that the core's own ways out (out of memory, an internal error seen by the activity
// indicator) take the same steps. It never ends the process under a running worker: the
// workers are asked to give way, then waited for (a bounded real time, the user-interface
// thread meanwhile answering the messages they send it, so that a worker waiting on a
// window cannot hold the exit), and only then are the saved tables written and the swap
// files closed. Should a worker outlive the bound, the process ends without running the
// static destructors under it.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/error.h"
#include "core/hooks.h"
#include "core/line_store.h"
#include "core/tracelog.h"
#include "gps/navig.h"
#include "map/saved_tables.h"
#include "platform/sys/thread.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/presenter.h"
#include "platform/ui/queue.h"
#include "shell/framework/dispatcher.h"
#include "shell/startup.h"
#if defined(TM_HAVE_X11)
#include "platform/x11/x11_presenter.h"
#endif

namespace {

constexpr const char kInitErrorText[] = "Erreur lors de l'initialisation\nFin de l'application";
constexpr const char kInitErrorCaption[] = "Erreur lors de l'initialisation";

// The exit that is running, and the thread that runs it (a second way out on that thread
// is a failure inside the exit's own steps; on another thread it waits for the first).
std::atomic<bool> g_exiting{false};
thread_local bool t_exiting = false;
// What ends the process once the steps are done: the core's exit hook that was in force
// before the program installed its own (tests intercept the end there), else the runtime.
void (*g_process_end)(int code) = nullptr;

// Waits until no other worker thread is left or the bound has passed (real time, whatever
// clock the program runs on). A worker that runs the exit does not wait for itself.
void join_workers() {
  const int self = plat::on_ui_thread() ? 0 : 1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kExitJoinBoundMs);
  auto done = [self, deadline] {
    return plat::live_threads() <= self || std::chrono::steady_clock::now() >= deadline;
  };
  plat::wait_servicing_sends(done, -1);
}

[[noreturn]] void end_process(int code) {
  const core_hooks& hooks = get_core_hooks();
  void (*end)(int) = hooks.exit_program == app_exit_code ? g_process_end : hooks.exit_program;
  if (end) end(code);
  std::fflush(nullptr);
  // A worker that outlived the bound may still use what the static destructors free.
  if (plat::live_threads() > 0) std::_Exit(code);
  std::exit(code);
}

// Marks the exit as running on this thread; forgets it when a test's end unwinds.
struct exit_scope {
  exit_scope() { t_exiting = true; }
  ~exit_scope() {
    t_exiting = false;
    g_exiting.store(false);
  }
};

}  // namespace

void init_error_exit() {
  // The box says only that the start-up failed; what was missing goes to standard error
  // and to the trace log, where the user looking for the cause finds it.
  const std::string reason = std::string("initialisation failed: ") + init_failure_reason();
  std::fprintf(stderr, "%s: %s\n", app_name, reason.c_str());
  // Nobody may see a box on a headless run: its text goes to standard error as well.
  if (!plat::get_presenter()) std::fprintf(stderr, "%s: %s\n", kInitErrorCaption, kInitErrorText);
  plat::message_box(nullptr, kInitErrorText, kInitErrorCaption, plat::MB_OK | plat::MB_ICONHAND);
  char line[64];
  std::snprintf(line, sizeof line, "Erreur d'init : %d", get_gblerr());
  log_error_line(line);
  log_line(reason.c_str());
  app_exit_code(kInitFailureExitCode);
}

void app_exit() { app_exit_code(0); }

void install_exit_routine() {
  core_hooks& hooks = get_core_hooks();
  if (hooks.exit_program == app_exit_code) return;
  g_process_end = hooks.exit_program;
  hooks.exit_program = app_exit_code;
}

void app_exit_code(int code) {
  if (g_exiting.exchange(true)) {
    // Out of memory or an internal error inside the exit's own steps: end now.
    if (t_exiting) end_process(code);
    // Another thread runs the exit and ends the process; this one waits for it.
    for (;;) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  exit_scope scope;
  app_set_closing(1);
  set_stop_request(1);  // a redraw in progress gives way at its next step
  if (void (*stop)() = get_startup_table().navig_stop) stop();
  join_workers();
  if (get_gblerr() == 0) savfile_flush();
  swap_close_files();
#if defined(TM_HAVE_X11)
  plat::x11_stop();
#endif
  end_process(code);
}
