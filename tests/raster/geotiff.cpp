// GeoTIFF georeferencing: the tag handler and the finisher driven on directory entries
// written here (both byte orders), for the kinds of system, the EPSG lookups, the
// transformations (scale and tiepoint, matrix, a matrix with a zero z row, PixelIsPoint),
// the error codes and counts that reach past the file; then GeoTIFFs written by GDAL,
// whose four corners must land where gdalinfo puts them, through the GeoTIFF tags of
// their directory and through the TIFF reader.
#include "raster/geotiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "geodesy/georef.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/xform.h"
#include "map/bitmap_record.h"
#include "map/extent_map.h"
#include "raster/tiff_read.h"
#include "raster/tiff_values.h"
#include "tests/geodesy/geodesy_fixture.h"
#include "tests/raster/decoder_fixture.h"
#include "tests/support/file_stub.h"
#include "tests/support/georef_steps.h"
#include "tests/support/test_env.h"

namespace {

using raster_test::bytes;

// ---- A writer of one TIFF directory ------------------------------------------------------
struct entry {
  uint16_t tag, type;
  uint32_t count;
  bytes values;           // in the file's byte order
  int64_t offset = -1;    // an offset of the values given by the test (past the file...)
};

class tiff_writer {
 public:
  explicit tiff_writer(bool big_endian) : big_(big_endian) {}

  void doubles(uint16_t tag, std::vector<double> v, int type = kTiffDouble) {
    entry e{tag, uint16_t(type), uint32_t(v.size()), {}};
    for (double d : v) {
      uint64_t u;
      std::memcpy(&u, &d, 8);
      put(e.values, u, 8);
    }
    entries_.push_back(e);
  }
  void shorts(uint16_t tag, std::vector<uint16_t> v, int type = kTiffShort) {
    entry e{tag, uint16_t(type), uint32_t(v.size()), {}};
    for (uint16_t s : v) put(e.values, s, 2);
    entries_.push_back(e);
  }
  // An entry whose count and value offset are given as they stand.
  void raw(uint16_t tag, int type, uint32_t count, int64_t offset) {
    entries_.push_back(entry{tag, uint16_t(type), count, {}, offset});
  }
  // A GeoKey directory of inline keys (id, location, count, value).
  void keys(std::vector<std::vector<uint16_t>> list) {
    std::vector<uint16_t> v{1, 1, 0, uint16_t(list.size())};
    for (const auto& k : list) v.insert(v.end(), k.begin(), k.end());
    shorts(34735, v);
  }

  bytes build() {
    bytes f;
    f.push_back(big_ ? 'M' : 'I');
    f.push_back(big_ ? 'M' : 'I');
    put(f, 42, 2);
    put(f, 8, 4);
    put(f, entries_.size(), 2);
    const size_t values_at = 8 + 2 + 12 * entries_.size() + 4;
    bytes values;
    positions_.clear();
    for (const entry& e : entries_) {
      positions_.push_back(f.size());
      put(f, e.tag, 2);
      put(f, e.type, 2);
      put(f, e.count, 4);
      if (e.offset >= 0) {
        put(f, uint64_t(e.offset), 4);
      } else if (e.values.size() <= 4) {
        bytes inline_value = e.values;
        inline_value.resize(4, 0);
        f.insert(f.end(), inline_value.begin(), inline_value.end());
      } else {
        put(f, values_at + values.size(), 4);
        values.insert(values.end(), e.values.begin(), e.values.end());
      }
    }
    put(f, 0, 4);
    f.insert(f.end(), values.begin(), values.end());
    return f;
  }

  int order() const { return big_ ? kTiffBigEndian : kTiffLittleEndian; }
  const std::vector<entry>& entries() const { return entries_; }
  const std::vector<size_t>& positions() const { return positions_; }

