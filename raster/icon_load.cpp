// The program's icons (waypoint symbols, the lap marker) decoded by the PNG reader of
// the image loading: the file is found as every program file is (system folder, then
// program folder), read into memory within a size ceiling, and decoded from there.
#include <cstdio>
#include <vector>

#include "core/error.h"
#include "core/line_store.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "platform/ui/icons.h"
#include "raster/icon_load.h"
#include "raster/image_load.h"
#include "raster/png_read.h"

namespace {

// No icon comes near this; a larger file is not an icon.
constexpr long kIconMaxBytes = 16L << 20;

// The file's bytes; false with gblerr 2 (missing) or 14 (too large).
bool read_icon_file(const char* name, std::vector<uint8_t>* bytes) {
  std::FILE* f = open_file_resolved(name, "rb");
  if (!f) return set_gblerr(ERR_FILE_ACCESS), false;
  uint8_t block[16384];
  size_t n = 0;
  while ((n = std::fread(block, 1, sizeof block, f)) > 0) {
    if (long(bytes->size() + n) > kIconMaxBytes) {
      std::fclose(f);
      return set_gblerr(ERR_BAD_FILE), false;
    }
    bytes->insert(bytes->end(), block, block + n);
  }
  std::fclose(f);
  return true;
}

// The PNG reader on bytes held by a file object of its own, freed after.
bitmap_t* decode_icon(const std::vector<uint8_t>& bytes) {
  fileatt_t* file = nullptr;
  if (!file_new_in_memory(&file)) return set_gblerr(ERR_MEMORY), nullptr;
  if (!bytes.empty() && filemobj_append(file->store, bytes.data(), int64_t(bytes.size())) != 0) {
    free_obj(&file);
    return set_gblerr(ERR_MEMORY), nullptr;
  }
  file_set_size(file, int64_t(bytes.size()));
  file->filetype = kFileKindImage;
  file->fileformat = kDecoderPng;
  bitmap_t* b = nullptr;
  obj_new_registered(CLS_BITMAP, &b);
  int rc = b ? 0 : ERR_MEMORY;
  if (b) {
    b->file = file;
    b->format = kDecoderPng;
    b->gamma = -1.0;
    b->frame_number = 1;
    set_graylevel_lut(b);
    rc = png_read(b);
    rd_close_file(file);
    b->file = nullptr;  // the icon outlives its file object
  }
  free_obj(&file);
  if (rc != 0) {
    free_obj(&b);
    set_gblerr(rc);
    return nullptr;
  }
  return b;
}

}  // namespace

bitmap_t* raster_icon_load(const char* name) {
  std::vector<uint8_t> bytes;
  if (!name || !read_icon_file(name, &bytes)) return nullptr;
  return decode_icon(bytes);
}

bool raster_icon_surface(const char* name, const char* fallback, int size, plat::Surface* out) {
  if (!out || size < 1) return false;
  const int saved = get_gblerr();
  set_gblerr(0);
  bitmap_t* b = raster_icon_load(name);
  if (!b && fallback) {
    set_gblerr(0);
    b = raster_icon_load(fallback);
  }
  bool ok = b && b->width > 0 && b->height > 0 && b->lines && (b->planes == 1 || b->planes >= 3);
  if (ok) {
    out->resize(size, size, 0);
    const size_t w = size_t(b->width);
    for (int y = 0; y < size && ok; ++y) {
      const uint8_t* row = get_img_line_adr(b, int(int64_t(y) * b->height / size), 0);
      if (!row) {
        ok = false;
        break;
      }
      uint32_t* line = out->row(y);
      for (int x = 0; x < size; ++x) {
        const size_t sx = size_t(int64_t(x) * b->width / size);
        uint32_t p = 0;
        if (b->planes >= 3) {
          p = uint32_t(row[sx]) << 16 | uint32_t(row[w + sx]) << 8 | row[2 * w + sx];
        } else {
          const uint8_t v = row[sx];
          p = uint32_t(b->lut_r[v]) << 16 | uint32_t(b->lut_g[v]) << 8 | b->lut_b[v];
        }
        line[x] = 0xFF000000u | p;
      }
    }
  }
  if (!ok) *out = plat::Surface();
  free_obj(&b);
  set_gblerr(saved);
  return ok;
}

bool raster_window_icons(plat::Wnd wnd, const char* name, const char* fallback) {
  plat::Surface big, small;
  if (!raster_icon_surface(name, fallback, 32, &big) ||
      !raster_icon_surface(name, fallback, 16, &small))
    return false;
  plat::set_window_icon(wnd, plat::kWindowIconBig, big);
  plat::set_window_icon(wnd, plat::kWindowIconSmall, small);
  return true;
}
