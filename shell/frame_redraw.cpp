// The redraw pass wired to the framework: the dispatcher's task of command 4 and its
// scheduling step, the yield test the visible list asks after every object, the resize
// handler's interrupt and the paint handler's rectangles.
#include "map/quadtree.h"
#include "map/redraw.h"
#include "raster/image_load.h"
#include "shell/frame.h"
#include "shell/framework/dispatcher.h"
#include "shell/framework/winutil.h"

namespace {

constexpr int kAfterNoYieldSlot = 9;

// A rectangle of the paint handler's update region (right and bottom exclusive).
void paint_rect(mapwin_t* win, const plat::Rect& r) {
  invalid_rect_redraw(win, extent_t{double(r.left), double(r.right), double(r.top),
                                    double(r.bottom), 0.0});
}

}  // namespace

void redraw_run(void*) {
  redraw_pass();
  image_close_reopened_files();  // files the pass reopened to decode lines again
  const int no_yield = get_stop_request();
  set_stop_request(0);
  if (no_yield) post_command_simple(kAfterNoYieldSlot);
  task_end();
}

void install_redraw_routines() {
  dispatcher_hooks& h = get_dispatcher_hooks();
  h.redraw_schedule = redraw_schedule;
  set_redraw_interrupt_routine(redraw_interrupt);
  set_invalid_rect_routine(paint_rect);
  redraw_install_hooks(task_work_pending);
}

void reset_redraw_routines() {
  dispatcher_hooks& h = get_dispatcher_hooks();
  h.redraw_schedule = nullptr;
  set_redraw_interrupt_routine(nullptr);
  set_invalid_rect_routine(nullptr);
  redraw_install_hooks(nullptr);
}
