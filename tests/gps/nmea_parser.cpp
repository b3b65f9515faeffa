// The NMEA parser against the sentences written by scripts/fixtures/make_nmea_sentences.py:
// every case's stream fed whole, split in two at every byte and byte by byte must give
// the expected fix. Then hostile streams (random bytes, 64 MB without a line end,
// sentences over 16 KiB), drivers' own tables with begin routines, a handler's error
// stopping the feed, and the helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/dict.h"
#include "core/error.h"
#include "core/object.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "tests/support/object_env.h"

namespace {

const bool kCleanupAdded = (tm_test::add_store_cleanup(nmea_module_free), true);

struct SentenceCase {
  std::string name;
  std::vector<std::string> pieces;
  std::vector<std::pair<std::string, std::string>> expect;  // number fields
  std::vector<std::pair<std::string, std::string>> text;    // text fields
  std::string stream() const {
    std::string s;
    for (const auto& p : pieces) s += p;
    return s;
  }
};

std::string unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  return out;
}

std::vector<SentenceCase> load_cases() {
  std::vector<SentenceCase> cases;
  std::ifstream in(TM_FIXTURE_DIR "/nmea/sentences.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("case ", 0) == 0) {
      cases.emplace_back();
      cases.back().name = line.substr(5);
    } else if (line.rfind("feed ", 0) == 0) {
      cases.back().pieces.push_back(unhex(line.substr(5)));
    } else if (line.rfind("expect ", 0) == 0 || line.rfind("text ", 0) == 0) {
      const bool is_text = line[0] == 't';
      const std::string rest = line.substr(is_text ? 5 : 7);
      const size_t sp = rest.find(' ');
      const std::string field = rest.substr(0, sp);
      const std::string value = sp == std::string::npos ? "" : rest.substr(sp + 1);
      (is_text ? cases.back().text : cases.back().expect).emplace_back(field, value);
    }
  }
  return cases;
}

