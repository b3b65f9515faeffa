// Routines shared by the files of the load commands (see load_commands.h).
#pragma once
#include "shell/load_state.h"

struct container_t;
struct fileatt_t;
struct folder_t;
struct georef_t;
struct graphspace_t;

// The georef a file's data is in: the first georef of its object list, else the georef
// of its image; null when it has none.
georef_t* file_georef(const fileatt_t* file);
// The first georef of a folder's object list, else of its image; null when none.
georef_t* folder_georef(const folder_t* folder);
// Whether data in `georef` can be shown in the current graph space: a georef with a
// system when system_compat_check allows it; data without system (a picture in pixels)
// only while the graph space has no system either.
bool georef_fits_graph(const georef_t* georef);
// The system dialog ("Choose geodetic system - " + name) on the user-interface thread;
// choose_system_dialog's answer, *out the georef the caller owns.
int ask_system_on_ui(const char* name, int mode, georef_t** out);
// A bilingual message box on the user-interface thread.
void message_on_ui(const char* text, const char* caption);
// The message of gblerr with its category caption on the user-interface thread; clears it.
void show_error_on_ui();
// Remakes the cursor chain of every map window showing the graph space from its
// system, on the user-interface thread (mouse moves read the chains there).
void cursor_chains_follow(graphspace_t* gs);
// The status text of a file none of whose data can be shown (kept in view: timed).
void say_cannot_display(const fileatt_t* file);
// The status text (timed) and trace-log line of a file whose archives nest deeper than
// identification unpacks: the message of "Invalid file" and the file's name.
void say_nested_too_deep(const fileatt_t* file);
// Adds a file to the loaded-files list once.
void load_add_loaded(fileatt_t* file);
