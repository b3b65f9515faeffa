// Version-2 files written by the Garmin record printers read back: each value a decoded
// record carries comes back in the object the reader makes from its line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/memory.h"
#include "gps/garmin/dtypes.h"
#include "tests/formats/gpstext_fixture.h"

namespace {

using tm_test::GpsTextFixture;
using tm_test::packed;
using tm_test::wide;

constexpr double kDegreesPerSemicircle = 180.0 / 2147483648.0;

// Decoded records of one type laid out with the descriptor's stride, owning their texts.
class Records {
 public:
  Records(const garmin_dtype* dt, size_t n) : dt_(dt), n_(n), bytes_(n * garmin_dtype_stride(dt) / sizeof(garmin_record) + 1) {}
  ~Records() {
    for (size_t i = 0; i < n_; ++i) garmin_record_clear(at(i));
  }
  garmin_record* at(size_t i) {
    return reinterpret_cast<garmin_record*>(reinterpret_cast<uint8_t*>(bytes_.data()) + i * garmin_dtype_stride(dt_));
  }
  const uint8_t* data() { return reinterpret_cast<const uint8_t*>(bytes_.data()); }

 private:
  const garmin_dtype* dt_;
  size_t n_;
  std::vector<garmin_record> bytes_;
};

int32_t semi(double degrees) { return int32_t(degrees / kDegreesPerSemicircle); }

void set_text(garmin_record* r, int slot, const char* text) { str_set(text, &r->text[slot]); }

void fill_waypoint(garmin_record* r, const char* ident, double lon, double lat, const char* cmnt,
                   int smbl, float alt) {
  r->num[GN_LON] = uint32_t(semi(lon));
  r->num[GN_LAT] = uint32_t(semi(lat));
  r->num[GN_SMBL] = uint32_t(smbl);
  r->num[GN_DSPL] = 1;
  r->flt[GF_ALT] = alt;
  set_text(r, GT_IDENT, ident);
  set_text(r, GT_CMNT, cmnt);
}

class GpsTextDtypes : public GpsTextFixture {
 protected:
  // A file: the header line, the device line, then what `body` prints.
  template <class Body> std::string write(const char* header, const char* name, Body body) {
    const std::string path = dir_ + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f, "%s\nGarmin Test unit 999", header);
    body(f);
    std::fclose(f);
    return path;
  }
};

TEST_F(GpsTextDtypes, WaypointsOfD108) {
  const garmin_dtype* dt = garmin_dtype_find(108);
  ASSERT_NE(dt, nullptr);
  Records recs(dt, 2);
  fill_waypoint(recs.at(0), "CAMP", 6.8652, 45.8326, "base 'camp'", 8, 1234.5f);
  fill_waypoint(recs.at(1), "ISLE", -151.75, -16.5, "", 18, -12.25f);
  const std::string path = write("TMW-V2_Tarmelo_Waypoint", "w.tmw", [&](FILE* f) {
    std::fputc('\n', f);
    dt->print_flags(f);
    const uint8_t* cursor = recs.data();
    dt->print_records(f, 2, &cursor);
  });
  fileatt_t* file = nullptr;
  ASSERT_EQ(load_path(path, &file), 0);
  const auto w = waypoints(file);
  ASSERT_EQ(w.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const garmin_record* r = recs.at(i);
    EXPECT_EQ(wide(w[i]->name), std::u16string(r->text[GT_IDENT], r->text[GT_IDENT] + std::strlen(r->text[GT_IDENT])));
    EXPECT_NEAR(packed(w[i]->coords.x), int32_t(r->num[GN_LON]) * kDegreesPerSemicircle, 1e-12);
    EXPECT_NEAR(packed(w[i]->coords.y), int32_t(r->num[GN_LAT]) * kDegreesPerSemicircle, 1e-12);
    EXPECT_FLOAT_EQ(packed(w[i]->altitude), r->flt[GF_ALT]);
    EXPECT_EQ(packed(w[i]->display), 1);
  }
  EXPECT_EQ(wide(w[0]->comment), u"base 'camp'");
}

