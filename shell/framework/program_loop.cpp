// The message loops the programs share (see program_loop.h).
#include "shell/framework/program_loop.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/gdi/surface.h"
#include "platform/sys/thread.h"
#include "platform/ui/messages.h"
#include "platform/ui/paint.h"
#include "shell/framework/dispatcher.h"

namespace {

// Real milliseconds a headless run waits for a message before it looks again whether
// every command has ended.
constexpr int64_t kHeadlessWaitMs = 50;
// Once every command has ended and only threads remain, the last worker is on its way
// out (its end-of-task message has arrived): its exit posts nothing, so the run looks
// again soon instead of waiting a whole round for it. A thread that stays (a device
// reader) is then waited for at the usual pace.
constexpr int64_t kLastThreadWaitMs = 1;
constexpr int kLastThreadQuickLooks = 50;

// Every command ended and nothing queued: only a thread still counted.
bool commands_idle() {
  if (task_running_slot() != 0) return false;
  for (int s = 0; s < kCommandSlots; ++s)
    if (task_slot_state(s) != 0) return false;
  return !plat::queue_has_work();
}
constexpr const char kBlanks[] = " \t\r\n";

}  // namespace

bool program_commands_done() { return commands_idle() && plat::live_threads() == 0; }

int program_run_message_loop(program_message_fn handle) {
  plat::Msg msg;
  for (;;) {
    const int got = plat::get_message(&msg, nullptr, 0, 0);
    if (got == 0) return int(msg.wparam);
    if (got < 0) return 1;
    handle(msg);
  }
}

int program_run_headless(program_message_fn handle, program_window_fn window, const char* picture_path,
                         const char* app_name) {
  int quick_looks = 0;
  for (;;) {
    plat::Msg msg;
    while (plat::peek_message(&msg, nullptr, 0, 0, plat::PM_REMOVE)) {
      if (msg.message == plat::WM_QUIT) return int(msg.wparam);
      handle(msg);
    }
    if (!commands_idle()) {
      quick_looks = 0;
      plat::wait_message(kHeadlessWaitMs);
      continue;
    }
    if (plat::live_threads() == 0) break;
    plat::wait_message(quick_looks++ < kLastThreadQuickLooks ? kLastThreadWaitMs : kHeadlessWaitMs);
  }
  if (!picture_path || !*picture_path) return 0;
  int result = -1;
  plat::with_window_surface(window(), [&](const plat::Surface& s) { result = plat::write_png(s, picture_path); });
  if (result == 0) return 0;
  std::fprintf(stderr, "%s: cannot write the picture %s\n", app_name, picture_path);
  return 1;
}

void program_join_workers(int bound_ms) {
  const int self = plat::on_ui_thread() ? 0 : 1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
  plat::wait_servicing_sends(
      [self, deadline] { return plat::live_threads() <= self || std::chrono::steady_clock::now() >= deadline; },
      -1);
}

std::string program_command_line(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc && argv; ++i) {
    const char* word = argv[i] ? argv[i] : "";
    if (!line.empty()) line += ' ';
    const bool quote = !*word || std::strpbrk(word, kBlanks) != nullptr;
    if (quote) line += '"';
    line += word;
    if (quote) line += '"';
  }
  return line;
}
