// The Garmin record codecs against fixtures worked out from the wire layouts by
// scripts/fixtures/make_dtype_fixtures.py: packed records of every D-type unpacked and
// printed must give the expected lines byte for byte; flag lines, short records, strings
// without their zero, colours and the track point rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "formats/garmin_symbols.h"
#include "gps/garmin/dtypes.h"

namespace {

struct DtypeCase {
  std::string name;
  int dtype = 0;
  int count = 0;
  std::vector<std::string> records;
  std::string expected;
};

std::string unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  return out;
}

// "{icon:N}" becomes the system icon of Garmin symbol N.
std::string with_icons(std::string text) {
  for (size_t at; (at = text.find("{icon:")) != std::string::npos;) {
    size_t end = text.find('}', at);
    int smbl = std::atoi(text.c_str() + at + 6);
    text.replace(at, end - at + 1, std::to_string(garmin_symbol_to_icon(smbl)));
  }
  return text;
}

struct Fixture {
  std::vector<DtypeCase> cases;
  std::vector<std::pair<int, std::string>> flags;
  std::vector<std::pair<int, size_t>> fixed;
};

const Fixture& fixture() {
  static const Fixture fx = [] {
    Fixture f;
    std::ifstream in(std::string(TM_FIXTURE_DIR) + "/dtypes/cases.txt");
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::string key;
      words >> key;
      if (key == "case") {
        f.cases.emplace_back();
        words >> f.cases.back().name >> f.cases.back().dtype >> f.cases.back().count;
      } else if (key == "rec" || key == "out" || key == "flags" || key == "fixed") {
        std::string a, b;
        words >> a;
        if (key == "rec") f.cases.back().records.push_back(unhex(a));
        if (key == "out") f.cases.back().expected = with_icons(unhex(a));
        if (key == "flags" && (words >> b)) f.flags.emplace_back(std::stoi(a), unhex(b));
        if (key == "fixed" && (words >> b)) f.fixed.emplace_back(std::stoi(a), std::stoul(b));
      }
    }
    return f;
  }();
  return fx;
}

// What a FILE* routine wrote.
template <class F> std::string captured(F&& write) {
  char* buf = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&buf, &size);
  write(f);
  std::fclose(f);
  std::string out(buf, size);
  std::free(buf);
  return out;
}

// Decoded records of one transfer, laid out with the descriptor's stride.
class RecordArray {
 public:
  RecordArray(const garmin_dtype* dt, size_t n)
      : dt_(dt), n_(n), bytes_(n * garmin_dtype_stride(dt) + 1) {}
  ~RecordArray() {
    for (size_t i = 0; i < n_; ++i) garmin_record_clear(at(i));
  }
  garmin_record* at(size_t i) { return reinterpret_cast<garmin_record*>(data() + i * garmin_dtype_stride(dt_)); }
  uint8_t* data() { return reinterpret_cast<uint8_t*>(storage()); }

 private:
  garmin_record* storage() { return reinterpret_cast<garmin_record*>(bytes_.data()); }
  const garmin_dtype* dt_;
  size_t n_;
  std::vector<garmin_record> bytes_;
};

// Unpacks from a buffer of exactly `bytes.size()` bytes so that a read past it shows.
int unpack_exact(const garmin_dtype* dt, garmin_record* rec, const std::string& bytes) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() ? bytes.size() : 1]);
  std::memcpy(exact.get(), bytes.data(), bytes.size());
  return garmin_unpack(dt, rec, exact.get(), bytes.size());
}

std::string printed(const DtypeCase& c) {
  const garmin_dtype* dt = garmin_dtype_find(c.dtype);
  RecordArray arr(dt, c.records.size());
  for (size_t i = 0; i < c.records.size(); ++i)
    EXPECT_EQ(dt->unpack(dt, arr.at(i), reinterpret_cast<const uint8_t*>(c.records[i].data()),
                         c.records[i].size()), 0) << c.name;
  const uint8_t* cursor = arr.data();
  std::string out = captured([&](FILE* f) {
    if (dt->print_record) dt->print_record(f, c.count, &cursor);
    else dt->print_records(f, static_cast<int>(c.records.size()), &cursor);
  });
  EXPECT_EQ(cursor, arr.data() + (dt->print_record ? 1 : c.records.size()) * garmin_dtype_stride(dt));
  return out;
}

