// Start-up and exit of the map program.
//
// The entry routine (tarmelo_main) finds the program folder, runs the global
// initialisation (app_init: every module's start-up in a fixed order), builds the frame
// window with its accelerators, toolbar, map child window and menu, starts live GPS
// input when a navigation port is configured, posts the loads of the files named on the
// command line, and then runs: on a display until the frame is closed; without one
// until the posted commands are done, leaving a picture of the frame as a PNG file.
//
// The module initialisers are a table of named routine slots (startup_table), so that a
// subsystem fills its slot when it is built and tests can watch the order. The program
// identity (app_name, app_version) is declared in frame.h and the display option words
// in menu.h; both are included here for the entry's callers.
//
// Files: startup_init.cpp (the initialiser table, app_init, register_format_modules),
// startup_cmdline.cpp (the command line), startup_main.cpp (the entry, the windows, the
// loops), startup_exit.cpp (the initialisation failure and the normal exit),
// startup_needs.cpp (what the initialisers read, to name what is missing).
#pragma once
#include <string>

#include "shell/frame.h"
#include "shell/menu.h"

struct obj_t;

// ---- Module initialisers -----------------------------------------------------------------
using init_routine = void (*)();

// One slot of the initialiser table: the routine's name and the routine itself.
struct init_step {
  const char* name;
  init_routine run;
};

constexpr int kInitModuleSteps = 20;   // run in order, whatever gblerr says meanwhile
constexpr int kInitLateSteps = 8;      // run only while gblerr is still 0
constexpr int kFormatModuleSteps = 12; // the file-format modules, in order

// Exit codes: an error before the module initialisers, and an initialisation failure.
constexpr int kEarlyFailureExitCode = -1;
constexpr int kInitFailureExitCode = 1;
// How long the exit waits (real time) for worker threads to end.
constexpr int kExitJoinBoundMs = 3000;

struct startup_table {
  // Remembers the program folder (step 1 of app_init); an empty folder sets gblerr.
  void (*program_dir)(const char* folder);
  init_step modules[kInitModuleSteps];
  init_step late[kInitLateSteps];
  init_step formats[kFormatModuleSteps];
  // Pieces of the frame's start-up that other parts of the program provide. The cursor
  // coordinate window class "curseur": 1 when registered. Live GPS input on a port
  // (a new port object from name and speed when `port` is null), and its end (the exit
  // stops it).
  int (*register_cursor_class)();
  void (*navig_start)(obj_t* port, const char* port_name, const char* speed, int log);
  void (*navig_stop)();
  // Opens the display (the X11 presenter); false leaves the program headless.
  bool (*start_display)();
};

// The table in force (written at start-up on the user-interface thread, or by tests).
startup_table& get_startup_table();
// Every slot back to the program's own routine.
void startup_table_reset();

// Global initialisation: gblerr := 0, the program folder, then the module initialisers
// (the command line among them). An error set by the program folder step ends the
// process at once with kEarlyFailureExitCode, without message; any later error is
// left in gblerr for the caller.
void app_init(const char* program_dir, const char* command_line);
// The command line app_init is working on (null outside app_init).
const char* init_command_line();
// The name of the first initialiser of the last app_init after which gblerr was set;
// null when none was.
const char* init_failed_step();
// Why the initialisation failed, for the user: the file or folder that the failing
// initialiser needs and that is missing ("missing file ellipsoi.txt (looked in ...)"),
// else that initialiser and the error, else the error alone.
std::string init_failure_reason();
// The start-up of the file-format modules, in their order.
void register_format_modules();

// ---- Command line -------------------------------------------------------------------------
// The options of the map program: the generic options, "-navig" / "-naviglog" port,
// "-navigportspeed" speed, "-load" file, a bare first item (a file to load), and
// anything else logged as an unknown parameter. File names, URLs and port names keep
// their case; only options are lower-cased.
void parse_command_line(const char* command_line);

// ---- Windows -------------------------------------------------------------------------------
// The common controls (the progress bar class among them).
void init_common_controls();
// Installs the program's routines where the framework and the core reach them: the
// per-slot action table, the title routine, the frame's exit and init-failure routines,
// the message box and the exit routine of the core.
void install_program_routines();
// Everything between app_init and the message loop: display options, frame window,
// accelerators, toolbar, map child window and its pane, the dialog font and window
// classes, the menu bar and its initial states, the cursor window class, live GPS when
// "NAVIGPORT" is configured. A failure runs init_error_exit. Returns 1.
int app_create_windows();
// Posts the loads that the command line queued in slot 14 before the frame existed.
void post_command_line_loads();

// ---- Running --------------------------------------------------------------------------------
// The headless run (shell/framework/program_loop.h): handles messages until every
// posted command has ended, then writes the frame's picture to `picture_path` when it is
// given and not empty. Returns 0, or 1 when the picture could not be written.
int run_headless(const char* picture_path);
// The program's start: the display when there is one, initialisation, the frame and its
// windows, the command line's loads posted. True when the display was opened (the message
// loop runs the program), false for a headless run.
bool tarmelo_start(int argc, char** argv);
// The entry routine: the whole program (tarmelo_start, the run, the exit). Returns the
// process's exit code (the exit routines end the process themselves).
int tarmelo_main(int argc, char** argv);

// ---- Exit ------------------------------------------------------------------------------------
// Initialisation failure: the French message box, the trace-log line, the reason
// (init_failure_reason) on standard error and in the trace log, then the exit with
// kInitFailureExitCode. Does not return.
[[noreturn]] void init_error_exit();
// Normal exit (the frame's close): exit code 0.
[[noreturn]] void app_exit();
// The exit routine itself: closing flag, live GPS stopped, worker threads stopped and
// joined within kExitJoinBoundMs, saved tables written when no error is pending, swap
// files closed, then the process ends with `code` (through the core's exit hook that was
// in force before install_exit_routine, else the runtime; without running the static
// destructors when a worker outlived the bound). A second call on the thread that runs
// the exit ends the process at once; one on another thread waits for the first.
[[noreturn]] void app_exit_code(int code);
// Makes app_exit_code the core's exit hook, so that the core's own ways out (out of
// memory, an internal error) run the exit's steps too.
void install_exit_routine();
