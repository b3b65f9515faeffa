// The image viewer's information texts (contract in sb_info.h and sb_state.h).
//
// Raster kind names come from the image's decoder code, refined by the pixel kind that
// the JPEG and GIF readers leave in `variant`: the other readers use that word for
// reader-specific codes that name nothing. Object counts walk the content once, each
// object counted once even when it is reached twice (a route point that is also one of
// the file's waypoints).
#include "sorbinel/sb_info.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "formats/file_load.h"
#include "formats/format_names.h"
#include "geodesy/geodesy_records.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "raster/exif_read.h"
#include "raster/image_place.h"

namespace {

constexpr int kGeorefClass = 46;
constexpr int kFormatGzip = 52;
constexpr int kFormatZip = 53;
constexpr int kFormatNmea = 39;

const char* tr(const char* en, const char* fr) { return is_french() ? fr : en; }

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  return buf;
}

struct kind_name {
  int code;
  const char* en;
  const char* fr;
};
const kind_name kDecoderNames[] = {
    {1, "JPEG format", "Format JPEG"},
    {2, "GIF format", "Format GIF"},
    {3, "TIFF format", "Format TIFF"},
    {4, "PNG format", "Format PNG"},
    {5, "XPM format", "Format XPM"},
    {6, "PBM ascii format (P1)", "Format PBM ascii (P1)"},
    {7, "PGM ascii format (P2)", "Format PGM ascii (P2)"},
    {8, "PPM ascii format (P3)", "Format PPM ascii (P3)"},
    {9, "PBM format (P4)", "Format PBM (P4)"},
    {10, "PGM format (P5)", "Format PGM (P5)"},
    {11, "PPM format (P6)", "Format PPM (P6)"},
    {12, "PCX format", "Format PCX"},
    {13, "Sun raster format", "Format Sun raster"},
    {14, "TGA format", "Format TGA"},
    {16, "ECW format", "Format ECW"},
    {18, "MrSID format", "Format MrSID"},
    {19, "Windows bitmap format", "Format bitmap Windows"},
    {22, "BSB/KAP chart format", "Format carte BSB/KAP"},
    {23, "BSB/KAP chart format", "Format carte BSB/KAP"},
    {43, "SGI format", "Format SGI"},
};
// Pixel kinds of the JPEG and GIF readers.
const kind_name kPixelKindNames[] = {
    {3, "JPEG JFIF format", "Format JPEG JFIF"},
    {4, "JPEG SPIFF format", "Format JPEG SPIFF"},
    {27, "JPEG Exif format", "Format JPEG Exif"},
    {5, "GIF 87a format", "Format GIF 87a"},
    {6, "GIF 89a format", "Format GIF 89a"},
};

const char* name_of(const kind_name* table, size_t n, int code) {
  for (size_t i = 0; i < n; ++i)
    if (table[i].code == code) return tr(table[i].en, table[i].fr);
  return nullptr;
}

int file_type(const fileatt_t* file) {
  const int type = file_get_type(file);
  return type == kFileKindArchive ? type : type & 127;
}

// Bitmaps (class 1) of the content, first to last, searched like the counts. The walk
// keeps its own stack: a file's nesting (folders in folders) never deepens the call stack.
void collect(obj_t* root, std::unordered_set<obj_t*>* seen, sb_object_counts* counts,
             std::vector<bitmap_t*>* bitmaps) {
  std::vector<obj_t*> stack{root};
  auto push_children = [&stack](const container_t* list) {
    if (!list) return;
    for (int32_t i = list->count - 1; i >= 0; --i) stack.push_back(list->elems[i]);
  };
  while (!stack.empty()) {
    obj_t* obj = stack.back();
    stack.pop_back();
    if (!obj || !seen->insert(obj).second) continue;
    if (obj->cls == CLS_CONTAINER) {
      push_children(static_cast<container_t*>(obj));
      continue;
    }
    if (counts) {
      ++counts->total;
      if (obj->cls >= 0 && obj->cls < 256) ++counts->by_class[obj->cls];
    }
    if (bitmaps && obj->cls == CLS_BITMAP) bitmaps->push_back(static_cast<bitmap_t*>(obj));
    if (obj_class_tree_links(obj->cls) == TREE_FATHER_AND_SONS) push_children(static_cast<tree_obj_t*>(obj)->sons);
  }
}

