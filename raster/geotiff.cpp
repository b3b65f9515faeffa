// GeoTIFF georeferencing (geotiff.h).
//
// The tags come in ascending order, so the pixel scale (33550) normally comes before
// the tiepoints (33922), then the matrix (34264) and the GeoKey directory (34735). The
// first transformation met wins. What depends on the keys (PixelIsPoint moves the
// model by half a pixel) or on the order of the tags (a tiepoint before its scale) is
// settled by the finisher, which also works out the inverse of a matrix.
//
// Image pixels map to the model as the display sees them: the pixel grid's corner
// (0, 0) is the top-left corner of the first pixel. A PixelIsPoint raster ties its
// model coordinates to the pixels' centres instead, so its raster coordinates are moved
// by half a pixel: (I, J) of a tiepoint is (I + 0.5, J + 0.5) of the grid.
//
// Every count read from the file is checked against the bytes there before its values
// are read (tiff_seek_values), so a count never drives a loop past the file's end.
#include "raster/geotiff.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "core/error.h"
#include "core/reader.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "raster/tiff_values.h"

struct geotiff_context {
  bitmap_t* image;
  int order;
  georef_t* georef;
  bool own_georef;          // made here: dropped with its steps on failure
  obj_t* step;              // the transformation built here (class 42 or 43)
  bool have_tiepoint;       // the first tiepoint, kept for a scale that comes after it
  double tiepoint[6];
  bool pixel_is_point;      // GTRasterTypeGeoKey 2
};

namespace {

constexpr int kTagPixelScale = 33550;
constexpr int kTagIntergraphMatrix = 33920;
constexpr int kTagTiepoint = 33922;
constexpr int kTagTransformation = 34264;
constexpr int kTagKeyDirectory = 34735;
constexpr int kTagDoubleParams = 34736;
constexpr int kTagAsciiParams = 34737;

constexpr int kKeyModelType = 1024;
constexpr int kKeyRasterType = 1025;
constexpr int kKeyGeographicType = 2048;
constexpr int kKeyProjectedType = 3072;

constexpr int kRasterPixelIsPoint = 2;
constexpr int kKeyUndefined = 0;
constexpr int kKeyUserDefined = 32767;
constexpr uint32_t kMaxDoubleParams = 30;

constexpr int kTransfoScale = XK_OFFSET_SCALE;  // 1
constexpr int kTransfoMatrix = XK_AFFINE3D;     // 3

int fail(int code) { return set_gblerr(code); }

// ---- The steps -------------------------------------------------------------------------
// The object store frees nothing while an error is pending, and a page is dropped just
// when one is: the error is set aside while the page's objects go, then restored.
struct error_set_aside {
  int code = set_gblerr_aside();
  ~error_set_aside() { set_gblerr(code); }
  static int set_gblerr_aside() {
    const int code = get_gblerr();
    set_gblerr(0);
    return code;
  }
};

// Frees a step made here, with the tiepoint of a scale step.
void free_step(obj_t** step) {
  if (!*step) return;
  if ((*step)->cls == CLS_XFORM_OFFSET_SCALE) {
    auto* s = static_cast<xform_offset_scale_t*>(*step);
    xform_control_point_t* origin = s->origins;
    s->origins = nullptr;
    free_obj(&origin);
  }
  free_obj(step);
}

// The georeference made here goes, with its step; a georeference the record had before
// stays.
void drop_georef(geotiff_context* c) {
  const error_set_aside aside;
  if (c->georef && c->georef->transfo == c->step) {
    c->georef->transfo = nullptr;
    c->georef->transfotype = 0;
  }
  free_step(&c->step);
  if (c->own_georef && c->georef) {
    if (c->image && c->image->georef == c->georef) c->image->georef = nullptr;
    free_obj(&c->georef);
  }
  c->georef = nullptr;
}

void free_context(geotiff_context** slot) {
  delete *slot;
  *slot = nullptr;
}

// Reads n doubles at the reader's position; 14 when one is not a finite number, or the
// reader's error.
int read_doubles(int order, double* out, int n) {
  const tiff_number_readers& r = tiff_numbers(order);
  for (int i = 0; i < n; ++i) out[i] = r.f64();
  if (get_gblerr() != 0) return get_gblerr();
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(out[i])) return fail(ERR_BAD_FILE);
  return 0;
}

