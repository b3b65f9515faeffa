// What the live relay tests send and compare: NMEA sentences with their checksum, the
// sentence group of one fix, the hex form of bytes (for readable failures), and a
// listener's datagrams without the relay's own marker sentences.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace qx_test {

// The sentence body ("$..." up to the fields) with its "*hh" checksum and CR LF.
inline std::string with_checksum(const std::string& body) {
  unsigned sum = 0;
  for (size_t i = 1; i < body.size(); ++i) sum ^= static_cast<unsigned char>(body[i]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return body + tail;
}

// Group i: GGA, RMC and GSA of one fix, a second apart and a little further north.
inline std::string group(int i) {
  char time[16], lat[16];
  std::snprintf(time, sizeof time, "1200%02d", i % 60);
  std::snprintf(lat, sizeof lat, "4500.%04d", i * 10);
  const std::string t(time), la(lat);
  return with_checksum("$GPGGA," + t + "," + la + ",N,00600.0000,E,1,08,0.9,120.0,M,48.0,M,,") +
         with_checksum("$GPRMC," + t + ",A," + la + ",N,00600.0000,E,10.0,45.0,100324,,") +
         with_checksum("$GPGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.5,0.9,1.2");
}

// Bytes as lower-case hex digits.
inline std::string hex(const std::string& bytes) {
  std::string out;
  char b[3];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02x", c);
    out += b;
  }
  return out;
}

// The datagrams without the relay's marker sentences ("$PTMQT,...").
inline std::vector<std::string> without_markers(const std::vector<std::string>& in) {
  std::vector<std::string> out;
  for (const auto& d : in)
    if (d.rfind("$PTMQT,", 0) != 0) out.push_back(d);
  return out;
}

}  // namespace qx_test
