// The default drawing styles a freshly loaded file gets, so that it can be shown at once.
//
// A style names its source class and list and, for each display attribute, either the
// byte position of the attribute in the source record (negative: in the father's record)
// or a fixed value (draw_styles.h). The routines here walk the folders of a file and add
// the styles of one kind of data to each folder that holds such data and has no active
// style of that kind yet. Two kinds of styles live in a sub-folder of their own, drawn
// as a layer above the others: point icons with their labels, and lap markers. Those
// sub-folders draw the objects of their parent folder (the styles' source list), so a
// folder counts as styled when one of its sub-folders draws its list.
//
// The shape styles at the end serve the shape-file readers: each parameter is either
// fixed or, given as NULL_INT, read from the drawn object.
#include <cstring>
#include <vector>

#include "core/error.h"
#include "core/wstring.h"
#include "geodesy/xform_records.h"
#include "map/display_settings.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/gps_styles_internal.h"
#include "map/graphspace.h"

namespace {

// The three point classes share the head of the record up to the label; routes and loi
// sets share theirs up to the colour.
static_assert(offsetof(waypoint_t, label) == offsetof(poi_t, label) &&
              offsetof(waypoint_t, label) == offsetof(coursepoint_t, label));
static_assert(offsetof(waypoint_t, colour) == offsetof(poi_t, colour) &&
              offsetof(waypoint_t, colour) == offsetof(coursepoint_t, colour));
static_assert(offsetof(waypoint_t, icon) == offsetof(poi_t, icon));
static_assert(offsetof(waypoint_t, icosize) == offsetof(poi_t, icosize) &&
              offsetof(waypoint_t, icoscale) == offsetof(poi_t, icoscale));
static_assert(offsetof(route_t, name) == offsetof(lois_t, name) &&
              offsetof(route_t, txtcoord) == offsetof(lois_t, txtcoord) &&
              offsetof(route_t, colour) == offsetof(lois_t, colour));

constexpr int kPointStyleColour = int(offsetof(waypoint_t, colour));
constexpr uint32_t kLapColour = gps_rgb(255, 128, 0);

int pos(size_t offset) { return int(offset); }

// The label size of a class: the size of its kind in the display settings, else the
// fixed size of its shape (course points and other point classes).
int label_size_of(int cls) {
  display_kind kind;
  if (display_kind_of_class(cls, &kind)) return display_size(kind);
  return cls == CLS_COURSEPOINT ? kPointLabelSize : kLineLabelSize;
}

// Packs a pixel offset.
pixel_offset_t pixels(int x, int y) { return pixel_offset_t{int16_t(x), int16_t(y)}; }

// A new style of class T in `list`, drawing the objects of class `typesrc` of `source`
// at the ground scale `scale`; null when it could not be made.
template <class T>
T* new_style(container_t* list, int style_cls, int typesrc, container_t* source, double scale) {
  if (!list || get_gblerr()) return nullptr;
  obj_t* o = nullptr;
  obj_new_in_list(list, style_cls, &o);
  if (!o || get_gblerr()) return nullptr;
  T* s = static_cast<T*>(o);
  s->typesrc = typesrc;
  s->contsrc = source;
  s->meterpixsize = scale;
  return s;
}

// ---- Folders --------------------------------------------------------------------------

// Every folder of a file, taken once before any sub-folder is added.
std::vector<folder_t*> folders_of(obj_t* file) {
  std::vector<folder_t*> out;
  fileatt_t* f = file_of(file);
  if (!f) return out;
  folder_t* it = nullptr;
  for (folder_t* d = file_next_folder(f, &it); d; d = file_next_folder(f, &it)) out.push_back(d);
  return out;
}

// An active style of the class for the source class in one of the folder's sub-folders,
// drawing the folder's list.
bool sub_folder_has_style(const folder_t* folder, int style_cls, int typesrc) {
  const int n = obj_list_count(folder->sons);
  for (int i = 0; i < n; ++i) {
    const folder_t* sub = folder_of(folder->sons->elems[i]);
    const int m = sub ? obj_list_count(sub->sot) : 0;
    for (int k = 0; k < m; ++k) {
      const obj_t* o = sub->sot->elems[k];
      if (!o || o->cls != style_cls || !style_is_active(o)) continue;
      const auto* s = static_cast<const drawstyle_t*>(o);
      if (s->typesrc == typesrc && s->contsrc == folder->sot) return true;
    }
  }
  return false;
}

// An active style of the class for the source class, in the folder's list or in one of
// its sub-folders drawing the folder's list.
bool folder_has_style(const folder_t* folder, int style_cls, int typesrc) {
  return style_exists(folder->sot, style_cls, typesrc) ||
         sub_folder_has_style(folder, style_cls, typesrc);
}

// A sub-folder of `folder` holding the folder's first georef, displayed when the folder
// is; its list is returned.
container_t* new_style_folder(folder_t* folder, int priority, int user_display) {
  container_t* list = nullptr;
  obj_list_new(&list);
  if (!list || get_gblerr()) return nullptr;
  obj_t* georef = nullptr;
  if (obj_list_first_of_class(folder->sot, CLS_GEOREF, &georef)) obj_list_append(list, georef);
  folder_t* sub = nullptr;
  folder_get_or_create(folder, list, priority, &sub);
  if (!sub || get_gblerr()) {
    const int pending = get_gblerr();
    set_gblerr(0);
    free_obj(&list);
    set_gblerr(pending);
    return nullptr;
  }
  sub->userdisplay = user_display;
  // It draws the folder's own objects: shown exactly when the folder is (a folder hidden
  // at load, such as a KML folder of visibility 0, hides them too, and its switch in the
  // layers window shows or hides both together).
  sub->displayed = folder->displayed;
  return list;
}

// ---- Styles shared by several routines ---------------------------------------------------

// The label beside a point (classes 100, 106, 116): its (label) text in its colour.
dtext_t* point_label_style(container_t* list, container_t* source, int cls, int size,
                           double scale) {
  dtext_t* s = new_style<dtext_t>(list, CLS_DTEXT, cls, source, scale);
  if (!s) return nullptr;
  s->pptcoord = kPointCoordsOffset;
  s->pstring = pos(offsetof(waypoint_t, label));
  s->pcolour = kPointStyleColour;
  s->vsize = size < 1 ? label_size_of(cls) : size;
  s->vthickness = 3;
  s->vfont = 0;
  s->vunderital = 0;
  s->vpixy = pixels(10, 0);
  return s;
}

// The label of a line (tracklog, route, loi set or loi line): its name at `txtcoord`.
dtext_t* line_label_style(container_t* list, int cls, size_t name_at, size_t txtcoord_at,
                          size_t colour_at, double scale) {
  dtext_t* s = new_style<dtext_t>(list, CLS_DTEXT, cls, list, scale);
  if (!s) return nullptr;
  s->pptcoord = pos(txtcoord_at);
  s->pstring = pos(name_at);
  s->pcolour = pos(colour_at);
  s->vsize = label_size_of(cls);
  s->vthickness = 3;
  s->vfont = 0;
  s->vunderital = 0;
  return s;
}

// Points joined by links over a list of points, point thickness 2, shape 0, link motif 1.
dsegpoint_t* segpoint_style(container_t* list, container_t* points, int typesrc,
                            double scale) {
  dsegpoint_t* s = new_style<dsegpoint_t>(list, CLS_DSEGPOINT, typesrc, points, scale);
  if (!s) return nullptr;
  s->pptcoord = kPointCoordsOffset;
  s->vthickness = 2;
  s->vmotif = 0;
  s->vshape = 0;
  s->vlinkthick = 2;
  s->vlinkmotif = 1;
  return s;
}

}  // namespace