// The entry's type and count must be those given; then the reader goes to its values.
int entry_values(geotiff_context* c, int want_type, uint32_t* count) {
  int type = 0;
  tiff_read_entry_head(c->order, &type, count);
  if (get_gblerr() != 0) return get_gblerr();
  if (type != want_type) return fail(ERR_BAD_FILE);
  return 0;
}

int seek_values(geotiff_context* c, int type, uint32_t count) {
  return tiff_seek_values(c->order, 0, type, count, 0);
}

xform_control_point_t* make_tiepoint(const double v[6]) {
  xform_control_point_t* p = nullptr;
  obj_new_registered(CLS_XFORM_CONTROL_POINT, &p);
  if (!p) return nullptr;
  p->sx = v[0];
  p->sy = v[1];
  p->sz = v[2];
  p->tx = v[3];
  p->ty = v[4];
  p->tz = v[5];
  return p;
}

// ---- Tags --------------------------------------------------------------------------------
int tag_pixel_scale(geotiff_context* c) {
  uint32_t count = 0;
  if (int rc = entry_values(c, kTiffDouble, &count)) return rc;
  if (count != 3) return fail(ERR_BAD_FILE);
  if (c->georef->transfo) return 0;
  if (int rc = seek_values(c, kTiffDouble, count)) return rc;
  double scale[3];
  if (int rc = read_doubles(c->order, scale, 3)) return rc;
  xform_offset_scale_t* step = nullptr;
  obj_new_registered(CLS_XFORM_OFFSET_SCALE, &step);
  if (!step) return fail(ERR_MEMORY);
  step->sx = scale[0];
  step->sy = -scale[1];  // rows run downwards, northings upwards
  step->sz = scale[2];
  c->step = step;
  c->georef->transfo = step;
  c->georef->transfotype = kTransfoScale;
  return 0;
}

int tag_intergraph_matrix(geotiff_context* c) {
  uint32_t count = 0;
  if (int rc = entry_values(c, kTiffDouble, &count)) return rc;
  if (count != 17) return fail(ERR_BAD_FILE);
  return seek_values(c, kTiffDouble, count);
}

// Only the first tiepoint is used: with a pixel scale it ties the grid to the model.
int tag_tiepoint(geotiff_context* c) {
  uint32_t count = 0;
  if (int rc = entry_values(c, kTiffDouble, &count)) return rc;
  if (count % 6 != 0) return fail(ERR_BAD_FILE);
  if (c->georef->transfotype == kTransfoMatrix || count == 0) return 0;
  if (int rc = seek_values(c, kTiffDouble, count)) return rc;
  if (c->have_tiepoint) return 0;
  if (int rc = read_doubles(c->order, c->tiepoint, 6)) return rc;
  c->have_tiepoint = true;
  return 0;
}

int tag_transformation(geotiff_context* c) {
  uint32_t count = 0;
  if (int rc = entry_values(c, kTiffDouble, &count)) return rc;
  if (count != 16) return fail(ERR_BAD_FILE);
  if (c->georef->transfo) return 0;
  if (int rc = seek_values(c, kTiffDouble, count)) return rc;
  double m[16];
  if (int rc = read_doubles(c->order, m, 16)) return rc;
  xform_affine3d_t* step = nullptr;
  obj_new_registered(CLS_XFORM_AFFINE3D, &step);
  if (!step) return fail(ERR_MEMORY);
  std::copy(m, m + 16, step->f);
  c->step = step;
  c->georef->transfo = step;
  c->georef->transfotype = kTransfoMatrix;
  return 0;
}

int tag_double_params(geotiff_context* c) {
  uint32_t count = 0;
  if (int rc = entry_values(c, kTiffDouble, &count)) return rc;
  return count == 0 ? 0 : seek_values(c, kTiffDouble, std::min(count, kMaxDoubleParams));
}

