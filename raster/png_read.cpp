// The PNG reader's chunk loop and finish (png_read.h).
//
// The chunks are walked once: each chunk's length is checked against the bytes that
// remain before its handler runs, and the handler's first error ends the read. Once
// IEND is seen, the compressed data of the IDAT chunks is inflated as it stands in the
// file, bounded by the raw size the header implies so that a small stream that would
// inflate without end is cut at that size, and its rows are decoded as the inflater
// produces them: neither the compressed nor the raw data is ever held whole.
#include "raster/png_read.h"

#include <algorithm>
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
  st->chunks_end = rd_tell();
  return 0;
}

// The compressed data as the inflater takes it: the data of each IDAT chunk in turn, read
// from the file where it stands (the chunk walk has checked every chunk's length).
struct idat_reader {
  int64_t next = 0;  // file position of the next chunk header
  int64_t at = 0;    // file position of the current chunk's next data byte
  int64_t left = 0;  // data bytes of the current chunk not given yet
  int64_t end = 0;   // the position after the last chunk walked
};

int64_t read_idat(void* context, uint8_t* buffer, int64_t count) {
  idat_reader* r = static_cast<idat_reader*>(context);
  int64_t given = 0;
  while (given < count) {
    while (r->left == 0) {
      if (r->next + 12 > r->end) return given;
      uint8_t head[8];
      rd_seek(r->next, 0);
      if (rd_read_bytes(head, 8) != 8) return given;
      const int64_t length = be32(head);
      r->at = r->next + 8;
      r->next = r->at + length + 4;
      if (std::memcmp(head + 4, "IDAT", 4) == 0) r->left = length;
    }
    const int64_t n = std::min(count - given, r->left);
    rd_seek(r->at, 0);
    const int64_t got = rd_read_bytes(buffer + given, n);
    if (got <= 0) return given;
    given += got;
    r->at += got;
    r->left -= got;
  }
  return given;
}

int feed_rows(void* decoder, const uint8_t* bytes, int64_t count) {
  return static_cast<png_row_decoder*>(decoder)->feed(bytes, count);
}

// Inflates the gathered data (at most the raw size) straight into the row decoder, and
// decodes the rows as they come. Rows that the data holds are written even when the
// stream is damaged further on; the first error is the result.
int decode_image(png_state* st) {
  png_row_decoder rows(st);
  idat_reader source;
  source.next = st->first_idat;
  source.end = st->chunks_end;
  inflater_t inf;
  inf.source = read_idat;
  inf.source_context = &source;
  inf.sink = feed_rows;
  inf.sink_context = &rows;
  inf.max_output = png_raw_size(st);
  uint8_t header[2];
  int rc = read_idat(&source, header, 2) == 2 ? zlib_check_header(&inf, header[0], header[1])
                                              : bad_file();
  if (rc == 0) rc = inflate_blocks(&inf);
  set_gblerr(0);
  if (rc == ERR_MEMORY) return rc;
  if (rc != 0 || !rows.complete()) return ERR_BAD_FILE;
  return 0;
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
  int rc = read_chunks(&st, file_name_of(file));
  if (rc == 0) rc = decode_image(&st);
  if (rc == 0) rc = st.late_result;
  set_gblerr(0);
  rd_close_file(file);
  return rc;
}
