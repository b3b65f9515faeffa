// ECW images: opening a view, the georeference of the file information, the line
// blocks of decoder row 16 and the end of a view (ecw.h).
#include <cmath>
#include <cstring>
#include <new>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/object.h"
#include "geodesy/geodesy_records.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/projection.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "raster/ecw_internal.h"
#include "raster/raster_georef_internal.h"

namespace {

constexpr int kEcwPixelKind = 25;
constexpr int kEcwBlockLines = 20;
constexpr int kMaxPlanes = 3;

// The file information's cell-size unit codes.
enum cell_unit : int { kCellUnknown = 0, kCellMetres = 1, kCellDegrees = 2, kCellFeet = 3 };

// Unit of a geographic georeference for each cell-size unit code: only degrees give
// one; -1 refuses the file (14).
constexpr int kGeographicUnit[4] = {-1, -1, ANG_DEGREE, -1};
// Unit of a projected georeference: metres (also for an unknown unit) or feet; cells in
// degrees cannot measure a projection.
constexpr int kProjectedUnit[4] = {LEN_METRE, LEN_METRE, -1, LEN_FOOT};

int unit_of(const int (&table)[4], int code) {
  return code >= 0 && code < 4 ? table[code] : -1;
}

int fail(int code) {
  set_gblerr(code);
  return code;
}

void free_state(bitmap_t* image) {
  delete static_cast<ecw_state*>(image->decoder);
  image->decoder = nullptr;
}

}  // namespace

// The information must describe an image the program can hold.
bool ecw_info_usable(const ecw_file_info* info) {
  if (!info || info->width < 1 || info->height < 1 || info->bands < 1) return false;
  if (info->width > 1000000 || info->height > 1000000 || info->bands > 256) return false;
  for (double v : {info->cell_x, info->cell_y, info->origin_x, info->origin_y})
    if (!std::isfinite(v)) return false;
  return info->datum && info->projection;
}

namespace {

int round_half_away(double v) {
  const double r = std::round(v);
  if (r > 2147483647.0) return 2147483647;
  if (r < -2147483647.0) return -2147483647;
  return int(r);
}

// The projection of a name on the file's datum: the one of that datum, else a copy of
// another datum's made on it and registered.
cartproj_t* projection_on(const char* name, geodatum_t* datum) {
  cartproj_t* found = nullptr;
  if (proj_find_ecw(name, datum, &found)) return found;
  cartproj_t* other = nullptr;
  if (!geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_ECW, name, &other) || !other) return nullptr;
  // A copy made for an earlier file serves again.
  cartproj_t* cursor = nullptr;
  while (proj_next_of_datum(datum, &cursor))
    if (proj_equal(cursor, other)) return cursor;
  const double params[8] = {other->lambda0, other->phio0, other->k0,     other->x0,
                            other->y0,      other->coeff1, other->coeff2, other->coeff3};
  cartproj_t* copy = nullptr;
  proj_create(other->name, other->projtype, params, LEN_METRE, ANG_RADIAN, datum, 0, &copy);
  if (copy) copy->unit = other->unit;
  return copy;
}

}  // namespace

ecw_state* ecw_state_of(const bitmap_t* image) {
  return image ? static_cast<ecw_state*>(image->decoder) : nullptr;
}

void ecw_close_locked(ecw_state* s, int free_cache) {
  if (!s->view) return;
  if (const ecw_calls* lib = ecw_library()) lib->close_view(s->view, free_cache);
  s->view = nullptr;
  s->info = nullptr;
}

int ecw_georef(const ecw_file_info* info, bitmap_t* image) {
  if (!info || !image || !info->datum || !info->projection) return 0;
  geodatum_t* datum = nullptr;
  if (!geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_ECW, info->datum, &datum) || !datum) return 0;
  georef_t* g = nullptr;
  obj_new_registered(CLS_GEOREF, &g);
  if (!g) return fail(ERR_MEMORY);
  g->datum = datum;
  const char* proj = info->projection;
  if (std::strcmp(proj, "RAW") == 0 || std::strcmp(proj, "GEODETIC") == 0) {
    const int unit = unit_of(kGeographicUnit, info->cell_unit);
    if (unit < 0) {
      free_obj(&g);
      return fail(ERR_BAD_FILE);
    }
    g->refertype = GEOREF_GEOGRAPHIC;
    g->unit = unit;
  } else {
    cartproj_t* p = projection_on(proj, datum);
    if (!p) {
      free_obj(&g);
      return fail(ERR_GEOGRAPHIC);
    }
    const int unit = unit_of(kProjectedUnit, info->cell_unit);
    if (unit < 0) {
      free_obj(&g);
      return fail(ERR_BAD_FILE);
    }
    g->refertype = GEOREF_PROJECTED;
    g->projection = p;
    g->unit = unit;
  }
  obj_t* step = make_offset_scale(info->cell_x, info->cell_y, 1.0, 0.0, 0.0, info->origin_x,
                                  info->origin_y);
  if (!step) {
    free_obj(&g);
    return ERR_MEMORY;
  }
  georef_set_pixel_step(g, step);
  if (image->georef) free_obj(&image->georef);
  image->georef = g;
  return 0;
}

