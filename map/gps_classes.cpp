// Descriptors, destructors and registration of the geographic and GPS classes.
//
// Each descriptor lists the attributes of its record in order; unnamed attributes (a
// point's icon and label, a text's string) have an empty name. The packed structs of
// gps_classes.h are checked against these descriptors here, at compile time, so that
// the byte positions drawing styles store and the fields code reaches by name agree.
#include "map/gps_classes.h"

#include "core/error.h"
#include "core/memory.h"
#include "core/record_pool.h"
#include "map/display_settings.h"

namespace {

#define A(name, type) {name, type}
constexpr attr_desc kGpstimeAttrs[] = {A("id", AT_ID), A("type", AT_INT), A("gpsweek", AT_UINT),
                                       A("gpstow", AT_DOUBLE)};
constexpr attr_desc kDgpsAttrs[] = {A("id", AT_ID), A("type", AT_INT),
                                    A("ageofdgpsdata", AT_NDOUBLE), A("dgpsstation", AT_NINT)};
constexpr attr_desc kSatelliteAttrs[] = {
    A("id", AT_ID),         A("type", AT_INT),  A("prn", AT_INT),  A("elevation", AT_NINT),
    A("azimuth", AT_NINT),  A("snr", AT_NINT),  A("used", AT_NINT), A("status", AT_NINT)};
constexpr attr_desc kNavigationAttrs[] = {
    A("id", AT_ID),           A("type", AT_INT),         A("hdop", AT_NDOUBLE),
    A("vdop", AT_NDOUBLE),    A("pdop", AT_NDOUBLE),     A("nbsatsinvue", AT_NINT),
    A("nbsatsused", AT_NINT), A("fix", AT_NINT),         A("hacc", AT_NDOUBLE),
    A("vacc", AT_NDOUBLE),    A("magvar", AT_NDOUBLE),   A("dgps", AT_NINT),
    A("dr", AT_NINT)};
constexpr attr_desc kWaypointAttrs[] = {
    A("id", AT_ID),          A("type", AT_INT),        A("father", AT_FATHER),
    A("coords", AT_POINT),   A("altitude", AT_FLOAT),  A("geoidh", AT_FLOAT),
    A("name", AT_WSTRING),   A("comment", AT_WSTRING), A("colour", AT_COLOR),
    A("symbol", AT_INT),     A("display", AT_INT),     A("", AT_REF),
    A("", AT_WSTRING),       A("icosize", AT_ICONSIZE), A("icoscale", AT_SCALE),
    A("proxim", AT_NDOUBLE), A("tpre", AT_NDOUBLE),    A("time", AT_DATETIME)};
constexpr attr_desc kNavsegAttrs[] = {A("id", AT_ID), A("type", AT_INT), A("father", AT_FATHER),
                                      A("sons", AT_LIST)};
constexpr attr_desc kTracklogAttrs[] = {
    A("id", AT_ID),          A("type", AT_INT),          A("father", AT_FATHER),
    A("sons", AT_LIST),      A("name", AT_WSTRING),      A("comment", AT_WSTRING),
    A("txtcoord", AT_TEXTPOS), A("colour", AT_COLOR),    A("number", AT_NINT),
    A("thickness", AT_SMALL)};
constexpr attr_desc kPositionAttrs[] = {
    A("id", AT_ID),           A("type", AT_INT),          A("father", AT_FATHER),
    A("coords", AT_POINT),    A("time", AT_DATETIME),     A("speed", AT_NDOUBLE),
    A("direction", AT_NDOUBLE), A("datum", AT_REF)};
constexpr attr_desc kRouteAttrs[] = {
    A("id", AT_ID),        A("type", AT_INT),       A("father", AT_FATHER),
    A("sons", AT_LIST),    A("name", AT_WSTRING),   A("comment", AT_WSTRING),
    A("txtcoord", AT_TEXTPOS), A("colour", AT_COLOR), A("number", AT_NINT)};
constexpr attr_desc kTracksegAttrs[] = {A("id", AT_ID), A("type", AT_INT),
                                        A("father", AT_FATHER), A("sons", AT_LIST)};
constexpr attr_desc kPoiAttrs[] = {
    A("id", AT_ID),          A("type", AT_INT),        A("father", AT_FATHER),
    A("coords", AT_POINT),   A("altitude", AT_FLOAT),  A("geoidh", AT_FLOAT),
    A("name", AT_WSTRING),   A("comment", AT_WSTRING), A("colour", AT_COLOR),
    A("symbol", AT_INT),     A("display", AT_INT),     A("", AT_REF),
    A("", AT_WSTRING),       A("icosize", AT_ICONSIZE), A("icoscale", AT_SCALE),
    A("time", AT_DATETIME)};
constexpr attr_desc kLoisAttrs[] = {
    A("id", AT_ID),           A("type", AT_INT),          A("father", AT_FATHER),
    A("sons", AT_LIST),       A("name", AT_WSTRING),      A("comment", AT_WSTRING),
    A("txtcoord", AT_TEXTPOS), A("colour", AT_COLOR),     A("fillcolor", AT_COLOR),
    A("fillmotif", AT_SMALL), A("thickness", AT_SMALL),   A("time", AT_DATETIME)};
constexpr attr_desc kGpsposAttrs[] = {
    A("id", AT_ID),          A("type", AT_INT),         A("father", AT_FATHER),
    A("coords", AT_POINT),   A("altitude", AT_FLOAT),   A("geoidh", AT_FLOAT),
    A("time", AT_DATETIME),  A("speed", AT_NDOUBLE),    A("direction", AT_NDOUBLE),
    A("tpre", AT_NDOUBLE),   A("navig", AT_REF),        A("idsats", AT_LIST),
    A("dgps", AT_REF),       A("raw", AT_REF)};
constexpr attr_desc kGeotextAttrs[] = {
    A("id", AT_ID),        A("type", AT_INT),        A("father", AT_FATHER),
    A("coords", AT_POINT), A("", AT_WSTRING),        A("colour", AT_COLOR),
    A("font", AT_INT),     A("size", AT_INT),        A("thickness", AT_INT),
    A("underital", AT_INT), A("orient", AT_DOUBLE),  A("textzone", AT_EXTENT)};
constexpr attr_desc kLoipointAttrs[] = {A("id", AT_ID),         A("type", AT_INT),
                                        A("pere", AT_FATHER),   A("coords", AT_POINT),
                                        A("altitude", AT_FLOAT), A("geoidh", AT_FLOAT)};
constexpr attr_desc kLoilAttrs[] = {
    A("id", AT_ID),             A("type", AT_INT),          A("father", AT_FATHER),
    A("name", AT_WSTRING),      A("comment", AT_WSTRING),   A("loicoord", AT_COORDS),
    A("txtcoord", AT_TEXTPOS),  A("colour", AT_COLOR),      A("edgemotif", AT_INT),
    A("fillcolor", AT_COLOR),   A("fillmotif", AT_SMALL),   A("thickness", AT_SMALL),
    A("time", AT_DATETIME)};
constexpr attr_desc kCoursepointAttrs[] = {
    A("id", AT_ID),          A("type", AT_INT),        A("father", AT_FATHER),
    A("coords", AT_POINT),   A("altitude", AT_FLOAT),  A("geoidh", AT_FLOAT),
    A("name", AT_WSTRING),   A("comment", AT_WSTRING), A("colour", AT_COLOR),
    A("symbol", AT_INT),     A("display", AT_INT),     A("", AT_REF),
    A("", AT_WSTRING),       A("time", AT_DATETIME)};
constexpr attr_desc kLapAttrs[] = {A("id", AT_ID),          A("type", AT_INT),
                                   A("father", AT_FATHER),  A("coords", AT_POINT),
                                   A("altitude", AT_FLOAT), A("geoidh", AT_FLOAT)};
constexpr attr_desc kGeopointAttrs[] = {
    A("id", AT_ID),       A("type", AT_INT),      A("father", AT_FATHER),
    A("coords", AT_POINT), A("colour", AT_COLOR), A("motif", AT_INT),
    A("thickness", AT_INT), A("shape", AT_INT),   A("orient", AT_DOUBLE)};
constexpr attr_desc kGeosegmentAttrs[] = {
    A("id", AT_ID),        A("type", AT_INT),       A("father", AT_FATHER),
    A("coords", AT_RECT),  A("colour", AT_COLOR),   A("thickness", AT_INT),
    A("motif", AT_INT)};
constexpr attr_desc kGeorectangleAttrs[] = {
    A("id", AT_ID),           A("type", AT_INT),        A("father", AT_FATHER),
    A("coords", AT_RECT),     A("colour", AT_COLOR),    A("thickness", AT_INT),
    A("edgemotif", AT_INT),   A("fillmotif", AT_INT)};
constexpr attr_desc kGeoarcellipAttrs[] = {
    A("id", AT_ID),          A("type", AT_INT),         A("father", AT_FATHER),
    A("center", AT_POINT),   A("graxis", AT_DOUBLE),    A("smaxis", AT_DOUBLE),
    A("orient", AT_DOUBLE),  A("angle", AT_ANGLE),      A("colour", AT_COLOR),
    A("edgemotif", AT_INT),  A("fillmotif", AT_INT)};
#undef A

template <size_t N> constexpr int count_of(const attr_desc (&)[N]) { return int(N); }

#define DESC(var, name, attrs) const objdesc var = {name, count_of(attrs), attrs}
DESC(gpstime_desc, "gpstime", kGpstimeAttrs);
DESC(dgps_desc, "dgps", kDgpsAttrs);
DESC(satellite_desc, "satellite", kSatelliteAttrs);
DESC(navigation_desc, "navigation", kNavigationAttrs);
DESC(waypoint_desc, "waypoint", kWaypointAttrs);
DESC(navseg_desc, "navseg", kNavsegAttrs);
DESC(tracklog_desc, "tracklog", kTracklogAttrs);
DESC(position_desc, "position", kPositionAttrs);
DESC(route_desc, "route", kRouteAttrs);
DESC(trackseg_desc, "trackseg", kTracksegAttrs);
DESC(poi_desc, "poi", kPoiAttrs);
DESC(lois_desc, "lois", kLoisAttrs);
DESC(gpspos_desc, "gpspos", kGpsposAttrs);
DESC(geotext_desc, "geotext", kGeotextAttrs);
DESC(loipoint_desc, "loipoint", kLoipointAttrs);
DESC(loil_desc, "loil", kLoilAttrs);
DESC(coursepoint_desc, "coursepoint", kCoursepointAttrs);
DESC(lap_desc, "lap", kLapAttrs);
DESC(geopoint_desc, "geopoint", kGeopointAttrs);
DESC(geosegment_desc, "geosegment", kGeosegmentAttrs);
DESC(georectangle_desc, "georectangle", kGeorectangleAttrs);
DESC(geoarcellip_desc, "geoarcellip", kGeoarcellipAttrs);
#undef DESC

// ---- Layout checks --------------------------------------------------------------------
#define AT(rec, field, attrs, i) \
  static_assert(offsetof(rec, field) == size_t(attr_offset_in(attrs, i)), #rec "." #field)
#define SIZE(rec, attrs) \
  static_assert(sizeof(rec) == size_t(attr_layout_size(attrs, count_of(attrs))), #rec)

AT(gpstime_t, gpstow, kGpstimeAttrs, 3); SIZE(gpstime_t, kGpstimeAttrs);
AT(dgps_t, dgpsstation, kDgpsAttrs, 3); SIZE(dgps_t, kDgpsAttrs);
AT(satellite_t, status, kSatelliteAttrs, 7); SIZE(satellite_t, kSatelliteAttrs);
AT(navigation_t, hacc, kNavigationAttrs, 8); AT(navigation_t, dr, kNavigationAttrs, 12);
SIZE(navigation_t, kNavigationAttrs);
AT(waypoint_t, coords, kWaypointAttrs, 3); AT(waypoint_t, name, kWaypointAttrs, 6);
AT(waypoint_t, colour, kWaypointAttrs, 8); AT(waypoint_t, icon, kWaypointAttrs, 11);
AT(waypoint_t, label, kWaypointAttrs, 12); AT(waypoint_t, icosize, kWaypointAttrs, 13);
AT(waypoint_t, icoscale, kWaypointAttrs, 14); AT(waypoint_t, tpre, kWaypointAttrs, 16);
AT(waypoint_t, time, kWaypointAttrs, 17); SIZE(waypoint_t, kWaypointAttrs);
SIZE(navseg_t, kNavsegAttrs);
AT(tracklog_t, txtcoord, kTracklogAttrs, 6); AT(tracklog_t, colour, kTracklogAttrs, 7);
AT(tracklog_t, thickness, kTracklogAttrs, 9); SIZE(tracklog_t, kTracklogAttrs);
AT(position_t, time, kPositionAttrs, 4); AT(position_t, datum, kPositionAttrs, 7);
SIZE(position_t, kPositionAttrs);
AT(route_t, colour, kRouteAttrs, 7); SIZE(route_t, kRouteAttrs);
SIZE(trackseg_t, kTracksegAttrs);
AT(poi_t, icon, kPoiAttrs, 11); AT(poi_t, time, kPoiAttrs, 15); SIZE(poi_t, kPoiAttrs);
AT(lois_t, fillcolor, kLoisAttrs, 8); AT(lois_t, thickness, kLoisAttrs, 10);
SIZE(lois_t, kLoisAttrs);
AT(gpspos_t, time, kGpsposAttrs, 6); AT(gpspos_t, tpre, kGpsposAttrs, 9);
AT(gpspos_t, idsats, kGpsposAttrs, 11); AT(gpspos_t, raw, kGpsposAttrs, 13);
SIZE(gpspos_t, kGpsposAttrs);
AT(geotext_t, text, kGeotextAttrs, 4); AT(geotext_t, orient, kGeotextAttrs, 10);
AT(geotext_t, textzone, kGeotextAttrs, 11); SIZE(geotext_t, kGeotextAttrs);
SIZE(loipoint_t, kLoipointAttrs);
AT(loil_t, loicoord, kLoilAttrs, 5); AT(loil_t, txtcoord, kLoilAttrs, 6);
AT(loil_t, thickness, kLoilAttrs, 11); SIZE(loil_t, kLoilAttrs);
AT(coursepoint_t, label, kCoursepointAttrs, 12); SIZE(coursepoint_t, kCoursepointAttrs);
SIZE(lap_t, kLapAttrs);
AT(geopoint_t, orient, kGeopointAttrs, 8); SIZE(geopoint_t, kGeopointAttrs);
AT(geosegment_t, colour, kGeosegmentAttrs, 4); SIZE(geosegment_t, kGeosegmentAttrs);
AT(georectangle_t, fillmotif, kGeorectangleAttrs, 7); SIZE(georectangle_t, kGeorectangleAttrs);
AT(geoarcellip_t, graxis, kGeoarcellipAttrs, 4); AT(geoarcellip_t, smaxis, kGeoarcellipAttrs, 5);
AT(geoarcellip_t, orient, kGeoarcellipAttrs, 6); AT(geoarcellip_t, angle, kGeoarcellipAttrs, 7);
AT(geoarcellip_t, colour, kGeoarcellipAttrs, 8); SIZE(geoarcellip_t, kGeoarcellipAttrs);
#undef AT
#undef SIZE
static_assert(offsetof(waypoint_t, coords) == kPointCoordsOffset &&
              offsetof(gpspos_t, coords) == kPointCoordsOffset &&
              offsetof(poi_t, coords) == kPointCoordsOffset &&
              offsetof(coursepoint_t, coords) == kPointCoordsOffset &&
              offsetof(loipoint_t, coords) == kPointCoordsOffset &&
              offsetof(lap_t, coords) == kPointCoordsOffset);

// ---- Destructors ------------------------------------------------------------------------
// Strings, lists and references are packed fields: free_mem reads and clears its owner
// through memcpy; an object field goes through a local copy for free_obj.
template <class T> void free_field(T** field) {
  obj_t* o = owner_get(field);
  if (o) free_obj(&o);
  owner_put(field, static_cast<T*>(o));
}

void waypoint_destroy(obj_t* o) {
  auto* w = static_cast<waypoint_t*>(o);
  free_mem(&w->name);
  free_mem(&w->comment);
  free_mem(&w->label);
}
void poi_destroy(obj_t* o) {
  auto* w = static_cast<poi_t*>(o);
  free_mem(&w->name);
  free_mem(&w->comment);
  free_mem(&w->label);
}
void coursepoint_destroy(obj_t* o) {
  auto* w = static_cast<coursepoint_t*>(o);
  free_mem(&w->name);
  free_mem(&w->comment);
  free_mem(&w->label);
}
void sons_destroy(obj_t* o) { free_field(&static_cast<tree_obj_t*>(o)->sons); }
void tracklog_destroy(obj_t* o) {
  auto* t = static_cast<tracklog_t*>(o);
  free_mem(&t->name);
  free_mem(&t->comment);
  free_field(&t->sons);
}
void route_destroy(obj_t* o) {
  auto* r = static_cast<route_t*>(o);
  free_mem(&r->comment);
  free_mem(&r->name);
  free_field(&r->sons);
}
void lois_destroy(obj_t* o) {
  auto* r = static_cast<lois_t*>(o);
  free_mem(&r->comment);
  free_mem(&r->name);
  free_field(&r->sons);
}
void loil_destroy(obj_t* o) {
  auto* l = static_cast<loil_t*>(o);
  free_mem(&l->comment);
  free_mem(&l->name);
  coords_free(&l->loicoord);
}
void gpspos_destroy(obj_t* o) {
  auto* p = static_cast<gpspos_t*>(o);
  free_field(&p->navig);
  free_field(&p->dgps);
  free_field(&p->raw);
  free_field(&p->idsats);
}
void geotext_destroy(obj_t* o) { free_mem(&static_cast<geotext_t*>(o)->text); }

const gps_class_entry kClasses[] = {
    {CLS_GPSTIME, sizeof(gpstime_t), &gpstime_desc, nullptr},
    {CLS_DGPS, sizeof(dgps_t), &dgps_desc, nullptr},
    {CLS_SATELLITE, sizeof(satellite_t), &satellite_desc, nullptr},
    {CLS_NAVIGATION, sizeof(navigation_t), &navigation_desc, nullptr},
    {CLS_WAYPOINT, sizeof(waypoint_t), &waypoint_desc, waypoint_destroy},
    {CLS_NAVSEG, sizeof(navseg_t), &navseg_desc, sons_destroy},
    {CLS_TRACKLOG, sizeof(tracklog_t), &tracklog_desc, tracklog_destroy},
    {CLS_POSITION, sizeof(position_t), &position_desc, nullptr},
    {CLS_ROUTE, sizeof(route_t), &route_desc, route_destroy},
    {CLS_TRACKSEG, sizeof(trackseg_t), &trackseg_desc, sons_destroy},
    {CLS_POI, sizeof(poi_t), &poi_desc, poi_destroy},
    {CLS_LOIS, sizeof(lois_t), &lois_desc, lois_destroy},
    {CLS_GPSPOS, sizeof(gpspos_t), &gpspos_desc, gpspos_destroy},
    {CLS_GEOTEXT, sizeof(geotext_t), &geotext_desc, geotext_destroy},
    {CLS_LOIPOINT, sizeof(loipoint_t), &loipoint_desc, nullptr},
    {CLS_LOIL, sizeof(loil_t), &loil_desc, loil_destroy},
    {CLS_COURSEPOINT, sizeof(coursepoint_t), &coursepoint_desc, coursepoint_destroy},
    {CLS_LAP_BEGIN, sizeof(lap_t), &lap_desc, nullptr},
    {CLS_LAP_END, sizeof(lap_t), &lap_desc, nullptr},
    {CLS_GEOPOINT, sizeof(geopoint_t), &geopoint_desc, nullptr},
    {CLS_GEOSEGMENT, sizeof(geosegment_t), &geosegment_desc, nullptr},
    {CLS_GEORECTANGLE, sizeof(georectangle_t), &georectangle_desc, nullptr},
    {CLS_GEOARCELLIP, sizeof(geoarcellip_t), &geoarcellip_desc, nullptr},
};

}  // namespace

const gps_class_entry* gps_class_table(int* count) {
  if (count) *count = int(sizeof kClasses / sizeof kClasses[0]);
  return kClasses;
}

// The classes of the six kinds of the display settings follow them; the "set" byte of
// the settings' colour words is not part of a class colour.
uint32_t gpsobj_default_colour(int cls) {
  display_kind kind;
  if (display_kind_of_class(cls, &kind)) return display_colour(kind) & 0xFFFFFFu;
  return gps_rgb(255, 255, 0);
}

void gpsobj_types_register() {
  for (const gps_class_entry& c : kClasses) {
    obj_register_class(c.cls, c.size, c.desc);
    if (c.free_fn) obj_set_free_callback(c.cls, c.free_fn);
  }
  // Track points come by the million from files and receivers.
  obj_set_pooled(CLS_GPSPOS, true);
  gpsobj_load_icons();
}
