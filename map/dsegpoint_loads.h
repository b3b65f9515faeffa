// The loads of a segment-point style's display values from its points (attrs_dsegpoint),
// for the routines that walk a whole track at once instead of point by point: the
// drawing of its links (draw_links.cpp) and its graphic index entry
// (graphic_index_compute.cpp). Both must leave in the style exactly what the per-point
// path leaves, so they share these loads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/obj_layout.h"
#include "map/draw_styles.h"

namespace dsegpoint_detail {

// The size of a record's class, remembered for the last class asked.
struct class_sizes {
  int cls = -1;
  int64_t size = 0;
  int64_t of(const obj_t* rec) {
    if (rec->cls != cls) {
      cls = rec->cls;
      size = obj_class_size(cls);
    }
    return size;
  }
};

// Where a bound position reads `size` bytes, as the attribute loads decide it (the
// father only for a negative position of a style naming a father class); null when
// unbound or outside the record.
inline const char* bound_at(bool father_class, const obj_t* object, const obj_t* father, int32_t pos,
                            int size, bool source_only, class_sizes& sizes) {
  if (pos == 0 || !object) return nullptr;
  const obj_t* rec = object;
  int64_t off = pos;
  if (pos < 0) {
    if (source_only || !father || !father_class) return nullptr;
    rec = father;
    off = -int64_t(pos);
  }
  if (off < int64_t(sizeof(obj_t)) || off + size > sizes.of(rec)) return nullptr;
  return reinterpret_cast<const char*>(rec) + off;
}

// A style's bound positions, read once for a walk of its points.
class loads {
 public:
  explicit loads(obj_t* style)
      : base_(reinterpret_cast<char*>(style)),
        pptcoord_(field_load<int32_t>(style, offsetof(dsegpoint_t, pptcoord))),
        pcolour_(field_load<int32_t>(style, offsetof(dsegpoint_t, pcolour))),
        plinkthick_(field_load<int32_t>(style, offsetof(dsegpoint_t, plinkthick))),
        plinkmotif_(field_load<int32_t>(style, offsetof(dsegpoint_t, plinkmotif))),
        father_class_(field_load<int32_t>(style, offsetof(drawstyle_t, typeperesrc)) != 0),
        needs_father_(father_class_ && (pcolour_ < 0 || plinkthick_ < 0 || plinkmotif_ < 0)) {}

  int32_t pptcoord() const { return pptcoord_; }

  // The point's coordinates when the record holds `size` bytes of them (24: x, y and
  // the elevation, as a link's point; 16: x and y, as a next point); null otherwise.
  const char* coords(const obj_t* point, int size) {
    return bound_at(father_class_, point, nullptr, pptcoord_, size, true, point_sizes_);
  }

  // The next point into the style (drawobj_style_point), from a record readable as one.
  void load_next(const obj_t* next) {
    std::memcpy(base_ + offsetof(dsegpoint_t, next_x), reinterpret_cast<const char*>(next) + pptcoord_, 16);
  }

  // attrs_dsegpoint: the point's position (when it is readable as a link's point), then
  // its colour, link thickness and link motif, each where it is bound and readable.
  void load_point(obj_t* point, bool as_point) {
    obj_t* father = nullptr;
    if (needs_father_) obj_get_father(point, &father);
    if (as_point)
      std::memcpy(base_ + offsetof(dsegpoint_t, pt), reinterpret_cast<const char*>(point) + pptcoord_,
                  sizeof(style_point_t));
    load_value(point, father, pcolour_, offsetof(dsegpoint_t, vcolour));
    load_value(point, father, plinkthick_, offsetof(dsegpoint_t, vlinkthick));
    load_value(point, father, plinkmotif_, offsetof(dsegpoint_t, vlinkmotif));
  }

 private:
  void load_value(const obj_t* point, const obj_t* father, int32_t pos, size_t field) {
    if (const char* at = bound_at(father_class_, point, father, pos, 4, false,
                                  pos < 0 ? father_sizes_ : point_sizes_))
      std::memcpy(base_ + field, at, 4);
  }

  char* base_;
  int32_t pptcoord_, pcolour_, plinkthick_, plinkmotif_;
  bool father_class_, needs_father_;
  class_sizes point_sizes_, father_sizes_;
};

}  // namespace dsegpoint_detail
