// Opening and closing the file of a decoder that reads through the buffered reader
// (decoder_file.h).
#include "raster/decoder_file.h"

#include "core/error.h"
#include "core/reader.h"
#include "map/bitmap_record.h"

int decode_image_file(bitmap_t* image, int64_t buffer_size, int (*decode)(bitmap_t* image)) {
  if (!image) return ERR_BAD_FILE;
  obj_t* file = image->file;
  if (rd_open(file, buffer_size, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  const int rc = decode(image);
  set_gblerr(0);
  rd_close_file(file);
  return rc;
}
