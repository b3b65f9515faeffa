// The Garmin symbol number to system symbol table: every listed number, the gaps between
// and around them, and negative numbers.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "formats/garmin_symbols.h"

namespace {

struct symbol_row {
  int icon;
  std::vector<int> garmin;
};

const std::vector<symbol_row> kTable = {
    {1, {10, 173, 8234}},
    {2, {8, 8220, 8242}},
    {3, {158, 170, 8206, 8207}},
    {4, {7, 181}},
    {5, {150, 190, 191}},
    {6, {0}},
    {7, {19}},
    {8, {177, 8229, 8248}},
    {9, {14, 8270, 8272}},
    {10, {4, 5, 17, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 178, 8197,
          8254, 8284, 8285, 8286}},
    {11, {151, 8215}},
    {12, {179, 8222, 8223, 16398}},
    {13, {171, 8219, 8274, 8275, 8276}},
    {14, {156, 8212}},
    {15, {8196}},
    {16, {165}},
    {17, {159, 8245}},
    {18, {154, 163, 8231, 8244, 8282}},
    {19, {169, 8198, 8199, 8200, 8294, 8295, 8296, 8300, 8301, 8302}},
    {20, {16384, 16388, 16393, 16394, 16402}},
    {21, {12}},
    {22, {157}},
    {23, {8257, 8262, 8264, 8265, 8266, 8267, 8269}},
    {24, {6}},
    {26, {8208, 8213}},
    {27, {187, 8228, 8246, 8351, 8352, 8353}},
    {28, {8235, 8236}},
    {29, {8238, 8247, 16385}},
    {30, {166}},
    {32, {8255, 8256}},
    {33, {8233, 8243}},
    {35, {172, 8218}},
};

TEST(GarminSymbols, EveryListedNumberGivesItsSymbol) {
  for (const symbol_row& row : kTable)
    for (int n : row.garmin) EXPECT_EQ(garmin_symbol_to_icon(n), row.icon) << n;
}

TEST(GarminSymbols, EveryOtherNumberGivesZero) {
  std::set<int> listed;
  for (const symbol_row& row : kTable) listed.insert(row.garmin.begin(), row.garmin.end());
  for (int n = -300; n <= 17000; ++n)
    if (!listed.count(n)) {
      EXPECT_EQ(garmin_symbol_to_icon(n), 0) << n;
    }
}

TEST(GarminSymbols, NamedGapsAndExtremes) {
  const int zero[] = {1, 2, 3, 164, 180, 8201, 8205, 8237, 8303, 16386, 16387, 16389, 16392,
                      16395, 16397, 16399, 16401, -1, INT32_MIN, INT32_MAX};
  for (int n : zero) EXPECT_EQ(garmin_symbol_to_icon(n), 0) << n;
  EXPECT_EQ(garmin_symbol_to_icon(8247), 29);
  EXPECT_EQ(garmin_symbol_to_icon(16388), 20);
}

}  // namespace
