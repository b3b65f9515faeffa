// The frame window of the map program: its window class and procedure, the
// accelerator table "TOUCHFONC", the vertical toolbar at its left edge, the scrolled
// map child window "fdocument" (subclassed so that painting, scrolling, the mouse and
// dropped files reach the map model), the keys, the zoom and pan commands, the frame
// title and the About box.
//
// Files: frame.cpp (class, window, procedure, start-up pieces), frame_mapview.cpp
// (the map child window), frame_view.cpp (zoom, pan, print, title), frame_about.cpp
// (About box and environment table), keys.cpp (the key table), toolbar_table.cpp (the
// toolbar's buttons).
//
// Start-up calls, in this order (each reports failure through gblerr):
//   set_frame_init_error_routine(init_error_exit); set_frame_exit_routine(app_exit);
//   get_dispatcher_hooks().update_main_title = update_main_title;
//   display_options_init();                      // menu.h
//   create_main_window(&frame_object);            // frame window, becomes command target
//   load_main_accelerators();                     // "TOUCHFONC"
//   create_main_toolbar();                        // toolbar from main_toolbar_table
//   create_map_child_window(&map_object);         // "fdocument", scroll bars
//   attach_map_pane();                            // pane on the current graph space
//   ... dialog font, window classes, common controls ...
//   build_menu_bar(main_menu_table);              // menu.h
//   menu_set_initial_states();                    // menu.h
// then the message loop, offering every message to translate_main_accelerator first.
#pragma once
#include <cstdint>

#include "platform/ui/accel.h"
#include "platform/ui/dialog.h"
#include "platform/ui/types.h"

struct mapwin_t;
struct graphspace_t;
struct georef_t;

// ---- Program identity ----------------------------------------------------------------
extern const char app_name[];     // "Tarmelo": class name and title of the frame
extern const char app_version[];  // "v5.0.0"

// ---- Frame window ------------------------------------------------------------------------
// Registers the frame class (`app_name`, main_wndproc, arrow cursor, no background)
// and creates the frame over the desktop work area; its window object is completed
// (configured background colour, the work area's size) and, being the first, becomes
// the command target. A refused class: the initialisation failure routine (or gblerr
// 11 when none is installed); a window that cannot be made: gblerr 11. Returns 1 on
// success, 0 on failure.
int create_main_window(mapwin_t** out);
// The frame's procedure.
plat::LResult main_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// The frame window, its toolbar and the map child window (null until made).
plat::Wnd main_frame_window();
plat::Wnd main_toolbar();
plat::Wnd main_map_window();

// What the frame does when its class cannot be registered (start-up installs its
// initialisation-failure exit) and when it closes (start-up installs the exit
// routine; without one the frame posts WM_QUIT).
using frame_exit_routine = void (*)();
void set_frame_init_error_routine(frame_exit_routine fn);
void set_frame_exit_routine(frame_exit_routine fn);

// ---- Accelerators ----------------------------------------------------------------------------
// "TOUCHFONC": Ctrl+C 40011, Ctrl+O 40058, Ctrl+Q 40002, Ctrl+F 40055, Ctrl+N 40036.
extern const plat::AccelEntry touchfonc_accelerators[];
extern const int touchfonc_accelerator_count;
// Loads the table (kept for the run; a second call gives the same table).
plat::Accel load_main_accelerators();
plat::Accel main_accelerators();
// The message loop's first step: true when the message was an accelerator key (it is
// then neither translated nor dispatched). False when the table is not loaded.
bool translate_main_accelerator(const plat::Msg* msg);

// ---- Toolbar -----------------------------------------------------------------------------------
// The toolbar's height (it runs down the whole frame) and its button table
// (toolbar_table.cpp; the record layout is the window utilities').
constexpr int kToolbarHeight = 10000;
struct toolbar_button;
extern const toolbar_button main_toolbar_table[];
// Builds the vertical toolbar over the frame from the main toolbar table and keeps its
// handle and width. Returns 1 on success.
int create_main_toolbar();
int main_toolbar_width();
// Presses or releases a check button of the toolbar (nothing without a toolbar).
void frame_toolbar_check(unsigned id, bool checked);
bool frame_toolbar_is_checked(unsigned id);

