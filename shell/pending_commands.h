// Routines that the frame's menu commands, keys and map window reach in parts of the
// program that are not in this build yet. Each carries the name its own part gives it,
// so that the frame routes to it now and the real routine replaces it later without a
// change in the frame; until then each one only tells the pending-call observer that
// it was reached (tests and the trace log use that) and does nothing more.
//
// open_file is the exception: it is the one entry of the load commands that drops,
// the command line and the open dialog all share, and it already does its whole job
// (normalise the text, post the load command).
#pragma once
#include <cstdint>

#include "platform/ui/dialog.h"
#include "platform/ui/types.h"

struct obj_t;
struct mapwin_t;
struct graphspace_t;

// ---- Observer -----------------------------------------------------------------------------
// Called by every pending routine with its name and its arguments as text (numbers in
// decimal, doubles with 16 significant digits, pointers as "null" or "obj"). Null: no
// observer.
using pending_call_observer = void (*)(const char* routine, const char* args);
void set_pending_call_observer(pending_call_observer fn);

// ---- Load and save commands ------------------------------------------------------------------
// Copies the path or URL, normalises it and posts the load command (slot 14, "1" +
// path). The text keeps its case and its whole length.
void open_file(const char* path);
void cmd_open_files(int kind);
void save_file(int kind);
void cmd_choose_display_system(graphspace_t* gs);

// ---- Map features window ---------------------------------------------------------------------
void featdlg_open();

// ---- GPS and navigation ----------------------------------------------------------------------
void gpsdlg_open();
void navig_dialog_open();
void navig_stop();
int navig_log_get();
void navig_log_set(int on);
void navig_rawlog_set(int on);
int navig_title_active();
void navig_track_folder(obj_t** out);
