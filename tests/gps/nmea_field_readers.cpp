// The parser's quick paths against the plain readings they stand for:
// - the in-place field readers (nmea_next_double, _int, _letter, _position, _time, _date)
//   give, bit for bit, what the text readers give on the copied field (str_to_double,
//   parse_int, nmea_position_seconds, hhmmss_to_day_fraction, parse_date_ddmmyy), also
//   when a value repeats and is taken from what the parser kept; a malformed number
//   (nmea_number_ok false: stray characters, exponents) reads as an empty field, and as
//   NaN for a time or a position;
// - the lexer, which takes runs of bytes at once, hands the handlers and begin routines
//   exactly what a byte-at-a-time run of the transition table hands them, however the
//   stream is cut into chunks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/object.h"
#include "core/strutil.h"
#include "gps/nmea_parser.h"
#include "tests/support/object_env.h"

namespace {

uint64_t bits(double v) {
  uint64_t b = 0;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Fields where a reading could go wrong: rounding, 15 and 16 digits, signs, separators,
// exponents, blanks, junk, and the longest field kept.
const std::vector<std::string>& edge_fields() {
  static const std::vector<std::string> fields = {
      "", "0", "-0", "+0", "-0.0", "-", "+", ".", "-.", "+.5", "1.", "1..2", "1.2.3",
      "0.1", "0.3", "0.7", "1.005", "2.675", "4916.45", "12311.12", "4512.3456", "00543.4684",
      "999999999999999", "99999999999999.9", ".999999999999999", "9999999999999999",
      "0.0000000000000001", "000000000000001.5", "123456789012345", "1234567890123456",
      "0.000000000000001", "1e5", "1E5", "1e", "1E", "2.5e-3", "-7.25E+2", " 12", "\t12",
      "\v12", "\f3.5", "12 ", "12a", "a12", "0x10", "inf", "nan", "1-2", "--1", "+-1",
      "235959.999", "240000", "000000.00", "-000001", "123456.00", "195629.00", "86399.5",
      "010120", "311299", "290200", "290201", "1234", "12345", "123456789", "a10120",
      "01012020", "320120", "011320", "000000", "2147483647", "2147483648", "-2147483648",
      "-2147483649", "99999999999999999999", "123456789", "1234567890", "+5", "5a", " 5",
      "N", "S", "E", "W", "South", "west", "A", "V", "M",
      std::string(79, '7'), std::string(80, '8'), std::string(81, '9'),
      "1." + std::string(78, '5'), "1." + std::string(79, '5'),
  };
  return fields;
}

// A number-like field: digits with perhaps a point and a sign, now and then a stray
// character, a blank or an exponent.
std::string random_field(std::mt19937& rng) {
  static const char kStray[] = " \t\v.eE+-xAN";
  std::uniform_int_distribution<int> len(0, 18), digit(0, 9), pick(0, 99);
  std::string s;
  const int n = len(rng);
  for (int i = 0; i < n; ++i) s += char('0' + digit(rng));
  if (!s.empty() && pick(rng) < 70) {
    std::uniform_int_distribution<size_t> at(0, s.size());
    s.insert(at(rng), ".");
  }
  const int sign = pick(rng);
  if (sign < 10) s.insert(0, "-");
  else if (sign < 13) s.insert(0, "+");
  if (pick(rng) < 8) {
    std::uniform_int_distribution<size_t> at(0, s.size());
    std::uniform_int_distribution<size_t> which(0, sizeof kStray - 2);
    s.insert(at(rng), 1, kStray[which(rng)]);
  }
  return s;
}

class NmeaFieldReaders : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    ASSERT_EQ(nmea_parser_new(nullptr, nullptr, 0, nullptr, nullptr, 80, nullptr, &text_), 0);
    ASSERT_EQ(nmea_parser_new(nullptr, nullptr, 0, nullptr, nullptr, 80, nullptr, &quick_), 0);
  }
  void TearDown() override {
    nmea_parser_free(&text_);
    nmea_parser_free(&quick_);
    set_gblerr(0);
  }
  // Both parsers read the same fields, each from its own copy.
  void start(const std::vector<std::string>& fields) {
    line_.clear();
    for (size_t i = 0; i < fields.size(); ++i) line_ += (i ? "," : "") + fields[i];
    a_ = line_;
    b_ = line_;
    text_->field_cursor = a_.data();
    quick_->field_cursor = b_.data();
  }
  void same_place(const std::string& what) {
    ASSERT_EQ(text_->field_cursor - a_.data(), quick_->field_cursor - b_.data())
        << what << " in \"" << line_ << "\"";
  }
  // The next field read as a number each way.
  void compare_double() {
    char buf[kNmeaFieldSize];
    nmea_next_field(text_, buf);
    const bool number = buf[0] != '\0' && nmea_number_ok(buf);
    const double want = number ? str_to_double(buf) : 0.0;
    int present = -1;
    const double got = nmea_next_double(quick_, &present);
    EXPECT_EQ(bits(got), bits(want)) << "\"" << buf << "\" gave " << got << " for " << want;
    EXPECT_EQ(present, number) << "\"" << buf << "\"";
    same_place("double");
  }
  void compare_int() {
    char buf[kNmeaFieldSize];
    nmea_next_field(text_, buf);
    const bool number = buf[0] != '\0' && nmea_number_ok(buf);
    int32_t want = NULL_INT;
    if (number) parse_int(buf, &want);
    int present = -1;
    EXPECT_EQ(nmea_next_int(quick_, &present), want) << "\"" << buf << "\"";
    EXPECT_EQ(present, number);
    same_place("int");
  }
  void compare_letter() {
    char buf[kNmeaFieldSize];
    nmea_next_field(text_, buf);
    EXPECT_EQ(nmea_next_letter(quick_), buf[0]) << "\"" << buf << "\"";
    same_place("letter");
  }
  void compare_position() {
    char value[kNmeaFieldSize], hemisphere[kNmeaFieldSize];
    nmea_next_field(text_, value);
    nmea_next_field(text_, hemisphere);
    const double want = nmea_position_seconds(value, hemisphere);
    EXPECT_EQ(bits(nmea_next_position(quick_)), bits(want))
        << "\"" << value << "\" \"" << hemisphere << "\"";
    same_place("position");
  }
  void compare_time() {
    char buf[kNmeaFieldSize];
    nmea_next_field(text_, buf);
    const bool malformed = buf[0] != '\0' && !nmea_number_ok(buf);
    const double want =
        malformed ? std::nan("") : hhmmss_to_day_fraction(str_to_double(buf), nullptr);
    EXPECT_EQ(bits(nmea_next_time(quick_)), bits(want)) << "\"" << buf << "\"";
    same_place("time");
  }
  void compare_date() {
    char buf[kNmeaFieldSize];
    nmea_next_field(text_, buf);
    const double want = parse_date_ddmmyy(buf, nullptr);
    int present = -1;
    EXPECT_EQ(bits(nmea_next_date(quick_, &present)), bits(want)) << "\"" << buf << "\"";
    EXPECT_EQ(present, buf[0] != '\0');
    same_place("date");
  }
  nmea_parser* text_ = nullptr;
  nmea_parser* quick_ = nullptr;
  std::string line_, a_, b_;
};

