// The map program's per-slot action table: what each posted command slot runs, where
// (on the user-interface thread or as a worker task), and whether the progress window
// is made first. The dispatcher reaches it through run_command, which start-up installs
// (set_run_command); the slots the dispatcher handles itself (0, 1, 2, 4, 5, 6, 7, 8)
// never come here.
//
// Every command ends with slot 1: a command on the user-interface thread is ended by the
// dispatcher when it returns; a worker ends itself with task_end as its very last
// action.
#pragma once
#include "core/worker.h"
#include "shell/framework/dispatcher.h"

enum command_where : int {
  CMD_FRAMEWORK = 0,  // handled by the dispatcher itself
  CMD_NOTHING = 1,    // nothing runs; the dispatcher ends the command at once
  CMD_UI = 2,         // a routine on the user-interface thread
  CMD_WORKER = 3,     // a worker task that ends with slot 1
};

struct command_entry {
  command_where where;
  bool progress;        // the progress window is made before the routine runs
  const char* routine;  // the name of what runs ("" when nothing does)
  void (*ui)();         // CMD_UI
  worker_routine worker;  // CMD_WORKER
};

// The table, indexed by slot (kCommandSlots entries); mutable so that a part of the
// program, or a test, can put its routine in a slot.
command_entry* main_command_table();
// Every slot back to the program's own routine.
void main_command_table_reset();
// The per-slot action (user-interface thread): the slot's routine, started as a
// worker task (running slot := slot) or called here. A slot outside the table, or one
// the dispatcher handles, does nothing.
void run_command(int slot);
// The worker of a slot with nothing to do on its own: ends its task.
void worker_end_only(void* arg);
