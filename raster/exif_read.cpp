// The EXIF header, the directory walk and IFD0 (exif_read.h).
//
// A walk reads the directory's entry count, bounded by the entries that fit before the
// end of the data, and seeks to each 12-byte entry in turn, so that a handler may leave
// the reader anywhere. A handler checks the field type and count, then reaches the
// values through tiff_seek_values, which refuses values that would not end within the
// data. An error of one entry is cleared and the walk goes on with the next.
#include "raster/exif_read.h"

#include <algorithm>
#include <cstddef>

#include "core/error.h"
#include "core/memory.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/exif_internal.h"
#include "raster/image_place.h"
#include "raster/tiff_values.h"

namespace exif_detail {

namespace {

constexpr int kEntrySize = 12;

int bad_entry() { return set_gblerr(ERR_BAD_FILE); }

bool is_integer_type(int type) {
  return type == kTiffByte || type == kTiffShort || type == kTiffLong || type == kTiffSByte ||
         type == kTiffSShort || type == kTiffSLong;
}

}  // namespace

int seek_values(const exif_call& c, const exif_entry& e) {
  return tiff_seek_values(c.order, c.base, e.type, e.count, c.limit);
}

int read_text(const exif_call& c, const exif_entry& e, std::string* out) {
  out->clear();
  if (e.type != kTiffAscii) return bad_entry();
  if (int rc = seek_values(c, e)) return rc;
  std::string text(std::min(e.count, kMaxText), '\0');
  if (!text.empty() && rd_read_bytes(text.data(), int64_t(text.size())) != int64_t(text.size()))
    return bad_entry();
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  *out = std::move(text);
  return 0;
}

int read_int(const exif_call& c, const exif_entry& e, int64_t* out) {
  if (!is_integer_type(e.type) || e.count < 1) return bad_entry();
  if (int rc = seek_values(c, e)) return rc;
  *out = tiff_read_integer(c.order, e.type);
  return get_gblerr();
}

int read_real(const exif_call& c, const exif_entry& e, double* out) {
  if (e.count < 1) return bad_entry();
  if (is_integer_type(e.type)) {
    int64_t v = 0;
    if (int rc = read_int(c, e, &v)) return rc;
    *out = double(v);
    return 0;
  }
  if (e.type != kTiffRational && e.type != kTiffSRational) return bad_entry();
  if (int rc = seek_values(c, e)) return rc;
  *out = e.type == kTiffRational ? tiff_read_rational(c.order) : tiff_read_srational(c.order);
  return get_gblerr();
}

void walk_directory(exif_call& c, uint32_t offset, entry_handler handler, void* context) {
  const int64_t start = c.base + int64_t(offset);
  if (start < 0 || start + 2 > c.limit) return;
  rd_seek(start, 0);
  const int64_t count = tiff_numbers(c.order).u16();
  if (get_gblerr()) {
    set_gblerr(0);
    return;
  }
  const int64_t room = (c.limit - start - 2) / kEntrySize;
  const int64_t n = std::min(count, room);
  for (int64_t i = 0; i < n; ++i) {
    rd_seek(start + 2 + i * kEntrySize, 0);
    exif_entry e;
    e.tag = tiff_numbers(c.order).u16();
    uint32_t values = 0;
    tiff_read_entry_head(c.order, &e.type, &values);
    e.count = values;
    if (get_gblerr() == 0) handler(c, e, context);
    set_gblerr(0);
  }
}

}  // namespace exif_detail

using namespace exif_detail;