TEST_F(NmeaFieldReaders, EdgeFieldsReadAsTheTextReadersReadThem) {
  const auto& edges = edge_fields();
  for (const std::string& f : edges) {
    start({f, f, f, f, f, f, f, f, "N", f, "S"});
    compare_double();
    compare_int();
    compare_letter();
    compare_time();
    compare_date();
    compare_time();  // again: the kept value
    compare_date();
    compare_position();
    compare_position();
    ASSERT_FALSE(HasFailure()) << "field \"" << f << "\"";
  }
  // Each field as the hemisphere of each other one, and past the end of the fields.
  for (const std::string& v : {std::string("4916.45"), std::string("-12311.12"), std::string()})
    for (const std::string& h : edges) {
      start({v, h, v});
      compare_position();
      compare_position();
      compare_double();
      compare_letter();
    }
}

TEST_F(NmeaFieldReaders, RandomFieldsReadAsTheTextReadersReadThem) {
  std::mt19937 rng(20240611);
  // A small pool makes values repeat, as a fix's sentences repeat time and position.
  std::vector<std::string> pool;
  for (int i = 0; i < 64; ++i) pool.push_back(random_field(rng));
  std::uniform_int_distribution<size_t> from_pool(0, pool.size() - 1);
  std::uniform_int_distribution<int> pick(0, 99), reader(0, 5);
  for (int line = 0; line < 20000 && !HasFailure(); ++line) {
    std::vector<std::string> fields;
    for (int i = 0; i < 12; ++i) {
      const int k = pick(rng);
      fields.push_back(k < 40 ? pool[from_pool(rng)] : k < 50 ? std::string(k < 45 ? "S" : "E")
                                                               : random_field(rng));
    }
    start(fields);
    for (int read = 0; read < 8; ++read) {
      switch (reader(rng)) {
        case 0: compare_double(); break;
        case 1: compare_int(); break;
        case 2: compare_letter(); break;
        case 3: compare_position(); break;
        case 4: compare_time(); break;
        default: compare_date(); break;
      }
    }
  }
}

