// A dsegpoint style (a track segment, a route) drawn as a whole, link by link from the
// last to the first, as draw_dsegpoint draws one link: the same attribute loads into the
// style, the same widths, the same clipping and the same pixels, without the per-point
// costs of the general path.
//
// The points are taken a chunk at a time under the drawing lock (released between
// chunks, as the general path releases it between points). A chunk's coordinates are read
// once into the reused buffer of the drawing state and carried to the screen together
// (draw_to_screen_run). The display values are loaded into the style point by point as
// attrs_dsegpoint loads them, with the record sizes the loads check remembered per class.
//
// Links that need no clipping, drawn with a solid pen, go to the device as polylines of up
// to 32 points when the pen is thin or stores its colour plainly. A thin pen's polyline
// draws each of its links exactly as a two-point line does; a wide pen's polyline paints
// the union of the discs and bands that its links paint one by one, which with plain
// stores of one colour is the same picture. As all the links of one polyline have the same
// pen and raster operation, the order in which they are drawn among themselves changes no
// pixel. Runs of different pens keep the order of their links. Every other link goes
// through draw_clipped_segment as before.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/obj_layout.h"
#include "map/draw_gdi_internal.h"
#include "map/draw_styles.h"
#include "map/dsegpoint_loads.h"
#include "map/graphspace.h"

namespace {

constexpr int kChunk = 2048;     // links per hold of the drawing lock
constexpr int kRunPoints = 32;   // points per polyline: the device keeps such lines off the heap

int32_t i32(const obj_t* s, size_t off) { return field_load<int32_t>(s, int(off)); }

struct device_pt {
  int x, y;
  bool operator==(const device_pt&) const = default;
};

// Links of one pen gathered back to front into one polyline.
struct link_run {
  plat::Point pts[kRunPoints];
  int count = 0;  // points, the last ones of pts
  int motif = 0, width = 0;
  uint32_t colour = 0;

