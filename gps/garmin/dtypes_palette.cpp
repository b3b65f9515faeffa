// Colours of the Garmin colour codes: D107 has its own four; the other types share one
// sixteen-entry table (seventeen for D110 and D312, whose code 16 is the transparent one).
#include "gps/garmin/dtypes.h"

namespace {

constexpr int kD107[4][3] = {{255, 128, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
constexpr int kCommon[17][3] = {
    {0, 0, 0},     {128, 0, 0},   {0, 128, 0},     {255, 128, 0}, {0, 0, 128},   {128, 0, 48},
    {0, 128, 128}, {64, 64, 64},  {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},   {255, 0, 255}, {0, 255, 255},   {255, 255, 255}, {64, 64, 64}};

void set(int rgb[3], const int* c) {
  for (int i = 0; i < 3; ++i) rgb[i] = c[i];
}

}  // namespace

void garmin_palette(int dtype, int code, int rgb[3]) {
  static constexpr int kOrange[3] = {255, 128, 0};
  static constexpr int kBlack[3] = {0, 0, 0};
  if (dtype == 107) {
    set(rgb, code >= 0 && code <= 3 ? kD107[code] : kOrange);
  } else if (dtype == 110 || dtype == 312) {
    set(rgb, code >= 0 && code <= 16 ? kCommon[code] : kBlack);
  } else {
    set(rgb, code >= 0 && code <= 15 ? kCommon[code] : kOrange);
  }
}