// ---- The lexer against the transition table, byte by byte ------------------------------

// The machine as the table gives it: states 0 idle, 1 after "$", 2 name, 3 fields,
// 4 checksum, 5 after CR; actions 0 nothing, 1 reset, 2 name character, 3 end of name,
// 4 field character, 5 complete, 6 checksum character, 7 check.
int byte_class(uint8_t b) {
  if (b == '$') return 0;
  if (b == 13) return 1;
  if (b == 10) return 2;
  if (b == '*') return 3;
  if (b == ',') return 4;
  if (b >= 'A' && b <= 'F') return 5;
  if (b >= 'G' && b <= 'Z') return 6;
  if (b >= '0' && b <= '9') return 7;
  return b < 128 ? 8 : 9;
}

constexpr int kTable[6][10][2] = {
    {{0, 1}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
    {{1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {2, 2}, {2, 2}, {1, 0}, {1, 0}, {1, 0}},
    {{1, 0}, {1, 0}, {1, 0}, {1, 0}, {3, 3}, {2, 2}, {2, 2}, {2, 2}, {1, 0}, {1, 0}},
    {{1, 0}, {1, 0}, {1, 0}, {0, 4}, {4, 3}, {4, 3}, {4, 3}, {4, 3}, {4, 3}, {1, 0}},
    {{1, 0}, {7, 5}, {1, 0}, {1, 0}, {1, 0}, {6, 4}, {1, 0}, {6, 4}, {1, 0}, {1, 0}},
    {{1, 0}, {1, 5}, {5, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}},
};

const std::map<std::string, int> kNames = {
    {"GPGGA", 1}, {"GPRMC", 2}, {"PAB1", 1}, {"PMTK0012", 2}, {"GPZERO", 0}};

struct reference_machine {
  int state = 0, index = 0, checksum_count = 0;
  std::string name, fields, checksum;
  std::vector<std::string> events;

  void reset() {
    name.clear();
    fields.clear();
    checksum.clear();
    checksum_count = 0;
  }
  void feed(const std::string& bytes) {
    for (unsigned char b : bytes) step(b);
  }
  void step(uint8_t b) {
    const int* cell = kTable[state][byte_class(b)];
    switch (cell[0]) {
      case 1: reset(); index = 0; break;
      case 2: if (name.size() < 8) name += char(b); break;
      case 3: {
        const auto it = kNames.find(name);
        index = it == kNames.end() ? 0 : it->second;
        events.push_back("begin " + name);
        break;
      }
      case 4: fields += char(b); break;
      case 5:
        // Handlers read the fields as a C text: a NUL byte ends them.
        if (index > 0) events.push_back("handle " + name + " " + fields.c_str());
        reset();
        break;
      case 6: ++checksum_count; if (checksum.size() < 4) checksum += char(b); break;
      case 7: {
        int sum = ',', given = 0;
        for (char c : name + fields) sum ^= uint8_t(c);
        for (char c : checksum) given = given * 16 + (c <= '9' ? c - '0' : c - 'A' + 10);
        if (checksum_count < 1 || checksum_count > 4 || given != sum) index = 0;
        break;
      }
      default: break;
    }
    state = cell[1];
  }
};

std::vector<std::string>* g_events = nullptr;
void record_begin(nmea_parser* p) { g_events->push_back(std::string("begin ") + p->name); }
void record_handle(nmea_parser* p) {
  g_events->push_back(std::string("handle ") + p->name + " " + p->field_cursor);
}

// Sentences, most of them sound, with bytes of every class put in, dropped or changed
// now and then.
std::string random_stream(std::mt19937& rng) {
  static const char* kNamesUsed[] = {"GPGGA", "GPRMC", "PAB1", "PMTK0012", "PMTK00123",
                                     "GPZERO", "GNGGA", "G", "GP1"};
  static const std::string kBytes = std::string("$\r\n*,AFGZ09az .-~") + char(0x80) +
                                    char(0xFF) + char(0x7F) + char(0);
  std::uniform_int_distribution<int> pick(0, 99), len(0, 40), byte(0, 255);
  std::uniform_int_distribution<size_t> name(0, std::size(kNamesUsed) - 1),
      any(0, kBytes.size() - 1);
  std::string s;
  const int sentences = 1 + pick(rng) % 12;
  for (int k = 0; k < sentences; ++k) {
    std::string body = kNamesUsed[name(rng)];
    body += ',';
    const int n = len(rng);
    for (int i = 0; i < n; ++i) body += char("0123456789.,ABCNSEW-"[byte(rng) % 20]);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", nmea_checksum(body.c_str()));
    std::string sentence = "$" + body + tail;
    if (pick(rng) < 30) {
      std::uniform_int_distribution<size_t> at(0, sentence.size());
      const int how = pick(rng);
      const size_t where = at(rng);
      if (how < 40) sentence.insert(where, 1, kBytes[any(rng)]);
      else if (how < 60 && where < sentence.size()) sentence.erase(where, 1);
      else if (how < 80 && where < sentence.size()) sentence[where] = char(byte(rng));
      else sentence.insert(where, std::string(size_t(1 + pick(rng) % 9), kBytes[any(rng)]));
    }
    s += sentence;
    if (pick(rng) < 10) s += kBytes[any(rng)];
  }
  return s;
}

class NmeaLexerRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    // The dictionary keeps the rows: they live as long as the test.
    for (const auto& [name, index] : kNames) rows_.push_back(make_tag(name.c_str(), index));
    ASSERT_EQ(dict_build(int(rows_.size()), rows_.data(), &dict_), 0);
  }
  void TearDown() override {
    free_obj(&dict_);
    set_gblerr(0);
  }
  // The events of the stream fed in chunks of the given sizes (the last takes the rest).
  std::vector<std::string> run(const std::string& s, const std::vector<size_t>& cuts) {
    static const nmea_handler handlers[3] = {nullptr, record_handle, record_handle};
    static const nmea_handler begins[3] = {record_begin, record_begin, record_begin};
    std::vector<std::string> events;
    g_events = &events;
    nmea_parser* p = nullptr;
    EXPECT_EQ(nmea_parser_new(dict_, handlers, 3, nullptr, nullptr, 8, begins, &p), 0);
    size_t at = 0;
    for (size_t n : cuts) {
      n = std::min(n, s.size() - at);
      EXPECT_EQ(nmea_feed(reinterpret_cast<const uint8_t*>(s.data() + at), int(n), p), 0);
      at += n;
    }
    if (at < s.size()) {
      EXPECT_EQ(nmea_feed(reinterpret_cast<const uint8_t*>(s.data() + at), int(s.size() - at), p),
                0);
    }
    nmea_parser_free(&p);
    g_events = nullptr;
    return events;
  }
  std::vector<tag_t> rows_;
  container_t* dict_ = nullptr;
};

TEST_F(NmeaLexerRuns, HandlersSeeWhatTheByteMachineSees) {
  std::mt19937 rng(77);
  std::uniform_int_distribution<size_t> chunk(1, 23);
  int handled = 0;
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    const std::string s = random_stream(rng);
    reference_machine ref;
    ref.feed(s);
    for (const std::string& e : ref.events) handled += e.rfind("handle", 0) == 0;
    std::vector<size_t> random_cuts;
    for (size_t total = 0; total < s.size(); total += random_cuts.back())
      random_cuts.push_back(chunk(rng));
    EXPECT_EQ(run(s, {}), ref.events) << "whole, round " << round;
    EXPECT_EQ(run(s, std::vector<size_t>(s.size(), 1)), ref.events) << "bytes, round " << round;
    EXPECT_EQ(run(s, random_cuts), ref.events) << "chunks, round " << round;
  }
  // The streams were not all dropped: the comparison saw sentences handled.
  EXPECT_GT(handled, 1000);
}

}  // namespace