 private:
  void put(bytes& out, uint64_t v, int n) const {
    for (int i = 0; i < n; ++i) {
      const int shift = big_ ? 8 * (n - 1 - i) : 8 * i;
      out.push_back(uint8_t(v >> shift));
    }
  }
  bool big_;
  std::vector<entry> entries_;
  std::vector<size_t> positions_;
};

// The model position of a grid point (x, y) through the georeference's step.
void to_model(const georef_t* g, double* x, double* y) {
  xform_forward_2d(g->transfo, g->transfotype, x, y);
}

// ---- The fixture ---------------------------------------------------------------------------
class GeoTiffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(tm_test::load_real_geodesy_tables(), 0);
    rd_close_all();
    line_store_register();
    config_temp_dir_set(tm_test::fresh_dir("gtswap").c_str(), "s_");
    bitmap_module_init();
    tm_test::install_file_stub();
    set_gblerr(0);
  }
  void TearDown() override {
    set_gblerr(0);
    rd_close_all();
    if (slot_) geotiff_discard(&slot_);
    for (bitmap_t*& b : made_) {
      tm_test::free_georef_step(b);
      free_obj(&b);
    }
    tm_test::free_stub_files();
    file_ops_install(nullptr);
    config_reset();
  }

  bitmap_t* new_image(int width = 10, int height = 10) {
    bitmap_t* b = nullptr;
    obj_new_registered(CLS_BITMAP, &b);
    made_.push_back(b);
    b->width = width;
    b->height = height;
    return b;
  }

  // Runs the entries of the directory through the handler (the reader just after each
  // tag), then the finisher when none failed. Returns the first error code.
  int run(tiff_writer& w, bitmap_t* image) {
    data_ = w.build();
    obj_t* file = tm_test::stub_memory_file(data_.data(), int64_t(data_.size()));
    EXPECT_EQ(rd_open(file, 4096, 1), 0);
    int rc = 0;
    for (size_t i = 0; i < w.entries().size() && rc == 0; ++i) {
      rd_seek(int64_t(w.positions()[i]) + 2, 0);
      rc = geotiff_tag(&slot_, w.entries()[i].tag, image, w.order());
      if (rc != 0) {
        EXPECT_EQ(get_gblerr(), rc) << "tag " << w.entries()[i].tag;
        EXPECT_EQ(slot_, nullptr) << "the context of a discarded page is freed";
      }
    }
    if (rc == 0) {
      rc = geotiff_finish(&slot_, image);
      EXPECT_EQ(slot_, nullptr);
    }
    rd_close_file(file);
    set_gblerr(0);
    return rc;
  }

  geotiff_context* slot_ = nullptr;
  bytes data_;
  std::vector<bitmap_t*> made_;
};

const std::vector<double> kScale{10, 10, 0};
const std::vector<double> kTiepoint{0, 0, 0, 500000, 4000000, 0};

// The four corners of a width x height grid in the model, with a tolerance.
void expect_corners(const georef_t* g, int width, int height, const double want[8],
                    double tolerance, const std::string& what) {
  const double px[4][2] = {{0, 0}, {0, double(height)}, {double(width), 0},
                           {double(width), double(height)}};
  for (int i = 0; i < 4; ++i) {
    double x = px[i][0], y = px[i][1];
    to_model(g, &x, &y);
    EXPECT_NEAR(x, want[2 * i], tolerance) << what << " corner " << i;
    EXPECT_NEAR(y, want[2 * i + 1], tolerance) << what << " corner " << i;
  }
}

// ---- Tags and keys: what places the image, what is ignored, which value wins -----------------
TEST_F(GeoTiffTest, PixelScaleWithTiepointAndProjectionCode) {
  for (bool big : {false, true}) {
    tiff_writer w(big);
    w.doubles(33550, kScale);
    w.doubles(33922, kTiepoint);
    w.keys({{1024, 0, 1, 1}, {1025, 0, 1, 1}, {3072, 0, 1, 32631}});
    bitmap_t* image = new_image();
    ASSERT_EQ(run(w, image), 0);
    const georef_t* g = image->georef;
    ASSERT_TRUE(g);
    EXPECT_EQ(val(g->refertype), GEOREF_PROJECTED);
    EXPECT_EQ(val(g->transfotype), 1);
    ASSERT_TRUE(val(g->transfo));
    ASSERT_EQ(val(g->transfo->cls), CLS_XFORM_OFFSET_SCALE);
    const auto* step = static_cast<const xform_offset_scale_t*>(val(g->transfo));
    EXPECT_EQ(val(step->sx), 10.0);
    EXPECT_EQ(val(step->sy), -10.0);
    cartproj_t* proj = nullptr;
    geo_find_by_code(CLS_CARTPROJ, 32631, &proj);
    ASSERT_TRUE(proj);
    EXPECT_EQ(val(g->projection), proj);
    EXPECT_EQ(val(g->unit), val(proj->unit));
    EXPECT_EQ(val(g->datum), val(proj->datum));
    const double want[8] = {500000, 4000000, 500000, 3999900, 500100, 4000000, 500100, 3999900};
    expect_corners(g, 10, 10, want, 1e-9, big ? "MM" : "II");
  }
}

