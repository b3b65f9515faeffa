// Shared by the Garmin real-time tests: the fixture file of
// scripts/fixtures/make_pvt_fixtures.py (position records with their sentences,
// measurement and satellite records with their log lines) and USB packets around them.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace garmin_pvt_test {

inline std::string unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(char(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16)));
  return out;
}

struct Block {
  std::string kind, name, data, expected;
};

// Every block of the fixture file: "case" (d800, nmea), "rcv" and "sat" (data, out).
inline const std::vector<Block>& blocks() {
  static const std::vector<Block> all = [] {
    std::vector<Block> out;
    std::ifstream in(std::string(TM_FIXTURE_DIR) + "/garmin_pvt/cases.txt");
    std::string line;
    Block b;
    while (std::getline(in, line)) {
      const size_t sp = line.find(' ');
      const std::string key = line.substr(0, sp);
      const std::string value = sp == std::string::npos ? "" : line.substr(sp + 1);
      if (key == "case" || key == "rcv" || key == "sat") {
        b = Block{key, value, "", ""};
      } else if (key == "d800" || key == "data") {
        b.data = unhex(value);
      } else if (key == "nmea" || key == "out") {
        b.expected = unhex(value);
      } else if (key == "end") {
        out.push_back(b);
      }
    }
    return out;
  }();
  return all;
}

// The blocks of a kind; a fixture file that could not be read fails the test.
inline std::vector<Block> of_kind(const std::string& kind) {
  std::vector<Block> out;
  for (const Block& b : blocks())
    if (b.kind == kind) out.push_back(b);
  EXPECT_FALSE(out.empty()) << "no " << kind << " block in the fixture file";
  return out;
}

inline const uint8_t* bytes_of(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// A USB application packet: type 20, id, data size, then the data.
inline std::string usb_packet(int id, const std::string& data, uint32_t announced = 0xffffffffu) {
  const uint32_t size = announced == 0xffffffffu ? uint32_t(data.size()) : announced;
  std::string p(12, '\0');
  p[0] = 20;
  p[4] = char(id & 0xff);
  p[5] = char(id >> 8);
  for (int i = 0; i < 4; ++i) p[size_t(8 + i)] = char(size >> (8 * i));
  return p + data;
}

// The first block of a kind (fixture order).
inline Block first_of(const std::string& kind) {
  const std::vector<Block> all = of_kind(kind);
  return all.empty() ? Block{} : all.front();
}

}  // namespace garmin_pvt_test
