// Sentences synthesised for inserted replay points: the exact fields for a table of
// points (hemispheres, empty fields, the geoid separation in its own field), and an
// outside NMEA library reading every sentence back with its checksum checked.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "gps/nmea_parser.h"
#include "quellix/qx_builders.h"
#include "quellix/replay_point.h"
#include "tests/quellix/qx_builders_test_support.h"
#include "tests/support/run_tool.h"

namespace {

using tm_test::sentence;

struct synth_case {
  const char* name;
  double latitude, longitude, altitude, separation, speed, course;
  int32_t used;
  std::string expected;
};

std::vector<synth_case> synth_cases() {
  return {
      {"south_east_moving", -33.5, 151.25, 300.0, 47.0, 18.52, 90.0, 8,
       sentence("$GPGGA,,3330.0000,S,15115.0000,E,,8,,300.00,M,47.00,M,,,") +
           sentence("$GPRMC,,A,3330.0000,S,15115.0000,E,10.0000,90.0000,,,") +
           sentence("$GPVTG,90.0000,T,,,10.0000,N,18.5200,K")},
      // Speed 0: five empty fields after the longitude, no VTG; no heights, no counts.
      {"north_west_still", 45.5, -6.25, 0.0, 0.0, 0.0, 12.0, NULL_INT,
       sentence("$GPGGA,,4530.0000,N,00615.0000,W,,,,,,,,,,") +
           sentence("$GPRMC,,A,4530.0000,N,00615.0000,W,,,,,")},
      // A separation without altitude, and a moving point without course.
      {"separation_no_course", 0.25, 0.5, 0.0, -12.5, 10.0, NULL_DOUBLE, 0,
       sentence("$GPGGA,,0015.0000,N,00030.0000,E,,,,,,-12.50,M,,,") +
           sentence("$GPRMC,,A,0015.0000,N,00030.0000,E,5.3996,,,,") +
           sentence("$GPVTG,,T,,,5.3996,N,10.0000,K")},
  };
}

replay_point* make_point(const synth_case& c) {
  replay_point* p = nullptr;
  qx_replay_point_new(&p);
  p->latitude = c.latitude;
  p->longitude = c.longitude;
  p->altitude = c.altitude;
  p->separation = float(c.separation);
  p->height = c.altitude - c.separation;
  p->speed = c.speed;
  p->course = c.course;
  p->satellites_used = c.used;
  return p;
}

class QxSynthesis : public tm_test::QxBuildersFixture {};

TEST_F(QxSynthesis, SentencesOfATableOfPoints) {
  for (const synth_case& c : synth_cases()) {
    SCOPED_TRACE(c.name);
    replay_point* p = make_point(c);
    qx_make_position_sentences(p);
    EXPECT_EQ(text_of(p), c.expected);
    EXPECT_EQ(int(p->length), int(c.expected.size()));
    obj_t* o = p;
    free_obj(&o);
  }
}

// 300 m above the geoid over a 47 m separation: the separation field says 47, not the
// 253 m the point lies above the ellipsoid, and our own parser gets the heights back.
TEST_F(QxSynthesis, GeoidSeparationGoesInItsOwnField) {
  replay_point* p = make_point(synth_cases()[0]);
  qx_make_position_sentences(p);
  const std::string text = text_of(p);
  EXPECT_NE(text.find(",300.00,M,47.00,M,"), std::string::npos);
  EXPECT_EQ(text.find("253"), std::string::npos);
  nmea_parser* parser = nullptr;
  ASSERT_EQ(nmea_reader_create(nullptr, nullptr, &parser), 0);
  nmea_feed(reinterpret_cast<const uint8_t*>(text.data()), int(text.size()), parser);
  EXPECT_DOUBLE_EQ(parser->fix->altitude, 300.0);
  EXPECT_DOUBLE_EQ(parser->fix->ell_height, 253.0);
  EXPECT_NEAR(parser->fix->latitude / 3600.0, -33.5, 1e-9);
  EXPECT_NEAR(parser->fix->longitude / 3600.0, 151.25, 1e-9);
  EXPECT_NEAR(parser->fix->speed, 18.52, 1e-3);
  nmea_reader_free(&parser);
  obj_t* o = p;
  free_obj(&o);
}

// Reads every line with python3-nmea2, checksums checked, and prints what it got.
const char* const kReadBack = R"(
import sys, pynmea2
for line in open(sys.argv[1], newline=''):
    line = line.strip()
    if not line:
        continue
    m = pynmea2.parse(line, check=True)
    t = m.sentence_type
    if t == 'GGA':
        print('GGA', m.latitude, m.longitude, m.altitude, m.geo_sep or 'none', m.num_sats or 'none')
    elif t == 'RMC':
        print('RMC', m.latitude, m.longitude, m.status, m.spd_over_grnd, m.true_course)
    elif t == 'VTG':
        print('VTG', m.true_track, m.spd_over_grnd_kts, m.spd_over_grnd_kmph)
)";

