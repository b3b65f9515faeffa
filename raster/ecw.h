// ECW images (decoder code 16, and file kind 12 for ECW images opened by address), read
// through the outside ECW decoding library (ecw_library.h).
//
// An ECW image never receives a line store: the loader only opens, sizes and
// georeferences it, and the raster display asks for the visible window at display
// resolution (ecw_read_lines). On screen a window that changed while the refinement
// worker is busy, or a new window of an image opened by address, is handed to the
// worker as a job; the worker drops jobs whose view has moved on, reads the region
// until the library delivers it from its cache, marks it for redrawing and posts a
// redraw. Displayed images are kept in an open list; every 101st idle pass of command
// slot 2 one of them is closed and opened again, so that the library gives back its
// cache.
//
// Threads: the view of an image is used under its state's lock, one thread at a time;
// the two flag bits are atomics; the job queue owns its jobs and a job never outlives
// its image (ecw_free_view cancels the image's jobs and waits for the worker to leave
// it). Under MONOTHREAD the worker runs inside the display call that pushed its job.
//
// Files: ecw.cpp (open, georeference, line blocks, views), ecw_display.cpp (the display
// and printing path and the display slot), ecw_refine.cpp (job queue, worker, open
// list, cache cycle), ecw_library.cpp (binding of the library by name).
#pragma once
#include <cstdint>

#include "geodesy/extent.h"

struct bitmap_t;
struct pane_t;
struct ecw_file_info;

// Result codes of the ECW paths.
constexpr int kEcwRefused = 7;       // the library refuses the file or a call
// Every 101st idle pass cycles one view.
constexpr int kEcwCyclePasses = 101;

// The display window record: the window (display pixels) and the image window it shows
// (full-resolution pixels), the pane being drawn and, filled by ecw_read_lines, the
// pane's world window for which the request was made.
struct ecw_window {
  int32_t width = 0, height = 0;
  double origin_x = 0, origin_y = 0;
  double extent_x = 0, extent_y = 0;
  pane_t* pane = nullptr;
  double world[4] = {0, 0, 0, 0};  // xmin, xmax, ymin, ymax
};

// Opens the image's view once and, unless it already has a line store, sets its size,
// bands and georeference. 0, or gblerr (7 refused, 13 projection unknown, 14 bad unit).
int ecw_open(bitmap_t* image);
// Decoder row 16: a requested line below 0 only opens (the normal load); otherwise the
// block of up to 20 lines from it is decoded into the image's line store. 0, 7, or the
// code ecw_open set (gblerr is then cleared: the dispatcher frees the record).
int ecw_read(bitmap_t* image, int requested_line);
// The georeference of the file information: none for a datum the geodesy tables lack;
// 13 for an unknown projection, 14 for a cell unit the reference kind cannot take.
int ecw_georef(const ecw_file_info* info, bitmap_t* image);
// Closes the image's view and frees its state; the image leaves the open list and its
// queued jobs are dropped. The image record's destruction calls it.
void ecw_free_view(bitmap_t* image);
// The display entry: fills `width` x `height` pixels of the window, each line either
// as grey bytes into dest8 (grey set) or as packed pixels into dest32, the destination
// advancing `stride` pixels a line. 0 drawn (or nothing to draw), 1 deferred to the
// worker, -1 stopped by a failing call.
int ecw_read_lines(bitmap_t* image, ecw_window* window, int grey, uint8_t* dest8,
                   uint32_t* dest32, int stride);
// The raster display's slot for ECW images: the DIB block `screen` of the pane being
// drawn.
int ecw_display(bitmap_t* image, uint8_t* dib, int row_bytes, int dib_x, int dib_y,
                extent_t screen);
// The raster display's slot for symbol copies: the whole image read at `width` x
// `height` into packed pixels, straight from the library (a symbol is small, and is
// wanted whole at once, so it never waits for the refinement worker). A failing call
// leaves the pixels as they were.
void ecw_symbol(bitmap_t* image, uint32_t* pixels, int width, int height);
// The cache cycle of command slot 2's idle pass.
void ecw_idle_views();
// Start-up: clears the state, creates the open list, fills the hooks of the map layer.
void ecw_init();

// ---- Inspection (tests) --------------------------------------------------------------
// Images in the open list; the pass counter; 1 when the image holds a view.
int ecw_open_count();
int ecw_pass_count();
int ecw_has_view(const bitmap_t* image);
// The flag bits (bit 0 worker working, bit 1 display read in progress).
int ecw_flags();
// Jobs waiting; 1 while a worker serves the queue.
int ecw_jobs_waiting();
int ecw_worker_active();
// Waits (real time, bounded) until no worker serves the queue; 1 when it has ended.
int ecw_worker_join(int bound_ms);
