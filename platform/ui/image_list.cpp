// Image lists, and the drawing of pictures with transparent pixels and of the check
// boxes that stand for state images. Lists are kept in a table under a mutex (see
// image_list.h); drawing copies the image out of the table first, so that no lock is
// held while the drawing layer works.
#include "platform/ui/image_list.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/ui/ctl_toolbar_bmp.h"
#include "platform/ui/styles.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/window.h"

struct plat::ImageListTag {
  int cx = 0, cy = 0;
  std::vector<plat::Surface> images;
};

namespace plat {

namespace {

constexpr int kMaxImageSide = 256;
constexpr size_t kMaxImages = 4096;

std::mutex& lists_lock() {
  static std::mutex m;
  return m;
}

std::set<ImageList>& lists() {
  static std::set<ImageList> s;
  return s;
}

bool live(ImageList list) { return list && lists().count(list) != 0; }

// Cuts `pixels` (w x h, rows top-down) into images of the list's size.
int add_pictures(ImageList list, const std::vector<uint32_t>& pixels, int w, int h, Color mask) {
  const int n = std::max(1, w / list->cx);
  if (list->images.size() + size_t(n) > kMaxImages) return -1;
  const uint32_t key = mask == CLR_DEFAULT ? (pixels.empty() ? 0 : pixels[0] & 0x00FFFFFFu)
                                           : (pixel_of(mask) & 0x00FFFFFFu);
  const int first = int(list->images.size());
  for (int i = 0; i < n; ++i) {
    Surface s(list->cx, list->cy, 0);
    for (int y = 0; y < std::min(h, list->cy); ++y)
      for (int x = 0; x < list->cx && i * list->cx + x < w; ++x) {
        const uint32_t px = pixels[size_t(y) * size_t(w) + size_t(i * list->cx + x)];
        const bool clear = (px >> 24) == 0 || (mask != CLR_NONE && (px & 0x00FFFFFFu) == key);
        s.row(y)[x] = clear ? 0 : (px | 0xFF000000u);
      }
    list->images.push_back(std::move(s));
  }
  return first;
}

// Draws `pic` with its top-left corner at (x, y): pixels whose alpha byte is 0 are left
// out; with `grey` the others take the shadow colour (a disabled picture).
void draw_picture(Dc dc, int x, int y, const Surface& pic, bool grey) {
  if (pic.width <= 0 || pic.height <= 0) return;
  // The picture is laid over a copy of what is under it, then copied back, so that the
  // destination's clipping applies to the result.
  Dc mem = create_compatible_dc(dc);
  Bitmap bmp = create_bitmap(pic.width, pic.height, nullptr);
  GdiObj old = select_object(mem, bmp);
  bit_blt(mem, 0, 0, pic.width, pic.height, dc, x, y, SRCCOPY);
  Surface* s = bitmap_surface(bmp);
  const uint32_t shadow = pixel_of(get_sys_color(COLOR_BTNSHADOW));
  for (int py = 0; s && py < pic.height; ++py)
    for (int px = 0; px < pic.width; ++px) {
      const uint32_t v = pic.at(px, py);
      if (v >> 24) s->row(py)[px] = grey ? shadow : (v | 0xFF000000u);
    }
  bit_blt(dc, x, y, pic.width, pic.height, mem, 0, 0, SRCCOPY);
  select_object(mem, old);
  delete_object(bmp);
  delete_dc(mem);
}

}  // namespace

ImageList image_list_create(int cx, int cy) {
  if (cx < 1 || cy < 1 || cx > kMaxImageSide || cy > kMaxImageSide) return nullptr;
  auto* list = new ImageListTag;
  list->cx = cx;
  list->cy = cy;
  std::lock_guard<std::mutex> g(lists_lock());
  lists().insert(list);
  return list;
}

bool image_list_destroy(ImageList list) {
  std::lock_guard<std::mutex> g(lists_lock());
  if (!live(list)) return false;
  lists().erase(list);
  delete list;
  return true;
}

int image_list_count(ImageList list) {
  std::lock_guard<std::mutex> g(lists_lock());
  return live(list) ? int(list->images.size()) : -1;
}

Size image_list_image_size(ImageList list) {
  std::lock_guard<std::mutex> g(lists_lock());
  return live(list) ? Size{list->cx, list->cy} : Size{};
}

int image_list_add_masked(ImageList list, Bitmap bmp, Color mask) {
  Surface* src = bitmap_surface(bmp);
  if (!src || src->width <= 0 || src->height <= 0) return -1;
  const std::vector<uint32_t> pixels = src->pixels;  // a copy: the bitmap is not ours
  const int w = src->width, h = src->height;
  std::lock_guard<std::mutex> g(lists_lock());
  return live(list) ? add_pictures(list, pixels, w, h, mask) : -1;
}

bool image_list_draw(ImageList list, int index, Dc dc, int x, int y, bool grey) {
  Surface pic;
  {
    std::lock_guard<std::mutex> g(lists_lock());
    if (!live(list) || index < 0 || size_t(index) >= list->images.size()) return false;
    pic = list->images[size_t(index)];
  }
  draw_picture(dc, x, y, pic, grey);
  return true;
}

ImageList image_list_load_file(const char* path, int cx, Color mask) {
  ui_detail::BmpPicture pic;
  if (ui_detail::read_bmp_file(path, &pic) != ui_detail::BmpStatus::ok) return nullptr;
  ImageList list = image_list_create(cx, pic.height);
  if (!list) return nullptr;
  std::lock_guard<std::mutex> g(lists_lock());
  if (add_pictures(list, pic.pixels, pic.width, pic.height, mask) < 0) {
    lists().erase(list);
    delete list;
    return nullptr;
  }
  return list;
}

}  // namespace plat

namespace plat::ui_detail {

int image_list_add_picture(ImageList list, const Surface& pic) {
  std::lock_guard<std::mutex> g(lists_lock());
  if (!live(list) || list->images.size() >= kMaxImages) return -1;
  Surface cell(list->cx, list->cy, 0);
  for (int y = 0; y < std::min(pic.height, list->cy); ++y)
    for (int x = 0; x < std::min(pic.width, list->cx); ++x) cell.row(y)[x] = pic.at(x, y);
  list->images.push_back(std::move(cell));
  return int(list->images.size()) - 1;
}

void draw_state_box(Dc dc, const Rect& r, unsigned image) {
  if (image == 0 || r.empty()) return;
  fill_solid(dc, r, get_sys_color(COLOR_BTNSHADOW));
  const Rect inside{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  fill_solid(dc, inside, get_sys_color(image >= 3 ? COLOR_BTNFACE : COLOR_WINDOW));
  if (image != 2) return;
  // A tick two pixels thick: down from the left to a third of the width, then up.
  Pen pen = create_pen(PS_SOLID, 1, get_sys_color(COLOR_WINDOWTEXT));
  GdiObj old = select_object(dc, pen);
  const int w = r.width(), h = r.height();
  for (int t = 0; t < 2; ++t) {
    const int x0 = r.left + w / 4, y0 = r.top + h / 2 + t - 1;
    const int x1 = r.left + w * 5 / 12, y1 = r.top + h * 3 / 4 + t - 1;
    const int x2 = r.left + w * 3 / 4 + 1, y2 = r.top + h / 4 + t - 1;
    move_to(dc, x0, y0);
    line_to(dc, x1, y1);
    line_to(dc, x2, y2);
  }
  select_object(dc, old);
  delete_object(pen);
}

}  // namespace plat::ui_detail
