// The directory walk of one TIFF page: the tag table (tags below 533), the EXIF entries
// and the GeoTIFF tags, then the checks that keep or discard the page.
//
// Every array is read only after its values were found to lie inside the file, so a
// count of 2^32-1 is refused before anything is allocated.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "core/error.h"
#include "core/memory.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/exif_read.h"
#include "raster/geotiff.h"
#include "raster/tiff_state.h"
#include "raster/tiff_values.h"

namespace {

int bad() { return set_gblerr(ERR_BAD_FILE), ERR_BAD_FILE; }
int unsupported() { return set_gblerr(ERR_UNKNOWN_FORMAT), ERR_UNKNOWN_FORMAT; }

void release_state(void* block) {
  if (block) static_cast<tiff_state*>(block)->~tiff_state();
}

struct entry {
  int tag = 0;
  int type = 0;
  uint32_t count = 0;
};

struct walk {
  bitmap_t* page;
  tiff_state* st;
  entry e;
};

bool short_or_long(int type) { return type == kTiffShort || type == kTiffLong; }

// The single SHORT (or LONG, when allowed) value of an entry.
int one_value(const walk& w, bool allow_long, int64_t* v) {
  if (w.e.count != 1 || !(w.e.type == kTiffShort || (allow_long && w.e.type == kTiffLong)))
    return bad();
  *v = tiff_read_integer(w.st->order, w.e.type);
  return get_gblerr() ? bad() : 0;
}

int one_short(const walk& w, int64_t* v) { return one_value(w, false, v); }

// A SHORT or LONG array, its values inside the file.
int read_array(const walk& w, std::vector<uint32_t>* out) {
  if (!short_or_long(w.e.type)) return bad();
  if (tiff_seek_values(w.st->order, w.st->base, w.e.type, w.e.count, 0)) return bad();
  out->assign(w.e.count, 0);
  for (uint32_t i = 0; i < w.e.count; ++i)
    (*out)[i] = uint32_t(tiff_read_integer(w.st->order, w.e.type));
  return get_gblerr() ? bad() : 0;
}

void grey_map(tiff_state* st, bool white_is_zero) {
  // Samples above 8 bits are mapped by their high byte; 0 bits (a bad page) as 1.
  const int bits = std::clamp(st->bits_per_sample, 1, 8);
  const int step = 255 / ((1 << bits) - 1);
  for (int i = 0; i < 256; ++i) {
    const int v = i * step > 255 ? 255 : i * step;
    st->sample_map[i] = uint8_t(white_is_zero ? 255 - v : v);
  }
}

void identity_map(tiff_state* st) {
  for (int i = 0; i < 256; ++i) st->sample_map[i] = uint8_t(i);
}

int tag_subfile_type(walk& w) {
  if (w.e.type != kTiffLong || w.e.count != 1) return bad();
  const uint32_t v = uint32_t(tiff_read_integer(w.st->order, kTiffLong));
  w.st->reduced = v & 1;
  w.st->page = v & 2;
  w.st->mask = v & 4;
  return 0;
}

int tag_size(walk& w) {
  int64_t v = 0;
  if (int rc = one_value(w, true, &v)) return rc;
  (w.e.tag == 256 ? w.st->width : w.st->height) = v;
  return 0;
}

int tag_bits(walk& w) {
  if (w.e.type != kTiffShort || w.e.count == 0) return bad();
  if (tiff_seek_values(w.st->order, w.st->base, w.e.type, w.e.count, 0)) return bad();
  const int first = int(tiff_read_integer(w.st->order, kTiffShort));
  for (uint32_t i = 1; i < w.e.count; ++i)
    if (int(tiff_read_integer(w.st->order, kTiffShort)) != first) return unsupported();
  if (get_gblerr()) return bad();
  w.st->bits_per_sample = first;
  return 0;
}

int compression_kind(int64_t c) {
  switch (c) {
    case 1: return kTiffKindNone;
    case 2: return kTiffKindMh;
    case 3: return kTiffKindG3;
    case 4: return kTiffKindG4;
    case 5: return kTiffKindLzw;
    case 6: case 7: return kTiffKindJpeg;
    case 32773: return kTiffKindPackBits;
    default: return kTiffKindUnknown;
  }
}

int tag_compression(walk& w) {
  int64_t v = 0;
  if (int rc = one_short(w, &v)) return rc;
  w.st->compression = int(v);
  w.st->pixel_kind = compression_kind(v);
  w.page->variant = w.st->pixel_kind;
  if (v == 3 || v == 4) {
    identity_map(w.st);
    w.st->sample_map[0] = 255;
    w.st->sample_map[1] = 0;
    set_graylevel_lut(w.page);
    w.st->colour_mode = 1;
  }
  return 0;
}

// Colour pages by photometric interpretation: samples per pixel and colour model.
struct colour_kind {
  int photometric, samples, model;
};
constexpr colour_kind kColourKinds[] = {
    {2, 3, kModelRgb}, {5, 4, kModelCmyk}, {6, 3, kModelYcbcr}, {8, 3, kModelLab}};

int tag_photometric(walk& w) {
  int64_t v = 0;
  if (int rc = one_short(w, &v)) return rc;
  tiff_state* st = w.st;
  st->photometric = int(v);
  if (v == 0 || v == 1) {  // WhiteIsZero, BlackIsZero
    grey_map(st, v == 0);
    set_graylevel_lut(w.page);
    st->samples_per_pixel = 1;
    st->colour_mode = st->bits_per_sample == 1 ? 1 : 2;
    return 0;
  }
  if (v == 3) {  // palette: the ColorMap fills the lookup tables
    identity_map(st);
    st->samples_per_pixel = 1;
    st->colour_mode = 3;
    return 0;
  }
  if (v == 4) {  // transparency mask
    st->mask = true;
    return 0;
  }
  for (const colour_kind& k : kColourKinds) {
    if (k.photometric != v) continue;
    st->samples_per_pixel = k.samples;
    st->colour_mode = 4;
    st->colour_model = k.model;
    return 0;
  }
  return bad();
}

int tag_short_field(walk& w) {
  int64_t v = 0;
  if (int rc = one_short(w, &v)) return rc;
  switch (w.e.tag) {
    case 266: w.st->fill_order = int(v); break;
    case 274: w.st->orientation = int(v); break;
    case 284: w.st->planar = int(v); break;
    default: break;
  }
  return 0;
}

int tag_offsets(walk& w) {
  if (int rc = read_array(w, &w.st->offsets)) return rc;
  if (w.e.tag == 324) {
    w.st->tiled = true;
    if (int64_t(w.e.count) < w.st->tiles_across * w.st->tiles_down) return bad();
  }
  return 0;
}

int tag_samples(walk& w) {
  int64_t v = 0;
  if (w.e.type == kTiffShort && w.e.count == 1) v = tiff_read_integer(w.st->order, kTiffShort);
  w.st->samples_per_pixel = int(v);
  return 0;
}

int tag_rows_per_strip(walk& w) {
  int64_t v = 0;
  if (int rc = one_value(w, true, &v)) return rc;
  w.st->rows_per_strip = v;
  return 0;
}

int tag_counts(walk& w) {
  if (w.e.count < w.st->offsets.size()) return bad();
  return read_array(w, &w.st->counts);
}

int tag_resolution(walk& w) {
  if (w.e.type != kTiffRational || w.e.count < 1) return 0;
  if (tiff_seek_values(w.st->order, w.st->base, w.e.type, 1, 0)) return bad();
  const double v = tiff_read_rational(w.st->order);
  const int32_t r = v >= 0 && v < 2e9 ? int32_t(v) : 0;
  if (w.e.tag == 282) w.page->xres = r; else w.page->yres = r;
  return 0;
}

int tag_t6_options(walk& w) {
  if (w.e.type != kTiffLong || w.e.count != 1) return 0;
  w.st->uncompressed_ok = tiff_read_integer(w.st->order, kTiffLong) & 2;
  return 0;
}

int tag_resolution_unit(walk& w) {
  int64_t v = 0;
  if (int rc = one_short(w, &v)) return rc;
  if (v == 3) {
    w.page->xres = int32_t(std::lround(w.page->xres * 2.54));
    w.page->yres = int32_t(std::lround(w.page->yres * 2.54));
  } else if (v != 1 && v != 2) {
    return bad();
  }
  return 0;
}

int tag_predictor(walk& w) {
  if (w.st->pixel_kind != kTiffKindLzw) return 0;
  int64_t v = 0;
  if (int rc = one_short(w, &v)) return rc;
  w.st->predictor = int(v) - 1;
  return 0;
}

// Each 16-bit value v becomes the byte nearest to v x 255 / 65535, halves up.
uint8_t colour_byte(uint32_t v) { return uint8_t((v * 510u + 65535u) / 131070u); }

int tag_colour_map(walk& w) {
  tiff_state* st = w.st;
  if (st->colour_model != kModelNone) return 0;
  if (w.e.type != kTiffShort || w.e.count % 3 != 0) return bad();
  if (st->bits_per_sample > 8) return 0;
  const uint32_t n = w.e.count / 3;
  if (n > (1u << st->bits_per_sample)) return bad();
  if (tiff_seek_values(st->order, st->base, w.e.type, w.e.count, 0)) return bad();
  uint8_t* tables[3] = {w.page->lut_r, w.page->lut_g, w.page->lut_b};
  for (auto* t : tables)
    for (uint32_t i = 0; i < n; ++i)
      t[i] = colour_byte(uint32_t(tiff_read_integer(st->order, kTiffShort)));
  return get_gblerr() ? bad() : 0;
}

int tag_tile_size(walk& w) {
  int64_t v = 0;
  if (int rc = one_value(w, true, &v)) return rc;
  if (v <= 0 || v % 16 != 0) return bad();
  tiff_state* st = w.st;
  if (w.e.tag == 322) {
    st->tile_width = v;
    st->tiles_across = (st->width + v - 1) / v;
  } else {
    st->tile_length = v;
    st->tiles_down = (st->height + v - 1) / v;
  }
  return 0;
}

int tag_ycbcr_subsampling(walk& w) {
  if (w.e.type != kTiffShort || w.e.count != 2) return 0;
  const int64_t h = tiff_read_integer(w.st->order, kTiffShort);
  const int64_t v = tiff_read_integer(w.st->order, kTiffShort);
  w.st->ycbcr_subsampled = !(h == 1 && v == 1);
  w.st->ycbcr_subsampling_given = true;
  return 0;
}

using tag_fn = int (*)(walk&);

tag_fn base_tag(int tag) {
  switch (tag) {
    case 254: return tag_subfile_type;
    case 256: case 257: return tag_size;
    case 258: return tag_bits;
    case 259: return tag_compression;
    case 262: return tag_photometric;
    case 266: case 274: case 284: return tag_short_field;
    case 273: case 324: return tag_offsets;
    case 277: return tag_samples;
    case 278: return tag_rows_per_strip;
    case 279: case 325: return tag_counts;
    case 282: case 283: return tag_resolution;
    case 293: return tag_t6_options;
    case 296: return tag_resolution_unit;
    case 317: return tag_predictor;
    case 320: return tag_colour_map;
    case 322: case 323: return tag_tile_size;
    case 530: return tag_ycbcr_subsampling;
    default: return nullptr;  // read and ignored
  }
}

bool is_exif_tag(int tag) { return tag == 271 || tag == 272 || tag == 34665 || tag == 34853; }

int run_entry(walk& w, geotiff_context** geo, bool viewer) {
  const int tag = w.e.tag;
  if (is_exif_tag(tag)) {
    if (viewer && tag == 34853) return 0;
    rd_seek(-6, 1);  // back to just after the tag
    return exif_ifd0_tag(w.page, tag, w.st->order, w.st->base, 0);
  }
  if (tag < 533) {
    const tag_fn fn = base_tag(tag);
    return fn ? fn(w) : 0;
  }
  if (tag > 33432 && !viewer) {
    rd_seek(-6, 1);
    return geotiff_tag(geo, tag, w.page, w.st->order);
  }
  return 0;
}

}  // namespace

