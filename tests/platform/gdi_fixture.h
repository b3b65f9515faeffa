// A white canvas with a device context on it, and ways to read what was drawn: the
// set of pixels of one colour, the bounding box of everything not white, and a small
// text picture for failure messages.
#pragma once
#include "platform/gdi/gdi.h"

#include <set>
#include <string>
#include <utility>

namespace gdi_test {

using PixelSet = std::set<std::pair<int, int>>;

constexpr plat::Color kWhite = plat::rgb(255, 255, 255);
constexpr plat::Color kBlack = plat::rgb(0, 0, 0);
constexpr plat::Color kRed = plat::rgb(255, 0, 0);
constexpr plat::Color kBlue = plat::rgb(0, 0, 255);
constexpr plat::Color kGreen = plat::rgb(0, 255, 0);

struct Canvas {
  plat::Surface surface;
  plat::Dc dc = nullptr;
  Canvas(int w, int h, const plat::Region* clip = nullptr) : surface(w, h) {
    dc = plat::create_surface_dc(&surface, plat::Point{}, clip);
  }
  // Objects still selected are the canvas's to delete (stock ones stay).
  ~Canvas() {
    plat::GdiObj held[] = {plat::get_current_object(dc, plat::OBJ_PEN), plat::get_current_object(dc, plat::OBJ_BRUSH),
                           plat::get_current_object(dc, plat::OBJ_FONT)};
    plat::delete_dc(dc);
    for (plat::GdiObj o : held) plat::delete_object(o);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  plat::Color at(int x, int y) const { return plat::color_of_pixel(surface.at(x, y)); }
  PixelSet pixels(plat::Color c) const {
    PixelSet s;
    for (int y = 0; y < surface.height; ++y)
      for (int x = 0; x < surface.width; ++x)
        if (at(x, y) == c) s.insert({x, y});
    return s;
  }
  PixelSet not_white() const {
    PixelSet s;
    for (int y = 0; y < surface.height; ++y)
      for (int x = 0; x < surface.width; ++x)
        if (at(x, y) != kWhite) s.insert({x, y});
    return s;
  }
  // Bounding box of everything not white (empty when nothing is drawn).
  plat::Rect ink_box() const {
    plat::Rect b{surface.width, surface.height, 0, 0};
    for (auto [x, y] : not_white()) {
      b.left = std::min(b.left, x);
      b.top = std::min(b.top, y);
      b.right = std::max(b.right, x + 1);
      b.bottom = std::max(b.bottom, y + 1);
    }
    return b.empty() ? plat::Rect{} : b;
  }
  // '#' for drawn pixels, '.' for white, one line per row.
  std::string picture() const {
    std::string out;
    for (int y = 0; y < surface.height; ++y) {
      for (int x = 0; x < surface.width; ++x) out += at(x, y) == kWhite ? '.' : '#';
      out += '\n';
    }
    return out;
  }
  // Selects a new pen (the old one is deleted when it is not a stock object).
  void pen(int style, int width, plat::Color c) {
    plat::GdiObj old = plat::select_object(dc, plat::create_pen(style, width, c));
    plat::delete_object(old);
  }
  void brush(plat::Color c) { plat::delete_object(plat::select_object(dc, plat::create_solid_brush(c))); }
  void stock(int index) { plat::delete_object(plat::select_object(dc, plat::get_stock_object(index))); }
};

inline PixelSet pixels_from_art(std::initializer_list<const char*> rows, int x0 = 0, int y0 = 0) {
  PixelSet s;
  int y = y0;
  for (const char* row : rows) {
    for (int x = 0; row[x]; ++x)
      if (row[x] == '#') s.insert({x0 + x, y});
    ++y;
  }
  return s;
}

}  // namespace gdi_test
