// Browsing of the image viewer: the queue of files given to it, the browsing list it
// walks in either direction (wrapping around), the set-aside list of files that failed
// or were filtered out, the filters on size, dimensions, orientation and extension,
// the slideshow with its delay ladder, the frames of animated images, the pages of
// multi-page images and the deletion of the shown file to the trash.
//
// Everything here runs on the user-interface thread, inside the command dispatcher's
// commands: the task routines below are called from the program's run_command and
// return without starting a worker (the dispatcher then ends the command itself, which
// keeps the slideshow cycle 12, 14, 1, 9, 12 going). The program-wide state (current
// file, settings record, extension list, mode bits, direction, delay) is the shell's
// (sorbinel/sb_state.h); the lists and the browse position are kept here.
//
// Files: sb_browse.cpp (lists, queue, walk), sb_browse_show.cpp (loading and showing a
// file, pages, orientation, web files), sb_browse_play.cpp (slideshow, animation,
// delete), sb_trash.cpp (the trash folder).
#pragma once
#include <cstdint>
#include <string>

struct obj_t;
struct fileatt_t;
struct bitmap_t;

// ---- Start-up and end ----------------------------------------------------------------------
// Creates the browsing list, the set-aside list and the browse position (the attributes
// of a new file object and id 0, so that the first forward step takes the first file).
void sb_browse_init();
// Frees the lists, the queue and the browse position (the file objects stay).
void sb_browse_free();
// Files in the browsing list (0 before sb_browse_init).
int sb_browse_count();
// 1 while a walk (sb_show_next) is being prepared, so that dropped files wait.
int sb_browse_busy();

// ---- Keys and toolbar ------------------------------------------------------------------------
// Space (shift: backwards; ctrl: start a slideshow), toolbar next/previous.
void sb_next_file(int shift, int ctrl);
// Toolbar slideshow backwards (-1) / forwards (+1): stops a slideshow running in that
// direction, else starts one in it.
void sb_slideshow_toggle(int direction);
// Keypad + (step +1) / - (step -1), toolbar: one step of the delay ladder during a
// slideshow; nothing otherwise.
void sb_slideshow_delay_step(int step);
// The ladder itself: the delay (ms) after one step from `delay_ms`.
int sb_delay_after_step(int delay_ms, int step);
// Delete key: posts command 15 when the browsing list is not empty and no slideshow runs.
void sb_delete_file();

// ---- The queue -------------------------------------------------------------------------------
// "-load" path, the first plain word, the path field, dropped files: the path's file
// object (found or created) joins the queue, and so does every file object of its
// content (the entries of a folder). Direction becomes +1. 0, or -1 when the path is
// empty or cannot be opened. `queued`, when given, receives the path's file object (null
// on failure): a relative path is taken from the working folder, and the object holds
// the whole path.
int sb_queue_path(const char* path, fileatt_t** queued = nullptr);
// Files waiting in the queue.
int sb_queue_count();
// Moves the queue into the browsing list (files set aside stay out) and restarts the
// browse at the first of them.
void sb_take_queue();

// ---- Tasks of run_command (user-interface thread) --------------------------------------------
void sb_slideshow_step();   // 12
void sb_next_frame();       // 13
void sb_redisplay();        // 14
void sb_delete_current();   // 15
void sb_next_task();        // 17: sb_show_next

// ---- The walk --------------------------------------------------------------------------------
// Takes the queue, then the next page (when the shown file has more in the walking
// direction, or is alone in the list) or the next file that can be shown.
void sb_show_next();
// The next page in the walking direction of the shown file (wrapping around), shown.
void sb_page_step(fileatt_t* file);

// ---- Pages laid out one below the other (multi-page images, format 3) ---------------------
// 1 when the file's pages are laid out one below the other rather than shown one at a
// time: every page stays drawn and the view scrolls from one to the next.
int sb_pages_below(const fileatt_t* file);
// The page that reaches half the height of the document window's visible area (page
// heights added from the top); 0 when the file shows no page or there is no view.
int sb_page_at_view(fileatt_t* file);
// Scrolls the document window at its present scale so that the page is in view: its
// centre at the window's centre, or its top at the window's top when it is taller than
// the window. Nothing for a page the file does not show.
void sb_scroll_to_page(fileatt_t* file, int page);

// ---- Filters ---------------------------------------------------------------------------------
// 1 when the extension list is empty, the path is a folder, the kind is not a plain
// file kind (1, 7, 8, 9, 10, 11, 12, 128), or its lower-cased extension is listed.
int sb_accepts_extension(fileatt_t* file);
// The size, dimension and orientation filter of the settings record: 1 accepted.
int sb_filter_accepts(fileatt_t* file);

// ---- Orientation -----------------------------------------------------------------------------
// A turned copy of a photo by its EXIF rotation code (1..7 as the EXIF reader sets
// them), its code negated so that it is never turned again; null for any other code.
bitmap_t* sb_apply_orientation(bitmap_t* image);

// ---- Web files -------------------------------------------------------------------------------
// The folder fetched web images are saved under ("sb" in the temporary folder).
std::string sb_web_save_folder();
// The path a file fetched from `url` is saved under in `folder`: the name without its
// root, ':' after the first '/' made '_'. Empty when the name would leave the folder
// (a ".." part) or is empty.
std::string sb_web_save_path(const std::string& folder, const char* url);
