// The KML writer's frame: the declaration, the document with its shared styles, then one
// "Folder" per folder of the root list, nested as the folders are, each object written
// by kml_write_objects.cpp in geographic WGS 84 coordinates.
#include <cstdio>
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/replace_file.h"
#include "core/wstring.h"
#include "core/xml.h"
#include "formats/kml.h"
#include "formats/kml_write_internal.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace {

// Folders nested deeper than this are not written (a folder tree is never that deep;
// the bound keeps a damaged tree from recursing without end).
constexpr int kMaxFolderDepth = 64;

constexpr int CLS_NODE = 150;
constexpr int CLS_WAY = 151;
constexpr int CLS_WAYLINE = 152;

void label_style(FILE* out, uint32_t colour) {
  std::fputs("    <LabelStyle>\n", out);
  std::fprintf(out, "      <color>%s</color>\n", kml_colour_text(colour).c_str());
  std::fputs("      <scale>1</scale>\n", out);
  std::fputs("    </LabelStyle>\n", out);
}

void icon_style(FILE* out, const uint32_t* colour) {
  std::fputs("    <IconStyle>\n", out);
  if (colour) std::fprintf(out, "      <color>%s</color>\n", kml_colour_text(*colour).c_str());
  std::fputs("      <scale>0.5</scale>\n", out);
  std::fprintf(out, "      <Icon><href>%s</href></Icon>\n", kml_icon_address(0).c_str());
  std::fputs("    </IconStyle>\n", out);
}

void line_style(FILE* out, uint32_t colour) {
  std::fputs("    <LineStyle>\n", out);
  std::fprintf(out, "      <color>%s</color>\n", kml_colour_text(colour).c_str());
  std::fputs("      <width>2</width>\n", out);
  std::fputs("    </LineStyle>\n", out);
}

void write_shared_styles(FILE* out) {
  const uint32_t wpt = gpsobj_default_colour(CLS_WAYPOINT);
  const uint32_t poi = gpsobj_default_colour(CLS_POI);
  std::fputs("  <Style id=\"tmstywpt\">\n", out);
  icon_style(out, nullptr);
  label_style(out, wpt);
  std::fputs("  </Style>\n", out);

  std::fputs("  <Style id=\"tmstypoi\">\n", out);
  icon_style(out, &poi);
  label_style(out, poi);
  std::fputs("  </Style>\n", out);

  std::fputs("  <Style id=\"tmstytrk\">\n", out);
  line_style(out, gpsobj_default_colour(CLS_TRACKLOG));
  label_style(out, gpsobj_default_colour(CLS_TRACKLOG));
  std::fputs("  </Style>\n", out);

  std::fputs("  <Style id=\"tmstyrte\">\n", out);
  line_style(out, gpsobj_default_colour(CLS_ROUTE));
  label_style(out, gpsobj_default_colour(CLS_ROUTE));
  std::fputs("  </Style>\n", out);

  std::fputs("  <Style id=\"tmstyloi\">\n", out);
  label_style(out, poi);
  line_style(out, poi);
  std::fputs("    <PolyStyle>\n", out);
  std::fprintf(out, "      <color>%s</color>\n", kml_colour_text(poi).c_str());
  std::fputs("      <fill>0</fill>\n", out);
  std::fputs("      <outline>1</outline>\n", out);
  std::fputs("    </PolyStyle>\n", out);
  std::fputs("  </Style>\n", out);

  std::fputs("  <Style id=\"tmstynvg\">\n", out);
  line_style(out, gpsobj_default_colour(CLS_GPSPOS));
  std::fputs("  </Style>\n", out);

  std::fputs("  <Style id=\"tmstytxt\">\n", out);
  std::fputs("    <IconStyle>\n", out);
  std::fputs("      <Icon></Icon>\n", out);
  std::fputs("    </IconStyle>\n", out);
  std::fputs("    <LabelStyle>\n", out);
  std::fputs("      <scale>1</scale>\n", out);
  std::fputs("    </LabelStyle>\n", out);
  std::fputs("  </Style>\n", out);

  std::fputs("  <Style id=\"tmstypnt\">\n", out);
  icon_style(out, nullptr);
  std::fputs("  </Style>\n", out);
  std::fputs("\n", out);
}

