// MapInfo numbers of the system's drawing styles: the SYMBOL shape of a point shape, the
// PEN pattern of a line style, the BRUSH pattern of a fill style. Indexes beyond the
// tables have no MapInfo number (-1).
#include "geodesy/mapinfo.h"

namespace {

constexpr int kSymbolShapes[] = {31, 40, 38, 49, 50, 36};
constexpr int kPenPatterns[] = {1, 2, 2, 2, 2, 2, 2, 2, 11, 7, 2, 2, 2, 2, 2, 2};
constexpr int kBrushPatterns[] = {1, 2, 5, 6, 19, 24, 40, 45, 1, 1, 1, 1, 1, 1, 1, 1};

template <size_t N> int number_at(const int (&table)[N], int index) {
  return index >= 0 && static_cast<size_t>(index) < N ? table[index] : -1;
}

}  // namespace

int mif_symbol_shape(int index) { return number_at(kSymbolShapes, index); }
int mif_pen_pattern(int index) { return number_at(kPenPatterns, index); }
int mif_brush_pattern(int index) { return number_at(kBrushPatterns, index); }