// A number field of the fix by name.
bool number_field(const nmea_fix& f, const std::string& name, double* out) {
  static const std::map<std::string, std::function<double(const nmea_fix&)>> fields = {
      {"latitude", [](const nmea_fix& f) { return f.latitude; }},
      {"longitude", [](const nmea_fix& f) { return f.longitude; }},
      {"time", [](const nmea_fix& f) { return f.time; }},
      {"date", [](const nmea_fix& f) { return f.date; }},
      {"altitude", [](const nmea_fix& f) { return f.altitude; }},
      {"ell_height", [](const nmea_fix& f) { return f.ell_height; }},
      {"speed", [](const nmea_fix& f) { return f.speed; }},
      {"speed_knots", [](const nmea_fix& f) { return f.speed_knots; }},
      {"course", [](const nmea_fix& f) { return f.course; }},
      {"mag_course", [](const nmea_fix& f) { return f.mag_course; }},
      {"h_error", [](const nmea_fix& f) { return f.h_error; }},
      {"v_error", [](const nmea_fix& f) { return f.v_error; }},
      {"hdop", [](const nmea_fix& f) { return f.hdop; }},
      {"vdop", [](const nmea_fix& f) { return f.vdop; }},
      {"pdop", [](const nmea_fix& f) { return f.pdop; }},
      {"h_accuracy", [](const nmea_fix& f) { return f.h_accuracy; }},
      {"v_accuracy", [](const nmea_fix& f) { return f.v_accuracy; }},
      {"fix", [](const nmea_fix& f) { return double(f.fix); }},
      {"differential", [](const nmea_fix& f) { return double(f.differential); }},
      {"dead_reckoning", [](const nmea_fix& f) { return double(f.dead_reckoning); }},
      {"datum_scheme", [](const nmea_fix& f) { return double(f.datum_scheme); }},
      {"arrival", [](const nmea_fix& f) { return double(f.arrival); }},
      {"wpt_latitude", [](const nmea_fix& f) { return f.wpt_latitude; }},
      {"wpt_longitude", [](const nmea_fix& f) { return f.wpt_longitude; }},
      {"bearing", [](const nmea_fix& f) { return f.bearing; }},
      {"mag_bearing", [](const nmea_fix& f) { return f.mag_bearing; }},
      {"range", [](const nmea_fix& f) { return f.range; }},
      {"closing_velocity", [](const nmea_fix& f) { return f.closing_velocity; }},
      {"waypoint_given", [](const nmea_fix& f) { return double(f.waypoint_given); }},
      {"route_complete", [](const nmea_fix& f) { return double(f.route_complete); }},
      {"satellites", [](const nmea_fix& f) { return double(f.satellites); }},
      {"satellites_used", [](const nmea_fix& f) { return double(f.satellites_used); }},
      {"event", [](const nmea_fix& f) { return double(f.event); }},
      {"time_stamp", [](const nmea_fix& f) { return f.time_stamp; }},
      {"valid.time", [](const nmea_fix& f) { return double(f.valid.time); }},
      {"valid.position", [](const nmea_fix& f) { return double(f.valid.position); }},
      {"valid.altitude", [](const nmea_fix& f) { return double(f.valid.altitude); }},
      {"valid.speed", [](const nmea_fix& f) { return double(f.valid.speed); }},
      {"valid.course", [](const nmea_fix& f) { return double(f.valid.course); }},
      {"valid.satellites", [](const nmea_fix& f) { return double(f.valid.satellites); }},
      {"valid.quality", [](const nmea_fix& f) { return double(f.valid.quality); }},
      {"valid.date", [](const nmea_fix& f) { return double(f.valid.date); }},
      {"valid.sat_table", [](const nmea_fix& f) { return double(f.valid.sat_table); }},
  };
  if (name.rfind("sat", 0) == 0 && name.size() > 3 && std::isdigit(name[3])) {
    const int i = std::atoi(name.c_str() + 3);
    const std::string item = name.substr(name.find('.') + 1);
    if (i < 0 || i >= kNmeaSatellites) return false;
    const nmea_satellite& s = f.sat[i];
    if (item == "prn") *out = s.prn;
    else if (item == "elevation") *out = s.elevation;
    else if (item == "azimuth") *out = s.azimuth;
    else if (item == "snr") *out = s.snr;
    else if (item == "used") *out = s.used;
    else return false;
    return true;
  }
  auto it = fields.find(name);
  if (it == fields.end()) return false;
  *out = it->second(f);
  return true;
}

bool text_field(const nmea_fix& f, const std::string& name, std::string* out) {
  if (name == "datum_name") *out = f.datum_name;
  else if (name == "origin_name") *out = f.origin_name;
  else if (name == "waypoint_name") *out = f.waypoint_name;
  else if (name == "route_name") *out = f.route_name ? f.route_name : "";
  else if (name == "route_waypoints") {
    out->clear();
    for (const char* p = f.route_waypoints; p && *p; p += std::strlen(p) + 1) {
      if (!out->empty()) *out += '|';
      *out += p;
    }
  } else {
    return false;
  }
  return true;
}

class NmeaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    ASSERT_EQ(nmea_module_init(), 0);
  }
  void TearDown() override {
    nmea_reader_free(&parser_);
    nmea_module_free();
    set_gblerr(0);
  }
  nmea_parser* fresh() {
    nmea_reader_free(&parser_);
    EXPECT_EQ(nmea_reader_create(nullptr, nullptr, &parser_), 0);
    return parser_;
  }
  int feed(const std::string& bytes) {
    return nmea_feed(reinterpret_cast<const uint8_t*>(bytes.data()),
                     static_cast<int>(bytes.size()), parser_);
  }
  nmea_parser* parser_ = nullptr;
};