double number(const std::string& s) { return s == "None" || s == "none" ? NAN : std::atof(s.c_str()); }

TEST_F(QxSynthesis, AnOutsideNmeaLibraryReadsEverySentenceBack) {
  std::string all;
  std::vector<synth_case> cases = synth_cases();
  for (const synth_case& c : cases) {
    replay_point* p = make_point(c);
    qx_make_position_sentences(p);
    all += text_of(p);
    obj_t* o = p;
    free_obj(&o);
  }
  const std::string path = put("/synth.nmea", all);
  std::string out;
  const int status = tm_test::run_tool({"/usr/bin/python3", "-c", kReadBack, path}, &out, 30000);
  ASSERT_EQ(status, 0) << out;
  std::istringstream in(out);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<std::string> row;
    for (std::string w; words >> w;) row.push_back(w);
    rows.push_back(row);
  }
  // Three sentences for each moving point, two for the still one.
  ASSERT_EQ(rows.size(), 8u) << out;
  size_t r = 0;
  for (const synth_case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto& g = rows[r++];
    ASSERT_EQ(g.size(), 6u);
    EXPECT_EQ(g[0], "GGA");
    EXPECT_NEAR(number(g[1]), c.latitude, 1e-6);
    EXPECT_NEAR(number(g[2]), c.longitude, 1e-6);
    if (c.altitude != 0)
      EXPECT_NEAR(number(g[3]), c.altitude, 1e-6);
    else
      EXPECT_EQ(g[3], "None");
    if (c.separation != 0)
      EXPECT_NEAR(number(g[4]), c.separation, 1e-6);
    else
      EXPECT_EQ(g[4], "none");
    if (c.used > 0)
      EXPECT_EQ(number(g[5]), c.used);
    else
      EXPECT_EQ(g[5], "none");
    const auto& m = rows[r++];
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[0], "RMC");
    EXPECT_NEAR(number(m[1]), c.latitude, 1e-6);
    EXPECT_NEAR(number(m[2]), c.longitude, 1e-6);
    EXPECT_EQ(m[3], "A");
    if (c.speed > 0) {
      EXPECT_NEAR(number(m[4]), c.speed / 1.852, 1e-4);
      if (c.course != NULL_DOUBLE)
        EXPECT_NEAR(number(m[5]), c.course, 1e-6);
      else
        EXPECT_EQ(m[5], "None");
      const auto& v = rows[r++];
      ASSERT_EQ(v.size(), 4u);
      EXPECT_EQ(v[0], "VTG");
      EXPECT_NEAR(number(v[2]), c.speed / 1.852, 1e-4);
      EXPECT_NEAR(number(v[3]), c.speed, 1e-4);
    } else {
      EXPECT_EQ(m[4], "None");
    }
  }
}

}  // namespace
