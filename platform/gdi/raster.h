// The lowest drawing level: writing pixels and horizontal spans of one colour into a
// context's surface through its clip, combined with what is there by a mix mode (the
// sixteen ROP2 codes, a table of routines). Every primitive ends here.
#pragma once
#include <algorithm>

#include "platform/gdi/gdi_internal.h"

namespace plat {

// Mixes a pen colour with a destination pixel (both 0x..RRGGBB words); the result's top
// byte is set by the caller.
using MixFn = uint32_t (*)(uint32_t pen, uint32_t dst);
MixFn mix_routine(int rop2);

struct Painter {
  Surface* surface = nullptr;
  const Region* clip = nullptr;
  Rect box;            // clip bounds
  bool simple = true;  // the clip is the box
  bool copy = true;    // R2_COPYPEN: plain stores
  MixFn mix = nullptr;
  uint32_t px = 0xFF000000u;

  Painter(Dc dc, Color color, int rop2);
  void set_color(Color c) { px = pixel_of(c); }
  bool visible(int x, int y) const {
    return box.contains(Point{x, y}) && (simple || clip->contains(Point{x, y}));
  }
  void put(int x, int y) {  // caller has checked visibility
    uint32_t* p = surface->row(y) + x;
    *p = copy ? px : (0xFF000000u | mix(px, *p));
  }
  void pixel(int x, int y) {
    if (visible(x, y)) put(x, y);
  }
  // Pixels [x0, x1) of row y, in surface coordinates.
  void span(int y, int x0, int x1);

 private:
  void run(int y, int x0, int x1);  // within the clip
};

// Calls fn(rect) for every clip rectangle's part inside `area` (surface coordinates).
template <typename F>
void for_each_clip_rect(const DcRec& dc, const Rect& area, F&& fn) {
  if (dc.clip_simple) {
    Rect r = intersect_rect(area, dc.clip_box);
    if (!r.empty()) fn(r);
    return;
  }
  const std::vector<Rect>& rs = dc.clip.rects();
  auto it = std::partition_point(rs.begin(), rs.end(), [&](const Rect& c) { return c.bottom <= area.top; });
  for (; it != rs.end() && it->top < area.bottom; ++it) {
    Rect r = intersect_rect(area, *it);
    if (!r.empty()) fn(r);
  }
}

}  // namespace plat