TEST_F(GpsTextDtypes, TracklogOfD310AndD302) {
  const garmin_dtype* head = garmin_dtype_find(310);
  const garmin_dtype* pt = garmin_dtype_find(302);
  ASSERT_NE(head, nullptr);
  ASSERT_NE(pt, nullptr);
  Records h(head, 1);
  set_text(h.at(0), GT_IDENT, "ACTIVE LOG");
  h.at(0)->num[GN_COLOUR] = 1;
  Records p(pt, 3);
  const uint32_t t0 = 600000000;
  for (size_t i = 0; i < 3; ++i) {
    garmin_record* r = p.at(i);
    r->num[GN_LON] = uint32_t(semi(6.1 + 0.01 * double(i)));
    r->num[GN_LAT] = uint32_t(semi(45.1 - 0.01 * double(i)));
    r->num[GN_TIME] = t0 + uint32_t(i) * 30;
    r->num[GN_NEW_TRK] = i == 2 ? 1 : 0;
    r->flt[GF_ALT] = 100.0f + float(i);
    r->flt[GF_TEMP] = 20.5f + float(i);
  }
  const std::string path = write("TMT-V2_Tarmelo_Tracklog", "t.tmt", [&](FILE* f) {
    head->print_flags(f);
    pt->print_flags(f);
    const uint8_t* c = h.data();
    head->print_record(f, 3, &c);
    c = p.data();
    pt->print_records(f, 3, &c);
  });
  fileatt_t* file = nullptr;
  ASSERT_EQ(load_path(path, &file), 0);
  ASSERT_EQ(tracklogs(file).size(), 1u);
  EXPECT_EQ(wide(tracklogs(file)[0]->name), u"ACTIVE LOG");
  int rgb[3];
  garmin_palette(310, 1, rgb);
  EXPECT_EQ(packed(tracklogs(file)[0]->colour), gps_rgb(rgb[0], rgb[1], rgb[2]));
  const auto pts = points(file);
  ASSERT_EQ(pts.size(), 3u);
  EXPECT_EQ(segments(file).size(), 2u);
  for (size_t i = 0; i < 3; ++i) {
    const garmin_record* r = p.at(i);
    EXPECT_NEAR(packed(pts[i]->coords.x), int32_t(r->num[GN_LON]) * kDegreesPerSemicircle, 1e-12);
    EXPECT_NEAR(packed(pts[i]->coords.y), int32_t(r->num[GN_LAT]) * kDegreesPerSemicircle, 1e-12);
    EXPECT_FLOAT_EQ(packed(pts[i]->altitude), r->flt[GF_ALT]);
    EXPECT_DOUBLE_EQ(packed(pts[i]->tpre), double(r->flt[GF_TEMP]));
    EXPECT_NEAR(packed(pts[i]->time).date, date_value_from_seconds_1989(r->num[GN_TIME]), 1e-7);
  }
}

TEST_F(GpsTextDtypes, RouteOfD202AndD108) {
  const garmin_dtype* head = garmin_dtype_find(202);
  const garmin_dtype* wp = garmin_dtype_find(108);
  ASSERT_NE(head, nullptr);
  ASSERT_NE(wp, nullptr);
  Records h(head, 1);
  set_text(h.at(0), GT_IDENT, "TO THE LAKE");
  Records w(wp, 2);
  fill_waypoint(w.at(0), "START", 6.0, 45.0, "", 1, 500.0f);
  fill_waypoint(w.at(1), "LAKE", 6.5, 45.5, "shore", 2, 600.0f);
  const std::string path = write("TMR-V2_Tarmelo_Route", "r.tmr", [&](FILE* f) {
    head->print_flags(f);
    wp->print_flags(f);
    const uint8_t* c = h.data();
    head->print_record(f, 2, &c);
    c = w.data();
    wp->print_records(f, 2, &c);
  });
  fileatt_t* file = nullptr;
  ASSERT_EQ(load_path(path, &file), 0);
  const auto r = routes(file);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(wide(r[0]->name), u"TO THE LAKE");
  ASSERT_EQ(obj_list_count(r[0]->sons), 2);
  const auto* lake = static_cast<const waypoint_t*>(r[0]->sons->elems[1]);
  EXPECT_EQ(wide(lake->name), u"LAKE");
  EXPECT_EQ(wide(lake->comment), u"shore");
  EXPECT_NEAR(packed(lake->coords.x), semi(6.5) * kDegreesPerSemicircle, 1e-12);
  EXPECT_FLOAT_EQ(packed(lake->altitude), 600.0f);
}

}  // namespace
