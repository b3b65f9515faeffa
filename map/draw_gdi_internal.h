// The process-wide state of the drawing routines (draw_gdi.h): the target, the current
// width, the clipping window, the pen, brush and font caches and the work buffers. The
// draw slots, dc_begin and dc_end hold draw_mutex() while they use it.
#pragma once
#include <mutex>
#include <vector>

#include "map/draw_gdi.h"

struct pen_cache {
  bool valid = false;
  int motif = 0, width = 0, fill = 0;
  uint32_t rgb = 0;  // red, green, blue bytes of the colour word
  plat::Dc dc = nullptr;
  plat::Pen pen = nullptr;
  plat::Brush brush = nullptr;  // the solid brush made for a fill, or null
};

struct font_cache {
  bool valid = false;
  int font = 0, size = 0, weight = 0, underital = 0;
  uint32_t rgb = 0;
  plat::Dc dc = nullptr;
  plat::Font handle = nullptr;
};

struct draw_state {
  pane_t* pane = nullptr;
  plat::Dc dc = nullptr;
  int page_x = 0, page_y = 0;
  double width = 1.1;  // current line width
  // The scale at which the pane's surface shows the graph space's whole data (0: none):
  // at it and above, no point symbol is too small to be drawn.
  double whole_data_scale = 0.0;
  extent_t clip{};     // clipping window, pixels
  pen_cache pen;
  font_cache font;
  std::vector<screen_pt> points;  // polyline buffer: grows, never shrinks
  std::vector<plat::Point> run;   // device points of one polyline run
  std::vector<double> xyz;        // (x, y, z) triples carried to the screen as a run
};

draw_state& draw_st();
std::recursive_mutex& draw_mutex();
using draw_lock = std::lock_guard<std::recursive_mutex>;

// The colour of a colour word in the drawing layer's numbers.
inline plat::Color word_colour(uint32_t word) { return plat::Color(word & 0xFFFFFFu); }
// A pane's record fields, read byte-wise (packed record).
screen_mapping target_mapping();
