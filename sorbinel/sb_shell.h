// The image viewer's shell: start-up, the main window with its toolbar and path field,
// the document window, the command line and configuration keys, the keys and toolbar
// commands, the deferred commands (run_command), rotation, printing, the init error box
// and the exit. Program state and the routines browsing calls: sb_state.h.
//
// Files: sb_shell_start.cpp (command line, start-up, slots, exit, loops),
// sb_shell_window.cpp (windows, keys, toolbar, mouse), sb_shell_status.cpp (error line,
// status refresh, page label, document display and zoom).
//
// Everything here runs on the user-interface thread.
#pragma once
#include <cstdint>
#include <string>

#include "platform/ui/types.h"
#include "sorbinel/sb_state.h"

// Toolbar command ids.
enum sb_command_id : unsigned {
  SB_ID_PRINT = 40006,
  SB_ID_MIRROR = 40023,
  SB_ID_ROTATE_ANTICLOCKWISE = 40024,
  SB_ID_ACTUAL_SIZE = 40025,
  SB_ID_ROTATE_CLOCKWISE = 40028,
  SB_ID_ZOOM_IN = 40052,
  SB_ID_ZOOM_OUT = 40053,
  SB_ID_STORED_ZOOM = 40054,
  SB_ID_INFO = 40101,
  SB_ID_NEXT = 40102,
  SB_ID_PREVIOUS = 40103,
  SB_ID_DELAY_LONGER = 40104,
  SB_ID_DELAY_SHORTER = 40105,
  SB_ID_SLIDESHOW_BACKWARDS = 40106,
  SB_ID_SLIDESHOW_FORWARDS = 40107,
  SB_ID_PATH_FIELD = 2001,
};

// Zoom factors of the keys.
constexpr double kSbZoomIn = 1.189207115002721;    // 2^(1/4)
constexpr double kSbZoomOut = 0.7937005259840998;  // 2^(-1/3)

// ---- Command line ------------------------------------------------------------------------------
// The options after the common ones; unknown words are traced and skipped. FILEEXT's
// words are added to the extension list afterwards.
void sb_parse_command_line(const char* command_line);
// Queues a path for browsing ("-load"); 1 when queued.
int sb_load_path(const char* path);
// SBTITLE ("-title") given to each queued file as its title: the name the status line
// and the page label show for it in place of its path. Nothing when SBTITLE is empty.
void sb_title_queued_files();
// A file's title by its path (null title: none); the name shown for a file (its title,
// else its path; "" for none); every title forgotten.
void sb_set_file_title(const char* path, const char* title);
const char* sb_file_shown_name(fileatt_t* file);
void sb_file_titles_clear();

// ---- Start-up, windows ---------------------------------------------------------------------------
// Program folder, clear error, then every module initialiser in its order.
void sb_startup(const char* program_dir, const char* command_line);
// The window size that the queued files ask for (largest width and height; 0 and 0 when
// one of them cannot be measured), limited to the work area minus two frames.
void sb_queued_window_size(int* width, int* height);
// The main window title: name, version, minimum dimension, file types.
std::string sb_main_title();
// The map windows, the redraw pass and printing wired to the framework.
void sb_install_window_routines();
// Windows, queue moved into browsing, first file posted. Returns 1; an error goes
// through the init error box.
int sb_init_app();
plat::Wnd sb_create_main_window(int width, int height);
// The toolbar with the path field to the right of its buttons (1), and the document
// window below them (1); 0 when it cannot be made.
int sb_create_toolbar();
int sb_create_document_window();
int sb_toolbar_height();
// The smallest client area the viewer sizes its window to: the whole toolbar with a
// usable path field, and a document area below it.
void sb_min_client_size(int* width, int* height);
// Main window procedure, document window procedure and path field procedure.
plat::LResult sb_main_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
plat::LResult sb_paint(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
plat::LResult sb_title_edit_proc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// Children laid out again after a size change.
void sb_resize_children();

// ---- Keys and commands --------------------------------------------------------------------------
// A key of the main window (virtual key code), with the Shift and Ctrl states.
void sb_on_key(unsigned vk, int shift, int ctrl);
// A toolbar command.
void sb_on_command(unsigned id);
// Zoom by a factor around the window centre; to a value; mirror; print.
void sb_zoom_by(double factor);
void sb_zoom_value(double zoom);
void sb_mirror();
void sb_print();
// Rotation of the shown single image (command 16's text).
void sb_rotate(const char* text);
// After a handled message: an error code left set is shown on the error line, cleared.
void sb_after_message();
// Dropped files: queued from the last to the first, then the next file is shown.
void sb_on_drop_files(const char* const* paths, int count);
// The deferred commands of the dispatcher.
void sb_run_command(int slot);
// Refresh after a scroll: for pages laid out one below the other, the current page
// becomes the one at half the height of the visible area; then the page label, title
// and status. Run by command 5 and, since the dispatcher keeps command 5 for its own
// pending scrolls, by the scroll hook the viewer gives the dispatcher, once the
// scrolls are applied.
void sb_refresh_pages();

// ---- Exit and loops ----------------------------------------------------------------------------------
[[noreturn]] void sb_init_error_exit();
[[noreturn]] void sb_app_exit(int code = 0);
void sb_exit_reset();
// Messages until the posted commands are done, then the window's picture into
// `picture_path` when given. Returns 0, or 1 when it could not be written.
int sb_run_headless(const char* picture_path);
int sb_run_message_loop();
int sb_main(int argc, char** argv);
// Frees the windows and state (tests).
void sb_shell_reset();