// A track segment drawn in the colour and thickness of its tracklog (the points' father).
obj_t* track_segment_style(container_t* list, trackseg_t* segment, double scale) {
  if (!segment) return nullptr;
  dsegpoint_t* s = segpoint_style(list, segment->sons, CLS_GPSPOS, scale);
  if (!s) return nullptr;
  s->typeperesrc = CLS_TRACKLOG;
  s->pcolour = -pos(offsetof(tracklog_t, colour));
  s->plinkthick = -pos(offsetof(tracklog_t, thickness));
  s->vcolour = gpsobj_default_colour(CLS_TRACKLOG);  // a point without tracklog
  return s;
}

namespace {

// Objects of a class in a list, taken before styles are added to it.
std::vector<obj_t*> objects_of(const container_t* list, int cls) {
  std::vector<obj_t*> out;
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i)
    if (list->elems[i] && list->elems[i]->cls == cls) out.push_back(list->elems[i]);
  return out;
}

// What a folder's list holds for its track styles, read in one pass (a track's list is
// long): its segments, and whether an active point style for track points or label
// style for tracklogs is already there (as style_exists would say).
struct track_survey {
  std::vector<obj_t*> segments;
  bool point_style = false;
  bool label_style = false;
};

track_survey survey_tracks(const container_t* list) {
  track_survey out;
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    obj_t* o = list->elems[i];
    if (!o) continue;
    if (o->cls == CLS_TRACKSEG) {
      out.segments.push_back(o);
    } else if (o->cls == CLS_DSEGPOINT || o->cls == CLS_DTEXT) {
      if (!style_is_active(o)) continue;
      const int typesrc = static_cast<const drawstyle_t*>(o)->typesrc;
      if (o->cls == CLS_DSEGPOINT && typesrc == CLS_GPSPOS) out.point_style = true;
      if (o->cls == CLS_DTEXT && typesrc == CLS_TRACKLOG) out.label_style = true;
    }
  }
  return out;
}