std::vector<bitmap_t*> content_bitmaps(fileatt_t* file) {
  std::vector<bitmap_t*> out;
  std::unordered_set<obj_t*> seen;
  container_t* list = nullptr;
  file_get_objects(file, &list);
  collect(list, &seen, nullptr, &out);
  return out;
}

georef_t* content_georef(fileatt_t* file) {
  container_t* list = nullptr;
  file_get_objects(file, &list);
  if (!list) return nullptr;
  for (int32_t i = 0; i < list->count; ++i)
    if (list->elems[i] && list->elems[i]->cls == kGeorefClass) return static_cast<georef_t*>(list->elems[i]);
  return nullptr;
}

void add_count(std::string* out, const char* en, const char* fr, int count) {
  if (count > 0) *out += std::string(tr(en, fr)) + format("%d", count);
}

void gps_counts(std::string* out, const sb_object_counts& c) {
  add_count(out, "\nNumber of waypoints\n", "\nNombre de waypoints\n", c.of(CLS_WAYPOINT));
  add_count(out, "\nNumber of tracklogs\n", "\nNombre de tracklogs\n", c.of(CLS_TRACKLOG));
  add_count(out, "\nNumber of tracksegments\n", "\nNombre de tracksegments\n", c.of(CLS_TRACKSEG));
  add_count(out, "\nNumber of trackpoints\n", "\nNombre de trackpoints\n", c.of(CLS_GPSPOS));
  add_count(out, "\nNumber of routes\n", "\nNombre de routes\n", c.of(CLS_ROUTE));
}

void interest_counts(std::string* out, const sb_object_counts& c) {
  add_count(out, "\nNumber of Points Of Interest\n", "\nNombre de Points d'Interet\n", c.of(CLS_POI));
  const int lines = c.of(CLS_LOIL) + c.of(CLS_LOIS);
  add_count(out, "\nNumber of Lines Of Interest\n", "\nNombre de Lignes d'Interet\n", lines);
  if (lines > 0)
    add_count(out, "\nNumber of line points\n", "\nNombre de points de ligne\n", c.of(CLS_LOIPOINT));
}

void position_counts(std::string* out, const sb_object_counts& c) {
  add_count(out, "\nNumber of GPS positions\n", "\nNombre de positions GPS\n", c.of(CLS_GPSPOS));
  add_count(out, "\nNumber of waypoints\n", "\nNombre de waypoints\n", c.of(CLS_WAYPOINT));
  add_count(out, "\nNumber of routes\n", "\nNombre de routes\n", c.of(CLS_ROUTE));
}

bool in(int value, std::initializer_list<int> set) {
  for (int v : set)
    if (v == value) return true;
  return false;
}

}  // namespace

const char* sb_raster_kind_name(const bitmap_t* b) {
  if (!b) return "";
  if (b->format == 1 || b->format == 2)
    if (const char* n = name_of(kPixelKindNames, std::size(kPixelKindNames), b->variant)) return n;
  const char* n = name_of(kDecoderNames, std::size(kDecoderNames), b->format);
  return n ? n : "";
}

sb_object_counts sb_count_objects(fileatt_t* file) {
  sb_object_counts counts;
  std::unordered_set<obj_t*> seen;
  container_t* list = nullptr;
  file_get_objects(file, &list);
  collect(list, &seen, &counts, nullptr);
  return counts;
}

