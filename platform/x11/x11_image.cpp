// Surface pixels to the display. The usual visual (24 or 32 bits deep, 32 bits a pixel,
// red in bits 16-23) takes the surface's words as they are; any other true-colour
// visual gets each pixel converted through its channel masks. The pixels are copied out
// under the surface's lock and sent after it is released, so a worker drawing into the
// window waits only for the copy.
#include <bit>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/ui/paint.h"
#include "platform/x11/x11_internal.h"

namespace plat::x11_detail {

namespace {

// Places an 8-bit channel value in a channel mask of any width.
struct Channel {
  int shift = 0;
  unsigned long max = 0;
  explicit Channel(unsigned long mask) {
    if (!mask) return;
    shift = std::countr_zero(mask);
    max = mask >> shift;
  }
  unsigned long place(uint32_t v8) const { return ((v8 * max + 127) / 255) << shift; }
};

int bits_per_pixel_of_depth(Display* dpy, int depth) {
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(dpy, &count);
  int bpp = 0;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == depth) bpp = formats[i].bits_per_pixel;
  if (formats) XFree(formats);
  return bpp;
}

// An image over the copied words, in the host's byte order (Xlib swaps for the server).
XImage* direct_image(Display* dpy, const PixelFormat& f, std::vector<uint32_t>& words, int w, int h) {
  XImage* img = XCreateImage(dpy, f.visual, unsigned(f.depth), ZPixmap, 0,
                             reinterpret_cast<char*>(words.data()), unsigned(w), unsigned(h), 32, w * 4);
  if (!img) return nullptr;
  img->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
  if (!XInitImage(img)) {
    img->data = nullptr;
    XDestroyImage(img);
    return nullptr;
  }
  return img;
}

// An image of its own, each pixel converted through the visual's masks.
XImage* converted_image(Display* dpy, const PixelFormat& f, const std::vector<uint32_t>& words, int w, int h) {
  XImage* img = XCreateImage(dpy, f.visual, unsigned(f.depth), ZPixmap, 0, nullptr, unsigned(w), unsigned(h), 32, 0);
  if (!img) return nullptr;
  img->data = static_cast<char*>(std::calloc(size_t(img->bytes_per_line), size_t(h)));
  if (!img->data) {
    XDestroyImage(img);
    return nullptr;
  }
  const Channel red(f.red_mask), green(f.green_mask), blue(f.blue_mask);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p = words[size_t(y) * size_t(w) + size_t(x)];
      XPutPixel(img, x, y, red.place((p >> 16) & 255) | green.place((p >> 8) & 255) | blue.place(p & 255));
    }
  return img;
}

}  // namespace

bool choose_pixel_format(Display* dpy, int screen, PixelFormat* out) {
  Visual* visual = DefaultVisual(dpy, screen);
  int depth = DefaultDepth(dpy, screen);
  if (visual->c_class != TrueColor) {
    XVisualInfo info;
    if (!XMatchVisualInfo(dpy, screen, 24, TrueColor, &info)) return false;
    visual = info.visual;
    depth = info.depth;
  }
  out->visual = visual;
  out->depth = depth;
  out->red_mask = visual->red_mask;
  out->green_mask = visual->green_mask;
  out->blue_mask = visual->blue_mask;
  out->direct = bits_per_pixel_of_depth(dpy, depth) == 32 && out->red_mask == 0xFF0000 &&
                out->green_mask == 0xFF00 && out->blue_mask == 0xFF;
  return true;
}

void put_surface_area(Display* dpy, ::Window xid, GC gc, const PixelFormat& format, Wnd top, const Rect& area,
                      const Rect& shown) {
  std::vector<uint32_t> words;
  Rect r;
  with_window_surface(top, [&](const Surface& s) {
    r = intersect_rect(intersect_rect(area, shown), s.rect());
    if (r.empty()) return;
    const size_t w = size_t(r.width());
    words.resize(w * size_t(r.height()));
    for (int y = r.top; y < r.bottom; ++y)
      std::memcpy(words.data() + size_t(y - r.top) * w, s.row(y) + r.left, w * sizeof(uint32_t));
  });
  if (r.empty() || words.empty()) return;
  const int w = r.width(), h = r.height();
  XImage* img = format.direct ? direct_image(dpy, format, words, w, h) : converted_image(dpy, format, words, w, h);
  if (!img) return;
  XPutImage(dpy, xid, gc, img, 0, 0, r.left - shown.left, r.top - shown.top, unsigned(w), unsigned(h));
  if (format.direct) img->data = nullptr;  // the words belong to the vector
  XDestroyImage(img);
}

}  // namespace plat::x11_detail