int result() { return get_gblerr() ? -1 : 0; }

int refuse() {
  set_gblerr(ERR_PARAMETERS);
  return -1;
}

// ---- Per folder ----------------------------------------------------------------------------

void folder_point_styles(folder_t* d, int cls, int size, int label_size, double scale) {
  container_t* list = d->sot;
  if (!obj_list_has_class(list, cls)) return;
  if (!folder_has_style(d, CLS_DPOINT, cls)) {
    if (dpoint_t* s = new_style<dpoint_t>(list, CLS_DPOINT, cls, list, scale)) {
      s->pptcoord = kPointCoordsOffset;
      s->pcolour = kPointStyleColour;
      s->vmotif = 0;
      s->vthickness = size < 1 ? 2 : size;
      s->vshape = cls == CLS_POI ? 1 : 2;
    }
  }
  if (!folder_has_style(d, CLS_DTEXT, cls)) point_label_style(list, list, cls, label_size, scale);
}

// 1 when a sub-folder was made.
int folder_label_styles(folder_t* d, int cls, int label_size, int priority, double icon_scale,
                        double label_scale, int offset) {
  container_t* source = d->sot;
  if (!obj_list_has_class(source, cls) || folder_has_style(d, CLS_DTEXT, cls)) return 0;
  container_t* list = new_style_folder(d, priority, 0);
  if (!list) return 0;
  if (dimage_t* s = new_style<dimage_t>(list, CLS_DIMAGE, cls, source, icon_scale)) {
    s->pptcoord = kPointCoordsOffset;
    s->pimg = pos(offsetof(waypoint_t, icon));
    s->pcolour = kPointStyleColour;
    if (cls != CLS_COURSEPOINT) {  // course points have no icon size or scale
      s->pscale = pos(offsetof(waypoint_t, icoscale));
      s->psize = pos(offsetof(waypoint_t, icosize));
    }
    s->vscale = 1.0;
    pixel_offset_t px;
    std::memcpy(&px, &offset, sizeof px);
    s->vpixy = px;
  }
  point_label_style(list, source, cls, label_size, label_scale);
  return 1;
}

