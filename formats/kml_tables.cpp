// The KML reader's dictionaries and the style class, built once at start-up
// (kml_module_init), and the colour text of the format.
#include <atomic>
#include <cstring>

#include "core/dict.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "formats/kml.h"
#include "map/gps_classes.h"

namespace {

// Several names share a code; names are matched case-sensitively ("Icon" and "icon").
tag_t g_element_table[kKmlElementNames] = {
    make_tag("xml", KML_XML),
    make_tag("altitudeMode", KML_ALTITUDE_MODE),
    make_tag("color", KML_COLOR),
    make_tag("snippet", KML_SNIPPET),
    make_tag("coordinates", KML_COORDINATES),
    make_tag("description", KML_DESCRIPTION),
    make_tag("east", KML_EAST),
    make_tag("geomScale", KML_WIDTH),
    make_tag("width", KML_WIDTH),
    make_tag("fill", KML_FILL),
    make_tag("Icon", KML_ICON),
    make_tag("LatLonBox", KML_LATLONBOX),
    make_tag("GroundOverlay", KML_GROUND_OVERLAY),
    make_tag("h", KML_H),
    make_tag("href", KML_HREF),
    make_tag("w", KML_W),
    make_tag("x", KML_X),
    make_tag("y", KML_Y),
    make_tag("drawOrder", KML_DRAW_ORDER),
    make_tag("kml", KML_DOCUMENT),
    make_tag("Document", KML_DOCUMENT),
    make_tag("LineString", KML_LINESTRING),
    make_tag("LinearRing", KML_LINEARRING),
    make_tag("name", KML_NAME),
    make_tag("north", KML_NORTH),
    make_tag("Placemark", KML_PLACEMARK),
    make_tag("Point", KML_POINT),
    make_tag("innerBoundaryIs", KML_INNER_BOUNDARY),
    make_tag("outerBoundaryIs", KML_OUTER_BOUNDARY),
    make_tag("Polygon", KML_POLYGON),
    make_tag("rotation", KML_ROTATION),
    make_tag("south", KML_SOUTH),
    make_tag("Style", KML_STYLE),
    make_tag("styleUrl", KML_STYLE_URL),
    make_tag("labelColor", KML_LABEL_COLOR),
    make_tag("west", KML_WEST),
    make_tag("IconStyle", KML_ICON_STYLE),
    make_tag("LabelStyle", KML_LABEL_STYLE),
    make_tag("LineStyle", KML_LINE_STYLE),
    make_tag("PolyStyle", KML_POLY_STYLE),
    make_tag("PolyMode", KML_POLY_STYLE),
    make_tag("geomColor", KML_GEOM_COLOR),
    make_tag("timePosition", KML_WHEN),
    make_tag("when", KML_WHEN),
    make_tag("TimeInstant", KML_TIME_STAMP),
    make_tag("TimeStamp", KML_TIME_STAMP),
    make_tag("icon", KML_ICON_REF),
    make_tag("Folder", KML_FOLDER),
    make_tag("NetworkLink", KML_NETWORK_LINK),
    make_tag("Link", KML_LINK),
    make_tag("Url", KML_LINK),
    make_tag("StyleMap", KML_STYLE_MAP),
    make_tag("key", KML_KEY),
    make_tag("refreshMode", KML_REFRESH_MODE),
    make_tag("refreshInterval", KML_REFRESH_INTERVAL),
    make_tag("scale", KML_SCALE),
    make_tag("visibility", KML_VISIBILITY),
};

tag_t g_attribute_table[kKmlAttributeNames] = {
    make_tag("xmlns", KMLA_XMLNS),
    make_tag("encoding", KMLA_ENCODING),
    make_tag("id", KMLA_ID),
};

const objdesc kml_style_desc = {"kml_style", kKmlStyleAttrCount, kKmlStyleAttrs};

// Written at start-up, read by the load task.
std::atomic<container_t*> g_elements{nullptr};
std::atomic<container_t*> g_attributes{nullptr};

void style_free(obj_t* o) { free_mem(&static_cast<kml_style_t*>(o)->identifier); }

// obj_copy has copied the bytes: the copy gets an identifier of its own.
void style_copy(const obj_t* src, obj_t* dst) {
  auto* d = static_cast<kml_style_t*>(dst);
  d->identifier = nullptr;
  const char* id = static_cast<const kml_style_t*>(src)->identifier;
  if (id) str_set(id, &d->identifier);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void kml_free_tables() {
  container_t* e = g_elements.exchange(nullptr);
  container_t* a = g_attributes.exchange(nullptr);
  free_obj(&e);
  free_obj(&a);
}

void kml_module_init() {
  kml_free_tables();
  container_t* elements = nullptr;
  container_t* attributes = nullptr;
  if (dict_rebuild_pair(kKmlElementNames, g_element_table, kKmlAttributeNames, g_attribute_table,
                        &elements, &attributes) != 0)
    return;
  g_elements.store(elements, std::memory_order_release);
  g_attributes.store(attributes, std::memory_order_release);
  obj_register_class(CLS_KML_STYLE, sizeof(kml_style_t), &kml_style_desc);
  obj_set_free_callback(CLS_KML_STYLE, style_free);
  obj_set_copy_callback(CLS_KML_STYLE, style_copy);
  register_format_reader(kKmlFormat, read_kml);
}

container_t* kml_element_dict() { return g_elements.load(std::memory_order_acquire); }
container_t* kml_attribute_dict() { return g_attributes.load(std::memory_order_acquire); }

kml_style_t* kml_style_new(const char* identifier, kml_style_t** out) {
  kml_style_t* s = nullptr;
  alloc_obj(CLS_KML_STYLE, &s);
  if (out) *out = s;
  if (!s) return nullptr;
  kml_style_reset(s);
  if (identifier) str_set(identifier, &s->identifier);
  return s;
}

void kml_style_reset(kml_style_t* s) {
  if (!s) return;
  s->icon_colour = gpsobj_default_colour(CLS_POI);
  s->label_colour = s->icon_colour;
  s->line_colour = gpsobj_default_colour(CLS_LOIS);
  s->poly_colour = s->line_colour;
  s->width = 2;
  s->line_width = 2;
  s->fill = 0;
  s->icon_request = nullptr;
  s->scale = 1.0;
}

void kml_style_copy_values(const kml_style_t* from, kml_style_t* to) {
  if (!from || !to || from == to) return;
  to->icon_colour = from->icon_colour;
  to->width = from->width;
  to->label_colour = from->label_colour;
  to->line_colour = from->line_colour;
  to->line_width = from->line_width;
  to->poly_colour = from->poly_colour;
  to->fill = from->fill;
  to->icon_request = from->icon_request;
  to->scale = from->scale;
}

int kml_parse_colour(const char* text, uint32_t* colour) {
  if (!text || !colour) return 0;
  if (*text == '#') ++text;
  int v[8];
  for (int i = 0; i < 8; ++i) {
    v[i] = hex_digit(text[i]);  // stops at the NUL: it is no digit
    if (v[i] < 0) return 0;
  }
  // alpha (v0 v1) is ignored; then blue, green, red.
  const int b = v[2] * 16 + v[3], g = v[4] * 16 + v[5], r = v[6] * 16 + v[7];
  *colour = gps_rgb(r, g, b);
  return 1;
}
