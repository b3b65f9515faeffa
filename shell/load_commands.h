// The load and save commands of the map program: the road of a file from the user to
// the map, the exports, the change of the display system and the end of a GPS
// download.
//
// The open dialog, dropped files and the command line all end in open_file, which posts
// the load command (slot 14, "1" + path). Its worker task (cmd_load) finds or makes the
// file object, expands containers, has each file recognised and read (formats/
// file_load.h), settles the coordinate system of every folder (asking the user when a
// file has none), makes the folders layers of the current graph space and posts the fit
// command (slot 19), which positions the current map window on what was loaded once the
// last queued load has run.
//
// Exports run as command 15 on the user-interface thread: the command owns the object
// list whose address travels in its text. The display-system change runs as command 12
// on a worker; everything a mouse move reads (the cursor chains) is rebuilt on the
// user-interface thread.
//
// Dialogs asked for by a worker task (the coordinate system of a file, message boxes)
// run on the user-interface thread: the task waits for the answer (run_on_ui_thread).
//
// Files: load_open.cpp (open_file, open_object_file and its folder walk, the open
// dialog), load_run.cpp (the load lists and cmd_load), load_steps.cpp (load_into_graph
// and the three load steps), load_system.cpp (load_choose_system, attaching a file to
// the graph space and its reload folders), load_zoom.cpp (cmd_zoom_to_loaded,
// show_loaded_folder), export_commands.cpp (save_file, command 15, file_export),
// display_system.cpp (command 12 and graphspace_set_system), load_download.cpp
// (command 13).
#pragma once
#include <cstdint>

struct bitmap_t;
struct container_t;
struct fileatt_t;
struct folder_t;
struct georef_t;
struct graphspace_t;
struct obj_t;

// ---- Load lists --------------------------------------------------------------------------
// Made on first use and kept for the run: the files of the current load run (emptied at
// the start of each run; a run that loads nothing while an earlier run's fit is pending
// gets that run's files back, so that the fit shows them), the expansion list that recognition fills with the members of
// a container, and the id-ordered work list of file objects still to read. The load task
// and the fit command use them; the dispatcher never runs the two at once.
container_t* load_loaded_files();
container_t* load_expansion_list();
container_t* load_work_list();
// Frees the three lists (not the file objects) and puts the process-wide load state
// back to its start: folder counter, first-image and display-system flags, the names
// exported in this run (start of a test; the end of the program).
void load_state_reset();

// The first-image flag: 1 at start, cleared once an image was positioned.
int load_first_image_pending();
// The display-system flag: 1 until the first system is settled, which greys 40012.
int load_display_system_open();

// ---- Opening ---------------------------------------------------------------------------
// The file object of a path; a folder becomes a file object whose object list holds the
// file objects of every file and folder below it. Never leaves gblerr set: a path that
// cannot be opened gives null.
fileatt_t* open_object_file(const char* path, fileatt_t** out);
// Copies the path or URL, normalises it and posts the load command ("1" + path).
void open_file(const char* path);
// The multiple-selection open dialog (kind 2: any file); every chosen path, from the
// last to the first, goes to open_file.
void cmd_open_files(int kind);

// ---- The load task (slot 14, worker) ----------------------------------------------------
void cmd_load(void* unused);
// Loads one recognised file into the current graph space by its kind; 1 on success.
int load_into_graph(container_t* loaded, fileatt_t* file);
int load_raster_into_graph(fileatt_t* file);
int load_map_into_graph(fileatt_t* file);
int load_gps_into_graph(fileatt_t* file);
// Settles the system of one folder and prepares its layer; *ok 0 when it cannot be shown.
void load_choose_system(fileatt_t* file, folder_t* folder, int* ok);
// The file's folders become layers of the current graph space; "reload" folders arm the
// periodic reload of the files they name.
void attach_file_to_graphspace(fileatt_t* file);
// The current graph space is rebuilt in its system when its layers were made in another.
void graph_reproject_if_needed();

// ---- Fitting the view (slot 19, user-interface thread) -----------------------------------
void cmd_zoom_to_loaded();
// For folders added by the WMS client: the system, the layer, the image positioning.
void show_loaded_folder(folder_t* folder);

// ---- Export ------------------------------------------------------------------------------
constexpr int kExportKindGraphics = 3;
constexpr int kExportKindGps = 4;
// Menus 40064 (kind 3) and 40065 (kind 4).
void save_file(int kind);
// Builds the slot-15 text ("%ld %d %d" list address, kind, format, a blank, the name) and
// posts slot 15; the command then owns the list. A post that cannot be delivered frees
// it at once. 1 when posted.
int post_export_command(container_t* list, int kind, int format, const char* name);
// Command 15: reads its text, takes the list, exports, frees the list; a write failure is
// reported with the file's name.
void run_export_command();
// The writer of a (kind, format) pair: GPX for GPS data, MIF and KML for graphics, NMEA
// for GPS data; any other pair writes nothing.
void file_export(container_t* list, int kind, int format, const char* name);

// ---- Display system ----------------------------------------------------------------------
// Menu 40012: asks for a system and posts slot 12 ("%ld %ld" graph space id, georef id).
void cmd_choose_display_system(graphspace_t* gs);
// Slot 12 (worker).
void task_set_display_system(void* unused);
// Reprojects the graph space (null: the current one) into a copy of the georef.
void graphspace_set_system(georef_t* georef, graphspace_t* gs);