void folder_route_styles(folder_t* d, int cls, int with_labels, double scale) {
  container_t* list = d->sot;
  if (!obj_list_has_class(list, cls)) return;
  const int point_cls = cls == CLS_ROUTE ? CLS_WAYPOINT : CLS_LOIPOINT;
  const std::vector<obj_t*> lines = objects_of(list, cls);
  if (!folder_has_style(d, CLS_DSEGPOINT, point_cls)) {
    for (obj_t* o : lines) {
      auto* r = static_cast<route_t*>(o);
      if (obj_list_count(r->sons) == 0) continue;
      dsegpoint_t* s = segpoint_style(list, r->sons, point_cls, scale);
      if (!s) return;
      s->vcolour = r->colour;
      if (cls == CLS_LOIS) s->vlinkthick = static_cast<lois_t*>(o)->thickness;
    }
  }
  if (!with_labels) return;
  for (obj_t* o : lines) {
    auto* r = static_cast<route_t*>(o);
    if (obj_list_count(r->sons) == 0) continue;
    double c[2];
    gpsobj_centroid(r->sons, c);
    r->txtcoord.x = c[0];
    r->txtcoord.y = c[1];
  }
  if (!folder_has_style(d, CLS_DTEXT, cls))
    line_label_style(list, cls, offsetof(route_t, name), offsetof(route_t, txtcoord),
                     offsetof(route_t, colour), scale);
}

void folder_loil_styles(folder_t* d, int with_labels, double scale) {
  container_t* list = d->sot;
  if (!obj_list_has_class(list, CLS_LOIL)) return;
  if (!folder_has_style(d, CLS_DPOLYCURVE, CLS_LOIL)) {
    if (auto* s = new_style<dpolycurve_t>(list, CLS_DPOLYCURVE, CLS_LOIL, list, scale)) {
      s->plcoord = pos(offsetof(loil_t, loicoord));
      s->pcolour = pos(offsetof(loil_t, colour));
      s->pthickness = pos(offsetof(loil_t, thickness));
      s->vedgemotif = 1;
    }
  }
  if (with_labels && !folder_has_style(d, CLS_DTEXT, CLS_LOIL))
    line_label_style(list, CLS_LOIL, offsetof(loil_t, name), offsetof(loil_t, txtcoord),
                     offsetof(loil_t, colour), scale);
}

// The lap icon and the fixed text of one marker class.
void lap_marker_styles(container_t* list, container_t* source, int cls, const char16_t* text,
                       double scale) {
  if (auto* s = new_style<dimage_t>(list, CLS_DIMAGE, cls, source, scale)) {
    s->pptcoord = kPointCoordsOffset;
    s->vimg = gpsobj_get_lap_icon(nullptr);
    s->vscale = 1.0;
    s->vcolour = kLapColour;
  }
  if (auto* s = new_style<dtext_t>(list, CLS_DTEXT, cls, source, scale)) {
    s->pptcoord = kPointCoordsOffset;
    char16_t* owned = nullptr;
    wstr_set(text, &owned);
    s->vstring = owned;
    s->vcolour = kLapColour;
    s->vsize = kPointLabelSize;
    s->vthickness = 3;
    s->vfont = 0;
    s->vunderital = 0;
  }
}

}  // namespace

int folder_default_track_styles(folder_t* d, int with_labels, double scale) {
  if (!d) return result();
  container_t* list = d->sot;
  if (!obj_list_has_class(list, CLS_GPSPOS)) return result();
  const track_survey survey = survey_tracks(list);
  if (!survey.point_style && !sub_folder_has_style(d, CLS_DSEGPOINT, CLS_GPSPOS)) {
    for (obj_t* o : survey.segments) {
      auto* seg = static_cast<trackseg_t*>(o);
      if (obj_list_count(seg->sons) > 0 && !track_segment_style(list, seg, scale)) break;
    }
  }
  if (with_labels && !get_gblerr() && obj_list_has_class(list, CLS_TRACKLOG)) {
    gpsobj_track_label_positions(list);
    // The point styles added above are no label styles: the survey still holds.
    if (!survey.label_style && !sub_folder_has_style(d, CLS_DTEXT, CLS_TRACKLOG))
      line_label_style(list, CLS_TRACKLOG, offsetof(tracklog_t, name),
                       offsetof(tracklog_t, txtcoord), offsetof(tracklog_t, colour),
                       scale * 0.01);
  }
  return result();
}

// ---- Per file ------------------------------------------------------------------------------

int file_default_point_styles(obj_t* file, int cls, int size, int label_size, double scale) {
  if (cls != CLS_WAYPOINT && cls != CLS_POI) return refuse();
  file_set_point_labels(file, cls);
  for (folder_t* d : folders_of(file)) {
    if (get_gblerr()) break;
    folder_point_styles(d, cls, size, label_size, scale);
  }
  return result();
}

