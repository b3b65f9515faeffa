// Shared between the files of the ECW images (ecw.h).
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "raster/ecw.h"
#include "raster/ecw_library.h"

// The ECW state of an image, held in its decoder block. `lock` guards the view and
// the fields below it but the kept request: the display path and the refinement worker share the view.
struct ecw_state {
  std::mutex lock;
  void* view = nullptr;
  ecw_file_info* info = nullptr;
  std::vector<int> bands;          // 0 .. bands-1
  std::vector<uint8_t*> lines;     // one destination per band for a line read
  int band_count = 0;
  std::mutex kept_lock;            // guards the kept request alone
  bool has_kept = false;           // the request the worker last handled
  ecw_window kept;
};

// Flag bits.
constexpr int kEcwWorking = 1;     // bit 0: the refinement worker works
constexpr int kEcwReading = 2;     // bit 1: a display read is in progress
std::atomic<int>& ecw_flag_word();

// 1 when the library's information describes an image the program can hold (sizes 1 ..
// 10^6, 1 .. 256 bands, finite cell sizes and origin, both names given).
bool ecw_info_usable(const ecw_file_info* info);
// The state of an image (null when it has none).
ecw_state* ecw_state_of(const bitmap_t* image);
// Closes the view of a state (free_cache for the library), keeping the record.
void ecw_close_locked(ecw_state* s, int free_cache);

// The full-resolution region and output size of a window.
struct ecw_region {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  int out_w = 0, out_h = 0;
};
// Region of an image window (origin, extent) on an image of width x height pixels.
ecw_region ecw_region_of(double origin_x, double origin_y, double extent_x, double extent_y,
                         int width, int height);
// Reads the region in passes into a scratch line while the last pass took more than
// 0.3 s on the packed-date clock (at most kEcwMaxPasses); `keep_going` (may be null) is
// asked after each line. 0 done, -1 a call failed, 1 stopped by keep_going.
constexpr int kEcwMaxPasses = 20;
int ecw_read_passes(ecw_state* s, const ecw_region& r, bool (*keep_going)(void*), void* arg);
// The pane's current world window (xmin, xmax, ymin, ymax); false without pane.
bool ecw_pane_world(const pane_t* pane, double out[4]);

// Job queue and open list (ecw_refine.cpp).
// Queues a copy of the request for the worker, starting it when none serves the queue.
void ecw_job_push(bitmap_t* image, const ecw_window& request);
// Drops the image's jobs and waits until the worker no longer handles it.
void ecw_jobs_forget(bitmap_t* image);
void ecw_open_list_add(bitmap_t* image);
void ecw_open_list_remove(bitmap_t* image);
// Every job and the open list dropped (start-up).
void ecw_refine_reset();
