// The GPX writer's objects: waypoints and route points, routes, tracklogs with their
// segments, and navigation segments, line by line with the indentation of the format.
// Colours and the waypoint display mode go into the gpx_style and GpxExtensions v3
// elements, where the reader finds them again.
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "core/dates.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/xml.h"
#include "formats/gpx.h"
#include "formats/gpx_write_internal.h"
#include "map/gps_classes.h"

namespace {

constexpr double kKmhToMs = 0.2777777777777778;

// "<time>" text of a date record: whole seconds, or milliseconds when it has a fraction.
void write_time(FILE* out, const char* indent, const date_rec& rec) {
  const double seconds = (rec.day - std::floor(rec.day)) * 86400.0;
  const int mode = std::fabs(seconds - std::round(seconds)) < 0.0005 ? 1 : 2;
  char* text = nullptr;
  format_date_iso_span(&rec, mode, 1, &text);
  std::fprintf(out, "%s<time>%s</time>\n", indent, text);
  free_mem(&text);
}

void write_text_line(FILE* out, const char* element, const char16_t* text) {
  if (!text) return;
  std::fprintf(out, "    <%s>", element);
  xml_write_text(out, text);
  std::fprintf(out, "</%s>\n", element);
}

void write_colour_line(FILE* out, uint32_t colour) {
  std::fprintf(out, "        <gpx_style:color>%02x%02x%02x</gpx_style:color>\n",
               colour & 255u, (colour >> 8) & 255u, (colour >> 16) & 255u);
}

void write_style_block(FILE* out, const char* kind, uint32_t colour) {
  std::fprintf(out, "      <gpx_style:%s>\n", kind);
  write_colour_line(out, colour);
  std::fprintf(out, "      </gpx_style:%s>\n", kind);
}

// Routes and tracklogs: the line and text colours.
void write_line_extensions(FILE* out, uint32_t colour) {
  std::fputs("    <extensions>\n", out);
  write_style_block(out, "line", colour);
  write_style_block(out, "text", colour);
  std::fputs("    </extensions>\n", out);
}

const char* display_mode_name(int display) {
  switch (display) {
    case 1: return "SymbolOnly";
    case 2: return "SymbolAndDescription";
    default: return "SymbolAndName";
  }
}

void write_number_line(FILE* out, int32_t number) {
  if (number != NULL_INT) std::fprintf(out, "    <number>%d</number>\n", number);
}

void write_navigation(FILE* out, const navigation_t* n) {
  if (n->dgps != NULL_INT && n->dgps != 0)
    std::fputs("        <fix>dgps</fix>\n", out);
  else if (n->fix != NULL_INT && n->fix >= 3)
    std::fputs("        <fix>3d</fix>\n", out);
  else if (n->fix == 2)
    std::fputs("        <fix>2d</fix>\n", out);
  if (n->nbsatsused != NULL_INT) std::fprintf(out, "        <sat>%d</sat>\n", n->nbsatsused);
  if (n->hdop != NULL_DOUBLE) std::fprintf(out, "        <hdop>%.2lf</hdop>\n", n->hdop);
  if (n->vdop != NULL_DOUBLE) std::fprintf(out, "        <vdop>%.2lf</vdop>\n", n->vdop);
  if (n->pdop != NULL_DOUBLE) std::fprintf(out, "        <pdop>%.2lf</pdop>\n", n->pdop);
}

void write_dgps(FILE* out, const dgps_t* d) {
  if (d->ageofdgpsdata != NULL_DOUBLE)
    std::fprintf(out, "        <ageofdgpsdata>%.3lf</ageofdgpsdata>\n", d->ageofdgpsdata);
  if (d->dgpsstation != NULL_INT)
    std::fprintf(out, "        <dgpsid>%d</dgpsid>\n", d->dgpsstation);
}

void write_trackpoint(FILE* out, xform_chain_t* chain, const gpspos_t* p) {
  double x = 0, y = 0;
  gpx_geographic(chain, p, &x, &y);
  std::fprintf(out, "      <trkpt lat=\"%.9lf\" lon=\"%.9lf\">\n", y, x);
  if (p->altitude != 0.0f) std::fprintf(out, "        <ele>%.2lf</ele>\n", double(p->altitude));
  const date_rec time = p->time;
  if (time.date >= 100.0) write_time(out, "        ", time);
  if (p->speed != NULL_DOUBLE) {
    std::fputs("<!--\n", out);
    std::fprintf(out, "        <speed>%.2lf</speed>\n", p->speed * kKmhToMs);
    if (p->direction != NULL_DOUBLE)
      std::fprintf(out, "        <course>%.2lf</course>\n", p->direction);
    std::fputs("-->\n", out);
  }
  if (p->geoidh != 0.0f)
    std::fprintf(out, "        <geoidheight>%.2lf</geoidheight>\n", double(p->geoidh));
  if (p->navig) write_navigation(out, static_cast<const navigation_t*>(p->navig));
  if (p->dgps) write_dgps(out, static_cast<const dgps_t*>(p->dgps));
  std::fputs("      </trkpt>\n", out);
}

// The points of a route (those that are waypoints), to leave them out of the waypoints.
void collect_route_points(const container_t* list, std::unordered_set<const obj_t*>* out) {
  for (int i = 0; i < obj_list_count(list); ++i) {
    const obj_t* o = list->elems[i];
    if (!o || o->cls != CLS_ROUTE) continue;
    const container_t* points = static_cast<const route_t*>(o)->sons;
    for (int k = 0; k < obj_list_count(points); ++k) out->insert(points->elems[k]);
  }
}

template <class Fn> void for_each_of_class(const container_t* list, int cls, Fn fn) {
  for (int i = 0; i < obj_list_count(list); ++i) {
    const obj_t* o = list->elems[i];
    if (o && o->cls == cls) fn(o);
  }
}

}  // namespace