TEST_F(GeoTiffTest, GeographicCodeGivesTheDatumAndItsUnit) {
  tiff_writer w(false);
  w.doubles(33550, {0.001, 0.0005, 0});
  w.doubles(33922, {0, 0, 0, 2.25, 48.875, 0});
  w.keys({{1024, 0, 1, 2}, {2048, 0, 1, 4326}});
  bitmap_t* image = new_image();
  ASSERT_EQ(run(w, image), 0);
  const georef_t* g = image->georef;
  ASSERT_TRUE(g);
  EXPECT_EQ(val(g->refertype), GEOREF_GEOGRAPHIC);
  geodatum_t* wgs84 = nullptr;
  geo_find_by_code(CLS_GEODATUM, 214, &wgs84);
  ASSERT_TRUE(wgs84);
  EXPECT_EQ(val(g->datum), wgs84);
  EXPECT_EQ(val(g->unit), val(wgs84->unit));
  EXPECT_EQ(val(g->projection), nullptr);
}

TEST_F(GeoTiffTest, UnknownGeographicCodeLeavesNoDatumWithoutError) {
  tiff_writer w(false);
  w.doubles(33550, kScale);
  w.doubles(33922, kTiepoint);
  w.keys({{1024, 0, 1, 2}, {2048, 0, 1, 9999}});
  bitmap_t* image = new_image();
  ASSERT_EQ(run(w, image), 0);
  ASSERT_TRUE(val(image->georef));
  EXPECT_EQ(val(image->georef->datum), nullptr);
}

TEST_F(GeoTiffTest, OnlyGeoKeysGiveNoGeoreference) {
  tiff_writer w(true);
  w.keys({{1024, 0, 1, 1}, {3072, 0, 1, 2154}});
  bitmap_t* image = new_image();
  EXPECT_EQ(run(w, image), 0);
  EXPECT_EQ(val(image->georef), nullptr);
}

TEST_F(GeoTiffTest, ScaleWithoutTiepointPlacesNothing) {
  tiff_writer w(false);
  w.doubles(33550, kScale);
  w.keys({{1024, 0, 1, 1}, {3072, 0, 1, 2154}});
  bitmap_t* image = new_image();
  EXPECT_EQ(run(w, image), 0);
  EXPECT_EQ(val(image->georef), nullptr);
}

TEST_F(GeoTiffTest, KeysStoredElsewhereAndIgnoredValues) {
  tiff_writer w(false);
  w.doubles(33550, kScale);
  w.doubles(33922, kTiepoint);
  // Citation in GeoAsciiParams (any count), a key in GeoDoubleParams (count 1), an
  // undefined and a user-defined value, a key nobody reads.
  w.keys({{1024, 0, 1, 32767}, {1026, 34737, 22, 0}, {2057, 34736, 1, 0}, {2048, 0, 1, 0},
          {3072, 0, 1, 27700}, {3076, 0, 1, 9001}, {4096, 0, 1, 5773}});
  w.doubles(34736, {6378137.0});
  bitmap_t* image = new_image();
  ASSERT_EQ(run(w, image), 0);
  ASSERT_TRUE(val(image->georef));
  EXPECT_EQ(val(image->georef->refertype), 0);
  cartproj_t* bng = nullptr;
  geo_find_by_code(CLS_CARTPROJ, 27700, &bng);
  EXPECT_EQ(val(image->georef->projection), bng);
}

