// The image viewer's program-wide state and the shell routines that browsing calls.
//
// One instance (sb()) lives for the whole run and is touched only on the user-interface
// thread (window procedures and the tasks of the command dispatcher run there), so it
// takes no lock. The settings record is an object of class 170 so that it can be copied
// and inspected like any other record; everything else is plain C++ state.
//
// Shell routines (sb_shell*.cpp): start-up, windows, keys, toolbar, the error line and
// the status refresh. Information texts (sb_info*.cpp): the image-size reader and the
// texts of the status line and of the information window. Browsing (sb_browse*.cpp,
// declared in sb_browse.h) walks the files and shows them through these routines.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/object.h"
#include "platform/ui/types.h"

struct fileatt_t;
struct bitmap_t;
struct graphspace_t;
struct mapwin_t;

// ---- Program identity ---------------------------------------------------------------------
inline constexpr const char* kSbAppName = "Sorbinel";  // window class and first word of the title
inline constexpr const char* kSbAppVersion = "v5.0.0";
inline constexpr const char* kSbExeName = "sorbinel.exe";
inline constexpr const char* kSbDateEn = "01-APR-2009";
inline constexpr const char* kSbDateFr = "1 avril 2009";
inline constexpr const char* kSbLogTag = "SRBV";  // trace log "zz_SRBV.log"
inline constexpr const char* kSbErrorImage = "erreur.png";
inline constexpr const char* kSbUnknownImage = "inconnu.png";

// ---- The settings record (class 170) ----------------------------------------------------------
constexpr int kSbFilterClass = 170;
#pragma pack(push, 1)
struct sb_file_filter_t : obj_t {
  int32_t min_dim;        // 0 = none
  int32_t max_dim;        // 0 = none
  int32_t orientation;    // 'V', 'H' or 0
  int32_t min_file_size;  // bytes, 0 = none
  int32_t max_file_size;  // bytes, 0 = none
  int32_t single_image;   // 1 when the shown file holds exactly one image
  double stored_zoom;     // zoom applied by F4 and after each display
  int32_t no_zoom_max;    // 1: no zoom beyond 100 % ("-nozoommax")
  int32_t current_page;
  int32_t first_page;
  int32_t page_count;
};
#pragma pack(pop)
static_assert(sizeof(sb_file_filter_t) == 8 + 6 * 4 + 8 + 4 * 4);

// Mode bits.
constexpr uint32_t kSbModeSlideshow = 0x1;
constexpr uint32_t kSbModeAnimation = 0x2;
constexpr int kSbInitialDelayMs = 5000;

// ---- Command slots and texts ------------------------------------------------------------------------
constexpr int kSbSlotTaskEnd = 1;
constexpr int kSbSlotRefresh = 5;
constexpr int kSbSlotSlideshowNext = 9;
constexpr int kSbSlotSlideshowStep = 12;
constexpr int kSbSlotNextFrame = 13;
constexpr int kSbSlotRedisplay = 14;
constexpr int kSbSlotDelete = 15;
constexpr int kSbSlotRotate = 16;
constexpr int kSbSlotNextFile = 17;
inline constexpr const char* kSbRotateAnticlockwise = "ROT_TRIGO";
inline constexpr const char* kSbRotateClockwise = "ROT_CLOCK";

// ---- Program-wide state ---------------------------------------------------------------------------
struct sb_state {
  sb_file_filter_t* filter = nullptr;   // the one class-170 record (made at start-up)
  std::vector<std::string> extensions;  // lower-case; empty = every extension
  uint32_t mode = 0;                    // kSbMode* bits
  int direction = 1;                    // +1 forwards, -1 backwards
  int delay_ms = kSbInitialDelayMs;     // slideshow delay
  int mirror = 1;                       // -1 while the view is mirrored (F6)
  fileatt_t* error_image = nullptr;     // "erreur.png", loaded (null when it could not be)
  fileatt_t* unknown_image = nullptr;   // "inconnu.png"
  fileatt_t* current = nullptr;         // the shown file (null: none)
  graphspace_t* document = nullptr;     // the shown document
  std::string info_text;                // information text of the shown file
  // Where the shown photo was taken (its EXIF GPS position): the shown image keeps no
  // position record, so that the document shows it in its own pixel grid.
  const bitmap_t* placed_image = nullptr;  // the shown image it belongs to (null: none)
  double placed_lon = 0, placed_lat = 0;   // degrees
  std::string status_text;              // the page label last shown
  // Windows.
  plat::Wnd main = nullptr;
  mapwin_t* frame = nullptr;            // the main window's object (the command target)
  plat::Wnd toolbar = nullptr;
  plat::Wnd path_field = nullptr;
  plat::Wnd document_window = nullptr;
  mapwin_t* view = nullptr;             // the document window's map window record
};
sb_state& sb();
// The settings record (never null after start-up; tests may call sb_state_init).
sb_file_filter_t* sb_filter();
// Registers class 170 and makes the settings record with its start values (stored
// zoom 1.0); resets the rest of the state.
void sb_state_init();
// Frees the state (tests).
void sb_state_reset();

// ---- Shell routines that browsing calls (sb_shell*.cpp) -----------------------------------------------
// The error line: the file's name in the status part and "Error while loading" (or
// `text`) as status text; the error code cleared; the objects of `image` (default the
// "erreur.png" placeholder) shown at zoom 1.0 with the settings reset.
void sb_show_load_error(fileatt_t* file, fileatt_t* image, const char* text);
// "No valid file" with the "inconnu.png" placeholder.
void sb_show_no_valid_file();
// Status refresh after a browsing step or a key: slideshow title, file name, page label.
// An error code still set here is shown on the error line and cleared; the viewer goes on.
void sb_refresh_status();
// The page label of the shown file into the status text (also returned).
std::string sb_page_label(fileatt_t* file);
// "Reading <name>" status and the disk indicator during a slow browse step.
void sb_show_reading(fileatt_t* file);
// "Loading ... <name>" status and the wait cursor (outside slideshows).
void sb_show_loading(fileatt_t* file);
// Rebuilds the shown document from the file's displayed folders (null: empty document)
// and zooms to `zoom` (0.0: whole image).
void sb_document_show_file(fileatt_t* file);
void sb_document_clear();
void sb_zoom_to(double zoom);
void sb_redraw_now();
// Sets the document window's axis-direction flag (-1 for formats 26 and 42).
void sb_set_orientation(int flag);
// The slideshow delay as title text ("Slideshow 5.0s"), empty outside slideshows.
std::string sb_slideshow_title();
// The keyboard focus goes to the path field (when there is one) or the document window.
void sb_focus_path_field(int to_path);

// ---- Information texts (sb_info*.cpp) -----------------------------------------------------------------
// Width and height of the largest images of a file or path; result 13 for georeferenced
// content, a load error as it comes, else 0.
int sb_image_size(fileatt_t* file, int* width, int* height);
int sb_image_size_path(const char* path, int* width, int* height);
std::string sb_file_description(fileatt_t* file);
std::string sb_image_dims_text(const bitmap_t* bitmap);
std::string sb_file_info_text(fileatt_t* file);
std::string sb_image_info_text(const bitmap_t* bitmap);
// F12: the About title and the information window of the shown file.
void sb_show_file_info();
