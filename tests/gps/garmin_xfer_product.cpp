// The Garmin product table and the entries built from protocol arrays: the table lookup
// walk over version ranges and missing ids, and the protocol triples (later ones win,
// unknown ones change nothing, A800 only over USB), with the capabilities they give.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "core/index.h"
#include "core/obj_list.h"
#include "gps/garmin/product.h"
#include "tests/gps/gpsport_fixture.h"

namespace {

int fake_realtime(com_device*, garmin_product*) { return 0; }

int dnum(const garmin_dtype* dt) { return dt ? dt->number : 0; }

// Which routine a slot holds, as the protocol name.
std::string routine_name(const garmin_product* e) {
  std::string s;
  s += e->waypoint_transfer == garmin_a100_transfer ? "A100" : e->waypoint_transfer ? "?" : "-";
  s += ' ';
  s += e->route_transfer == garmin_a200_transfer   ? "A200"
       : e->route_transfer == garmin_a201_transfer ? "A201"
       : e->route_transfer                         ? "?"
                                                   : "-";
  s += ' ';
  s += e->track_transfer == garmin_a300_transfer   ? "A300"
       : e->track_transfer == garmin_a301_transfer ? "A301"
       : e->track_transfer                         ? "?"
                                                   : "-";
  s += ' ';
  s += e->realtime == fake_realtime ? "A800" : e->realtime ? "?" : "-";
  return s;
}

// "L001 A010 wpt rte link trkhdr trk alm | routines | caps"
std::string describe(const garmin_product* e) {
  std::ostringstream o;
  o << (e->link ? e->link->name : "-") << ' ' << (e->command ? e->command->name : "-") << ' '
    << dnum(e->waypoint_type) << ' ' << dnum(e->route_header_type) << ' '
    << dnum(e->route_link_type) << ' ' << dnum(e->track_header_type) << ' '
    << dnum(e->track_point_type) << ' ' << dnum(e->almanac_type) << " | " << routine_name(e)
    << " | " << garmin_set_capabilities(e);
  return o.str();
}

// Triples written "L1 A10 D108 ..."; a tag letter then the number.
std::string triples(const std::string& text) {
  std::string out;
  std::istringstream in(text);
  std::string t;
  while (in >> t) {
    const int n = std::stoi(t.substr(1));
    out += t[0];
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
  }
  return out;
}

class GarminProductTest : public gpsport_test::GpsPortFixture {
 protected:
  void SetUp() override {
    GpsPortFixture::SetUp();
    garmin_init();
    garmin_set_realtime_routine(fake_realtime);
  }
  void TearDown() override {
    garmin_set_realtime_routine(nullptr);
    GpsPortFixture::TearDown();
  }
};

TEST_F(GarminProductTest, TableHoldsFiftyFourEntriesOfFortyNineIdsInIdOrder) {
  container_t* index = garmin_product_index();
  ASSERT_NE(index, nullptr);
  ASSERT_EQ(index->count, 54);
  std::set<int> ids;
  int previous = -1;
  for (int i = 0; i < index->count; ++i) {
    auto* e = static_cast<garmin_product*>(owner_get(&index->elems)[i]);
    EXPECT_GE(e->product_id, previous);
    previous = e->product_id;
    ids.insert(e->product_id);
    EXPECT_EQ(e->from_receiver, 0u);
    EXPECT_LT(e->lowest_version, e->version_bound);
  }
  EXPECT_EQ(ids.size(), 49u);
}

// Every edge of the lookup walk and of the protocol triples, each with the entry it
// must give: "link command waypoint route-header route-link track-header track-point
// almanac | A100 A20x A30x A800 | capabilities". Lookups name no triples.
TEST_F(GarminProductTest, LookupAndProtocolArrays) {
  struct Case {
    const char* what;
    int id, version;
    const char* array;  // null: table lookup
    int usb;
    const char* expected;  // null: no entry
    int entry_id;          // product id of the entry found (lookups)
  };
  const Case cases[] = {
      {"29 below 400", 29, 399, nullptr, 0, "L001 A010 101 201 0 0 300 500 | A100 A200 A300 - | 15", 29},
      {"29 at 400", 29, 400, nullptr, 0, "L001 A010 102 201 0 0 300 500 | A100 A200 A300 - | 15", 29},
      {"77 at 300", 77, 300, nullptr, 0, "L001 A010 100 201 0 0 300 501 | A100 A200 A300 - | 15", 77},
      {"77 at 301", 77, 301, nullptr, 0, "L001 A010 103 201 0 0 300 501 | A100 A200 A300 - | 15", 77},
      {"77 at 355", 77, 355, nullptr, 0, "L001 A010 103 201 0 0 300 501 | A100 A200 A300 - | 15", 77},
      {"77 at 400", 77, 400, nullptr, 0, "L001 A010 103 201 0 0 300 501 | A100 A200 A300 - | 15", 77},
      {"36 ranges", 36, 299, nullptr, 0, "L001 A010 152 200 0 0 300 500 | A100 A200 A300 - | 15", 36},
      {"no track", 7, 100, nullptr, 0, "L001 A010 100 200 0 0 0 500 | A100 A200 - - | 13", 7},
      {"L002 entry", 52, 100, nullptr, 0, "L002 A011 150 201 0 0 0 550 | A100 A200 - - | 13", 52},
      {"missing id 8 takes 13", 8, 250, nullptr, 0, "L001 A010 100 200 0 0 300 500 | A100 A200 A300 - | 15", 13},
      {"missing id 30 takes 31", 30, 5, nullptr, 0, "L001 A010 100 201 0 0 300 500 | A100 A200 A300 - | 15", 31},
      {"last id", 112, 0, nullptr, 0, "L001 A010 152 201 0 0 300 501 | A100 A200 A300 - | 15", 112},
      {"past the last id", 113, 100, nullptr, 0, nullptr, 0},
      {"negative version walks off the end", 77, -1, nullptr, 0, nullptr, 0},
      {"array of the device interface example", 200, 310,
       "L1 A10 A100 D108 A201 D202 D108 D210 A301 D310 D301", 0,
       "L001 A010 108 202 210 310 301 0 | A100 A201 A301 - | 15", 200},
      {"A800 over serial is ignored", 200, 310, "L1 A10 A100 D110 A800 D800", 0,
       "L001 A010 110 0 0 0 0 0 | A100 - - - | 9", 200},
      {"A800 over USB", 200, 310, "L1 A10 A100 D110 A800 D800", 1,
       "L001 A010 110 0 0 0 0 0 | A100 - - A800 | 73", 200},
      {"later triples win", 200, 310, "L2 L1 A11 A10 D100 D109 A300 A302 A200 A201 D311 D312 D302 D304",
       0, "L001 A010 109 0 0 312 304 0 | - A201 A301 - | 14", 200},
      {"unknown triples change nothing", 200, 310,
       "L3 A12 A400 A999 D111 D153 D203 D211 D305 D313 D502 P0 T1 D0 A0 L0", 0,
       "- - 0 0 0 0 0 0 | - - - - | 8", 200},
      {"D number picks the field whatever A precedes", 200, 310, "A300 D108 A100 D301 A200 D501", 0,
       "- - 108 0 0 0 301 501 | A100 A200 A300 - | 15", 200},
      {"L002 and A011 over USB", 200, 310, "L2 A11 A100 D109 A200 D201", 1,
       "L002 A011 109 201 0 0 0 0 | A100 A200 - - | 13", 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    set_gblerr(0);
    const std::string description = std::string("Receiver ") + c.what;
    const garmin_product_data data{uint16_t(c.id), int16_t(c.version), description.c_str()};
    garmin_product* e = nullptr;
    if (!c.array) {
      EXPECT_EQ(garmin_product_lookup(&data, &e), c.expected ? 1 : 0);
      if (!c.expected) {
        EXPECT_EQ(e, nullptr);
        continue;
      }
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->from_receiver, 0u);
      EXPECT_LE(e->lowest_version, c.version);
      EXPECT_LT(c.version, e->version_bound);
      EXPECT_EQ(e->version_bound == kGarminTableVersionBound || e->version_bound < 1000, true);
    } else {
      ASSERT_NE(garmin_product_from_array(&data, &e), nullptr);
      EXPECT_EQ(e->from_receiver, 1u);
      EXPECT_EQ(e->lowest_version, c.version);
      EXPECT_EQ(e->version_bound, kGarminArrayVersionBound);
      EXPECT_EQ(describe(e), "- - 0 0 0 0 0 0 | - - - - | 8");
      const std::string bytes = triples(c.array) + "D";  // a cut-off triple is ignored
      garmin_apply_protocol_array(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), e,
                                  c.usb);
    }
    EXPECT_EQ(describe(e), c.expected);
    EXPECT_EQ(e->product_id, c.entry_id);
    EXPECT_STREQ(e->description, description.c_str());
    EXPECT_EQ(get_gblerr(), 0);
    if (c.array) free_obj(&e);
  }
}

}  // namespace