void gpx_write_point(FILE* out, xform_chain_t* chain, const obj_t* point, const char* element) {
  if (!point || point->cls != CLS_WAYPOINT) return;
  const auto* w = static_cast<const waypoint_t*>(point);
  double x = 0, y = 0;
  gpx_geographic(chain, w, &x, &y);
  std::fprintf(out, "  <%s lat=\"%2.9lf\" lon=\"%3.9lf\">\n", element, y, x);
  if (w->altitude != 0.0f) std::fprintf(out, "    <ele>%4.2lf</ele>\n", double(w->altitude));
  const date_rec time = w->time;
  if (time.date >= 100.0) write_time(out, "    ", time);
  if (w->geoidh != 0.0f)
    std::fprintf(out, "        <geoidheight>%.2lf</geoidheight>\n", double(w->geoidh));
  write_text_line(out, "name", w->name);
  write_text_line(out, "cmt", w->comment);
  std::fprintf(out, "    <sym>%s</sym>\n", gpx_symbol_name(w->symbol));
  std::fputs("    <extensions>\n", out);
  std::fputs("      <gpxx:WaypointExtension>\n", out);
  std::fprintf(out, "        <gpxx:DisplayMode>%s</gpxx:DisplayMode>\n",
               display_mode_name(w->display));
  std::fputs("      </gpxx:WaypointExtension>\n", out);
  write_style_block(out, "text", w->colour);
  std::fputs("    </extensions>\n", out);
  std::fprintf(out, "  </%s>\n", element);
}

void gpx_write_route(FILE* out, xform_chain_t* chain, const obj_t* route) {
  if (!route || route->cls != CLS_ROUTE) return;
  const auto* r = static_cast<const route_t*>(route);
  std::fputs("  <rte>\n", out);
  write_text_line(out, "name", r->name);
  write_text_line(out, "cmt", r->comment);
  write_number_line(out, r->number);
  write_line_extensions(out, r->colour);
  const container_t* points = r->sons;
  for (int i = 0; i < obj_list_count(points); ++i)
    gpx_write_point(out, chain, points->elems[i], "rtept");
  std::fputs("  </rte>\n", out);
}

void gpx_write_trkseg(FILE* out, xform_chain_t* chain, const container_t* points) {
  std::fputs("    <trkseg>\n", out);
  for (int i = 0; i < obj_list_count(points); ++i) {
    const obj_t* p = points->elems[i];
    if (p && p->cls == CLS_GPSPOS) write_trackpoint(out, chain, static_cast<const gpspos_t*>(p));
  }
  std::fputs("    </trkseg>\n", out);
}

void gpx_write_tracklog(FILE* out, xform_chain_t* chain, const obj_t* tracklog) {
  if (!tracklog || tracklog->cls != CLS_TRACKLOG) return;
  const auto* t = static_cast<const tracklog_t*>(tracklog);
  std::fputs("  <trk>\n", out);
  write_text_line(out, "name", t->name);
  write_number_line(out, t->number);
  write_line_extensions(out, t->colour);
  const container_t* segments = t->sons;
  for (int i = 0; i < obj_list_count(segments); ++i) {
    const obj_t* s = segments->elems[i];
    if (s && s->cls == CLS_TRACKSEG)
      gpx_write_trkseg(out, chain, static_cast<const trackseg_t*>(s)->sons);
  }
  std::fputs("  </trk>\n", out);
}

void gpx_write_navseg(FILE* out, xform_chain_t* chain, const obj_t* navseg) {
  if (!navseg || navseg->cls != CLS_NAVSEG) return;
  std::fputs("  <trk>\n", out);
  std::fputs("    <extensions>\n", out);
  write_style_block(out, "line", gpsobj_default_colour(CLS_GPSPOS));
  std::fputs("    </extensions>\n", out);
  gpx_write_trkseg(out, chain, static_cast<const navseg_t*>(navseg)->sons);
  std::fputs("  </trk>\n", out);
}

void gpx_write_folder_objects(FILE* out, xform_chain_t* chain, const container_t* list) {
  std::unordered_set<const obj_t*> route_points;
  collect_route_points(list, &route_points);
  for_each_of_class(list, CLS_WAYPOINT, [&](const obj_t* o) {
    if (!route_points.count(o)) gpx_write_point(out, chain, o, "wpt");
  });
  for_each_of_class(list, CLS_ROUTE, [&](const obj_t* o) { gpx_write_route(out, chain, o); });
  for_each_of_class(list, CLS_TRACKLOG, [&](const obj_t* o) { gpx_write_tracklog(out, chain, o); });
  for_each_of_class(list, CLS_NAVSEG, [&](const obj_t* o) { gpx_write_navseg(out, chain, o); });
}
