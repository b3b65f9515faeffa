// The reader of WinAPRS map files (format code 42): lines and filled areas with widths
// and colours, and labelled points with APRS symbols. Multi-byte values are big-endian;
// coordinates are seconds of arc (x east of the meridian, y north of the equator), and
// no georeference is attached: the load task chooses the system of such files.
//
// Layout: the line record count at offset 108, the point record count at 112, then from
// offset 256 the line records (10 bytes each) and the point records (44 bytes each).
#pragma once
#include <cstdint>

struct obj_t;
struct container_t;

constexpr int kWinAprsFormat = 42;

// Colour tables: (red, green, blue) in the colour word's low bytes, a flag byte on top.
constexpr int kAprsColourCount = 34;
constexpr int kAprsFillColourCount = 8;
constexpr int kAprsSymbolCount = 95;
extern const uint32_t aprs_colours[kAprsColourCount];
extern const uint32_t aprs_fill_colours[kAprsFillColourCount];
// APRS symbol character minus 33 to the system waypoint symbol.
extern const int aprs_symbols[kAprsSymbolCount];

// Start-up routine of the module: registers the reader of format 42.
void aprs_init();

// Reads the file into its content list. Returns 0, 2 when the file cannot be opened, 14
// when both counts are below 1, when the records the counts announce are not all there
// (those that are there are read), or when a line record continues a line before any
// line was started (that record is dropped). gblerr is cleared.
int winaprs_read(obj_t* file, container_t* list);