int file_default_label_styles(obj_t* file, int cls, int label_size, int priority,
                              double icon_scale, double label_scale, int offset) {
  if (cls != CLS_WAYPOINT && cls != CLS_POI && cls != CLS_COURSEPOINT) return refuse();
  file_set_point_labels(file, cls);
  for (folder_t* d : folders_of(file)) {
    if (get_gblerr()) break;
    priority += folder_label_styles(d, cls, label_size, priority, icon_scale, label_scale, offset);
  }
  return result();
}

int file_default_track_styles(obj_t* file, int with_labels, double scale) {
  for (folder_t* d : folders_of(file)) {
    if (get_gblerr()) break;
    folder_default_track_styles(d, with_labels, scale);
  }
  return result();
}

obj_t* gpspos_style_create(container_t* list, trackseg_t* segment, obj_t** out, double scale) {
  if (out) *out = nullptr;
  if (!list || !segment || segment->cls != CLS_TRACKSEG) {
    refuse();
    return nullptr;
  }
  dsegpoint_t* s = segpoint_style(list, segment->sons, CLS_GPSPOS, scale);
  if (s) s->vcolour = gpsobj_default_colour(CLS_GPSPOS);
  if (out) *out = s;
  return s;
}

int file_default_route_styles(obj_t* file, int cls, int with_labels, double scale) {
  if (cls != CLS_ROUTE && cls != CLS_LOIS) return result();
  for (folder_t* d : folders_of(file)) {
    if (get_gblerr()) break;
    folder_route_styles(d, cls, with_labels, scale);
  }
  return result();
}

int file_default_loil_styles(obj_t* file, int with_labels, double scale) {
  for (folder_t* d : folders_of(file)) {
    if (get_gblerr()) break;
    folder_loil_styles(d, with_labels, scale);
  }
  return result();
}

int folder_add_lap_markers(obj_t* folder, double scale) {
  folder_t* d = folder_of(folder);
  if (!d || get_gblerr()) return result();
  container_t* source = d->sot;
  if (!obj_list_has_class(source, CLS_LAP_BEGIN) && !obj_list_has_class(source, CLS_LAP_END))
    return 0;
  d->layer = kPointLayerPriority;
  if (folder_has_style(d, CLS_DIMAGE, CLS_LAP_BEGIN) ||
      folder_has_style(d, CLS_DIMAGE, CLS_LAP_END))
    return 0;
  container_t* list = new_style_folder(d, kPointLayerPriority, 1);
  if (!list) return result();
  lap_marker_styles(list, source, CLS_LAP_BEGIN, u"BEGIN", scale);
  lap_marker_styles(list, source, CLS_LAP_END, u"END", scale);
  return result();
}

// ---- Styles of drawn shapes ------------------------------------------------------------------