  device_pt first() const {
    const plat::Point& p = pts[kRunPoints - count];
    return device_pt{p.x, p.y};
  }
  void flush() {
    if (count >= 2) {
      select_pen_brush(motif, width, colour, 0);
      gdi_polyline(pts + (kRunPoints - count), count);
    }
    count = 0;
  }
  void add(device_pt a, device_pt b, int m, int w, uint32_t c) {
    if (count > 0 && count < kRunPoints && m == motif && w == width && c == colour &&
        first() == b) {
      ++count;
      pts[kRunPoints - count] = plat::Point{a.x, a.y};
      return;
    }
    flush();
    motif = m;
    width = w;
    colour = c;
    pts[kRunPoints - 2] = plat::Point{a.x, a.y};
    pts[kRunPoints - 1] = plat::Point{b.x, b.y};
    count = 2;
  }
};

// The clipping window's outcode of a point, as clip_outcode gives it.
int outcode(const extent_t& w, screen_pt p) {
  int code = 0;
  if (p.x < w.xmin) code |= 1;
  if (p.x > w.xmax) code |= 2;
  if (p.y < w.ymin) code |= 4;
  if (p.y > w.ymax) code |= 8;
  if (!(p.x == p.x) || !(p.y == p.y)) code = 15;
  return code;
}

bool same_point(screen_pt a, screen_pt b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

void draw_dsegpoint_links(obj_t* style) {
  if (!style || style->cls != CLS_DSEGPOINT) return;
  const container_t* src = field_load<container_t*>(style, offsetof(drawstyle_t, contsrc));
  const int n = obj_list_count(src);
  if (n < 2 || !src->elems) return;
  dsegpoint_detail::loads loads(style);
  const int32_t pptcoord = loads.pptcoord();

  // The screen point of the style's next-point field, known while it holds the point
  // it was last computed for.
  screen_pt next_screen{};
  bool next_known = false;

  for (int hi = n - 2; hi >= 0; hi -= kChunk) {
    const int lo = std::max(0, hi - kChunk + 1);
    const int m = hi - lo + 2;  // points lo .. hi + 1
    draw_lock lock(draw_mutex());
    draw_state& s = draw_st();
    const bool target = s.dc && s.pane;

    // Coordinates of the chunk's points: as a link's start (x, y and the elevation, 20
    // bytes) and as the next point of a link (x, y, 16 bytes); each read only where the
    // position fits the record, as the loads check it.
    s.xyz.resize(size_t(m) * 6);
    if (s.points.size() < size_t(m) * 2) s.points.resize(size_t(m) * 2);
    double* start_xyz = s.xyz.data();
    double* next_xyz = s.xyz.data() + size_t(m) * 3;
    screen_pt* start_screen = s.points.data();
    screen_pt* next_screens = s.points.data() + m;
    // Bit 1: readable as a start, bit 2: as a next point.
    uint8_t readable[kChunk + 1];
    bool any_height = false;
    for (int k = 0; k < m; ++k) {
      // The records lie one after another far beyond the cache: ask for those some
      // points ahead.
      if (k + 32 < m && src->elems[lo + k + 32])
        __builtin_prefetch(reinterpret_cast<const char*>(src->elems[lo + k + 32]) + pptcoord);
      const obj_t* e = src->elems[lo + k];
      readable[k] = 0;
      double* a = start_xyz + 3 * size_t(k);
      double* b = next_xyz + 3 * size_t(k);
      a[0] = a[1] = a[2] = b[0] = b[1] = b[2] = 0.0;
      if (!e) continue;
      if (const char* at = loads.coords(e, sizeof(style_point_t))) {
        const style_point_t p = field_load<style_point_t>(at, 0);
        a[0] = p.x;
        a[1] = p.y;
        a[2] = p.z;
        any_height |= a[2] != 0.0;
        readable[k] |= 1;
      }
      if (const char* at = loads.coords(e, 16)) {
        b[0] = field_load<double>(at, 0);
        b[1] = field_load<double>(at, 8);
        readable[k] |= 2;
      }
    }
    if (target) {
      // A point readable as a start is readable as a next point (the same position,
      // fewer bytes). Without a link the elevation plays no part, and with one an
      // elevation of 0 carries the point as the next point is carried: the start's
      // screen point is then the next point's.
      const layer_t* layer = get_current_layer();
      const bool linked = layer && field_load<obj_t*>(layer, offsetof(layer_t, cs_link));
      draw_to_screen_run(next_xyz, m, next_screens);
      if (linked && any_height)
        draw_to_screen_run(start_xyz, m, start_screen);
      else
        std::copy(next_screens, next_screens + m, start_screen);
    }
    // The mapping may have changed since the last chunk.
    next_known = false;

    const double geopixsize = field_load<double>(style, offsetof(drawstyle_t, geopixsize));
    int32_t scaled_thick = 0;
    bool scaled = false;
    double clip_width = -1.0;
    // A wide solid pen that stores its colour paints the union of its links' discs and
    // bands: a polyline of such links paints what the links paint one by one.
    const bool plain_stores = target && plat::get_rop2(s.dc) == plat::R2_COPYPEN;
    screen_pt last_a{};
    device_pt last_a_dev{};
    bool last_a_known = false;
    device_pt last_dot{};  // the pixel a link within one pixel drew last, with its pen
    int last_dot_pen[3] = {};
    bool last_dot_known = false;
    link_run run;

    for (int i = hi; i >= lo; --i) {
      const int k = i - lo;
      obj_t* elem = src->elems[i];
      if (!elem) continue;
      // The next point into the style (drawobj_style_point); an unreadable one leaves
      // the field as it was.
      if (readable[k + 1] & 2) {
        loads.load_next(src->elems[i + 1]);
        next_screen = next_screens[k + 1];
        next_known = target;
      }
      if (!target) continue;
      // attrs_dsegpoint, father as draw_with finds it.
      const bool ok = readable[k] & 1;
      loads.load_point(elem, ok);
      if (!ok) continue;
      const int32_t thick = i32(style, offsetof(dsegpoint_t, vlinkthick));
      if (!scaled || thick != scaled_thick) {
        drawobj_scale_width(thick, geopixsize);
        scaled_thick = thick;
        scaled = true;
      }
      const int width = int(s.width);
      const int motif = i32(style, offsetof(dsegpoint_t, vlinkmotif));
      const uint32_t colour = field_load<uint32_t>(style, offsetof(dsegpoint_t, vcolour));
      const screen_pt a = start_screen[k];
      if (!next_known) {
        next_screen = draw_to_screen(field_load<double>(style, offsetof(dsegpoint_t, next_x)),
                                     field_load<double>(style, offsetof(dsegpoint_t, next_y)), 0);
        next_known = true;
      }
      const screen_pt b = next_screen;
      // draw_clipped_segment(a, b, motif, width, colour, 0), unclipped links gathered.
      if (double(width) != clip_width) {
        clip_window_set(width);
        clip_width = width;
      }
      const int ca = outcode(s.clip, a), cb = outcode(s.clip, b);
      if (ca & cb) continue;
      if (ca || cb) {
        run.flush();
        draw_clipped_segment(a, b, motif, width, colour, 0);
        continue;
      }
      device_pt db{};
      if (last_a_known && same_point(last_a, b))
        db = last_a_dev;
      else
        db = device_pt{device_coord(b.x, s.page_x), device_coord(b.y, s.page_y)};
      const device_pt da{device_coord(a.x, s.page_x), device_coord(a.y, s.page_y)};
      last_a = a;
      last_a_dev = da;
      last_a_known = true;
      if (da == db) {
        // A link within one pixel draws that pixel, as draw_clipped_segment does; a run of
        // such links on one pixel (a track seen from far away) draws it once.
        const int pen[3] = {motif, width, int(colour)};
        if (!(last_dot_known && last_dot == da && std::equal(pen, pen + 3, last_dot_pen))) {
          run.flush();
          select_pen_brush(motif, width, colour, 0);
          gdi_dot(da.x, da.y);
          last_dot = da;
          std::copy(pen, pen + 3, last_dot_pen);
          last_dot_known = true;
        }
      } else if (motif_pen_style(motif) == plat::PS_SOLID && (width <= 1 || plain_stores)) {
        run.add(da, db, motif, width, colour);
      } else {
        run.flush();
        select_pen_brush(motif, width, colour, 0);
        gdi_polyline2(da.x, da.y, db.x, db.y);
      }
    }
    run.flush();
  }
}