int sb_image_size(fileatt_t* file, int* width, int* height) {
  int w = 0, h = 0;
  if (width) *width = 0;
  if (height) *height = 0;
  if (!file) return ERR_PARAMETERS;
  if (!file_has_objects(file)) {
    const int rc = file_load(file, nullptr, 0);
    if (rc != 0) return rc;
    if (get_gblerr() != 0) return get_gblerr();
  }
  if (content_georef(file)) return ERR_GEOGRAPHIC;
  for (bitmap_t* b : content_bitmaps(file)) {
    if (b->width > w) w = b->width;
    if (b->height > h) h = b->height;
  }
  if (width) *width = w;
  if (height) *height = h;
  return 0;
}

int sb_image_size_path(const char* path, int* width, int* height) {
  if (width) *width = 0;
  if (height) *height = 0;
  fileatt_t* file = nullptr;
  file_find_by_name(path, &file);
  if (!file) file_open(nullptr, nullptr, path, &file);
  if (!file) return ERR_FILE_ACCESS;
  return sb_image_size(file, width, height);
}

std::string sb_image_dims_text(const bitmap_t* b) {
  if (!b) return "";
  return format(" %ld x %ld  %ld x %ld bits", long(b->width), long(b->height), long(b->samples_per_pixel),
                long(b->bits_per_sample));
}

std::string sb_file_description(fileatt_t* file) {
  if (!file) return "";
  switch (file_type(file)) {
    case kFileKindRaster: {
      const std::vector<bitmap_t*> images = content_bitmaps(file);
      if (images.empty()) return "";
      return std::string(sb_raster_kind_name(images[0])) + sb_image_dims_text(images[0]);
    }
    case kFileKindMap:
    case kFileKindGps: {
      const char* name = format_display_name(int(file_get_format(file)));
      return name ? name : "";
    }
    case kFileKindArchive:
      return "GZIP";
    default:
      return "";
  }
}

std::string sb_image_info_text(const bitmap_t* b) {
  if (!b) return "";
  std::string out = format("Dimension\n%ld x %ld pixels", long(b->width), long(b->height));
  out += tr("\nPixel size\n", "\nTaille des pixels\n");
  if (b->samples_per_pixel == 1)
    out += format("%ld bits", long(b->bits_per_sample));
  else
    out += format("%ld x %ld bits", long(b->samples_per_pixel), long(b->bits_per_sample));
  const int32_t res = b->xres > b->yres ? b->xres : b->yres;
  if (res > 0) out += format("\nResolution\n%ld ppi", long(res));
  if (b->exif && b->exif->cls == CLS_PHOTO_META) {
    const photo_meta_t* m = static_cast<const photo_meta_t*>(b->exif);
    char* camera = m->make_model;
    if (camera && *camera) out += std::string(tr("\nCamera\n", "\nAppareil photo\n")) + camera;
    const date_rec date = m->date;
    if (date.date > 0.0) {
      char* text = nullptr;
      format_date_iso_span(&date, 1, 0, &text);
      out += std::string("\nDate\n") + (text ? text : "");
      free_mem(&text);
    }
    const double focal = m->focal_length, focal35 = m->focal_length_35mm, exposure = m->exposure_time;
    const double aperture = m->f_number, max_aperture = m->max_aperture, distance = m->subject_distance;
    const int32_t iso = m->iso, flash = m->flash;
    if (focal > 0.0) out += format(is_french() ? "\nFocale\n%.2lf mm" : "\nFocal\n%.2lf mm", focal);
    if (focal35 > 0.0)
      out += format(is_french() ? "\nFocale équivalente en 35mm\n%.2lf mm" : "\n35mm focal equivalent\n%.2lf mm",
                    focal35);
    if (iso > 0) out += format("\nIso\n%ld", long(iso));
    if (exposure > 0.0) {
      out += tr("\nTime exposure\n", "\nTemps de pose\n");
      out += exposure < 1.0 ? format("1/%.2lf s", 1.0 / exposure) : format("%.4lf s", exposure);
    }
    if (aperture > 0.0) out += format(is_french() ? "\nOuverture\nF %.3lf" : "\nAperture\nF%.3lf", aperture);
    if (max_aperture > 0.0)
      out += format(is_french() ? "\nOuverture maximale\nF %.1lf" : "\nLens max aperture\nF %.1lf", max_aperture);
    if (distance > 0.0) out += format("\nDistance\n%.4lf", distance);
    if (flash != 0) out += std::string("\nFlash\n") + (flash == 1 ? tr("On", "Actif") : tr("Off", "Inactif"));
  }
  // The position record of the image; for the shown photo, the position it had before
  // the viewer took it off to show the photo in its own pixel grid.
  const position_t* p = image_position(b);
  const sb_state& s = sb();
  if (p || (s.placed_image && s.placed_image == b)) {
    const double lon = p ? p->coords.x : s.placed_lon, lat = p ? p->coords.y : s.placed_lat;
    out += format(is_french() ? "\nPosition GPS (lon ; lat)\n(%.7lf ° ; %.7lf °)"
                              : "\nGPS position (lon ; lat)\n(%.7lf ° ; %.7lf °)",
                  lon, lat);
  }
  return out;
}