void check_fix(const nmea_fix& f, const SentenceCase& c, const std::string& how) {
  for (const auto& [field, value] : c.expect) {
    double got = 0;
    ASSERT_TRUE(number_field(f, field, &got)) << "unknown field " << field;
    double want = 0;
    if (value == "null") want = NULL_INT;
    else if (value == "none") want = NULL_DOUBLE;
    else want = std::strtod(value.c_str(), nullptr);
    const double tol = std::max(1e-9, std::fabs(want) * 1e-12) + (field == "date" ? 1e-7 : 0);
    EXPECT_NEAR(got, want, tol) << c.name << " " << how << ": " << field;
  }
  for (const auto& [field, value] : c.text) {
    std::string got;
    ASSERT_TRUE(text_field(f, field, &got)) << "unknown field " << field;
    EXPECT_EQ(got, value) << c.name << " " << how << ": " << field;
  }
}

class NmeaSentences : public NmeaTest, public ::testing::WithParamInterface<SentenceCase> {};

TEST_P(NmeaSentences, WholeStream) {
  const SentenceCase& c = GetParam();
  fresh();
  for (const auto& piece : c.pieces) ASSERT_EQ(feed(piece), 0);
  check_fix(*parser_->fix, c, "whole");
}

TEST_P(NmeaSentences, SplitAtEveryByte) {
  const SentenceCase& c = GetParam();
  const std::string s = c.stream();
  for (size_t cut = 0; cut <= s.size(); ++cut) {
    fresh();
    ASSERT_EQ(feed(s.substr(0, cut)), 0);
    ASSERT_EQ(feed(s.substr(cut)), 0);
    check_fix(*parser_->fix, c, "cut at " + std::to_string(cut));
    if (::testing::Test::HasFailure()) return;
  }
}

TEST_P(NmeaSentences, ByteByByte) {
  const SentenceCase& c = GetParam();
  const std::string s = c.stream();
  fresh();
  for (char ch : s) ASSERT_EQ(feed(std::string(1, ch)), 0);
  check_fix(*parser_->fix, c, "byte by byte");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, NmeaSentences, ::testing::ValuesIn(load_cases()),
                         [](const ::testing::TestParamInfo<SentenceCase>& info) {
                           return info.param.name;
                         });

TEST(NmeaFixtures, CasesPresent) { EXPECT_FALSE(load_cases().empty()); }

// ---- Hostile input -------------------------------------------------------------------

std::string sentence(const std::string& body) {
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", nmea_checksum(body.c_str()));
  return "$" + body + tail;
}

TEST_F(NmeaTest, SixtyFourMegabytesWithoutLineEndStayBounded) {
  fresh();
  std::string chunk(1 << 20, 'A');
  ASSERT_EQ(feed("$GPWPL,"), 0);
  for (int i = 0; i < 64; ++i) {
    ASSERT_EQ(feed(chunk), 0);
    ASSERT_LE(parser_->capacity, 65536);
    ASSERT_LE(parser_->field_count, kNmeaMaxSentence);
  }
  // The parser reads the next sentence as if nothing had happened.
  ASSERT_EQ(feed("\r\n" + sentence("GPWPL,4917.16,N,12310.64,W,AFTER")), 0);
  EXPECT_EQ(parser_->fix->waypoint_given, 1);
  EXPECT_STREQ(parser_->fix->waypoint_name, "AFTER");
}

TEST_F(NmeaTest, SentenceJustBelowTheLimitIsHandled) {
  fresh();
  std::string body = "GPWPL,4917.16,N,12310.64,W,EDGE,";
  body += std::string(kNmeaMaxSentence - (body.size() - 6), 'Q');
  ASSERT_EQ(body.size() - 6, size_t(kNmeaMaxSentence));
  ASSERT_EQ(feed(sentence(body)), 0);
  EXPECT_EQ(parser_->fix->waypoint_given, 1);
  EXPECT_STREQ(parser_->fix->waypoint_name, "EDGE");
  fresh();
  ASSERT_EQ(feed(sentence(body + "Q")), 0);
  EXPECT_EQ(parser_->fix->waypoint_given, 0);
}