// Tiepoints: the first is used, even when it comes before the scale; a matrix met first
// wins over a later scale, and its tiepoints are not read.
TEST_F(GeoTiffTest, TheFirstTiepointAndTheFirstTransformationWin) {
  {
    tiff_writer w(false);
    w.doubles(33922, {0, 0, 0, 500000, 4000000, 0, 5, 5, 0, 1, 2, 0});
    w.doubles(33550, kScale);
    bitmap_t* image = new_image();
    ASSERT_EQ(run(w, image), 0);
    ASSERT_TRUE(val(image->georef));
    const double want[8] = {500000, 4000000, 500000, 3999900, 500100, 4000000, 500100, 3999900};
    expect_corners(image->georef, 10, 10, want, 1e-9, "tiepoint first");
  }
  {
    tiff_writer w(false);
    w.doubles(34264, {2, 0, 0, 100, 0, -2, 0, 200, 0, 0, 0, 0, 0, 0, 0, 1});
    w.doubles(33550, kScale);
    w.doubles(33922, kTiepoint);
    bitmap_t* image = new_image();
    ASSERT_EQ(run(w, image), 0);
    ASSERT_TRUE(val(image->georef));
    EXPECT_EQ(val(image->georef->transfotype), 3);
    const double want[8] = {100, 200, 100, 180, 120, 200, 120, 180};
    expect_corners(image->georef, 10, 10, want, 1e-9, "matrix first");
  }
}

// ---- The two faults mended ----------------------------------------------------------------
// The matrix as GDAL writes it: its z row is zero, so the 4 x 4 matrix is singular; the
// plane part is inverted and the image keeps its georeference.
TEST_F(GeoTiffTest, MatrixWithZeroZRowKeepsItsGeoreference) {
  for (bool big : {false, true}) {
    tiff_writer w(big);
    w.doubles(34264, {0.4, 0.3, 0, 651234, 0.3, -0.4, 0, 6862345, 0, 0, 0, 0, 0, 0, 0, 1});
    w.keys({{1024, 0, 1, 1}, {3072, 0, 1, 2154}});
    bitmap_t* image = new_image(9, 14);
    ASSERT_EQ(run(w, image), 0);
    const georef_t* g = image->georef;
    ASSERT_TRUE(g);
    EXPECT_EQ(val(g->transfotype), 3);
    const double want[8] = {651234, 6862345, 651238.2, 6862339.4, 651237.6, 6862347.7,
                            651241.8, 6862342.1};
    expect_corners(g, 9, 14, want, 1e-6, "zero z row");
    // The inverse brings every corner back to its pixel.
    for (double px : {0.0, 9.0})
      for (double py : {0.0, 14.0}) {
        double x = px, y = py;
        to_model(g, &x, &y);
        xform_inverse_2d(g->transfo, g->transfotype, &x, &y);
        EXPECT_NEAR(x, px, 1e-6);
        EXPECT_NEAR(y, py, 1e-6);
      }
  }
}

TEST_F(GeoTiffTest, FullMatrixIsInvertedAsItStands) {
  tiff_writer w(false);
  w.doubles(34264, {0, 2, 0, 10, -3, 0, 0, 20, 0, 0, 4, 5, 0, 0, 0, 1});
  bitmap_t* image = new_image();
  ASSERT_EQ(run(w, image), 0);
  const georef_t* g = image->georef;
  ASSERT_TRUE(g);
  double x = 3, y = 7, z = 1;
  xform_forward(g->transfo, g->transfotype, &x, &y, &z);
  EXPECT_DOUBLE_EQ(x, 24);
  EXPECT_DOUBLE_EQ(y, 11);
  EXPECT_DOUBLE_EQ(z, 9);
  xform_inverse(g->transfo, g->transfotype, &x, &y, &z);
  EXPECT_NEAR(x, 3, 1e-12);
  EXPECT_NEAR(y, 7, 1e-12);
  EXPECT_NEAR(z, 1, 1e-12);
}

TEST_F(GeoTiffTest, MatrixWithoutInverseIsRefused) {
  tiff_writer w(false);
  w.doubles(34264, {1, 2, 0, 10, 2, 4, 0, 20, 0, 0, 0, 0, 0, 0, 0, 1});
  bitmap_t* image = new_image();
  EXPECT_EQ(run(w, image), 14);
  EXPECT_EQ(val(image->georef), nullptr);
}

