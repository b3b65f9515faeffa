// The painting steps the controls share: the parent's colour answer, text heights and
// pictures.
#include "platform/ui/ctl_paint.h"

#include "platform/ui/queue.h"
#include "platform/ui/ui_draw.h"
#include "platform/ui/window.h"

namespace plat::ui_detail {

Brush ctl_color_brush(Wnd wnd, Dc dc, uint32_t msg) {
  auto brush = reinterpret_cast<Brush>(send_message(get_parent(wnd), msg, WParam(reinterpret_cast<uintptr_t>(dc)),
                                                    LParam(reinterpret_cast<intptr_t>(wnd))));
  return get_object_kind(brush) == OBJ_BRUSH ? brush : nullptr;
}

int font_text_height(Font font) {
  Dc dc = create_compatible_dc(nullptr);
  select_object(dc, font ? font : ui_font());
  TextMetrics tm;
  const int h = get_text_metrics(dc, &tm) && tm.height > 0 ? tm.height : 13;
  delete_dc(dc);
  return h;
}

void draw_bitmap_at(Dc dc, Bitmap bmp, int x, int y) {
  Surface* s = bitmap_surface(bmp);
  if (!s || s->width <= 0 || s->height <= 0) return;
  BitmapInfo bi;
  bi.width = s->width;
  bi.height = -s->height;  // the surface's rows run top down
  bi.bit_count = 32;
  set_dibits_to_device(dc, x, y, s->width, s->height, 0, 0, 0, s->height, s->pixels.data(), &bi);
}

}  // namespace plat::ui_detail