TEST_F(NmeaTest, RandomBytesNeverFailAndKeepMemoryBounded) {
  std::mt19937 rng(1234);
  const char alphabet[] = "$\r\n*,ABCDEFGPRMCWL0123456789.-NSEWabc\x80\xff";
  for (int round = 0; round < 40; ++round) {
    fresh();
    std::string s;
    for (int i = 0; i < 20000; ++i) {
      s += (round % 2) ? static_cast<char>(rng() & 0xFF)
                       : alphabet[rng() % (sizeof alphabet - 1)];
    }
    // Real sentences mixed in: they must be found between the noise.
    s += "\r\n" + sentence("GPGLL,4916.45,N,12311.12,W,225444,A");
    for (size_t at = 0; at < s.size(); at += 1 + rng() % 300)
      ASSERT_EQ(feed(s.substr(at, 1 + rng() % 300)), 0);
    ASSERT_EQ(get_gblerr(), 0);
    EXPECT_LE(parser_->field_count, kNmeaMaxSentence);
    EXPECT_GE(parser_->fix->satellites, NULL_INT);
  }
}

TEST_F(NmeaTest, RouteListStaysBoundedAcrossAnEndlessSeries) {
  fresh();
  std::string body = "GPRTE,2,2,c,R";
  for (int i = 0; i < 1000; ++i) body += ",WPT" + std::to_string(i);
  ASSERT_EQ(feed(sentence("GPRTE,2,1,c,R,FIRST")), 0);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(feed(sentence(body)), 0);
  size_t used = 0;
  const char* p = parser_->fix->route_waypoints;
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(p, "FIRST");
  while (p[used]) used += std::strlen(p + used) + 1;
  EXPECT_LE(used, size_t(64 * 1024));
  EXPECT_GT(used, size_t(32 * 1024));
}

// ---- Drivers' tables, begin routines, errors ---------------------------------------------

int g_begins = 0;
int g_handled = 0;
std::string g_fields;
void count_begin(nmea_parser*) { ++g_begins; }
void record_fields(nmea_parser* p) {
  ++g_handled;
  g_fields = p->field_cursor;
}
void fail_handler(nmea_parser*) { set_gblerr(ERR_PROTOCOL); }

TEST_F(NmeaTest, DriverTablesWithBeginRoutines) {
  tag_t rows[] = {make_tag("PMTK001", 1), make_tag("PMTK182", 2), make_tag("PMTK999", 7)};
  container_t* dict = nullptr;
  ASSERT_EQ(dict_build(3, rows, &dict), 0);
  const nmea_handler handlers[3] = {nullptr, record_fields, fail_handler};
  const nmea_handler begins[3] = {count_begin, count_begin, nullptr};
  nmea_parser* p = nullptr;
  ASSERT_EQ(nmea_parser_new(dict, handlers, 3, nullptr, nullptr, 4, begins, &p), 0);
  g_begins = g_handled = 0;
  const std::string a = sentence("PMTK001,182,3") + sentence("PMTK999,1") +
                        sentence("GPGLL,1,N,2,E");
  // Nine characters are cut to eight, "PMTK001X", which is not in the table.
  const std::string b = sentence("PMTK001XY,1");
  for (const std::string& s : {a, b})
    ASSERT_EQ(nmea_feed(reinterpret_cast<const uint8_t*>(s.data()), int(s.size()), p), 0);
  EXPECT_EQ(g_handled, 1);
  EXPECT_EQ(g_fields, "182,3");
  EXPECT_EQ(g_begins, 4);  // PMTK001, PMTK999 (index 7 outside the table: 0), GPGLL, PMTK001X
  // A handler's error stops the feed at that byte: the rest is left unfed.
  const std::string c = sentence("PMTK182,1") + sentence("PMTK001,2");
  EXPECT_EQ(nmea_feed(reinterpret_cast<const uint8_t*>(c.data()), int(c.size()), p), ERR_PROTOCOL);
  EXPECT_EQ(p->remaining, int(c.size() - sentence("PMTK182,1").size()));
  EXPECT_EQ(g_handled, 1);
  set_gblerr(0);
  nmea_parser_free(&p);
  EXPECT_EQ(p, nullptr);
  free_obj(&dict);
}