// PixelIsPoint ties the model to the centres of the pixels: half a pixel away from the
// corner of the grid, as GDAL reads it.
TEST_F(GeoTiffTest, PixelIsPointMovesTheModelHalfAPixel) {
  {
    tiff_writer w(false);
    w.doubles(33550, kScale);
    w.doubles(33922, kTiepoint);
    w.keys({{1024, 0, 1, 1}, {1025, 0, 1, 2}, {3072, 0, 1, 32631}});
    bitmap_t* image = new_image();
    ASSERT_EQ(run(w, image), 0);
    ASSERT_TRUE(val(image->georef));
    const double want[8] = {499995, 4000005, 499995, 3999905, 500095, 4000005, 500095, 3999905};
    expect_corners(image->georef, 10, 10, want, 1e-9, "scale");
  }
  {
    tiff_writer w(true);
    w.doubles(34264, {0.4, 0.3, 0, 651234.35, 0.3, -0.4, 0, 6862344.95, 0, 0, 0, 0, 0, 0, 0, 1});
    w.keys({{1024, 0, 1, 1}, {1025, 0, 1, 2}, {3072, 0, 1, 2154}});
    bitmap_t* image = new_image(9, 14);
    ASSERT_EQ(run(w, image), 0);
    ASSERT_TRUE(val(image->georef));
    const double want[8] = {651234, 6862345, 651238.2, 6862339.4, 651237.6, 6862347.7,
                            651241.8, 6862342.1};
    expect_corners(image->georef, 9, 14, want, 1e-6, "matrix");
  }
}

// ---- Errors --------------------------------------------------------------------------------
struct error_case {
  const char* what;
  void (*write)(tiff_writer& w);
  int rc;
  bool after_placement = true;  // written after a scale and a tiepoint
};

const error_case kErrors[] = {
    {"model type 4", [](tiff_writer& w) { w.keys({{1024, 0, 1, 4}}); }, 3},
    {"key in an unknown tag", [](tiff_writer& w) { w.keys({{1024, 34738, 1, 0}}); }, 3},
    {"projection the tables lack",
     [](tiff_writer& w) { w.keys({{1024, 0, 1, 1}, {3072, 0, 1, 3857}}); }, 13},
    {"NumberOfKeys against the count",
     [](tiff_writer& w) { w.shorts(34735, {1, 1, 0, 2, 1024, 0, 1, 1}); }, 14},
    {"key directory count not a multiple of 4",
     [](tiff_writer& w) { w.shorts(34735, {1, 1, 0, 0, 1024, 0}); }, 14},
    {"key directory count below 4", [](tiff_writer& w) { w.shorts(34735, {1, 1, 0}); }, 14},
    {"key directory of LONG values",
     [](tiff_writer& w) { w.shorts(34735, {1, 1, 0, 0, 0, 0, 0, 0}, kTiffLong); }, 14},
    {"inline key with count 2", [](tiff_writer& w) { w.keys({{1024, 0, 2, 1}}); }, 14},
    {"double-params key with count 2", [](tiff_writer& w) { w.keys({{2057, 34736, 2, 0}}); },
     14},
    {"pixel scale of 2 values", [](tiff_writer& w) { w.doubles(33550, {1, 1}); }, 14},
    {"pixel scale of FLOAT values",
     [](tiff_writer& w) { w.doubles(33550, {1, 1, 0}, kTiffFloat); }, 14},
    {"tiepoint of 7 values", [](tiff_writer& w) { w.doubles(33922, {0, 0, 0, 1, 2, 3, 4}); },
     14},
    {"matrix of 15 values",
     [](tiff_writer& w) { w.doubles(34264, std::vector<double>(15, 1.0)); }, 14},
    {"Intergraph matrix of 16 values",
     [](tiff_writer& w) { w.doubles(33920, std::vector<double>(16, 1.0)); }, 14},
    {"double params of SHORT values", [](tiff_writer& w) { w.shorts(34736, {1, 2}); }, 14},
    // Counts that reach past the end of the file.
    {"tiepoints past the file", [](tiff_writer& w) { w.raw(33922, kTiffDouble, 600000, 26); },
     14},
    {"key directory past the file",
     [](tiff_writer& w) { w.raw(34735, kTiffShort, 400000, 26); }, 14},
    {"key directory count near 2^32",
     [](tiff_writer& w) { w.raw(34735, kTiffShort, 0xFFFFFFFC, 26); }, 14},
    // (A transformation is read only when none came before.)
    {"pixel scale offset past the file",
     [](tiff_writer& w) { w.raw(33550, kTiffDouble, 3, 9000); }, 14, false},
    {"matrix offset past the file", [](tiff_writer& w) { w.raw(34264, kTiffDouble, 16, 20); },
     14, false},
    {"double params past the file",
     [](tiff_writer& w) { w.raw(34736, kTiffDouble, 4000, 26); }, 14},
};

