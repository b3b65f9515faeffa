// The keys of browsing and the timed commands: next and previous file, the slideshow
// with its delay ladder and its cycle of commands 12, 14, 9, the frames of an animated
// image, and the deletion of the shown file to the trash.
#include <algorithm>
#include <string>

#include "core/error.h"
#include "shell/framework/dispatcher.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "platform/sys/clock.h"
#include "sorbinel/sb_browse.h"
#include "sorbinel/sb_browse_internal.h"
#include "sorbinel/sb_state.h"
#include "sorbinel/sb_trash.h"

namespace {

constexpr int kSlotRedraw = 4;
constexpr int64_t kMinSlideshowWaitMs = 100;
constexpr int64_t kKeyRepeatPauseMs = 20;
constexpr int64_t kMinFrameDelayMs = 10;

// A key pressed again while its command is still pending waits a little, so that a held
// key does not flood the dispatcher (not on the virtual clock of the tests, where the
// user-interface thread would wait for itself).
void key_repeat_pause() {
  if (!plat::virtual_clock_on()) plat::sleep_ms(kKeyRepeatPauseMs);
}

void slideshow_start() {
  sb_state& s = sb();
  s.filter->page_count = 0;
  s.filter->first_page = 0;
  s.mode = kSbModeSlideshow;
  if (task_slot_state(kSbSlotSlideshowStep) == 0)
    post_command(kSbSlotSlideshowStep, 0, nullptr);
  else
    key_repeat_pause();
}

// A file the trash may take: a local file of the disk, not a member of an archive, not
// held in memory, not fetched from the web.
bool deletable(const fileatt_t* f) {
  if (!f || !f->name || !*f->name) return false;
  if (f->container || f->store || f->from_url) return false;
  if (f->filetype == kFileKindHttp || f->filetype == kFileKindEcwp) return false;
  return true;
}

}  // namespace

void sb_next_file(int shift, int ctrl) {
  sb_state& s = sb();
  const bool was_running = (s.mode & kSbModeSlideshow) != 0;
  s.mode &= ~(kSbModeSlideshow | kSbModeAnimation);
  sb_refresh_status();
  s.direction = 1 - 2 * (shift ? 1 : 0);
  if (ctrl) {
    if (sb_browse_count() >= 2) slideshow_start();
    return;
  }
  if (was_running) return;
  if (task_slot_state(kSbSlotNextFile) == 0 && !get_stop_request())
    post_command(kSbSlotNextFile, 0, nullptr);
  else
    key_repeat_pause();
}

void sb_slideshow_toggle(int direction) {
  sb_state& s = sb();
  if ((s.mode & kSbModeSlideshow) && s.direction == direction) {
    s.mode = 0;
    sb_refresh_status();
    return;
  }
  sb_next_file(direction != 1 ? 1 : 0, 1);
}

void sb_slideshow_delay_step(int step) {
  sb_state& s = sb();
  if (!(s.mode & kSbModeSlideshow)) return;
  s.delay_ms = sb_delay_after_step(s.delay_ms, step);
  sb_refresh_status();
}

void sb_delete_file() {
  if (sb_browse_count() > 0 && !(sb().mode & kSbModeSlideshow))
    post_command(kSbSlotDelete, 0, nullptr);
}

void sb_slideshow_step() {
  sb_state& s = sb();
  if (!(s.mode & kSbModeSlideshow)) return;
  const int64_t t0 = plat::now_ms();
  if (!(s.mode & kSbModeAnimation)) sb_show_next();
  if (!(s.mode & kSbModeAnimation)) {
    const int64_t wait = std::max<int64_t>(s.delay_ms - (plat::now_ms() - t0), kMinSlideshowWaitMs);
    post_command(kSbSlotRedisplay, wait, nullptr);
  }
}

// The redraw of a slideshow step; its end hands over to command 9, which starts the
// next step while the slideshow runs.
void sb_redisplay() {
  sb_redraw_now();
  if (sb().mode & kSbModeSlideshow) post_command(kSbSlotSlideshowNext, 0, nullptr);
}

void sb_animation_start(fileatt_t* file) {
  sb_state& s = sb();
  sb_browse_state& b = sb_browse();
  if (!file || s.filter->page_count <= s.filter->first_page) return;
  const img_frame_t* frame = sb_frame_of_page(file, s.filter->current_page);
  if (!frame) return;
  b.loop_counter = frame->loop_count;
  b.frame_delay_ms = int64_t(frame->delay) * 10;
  s.mode |= kSbModeAnimation;
  if (s.mode & kSbModeSlideshow) {
    b.frame_delay_ms = std::max(b.frame_delay_ms, kMinFrameDelayMs) + s.delay_ms;
    post_command(kSlotRedraw, s.delay_ms, nullptr);
  }
  post_command(kSbSlotNextFrame, b.frame_delay_ms, nullptr);
  if (b.loop_counter != kSbLoopForever) --b.loop_counter;
}

void sb_next_frame() {
  sb_state& s = sb();
  sb_browse_state& b = sb_browse();
  fileatt_t* file = s.current;
  if (!(s.mode & kSbModeAnimation) || !file) return;
  sb_page_step(file);
  sb_file_filter_t* flt = s.filter;
  const img_frame_t* frame = sb_frame_of_page(file, flt->current_page);
  if (frame) b.frame_delay_ms = int64_t(frame->delay) * 10;
  if (frame && flt->current_page != flt->first_page) {
    s.mode |= kSbModeAnimation;
    post_command(kSbSlotNextFrame, b.frame_delay_ms, nullptr);
  } else if (frame || flt->current_page == flt->page_count) {
    if (b.loop_counter != kSbLoopForever) --b.loop_counter;
    if (b.loop_counter > 0 && !(s.mode & kSbModeSlideshow)) {
      post_command(kSbSlotNextFrame, b.frame_delay_ms, nullptr);
    } else {
      s.mode &= ~kSbModeAnimation;
      flt->page_count = flt->current_page;
      // The slideshow waited for the animation: its cycle goes on once the last frame
      // has been shown for the slideshow's delay.
      if (s.mode & kSbModeSlideshow) post_command(kSbSlotRedisplay, s.delay_ms, nullptr);
    }
  }
  sb_page_label(file);
  sb_refresh_status();
  sb_redraw_now();
}

void sb_delete_current() {
  sb_state& s = sb();
  if (sb_browse_count() == 0) return;
  fileatt_t* file = s.current;
  if (deletable(file)) {
    const std::string path = file->name;
    if (sb_trash_file(path.c_str(), nullptr) == 0) sb_set_aside(file);
  }
  sb_show_next();
}

void sb_next_task() { sb_show_next(); }