int ecw_open(bitmap_t* image) {
  if (!image) return fail(kEcwRefused);
  ecw_state* s = ecw_state_of(image);
  if (!s) {
    // The state is made by the load, before any other thread knows the image.
    s = new (std::nothrow) ecw_state;
    if (!s) return fail(ERR_MEMORY);
    image->decoder = s;
    image->release = nullptr;
  }
  std::lock_guard<std::mutex> hold(s->lock);
  if (s->view) return 0;
  const ecw_calls* lib = ecw_library();
  if (!lib) return fail(kEcwRefused);
  const char* path = image->file ? file_name_of(image->file) : nullptr;
  if (!path || !*path || lib->open_view(path, &s->view, nullptr) != 0 || !s->view) {
    s->view = nullptr;
    return fail(kEcwRefused);
  }
  if (lib->file_info(s->view, &s->info) != 0 || !ecw_info_usable(s->info)) {
    ecw_close_locked(s, 1);
    return fail(kEcwRefused);
  }
  const ecw_file_info* info = s->info;
  s->band_count = info->bands;
  s->bands.resize(size_t(info->bands));
  for (int b = 0; b < info->bands; ++b) s->bands[size_t(b)] = b;
  s->lines.assign(size_t(info->bands), nullptr);
  if (image->lines) return 0;  // a reopened view
  image->variant = kEcwPixelKind;
  image->width = int32_t(info->width);
  image->height = int32_t(info->height);
  image->samples_per_pixel = info->bands;
  image->bits_per_sample = 8;
  if (info->bands == 1) set_graylevel_lut(image);
  image->planes = info->bands >= kMaxPlanes ? kMaxPlanes : 1;
  if (std::strcmp(info->datum, "RAW") == 0) {
    image->xres = round_half_away(info->cell_x);
    image->yres = round_half_away(info->cell_y);
    return 0;
  }
  return ecw_georef(info, image);
}

// The code goes back as the result and gblerr is left clear, as the dispatcher wants it
// to free a record that failed.
int ecw_read(bitmap_t* image, int requested_line) {
  if (int rc = ecw_open(image)) {
    set_gblerr(0);
    ecw_free_view(image);
    return rc;
  }
  if (requested_line < 0) return 0;
  ecw_state* s = ecw_state_of(image);
  // Lines are decoded only into an image that has a line store.
  if (!image->lines || requested_line >= image->height) return kEcwRefused;
  const ecw_calls* lib = ecw_library();
  std::lock_guard<std::mutex> hold(s->lock);
  const int first = requested_line;
  const int end = std::min(first + kEcwBlockLines, int(image->height));
  const int width = image->width;
  // Bands beyond the image's planes (a second band, a fourth and more) go to scratch.
  std::vector<uint8_t> scratch(static_cast<size_t>(width));
  bool ok = s->view && lib &&
            lib->set_view(s->view, s->band_count, s->bands.data(), 0, first, width - 1,
                          end - 1, width, end - first) == 0;
  for (int line = first; ok && line < end; ++line) {
    for (int b = 0; b < s->band_count; ++b) {
      uint8_t* d = b < image->planes ? get_img_line_adr(image, line, b) : nullptr;
      s->lines[size_t(b)] = d ? d : scratch.data();
    }
    ok = lib->read_bands(s->view, s->lines.data()) == 0;
  }
  if (ok) return 0;
  ecw_close_locked(s, 1);
  s->bands.clear();
  s->lines.clear();
  return kEcwRefused;
}

void ecw_free_view(bitmap_t* image) {
  if (!image) return;
  ecw_jobs_forget(image);
  ecw_open_list_remove(image);
  ecw_state* s = ecw_state_of(image);
  if (!s) return;
  {
    std::lock_guard<std::mutex> hold(s->lock);
    ecw_close_locked(s, 1);
  }
  free_state(image);
}