int g_second = 0;
void count_second(nmea_parser*) { ++g_second; }

// The parser remembers the last names it looked up: six names in turn (more than it
// remembers) each reach their own handler, and a parser given another dictionary that
// maps a name elsewhere follows the new dictionary.
TEST_F(NmeaTest, NamesLookedUpAgainFollowTheirDictionary) {
  tag_t rows[] = {make_tag("PAAA", 1), make_tag("PBBB", 1), make_tag("PCCC", 1),
                  make_tag("PDDD", 1), make_tag("PEEE", 1), make_tag("PFFF", 2)};
  tag_t other_rows[] = {make_tag("PAAA", 2), make_tag("PFFF", 1)};
  container_t* dict = nullptr;
  container_t* other = nullptr;
  ASSERT_EQ(dict_build(6, rows, &dict), 0);
  ASSERT_EQ(dict_build(2, other_rows, &other), 0);
  const nmea_handler handlers[3] = {nullptr, record_fields, count_second};
  nmea_parser* p = nullptr;
  ASSERT_EQ(nmea_parser_new(dict, handlers, 3, nullptr, nullptr, 16, nullptr, &p), 0);
  g_handled = g_second = 0;
  std::string round;
  for (const char* name : {"PAAA", "PBBB", "PCCC", "PDDD", "PEEE", "PFFF"})
    round += sentence(std::string(name) + ",1");
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(nmea_feed(reinterpret_cast<const uint8_t*>(round.data()), int(round.size()), p), 0);
  EXPECT_EQ(g_handled, 15);
  EXPECT_EQ(g_second, 3);
  p->dict = other;
  g_handled = g_second = 0;
  ASSERT_EQ(nmea_feed(reinterpret_cast<const uint8_t*>(round.data()), int(round.size()), p), 0);
  EXPECT_EQ(g_second, 1);   // PAAA
  EXPECT_EQ(g_handled, 1);  // PFFF; the other names are not in this dictionary
  nmea_parser_free(&p);
  free_obj(&dict);
  free_obj(&other);
}

TEST_F(NmeaTest, SentenceSplitAnywhereIsHandledOnce) {
  tag_t rows[] = {make_tag("GPGLL", 1)};
  container_t* dict = nullptr;
  ASSERT_EQ(dict_build(1, rows, &dict), 0);
  const nmea_handler handlers[2] = {nullptr, record_fields};
  nmea_parser* p = nullptr;
  ASSERT_EQ(nmea_parser_new(dict, handlers, 2, nullptr, nullptr, 80, nullptr, &p), 0);
  const std::string s = sentence("GPGLL,4916.45,N,12311.12,W,225444,A");
  for (size_t a = 0; a <= s.size(); ++a) {
    for (size_t b = a; b <= s.size(); b += 7) {
      g_handled = 0;
      const std::string parts[3] = {s.substr(0, a), s.substr(a, b - a), s.substr(b)};
      for (const auto& part : parts)
        nmea_feed(reinterpret_cast<const uint8_t*>(part.data()), int(part.size()), p);
      ASSERT_EQ(g_handled, 1) << a << " " << b;
      ASSERT_EQ(p->state, 0);
    }
  }
  nmea_parser_free(&p);
  free_obj(&dict);
}

TEST_F(NmeaTest, ParserWithoutFixIgnoresSentences) {
  nmea_parser* p = nullptr;
  ASSERT_EQ(nmea_parser_new_std(nullptr, nullptr, &p), 0);
  EXPECT_EQ(p->fix, nullptr);
  EXPECT_EQ(p->capacity, kNmeaStdFieldSize + 12);
  const std::string s = sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
                        sentence("PUBX,04,073731.00,091202");
  EXPECT_EQ(nmea_feed(reinterpret_cast<const uint8_t*>(s.data()), int(s.size()), p), 0);
  nmea_parser_free(&p);
}

