// The KML writer's placemarks: one routine per class (a table filled once), the inline
// styles of colours that differ from the class default, and the geometries.
//
// A long line is written in ceil(n / kKmlPartPoints) parts inside a MultiGeometry, each
// of kKmlPartPoints points of its own; each part after the first starts again at the
// last point of the part before it, so that the line keeps every segment and no part is
// empty.
//
// Map data (nodes 150, ways 151 and way lines 152) is read through the class
// descriptors by attribute name, so those rows write as soon as the classes are
// registered; until then no object of those classes exists.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/xml.h"
#include "formats/kml.h"
#include "formats/kml_write_internal.h"
#include "geodesy/xform.h"
#include "map/gps_classes.h"
#include "raster/raster_ops.h"

namespace {

constexpr int CLS_NODE = 150;
constexpr int CLS_WAY = 151;
constexpr int CLS_WAYLINE = 152;
constexpr int kFirstClass = 100;
constexpr int kClassCount = 53;  // 100..152

struct xyz {
  double x, y, z;
};

// ---- Coordinates ------------------------------------------------------------------------

xyz geographic(const kml_writer* w, double x, double y, double z) {
  double zz = z;
  if (w->chain) xform_chain_forward(w->chain, &x, &y, &zz);
  return xyz{x, y, z};
}

// A point object of a class with coordinates at the common place and, for the classes
// that have one, an altitude after them.
xyz point_of(const kml_writer* w, const obj_t* o, bool with_altitude) {
  gps_point_t c;
  std::memcpy(&c, reinterpret_cast<const char*>(o) + kPointCoordsOffset, sizeof c);
  float alt = 0.0f;
  if (with_altitude)
    std::memcpy(&alt, reinterpret_cast<const char*>(o) + kPointCoordsOffset + sizeof c,
                sizeof alt);
  return geographic(w, c.x, c.y, std::isfinite(alt) ? alt : 0.0);
}

// ---- Text lines ---------------------------------------------------------------------------

void text_line(FILE* out, const char* element, const char16_t* text) {
  if (!text) return;
  std::fprintf(out, "    <%s>", element);
  xml_write_text(out, text);
  std::fprintf(out, "</%s>\n", element);
}

void begin(const kml_writer* w, const char16_t* name, const char16_t* comment,
           const char* style) {
  std::fputs("  <Placemark>\n", w->out);
  text_line(w->out, "name", name);
  text_line(w->out, "description", comment);
  if (style) std::fprintf(w->out, "    <styleUrl>#%s</styleUrl>\n", style);
}
void end(const kml_writer* w) { std::fputs("  </Placemark>\n", w->out); }

bool differs(uint32_t colour, int cls) {
  return !rgba_equal(colour & 0xFFFFFFu, gpsobj_default_colour(cls) & 0xFFFFFFu);
}

void inline_label(FILE* out, uint32_t colour) {
  std::fputs("      <LabelStyle>\n", out);
  std::fprintf(out, "        <color>%s</color>\n", kml_colour_text(colour).c_str());
  std::fputs("      </LabelStyle>\n", out);
}
void inline_line(FILE* out, uint32_t colour, int width) {
  std::fputs("      <LineStyle>\n", out);
  std::fprintf(out, "        <color>%s</color>\n", kml_colour_text(colour).c_str());
  std::fprintf(out, "        <width>%d</width>\n", width);
  std::fputs("      </LineStyle>\n", out);
}
void inline_poly(FILE* out, uint32_t colour, int fill, int outline) {
  std::fputs("      <PolyStyle>\n", out);
  std::fprintf(out, "        <color>%s</color>\n",
               kml_colour_text(colour, fill ? 0x7f : 0xff).c_str());
  std::fprintf(out, "        <fill>%d</fill>\n", fill);
  std::fprintf(out, "        <outline>%d</outline>\n", outline);
  std::fputs("      </PolyStyle>\n", out);
}

// ---- Geometries ---------------------------------------------------------------------------

void point_geometry(const kml_writer* w, xyz p) {
  FILE* out = w->out;
  std::fputs("    <Point>\n", out);
  if (p.z == 0.0) {
    std::fprintf(out, "      <coordinates>%3.9lf,%2.9lf</coordinates>\n", p.x, p.y);
  } else {
    std::fputs("      <altitudeMode>absolute</altitudeMode>\n", out);
    std::fprintf(out, "      <coordinates>%3.9lf,%2.9lf,%4.2f</coordinates>\n", p.x, p.y, p.z);
  }
  std::fputs("    </Point>\n", out);
}

// Parts of a line of n points: the first and last point of each (inclusive). There are
// ceil(n / 65000) parts, part k holding the points k * 65000 up to (k + 1) * 65000 - 1;
// each part after the first starts again at the last point of the part before it, so
// that no segment between two parts is lost.
std::vector<std::pair<size_t, size_t>> parts_of(size_t n) {
  std::vector<std::pair<size_t, size_t>> parts;
  const size_t size = size_t(kKmlPartPoints);
  for (size_t k = 0; k * size < n; ++k) {
    const size_t first = k == 0 ? 0 : k * size - 1;
    parts.emplace_back(first, std::min(n, (k + 1) * size) - 1);
  }
  return parts;
}

// Points of a line as geographic coordinates; `altitudes` says whether they count.
void write_lines(const kml_writer* w, const std::vector<xyz>& pts, bool altitudes) {
  FILE* out = w->out;
  const auto parts = parts_of(pts.size());
  if (parts.empty()) return;
  const bool closed = pts.size() >= 4 && pts.front().x == pts.back().x &&
                      pts.front().y == pts.back().y;
  const bool polygon = closed && parts.size() == 1;
  if (parts.size() > 1) std::fputs("    <MultiGeometry>\n", out);
  for (const auto& [first, last] : parts) {
    if (polygon)
      std::fputs("    <Polygon><outerBoundaryIs><LinearRing>\n", out);
    else
      std::fputs("    <LineString>\n", out);
    const bool alt = altitudes && pts[first].z != 0.0;
    if (alt) std::fputs("      <altitudeMode>absolute</altitudeMode>\n", out);
    std::fputs("      <coordinates>\n       ", out);
    for (size_t i = first; i <= last; ++i) {
      if (altitudes && pts[i].z != 0.0)
        std::fprintf(out, " %3.9lf,%2.9lf,%4.2f", pts[i].x, pts[i].y, pts[i].z);
      else if (altitudes)
        std::fprintf(out, " %3.9lf,%2.9lf", pts[i].x, pts[i].y);
      else
        std::fprintf(out, " %3.9lf,%3.9lf", pts[i].x, pts[i].y);
    }
    std::fputs("\n      </coordinates>\n", out);
    if (polygon)
      std::fputs("    </LinearRing></outerBoundaryIs></Polygon>\n", out);
    else
      std::fputs("    </LineString>\n", out);
  }
  if (parts.size() > 1) std::fputs("    </MultiGeometry>\n", out);
}

// The points of a sons list (each of a point class with an altitude).
std::vector<xyz> points_of(const kml_writer* w, const container_t* sons) {
  std::vector<xyz> pts;
  pts.reserve(size_t(obj_list_count(sons)));
  for (int i = 0; i < obj_list_count(sons); ++i)
    if (const obj_t* p = sons->elems[i]) pts.push_back(point_of(w, p, true));
  return pts;
}

std::vector<xyz> coords_of(const kml_writer* w, const coord_list& c) {
  std::vector<xyz> pts;
  if (!c.pts || c.count <= 0) return pts;
  pts.reserve(size_t(c.count));
  for (int i = 0; i < c.count; ++i) pts.push_back(geographic(w, c.pts[2 * i], c.pts[2 * i + 1], 0));
  return pts;
}

// ---- Writer routines ----------------------------------------------------------------------

void write_point(kml_writer* w, const obj_t* o) {
  const auto* p = static_cast<const waypoint_t*>(o);  // the head shared by 100, 106, 116
  const char* style = o->cls == CLS_WAYPOINT ? "tmstywpt" : "tmstypoi";
  begin(w, p->name, p->comment, style);
  std::fputs("    <Style>\n", w->out);
  if (p->symbol >= 1 && p->symbol <= 60) {
    std::fputs("      <IconStyle>\n", w->out);
    std::fprintf(w->out, "        <Icon><href>%s</href></Icon>\n",
                 kml_icon_address(p->symbol).c_str());
    std::fputs("      </IconStyle>\n", w->out);
  }
  if (differs(p->colour, o->cls)) inline_label(w->out, p->colour);
  std::fputs("    </Style>\n", w->out);
  point_geometry(w, point_of(w, o, true));
  end(w);
}

void write_marker(kml_writer* w, const obj_t* o) {
  const char16_t* name = o->cls == CLS_LAP_BEGIN ? u"BEGIN" : u"END";
  begin(w, name, nullptr, "tmstywpt");
  point_geometry(w, point_of(w, o, true));
  end(w);
}

// The name of a track or route: its own, or its number; empty for neither (a null
// number is no number, as the GPX writer leaves it out).
std::u16string name_or_number(const char16_t* name, int number) {
  if (name) return name;
  if (number == NULL_INT) return u"";
  const std::string n = std::to_string(number);
  return std::u16string(n.begin(), n.end());
}

// The name element's text: none when the object has neither name nor number.
const char16_t* name_text(const char16_t* name, const std::u16string& shown) {
  return name || !shown.empty() ? shown.c_str() : nullptr;
}

void write_track(kml_writer* w, const obj_t* o) {
  const auto* s = static_cast<const trackseg_t*>(o);
  const auto* t = s->father && s->father->cls == CLS_TRACKLOG
                      ? static_cast<const tracklog_t*>(s->father) : nullptr;
  const std::u16string name = t ? name_or_number(t->name, t->number) : u"";
  begin(w, t ? name_text(t->name, name) : nullptr, t ? t->comment : nullptr, "tmstytrk");
  std::fputs("    <Style>\n", w->out);
  if (t && differs(t->colour, CLS_TRACKLOG)) {
    inline_line(w->out, t->colour, t->thickness);
    inline_label(w->out, t->colour);
  }
  std::fputs("    </Style>\n", w->out);
  write_lines(w, points_of(w, s->sons), true);
  end(w);
}

void write_route(kml_writer* w, const obj_t* o) {
  const auto* r = static_cast<const route_t*>(o);
  const std::u16string name = name_or_number(r->name, r->number);
  begin(w, name_text(r->name, name), r->comment, "tmstyrte");
  std::fputs("    <Style>\n", w->out);
  if (differs(r->colour, CLS_ROUTE)) {
    inline_line(w->out, r->colour, 2);
    inline_label(w->out, r->colour);
  }
  std::fputs("    </Style>\n", w->out);
  write_lines(w, points_of(w, r->sons), true);
  end(w);
}

void write_navseg(kml_writer* w, const obj_t* o) {
  begin(w, nullptr, nullptr, "tmstynvg");
  write_lines(w, points_of(w, static_cast<const navseg_t*>(o)->sons), true);
  end(w);
}

void write_lois(kml_writer* w, const obj_t* o) {
  const auto* l = static_cast<const lois_t*>(o);
  begin(w, l->name, l->comment, "tmstyloi");
  std::fputs("    <Style>\n", w->out);
  if (differs(l->colour, CLS_LOIS)) {
    inline_line(w->out, l->colour, l->thickness);
    inline_label(w->out, l->colour);
  }
  std::fputs("    </Style>\n", w->out);
  write_lines(w, points_of(w, l->sons), true);
  end(w);
}

void write_loil(kml_writer* w, const obj_t* o) {
  const auto* l = static_cast<const loil_t*>(o);
  begin(w, l->name, l->comment, "tmstyloi");
  std::fputs("    <Style>\n", w->out);
  if (differs(l->colour, CLS_LOIL)) {
    inline_label(w->out, l->colour);
    inline_line(w->out, l->colour, l->thickness);
    inline_poly(w->out, l->fillcolor, l->fillmotif != 0 ? 1 : 0, 1);
  }
  std::fputs("    </Style>\n", w->out);
  write_lines(w, coords_of(w, l->loicoord), false);
  end(w);
}

void write_geotext(kml_writer* w, const obj_t* o) {
  const auto* t = static_cast<const geotext_t*>(o);
  begin(w, t->text, nullptr, "tmstytxt");
  std::fputs("    <Style>\n", w->out);
  if (differs(t->colour, CLS_GEOTEXT)) inline_label(w->out, t->colour);
  std::fputs("    </Style>\n", w->out);
  point_geometry(w, point_of(w, o, false));
  end(w);
}

void write_geopoint(kml_writer* w, const obj_t* o) {
  begin(w, nullptr, nullptr, "tmstypnt");
  std::fputs("    <Style>\n    </Style>\n", w->out);
  point_geometry(w, point_of(w, o, false));
  end(w);
}

void write_geosegment(kml_writer* w, const obj_t* o) {
  const auto* s = static_cast<const geosegment_t*>(o);
  begin(w, nullptr, nullptr, nullptr);
  std::fputs("    <Style>\n", w->out);
  if (differs(s->colour, CLS_GEOSEGMENT)) inline_line(w->out, s->colour, s->thickness);
  std::fputs("    </Style>\n", w->out);
  write_lines(w, {geographic(w, s->coords.x1, s->coords.y1, 0),
                  geographic(w, s->coords.x2, s->coords.y2, 0)}, false);
  end(w);
}

void write_georectangle(kml_writer* w, const obj_t* o) {
  const auto* r = static_cast<const georectangle_t*>(o);
  begin(w, nullptr, nullptr, nullptr);
  const bool filled = r->fillmotif != 0;
  std::fputs("    <Style>\n", w->out);
  if (differs(r->colour, CLS_GEORECTANGLE)) {
    inline_line(w->out, r->colour, r->thickness);
    inline_poly(w->out, r->colour, filled ? 1 : 0, 1);
  }
  std::fputs("    </Style>\n", w->out);
  const gps_twopoints_t& c = r->coords;
  std::vector<xyz> corners = {geographic(w, c.x1, c.y1, 0), geographic(w, c.x2, c.y1, 0),
                              geographic(w, c.x2, c.y2, 0), geographic(w, c.x1, c.y2, 0),
                              geographic(w, c.x1, c.y1, 0)};
  FILE* out = w->out;
  if (filled) {
    std::fputs("    <Polygon><outerBoundaryIs><LinearRing>\n      <coordinates>\n       ", out);
  } else {
    std::fputs("    <LineString>\n      <coordinates>\n       ", out);
  }
  for (const xyz& p : corners) std::fprintf(out, " %3.9lf,%3.9lf", p.x, p.y);
  std::fputs("\n      </coordinates>\n", out);
  std::fputs(filled ? "    </LinearRing></outerBoundaryIs></Polygon>\n" : "    </LineString>\n",
             out);
  end(w);
}

// ---- Map data, read by attribute name ------------------------------------------------------

// Offset of the attribute `name` of a class, -1 when the class has none.
int attr_offset(int cls, const char* name, int type) {
  const int n = obj_class_attr_count(cls);
  for (int i = 0; i < n; ++i) {
    int t = 0, off = 0;
    const char* nm = nullptr;
    if (!obj_attr_info(cls, i, &t, &off, &nm)) continue;
    if (nm && std::strcmp(nm, name) == 0 && t == type) return off;
  }
  return -1;
}

template <class T> bool field(const obj_t* o, const char* name, int type, T* out) {
  const int off = attr_offset(o->cls, name, type);
  if (off < 0) return false;
  std::memcpy(out, reinterpret_cast<const char*>(o) + off, sizeof *out);
  return true;
}

const char16_t* name_of(const obj_t* o) {
  char16_t* name = nullptr;
  return field(o, "name", AT_WSTRING, &name) ? name : nullptr;
}

std::string map_style(const kml_writer* w) { return "tmsty" + w->feature; }

void write_node(kml_writer* w, const obj_t* o) {
  gps_point_t c{};
  if (!field(o, "coords", AT_POINT, &c)) return;
  float alt = 0.0f;
  field(o, "altitude", AT_FLOAT, &alt);
  const std::string style = map_style(w);
  begin(w, name_of(o), nullptr, style.c_str());
  point_geometry(w, geographic(w, c.x, c.y, std::isfinite(alt) ? alt : 0.0));
  end(w);
}

void write_way(kml_writer* w, const obj_t* o) {
  const std::string style = map_style(w);
  begin(w, name_of(o), nullptr, style.c_str());
  const container_t* sons =
      obj_class_tree_links(o->cls) == TREE_FATHER_AND_SONS ? static_cast<const tree_obj_t*>(o)->sons
                                                           : nullptr;
  std::vector<xyz> pts;
  for (int i = 0; i < obj_list_count(sons); ++i) {
    const obj_t* n = sons->elems[i];
    gps_point_t c{};
    if (n && field(n, "coords", AT_POINT, &c)) pts.push_back(geographic(w, c.x, c.y, 0));
  }
  write_lines(w, pts, false);
  end(w);
}

void write_wayline(kml_writer* w, const obj_t* o) {
  const std::string style = map_style(w);
  begin(w, name_of(o), nullptr, style.c_str());
  coord_list c{};
  if (field(o, "loicoord", AT_COORDS, &c)) write_lines(w, coords_of(w, c), false);
  end(w);
}

using writer_fn = void (*)(kml_writer* w, const obj_t* o);

struct writer_table {
  writer_fn rows[kClassCount] = {};
};

// Filled once on first use.
const writer_table& table() {
  static const writer_table t = [] {
    writer_table t;
    auto set = [&t](int cls, writer_fn fn) { t.rows[cls - kFirstClass] = fn; };
    set(CLS_WAYPOINT, write_point);
    set(CLS_POI, write_point);
    set(CLS_COURSEPOINT, write_point);
    set(CLS_LAP_BEGIN, write_marker);
    set(CLS_LAP_END, write_marker);
    set(CLS_TRACKSEG, write_track);
    set(CLS_ROUTE, write_route);
    set(CLS_NAVSEG, write_navseg);
    set(CLS_LOIS, write_lois);
    set(CLS_LOIL, write_loil);
    set(CLS_GEOTEXT, write_geotext);
    set(CLS_GEOPOINT, write_geopoint);
    set(CLS_GEOSEGMENT, write_geosegment);
    set(CLS_GEORECTANGLE, write_georectangle);
    set(CLS_NODE, write_node);
    set(CLS_WAY, write_way);
    set(CLS_WAYLINE, write_wayline);
    return t;
  }();
  return t;
}

writer_fn row_of(int cls) {
  if (cls < kFirstClass || cls >= kFirstClass + kClassCount) return nullptr;
  return table().rows[cls - kFirstClass];
}

// Waypoint icons by symbol number: the system's own icon files.
constexpr const char* kIconPattern = "wpt%d.png";

}  // namespace