TEST(GarminDtypes, EveryCaseUnpacksAndPrintsAsWorkedOut) {
  ASSERT_FALSE(fixture().cases.empty());
  for (const DtypeCase& c : fixture().cases) {
    ASSERT_NE(garmin_dtype_find(c.dtype), nullptr) << c.name;
    EXPECT_EQ(printed(c), c.expected) << c.name;
  }
}

TEST(GarminDtypes, PackGivesBackTheBytesOfPlainRecords) {
  for (const DtypeCase& c : fixture().cases) {
    if (c.name.rfind("typical", 0) != 0) continue;
    const garmin_dtype* dt = garmin_dtype_find(c.dtype);
    garmin_record rec{};
    ASSERT_EQ(unpack_exact(dt, &rec, c.records[0]), 0) << c.name;
    uint8_t out[512];
    size_t n = garmin_pack(dt, &rec, out, sizeof out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), c.records[0]) << c.name;
    EXPECT_EQ(garmin_pack(dt, &rec, out, dt->fixed_size ? dt->fixed_size - 1 : 0), 0u) << c.name;
    garmin_record_clear(&rec);
  }
}

TEST(GarminDtypes, FlagLinesNameHeaderTypesFirst) {
  ASSERT_FALSE(fixture().flags.empty());
  for (const auto& [number, expected] : fixture().flags) {
    const garmin_dtype* dt = garmin_dtype_find(number);
    ASSERT_NE(dt, nullptr);
    ASSERT_NE(dt->print_flags, nullptr) << number;
    EXPECT_EQ(captured([&](FILE* f) { dt->print_flags(f); }), expected) << number;
  }
}

TEST(GarminDtypes, RecordShorterThanFixedPartIsRefused) {
  ASSERT_FALSE(fixture().fixed.empty());
  for (const auto& [number, fixed] : fixture().fixed) {
    const garmin_dtype* dt = garmin_dtype_find(number);
    ASSERT_NE(dt, nullptr);
    EXPECT_EQ(dt->fixed_size, fixed) << number;
    garmin_record rec{};
    rec.num[GN_LAT] = 99;
    if (fixed > 0) {
      EXPECT_EQ(unpack_exact(dt, &rec, std::string(fixed - 1, '\x10')), 17) << number;
      EXPECT_EQ(rec.num[GN_LAT], 0u) << number;
      EXPECT_EQ(unpack_exact(dt, &rec, std::string()), 17) << number;
    }
    EXPECT_EQ(unpack_exact(dt, &rec, std::string(fixed, '\x10')), 0) << number;
    garmin_record_clear(&rec);
  }
}

TEST(GarminDtypes, StringsStopAtTheEndOfTheData) {
  struct Row {
    int dtype;
    size_t fixed;
    std::string tail;
    const char* ident;
    const char* cmnt;
  };
  const Row rows[] = {
      {108, 48, "ABC", "ABC", ""},
      {108, 48, std::string("AB\0CD", 5), "AB", "CD"},
      {110, 62, std::string("X\0", 2), "X", ""},
      {105, 10, "", "", nullptr},
      {106, 24, "ID", "ID", nullptr},
  };
  for (const Row& r : rows) {
    const garmin_dtype* dt = garmin_dtype_find(r.dtype);
    garmin_record rec{};
    ASSERT_EQ(unpack_exact(dt, &rec, std::string(r.fixed, '\0') + r.tail), 0) << r.dtype;
    EXPECT_STREQ(rec.text[GT_IDENT], r.ident) << r.dtype;
    if (r.cmnt) {
      EXPECT_STREQ(rec.text[GT_CMNT], r.cmnt) << r.dtype;
    }
    garmin_record_clear(&rec);
  }
}

