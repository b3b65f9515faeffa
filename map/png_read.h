// A small PNG decoder for the program's own icons: non-interlaced images of 8-bit
// samples, greyscale, greyscale with alpha, RGB, RGBA or palette.
//
// The file is read whole (within a size ceiling), every chunk length is checked against
// the bytes that remain and every chunk's CRC against its bytes; the image data is
// inflated with the system's Deflate decoder into a buffer whose size is fixed by the
// header, and a stream that would give more is refused. The result is an image of one
// plane (sample values indexing a 256-entry colour table) or three planes (red, green,
// blue), as the bitmap record stores them; an alpha channel becomes a transparent key.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Largest PNG file and image side the decoder accepts.
constexpr int64_t kPngMaxFileBytes = int64_t(16) << 20;
constexpr int32_t kPngMaxSide = 8192;

struct png_image {
  int32_t width = 0, height = 0;
  int32_t planes = 0;            // 1: indexed through the tables; 3: red, green, blue
  uint8_t lut[3][256] = {};      // colour tables of a one-plane image
  int32_t has_transparent = 0;   // 1 when `transparent` applies
  uint8_t transparent[3] = {};   // one plane: index in [0]; three planes: the colour
  std::vector<uint8_t> pixels;   // row after row, each plane after plane (width bytes each)
};

// Decodes a PNG held in memory. Returns 0, or gblerr 14 ("Invalid file") with a reason in
// *why; `out` is then left empty.
int png_decode(const uint8_t* data, int64_t size, png_image* out, std::string* why);
// Reads and decodes a file (relative names: system folder, then program folder). A file
// that cannot be opened gives gblerr 2; a damaged one 14.
int png_read_file(const char* path, png_image* out, std::string* why);
