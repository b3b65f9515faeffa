// The CCITT Group 4 (two-dimensional, T.6) decoder of TIFF strips and tiles.
#pragma once
#include <cstddef>
#include <cstdint>

// Decodes `rows` rows of `width` pixels from one strip or tile of Group 4 data into
// `out` (rows x width bytes, one per pixel: 0 white, 1 black). Bits are read most
// significant first for fill order 1, least significant first otherwise. Each row is
// coded against the one before (an all-white row above the first). Returns 0, or 14 for
// bad data (an unknown code, a negative or overlong run); rows not reached stay white.
int tiff_g4_decode(const uint8_t* data, size_t size, int width, int rows, int fill_order,
                   uint8_t* out);