TEST(GarminDtypes, FixedArraysWithoutZeroKeepTheirWidth) {
  const garmin_dtype* dt = garmin_dtype_find(100);
  std::string bytes(58, 'A');
  garmin_record rec{};
  ASSERT_EQ(unpack_exact(dt, &rec, bytes), 0);
  EXPECT_STREQ(rec.text[GT_IDENT], "AAAAAA");
  EXPECT_EQ(std::strlen(rec.text[GT_CMNT]), 40u);
  garmin_record_clear(&rec);
}

TEST(GarminDtypes, ValidPointCountSkipsPointsWithoutPosition) {
  for (int number : {303, 304}) {
    const garmin_dtype* dt = garmin_dtype_find(number);
    ASSERT_NE(dt->count_valid, nullptr);
    RecordArray arr(dt, 5);
    const bool invalid[5] = {true, true, false, false, true};
    for (int i = 0; i < 5; ++i) {
      arr.at(i)->num[GN_LAT] = 0x7FFFFFFFu;  // a valid point may have one half at the limit
      arr.at(i)->num[GN_LON] = invalid[i] ? 0x7FFFFFFFu : 5u;
    }
    EXPECT_EQ(dt->count_valid(5, arr.data()), 2) << number;
    EXPECT_EQ(dt->count_valid(0, arr.data()), 0) << number;
  }
  for (int number : {300, 301, 302}) EXPECT_EQ(garmin_dtype_find(number)->count_valid, nullptr);
}

TEST(GarminDtypes, PaletteRanges) {
  struct Row {
    int dtype, code, r, g, b;
  };
  const Row rows[] = {
      {107, 0, 255, 128, 0}, {107, 3, 0, 0, 255},     {107, 4, 255, 128, 0},   {108, 0, 0, 0, 0},
      {108, 5, 128, 0, 48},  {108, 15, 255, 255, 255}, {108, 16, 255, 128, 0}, {108, 255, 255, 128, 0},
      {109, 16, 255, 128, 0}, {310, 16, 255, 128, 0}, {110, 16, 64, 64, 64},   {110, 17, 0, 0, 0},
      {312, 16, 64, 64, 64}, {312, 31, 0, 0, 0},      {110, 9, 255, 0, 0},
  };
  for (const Row& r : rows) {
    int rgb[3];
    garmin_palette(r.dtype, r.code, rgb);
    EXPECT_EQ(rgb[0], r.r) << r.dtype << " " << r.code;
    EXPECT_EQ(rgb[1], r.g) << r.dtype << " " << r.code;
    EXPECT_EQ(rgb[2], r.b) << r.dtype << " " << r.code;
  }
}

TEST(GarminDtypes, EveryTypeHasItsDescriptor) {
  struct Row {
    int first, last;
    garmin_family family;
  };
  const Row rows[] = {{100, 110, GARMIN_WAYPOINT},     {150, 152, GARMIN_WAYPOINT},
                      {154, 155, GARMIN_WAYPOINT},     {200, 202, GARMIN_ROUTE_HEADER},
                      {210, 210, GARMIN_ROUTE_LINK},   {300, 304, GARMIN_TRACK_POINT},
                      {310, 312, GARMIN_TRACK_HEADER}, {500, 501, GARMIN_ALMANAC},
                      {550, 551, GARMIN_ALMANAC}};
  for (const Row& r : rows) {
    for (int n = r.first; n <= r.last; ++n) {
      const garmin_dtype* dt = garmin_dtype_find(n);
      ASSERT_NE(dt, nullptr) << n;
      EXPECT_EQ(dt->family, r.family) << n;
      EXPECT_EQ(dt->name, "D" + std::to_string(n));
      EXPECT_EQ(garmin_dtype_stride(dt) % 4, 0u) << n;
      EXPECT_GE(garmin_dtype_stride(dt), dt->record_size) << n;
      EXPECT_LT(garmin_dtype_stride(dt), dt->record_size + 4) << n;
      EXPECT_EQ(dt->unpack == nullptr, r.family == GARMIN_ALMANAC) << n;
    }
  }
  EXPECT_EQ(garmin_dtype_find(99), nullptr);
  garmin_record rec{};
  EXPECT_EQ(garmin_unpack(garmin_dtype_find(500), &rec, nullptr, 0), 17);
}

}  // namespace
