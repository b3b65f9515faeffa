// Test support for the drawing routines: a white surface with a device context, a pane
// mapping world units onto it, a current layer, the drawing target set on them, and
// builders of the styles and source objects the draw slots read.
//
// The mapping: screen x = world x × 2, screen y = (world y - 100) × -2, so on a 200 by
// 200 surface world (0, 0) is the lower-left corner and (100, 100) the upper-right one.
#pragma once
#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "map/draw_gdi.h"
#include "tests/map/map_model_fixture.h"

namespace tm_test {

using pixel_set = std::set<std::pair<int, int>>;

constexpr uint32_t kRedWord = colour_word(255, 0, 0);
constexpr uint32_t kBlueWord = colour_word(0, 0, 255);
constexpr plat::Color kWhiteColour = plat::rgb(255, 255, 255);

// The default mapping of the canvas.
constexpr screen_mapping kCanvasMapping{0, -100, 2, -2};

struct draw_canvas {
  plat::Surface surface;
  plat::Dc dc = nullptr;
  pane_t* pane = nullptr;
  layer_t* layer = nullptr;

  explicit draw_canvas(int w = 200, int h = 200, screen_mapping m = kCanvasMapping)
      : surface(w, h) {
    map_model_env();
    font_table_init();
    dc = plat::create_surface_dc(&surface, plat::Point{}, nullptr);
    obj_new(0, CLS_PANE, reinterpret_cast<obj_t**>(&pane));
    pane->map = m;
    pane->page_width = w;
    pane->page_height = h;
    pane->current = extent_t{0, double(w), 0, double(h), 0};
    pane->page = extent_t{0, double(w), 0, double(h), 0};
    pane->text_scale = 1.0;
    pane->symbol_scale = 1.0;
    obj_new(0, CLS_LAYER, reinterpret_cast<obj_t**>(&layer));
    set_current_layer(layer);
    dc_begin(pane, dc, 0, 0);
  }
  ~draw_canvas() {
    dc_end();
    set_current_layer(nullptr);
    free_obj(&layer);
    free_obj(&pane);
    plat::delete_dc(dc);
    set_gblerr(0);
  }
  draw_canvas(const draw_canvas&) = delete;
  draw_canvas& operator=(const draw_canvas&) = delete;

  plat::Color at(int x, int y) const { return plat::color_of_pixel(surface.at(x, y)); }
  // The pixel of a world point.
  plat::Color at_world(double x, double y) const {
    const screen_mapping m = pane->map;
    return at(int((x + m.origin_x) * m.scale_x), int((y + m.origin_y) * m.scale_y));
  }
  pixel_set pixels(plat::Color c) const {
    pixel_set s;
    for (int y = 0; y < surface.height; ++y)
      for (int x = 0; x < surface.width; ++x)
        if (at(x, y) == c) s.insert({x, y});
    return s;
  }
  pixel_set ink() const {
    pixel_set s;
    for (int y = 0; y < surface.height; ++y)
      for (int x = 0; x < surface.width; ++x)
        if (at(x, y) != kWhiteColour) s.insert({x, y});
    return s;
  }
};

// A style of a class with its fixed values zero, drawn at geopixsize 0 (no thinning).
template <class T> T* new_draw_style(int cls) {
  T* s = nullptr;
  obj_new(0, cls, reinterpret_cast<obj_t**>(&s));
  return s;
}

// A line of interest over the points (world units); the points stay the caller's, so
// release_line must run before the line is freed.
inline loil_t* new_line(std::vector<double>& xy) {
  loil_t* l = nullptr;
  obj_new(0, CLS_LOIL, reinterpret_cast<obj_t**>(&l));
  l->loicoord = coord_list{int32_t(xy.size() / 2), xy.data(), nullptr, {0, 0}};
  return l;
}
inline void release_line(loil_t* l) {
  l->loicoord = coord_list{};
  free_one(l);
}

inline dpolycurve_t* line_style(uint32_t colour, int thickness, int edge, int fill) {
  auto* s = new_draw_style<dpolycurve_t>(CLS_DPOLYCURVE);
  s->typesrc = CLS_LOIL;
  s->plcoord = offsetof(loil_t, loicoord);
  s->vcolour = colour;
  s->vthickness = thickness;
  s->vedgemotif = edge;
  s->vfillmotif = fill;
  return s;
}

inline waypoint_t* new_point(double x, double y, const char16_t* name = u"p") {
  waypoint_t* w = nullptr;
  waypoint_create(x, y, name, nullptr, 1, 0, 0, 0.0, nullptr, &w);
  return w;
}

// Layers of lines (world units) added to a graph space, one folder and one style each;
// the lines' points stay the caller's. forget_points runs before the graph space goes,
// free_folders after it.
class ShapeLayers {
 public:
  // A layer of lines drawn with one style: filled outlines when fill is set.
  void add(graphspace_t* gs, std::vector<std::vector<double>>& lines, uint32_t colour, int fill,
           int* counter) {
    container_t* list = nullptr;
    obj_list_new(&list);
    obj_list_append(list, make_georef(214, 0));
    for (std::vector<double>& xy : lines) {
      loil_t* l = new_line(xy);
      lines_.push_back(l);
      obj_list_append(list, l);
    }
    obj_list_append(list, line_style(colour, 2, 1, fill));
    folder_t* f = nullptr;
    folder_get_or_create(nullptr, list, 0, &f);
    folders_.push_back(f);
    ASSERT_EQ(graphspace_add_file(gs, f, counter), 1);
  }
  void forget_points() {
    for (loil_t* l : lines_) l->loicoord = coord_list{};
  }
  void free_folders() {
    for (folder_t* f : folders_) {
      obj_list_free_elements(f->sot);
      container_t* list = f->sot;
      free_obj(&list);
      f->sot = nullptr;
      obj_t* o = f;
      free_obj(&o);
    }
    folders_.clear();
    lines_.clear();
  }

 private:
  std::vector<loil_t*> lines_;
  std::vector<folder_t*> folders_;
};

}  // namespace tm_test
