// The small user-interface toolkit the programs' windows share: completing a window
// object (the map-window record that stands for every window the framework manages),
// the scrolled map child window and its scroll bars, the "ClasseDialogue" class,
// message boxes, focus memory, the dialog font, the toolbar builder, and the combo
// box, list box, list view and up-down helpers.
//
// The program's own window classes and choosers have headers of their own:
// icon_chooser.h, pick_list.h ("ClasseListes"), table_window.h ("ClasseTableau"),
// tree_checks.h (tree views with check boxes), choosers.h (colour fields, file and
// folder dialogs).
//
// Files: winutil_objects.cpp (window objects, target, resize), winutil_scroll.cpp
// (scroll bars, regions, fills), winutil_classes.cpp (class registration, scrolled
// child), winutil_messages.cpp (message boxes, dialog texts, focus, font),
// winutil_toolbar.cpp, winutil_controls.cpp (child controls, combo, list, list view, up-down),
// winutil_drop.cpp (dropped files), winutil_ui_call.cpp (calls on the user-interface thread).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/types.h"

struct obj_t;
struct container_t;
struct mapwin_t;

// ---- Window objects --------------------------------------------------------------------------
// Creates the window object of a window (a map-window record: rectangle, colour depth,
// background colour word, scroll-bars flag); unless gblerr is set then, stores the
// window handle, a solid brush of the colour and one of its inverse, activates and
// focuses the window. The first window object so completed becomes the command target.
// Returns the object (also in *out), null on failure.
mapwin_t* attach_window_object(mapwin_t** out, plat::Wnd wnd, int x, int y, int width, int height,
                            uint32_t back_color, int depth, int scroll);
// The window handle of a window object (null for null).
plat::Wnd window_object_wnd(const mapwin_t* winobj);
// The command target's window (null when there is no target yet).
plat::Wnd command_target_window();
// The window that owns the program's dialogs: the command target's window, else the
// active window.
plat::Wnd dialog_owner_window();
// SetWindowText on a window object; the command target when null.
void set_window_object_text(mapwin_t* winobj, const char* text);
// WM_SIZE of the frame: the frame's object takes the new client size; the map child
// window keeps its place and fills the rest of the client area; the redraw pass is told
// to give way.
void main_resize_children(mapwin_t* frame, mapwin_t* child, int width, int height);
// The routine main_resize_children calls to interrupt the redraw pass (the redraw
// engine installs it; none: nothing).
using redraw_interrupt_fn = void (*)(int mode);
void set_redraw_interrupt_routine(redraw_interrupt_fn fn);

// ---- Classes -----------------------------------------------------------------------------------
// A class cloned from the system "EDIT" class (its procedure), with CS_DBLCLKS; 1 when
// registered (or already there), else 0 with gblerr 11.
int register_edit_class(const char* name);
// "ClasseDialogue": redraw on resize, default procedure, button-face background.
int register_dialog_class();
// A class of hand-built windows like "ClasseDialogue" (redraw on resize, button-face
// background) with its own procedure and cursor; 1 when registered (or already there).
int register_button_face_class(const char* name, plat::WndProc proc, plat::Cursor cursor = nullptr);
// The map child window of a parent window object (class registered with
// register_edit_class), placed after the toolbar band (at the left or the top); with
// scroll bars it fills the parent and accepts dropped files. Its window object is
// made with the configured background colour, depth 32 and the scroll flag. gblerr 11
// when the window cannot be made. Returns the object (also in *out).
mapwin_t* create_scrolled_child(const char* class_name, mapwin_t* parent, mapwin_t** out, int scroll,
                             int toolbar_left, int toolbar_size);
// The procedure create_scrolled_child installs on the map child window; the frame
// provides it (none: the class procedure stays, and the procedure below is forgotten).
void set_map_subclass_routine(plat::WndProc proc);
// The procedure that routine replaced on the last map child window made (its class's
// procedure), kept when it was installed: the subclass chains every message to it.
// Null before any was made.
plat::WndProc map_subclass_previous();

// ---- Scroll bars, regions and fills ----------------------------------------------------------
// The scroll bar of a window object (axis 1 vertical, else horizontal) as fractions of a
// range of 0 to 10000.
void set_scroll_pos(mapwin_t* winobj, int axis, double position, double page);
// Reads position and page (and the tracked position, for a thumb being dragged);
// 0 when the object has no window.
int get_scroll_pos(mapwin_t* winobj, int axis, double* position, double* page, double* track = nullptr);
// Scrolls the client area of a map window by dx, dy pixels; the uncovered part becomes
// invalid rectangles of the map window and the redraw command is posted.
void scroll_window_region(mapwin_t* mapwin, int dx, int dy);
// Every rectangle of a region (right and bottom + 1) becomes an invalid rectangle of the
// map window, unless gblerr is set; then the redraw command is posted.
int region_rects(mapwin_t* mapwin, const plat::Region& region);
// How an invalid rectangle reaches the map window's list of rectangles to redraw (the
// redraw engine installs it; none: nothing is recorded).
using invalid_rect_fn = void (*)(mapwin_t* mapwin, const plat::Rect& r);
void set_invalid_rect_routine(invalid_rect_fn fn);

// Fill the current rectangle of a map window's pane (or the given one) with its
// background brush, or its inverse brush while the window shows inverted; null is the
// current map window. mapwin_set_clip clips drawing to a rectangle (not on a printer
// page).
void mapwin_fill_background(mapwin_t* mapwin);
void mapwin_fill_rect(mapwin_t* mapwin, const plat::Rect& r);
void mapwin_set_clip(mapwin_t* mapwin, const plat::Rect& r);

