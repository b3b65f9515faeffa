// The redraw pass: how recorded invalid rectangles become pixels.
//
// Nothing is drawn from a window message. A change records world rectangles in the
// invalid list of each map window that shows it (mapwin.h) and posts a command; before
// the dispatcher starts any command it runs redraw_schedule, which hands every pending
// rectangle to the pane's background list and to the rectangle list of each layer it
// meets; the redraw task (command 4) then runs redraw_pass: backgrounds cleared, an
// interrupted drawing resumed, then pane by pane, layer by layer, rectangle by
// rectangle, object by object, giving way after any object when a command waits.
//
// Printing runs the same pass on a printer-page pane: its document and page are
// started by the first pane_begin_drawing and ended by pane_finish_page once the pass
// is complete, so that a pass that gives way leaves the page open for the next one.
//
// Threads. The pass runs in the task thread, the scheduling step on the user-interface
// thread while no task runs. Invalid lists are filled from any thread (load task, live
// GPS reader) under mapwin_invalid_mutex(); the scheduling step moves rectangles out
// of them, and the pane lists are changed, under graphspace_mutex() then that lock.
// The interrupt flag, the current pane and its rectangle list are atomics; the queue of
// files to close has its own lock. A resize changes a pane's page on the user-interface
// thread at any time: the pass draws with the copy of each page it took at its start.
//
// Files: redraw_state.cpp (flags, current pane, file queue, hooks), pane_page.cpp (the
// pass's copies of the pages), redraw_schedule.cpp
// (scheduling and layer queries of a graph space), redraw_device.cpp (begin and end of
// drawing on the screen and on printer pages, background, clipping, rectangles of the
// paint handler), redraw_pass.cpp (the pass).
#pragma once
#include <vector>

#include "map/mapwin.h"
#include "platform/gdi/gdi.h"

// What a printer-page window's `doc_info` points to while it prints: the document name
// and, when not null, the file the document is written to.
struct print_doc_info {
  const char* name;
  const char* output_path;
};

// ---- State -------------------------------------------------------------------------------
// The resize handler sets the flag to 1; the next pass clears it.
void redraw_interrupt(int flag);
int redraw_interrupt_flag();
// The pane being drawn and the current layer's rectangle list (null when none).
pane_t* redraw_current_pane();
void redraw_set_current_pane(pane_t* pane);
extent_list_t* redraw_current_rects();
// A file object whose reader file is closed when the current pass completes.
void redraw_queue_file_close(obj_t* file);
int redraw_queued_file_count();
// Fills the visible-list slots that belong to the pass (current pane and rectangles,
// begin and end of drawing, set current pane) and the yield test `work_pending`.
void redraw_install_hooks(int (*work_pending)());

// ---- Requests ------------------------------------------------------------------------------
// A screen rectangle of the paint handler: cleared to the background first when the
// window's fill-first flag is set, then added to the invalid list. Screen panes only.
void invalid_rect_redraw(mapwin_t* win, extent_t screen);

// ---- Scheduling ------------------------------------------------------------------------------
// Pending invalid rectangles of every window into its pane's lists (user-interface thread).
void redraw_schedule();
// Layer queries of a graph space (null: the current one).
layer_t* graphspace_find_layer_entry(graphspace_t* gs, layer_t** out);
layer_t* graphspace_find_layer(graphspace_t* gs, int priority, layer_t** out);
layer_t* graphspace_find_layer_by_id(graphspace_t* gs, int id, layer_t** out);
// has_images: a layer of priority 0 holds objects; has_data: any other layer does.
void graphspace_count_layers(graphspace_t* gs, int* has_images, int* has_data);

// ---- Drawing into a pane ---------------------------------------------------------------------
// Current pane and map window := the pane's, and the drawing target set on the window's
// context: the back buffer (or the window's own context) of a screen window, both page
// offsets 0; the printer context of a printer page, its document and page started on
// first use, the picture centred on the printable area.
void pane_begin_drawing(pane_t* pane);
// Ends drawing: a screen window's back buffer copied to the window over the pane's
// current rectangle, the window's context released; a printer page stays open.
void pane_end_drawing();
// A printer page after its last layer: the document ended (or abandoned when the
// window's print error flag is set, with the bilingual message), the context deleted,
// the window and pane freed. Nothing for a screen pane.
void pane_finish_page(pane_t* pane);
// Clears the current pane's background rectangles (screen panes only).
void pane_clear_background();
// The pane's current rectangle clipped to its page, selected as clip region; 0 when empty.
int pane_clip_to_page(pane_t* pane);

// ---- The pass ------------------------------------------------------------------------------------
// While one lives, pane_page on this thread answers with the page every pane had when it
// was made: a pass keeps one for its whole length, so that a window resized meanwhile
// (mapwin_set_size on the user-interface thread) never changes the page under it.
class pane_page_copies {
 public:
  struct page_copy {
    const pane_t* pane;
    extent_t page;
  };
  pane_page_copies();
  ~pane_page_copies();
  pane_page_copies(const pane_page_copies&) = delete;
  pane_page_copies& operator=(const pane_page_copies&) = delete;

 private:
  std::vector<page_copy> copies_;
  const std::vector<page_copy>* previous_;
};
// Draws the pane's layers; 1 when it gave way.
int pane_draw_layers(pane_t* pane);
// One pass; 1 when it completed, 0 when it gave way (command 4 is then posted again).
int redraw_pass();
