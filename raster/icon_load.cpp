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
