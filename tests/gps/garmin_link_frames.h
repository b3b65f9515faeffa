// Byte strings of the Garmin links for the link tests: serial frames as a receiver sends
// them (16s doubled, check byte) and USB packets with their 12-byte header.
#pragma once
#include <cstdint>
#include <string>

namespace garmin_link_test {

// A serial frame: DLE, id, size, data, check byte (plus `spoil`), DLE, ETX; every 16 in
// size, data and check byte doubled.
inline std::string frame(uint8_t id, const std::string& data, int spoil = 0) {
  std::string s;
  s += char(16);
  s += char(id);
  auto put = [&s](uint8_t b) {
    s += char(b);
    if (b == 16) s += char(16);
  };
  unsigned sum = id + uint8_t(data.size());
  put(uint8_t(data.size()));
  for (char c : data) {
    put(uint8_t(c));
    sum += uint8_t(c);
  }
  put(uint8_t(-int(sum) + spoil));
  s += char(16);
  s += char(3);
  return s;
}
inline std::string word(uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; }
inline std::string ack(uint8_t id) { return frame(6, word(id)); }
inline std::string nak(uint8_t id) { return frame(21, word(id)); }

// A USB packet: type, 3 zero bytes, id, 2 zero bytes, 32-bit size (`announced`, or the
// data's length when negative), data.
inline std::string usb_packet(uint8_t type, uint16_t id, const std::string& data,
                              long long announced = -1) {
  const uint32_t size = announced < 0 ? uint32_t(data.size()) : uint32_t(announced);
  std::string s(12, '\0');
  s[0] = char(type);
  s[4] = char(id & 0xFF);
  s[5] = char(id >> 8);
  for (int i = 0; i < 4; ++i) s[8 + i] = char(size >> (8 * i));
  return s + data;
}

// Product data: id, version, description and its terminating zero.
inline std::string product_data(uint16_t id, int16_t version, const std::string& description) {
  return word(id) + word(uint16_t(version)) + description + std::string(1, '\0');
}

// A protocol array from triples such as {'L', 1}.
struct triple {
  char tag;
  uint16_t number;
};
template <size_t N> std::string protocol_array(const triple (&t)[N]) {
  std::string s;
  for (const triple& x : t) s += std::string(1, x.tag) + word(x.number);
  return s;
}

}  // namespace garmin_link_test
