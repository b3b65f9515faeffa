// The decoder table of the image loading dispatcher: one row per format code. The rows
// of the readers this library holds are filled at start-up; a row left empty answers 3
// (unsupported), as does a code outside the table. Other modules (the map calibration
// reader) fill their own row through image_decoder_register.
#include <array>
#include <atomic>

#include "core/error.h"
#include "map/bitmap_record.h"
#include "raster/bmp_read.h"
#include "raster/ecw.h"
#include "raster/gif_read.h"
#include "raster/image_load.h"
#include "raster/jpeg_read.h"
#include "raster/pcx_read.h"
#include "raster/png_read.h"
#include "raster/pnm_read.h"
#include "raster/sgi_read.h"
#include "raster/sunras_read.h"
#include "raster/tga_read.h"
#include "raster/tiff_read.h"
#include "raster/xpm_read.h"

namespace {

// Filled at start-up before any load; read by the load task afterwards.
std::array<std::atomic<image_decoder_fn>, kDecoderCodeLimit>& rows() {
  static std::array<std::atomic<image_decoder_fn>, kDecoderCodeLimit> table{};
  return table;
}

bool in_table(int code) { return code >= 0 && code < kDecoderCodeLimit; }

int png_row(const image_decode_call& call) { return png_read(*call.image); }
int bmp_row(const image_decode_call& call) { return bmp_read(*call.image); }
int pcx_row(const image_decode_call& call) { return pcx_read(*call.image); }
int jpeg_row(const image_decode_call& call) { return jpeg_read(*call.image, call.status); }
// GIF and TIFF put their images (frames, pages) in the list themselves.
int gif_row(const image_decode_call& call) { return gif_read(call.image, call.list); }
int tiff_row(const image_decode_call& call) {
  return tiff_read(call.image, call.list, call.requested_line);
}
int sunras_row(const image_decode_call& call) { return sunras_read(*call.image); }
int sgi_row(const image_decode_call& call) { return sgi_read(*call.image); }
int tga_row(const image_decode_call& call) { return tga_read(*call.image); }
int xpm_row(const image_decode_call& call) { return xpm_read(*call.image); }
// The PNM variant is the pixel kind: the decoder code + 12.
int pnm_row(const image_decode_call& call) {
  return pnm_read(*call.image, (*call.image)->format + 12);
}
// ECW images are only opened on load; a requested line decodes a block of lines.
int ecw_row(const image_decode_call& call) {
  return ecw_read(*call.image, call.requested_line);
}

}  // namespace

int image_decoder_register(int code, image_decoder_fn fn) {
  if (!in_table(code)) return -1;
  rows()[size_t(code)].store(fn, std::memory_order_release);
  return 0;
}

image_decoder_fn image_decoder_for(int code) {
  return in_table(code) ? rows()[size_t(code)].load(std::memory_order_acquire) : nullptr;
}

int image_decode(int code, const image_decode_call& call) {
  const image_decoder_fn fn = image_decoder_for(code);
  if (!fn || !call.image || !*call.image) return ERR_UNKNOWN_FORMAT;
  return fn(call);
}

void image_decoders_install() {
  image_decoder_register(kDecoderPng, png_row);
  image_decoder_register(kDecoderBmp, bmp_row);
  image_decoder_register(kDecoderPcx, pcx_row);
  image_decoder_register(kDecoderJpeg, jpeg_row);
  image_decoder_register(kDecoderGif, gif_row);
  image_decoder_register(kDecoderTiff, tiff_row);
  image_decoder_register(kDecoderXpm, xpm_row);
  for (int code = kDecoderPnmFirst; code <= kDecoderPnmLast; ++code)
    image_decoder_register(code, pnm_row);
  image_decoder_register(kDecoderSunRaster, sunras_row);
  image_decoder_register(kDecoderTga, tga_row);
  image_decoder_register(kDecoderSgi, sgi_row);
  image_decoder_register(kDecoderEcw, ecw_row);
}

void image_decoders_reset() {
  for (auto& row : rows()) row.store(nullptr, std::memory_order_release);
}