std::string sb_file_info_text(fileatt_t* file) {
  if (!file) return "";
  std::string out = std::string(tr("Name\n", "Nom\n")) + file_get_name(file);
  const int type = file_type(file);
  const int fmt = int(file_get_format(file));
  if (type == kFileKindArchive) {
    if (fmt == kFormatGzip) out += "\nCompression\nGzip";
    if (fmt == kFormatZip) out += "\nCompression\nZip";
  }
  if (type == kFileKindRaster) {
    const std::vector<bitmap_t*> images = content_bitmaps(file);
    if (!images.empty())
      out += std::string("\nFormat\n") + sb_raster_kind_name(images[0]) + "\n" + sb_image_info_text(images[0]);
  }
  if (type == kFileKindMap || type == kFileKindGps) {
    const char* name = format_display_name(fmt);
    out += std::string("\nFormat\n") + (name ? name : "");
    if (const georef_t* g = content_georef(file)) {
      const int kind = g->refertype;
      const geodatum_t* datum = g->datum;
      const cartproj_t* projection = g->projection;
      if (kind == GEOREF_GEOGRAPHIC && datum)
        out += std::string("\n") + tr("Geodetic system\n", "Systeme geodesique\n") + (datum->name ? datum->name : "");
      else if (kind == GEOREF_PROJECTED && projection)
        out += std::string("\n") + tr("Cartographic projection\n", "Projection cartographique\n") +
               (projection->name ? projection->name : "");
    }
    const sb_object_counts c = sb_count_objects(file);
    out += tr("\nTotal number of objects\n", "\nNombre total d'objets\n") + format("%d", c.total);
    add_count(&out, "\nNumber of images\n", "\nNombre d'images\n", c.of(CLS_BITMAP));
    if (in(fmt, {28, 29, 30, 32, 33, 35, 36, 37, 40, 44, 45, 61, 64, 65, 66, 69, 70, 71, 72, 73})) {
      gps_counts(&out, c);
    } else if (fmt == 34) {
      interest_counts(&out, c);
      gps_counts(&out, c);
    } else if (in(fmt, {38, 42, 58, 67, 68})) {
      interest_counts(&out, c);
    } else if (fmt == kFormatNmea) {
      position_counts(&out, c);
    }
  }
  return out;
}

std::string sb_about_title(double memory_bytes) {
  const long mib = long(memory_bytes * 9.5367431640625e-7 + 1.0);
  return std::string(kSbAppName) + " " + kSbAppVersion + " (" + tr(kSbDateEn, kSbDateFr) + ") " + kSbWebAddress +
         " - Mem " + format("%ld", mib) + tr("Mb", "Mo");
}