// ---- Map child window ----------------------------------------------------------------------------
// Creates the scrolled child window "fdocument" right of the toolbar (both scroll
// bars, accepts dropped files) and completes its window object. Returns 1 on success.
int create_map_child_window(mapwin_t** out);
// The current graph space (created on first use on a new, empty georef, and kept for
// the run) and the pane of the map child window on it, which then becomes the
// current map window. Returns 1 on success.
graphspace_t* get_current_graphspace();
int attach_map_pane();
// The routines through which the map windows and the framework reach each other (the
// window side of map windows, the graph spaces' view hooks, the dispatcher's scroll,
// dirty-window and status-text routines); attach_map_pane installs them first, and
// frame_reset takes the map windows' own tables back.
void install_map_window_routines();
// The redraw pass's routines (its scheduling step, the yield test of the visible list,
// the resize interrupt, the paint handler's rectangles); install_map_window_routines
// installs them, frame_reset takes them back. The task of command 4 itself, redraw_run,
// is installed with the program's routines: one pass, then command 9 when the pass
// was asked to run without giving way, then the end of the task.
void redraw_run(void* arg);
void install_redraw_routines();
void reset_redraw_routines();
// Frees the current graph space (with its georef) and the frame's window objects, and
// forgets the frame's windows and routines (tests, between runs).
void frame_reset();

// Subclassing of the map child window: the procedure, and the routine that installs
// it keeping the previous procedure for chaining.
plat::LResult mapview_subclass_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam,
                                    plat::LParam lparam);
void mapview_subclass(plat::Wnd wnd);
// WM_DROPFILES of the map child window: every dropped path, from the last to the
// first, goes to open_file (paths of any length are taken whole); the drop is released.
void on_drop_files(plat::Drop drop);

// ---- Keys, zoom and pan ----------------------------------------------------------------------------
// WM_KEYDOWN of the frame (keys 27 to 123; Shift and Ctrl read from the key state).
void main_on_keydown(int vk);
void zoom_in();
void zoom_out();
void zoom_global();
void pan_up();
void pan_down();
void pan_page_up();
void pan_page_down();
void pan_home();
void pan_end();
void pan_left();
void pan_right();
// Prints the current map window (command 8 with "<id> 0") only with Ctrl held.
void post_print_command(bool shift, bool ctrl);
// Zoom factors of the keys: 2^(1/4) in, 2^(-1/3) out (not the inverse of in).
constexpr double kZoomInFactor = 1.189207115002721;
constexpr double kZoomOutFactor = 0.7937005259840998;

// ---- Modal dialogs by name ------------------------------------------------------------------------
// The dialogs the menu opens by template name ("Nivzoom", "IMGMONO", "COULEUR") are
// registered by the parts that own them; running a name that nobody registered does
// nothing and answers 0.
void register_dialog_template(const char* name, const plat::DlgTemplate* tmpl);
intptr_t run_named_dialog(const char* name, plat::DlgProc proc);

// ---- Title, environment, About -------------------------------------------------------------------
// Prologue of the redraw command: unless navigation shows its own title, the title
// text becomes `app_name` and the second status part the name of the current graph
// space's coordinate system; then busy_reset.
void update_main_title();
// The name update_main_title shows for a georef's system ("" when it has none).
const char* georef_system_name(const georef_t* georef);
// The table window of every configuration entry with a value.
void show_environment();
// The About box (a message box with the program's name, version and web address).
void about_box(int icon);
// The program's icon (its frame window, the About box): the icon picture file of an icon
// number, null for a number that names none.
constexpr int kProgramIcon = 199;
const char* program_icon_file(int icon);
const char* about_text();
const char* about_title();