georef_t* folder_georef(const folder_t* folder) {
  int it = 0;
  obj_t* g = nullptr;
  obj_list_next_of_type(folder ? folder->sot : nullptr, CLS_GEOREF, &it, &g);
  return static_cast<georef_t*>(g);
}

bool holds_objects(const container_t* list) {
  for (int i = 0; i < obj_list_count(list); ++i)
    if (list->elems[i] && kml_class_written(list->elems[i]->cls)) return true;
  return false;
}

bool holds_map_data(const container_t* list, bool* nodes) {
  bool any = false;
  *nodes = false;
  for (int i = 0; i < obj_list_count(list); ++i) {
    const obj_t* o = list->elems[i];
    if (!o) continue;
    if (o->cls == CLS_WAY || o->cls == CLS_WAYLINE) any = true;
    if (o->cls == CLS_NODE) {
      any = true;
      *nodes = true;
    }
  }
  return any;
}

void write_objects(FILE* out, const folder_t* folder) {
  georef_t* g = folder_georef(folder);
  if (!g) {
    set_gblerr(13);
    return;
  }
  kml_writer w;
  w.out = out;
  georef_chain_to_ref(g, &w.chain);
  if (get_gblerr() == 0) {
    bool nodes = false;
    if (holds_map_data(folder->sot, &nodes)) {
      char* name = nullptr;
      if (folder->name) wstr_to_utf8(folder->name, &name);
      w.feature = name ? name : "";
      free_mem(&name);
      kml_write_representation_style(&w, nodes);
    }
    const container_t* list = folder->sot;
    for (int i = 0; i < obj_list_count(list); ++i)
      if (list->elems[i]) kml_write_object(&w, list->elems[i]);
  }
  free_obj(&w.chain);
}

void write_folder(FILE* out, obj_t* folder_obj, int depth, bool* unplaced) {
  folder_t* folder = folder_of(folder_obj);
  if (!folder || depth > kMaxFolderDepth) return;
  std::fputs("<Folder>\n", out);
  if (folder->name) {
    std::fputs("  <name>", out);
    xml_write_text(out, folder->name);
    std::fputs("</name>\n", out);
  }
  if (holds_objects(folder->sot)) {
    write_objects(out, folder);
    if (get_gblerr() == 13) {
      *unplaced = true;
      set_gblerr(0);
    }
  }
  const container_t* sons = folder->sons;
  for (int i = 0; i < obj_list_count(sons) && get_gblerr() == 0; ++i)
    if (folder_of(sons->elems[i])) write_folder(out, sons->elems[i], depth + 1, unplaced);
  std::fputs("</Folder>\n", out);
}

}  // namespace

void write_kml(const char* path, container_t* roots) {
  if (!roots) return;
  replace_file_t file;
  FILE* out = replace_file_open(&file, path);
  if (!out) {
    set_gblerr(ERR_FILE_ACCESS);
    return;
  }
  std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", out);
  std::fputs("<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n", out);
  std::fputs("<Document>\n", out);
  write_shared_styles(out);
  bool unplaced = false;
  for (int i = 0; i < obj_list_count(roots) && get_gblerr() == 0; ++i)
    write_folder(out, roots->elems[i], 0, &unplaced);
  std::fputs("</Document>\n", out);
  std::fputs("</kml>", out);
  // A write that failed part way leaves the file it was to replace as it was.
  if (get_gblerr() != 0)
    replace_file_abandon(&file);
  else if (!replace_file_commit(&file))
    set_gblerr(ERR_FILE_ACCESS);
  else if (unplaced)
    set_gblerr(13);
}
