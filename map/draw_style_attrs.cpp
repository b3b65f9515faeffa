// Attribute loading: the display values of one object read into its style.
//
// For each bound position of a class (non-zero), the value at that byte of the source
// record (positive) or of the father's record (negative, only when the style names a
// father class and a father is given) is copied into the matching `v` attribute, which
// therefore holds the value of the object last loaded. The coordinate value (always a
// positive position) goes into the working fields after the schema. Each loader
// returns 1 when the coordinates could be read, so that an extent routine draws nothing
// for an object without them.
//
// Every read is checked against the size of the record it comes from: a position read
// from a file may be any number, and one that does not fit leaves the fixed value.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/obj_layout.h"
#include "map/draw_styles.h"

namespace {

// The record and byte offset a position reads from; null when the position is unbound
// or does not fit `size` bytes inside that record.
const char* bound_source(const obj_t* style, const obj_t* object, const obj_t* father,
                         int32_t pos, int size, bool source_only) {
  if (pos == 0 || !object) return nullptr;
  const obj_t* rec = object;
  int64_t off = pos;
  if (pos < 0) {
    if (source_only || !father) return nullptr;
    if (field_load<int32_t>(style, offsetof(drawstyle_t, typeperesrc)) == 0) return nullptr;
    rec = father;
    off = -int64_t(pos);
  }
  const int64_t rec_size = obj_class_size(rec->cls);
  if (off < int64_t(sizeof(obj_t)) || off + size > rec_size) return nullptr;
  return reinterpret_cast<const char*>(rec) + off;
}

// Copies `size` bytes of a bound value into the style at `dst_off`; 1 when copied.
int bind(obj_t* style, const obj_t* object, const obj_t* father, size_t pos_off,
         size_t dst_off, int size, bool source_only = false) {
  const int32_t pos = field_load<int32_t>(style, int(pos_off));
  const char* src = bound_source(style, object, father, pos, size, source_only);
  if (!src) return 0;
  std::memcpy(reinterpret_cast<char*>(style) + dst_off, src, size_t(size));
  return 1;
}

// The coordinate value: always from the source, at a positive position.
int bind_coords(obj_t* style, const obj_t* object, size_t pos_off, size_t dst_off, int size) {
  return bind(style, object, nullptr, pos_off, dst_off, size, true);
}

#define BIND(T, P, V, N) bind(style, object, father, offsetof(T, P), offsetof(T, V), N)

}  // namespace

int attrs_dsegment(obj_t* style, obj_t* object, obj_t* father) {
  const int ok = bind_coords(style, object, offsetof(dsegment_t, prcoord),
                             offsetof(dsegment_t, seg), sizeof(style_twopoints_t));
  BIND(dsegment_t, pthickness, vthickness, 4);
  BIND(dsegment_t, pcolour, vcolour, 4);
  BIND(dsegment_t, pmotif, vmotif, 4);
  return ok;
}

int attrs_drectangle(obj_t* style, obj_t* object, obj_t* father) {
  const int ok = bind_coords(style, object, offsetof(drectangle_t, prcoord),
                             offsetof(drectangle_t, corner), sizeof(style_twopoints_t));
  BIND(drectangle_t, ppixy, vpixy, 4);
  BIND(drectangle_t, pthickness, vthickness, 4);
  BIND(drectangle_t, pcolour, vcolour, 4);
  BIND(drectangle_t, pedgemotif, vedgemotif, 4);
  BIND(drectangle_t, pfillmotif, vfillmotif, 4);
  return ok;
}

int attrs_dpolycurve(obj_t* style, obj_t* object, obj_t* /*father*/) {
  int ok = bind_coords(style, object, offsetof(dpolycurve_t, plcoord),
                       offsetof(dpolycurve_t, line), sizeof(coord_list));
  if (ok) {
    const coord_list line = field_load<coord_list>(style, offsetof(dpolycurve_t, line));
    if (line.count < 0 || (line.count > 0 && !line.pts)) ok = 0;
  }
  if (!ok) field_store(style, offsetof(dpolycurve_t, line), coord_list{});
  // The display values of a line come from the source only.
  obj_t* const father = nullptr;
  BIND(dpolycurve_t, pmode, vmode, 4);
  BIND(dpolycurve_t, pthickness, vthickness, 4);
  BIND(dpolycurve_t, pcolour, vcolour, 4);
  BIND(dpolycurve_t, pedgemotif, vedgemotif, 4);
  BIND(dpolycurve_t, pfillmotif, vfillmotif, 4);
  return ok;
}

