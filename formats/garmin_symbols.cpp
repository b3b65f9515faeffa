// Garmin symbol numbers to system waypoint symbols: a sorted table of ranges searched by
// bisection, so that the mapping is a pure function with no start-up work.
#include "formats/garmin_symbols.h"

#include <algorithm>
#include <iterator>

namespace {

struct symbol_range {
  int32_t first, last;  // Garmin numbers, inclusive
  int icon;
};

// Sorted by first number; ranges never overlap.
constexpr symbol_range kRanges[] = {
    {0, 0, 6},          {4, 5, 10},         {6, 6, 24},         {7, 7, 4},
    {8, 8, 2},          {10, 10, 1},        {12, 12, 21},       {14, 14, 9},
    {17, 17, 10},       {19, 19, 7},        {21, 35, 10},       {150, 150, 5},
    {151, 151, 11},     {154, 154, 18},     {156, 156, 14},     {157, 157, 22},
    {158, 158, 3},      {159, 159, 17},     {163, 163, 18},     {165, 165, 16},
    {166, 166, 30},     {169, 169, 19},     {170, 170, 3},      {171, 171, 13},
    {172, 172, 35},     {173, 173, 1},      {177, 177, 8},      {178, 178, 10},
    {179, 179, 12},     {181, 181, 4},      {187, 187, 27},     {190, 191, 5},
    {8196, 8196, 15},   {8197, 8197, 10},   {8198, 8200, 19},   {8206, 8207, 3},
    {8208, 8208, 26},   {8212, 8212, 14},   {8213, 8213, 26},   {8215, 8215, 11},
    {8218, 8218, 35},   {8219, 8219, 13},   {8220, 8220, 2},    {8222, 8223, 12},
    {8228, 8228, 27},   {8229, 8229, 8},    {8231, 8231, 18},   {8233, 8233, 33},
    {8234, 8234, 1},    {8235, 8236, 28},   {8238, 8238, 29},   {8242, 8242, 2},
    {8243, 8243, 33},   {8244, 8244, 18},   {8245, 8245, 17},   {8246, 8246, 27},
    {8247, 8247, 29},   {8248, 8248, 8},    {8254, 8254, 10},   {8255, 8256, 32},
    {8257, 8257, 23},   {8262, 8262, 23},   {8264, 8267, 23},   {8269, 8269, 23},
    {8270, 8270, 9},    {8272, 8272, 9},    {8274, 8276, 13},   {8282, 8282, 18},
    {8284, 8286, 10},   {8294, 8296, 19},   {8300, 8302, 19},   {8351, 8353, 27},
    {16384, 16384, 20}, {16385, 16385, 29}, {16388, 16388, 20}, {16393, 16394, 20},
    {16398, 16398, 12}, {16402, 16402, 20},
};

}  // namespace

int garmin_symbol_to_icon(int32_t garmin_symbol) {
  const auto* end = std::end(kRanges);
  const auto* it = std::upper_bound(
      std::begin(kRanges), end, garmin_symbol,
      [](int32_t n, const symbol_range& r) { return n < r.first; });
  if (it == std::begin(kRanges)) return 0;
  --it;
  return garmin_symbol <= it->last ? it->icon : 0;
}