namespace {

// EXIF Orientation 1..8 to the rotation code that brings the photo upright.
constexpr int kRotationOfOrientation[9] = {-1, 0, 4, 3, 5, 6, 2, 7, 1};

constexpr int kTagMake = 271;
constexpr int kTagModel = 272;
constexpr int kTagOrientation = 274;
constexpr int kTagExifIfd = 34665;
constexpr int kTagGpsIfd = 34853;

void append_make_model(bitmap_t* image, const std::string& text) {
  photo_meta_t* meta = exif_photo_meta(image);
  if (!meta) return;
  char* s = owner_get(&meta->make_model);
  str_cat(text.c_str(), &s);
  str_cat(" ", &s);
  owner_put(&meta->make_model, s);
}

// The offset of a sub-directory: one LONG, else 14.
int directory_offset(const exif_call& c, const exif_entry& e, uint32_t* offset) {
  if (e.type != kTiffLong || e.count != 1) return set_gblerr(ERR_BAD_FILE);
  *offset = tiff_numbers(c.order).u32();
  return get_gblerr();
}

// The IFD0 entries that belong to the photo; others are left alone.
void ifd0_entry(exif_call& c, const exif_entry& e, void*) {
  switch (e.tag) {
    case kTagMake:
    case kTagModel: {
      std::string text;
      if (read_text(c, e, &text) == 0) append_make_model(c.image, text);
      break;
    }
    case kTagOrientation: {
      int64_t v = 0;
      if (e.type == kTiffShort && read_int(c, e, &v) == 0 && v >= 1 && v <= 8)
        image_set_rotation(c.image, kRotationOfOrientation[v]);
      break;
    }
    case kTagExifIfd: {
      uint32_t offset = 0;
      if (directory_offset(c, e, &offset) == 0 && !c.exif_walked) {
        c.exif_walked = true;
        walk_exif_directory(c, offset);
      }
      break;
    }
    case kTagGpsIfd: {
      uint32_t offset = 0;
      if (directory_offset(c, e, &offset) == 0 && !c.gps_walked) {
        c.gps_walked = true;
        walk_gps_directory(c, offset);
      }
      break;
    }
    default:
      break;
  }
}

void free_photo_meta(obj_t* obj) {
  photo_meta_t* meta = static_cast<photo_meta_t*>(obj);
  char* s = owner_get(&meta->make_model);
  free_mem(&s);
  owner_put<char>(&meta->make_model, nullptr);
}

constexpr attr_desc kPhotoMetaAttrs[] = {
    {"id", AT_ID},
    {"type", AT_INT},
    {"date", AT_DATETIME},
    {"focal", AT_DOUBLE},
    {"iso", AT_INT},
    {"exposure", AT_DOUBLE},
    {"fnumber", AT_DOUBLE},
    {"distance", AT_DOUBLE},
    {"maxaperture", AT_DOUBLE},
    {"flash", AT_INT},
    {"focal35", AT_DOUBLE},
    {"program", AT_INT},
    {"makemodel", AT_STRING},
};
constexpr objdesc kPhotoMetaDesc = {"photo_meta", int(std::size(kPhotoMetaAttrs)),
                                    kPhotoMetaAttrs};
static_assert(offsetof(photo_meta_t, date) == 8 && offsetof(photo_meta_t, iso) == 32);
static_assert(offsetof(photo_meta_t, make_model) == 84 && sizeof(photo_meta_t) == 92);

}  // namespace

photo_meta_t* exif_photo_meta(bitmap_t* image) {
  if (!image) return nullptr;
  obj_t* held = owner_get(&image->exif);
  if (held && held->cls == CLS_PHOTO_META) return static_cast<photo_meta_t*>(held);
  if (held) return nullptr;  // a record of another kind is not ours to replace
  photo_meta_t* meta = nullptr;
  alloc_obj(CLS_PHOTO_META, &meta);
  owner_put<obj_t>(&image->exif, meta);
  return meta;
}

int exif_read(bitmap_t* image, int64_t block_end) {
  exif_call c;
  c.image = image;
  c.base = rd_tell();
  c.limit = block_end > 0 ? std::min(block_end, rd_size()) : rd_size();
  if (c.base + 8 > c.limit) return set_gblerr(ERR_BAD_FILE);
  if (int rc = tiff_read_header(c.base, &c.order)) return rc;
  walk_directory(c, uint32_t(rd_tell() - c.base), ifd0_entry, nullptr);
  set_gblerr(0);
  return 0;
}

int exif_ifd0_tag(bitmap_t* image, int tag, int order, int64_t base, int64_t limit) {
  const int64_t after_tag = rd_tell();
  if (tag != kTagMake && tag != kTagModel && tag != kTagOrientation && tag != kTagExifIfd &&
      tag != kTagGpsIfd)
    return 0;
  exif_call c;
  c.image = image;
  c.order = order;
  c.base = base;
  c.limit = limit > 0 ? std::min(limit, rd_size()) : rd_size();
  exif_entry e;
  e.tag = tag;
  uint32_t count = 0;
  tiff_read_entry_head(order, &e.type, &count);
  e.count = count;
  if (get_gblerr() == 0) ifd0_entry(c, e, nullptr);
  set_gblerr(0);
  rd_seek(after_tag + 10, 0);
  return 0;
}

void exif_register_class() {
  obj_register_class(CLS_PHOTO_META, int(sizeof(photo_meta_t)), &kPhotoMetaDesc);
  obj_set_free_callback(CLS_PHOTO_META, free_photo_meta);
}
