// Freeing the image-to-world step kept on an image's georeference, for tests and fuzz
// harnesses that make georeferences by hand or through a reader. The georeference's own
// free routine knows only unit steps: a pixel step (offset and scale) carries its origins,
// which go with it. Header only, so fuzz harnesses may include it without the test library.
#pragma once
#include "core/object.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"

namespace tm_test {

// Frees the step of `image`'s georeference (and its origins) and clears it; nothing when
// the image, its georeference or its step is missing.
inline void free_georef_step(bitmap_t* image) {
  georef_t* g = image ? image->georef : nullptr;
  if (!g || !g->transfo) return;
  obj_t* step = g->transfo;
  g->transfo = nullptr;
  if (step->cls == CLS_XFORM_OFFSET_SCALE) {
    auto* s = static_cast<xform_offset_scale_t*>(step);
    xform_control_point_t* origin = s->origins;
    s->origins = nullptr;
    free_obj(&origin);
  }
  free_obj(&step);
}

}  // namespace tm_test
