// The standard toolbar images, drawn plainly with shapes on a 16-unit grid scaled to
// the size asked for: one routine per image, in the order of their indices. Each is
// drawn on a key colour that then becomes transparent.
#include <initializer_list>
#include <vector>

#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/ctl_toolbar_images.h"

namespace plat::ui_detail {

namespace {

constexpr Color kKey = rgb(255, 0, 255);
constexpr Color kInk = rgb(0, 0, 0);
constexpr Color kPaper = rgb(255, 255, 255);
constexpr Color kBlue = rgb(0, 64, 192);
constexpr Color kNavy = rgb(0, 0, 128);
constexpr Color kGrey = rgb(160, 160, 160);
constexpr Color kYellow = rgb(240, 200, 40);
constexpr Color kDarkYellow = rgb(200, 150, 0);
constexpr Color kRed = rgb(220, 0, 0);
constexpr Color kBrown = rgb(150, 100, 40);
constexpr Color kGreen = rgb(0, 160, 0);

// Shapes on the 16-unit grid, scaled to the picture's size.
struct Canvas {
  Dc dc;
  int size;
  int k(int v) const { return v * size / 16; }
  Point p(int x, int y) const { return Point{k(x), k(y)}; }

  void with(Color line, Color fill, int width, void (*draw)(const Canvas&, const void*), const void* arg) const {
    Pen pen = create_pen(line == kKey ? PS_NULL : PS_SOLID, width, line);
    Brush brush = fill == kKey ? get_stock_object(NULL_BRUSH) : create_solid_brush(fill);
    GdiObj old_pen = select_object(dc, pen), old_brush = select_object(dc, brush);
    draw(*this, arg);
    select_object(dc, old_pen);
    select_object(dc, old_brush);
    delete_object(pen);
    if (fill != kKey) delete_object(brush);
  }
  void box(int l, int t, int r, int b, Color fill, Color line = kInk) const {
    const int v[4] = {l, t, r, b};
    with(line, fill, 1, [](const Canvas& c, const void* a) {
      const int* q = static_cast<const int*>(a);
      rectangle(c.dc, c.k(q[0]), c.k(q[1]), c.k(q[2]), c.k(q[3]));
    }, v);
  }
  void oval(int l, int t, int r, int b, Color fill, Color line = kInk) const {
    const int v[4] = {l, t, r, b};
    with(line, fill, 1, [](const Canvas& c, const void* a) {
      const int* q = static_cast<const int*>(a);
      ellipse(c.dc, c.k(q[0]), c.k(q[1]), c.k(q[2]), c.k(q[3]));
    }, v);
  }
  void shape(std::initializer_list<Point> grid, Color fill, Color line = kInk) const {
    std::vector<Point> pts;
    for (Point g : grid) pts.push_back(p(g.x, g.y));
    with(line, fill, 1, [](const Canvas& c, const void* a) {
      const auto* v = static_cast<const std::vector<Point>*>(a);
      polygon(c.dc, v->data(), int(v->size()));
    }, &pts);
  }
  void lines(std::initializer_list<Point> grid, Color line, int width = 1) const {
    std::vector<Point> pts;
    for (Point g : grid) pts.push_back(p(g.x, g.y));
    pts.push_back(pts.back());  // the last point is drawn too
    with(line, kKey, width * size / 16, [](const Canvas& c, const void* a) {
      const auto* v = static_cast<const std::vector<Point>*>(a);
      polyline(c.dc, v->data(), int(v->size()));
    }, &pts);
  }
  void text_lines(int l, int t, int r, int b) const {
    for (int y = t; y < b; y += 2) lines({{l, y}, {r, y}}, kGrey);
  }
};

void page(const Canvas& c, int l, int t, int r, int b) {
  c.box(l, t, r, b, kPaper);
  c.text_lines(l + 2, t + 3, r - 3, b - 2);
}

void draw_cut(const Canvas& c) {
  c.lines({{5, 10}, {10, 1}}, kInk, 2);
  c.lines({{11, 10}, {6, 1}}, kInk, 2);
  c.oval(1, 9, 7, 15, kKey, kBlue);
  c.oval(9, 9, 15, 15, kKey, kBlue);
}
void draw_copy(const Canvas& c) {
  page(c, 1, 1, 10, 11);
  page(c, 6, 5, 15, 15);
}
void draw_paste(const Canvas& c) {
  c.box(2, 2, 12, 15, kBrown);
  c.box(5, 1, 9, 4, kGrey);
  page(c, 7, 6, 15, 15);
}
void draw_undo(const Canvas& c) {
  c.lines({{13, 13}, {13, 8}, {11, 6}, {5, 6}}, kBlue, 2);
  c.shape({{1, 6}, {6, 2}, {6, 10}}, kBlue, kBlue);
}
void draw_redo(const Canvas& c) {
  c.lines({{3, 13}, {3, 8}, {5, 6}, {11, 6}}, kBlue, 2);
  c.shape({{15, 6}, {10, 2}, {10, 10}}, kBlue, kBlue);
}
void draw_delete(const Canvas& c) {
  c.lines({{3, 3}, {13, 13}}, kRed, 3);
  c.lines({{13, 3}, {3, 13}}, kRed, 3);
}
void draw_new(const Canvas& c) {
  c.shape({{3, 1}, {10, 1}, {13, 4}, {13, 15}, {3, 15}}, kPaper);
  c.lines({{10, 1}, {10, 4}, {13, 4}}, kInk);
}
void draw_open(const Canvas& c) {
  c.shape({{1, 3}, {5, 3}, {6, 5}, {13, 5}, {13, 14}, {1, 14}}, kYellow);
  c.shape({{4, 8}, {15, 8}, {13, 14}, {1, 14}}, kDarkYellow);
}
void draw_save(const Canvas& c) {
  c.box(1, 1, 15, 15, kNavy);
  c.box(4, 1, 12, 7, kPaper);
  c.box(5, 10, 11, 15, kGrey);
}
void draw_print_preview(const Canvas& c) {
  page(c, 1, 1, 11, 15);
  c.oval(6, 5, 13, 12, kPaper, kInk);
  c.lines({{12, 11}, {15, 14}}, kInk, 2);
}
void draw_properties(const Canvas& c) {
  c.box(1, 2, 15, 14, kPaper);
  c.box(1, 2, 15, 5, kNavy, kNavy);
  c.text_lines(3, 7, 12, 13);
}
void draw_help(const Canvas& c) {
  c.lines({{5, 5}, {6, 3}, {8, 2}, {10, 3}, {11, 5}, {10, 7}, {8, 8}, {8, 10}}, kBlue, 2);
  c.box(7, 12, 10, 15, kBlue, kBlue);
}
void draw_find(const Canvas& c) {
  c.box(3, 2, 7, 9, kInk);
  c.box(9, 2, 13, 9, kInk);
  c.box(6, 5, 10, 8, kInk);
  c.oval(1, 8, 8, 15, kInk);
  c.oval(8, 8, 15, 15, kInk);
}
void draw_replace(const Canvas& c) {
  page(c, 1, 1, 8, 9);
  page(c, 8, 7, 15, 15);
  c.lines({{3, 12}, {6, 12}}, kBlue, 2);
  c.shape({{6, 10}, {8, 12}, {6, 14}}, kBlue, kBlue);
}
void draw_print(const Canvas& c) {
  c.box(4, 1, 12, 7, kPaper);
  c.box(1, 6, 15, 13, kGrey);
  c.box(3, 11, 13, 15, kPaper);
  c.box(12, 8, 14, 10, kGreen, kGreen);
}

using ImageRoutine = void (*)(const Canvas&);
constexpr ImageRoutine kRoutines[STD_IMAGE_COUNT] = {
    draw_cut,  draw_copy, draw_paste,         draw_undo,       draw_redo, draw_delete, draw_new,     draw_open,
    draw_save, draw_print_preview, draw_properties, draw_help, draw_find, draw_replace, draw_print,
};

}  // namespace

Surface standard_image(int index, int size) {
  if (index < 0 || index >= STD_IMAGE_COUNT || size <= 0 || size > 256) return Surface();
  Dc dc = create_compatible_dc(nullptr);
  Bitmap bmp = create_bitmap(size, size, nullptr);
  GdiObj old = select_object(dc, bmp);
  Brush key = create_solid_brush(kKey);
  fill_rect(dc, Rect{0, 0, size, size}, key);
  delete_object(key);
  kRoutines[index](Canvas{dc, size});
  Surface out = *bitmap_surface(bmp);
  select_object(dc, old);
  delete_object(bmp);
  delete_dc(dc);
  for (uint32_t& px : out.pixels)
    if ((px & 0x00FFFFFFu) == (pixel_of(kKey) & 0x00FFFFFFu)) px = 0;
  return out;
}

}  // namespace plat::ui_detail
