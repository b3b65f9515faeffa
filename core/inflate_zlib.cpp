// The zlib wrapper (RFC 1950) around a Deflate stream: the 2-byte header read here,
// the Adler-32 trailer checked by inflate_blocks once the stream has ended.
#include "core/error.h"
#include "core/inflate.h"
#include "core/reader.h"

int zlib_check_header(inflater_t* inf, int cmf, int flg) {
  const int method = cmf & 15, info = cmf >> 4;
  if (method != 8 || info > 7 || (flg & 0x20)) return set_gblerr(ERR_BAD_FILE);
  inf->window_size = 1u << (info + 8);
  inf->wrap = INFLATE_ZLIB;
  return 0;
}

int zlib_read_header(inflater_t* inf) {
  if (rd_open(inf->input, 131072, 0) != 0) return set_gblerr(ERR_FILE_ACCESS);
  if (rd_bytes_left() < 2) return set_gblerr(ERR_BAD_FILE);
  const int cmf = rd_read_byte();
  const int flg = rd_read_byte();
  return zlib_check_header(inf, cmf, flg);
}