int tag_key_directory(geotiff_context* c) {
  uint32_t count = 0;
  if (int rc = entry_values(c, kTiffShort, &count)) return rc;
  if (count < 4 || count % 4 != 0) return fail(ERR_BAD_FILE);
  if (int rc = seek_values(c, kTiffShort, count)) return rc;
  const tiff_number_readers& r = tiff_numbers(c->order);
  uint16_t head[4];
  for (uint16_t& h : head) h = r.u16();
  if (get_gblerr() != 0) return get_gblerr();
  if (uint32_t(head[3]) != count / 4 - 1) return fail(ERR_BAD_FILE);
  for (uint32_t k = 0; k < head[3]; ++k) {
    const uint16_t id = r.u16(), location = r.u16(), n = r.u16(), value = r.u16();
    if (get_gblerr() != 0) return get_gblerr();
    if (location == 0) {
      if (n != 1) return fail(ERR_BAD_FILE);
      if (int rc = geotiff_key(id, c, value)) return rc;
    } else if (location == kTagDoubleParams) {
      if (n != 1) return fail(ERR_BAD_FILE);
    } else if (location != kTagKeyDirectory && location != kTagAsciiParams) {
      return fail(ERR_UNKNOWN_FORMAT);
    }
  }
  return 0;
}

// ---- Finishing -------------------------------------------------------------------------
// The inverse of an affine step x' = A x + t. A full 3-D part is inverted as it is; when
// its z row is zero (as many writers leave it) the plane part is inverted and z kept.
// False when the plane part has no inverse.
bool invert_affine(const double f[16], double g[16]) {
  std::fill(g, g + 16, 0.0);
  g[15] = 1.0;
  const double a = f[0], b = f[1], c = f[2], d = f[4], e = f[5], ff = f[6], p = f[8],
               q = f[9], s = f[10];
  const double det3 = a * (e * s - ff * q) - b * (d * s - ff * p) + c * (d * q - e * p);
  if (det3 != 0.0 && std::isfinite(det3) && std::isfinite(1.0 / det3)) {
    const double m[9] = {(e * s - ff * q) / det3, (c * q - b * s) / det3, (b * ff - c * e) / det3,
                         (ff * p - d * s) / det3, (a * s - c * p) / det3, (c * d - a * ff) / det3,
                         (d * q - e * p) / det3, (b * p - a * q) / det3, (a * e - b * d) / det3};
    const double t[3] = {f[3], f[7], f[11]};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) g[4 * i + j] = m[3 * i + j];
      g[4 * i + 3] = -(m[3 * i] * t[0] + m[3 * i + 1] * t[1] + m[3 * i + 2] * t[2]);
    }
    return true;
  }
  const double det2 = a * e - b * d;
  if (det2 == 0.0 || !std::isfinite(det2) || !std::isfinite(1.0 / det2)) return false;
  g[0] = e / det2;
  g[1] = -b / det2;
  g[4] = -d / det2;
  g[5] = a / det2;
  g[3] = -(g[0] * f[3] + g[1] * f[7]);
  g[7] = -(g[4] * f[3] + g[5] * f[7]);
  g[10] = 1.0;
  return true;
}

int finish_matrix(geotiff_context* c) {
  auto* step = static_cast<xform_affine3d_t*>(c->step);
  double f[16];
  std::copy(step->f, step->f + 16, f);
  if (c->pixel_is_point) {  // the model of pixel centre (0.5, 0.5) is that of (0, 0)
    for (int row = 0; row < 3; ++row) f[4 * row + 3] -= 0.5 * (f[4 * row] + f[4 * row + 1]);
  }
  double g[16];
  if (!invert_affine(f, g)) return fail(ERR_BAD_FILE);
  std::copy(f, f + 16, step->f);
  std::copy(g, g + 16, step->g);
  return 0;
}