TEST_F(NmeaTest, FixClearKeepsValuesAndDropsFlags) {
  fresh();
  ASSERT_EQ(feed(sentence("GPGLL,4916.45,N,12311.12,W,225444,A") + sentence("PTMQT,STOP") +
                 sentence("PTMQB,101500,010203")), 0);
  nmea_fix* f = parser_->fix;
  ASSERT_EQ(f->valid.position, 1);
  ASSERT_EQ(f->event, 2);
  nmea_fix_clear(f);
  EXPECT_EQ(f->valid.position, 0);
  EXPECT_EQ(f->valid.time, 0);
  EXPECT_EQ(f->event, 0);
  EXPECT_EQ(f->time_stamp, 0.0);
  EXPECT_NE(f->latitude, 0.0);
}

// The parser is a reader of the timed read loop: its device and read routine serve the
// loop, and the loop's chunks (cut anywhere) are fed to it.
struct chunk_source {
  std::string bytes;
  size_t at = 0;
  port_read_ctx* loop = nullptr;
};

int chunk_read(void* device, int max, uint8_t* buf) {
  auto* src = static_cast<chunk_source*>(device);
  const size_t n = std::min<size_t>({size_t(max), size_t(7), src->bytes.size() - src->at});
  std::memcpy(buf, src->bytes.data() + src->at, n);
  src->at += n;
  return n ? int(n) : -1;  // the end of the script reads as a failed read
}

void feed_chunk(const uint8_t* bytes, int count, port_reader* reader) {
  auto* p = reinterpret_cast<nmea_parser*>(reader);
  nmea_feed(bytes, count, p);
  if (p->fix->valid.date) static_cast<chunk_source*>(p->device)->loop->done = 1;
}

TEST_F(NmeaTest, ParserServesAsTheReadLoopReader) {
  chunk_source src;
  src.bytes = sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,") +
              sentence("GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,191194,020.3,E") +
              sentence("GPGLL,0000.00,N,00000.00,E,000000,A");
  ASSERT_EQ(nmea_reader_create(&src, chunk_read, &parser_), 0);
  port_reader_create(feed_chunk, reinterpret_cast<port_reader*>(parser_), &src.loop);
  ASSERT_NE(src.loop, nullptr);
  EXPECT_EQ(port_read_loop(src.loop), PORT_DONE);
  EXPECT_EQ(parser_->fix->valid.position, 1);
  EXPECT_EQ(parser_->fix->satellites, 8);
  EXPECT_NEAR(parser_->fix->latitude, 49 * 3600 + 16.45 * 60, 1e-6);
  EXPECT_LT(src.at, src.bytes.size());  // the GLL sentence was never needed
  port_reader_free(&src.loop);
}

TEST(NmeaHelpers, ChecksumAndDegrees) {
  EXPECT_EQ(nmea_checksum(""), 0);
  EXPECT_EQ(nmea_checksum(nullptr), 0);
  EXPECT_EQ(nmea_checksum("PMGNCMD,NMEAON"), 'P' ^ 'M' ^ 'G' ^ 'N' ^ 'C' ^ 'M' ^ 'D' ^ ',' ^ 'N' ^
                                                  'M' ^ 'E' ^ 'A' ^ 'O' ^ 'N');
  double d = 0;
  EXPECT_DOUBLE_EQ(nmea_dm_to_deg(4916.45, &d), 49 + 16.45 / 60);
  EXPECT_DOUBLE_EQ(d, 49 + 16.45 / 60);
  EXPECT_DOUBLE_EQ(nmea_dm_to_deg(12311.12, nullptr), 123 + 11.12 / 60);
  EXPECT_DOUBLE_EQ(nmea_position_seconds("4916.45", "South"), -(49 * 3600 + 16.45 * 60));
  EXPECT_DOUBLE_EQ(nmea_position_seconds("", "N"), 0.0);
}

}  // namespace