TEST_F(GeoTiffTest, ErrorsDiscardThePageAndItsGeoreference) {
  for (const error_case& c : kErrors) {
    for (bool big : {false, true}) {
      tiff_writer w(big);
      if (c.after_placement) {
        w.doubles(33550, kScale);
        w.doubles(33922, kTiepoint);
      }
      c.write(w);
      bitmap_t* image = new_image();
      EXPECT_EQ(run(w, image), c.rc) << c.what << (big ? " MM" : " II");
      EXPECT_EQ(val(image->georef), nullptr) << c.what;
    }
  }
}

TEST_F(GeoTiffTest, ValuesThatAreNotNumbersAreRefused) {
  const double inf = INFINITY;
  const std::vector<std::vector<double>> bad_scale{{1, NAN, 0}, {inf, 1, 0}};
  for (const auto& v : bad_scale) {
    tiff_writer w(false);
    w.doubles(33550, v);
    w.doubles(33922, kTiepoint);
    EXPECT_EQ(run(w, new_image()), 14);
  }
  {
    tiff_writer w(true);
    w.doubles(33550, kScale);
    w.doubles(33922, {0, 0, 0, NAN, 4000000, 0});
    EXPECT_EQ(run(w, new_image()), 14);
  }
  {
    tiff_writer w(false);
    std::vector<double> m{1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    m[3] = -inf;
    w.doubles(34264, m);
    EXPECT_EQ(run(w, new_image()), 14);
  }
}

TEST_F(GeoTiffTest, OtherTagsAboveTheBaselineAreIgnored) {
  tiff_writer w(false);
  w.doubles(33550, kScale);
  w.doubles(33922, kTiepoint);
  w.raw(34737, kTiffAscii, 5000000, 0);  // GeoAsciiParams is never read
  w.raw(42112, kTiffAscii, 5000000, 0);
  bitmap_t* image = new_image();
  EXPECT_EQ(run(w, image), 0);
  EXPECT_TRUE(val(image->georef));
}

// ---- GeoTIFFs written by GDAL ---------------------------------------------------------------
struct gdal_case {
  std::string name;
  int rc = 0, epsg = 0, width = 0, height = 0;
  double corners[8] = {};  // upper-left, lower-left, upper-right, lower-right (x, y)
};

void PrintTo(const gdal_case& c, std::ostream* os) { *os << c.name; }

std::vector<gdal_case> gdal_cases() {
  std::vector<gdal_case> out;
  std::ifstream in(raster_test::fixture("geotiff", "corners.txt"));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    gdal_case c;
    s >> c.name >> c.rc >> c.epsg >> c.width >> c.height;
    for (double& v : c.corners) s >> v;
    out.push_back(c);
  }
  return out;
}

std::string gdal_name(const ::testing::TestParamInfo<gdal_case>& info) { return info.param.name; }

// The system of the georeference is the one of the file's EPSG code.
void expect_system(const georef_t* g, int epsg, const std::string& name) {
  if (epsg == 4326) {
    EXPECT_EQ(val(g->refertype), GEOREF_GEOGRAPHIC) << name;
    ASSERT_TRUE(val(g->datum)) << name;
    EXPECT_EQ(val(g->datum->code), 214) << name;
    return;
  }
  EXPECT_EQ(val(g->refertype), GEOREF_PROJECTED) << name;
  cartproj_t* proj = nullptr;
  geo_find_by_alias(CLS_CARTPROJ, GEO_SCHEME_EPSG, std::to_string(epsg).c_str(), &proj);
  ASSERT_TRUE(proj) << name;
  EXPECT_EQ(val(g->projection), proj) << name;
}

// The display carries the pixel extent through the georeference by its upper-left and
// lower-right corners.
void expect_display_extent(const bitmap_t* image, const gdal_case& c) {
  extent_t world{};
  georef_image_to_world(image, extent_t{0, double(c.width), 0, double(c.height), 0}, &world);
  EXPECT_NEAR(world.xmin, std::min(c.corners[0], c.corners[6]), 1e-6) << c.name;
  EXPECT_NEAR(world.xmax, std::max(c.corners[0], c.corners[6]), 1e-6) << c.name;
  EXPECT_NEAR(world.ymin, std::min(c.corners[1], c.corners[7]), 1e-6) << c.name;
  EXPECT_NEAR(world.ymax, std::max(c.corners[1], c.corners[7]), 1e-6) << c.name;
}

