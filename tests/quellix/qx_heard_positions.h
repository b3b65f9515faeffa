// What a listener heard of a replayed GPX track: the track points of the GPX text, and
// the positions in the datagrams, each marked as one of the track's own fixes (the GLL
// sentence the NMEA export writes for every fix) or as a position the resampler
// inserted (synthesised GGA, RMC and VTG only).
#pragma once
#include <cmath>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

namespace qx_test {

struct fix_place {
  double lat = 0, lon = 0;
};

// The track points of a GPX text, in order.
inline std::vector<fix_place> gpx_track_points(const std::string& gpx) {
  std::vector<fix_place> out;
  const std::regex re("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\"");
  for (auto it = std::sregex_iterator(gpx.begin(), gpx.end(), re); it != std::sregex_iterator(); ++it)
    out.push_back({std::atof((*it)[1].str().c_str()), std::atof((*it)[2].str().c_str())});
  return out;
}

// Degrees of an NMEA "ddmm.mmmm" / "dddmm.mmmm" field with its hemisphere.
inline double nmea_degrees(const std::string& field, const std::string& hemisphere, int degree_digits) {
  if (field.size() < size_t(degree_digits)) return NAN;
  const double d = std::atof(field.substr(0, size_t(degree_digits)).c_str());
  const double m = std::atof(field.substr(size_t(degree_digits)).c_str());
  const double v = d + m / 60.0;
  return hemisphere == "S" || hemisphere == "W" ? -v : v;
}

struct heard_position {
  fix_place at;
  bool fix = false;  // one of the track's own fixes; else a position the resampler inserted
};

// The position of each datagram that carries one, in the order heard.
inline std::vector<heard_position> heard_positions(const std::vector<std::string>& datagrams) {
  std::vector<heard_position> out;
  const std::regex gll("\\$GPGLL,([0-9.]+),([NS]),([0-9.]+),([EW]),");
  const std::regex gga("\\$GPGGA,[^,]*,([0-9.]+),([NS]),([0-9.]+),([EW]),");
  for (const std::string& d : datagrams) {
    std::smatch m;
    const bool fix = std::regex_search(d, m, gll);
    if (!fix && !std::regex_search(d, m, gga)) continue;
    out.push_back({{nmea_degrees(m[1], m[2], 2), nmea_degrees(m[3], m[4], 3)}, fix});
  }
  return out;
}

// The track's own fixes among the datagrams heard.
inline std::vector<fix_place> heard_fixes(const std::vector<std::string>& datagrams) {
  std::vector<fix_place> out;
  for (const heard_position& p : heard_positions(datagrams))
    if (p.fix) out.push_back(p.at);
  return out;
}

}  // namespace qx_test