int kml_class_written(int cls) { return row_of(cls) ? 1 : 0; }

void kml_write_object(kml_writer* w, const obj_t* obj) {
  if (!w || !w->out || !obj) return;
  if (writer_fn fn = row_of(obj->cls)) fn(w, obj);
}

std::string kml_colour_text(uint32_t colour, int alpha) {
  char text[16];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x", unsigned(alpha) & 255u,
                (colour >> 16) & 255u, (colour >> 8) & 255u, colour & 255u);
  return text;
}

std::string kml_icon_address(int symbol) {
  char text[32];
  std::snprintf(text, sizeof text, kIconPattern, symbol < 0 || symbol > 60 ? 0 : symbol);
  return text;
}

void kml_write_representation_style(kml_writer* w, bool nodes) {
  // Without representation rules every feature draws in the line-of-interest colour,
  // two pixels wide, unfilled.
  const uint32_t colour = gpsobj_default_colour(CLS_LOIS);
  FILE* out = w->out;
  std::fprintf(out, "  <Style id=\"tmsty%s\">\n", w->feature.c_str());
  if (nodes) {
    std::fputs("    <IconStyle>\n      <scale>0.8</scale>\n", out);
    std::fprintf(out, "      <Icon><href>%s</href></Icon>\n", kml_icon_address(0).c_str());
    std::fputs("    </IconStyle>\n", out);
  } else {
    std::fputs("    <LineStyle>\n", out);
    std::fprintf(out, "      <color>%s</color>\n", kml_colour_text(colour).c_str());
    std::fputs("      <width>2</width>\n", out);
    std::fputs("    </LineStyle>\n", out);
  }
  std::fputs("    <LabelStyle>\n", out);
  std::fprintf(out, "      <color>%s</color>\n", kml_colour_text(colour).c_str());
  std::fputs("      <scale>1</scale>\n", out);
  std::fputs("    </LabelStyle>\n", out);
  std::fputs("  </Style>\n", out);
}
