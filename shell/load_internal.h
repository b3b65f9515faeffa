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
// The first georef of a folder's object list, else of its image, else its file's
// (file_georef); null when none.
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
// Why a load failed: the first error code noted for the file being loaded (an error's
// own text names it in the status text), kReasonShown when a status text said it already.
constexpr int kReasonShown = -1;
void load_note_failure(int code);
// The reason noted, and no reason from then on.
int load_take_failure();
// The status text of a failed load (kept in view: timed): `lead`, the file name and, in
// parentheses, the text of error `reason` (none for 0). It replaces the text of an
// earlier failure at once.
void load_say_failure(const char* lead, const char* name, int reason);
// Clears the status text of the last failure when it is still shown (a load succeeded).
void load_clear_failure_text();
// "Cannot display file in graph space: " + name + the reason.
void say_cannot_display_name(const char* name, int reason);
void say_cannot_display(const fileatt_t* file, int reason);
// Names, in the status text (timed), a folder that holds no file to load, saying that it
// is a folder: a folder named like a file (an empty "tracks.gpx/") would otherwise load
// nothing without a word.
void say_empty_folder(const fileatt_t* folder);
// The status text (timed) and trace-log line of a file whose archives nest deeper than
// identification unpacks: the message of "Invalid file" and the file's name.
void say_nested_too_deep(const fileatt_t* file);
// Adds a file to the loaded-files list once.
void load_add_loaded(fileatt_t* file);
