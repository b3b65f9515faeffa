// Map windows and panes: what a map window shows and how the user moves it.
//
// A map window (mapwin_t, class 20) gets one pane (pane_t, class 21) when a graph space
// is attached: the pane carries the page rectangle, the layers the window shows (a
// sorted index by priority with one rectangle list per layer, parallel to it) and the
// background and raster rectangle lists of the redraw pass. The window keeps the screen
// mapping (screen = (world + origin) * scale; the sign of scale y is the axis direction),
// the pending scroll, the redraw-needed flag, its invalid rectangles, and, on the
// frame's window object, the title and status texts.
//
// Every routine that takes a map window takes null as the current map window and does
// nothing when there is none.
//
// The window side (scroll bars, scrolling the window's pixels, the command target) is
// the framework's, a layer above: it is reached through mapwin_ui_hooks, which the
// program fills at start-up. Commands go up through the core's command hooks (slot 5
// for a scroll, 6 for a redraw request); the dispatcher reaches down through its own
// hooks (mapwin_apply_scroll_all, redraw_dirty_mapwins).
//
// Threads. Scrolls, orientation, layers and texts are changed on the user-interface
// thread. Invalid rectangles also arrive from the load task and the live GPS reader
// (through view_redraw_rect, under graphspace_mutex()), mapped with the window's
// mapping: the invalid lists, the redraw-needed flags and the writes of the mapping by
// this module are kept under mapwin_invalid_mutex(), a leaf lock: whoever needs
// both takes graphspace_mutex() first (adding to an extent list snaps to the graph
// space's grid, which reads its extent under that lock), and nothing waits for another
// lock while holding it.
//
// Files: mapwin_pane.cpp (pane creation and release, size, orientation),
// mapwin_layers.cpp (layers of a pane, command 21), mapwin_invalid.cpp (invalid
// rectangles, redraw requests, dirty windows, the view hooks), mapwin_scroll.cpp
// (pending scroll, scroll-bar actions, drag panning), mapwin_scrollbars.cpp (scroll-bar
// sync), mapwin_texts.cpp (title and status texts), mapwin_colours.cpp (colours and
// background mode).
#pragma once
#include <cstdint>
#include <mutex>

#include "map/graphspace.h"
#include "map/view_records.h"

// ---- The window side, filled by the program ---------------------------------------------
struct mapwin_ui_hooks {
  // Scroll bar of a window object (axis 1 vertical, 2 horizontal) as fractions 0..1.
  void (*set_scroll_pos)(mapwin_t* win, int axis, double position, double page) = nullptr;
  // Reads position, page and tracked position; 0 when the window has no bar.
  int (*get_scroll_pos)(mapwin_t* win, int axis, double* position, double* page,
                        double* track) = nullptr;
  // Moves the window's pixels by dx, dy and invalidates the uncovered strip.
  void (*scroll_window_region)(mapwin_t* win, int dx, int dy) = nullptr;
  // The frame's window object, which holds the title and status texts.
  obj_t* (*command_target)() = nullptr;
};
// Installs the routines (null: every slot empty again).
void mapwin_set_ui_hooks(const mapwin_ui_hooks* hooks);
const mapwin_ui_hooks& mapwin_get_ui_hooks();
// Fills the graph space's view hooks with the routines of this module.
void mapwin_install_view_hooks();

// ---- Panes, size, orientation -----------------------------------------------------------
// Gives the window a pane on the graph space (scales 1.0, the space's axis direction)
// with the image layer added and invalidated. 1 done; 0 when the window already has a
// pane, an argument is missing, or gblerr is set.
int mapwin_attach_graphspace(mapwin_t* win, graphspace_t* gs);
// Frees the window's pane with its lists and georef, and the window's invalid list.
void mapwin_free_pane(mapwin_t* win);
void mapwin_set_size(mapwin_t* win, int width, int height);
pane_t* mapwin_get_pane(mapwin_t* win, pane_t** out);
graphspace_t* mapwin_get_graphspace(mapwin_t* win, graphspace_t** out);
// 1: y grows downwards (scale y positive); anything else: upwards (scale y negative).
void mapwin_set_orientation(mapwin_t* win, int flag);
int mapwin_get_orientation(mapwin_t* win);
int mapwin_get_graphspace_orientation(mapwin_t* win);
void graphspace_set_orientation(graphspace_t* gs, int flag);