// ---- Image objects as pictures ------------------------------------------------------------------
// Draws an image object at scale 1.0 on the button-face colour into a 32-bit bitmap of
// the given size (the image's own size when 0); the caller deletes it.
plat::Bitmap render_to_bitmap(obj_t* image, int width, int height);
// The drawing routine render_to_bitmap uses (the raster display installs it; none: the
// bitmap stays plain button face, 32 x 32 when no size is given).
using image_render_fn = plat::Bitmap (*)(obj_t* image, int width, int height);
void set_image_render_routine(image_render_fn fn);

// ---- Messages, dialog texts, focus, font ------------------------------------------------------
// Clears gblerr, then an OK box owned by the command target's window.
int msg_box(const char* text, const char* caption);
int msg_box_w(const char16_t* text, const char16_t* caption);
// Yes/No box with the exclamation icon; true on Yes.
bool ask_yes_no(const char* text, const char* caption);

// A row of a bilingual text table: control id, French and English text. The table ends
// with a row of id 0 that holds the two dialog titles.
struct dialog_text {
  int id;
  const char* fr;
  const char* en;
};
void dialog_set_texts(plat::Wnd dlg, const dialog_text* rows);

// Gives the focus to a window and remembers it; restore_focus gives it back.
void set_focus_remember(plat::Wnd wnd);
void restore_focus();
plat::Wnd remembered_focus();

// The dialog font ("MS Sans Serif", 14 high, 8 wide, normal weight), made once.
plat::Font create_ui_font();
plat::Font ui_font();

// ---- Toolbar -------------------------------------------------------------------------------------
// One record of a toolbar table (eight words). The table ends with a record of kind 0.
struct toolbar_button {
  int first;           // always 0
  int kind;            // 1 standard image, 2 separator, 3 image from a bitmap file, 0 end
  int style;           // 1 push button, 2 check button
  const char* file;    // kind 3: the .bmp file in the program folder
  int std_image;       // kind 1: the standard image index
  const char* tip_fr;  // tooltip texts
  const char* tip_en;
  int command;         // command id (-1 for separators)
};
constexpr int kToolbarMaxButtons = 49;
// Builds a toolbar child of `parent` from the table (vertical: one button per row, at
// (0, 0) with its own width and the given height; horizontal: auto-sized, its height
// its own + 4). The width and height are returned; gblerr 11 when it cannot be made.
plat::Wnd create_toolbar(plat::Wnd parent, int vertical, int large, int height, int* out_width,
                         int* out_height, const toolbar_button* table, plat::Wnd* out_toolbar);
// Checks or unchecks the button of a command (nothing without a toolbar).
void toolbar_check(plat::Wnd toolbar, int command, int checked);

// ---- Combo boxes ------------------------------------------------------------------------------
int combo_add_item(plat::Wnd combo, const char* text, intptr_t data);
int combo_add_item_w(plat::Wnd combo, const char16_t* text, intptr_t data);
// The data word of the selected item, -1 when none.
intptr_t combo_selected_data(plat::Wnd combo);
// The selected item's text when it is shorter than `size`, else "" (returns its length).
int combo_selected_text(plat::Wnd combo, char* buf, int size);
// Every (value, name) of a list of keyword tags: the name shown, the value as data.
void combo_fill_from_list(plat::Wnd combo, const container_t* tags);
// Frees the object whose id is each item's data (not the selected one's when
// keep_selected), then empties the combo box.
void combo_take_data(plat::Wnd combo, int keep_selected);
// Selects the first item whose data is `data`; its index, -1 when none.
int combo_select_data(plat::Wnd combo, intptr_t data);
void combo_clear(plat::Wnd combo);

// ---- Hand-built windows --------------------------------------------------------------------------
// A visible child control of a hand-built window, in the dialog font once it is made.
plat::Wnd create_control(plat::Wnd parent, const char* cls, const char* text, uint32_t style, int x, int y,
                         int width, int height, int id, uint32_t ex_style = 0);

// ---- Up-down, list views, list boxes -----------------------------------------------------------
// Buddy, position and range (high, low); with a length > 0 the buddy edit is limited to it.
void updown_setup(plat::Wnd updown, plat::Wnd buddy, int position, int high, int low, int length);
// Inserts column `at` with its header text and width in pixels.
void listview_add_column(plat::Wnd lv, int at, const char* text, int width);
// Sets the text of a row's cell (column > 0: a sub-item).
void listview_set_cell(plat::Wnd lv, int row, int column, const char* text);
void listview_set_cell(plat::Wnd lv, int row, int column, const char16_t* text);
// Appends a row (its first column's text, a data word); the row's index or -1.
int listview_add_row(plat::Wnd lv, const char* text, intptr_t data);
int listview_add_row(plat::Wnd lv, const char16_t* text, intptr_t data);
intptr_t listview_selected_data(plat::Wnd lv);
int list_add_item(plat::Wnd list, const char* text, intptr_t data);
void list_clear(plat::Wnd list);
intptr_t list_selected_data(plat::Wnd list);
int list_selected_text(plat::Wnd list, char* buf, int size);
// Selects the first item whose data is `data`; clears the selection when none has it.
int list_select_data(plat::Wnd list, intptr_t data);

// ---- Dropped files ------------------------------------------------------------------------------
// Every path of a drop, each read whole whatever its length.
std::vector<std::string> dropped_paths(plat::Drop drop);

// ---- Calls on the user-interface thread ---------------------------------------------------------
// Runs fn there (at once when called there) and gives back its result; a worker task
// calling it waits for the answer. 0 when the hidden window that carries the call
// cannot be made.
intptr_t run_on_ui_thread(const std::function<intptr_t()>& fn);

// Forgets the toolkit's process-wide state (remembered focus, routines left installed,
// the font); for tests.
void winutil_state_reset();
