// Drawing styles: registration of the eight classes, the routine tables indexed by class
// id, and the draw dispatch of one object of the current layer.
//
// The draw slots hold the drawing routines of draw_gdi.h (drawobj_set_draw_routine may
// replace one); the attribute-load and extent tables are fixed.
#include <atomic>

#include "core/memory.h"
#include "core/obj_layout.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/graphspace.h"

namespace {

// One slot per class id 0..10; slots 2..9 hold the drawing classes.
std::atomic<draw_fn> g_draw[kDrawTableSlots];

const draw_fn kDraws[kDrawTableSlots] = {
    nullptr,        nullptr,         draw_dimage,     draw_dsegment,
    draw_dpoint,    draw_dtext,      draw_dsegpoint,  draw_dpolycurve,
    draw_drectangle, draw_darcellip, nullptr};

const attrs_fn kAttrs[kDrawTableSlots] = {
    nullptr,         nullptr,          attrs_dimage,      attrs_dsegment,
    attrs_dpoint,    attrs_dtext,      attrs_dsegpoint,   attrs_dpolycurve,
    attrs_drectangle, attrs_darcellip, nullptr};

const extent_fn kExtents[kDrawTableSlots] = {
    nullptr,          nullptr,           extent_dimage,      extent_dsegment,
    extent_dpoint,    extent_dtext,      extent_dsegpoint,   extent_dpolycurve,
    extent_drectangle, extent_darcellip, nullptr};

struct class_size {
  int cls;
  int size;
};
const class_size kSizes[] = {
    {CLS_DIMAGE, sizeof(dimage_t)},         {CLS_DSEGMENT, sizeof(dsegment_t)},
    {CLS_DPOINT, sizeof(dpoint_t)},         {CLS_DTEXT, sizeof(dtext_t)},
    {CLS_DSEGPOINT, sizeof(dsegpoint_t)},   {CLS_DPOLYCURVE, sizeof(dpolycurve_t)},
    {CLS_DRECTANGLE, sizeof(drectangle_t)}, {CLS_DARCELLIP, sizeof(darcellip_t)}};

bool in_table(int cls) { return cls >= 0 && cls < kDrawTableSlots; }

obj_t* father_for(const obj_t* style, obj_t* object) {
  if (field_load<int32_t>(style, offsetof(drawstyle_t, typeperesrc)) == 0) return nullptr;
  obj_t* father = nullptr;
  obj_get_father(object, &father);
  return father;
}

void draw_with(obj_t* style, obj_t* object) {
  const draw_fn fn = drawobj_draw_routine(style->cls);
  if (fn) fn(style, object, father_for(style, object));
}

// A dsegpoint style drawn as a whole: its segments from the last to the first. With the
// slot's own routine in place the whole style goes at once (draw_dsegpoint_links, the
// same pixels); a routine put in the slot is called point by point.
void draw_segpoint_style(obj_t* style) {
  if (drawobj_draw_routine(CLS_DSEGPOINT) == draw_dsegpoint) {
    draw_dsegpoint_links(style);
    return;
  }
  const container_t* src = field_load<container_t*>(style, offsetof(drawstyle_t, contsrc));
  const int n = obj_list_count(src);
  for (int i = n - 2; i >= 0; --i) {
    obj_t* elem = nullptr;
    obj_list_get(src, i, &elem);
    if (!elem) continue;
    drawobj_style_point(style, i);
    draw_with(style, elem);
  }
}

}  // namespace

void dtext_free(obj_t* obj) {
  if (!obj || obj->cls != CLS_DTEXT) return;
  char16_t* s = field_load<char16_t*>(obj, offsetof(dtext_t, vstring));
  free_mem(&s);
  field_store<char16_t*>(obj, offsetof(dtext_t, vstring), nullptr);
  field_store<const char16_t*>(obj, offsetof(dtext_t, text), nullptr);
}

void drawobj_types_register() {
  for (const class_size& c : kSizes) obj_register_class(c.cls, c.size, drawobj_descriptor(c.cls));
  obj_set_free_callback(CLS_DTEXT, dtext_free);
}

int is_drawable_type(int cls) { return cls >= CLS_DIMAGE && cls <= CLS_DARCELLIP; }
int is_drawable_or_bitmap_type(int cls) { return cls == CLS_BITMAP || is_drawable_type(cls); }

void drawobj_init_table() {
  for (int i = 0; i < kDrawTableSlots; ++i) g_draw[i].store(kDraws[i]);
}

draw_fn drawobj_draw_routine(int cls) { return in_table(cls) ? g_draw[cls].load() : nullptr; }
attrs_fn drawobj_attrs_routine(int cls) { return in_table(cls) ? kAttrs[cls] : nullptr; }
extent_fn drawobj_extent_routine(int cls) { return in_table(cls) ? kExtents[cls] : nullptr; }

draw_fn drawobj_set_draw_routine(int cls, draw_fn fn) {
  if (!in_table(cls)) return nullptr;
  return g_draw[cls].exchange(fn);
}

// The styles of a layer, their source lists and their working fields are shared with
// the load task, which computes the layer's graphic index through the same styles under
// the graph-space lock: drawing takes it too.
int drawobj_draw(obj_t* object) {
  if (!object) return 0;
  graphspace_lock lock(graphspace_mutex());
  if (object->cls == CLS_DSEGPOINT) {
    draw_segpoint_style(object);
    return 0;
  }
  const layer_t* layer = get_current_layer();
  if (!layer) return 0;
  const container_t* styles = layer->styles;
  const int n = obj_list_count(styles);
  for (int i = 0; i < n; ++i) {
    obj_t* style = nullptr;
    obj_list_get(styles, i, &style);
    if (!style || !is_drawable_type(style->cls)) continue;
    if (field_load<int32_t>(style, offsetof(drawstyle_t, typesrc)) == object->cls)
      draw_with(style, object);
  }
  return 0;
}
