// The GPX writer's frame: the declaration, the root element with its namespaces, the
// metadata with the time of writing and the bounds of everything written, then each
// folder's objects (gpx_write_points.cpp) in the geographic WGS 84 coordinates that GPX
// requires.
//
// The bounds are the smallest rectangle holding the folders' waypoints, route points
// and track points, carried to geographic coordinates; they start cleared to 0, so an
// export of nothing writes four zero bounds.
#include <cstdio>
#include <cstring>

#include "core/dates.h"
#include "core/error.h"
#include "core/reader.h"
#include "core/replace_file.h"
#include "formats/gpx.h"
#include "formats/gpx_write_internal.h"
#include "geodesy/extent.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

constexpr const char* kIndent = "     ";

void write_root_start(FILE* out) {
  std::fputs("<?xml version=\"1.0\" standalone=\"yes\" ?>\n", out);
  std::fputs("<gpx version=\"1.1\"\n", out);
  std::fprintf(out, "%screator=\"%s\"\n", kIndent, kGpxCreator);
  std::fprintf(out, "%sxmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n", kIndent);
  std::fprintf(out, "%sxmlns:gpxx=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\"\n",
               kIndent);
  std::fprintf(out, "%sxmlns:gpx_style=\"http://www.topografix.com/GPX/gpx_style/0/2\"\n",
               kIndent);
  std::fprintf(out, "%sxmlns=\"http://www.topografix.com/GPX/1/1\"\n", kIndent);
  std::fprintf(out,
               "%sxsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
               "http://www.topografix.com/GPX/1/1/gpx.xsd\n",
               kIndent);
  std::fprintf(out,
               "%shttp://www.garmin.com/xmlschemas/GpxExtensions/v3 "
               "http://www.garmin.com/xmlschemas/GpxExtensionsv3.xsd"
               "%shttp://www.topografix.com/GPX/gpx_style/0/2 "
               "http://www.topografix.com/GPX/gpx_style/0/2/gpx_style.xsd\">\n",
               kIndent, kIndent);
}

// The folder's point objects (waypoints, route points, track points) in geographic
// coordinates, united with the bounds.
void add_folder_bounds(const folder_t* folder, extent_t* bounds) {
  georef_t* g = gpx_folder_georef(folder);
  if (!g) return;
  xform_chain_t* chain = nullptr;
  georef_chain_to_ref(g, &chain);
  const container_t* list = folder->sot;
  for (int i = 0; i < obj_list_count(list) && get_gblerr() == 0; ++i) {
    const obj_t* o = list->elems[i];
    if (!o || (o->cls != CLS_WAYPOINT && o->cls != CLS_GPSPOS)) continue;
    double x = 0, y = 0;
    gpx_geographic(chain, o, &x, &y);
    extent_union(bounds, extent_t{x, x, y, y, 0.0});
  }
  free_obj(&chain);
}

void write_metadata(FILE* out, container_t* roots) {
  char now[64];
  format_date_iso(date_now(), 1, 1, now, sizeof now);
  extent_t bounds{0, 0, 0, 0, 0};
  for (int i = 0; i < obj_list_count(roots); ++i) {
    obj_t* o = roots->elems[i];
    if (o && o->cls == kFolderClass) add_folder_bounds(static_cast<folder_t*>(o), &bounds);
  }
  std::fputs("  <metadata>\n", out);
  std::fprintf(out, "    <time>%s</time>\n", now);
  std::fprintf(out, "    <bounds minlat=\"%2.9lf\" minlon=\"%3.9lf\" ", bounds.ymin, bounds.xmin);
  std::fprintf(out, "maxlat=\"%2.9lf\" maxlon=\"%3.9lf\" />\n", bounds.ymax, bounds.xmax);
  std::fputs("  </metadata>\n", out);
}

}  // namespace

georef_t* gpx_folder_georef(const folder_t* folder) {
  int it = 0;
  obj_t* g = nullptr;
  obj_list_next_of_type(folder ? folder->sot : nullptr, CLS_GEOREF, &it, &g);
  return static_cast<georef_t*>(g);
}

void gpx_geographic(xform_chain_t* chain, const obj_t* point, double* x, double* y) {
  gps_point_t c;
  std::memcpy(&c, reinterpret_cast<const char*>(point) + kPointCoordsOffset, sizeof c);
  double z = 0.0;
  *x = c.x;
  *y = c.y;
  if (chain) xform_chain_forward(chain, x, y, &z);
}

void gpx_write_folder(FILE* out, obj_t* folder_obj) {
  if (!out || !folder_obj || folder_obj->cls != kFolderClass) return;
  const folder_t* folder = static_cast<folder_t*>(folder_obj);
  if (!list_has_gps_points(folder->sot)) return;
  georef_t* g = gpx_folder_georef(folder);
  if (!g) {
    set_gblerr(13);
    return;
  }
  xform_chain_t* chain = nullptr;
  georef_chain_to_ref(g, &chain);
  if (get_gblerr() == 0) gpx_write_folder_objects(out, chain, folder->sot);
  free_obj(&chain);
}

void write_gpx(const char* path, container_t* roots) {
  if (!roots) return;
  replace_file_t file;
  FILE* out = replace_file_open(&file, path);
  if (!out) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  write_root_start(out);
  write_metadata(out, roots);
  // A folder without georeference is left out and the others are still written; its
  // error is given back at the end.
  bool unplaced = false;
  for (int i = 0; i < obj_list_count(roots) && get_gblerr() == 0; ++i) {
    gpx_write_folder(out, roots->elems[i]);
    if (get_gblerr() == 13) {
      unplaced = true;
      set_gblerr(0);
    }
  }
  std::fputs("</gpx>", out);
  // A write that failed part way leaves the file it was to replace as it was.
  if (get_gblerr() != 0)
    replace_file_abandon(&file);
  else if (!replace_file_commit(&file))
    set_gblerr(ERR_FILE_ACCESS);
  else if (unplaced)
    set_gblerr(13);
}