class GdalGeoTiffs : public GeoTiffTest, public ::testing::WithParamInterface<gdal_case> {
 protected:
  // The GeoTIFF entries of the file's first directory, through the handler and the
  // finisher as the TIFF reader's walk hands them over.
  int walk(const std::string& path, bitmap_t* image) {
    obj_t* file = tm_test::stub_file(path.c_str());
    EXPECT_EQ(rd_open(file, 4096, 1), 0);
    int order = 0;
    EXPECT_EQ(tiff_read_header(0, &order), 0);
    const int64_t ifd = rd_tell();
    const int n = tiff_numbers(order).u16();
    int rc = 0;
    for (int i = 0; i < n && rc == 0; ++i) {
      rd_seek(ifd + 2 + 12 * i, 0);
      const int tag = tiff_numbers(order).u16();
      if (tag > 33432) rc = geotiff_tag(&slot_, tag, image, order);
    }
    if (rc == 0) rc = geotiff_finish(&slot_, image);
    rd_close_file(file);
    set_gblerr(0);
    return rc;
  }
};

TEST_P(GdalGeoTiffs, CornersThroughTheGeoTiffTags) {
  const gdal_case& c = GetParam();
  bitmap_t* image = new_image(c.width, c.height);
  ASSERT_EQ(walk(raster_test::fixture("geotiff", c.name + ".tif"), image), c.rc);
  if (c.rc != 0) {
    EXPECT_EQ(val(image->georef), nullptr);
    return;
  }
  ASSERT_TRUE(val(image->georef));
  expect_system(image->georef, c.epsg, c.name);
  expect_corners(image->georef, c.width, c.height, c.corners, 1e-6, c.name);
  expect_display_extent(image, c);
}

// The whole road: the TIFF reader reads the page and its GeoTIFF tags. Skipped while
// the TIFF reader refuses every file (3).
TEST_P(GdalGeoTiffs, CornersThroughTheTiffReader) {
  const gdal_case& c = GetParam();
  obj_t* file = tm_test::stub_file(raster_test::fixture("geotiff", c.name + ".tif").c_str());
  bitmap_t* record = nullptr;
  obj_new_registered(CLS_BITMAP, &record);
  record->file = file;
  record->format = kFormatTiff;
  record->gamma = -1.0;
  set_graylevel_lut(record);
  container_t* list = nullptr;
  obj_list_create(&list);
  bitmap_t* image = record;
  const int rc = tiff_read(&image, list, -1);
  set_gblerr(0);
  rd_close_all();
  // The pages the reader filed go with the list; the record when it is not among them.
  std::vector<bitmap_t*> pages;
  for (int i = 0; i < obj_list_count(list); ++i) {
    obj_t* o = obj_list_get(list, i, static_cast<obj_t**>(nullptr));
    if (o && o->cls == CLS_BITMAP) pages.push_back(static_cast<bitmap_t*>(o));
  }
  if (image && !id_list_find(list, image->id, nullptr)) made_.push_back(image);
  made_.insert(made_.end(), pages.begin(), pages.end());
  obj_list_clear(list);
  free_obj(&list);
  if (rc == ERR_UNKNOWN_FORMAT) GTEST_SKIP() << "the TIFF reader takes no file yet";
  if (c.rc != 0) {
    EXPECT_NE(rc, 0) << c.name;
    EXPECT_TRUE(pages.empty()) << c.name;
    return;
  }
  ASSERT_EQ(rc, 0) << c.name;
  ASSERT_TRUE(image);
  EXPECT_EQ(val(image->width), c.width);
  EXPECT_EQ(val(image->height), c.height);
  ASSERT_TRUE(val(image->georef)) << c.name;
  expect_system(image->georef, c.epsg, c.name);
  expect_corners(image->georef, c.width, c.height, c.corners, 1e-6, c.name);
  expect_display_extent(image, c);
}

INSTANTIATE_TEST_SUITE_P(Files, GdalGeoTiffs, ::testing::ValuesIn(gdal_cases()), gdal_name);

}  // namespace