// A scale without tiepoint places nothing: the georeference is dropped.
int finish_scale(geotiff_context* c) {
  auto* step = static_cast<xform_offset_scale_t*>(c->step);
  if (!c->have_tiepoint) return 0;
  double t[6];
  std::copy(c->tiepoint, c->tiepoint + 6, t);
  if (c->pixel_is_point) {
    t[0] += 0.5;
    t[1] += 0.5;
  }
  xform_control_point_t* origin = make_tiepoint(t);
  if (!origin) return fail(ERR_MEMORY);
  step->origins = origin;
  return 0;
}

bool has_transformation(const geotiff_context* c) {
  if (!c->step || c->georef->transfo != c->step) return false;
  if (c->step->cls == CLS_XFORM_OFFSET_SCALE)
    return static_cast<const xform_offset_scale_t*>(c->step)->origins != nullptr;
  return true;
}

}  // namespace

int geotiff_key(int key, geotiff_context* c, int value) {
  if (!c || !c->georef) return 0;
  if (value == kKeyUndefined || value == kKeyUserDefined) return 0;
  georef_t* g = c->georef;
  char code[16];
  std::snprintf(code, sizeof code, "%d", value);
  switch (key) {
    case kKeyModelType:
      if (value < 1 || value > 3) return fail(ERR_UNKNOWN_FORMAT);
      g->refertype = value == 1 ? GEOREF_PROJECTED : value == 2 ? GEOREF_GEOGRAPHIC : 3;
      return 0;
    case kKeyRasterType:
      c->pixel_is_point = value == kRasterPixelIsPoint;
      return 0;
    case kKeyGeographicType: {
      geodatum_t* datum = nullptr;
      geo_find_by_alias(CLS_GEODATUM, GEO_SCHEME_EPSG, code, &datum);
      g->datum = datum;
      if (g->refertype == GEOREF_GEOGRAPHIC) georef_reset_unit(g);
      return 0;
    }
    case kKeyProjectedType: {
      cartproj_t* proj = nullptr;
      geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_EPSG, code, &proj);
      if (!proj) return fail(ERR_GEOGRAPHIC);
      g->projection = proj;
      g->unit = proj->unit;
      g->datum = proj->datum;
      return 0;
    }
    default:
      return 0;
  }
}

int geotiff_tag(geotiff_context** slot, int tag, bitmap_t* image, int order) {
  if (!slot || !image) return 0;
  if (!*slot) {
    auto* c = new (std::nothrow) geotiff_context{};
    if (!c) return fail(ERR_MEMORY);
    *slot = c;
    c->image = image;
    c->order = order;
    if (!image->georef) {
      georef_t* g = nullptr;
      obj_new_registered(CLS_GEOREF, &g);
      if (!g) {
        geotiff_discard(slot);
        return fail(ERR_MEMORY);
      }
      image->georef = g;
      c->own_georef = true;
    }
    c->georef = image->georef;
  }
  geotiff_context* c = *slot;
  if (!c->georef) return 0;
  int rc = 0;
  switch (tag) {
    case kTagPixelScale:
      rc = tag_pixel_scale(c);
      break;
    case kTagIntergraphMatrix:
      rc = tag_intergraph_matrix(c);
      break;
    case kTagTiepoint:
      rc = tag_tiepoint(c);
      break;
    case kTagTransformation:
      rc = tag_transformation(c);
      break;
    case kTagKeyDirectory:
      rc = tag_key_directory(c);
      break;
    case kTagDoubleParams:
      rc = tag_double_params(c);
      break;
    default:
      break;
  }
  if (rc != 0) geotiff_discard(slot);  // the page is discarded: nothing of it stays
  return rc;
}

int geotiff_finish(geotiff_context** slot, bitmap_t* image) {
  if (!slot || !*slot) return 0;
  geotiff_context* c = *slot;
  if (image && c->image != image) c->image = image;
  int rc = 0;
  if (c->georef && c->step && c->georef->transfo == c->step) {
    rc = c->step->cls == CLS_XFORM_AFFINE3D ? finish_matrix(c) : finish_scale(c);
  }
  if (rc != 0 || !c->georef || !has_transformation(c)) drop_georef(c);
  free_context(slot);
  return rc;
}

void geotiff_discard(geotiff_context** slot) {
  if (!slot || !*slot) return;
  drop_georef(*slot);
  free_context(slot);
}
