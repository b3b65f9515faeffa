// The nautical chart reader of the image viewer (decoder codes 22 and 23).
//
// A chart file is a text header of records, each a keyword, a slash and values
// ("BSB/NA=...,RA=width,height", "RGB/i,r,g,b", "IFM/depth" ...), ended by Ctrl-Z; then
// a NUL, the bit depth, and one run-length coded row after another, each led by its
// row number and ended by a 0 byte; the table of row offsets follows the last row.
// The header's georeferencing records are not interpreted: the chart is a plain palette
// image.
//
// Contract (that of every decoder row of the dispatcher): the record comes with its file
// object and decoder code set. Code 22 reads the header by lines (comment lines,
// continuation lines of four blanks or TABs); any other code reads records separated by
// blanks and line ends. The reader fills the size (one plane, store mode 2), the bits
// per sample (an IFM depth of 7 gives 8), the chart kind in `variant` (33 BSB, 34 or 35
// NOS), the resolution (DU) and the lookup tables (RGB), and writes every row. It
// returns 0; 1 when the image cannot be allocated; 2 when the file cannot be opened; 3
// for VER 4 or more (with the trace line "Version >= 4 non geree") or a depth outside 1
// to 7; 14 for a missing or bad size and any fault of the raster data (row numbers,
// runs past the width, a missing row end, data cut short). gblerr is clear on return.
#pragma once

struct bitmap_t;
struct container_t;

constexpr int kDecoderChart = 22;       // chart recognised by its leading "BSB/"
constexpr int kDecoderChartOther = 23;  // chart read as records without line rules
constexpr int kChartKindBsb = 33;
constexpr int kChartKindNos = 34;
constexpr int kChartKindNosOther = 35;

// Record codes of `bsb_record_keywords`.
enum bsb_record_code {
  kBsbRecNo1 = 0,
  kBsbRecBsb = 1,
  kBsbRecRgb = 2,
  kBsbRecVer = 3,
  kBsbRecOst = 4,
  kBsbRecIfm = 5,
  kBsbRecNos = 6,
  kBsbRecRef = 7,
  kBsbRecKnp = 8,
};

// Sub-keyword codes of `bsb_sub_keywords` (items name=value of BSB and NOS records).
enum bsb_sub_code {
  kBsbSubRa = 1,
  kBsbSubDu = 2,
  kBsbSubGd = 3,
  kBsbSubPr = 4,
  kBsbSubUn = 5,
  kBsbSubPp = 6,
  kBsbSubP1 = 7,  // P2 8, P3 9, P4 10
};

int sb_chart_parse(bitmap_t* image);

// Builds the two keyword dictionaries (at the bitmap module's start-up; again after the
// object store is rebuilt). Until then the reader looks keywords up in its static tables.
void sb_chart_register();
// Frees them.
void sb_chart_unregister();

// The dictionaries (null before sb_chart_register).
const container_t* bsb_record_keywords();
const container_t* bsb_sub_keywords();