tiff_state* tiff_attach_state(bitmap_t* page) {
  void* block = nullptr;
  alloc_mem_zero(&block, sizeof(tiff_state));
  if (!block) return nullptr;
  auto* st = new (block) tiff_state();
  page->decoder = st;
  page->release = release_state;
  return st;
}

tiff_state* tiff_state_of(const bitmap_t* page) {
  if (!page || page->release != release_state) return nullptr;
  return static_cast<tiff_state*>(page->decoder);
}

int tiff_walk_directory(bitmap_t* page, tiff_state* st, bool viewer) {
  const int64_t start = rd_tell();
  const int n = tiff_numbers(st->order).u16();
  if (get_gblerr()) return bad();
  geotiff_context* geo = nullptr;
  int rc = 0;
  st->next_directory_at = start + 2 + int64_t(n) * 12;
  for (int i = 0; i < n && rc == 0; ++i) {
    const int64_t at = start + 2 + int64_t(i) * 12;
    rd_seek(at, 0);
    walk w{page, st, {}};
    w.e.tag = tiff_numbers(st->order).u16();
    tiff_read_entry_head(st->order, &w.e.type, &w.e.count);
    if (get_gblerr()) {
      rc = bad();
      break;
    }
    rc = run_entry(w, &geo, viewer);
    if (rc == 0 && get_gblerr()) rc = bad();
  }
  if (geo && rc != 0) geotiff_discard(&geo);  // the page goes: so does its georeference
  if (geo) rc = geotiff_finish(&geo, page);
  return rc;
}

