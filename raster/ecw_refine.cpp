// The refinement worker of ECW images, its job queue, the open list and the cache cycle
// (ecw.h).
//
// The queue owns its jobs: (image, copy of the request), served last in, first out by
// one worker thread, started when a job comes to an idle queue and ended when the queue
// is empty. ecw_jobs_forget drops an image's jobs and waits until the worker has left
// the image, so no job outlives its image.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <thread>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/worker.h"
#include "map/bitmap_record.h"
#include "map/extent_map.h"
#include "map/graphspace.h"
#include "map/raster_display.h"
#include "map/view_records.h"
#include "platform/sys/clock.h"
#include "raster/ecw_internal.h"
#include "raster/image_load.h"
#include "raster/image_load_internal.h"

namespace {

constexpr int kRedrawSlot = 4;
constexpr double kInflatePixels = 3.0;
constexpr int kKeptWaitSteps = 100;
constexpr double kScaleLow = 0.9, kScaleHigh = 1.1;

struct job {
  bitmap_t* image;
  ecw_window request;
};

struct job_queue_state {
  std::mutex lock;
  std::condition_variable left;    // the worker left an image
  std::deque<job> jobs;
  bool active = false;             // a worker serves the queue
  bitmap_t* current = nullptr;     // the image the worker touches
  std::thread::id worker;
};

job_queue_state& queue() {
  static job_queue_state q;
  return q;
}

struct open_list_state {
  std::mutex lock;                 // also held while a view is cycled
  std::vector<bitmap_t*> images;
  int passes = 0;
};

open_list_state& open_list() {
  static open_list_state l;
  return l;
}

std::atomic<int>& flags() { return ecw_flag_word(); }

bool same_world(const double a[4], const double b[4]) {
  for (int i = 0; i < 4; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// The pane's mapping: the one its visibility tests use too.
screen_mapping current_mapping(const pane_t* pane) { return pane_mapping(pane); }

bool empty_extent(const extent_t& e) { return !(e.xmax > e.xmin) || !(e.ymax > e.ymin); }

extent_t sorted(const extent_t& e) {
  return extent_t{std::min(e.xmin, e.xmax), std::max(e.xmin, e.xmax), std::min(e.ymin, e.ymax),
                  std::max(e.ymin, e.ymax), 0};
}

extent_t clip_to_image(extent_t e, const bitmap_t* image) {
  e = sorted(e);
  e.xmin = std::clamp(e.xmin, 0.0, double(image->width));
  e.xmax = std::clamp(e.xmax, 0.0, double(image->width));
  e.ymin = std::clamp(e.ymin, 0.0, double(image->height));
  e.ymax = std::clamp(e.ymax, 0.0, double(image->height));
  return e;
}

// The worker leaves (or takes) an image; a waiting ecw_jobs_forget is told.
void set_current(bitmap_t* image) {
  job_queue_state& q = queue();
  std::lock_guard<std::mutex> hold(q.lock);
  q.current = image;
  q.left.notify_all();
}

void drop_kept(bitmap_t* image) {
  if (ecw_state* s = ecw_state_of(image)) {
    std::lock_guard<std::mutex> hold(s->kept_lock);
    s->has_kept = false;
  }
}

bool holds_kept(bitmap_t* image) {
  ecw_state* s = ecw_state_of(image);
  if (!s) return false;
  std::lock_guard<std::mutex> hold(s->kept_lock);
  return s->has_kept;
}

// Step 1 of each round: let the display take the previous request, then wait while a
// display read is under way.
void settle(bitmap_t* previous) {
  flags().fetch_and(~kEcwWorking);
  if (previous && !config_monothread()) {
    for (int i = 0; i < kKeptWaitSteps && holds_kept(previous); ++i) sleep_ms(1);
  }
  flags().fetch_or(kEcwWorking);
  sleep_ms(1);
  while (flags().load() & kEcwReading) {
    flags().fetch_and(~kEcwWorking);
    sleep_ms(1);
    flags().fetch_or(kEcwWorking);
    sleep_ms(1);
  }
  // Under MONOTHREAD the redraw that takes the request comes only after this worker has
  // returned: the request stays for it (dropping it would make the redraw defer again).
  if (previous && !config_monothread()) drop_kept(previous);
}

struct pass_check {
  const pane_t* pane;
  double world[4];
  extent_t region_world;
};

bool still_wanted(void* arg) {
  const auto* c = static_cast<const pass_check*>(arg);
  double now[4];
  return ecw_pane_world(c->pane, now) && same_world(now, c->world) &&
         world_rect_visible(c->pane, c->region_world);
}

// One job: dropped when the view moved on, when nothing of it is visible or its scale is
// not the pane's; otherwise the region is read until the library serves it from its
// cache, and the pane is marked and redrawn.
void run_job(bitmap_t* image, ecw_window& request) {
  pane_t* pane = request.pane;
  double now[4];
  if (!pane || !ecw_pane_world(pane, now) || !same_world(now, request.world)) return;
  if (request.width < 1 || request.height < 1 || !(request.extent_x > 0)) return;
  const screen_mapping m = current_mapping(pane);
  extent_t disp{};
  world_to_screen_extent(m, extent_t{request.world[0], request.world[1], request.world[2],
                                     request.world[3], 0},
                         &disp);
  disp = sorted(disp);
  if (empty_extent(disp)) return;
  extent_inflate(&disp, kInflatePixels);
  extent_t img{};
  screen_to_image_extent(m, image, disp, &img);
  img = clip_to_image(img, image);
  if (empty_extent(img)) return;
  extent_t shown{};
  if (!image_to_screen_clip(pane, image, img, &shown)) return;
  shown = sorted(shown);
  if (empty_extent(shown)) return;
  screen_to_image_extent(m, image, shown, &img);
  img = clip_to_image(img, image);
  if (empty_extent(img)) return;
  const double scale = (shown.xmax - shown.xmin) / (img.xmax - img.xmin);
  const double wanted = double(request.width) / request.extent_x;
  if (!(scale >= kScaleLow * wanted && scale <= kScaleHigh * wanted)) return;
  if (ecw_open(image) != 0) {
    set_gblerr(0);
    if (ecw_state* s = ecw_state_of(image)) {
      std::lock_guard<std::mutex> hold(s->lock);
      ecw_close_locked(s, 1);
    }
    return;
  }
  ecw_state* s = ecw_state_of(image);
  ecw_region r = ecw_region_of(img.xmin, img.ymin, img.xmax - img.xmin, img.ymax - img.ymin,
                               image->width, image->height);
  r.out_w = std::clamp(int(shown.xmax - shown.xmin + 0.1), 1, r.x1 - r.x0 + 1);
  r.out_h = std::clamp(int(shown.ymax - shown.ymin + 0.1), 1, r.y1 - r.y0 + 1);
  {
    std::lock_guard<std::mutex> hold(s->kept_lock);
    s->kept = request;
    s->has_kept = true;
  }
  pass_check check{pane, {}, {}};
  std::copy(request.world, request.world + 4, check.world);
  screen_to_world_extent(m, shown, &check.region_world);
  check.region_world = sorted(check.region_world);
  int rc = 0;
  {
    std::lock_guard<std::mutex> hold(s->lock);
    rc = ecw_read_passes(s, r, still_wanted, &check);
  }
  if (rc != 0) {
    drop_kept(image);
    return;
  }
  pane_redraw_rect(pane, check.region_world);
  core_post_command(kRedrawSlot, 0, nullptr);
}

void refine_thread(void*) {
  job_queue_state& q = queue();
  {
    std::lock_guard<std::mutex> hold(q.lock);
    q.worker = std::this_thread::get_id();
  }
  bitmap_t* previous = nullptr;
  for (;;) {
    settle(previous);
    set_current(nullptr);
    job next{};
    {
      std::lock_guard<std::mutex> hold(q.lock);
      if (q.jobs.empty()) {
        q.active = false;
        q.current = nullptr;
        q.worker = std::thread::id();
        flags().fetch_and(~kEcwWorking);
        q.left.notify_all();
        return;
      }
      next = q.jobs.back();
      q.jobs.pop_back();
      q.current = next.image;
    }
    run_job(next.image, next.request);
    previous = next.image;
    {
      // A forgotten image is no previous one.
      std::lock_guard<std::mutex> hold(q.lock);
      q.current = previous;
    }
  }
}

}  // namespace

void ecw_job_push(bitmap_t* image, const ecw_window& request) {
  job_queue_state& q = queue();
  {
    std::lock_guard<std::mutex> hold(q.lock);
    q.jobs.push_back(job{image, request});
    if (q.active) return;
    q.active = true;
  }
  if (!start_thread(refine_thread, nullptr, 0)) {
    std::lock_guard<std::mutex> hold(q.lock);
    q.active = false;  // the job waits for the next push
  }
}

void ecw_jobs_forget(bitmap_t* image) {
  job_queue_state& q = queue();
  std::unique_lock<std::mutex> hold(q.lock);
  q.jobs.erase(std::remove_if(q.jobs.begin(), q.jobs.end(),
                              [image](const job& j) { return j.image == image; }),
               q.jobs.end());
  if (q.worker == std::this_thread::get_id()) return;
  q.left.wait(hold, [&] { return q.current != image; });
}

void ecw_open_list_add(bitmap_t* image) {
  open_list_state& l = open_list();
  std::lock_guard<std::mutex> hold(l.lock);
  if (std::find(l.images.begin(), l.images.end(), image) == l.images.end())
    l.images.push_back(image);
}

void ecw_open_list_remove(bitmap_t* image) {
  open_list_state& l = open_list();
  std::lock_guard<std::mutex> hold(l.lock);
  l.images.erase(std::remove(l.images.begin(), l.images.end(), image), l.images.end());
}

void ecw_idle_views() {
  open_list_state& l = open_list();
  std::lock_guard<std::mutex> hold(l.lock);
  if (l.images.empty() || image_yield_requested()) return;
  if (++l.passes < kEcwCyclePasses) return;
  l.passes = 0;
  bitmap_t* image = l.images.back();
  l.images.pop_back();
  ecw_state* s = ecw_state_of(image);
  const ecw_calls* lib = ecw_library();
  if (!s || !lib) return;
  std::lock_guard<std::mutex> view_hold(s->lock);
  ecw_close_locked(s, 1);
  const char* path = image->file ? file_name_of(image->file) : nullptr;
  if (!path || lib->open_view(path, &s->view, nullptr) != 0 || !s->view) {
    s->view = nullptr;  // opened again on its next use
    return;
  }
  if (lib->file_info(s->view, &s->info) != 0 || !s->info ||
      s->info->bands != s->band_count) {
    ecw_close_locked(s, 1);
  }
}

void ecw_refine_reset() {
  {
    job_queue_state& q = queue();
    std::lock_guard<std::mutex> hold(q.lock);
    q.jobs.clear();
  }
  open_list_state& l = open_list();
  std::lock_guard<std::mutex> hold(l.lock);
  l.images.clear();
  l.passes = 0;
}

int ecw_open_count() {
  open_list_state& l = open_list();
  std::lock_guard<std::mutex> hold(l.lock);
  return int(l.images.size());
}

int ecw_pass_count() {
  open_list_state& l = open_list();
  std::lock_guard<std::mutex> hold(l.lock);
  return l.passes;
}

int ecw_has_view(const bitmap_t* image) {
  ecw_state* s = ecw_state_of(image);
  if (!s) return 0;
  std::lock_guard<std::mutex> hold(s->lock);
  return s->view ? 1 : 0;
}

int ecw_jobs_waiting() {
  job_queue_state& q = queue();
  std::lock_guard<std::mutex> hold(q.lock);
  return int(q.jobs.size());
}

int ecw_worker_active() {
  job_queue_state& q = queue();
  std::lock_guard<std::mutex> hold(q.lock);
  return q.active ? 1 : 0;
}

int ecw_worker_join(int bound_ms) {
  for (int i = 0; i < bound_ms; ++i) {
    if (!ecw_worker_active()) return 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return ecw_worker_active() ? 0 : 1;
}

void ecw_init() {
  ecw_refine_reset();
  flags().store(0);
  get_bitmap_hooks().ecw_end_view = ecw_free_view;
  get_raster_display_hooks().ecw_display = ecw_display;
  get_raster_display_hooks().ecw_symbol = ecw_symbol;
}
