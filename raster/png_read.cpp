// The PNG reader's chunk loop and finish (png_read.h).
//
// The chunks are walked once: each chunk's length is checked against the bytes that
// remain before its handler runs, and the handler's first error ends the read. The
// compressed data of every IDAT chunk is gathered in an in-memory file; once IEND is
// seen it is inflated into a second one, bounded by the raw size the header implies,
// so that a small stream that would inflate without end is cut at that size. Both are
// read once, in order: the lines of each go as they are read, so that what is made
// meanwhile (the inflated rows, then the image's lines) reuses their memory and the
// read touches little more memory than the image itself.
#include "raster/png_read.h"

#include <cstring>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/inflate.h"
#include "core/line_store.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/png_state.h"

namespace {

constexpr int64_t kPngBuffer = int64_t(1) << 20;
constexpr uint8_t kSignatureTail[4] = {0x0D, 0x0A, 0x1A, 0x0A};

uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

int bad_file() { return set_gblerr(ERR_BAD_FILE); }

int check_signature() {
  uint8_t tail[4] = {};
  rd_seek(4, 0);
  if (rd_read_bytes(tail, 4) != 4 || std::memcmp(tail, kSignatureTail, 4) != 0) return bad_file();
  return 0;
}

// One chunk at the reader's position: header, handler, then past its data and CRC.
int read_chunk(png_state* st) {
  uint8_t head[8];
  if (rd_read_bytes(head, 8) != 8) return bad_file();
  const uint32_t length = be32(head);
  const uint8_t* type = head + 4;
  if (length > uint32_t(INT32_MAX) || int64_t(length) + 4 > rd_bytes_left()) return bad_file();
  if (!st->seen_ihdr && std::memcmp(type, "IHDR", 4) != 0) return bad_file();
  const int64_t start = rd_tell();
  if (png_chunk_fn handler = png_chunk_handler(type)) {
    if (int rc = handler(st, length)) return rc;
  } else if (!(type[0] & 0x20)) {
    st->late_result = ERR_UNKNOWN_FORMAT;  // a critical chunk we cannot honour
  }
  rd_seek(start + length + 4, 0);
  return 0;
}

int read_chunks(png_state* st, const char* name) {
  if (int rc = check_signature()) return rc;
  while (!st->seen_iend && rd_bytes_left() >= 12) {
    if (int rc = read_chunk(st)) return rc;
    core_progress_file_position(name);
  }
  if (!st->seen_iend || st->idat_bytes == 0) return bad_file();
  return 0;
}

// Inflates the gathered data into `out` (at most the raw size); 0, or the error met.
int inflate_data(png_state* st, obj_t* out, int64_t expected) {
  filemobj_t* store = reinterpret_cast<filemobj_t*>(file_store_of(out));
  if (!store) return set_gblerr(ERR_MEMORY);
  file_set(st->idat, FF_SIZE, st->idat_bytes);
  // Each stream is read once, in order: the compressed lines already inflated give
  // their memory to the inflated ones.
  filemobj_set_read_once(reinterpret_cast<filemobj_t*>(file_store_of(st->idat)), 1);
  inflater_t inf;
  inf.input = st->idat;
  inf.output = inf.output_file = out;
  inf.store = store;
  inf.max_output = expected;
  int rc = zlib_read_header(&inf);
  if (rc == 0) rc = inflate_blocks(&inf);
  rd_close_file(st->idat);
  if (rc == ERR_MEMORY) return rc;
  return rc ? bad_file() : 0;
}

// Inflates and decodes the rows. Rows that the data holds are written even when the
// stream is damaged further on; the first error is the result.
int decode_image(png_state* st) {
  const file_ops& ops = get_file_ops();
  obj_t* out = ops.new_in_memory ? ops.new_in_memory() : nullptr;
  if (!out) return set_gblerr(ERR_MEMORY);
  const int64_t expected = png_raw_size(st);
  const int inflated = inflate_data(st, out, expected);
  set_gblerr(0);
  // The compressed data has served: its memory goes before the image's lines come.
  rd_close_file(st->idat);
  ops.free_file(st->idat);
  st->idat = nullptr;
  // The rows likewise give their memory to the image's lines as they are decoded.
  filemobj_t* raw = reinterpret_cast<filemobj_t*>(file_store_of(out));
  filemobj_set_read_once(raw, 1);
  int rc = inflated == ERR_MEMORY ? ERR_MEMORY : png_decode_rows(st, raw);
  if (rc == 0) rc = inflated;
  set_gblerr(0);
  rd_close_file(out);
  ops.free_file(out);
  return rc;
}

}  // namespace

int png_read(bitmap_t* image) {
  if (!image) return ERR_BAD_FILE;
  obj_t* file = image->file;
  if (rd_open(file, kPngBuffer, 1) != 0) {
    set_gblerr(0);
    return ERR_FILE_ACCESS;
  }
  image->variant = kPngPixelKind;
  png_state st;
  st.image = image;
  st.file_size = rd_size();
  const file_ops& ops = get_file_ops();
  st.idat = ops.new_in_memory ? ops.new_in_memory() : nullptr;
  int rc = st.idat ? read_chunks(&st, file_name_of(file)) : set_gblerr(ERR_MEMORY);
  if (rc == 0) rc = decode_image(&st);
  if (rc == 0) rc = st.late_result;
  set_gblerr(0);  // freeing is refused while an error is pending
  if (st.idat) {
    rd_close_file(st.idat);
    ops.free_file(st.idat);
  }
  rd_close_file(file);
  return rc;
}
