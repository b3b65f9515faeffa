// Painting of the tree view: per row in view, the dotted lines to the parent and
// siblings (TVS_HASLINES), the +/- button, the state image (from the state image list,
// else a check box), the icon, and the label with the selection (grey while the control
// has no focus and TVS_SHOWSELALWAYS is set, hidden otherwise).
#include <algorithm>

#include "platform/ui/image_list.h"
#include "platform/ui/ctl_treeview_state.h"
#include "platform/ui/paint.h"
#include "platform/ui/ui_draw.h"

namespace plat::ui_detail {

namespace {

void dotted_h(Dc dc, int x0, int x1, int y, Color c) {
  for (int x = x0 + ((x0 + y) & 1); x < x1; x += 2) set_pixel(dc, x, y, c);
}

void dotted_v(Dc dc, int x, int y0, int y1, Color c) {
  for (int y = y0 + ((x + y0) & 1); y < y1; y += 2) set_pixel(dc, x, y, c);
}

int connector_x(const TreeViewData& d, int depth, int at_root) { return (depth + at_root) * d.indent - d.indent / 2; }

void draw_lines(Wnd wnd, Dc dc, const TreeViewData& d, const TvNode& node, const TvRowGeometry& g) {
  const uint32_t style = treeview_style(wnd);
  const int at_root = (style & TVS_LINESATROOT) ? 1 : 0;
  if (node.depth + at_root == 0) return;
  const Color c = get_sys_color(COLOR_BTNSHADOW);
  const int cx = connector_x(d, node.depth, at_root), cy = (g.row.top + g.row.bottom) / 2;
  dotted_h(dc, cx, g.level_x - 1, cy, c);
  const bool above = node.prev || node.depth > 0;
  dotted_v(dc, cx, above ? g.row.top : cy, node.next ? g.row.bottom : cy + 1, c);
  for (const TvNode* a = node.parent; a && a->handle; a = a->parent)
    if (a->next && a->depth + at_root > 0) dotted_v(dc, connector_x(d, a->depth, at_root), g.row.top, g.row.bottom, c);
}

void draw_button(Dc dc, const Rect& b, bool open) {
  fill_solid(dc, b, get_sys_color(COLOR_BTNSHADOW));
  fill_solid(dc, Rect{b.left + 1, b.top + 1, b.right - 1, b.bottom - 1}, get_sys_color(COLOR_WINDOW));
  const Color ink = get_sys_color(COLOR_WINDOWTEXT);
  const int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
  fill_solid(dc, Rect{b.left + 2, cy, b.right - 2, cy + 1}, ink);
  if (!open) fill_solid(dc, Rect{cx, b.top + 2, cx + 1, b.bottom - 2}, ink);
}

void draw_state_image(Dc dc, const TreeViewData& d, const TvNode& node, const Rect& slot) {
  const unsigned image = tree_state_image_of(node.state);
  if (image == 0 || slot.empty()) return;
  if (d.state_images) {
    const Size s = image_list_image_size(d.state_images);
    image_list_draw(d.state_images, int(image) - 1, dc, slot.left, slot.top + (slot.height() - s.cy) / 2);
    return;
  }
  const int top = slot.top + (slot.height() - kTvBox) / 2, left = slot.left + (slot.width() - kTvBox) / 2;
  draw_state_box(dc, Rect{left, top, left + kTvBox, top + kTvBox}, image);
}

void draw_row(Wnd wnd, Dc dc, const TreeViewData& d, const TvNode& node, int row) {
  const uint32_t style = treeview_style(wnd);
  const TvRowGeometry g = treeview_geometry(wnd, d, node, row);
  if (style & TVS_HASLINES) draw_lines(wnd, dc, d, node, g);
  if (!g.button.empty()) draw_button(dc, g.button, (node.state & TVIS_EXPANDED) && node.first);
  draw_state_image(dc, d, node, g.state_image);
  const bool caret = d.caret == &node;
  if (d.normal_images && !g.icon.empty()) {
    const Size s = image_list_image_size(d.normal_images);
    image_list_draw(d.normal_images, caret ? node.selected_image : node.image, dc, g.icon.left,
                    g.icon.top + (g.icon.height() - s.cy) / 2);
  }
  const RowMark mark = rows_mark(caret, d.focused, style & TVS_SHOWSELALWAYS);
  Rect sel = g.label;
  if (style & TVS_FULLROWSELECT) sel.right = std::max(sel.right, g.row.right);
  rows_fill_mark(dc, sel, mark);
  // A disabled tree greys every label, the selected one too.
  const bool enabled = is_window_enabled(wnd);
  set_text_color(dc, enabled ? rows_text_on(mark, get_sys_color(COLOR_WINDOWTEXT)) : get_sys_color(COLOR_GRAYTEXT));
  Rect tr{g.label.left + 2, g.label.top, g.label.right, g.label.bottom};
  draw_text(dc, node.text.c_str(), int(node.text.size()), &tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if (caret && d.focused) draw_focus_rect(dc, sel);
}

}  // namespace

void treeview_paint(Wnd wnd, TreeViewData& d) {
  RowsPaint p;
  if (!rows_paint_begin(wnd, d.bar, d.font, p)) return;
  const std::vector<TvNode*> rows = tv_rows(d);
  rows_paint_each(p, treeview_layout(d), int(rows.size()), p.rc.right,
                  [&](int i, const Rect&) { draw_row(wnd, p.dc, d, *rows[size_t(i)], i); });
  rows_paint_end(wnd, p);
}

}  // namespace plat::ui_detail
