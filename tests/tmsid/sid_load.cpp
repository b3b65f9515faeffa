// Loading MrSID images through the plug-in: the calls it makes and in which order, what
// it writes into the image record, the rows decoded into the line store, and the
// refusals (hostile headers, a failure at each call of the decoding library), each a
// clear result with the handle closed and nothing left behind.
#include <cmath>

#include "core/error.h"
#include "core/object.h"
#include "geodesy/xform_records.h"
#include "raster/image_load.h"
#include "tests/tmsid/sid_fixture.h"

namespace sid_test {
namespace {

const std::vector<std::string> kOpenCalls = {
    "ltic_openMrSIDImageFile", "ltic_getDataType",       "ltic_getNumBands",
    "ltic_getWidth",           "ltic_getHeight",         "ltic_getColorSpace",
    "ltic_getGeoXRotation",    "ltic_getGeoYRotation",   "ltic_getGeoXResolution",
    "ltic_getGeoYResolution",  "ltic_getGeoXOrigin",     "ltic_getGeoYOrigin"};

TEST_F(SidTest, FirstLoadMakesTheOpeningCallsInOrderAndClosesWithTheRecord) {
  bitmap_t* b = bare_record(fixture("rgb.sid"));
  int result = -1;
  load_sid(b, -1, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(calls(), kOpenCalls);
  EXPECT_EQ(open_handles(), 1);
  // Opened once: later calls go straight to their work.
  clear_calls();
  load_sid(b, -1, &result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(calls().empty());
  load_sid(b, 4, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(calls(), std::vector<std::string>{"ltic_decode 0 4 40 1 1"});
  // The record's release routine ends the handle: browsing leaves no file open.
  clear_calls();
  free_image(b);
  EXPECT_EQ(calls(), std::vector<std::string>{"ltic_closeImage"});
  EXPECT_EQ(open_handles(), 0);
}

TEST_F(SidTest, TheRecordTakesKindSizePlanesAndPlacement) {
  int result = -1;
  bitmap_t* b = load(fixture("rgb.sid"), &result);
  ASSERT_EQ(result, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(+b->variant, 24);
  EXPECT_EQ(+b->width, 40);
  EXPECT_EQ(+b->height, 30);
  EXPECT_EQ(+b->planes, 3);
  EXPECT_EQ(+b->bits_per_sample, 8);
  EXPECT_EQ(+b->samples_per_pixel, 3);
  ASSERT_NE(+b->georef, nullptr);
  georef_t* g = b->georef;
  ASSERT_NE(+g->transfo, nullptr);
  EXPECT_EQ(+g->transfotype, 1);
  ASSERT_EQ(+g->transfo->cls, CLS_XFORM_OFFSET_SCALE);
  auto* step = static_cast<xform_offset_scale_t*>(g->transfo);
  EXPECT_EQ(+step->sx, 2.0);
  EXPECT_EQ(+step->sy, -2.0);
  EXPECT_EQ(+step->sz, 1.0);
  ASSERT_NE(+step->origins, nullptr);
  // The decoder's origin is the first pixel's centre; the placement's its outer corner.
  EXPECT_EQ(+step->origins->sx, 0.0);
  EXPECT_EQ(+step->origins->sy, 0.0);
  EXPECT_EQ(+step->origins->tx, 1000.0);
  EXPECT_EQ(+step->origins->ty, 3000.0);
}

int g_steps_freed = 0;
void count_free(obj_t*) { ++g_steps_freed; }

// The plug-in cannot free objects: the pixel step and its origin that it hung under the
// georeference go with the image record, freed by the host.
TEST_F(SidTest, ThePlacementGoesWithTheRecord) {
  g_steps_freed = 0;
  obj_set_free_callback(CLS_XFORM_OFFSET_SCALE, count_free);
  obj_set_free_callback(CLS_XFORM_CONTROL_POINT, count_free);
  bitmap_t* b = bare_record(fixture("rgb.sid"));
  int result = -1;
  load_sid(b, -1, &result);
  ASSERT_EQ(result, 0);
  ASSERT_NE(+b->georef, nullptr);
  ASSERT_NE(+b->georef->transfo, nullptr);
  free_image(b);
  EXPECT_EQ(g_steps_freed, 2);
  obj_set_free_callback(CLS_XFORM_OFFSET_SCALE, nullptr);
  obj_set_free_callback(CLS_XFORM_CONTROL_POINT, nullptr);
}

TEST_F(SidTest, GreyIdentityAndRotatedPlacements) {
  int result = -1;
  bitmap_t* grey = load(fixture("grey.sid"), &result);
  ASSERT_EQ(result, 0);
  ASSERT_NE(grey, nullptr);
  EXPECT_EQ(+grey->planes, 1);
  EXPECT_EQ(+grey->samples_per_pixel, 1);
  for (int i : {0, 1, 77, 255}) EXPECT_EQ(+grey->lut_g[i], i);
  // The identity placement counts as none: the plug-in leaves the image unplaced.
  bitmap_t* rotated = load(fixture("rotated.sid"), &result);
  ASSERT_EQ(result, 0);
  ASSERT_NE(rotated, nullptr);
  ASSERT_NE(+rotated->georef, nullptr);
  EXPECT_EQ(+rotated->georef->transfo, nullptr);
}

// One band: a grey colour space (4 or 5) makes the tables the identity, another leaves
// them as the host set them.
TEST_F(SidTest, OneBandTablesFollowTheColourSpace) {
  struct tables {
    const char* file;
    bool identity;
  };
  for (const tables& t : {tables{"grey.sid", true}, tables{"palette.sid", false}}) {
    SCOPED_TRACE(t.file);
    bitmap_t* b = bare_record(fixture(t.file));
    for (int i = 0; i < 256; ++i) b->lut_r[i] = b->lut_g[i] = b->lut_b[i] = uint8_t(255 - i);
    int result = -1;
    load_sid(b, -1, &result);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(+b->planes, 1);
    for (int i : {0, 9, 200}) {
      EXPECT_EQ(+b->lut_r[i], t.identity ? i : 255 - i);
      EXPECT_EQ(+b->lut_b[i], t.identity ? i : 255 - i);
    }
  }
}

TEST_F(SidTest, RowsComeFromTheDecoderThroughTheLineStore) {
  for (const char* name : {"rgb.sid", "grey.sid"}) {
    SCOPED_TRACE(name);
    int result = -1;
    bitmap_t* b = load(fixture(name), &result);
    ASSERT_EQ(result, 0);
    ASSERT_NE(b, nullptr);
    for (int y : {0, 1, b->height / 2, b->height - 1})
      for (int p = 0; p < b->planes; ++p) {
        const uint8_t* line = image_line(b, y, p);
        ASSERT_NE(line, nullptr) << "row " << y;
        for (int x = 0; x < b->width; ++x)
          ASSERT_EQ(line[x], msid::sample(uint32_t(x), uint32_t(y), p, 0))
              << x << "," << y << " plane " << p;
      }
  }
}

// Hostile or unsupported files: a clear result, no image, no handle left open, and the
// failure in the trace log.
struct refusal {
  const char* file;
  int result;
};
const refusal kRefusals[] = {
    {"cmyk.sid", 3},        // three bands that are not RGB
    {"two_bands.sid", 7},   // band count
    {"float_data.sid", 7},  // data type
    {"too_wide.sid", 7},    // beyond the decoder's size limit
    {"short.sid", 7},       // header cut short
    {"refused.sid", 7},     // the decoder refuses the file
};

TEST_F(SidTest, RefusedFilesGiveAClearResultAndLeaveNothing) {
  for (const refusal& r : kRefusals) {
    SCOPED_TRACE(r.file);
    int result = -1;
    EXPECT_EQ(load(fixture(r.file), &result), nullptr);
    EXPECT_EQ(result, r.result);
    EXPECT_EQ(open_handles(), 0);
    EXPECT_NE(trace_log().find(std::string("Loading error ") + fixture(r.file)),
              std::string::npos);
    set_gblerr(0);
  }
}

TEST_F(SidTest, HostileSizesAndPlacementsAreRefusedOrIgnored) {
  struct sized {
    uint32_t width, height;
    double x_res, y_res;
    int result;
    bool placed;
  };
  const sized cases[] = {
      {0, 10, 1.0, -1.0, 7, false},            // no width
      {10, 1000001, 1.0, -1.0, 7, false},      // beyond the limit
      {0xFFFFFFFFu, 3, 1.0, -1.0, 7, false},   // would be negative as a signed size
      {12, 5, 0.0, -1.0, 0, false},            // a zero pixel size places nothing
      {12, 5, NAN, -1.0, 0, false},            // nor a value that is no number
      {12, 5, 1.0, INFINITY, 0, false},
      {12, 5, 0.5, -0.25, 0, true},
  };
  for (const sized& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " res " +
                 std::to_string(c.x_res));
    msid::header h;
    h.width = c.width;
    h.height = c.height;
    h.bands = 3;
    h.data_type = 1;
    h.colour_space = 1;
    h.x_res = c.x_res;
    h.y_res = c.y_res;
    h.x_origin = 100.0;
    h.y_origin = 200.0;
    int result = -1;
    bitmap_t* b = load(write_file(h), &result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(b != nullptr, c.result == 0);
    if (b) {
      EXPECT_EQ(+b->georef != nullptr && b->georef->transfo != nullptr, c.placed);
    }
    set_gblerr(0);
  }
}

// A failure at each call of a first load and of a later row: the result each gives.
struct failing_call {
  const char* call;
  int load_result;  // of the first load
  int row_result;   // of a row decoded after it (when the load succeeded)
};
const failing_call kFailures[] = {
    {"ltic_openMrSIDImageFile", 7, 0},
    {"ltic_getDataType", 7, 0},
    {"ltic_getNumBands", 7, 0},
    {"ltic_getWidth", 7, 0},
    {"ltic_getHeight", 7, 0},
    {"ltic_getColorSpace", 3, 0},
    {"ltic_getGeoXRotation", 0, 0},  // no number: an empty georeference
    {"ltic_getGeoYRotation", 0, 0},
    {"ltic_getGeoXResolution", 0, 0},  // no placement
    {"ltic_getGeoYResolution", 0, 0},
    {"ltic_getGeoXOrigin", 0, 0},
    {"ltic_getGeoYOrigin", 0, 0},
    {"ltic_decode", 0, 7},  // a refused row is no success
    {"ltic_closeImage", 0, 0},
};

TEST_F(SidTest, AFailureAtEachCallIsReportedAndLeaksNothing) {
  for (const failing_call& f : kFailures) {
    SCOPED_TRACE(f.call);
    setenv("MSID_FAIL", f.call, 1);
    bitmap_t* b = bare_record(fixture("rgb.sid"));
    int result = -1;
    load_sid(b, -1, &result);
    EXPECT_EQ(result, f.load_result);
    if (result == 0) {
      load_sid(b, 2, &result);
      EXPECT_EQ(result, f.row_result);
    }
    set_gblerr(0);
    free_image(b);
    EXPECT_EQ(open_handles(), 0);
    unsetenv("MSID_FAIL");
  }
}

TEST_F(SidTest, ARefusedRowFailsTheSecondDecodeInsteadOfShowingStalePixels) {
  bitmap_t* b = bare_record(fixture("decode_fails.sid"));
  int result = -1;
  load_sid(b, -1, &result);
  ASSERT_EQ(result, 0);
  uint8_t* line = get_img_line_adr(b, 3, 0);
  ASSERT_NE(line, nullptr);
  line[0] = 0xAB;
  load_sid(b, 3, &result);
  EXPECT_EQ(result, 7);
}

TEST_F(SidTest, APendingErrorIsHandedBack) {
  bitmap_t* b = bare_record(fixture("rgb.sid"));
  set_gblerr(14);
  int result = -1;
  load_sid(b, -1, &result);
  EXPECT_EQ(result, 14);
  set_gblerr(0);
}

}  // namespace
}  // namespace sid_test