// ---- Layers -----------------------------------------------------------------------------
void mapwin_add_layer(mapwin_t* win, layer_t* layer);
void mapwin_remove_layer(mapwin_t* win, layer_t* layer);
// Drops the layer from every pane that shows it.
void mapwin_drop_layer_everywhere(layer_t* layer);
// Position of the layer in the pane's layer index, -1 when absent.
int pane_layer_position(const pane_t* pane, const layer_t* layer);
// Invalidates the layer in every pane of its graph space: a moving-objects layer entry
// by entry of its graphic index, any other by its extent.
void mapwin_invalidate_layer(mapwin_t* win, layer_t* layer);
void mapwin_toggle_layer(mapwin_t* win, layer_t* layer, int add);
// "%ld %d %d": map window id, layer id (0: the image layer, only invalidated), add flag.
// 1 when the text was understood.
int mapwin_toggle_layer_text(const char* text);
// Command 21 on the user-interface thread: the same with the current task text.
void mapwin_toggle_layer_command();

// ---- Invalid rectangles and redraw requests ---------------------------------------------
std::mutex& mapwin_invalid_mutex();
// A screen rectangle of the window, mapped to world coordinates, into its invalid list.
void mapwin_invalidate_screen_rect(mapwin_t* win, extent_t screen);
// A world rectangle into the invalid list; a non-zero step widens it by that many pixels.
void mapwin_invalidate_world_rect(mapwin_t* win, extent_t world);
// Empties the invalid list, the pane's background and raster lists and every per-layer
// list, and forgets where an interrupted drawing would resume.
void mapwin_clear_invalid(mapwin_t* win);
// Redraw-needed set, then command 6 posted (with "1": the pass does not give way).
void mapwin_request_redraw(mapwin_t* win);
void mapwin_request_redraw_now(mapwin_t* win);
// Command 6: every window with a pane and the redraw-needed flag is invalidated whole.
void redraw_dirty_mapwins();
// 1 when the graph space's data extent is not empty; 0 for null.
int graphspace_has_data(const graphspace_t* gs);

// ---- Scrolling --------------------------------------------------------------------------
void mapwin_scroll_by(mapwin_t* win, int dx, int dy);
void mapwin_apply_scroll(mapwin_t* win);
// Command 5: mapwin_apply_scroll on every map window.
void mapwin_apply_scroll_all();
// Scroll-bar action: bar 1 vertical, 2 horizontal; codes 1 to 11.
void mapwin_scroll_cmd(mapwin_t* win, int bar, int code);
// Drag panning to the pointer position; the tracking flag is 0 on the press.
void mapwin_scroll_to(mapwin_t* win, int x, int y, int tracking);
void mapwin_set_scrollbars(mapwin_t* win, double x0, double x1, double y0, double y1);
void mapwin_sync_scrollbars(mapwin_t* win);

// ---- Colours ----------------------------------------------------------------------------
void mapwin_get_colours(mapwin_t* win, int* monochrome, uint32_t* colour);
void mapwin_set_colours(mapwin_t* win, int monochrome, uint32_t colour);
void mapwin_set_background_mode(mapwin_t* win, int flag);
int mapwin_get_background_mode(mapwin_t* win);
// Writes red, green, blue and the "set" byte 1; returns out.
uint32_t* make_rgb(int red, int green, int blue, uint32_t* out);

// ---- Title and status texts of the frame (the command target) ---------------------------
void main_set_title_text(const char* text);
void main_set_status_part(const char* text);
// A timed text stays at least 20 seconds against other timed texts.
void main_set_status_text(mapwin_t* target, const char* text, int timed);
void main_set_doc_text(const char* file_name);
// Clears the status text, timed or not, when it is still `text` (a message that no
// longer holds, such as a failed load's once a later one succeeded).
void main_clear_status_text_if(mapwin_t* target, const char* text);
// Title, "   ", status part, "   ", status text, into an owned string at *out.
char* main_get_title_text(const mapwin_t* target, char** out);