namespace {

// A parameter given as NULL_INT is read from the object at `offset`; any other value is
// fixed (position 0).
int32_t bound_pos(int value, size_t offset) { return value == NULL_INT ? int32_t(offset) : 0; }
int32_t fixed_value(int value) { return value == NULL_INT ? 0 : value; }

// Sets the pair p<attr> / v<attr> of the style `s` from `value`, read when bound from the
// attribute `attr` of the drawn record R (whose name the style's pair follows).
#define BOUND_OR_FIXED(R, attr, value) \
  (s->p##attr = bound_pos(value, offsetof(R, attr)), s->v##attr = fixed_value(value))

template <class T>
T* shape_style(container_t* list, obj_t** out, int style_cls, int typesrc, double scale) {
  if (out) *out = nullptr;
  if (!list) {
    refuse();
    return nullptr;
  }
  T* s = new_style<T>(list, style_cls, typesrc, list, scale);
  if (out) *out = s;
  return s;
}

// Sets the colour of a style: fixed when given, else read at `offset`.
template <class T> void set_colour(T* s, const uint32_t* colour, size_t offset) {
  s->pcolour = colour ? 0 : int32_t(offset);
  s->vcolour = colour ? *colour : 0;
}

}  // namespace

obj_t* geopoint_style_create(container_t* list, obj_t** out, const uint32_t* colour,
                             int thickness, int shape, int motif, double scale) {
  auto* s = shape_style<dpoint_t>(list, out, CLS_DPOINT, CLS_GEOPOINT, scale);
  if (!s) return nullptr;
  s->pptcoord = kPointCoordsOffset;
  set_colour(s, colour, offsetof(geopoint_t, colour));
  BOUND_OR_FIXED(geopoint_t, thickness, thickness);
  BOUND_OR_FIXED(geopoint_t, shape, shape);
  BOUND_OR_FIXED(geopoint_t, motif, motif);
  s->porient = pos(offsetof(geopoint_t, orient));
  return s;
}

obj_t* geotext_style_create(container_t* list, obj_t** out, const uint32_t* colour, int size,
                            int thickness, int font, double scale) {
  auto* s = shape_style<dtext_t>(list, out, CLS_DTEXT, CLS_GEOTEXT, scale);
  if (!s) return nullptr;
  s->pptcoord = kPointCoordsOffset;
  s->pzone = pos(offsetof(geotext_t, textzone));
  s->pstring = pos(offsetof(geotext_t, text));
  s->porient = pos(offsetof(geotext_t, orient));
  s->punderital = pos(offsetof(geotext_t, underital));
  set_colour(s, colour, offsetof(geotext_t, colour));
  BOUND_OR_FIXED(geotext_t, size, size);
  BOUND_OR_FIXED(geotext_t, thickness, thickness);
  BOUND_OR_FIXED(geotext_t, font, font);
  return s;
}

obj_t* geosegment_style_create(container_t* list, obj_t** out, const uint32_t* colour,
                               int thickness, int motif, double scale) {
  auto* s = shape_style<dsegment_t>(list, out, CLS_DSEGMENT, CLS_GEOSEGMENT, scale);
  if (!s) return nullptr;
  s->prcoord = pos(offsetof(geosegment_t, coords));
  set_colour(s, colour, offsetof(geosegment_t, colour));
  BOUND_OR_FIXED(geosegment_t, thickness, thickness);
  BOUND_OR_FIXED(geosegment_t, motif, motif);
  return s;
}

obj_t* georectangle_style_create(container_t* list, obj_t** out, const uint32_t* colour,
                                 int thickness, int edgemotif, int fillmotif, double scale) {
  auto* s = shape_style<drectangle_t>(list, out, CLS_DRECTANGLE, CLS_GEORECTANGLE, scale);
  if (!s) return nullptr;
  s->prcoord = pos(offsetof(georectangle_t, coords));
  set_colour(s, colour, offsetof(georectangle_t, colour));
  BOUND_OR_FIXED(georectangle_t, thickness, thickness);
  BOUND_OR_FIXED(georectangle_t, edgemotif, edgemotif);
  BOUND_OR_FIXED(georectangle_t, fillmotif, fillmotif);
  return s;
}

// The axes and the orientation stay doubles from the object to the style.
obj_t* geoarcellip_style_create(container_t* list, obj_t** out, const uint32_t* colour,
                                int thickness, int edgemotif, int fillmotif, double scale) {
  auto* s = shape_style<darcellip_t>(list, out, CLS_DARCELLIP, CLS_GEOARCELLIP, scale);
  if (!s) return nullptr;
  s->pcenter = pos(offsetof(geoarcellip_t, center));
  s->pgraxis = pos(offsetof(geoarcellip_t, graxis));
  s->psmaxis = pos(offsetof(geoarcellip_t, smaxis));
  s->porient = pos(offsetof(geoarcellip_t, orient));
  s->pangle = pos(offsetof(geoarcellip_t, angle));
  set_colour(s, colour, offsetof(geoarcellip_t, colour));
  s->vthickness = thickness == NULL_INT ? 1 : thickness;
  BOUND_OR_FIXED(geoarcellip_t, edgemotif, edgemotif);
  BOUND_OR_FIXED(geoarcellip_t, fillmotif, fillmotif);
  return s;
}

#undef BOUND_OR_FIXED
