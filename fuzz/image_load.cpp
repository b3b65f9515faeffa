// The image loading dispatcher on arbitrary bytes, as the map program loads an image: the
// first byte picks the decoder code, the rest is the image file (on disk, or held in
// memory as an archive member is when the second byte is odd). Its header is probed for
// the size (image_probe_size), then the image is loaded
// through image_load (decoding, placement, filing), its rows are read through image_line
// (decoding again where the store lost them) and overview rows are built and read; then
// the record, its folders and the file objects go.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "fuzz/support/program_env.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "raster/image_load.h"

namespace {

constexpr int kCodes[] = {kDecoderJpeg, kDecoderGif,  kDecoderTiff, kDecoderPng,       kDecoderXpm,
                          6,            7,            8,            9,                 10,
                          11,           kDecoderPcx,  kDecoderSunRaster, kDecoderTga, kDecoderBmp,
                          kDecoderSgi,  kDecoderOziMap};

void free_every_file() {
  for (;;) {
    obj_t* f = nullptr;
    if (!obj_class_next(kFileClass, &f) || !f) break;
    rd_close_file(f);
    free_obj(&f);
    if (f) break;
  }
}

fileatt_t* image_file(const uint8_t* data, size_t size, bool in_memory, int code) {
  fileatt_t* f = nullptr;
  if (in_memory) {
    file_new_in_memory(&f);
    if (!f) return nullptr;
    filemobj_append(f->store, data, int64_t(size));
    file_set_size(f, int64_t(size));
  } else {
    const std::string path = tm_fuzz::write_scratch(data, size, ".img");
    file_open_object(nullptr, nullptr, path.c_str(), 1, 1, &f);
    if (!f) return nullptr;
  }
  f->filetype = kFileKindImage;
  f->fileformat = uint32_t(code);
  return f;
}

// Reads rows of the full image and of its overview, as the display does.
void read_rows(bitmap_t* b) {
  const int h = b->height;
  const int step = h > 64 ? h / 64 : 1;
  for (int row = 0; row < h; row += step)
    for (int plane = 0; plane < b->planes; ++plane) image_line(b, row, plane);
  if (h > 0) image_line(b, h - 1, 0);
  image_line(b, h, 0);
  image_line(b, -1, 0);
  for (int row = 0; row < b->tiles_down && row < 64; ++row) {
    overview_build_row(b, row);
    image_line_or_overview(b, row, 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init_program();
  return 0;
}

extern "C" const char* __lsan_default_options() { return "use_unaligned=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  tm_fuzz::keep_budget();
  const int code = kCodes[data[0] % (sizeof kCodes / sizeof *kCodes)];
  fileatt_t* file = image_file(data + 2, size - 2, data[1] & 1, code);
  set_gblerr(0);
  if (!file) return 0;
  // The header probe first, as the viewer measures a queued file before it loads it.
  int probe_w = 0, probe_h = 0;
  image_probe_size(file, &probe_w, &probe_h);
  set_gblerr(0);
  container_t* list = nullptr;
  obj_list_new(&list);
  int status = 0;
  image_load(file, list, nullptr, (data[1] & 1) ? kImageFirstLoadInMemory : kImageFirstLoad,
             &status, 0);
  set_gblerr(0);
  bitmap_t* b = nullptr;
  obj_list_first_of_class(list, CLS_BITMAP, reinterpret_cast<obj_t**>(&b));
  if (b) read_rows(b);
  set_gblerr(0);
  image_close_reopened_files();
  overview_queue_clear();
  obj_list_free_elements(list);
  free_obj(&list);
  rd_close_all();
  free_every_file();
  set_gblerr(0);
  return 0;
}