namespace {

bool allowed_bits_per_pixel(int bpp) {
  switch (bpp) {
    case 1: case 4: case 8: case 16: case 24: case 32: case 40: case 48: case 56: return true;
    default: return false;
  }
}

}  // namespace

int tiff_check_page(tiff_state* st, int* planes) {
  if (st->width <= 0 || st->height <= 0 || st->width > INT32_MAX || st->height > INT32_MAX)
    return ERR_BAD_FILE;
  const int bps = st->bits_per_sample, spp = st->samples_per_pixel;
  if (spp < 1) return ERR_UNKNOWN_FORMAT;
  if (bps != 1 && bps != 4 && bps != 8 && bps != 16) return ERR_UNKNOWN_FORMAT;
  if (bps < 8 && spp != 1) return ERR_UNKNOWN_FORMAT;
  if (st->planar != 1 && st->planar != 2) return ERR_BAD_FILE;
  // Bits of a whole pixel, whichever way its samples are stored.
  const int bpp = bps * spp;
  st->bits_per_pixel = st->planar == 1 ? bpp : bps;
  if (!allowed_bits_per_pixel(bpp)) return ERR_UNKNOWN_FORMAT;
  if (st->colour_model == kModelCmyk ? spp < 4 : (st->colour_mode == 4 && spp < 3))
    return ERR_UNKNOWN_FORMAT;
  if (st->colour_model == kModelYcbcr && !st->ycbcr_subsampling_given)
    st->ycbcr_subsampled = true;  // the format's default is 2 x 2
  const int mode = st->colour_mode;
  *planes = (mode == 1 || mode == 2 || mode == 0 || bpp < 24) ? 1 : 3;
  if (st->tiled) {
    if (st->tile_width <= 0 || st->tile_length <= 0) return ERR_BAD_FILE;
    st->tiles_across = (st->width + st->tile_width - 1) / st->tile_width;
    st->tiles_down = (st->height + st->tile_length - 1) / st->tile_length;
  } else if (st->rows_per_strip <= 0 || st->rows_per_strip > st->height) {
    // A single strip covers the height; rows per strip past the height are the height.
    if (st->rows_per_strip > st->height || st->offsets.size() == 1) st->rows_per_strip = st->height;
    else return ERR_BAD_FILE;  // rows per strip unknown
  }
  // Every strip or tile of the page must have an offset (and a byte count when any).
  const int64_t per_plane = st->tiled ? st->tiles_across * st->tiles_down
                                      : (st->height + st->rows_per_strip - 1) / st->rows_per_strip;
  const int64_t needed = per_plane * (st->planar == 2 ? spp : 1);
  if (int64_t(st->offsets.size()) < needed) return ERR_BAD_FILE;
  if (!st->counts.empty() && st->counts.size() < st->offsets.size()) return ERR_BAD_FILE;
  return tiff_refusal(st);
}