// Axes and orientation are doubles in the source records: they are read as doubles.
int attrs_darcellip(obj_t* style, obj_t* object, obj_t* father) {
  const int ok = bind_coords(style, object, offsetof(darcellip_t, pcenter),
                             offsetof(darcellip_t, center), sizeof(style_point_t));
  BIND(darcellip_t, ppixy, vpixy, 4);
  BIND(darcellip_t, pgraxis, vgraxis, 8);
  BIND(darcellip_t, psmaxis, vsmaxis, 8);
  BIND(darcellip_t, porient, vorient, 8);
  bind(style, object, father, offsetof(darcellip_t, pangle), offsetof(darcellip_t, vangle), 16,
       true);
  BIND(darcellip_t, pthickness, vthickness, 4);
  BIND(darcellip_t, pcolour, vcolour, 4);
  BIND(darcellip_t, pedgemotif, vedgemotif, 4);
  BIND(darcellip_t, pfillmotif, vfillmotif, 4);
  return ok;
}

// The object's string goes to the working `text` pointer; the owned fixed `vstring`
// is never overwritten (the free routine frees it).
int attrs_dtext(obj_t* style, obj_t* object, obj_t* father) {
  const int ok = bind_coords(style, object, offsetof(dtext_t, pptcoord), offsetof(dtext_t, pt),
                             sizeof(style_point_t));
  BIND(dtext_t, ppixy, vpixy, 4);
  if (!BIND(dtext_t, pstring, text, 8))
    field_store(style, offsetof(dtext_t, text),
                static_cast<const char16_t*>(field_load<char16_t*>(style, offsetof(dtext_t, vstring))));
  BIND(dtext_t, psize, vsize, 4);
  BIND(dtext_t, pthickness, vthickness, 4);
  BIND(dtext_t, pcolour, vcolour, 4);
  BIND(dtext_t, pfont, vfont, 4);
  BIND(dtext_t, punderital, vunderital, 4);
  return ok;
}

int attrs_dpoint(obj_t* style, obj_t* object, obj_t* father) {
  const int ok = bind_coords(style, object, offsetof(dpoint_t, pptcoord), offsetof(dpoint_t, pt),
                             sizeof(style_point_t));
  BIND(dpoint_t, ppixy, vpixy, 4);
  BIND(dpoint_t, pthickness, vthickness, 4);
  BIND(dpoint_t, pcolour, vcolour, 4);
  BIND(dpoint_t, pmotif, vmotif, 4);
  BIND(dpoint_t, pshape, vshape, 4);
  return ok;
}

int attrs_dsegpoint(obj_t* style, obj_t* object, obj_t* father) {
  const int ok = bind_coords(style, object, offsetof(dsegpoint_t, pptcoord),
                             offsetof(dsegpoint_t, pt), sizeof(style_point_t));
  BIND(dsegpoint_t, pcolour, vcolour, 4);
  BIND(dsegpoint_t, plinkthick, vlinkthick, 4);
  BIND(dsegpoint_t, plinkmotif, vlinkmotif, 4);
  return ok;
}

int attrs_dimage(obj_t* style, obj_t* object, obj_t* father) {
  const int ok = bind_coords(style, object, offsetof(dimage_t, pptcoord), offsetof(dimage_t, pt),
                             sizeof(style_point_t));
  BIND(dimage_t, pimg, vimg, 8);
  BIND(dimage_t, pcolour, vcolour, 4);
  BIND(dimage_t, pscale, vscale, 8);
  BIND(dimage_t, psize, vsizew, 8);  // width and height, one 8-byte value
  BIND(dimage_t, ppixy, vpixy, 4);
  return ok;
}

#undef BIND

void drawobj_style_point(obj_t* style, int index) {
  if (!style || style->cls != CLS_DSEGPOINT) return;
  const container_t* src = field_load<container_t*>(style, offsetof(drawstyle_t, contsrc));
  const int n = obj_list_count(src);
  if (index < 0 || index >= n) return;
  const int next = index + 1 < n ? index + 1 : index;
  obj_t* elem = nullptr;
  obj_list_get(src, next, &elem);
  const int32_t pos = field_load<int32_t>(style, offsetof(dsegpoint_t, pptcoord));
  const char* at = bound_source(style, elem, nullptr, pos, 16, true);
  if (!at) return;
  std::memcpy(reinterpret_cast<char*>(style) + offsetof(dsegpoint_t, next_x), at, 16);
}
