// The "Find place name" window: a search over the names and comments of the objects
// the layers of the current graph space show (map features, GPS data, graphic data),
// its list of matches, and the centring of the map on a chosen one.
//
// The search runs over a virtual table: the run-time class "place" (id, type, objadr,
// objtype, name, comment) filled from the objects of every layer through a class
// holder, the place index. The index is rebuilt by every search, so it reflects the
// layers shown at that moment. A row of the result list keeps the found object's id
// and class: a load or a timed reload may free objects while the window stays open,
// so Localize finds the object again by its id among the layers shown before it
// touches it, and an object gone is not located (the user is told).
//
// One window at a time; it disables the menus and the toolbar while it is open.
//
// Files: place_window.cpp (the window, its controls and procedure, the search, the
// sort), place_index.cpp (the "place" class, the folding table, the index, locating).
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

struct class_holder_t;
struct obj_t;

// Control ids.
enum place_window_id : int {
  IDC_PLACE_CLOSE = 1001, IDC_PLACE_FIND = 1002, IDC_PLACE_EDIT = 1003, IDC_PLACE_MAP = 1004,
  IDC_PLACE_GPS = 1005, IDC_PLACE_GRAPHIC = 1006, IDC_PLACE_ALL = 1007, IDC_PLACE_LOCALIZE = 1008,
  IDC_PLACE_LIST = 1009
};

constexpr int kPlaceMaxRows = 1000;      // rows a search lists at most
constexpr int kPlaceMaxPattern = 198;    // characters of the edit a search reads
constexpr int kPlaceMaxFindText = 98;    // characters the Find button's test reads

// ---- The window ---------------------------------------------------------------------------
// Opens the window over the command target's window (one at a time: a second call
// brings the first forward), menus and toolbar disabled.
void placedlg_open();
// Lays out the controls of the window (the pixel layout of the window class
// "ClasseDialogue"), texts in the user's language.
void placedlg_create_controls(plat::Wnd wnd);
plat::LResult placedlg_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// Find is enabled when the edit holds a character and a category box is checked.
void placedlg_update_find();
// Localize is enabled when a row of the result list is selected.
void placedlg_update_locate();
// Fills the result list from the edit's pattern and the checked categories.
void placedlg_search();
// The open window, null when none.
plat::Wnd placedlg_window();

// ---- The place index ----------------------------------------------------------------------
// The folding table: pairs {from, to} ended by 0, the star first ('*' to '%'), then the
// accented Latin-1 letters to their upper-case base letter.
const char16_t* place_fold_table();
// Frees *index, then makes the class holder over the object lists of every non-empty
// layer of the current graph space with the links of the checked categories, and
// prepares the pattern in place (folded, upper case, runs of '%' as one).
void place_index_build(char16_t* pattern, int map_data, int gps_data, int graphic_data,
                       class_holder_t** index);
// The object of that id and class (the address when it has no id) if a layer of the
// current graph space still shows it, else null. Read on the user-interface thread
// while the load task may change the layers: the layers are walked under their lock.
obj_t* place_find_shown(int id, int cls, const obj_t* address);
// Centres the current map window on the object without changing the scale and posts
// the redraw, when the object is still shown; 1 when located, 0 when it is gone.
int place_locate(int id, int cls, const obj_t* address);
