// GPX as an outside host writes it, read far enough to compare it with the model of the
// simulated Garmin receiver (see garmin_sim.h): waypoints, routes and tracks with their
// names, positions, comments, elevations, times, speeds and courses.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "tests/support/gps_sim/garmin_sim.h"
#include "tests/support/run_tool.h"
#include "tests/support/test_env.h"

namespace tm_test {

namespace {

// A small scanner over the element tree: enough for the flat layout of GPX.
struct xml_scan {
  const std::string& s;
  size_t pos = 0;

  // Next tag from pos: its name ("/name" for an end tag), attributes text, and whether
  // it closes itself. False at the end.
  bool next_tag(std::string* name, std::string* attrs, bool* empty, size_t* text_start) {
    for (;;) {
      const size_t lt = s.find('<', pos);
      if (lt == std::string::npos) return false;
      if (s.compare(lt, 4, "<!--") == 0) {
        const size_t end = s.find("-->", lt);
        if (end == std::string::npos) return false;
        pos = end + 3;
        continue;
      }
      const size_t gt = s.find('>', lt);
      if (gt == std::string::npos) return false;
      pos = gt + 1;
      if (s[lt + 1] == '?' || s[lt + 1] == '!') continue;
      std::string inner = s.substr(lt + 1, gt - lt - 1);
      *empty = !inner.empty() && inner.back() == '/';
      if (*empty) inner.pop_back();
      const size_t sp = inner.find_first_of(" \t\r\n");
      *name = inner.substr(0, sp);
      *attrs = sp == std::string::npos ? std::string() : inner.substr(sp);
      *text_start = pos;
      return true;
    }
  }
};

std::string unescape(const std::string& t) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    if (t[i] != '&') {
      out.push_back(t[i]);
      continue;
    }
    const size_t semi = t.find(';', i);
    if (semi == std::string::npos) {
      out.push_back('&');
      continue;
    }
    const std::string ent = t.substr(i + 1, semi - i - 1);
    if (ent == "amp") out.push_back('&');
    else if (ent == "lt") out.push_back('<');
    else if (ent == "gt") out.push_back('>');
    else if (ent == "quot") out.push_back('"');
    else if (ent == "apos") out.push_back('\'');
    else if (!ent.empty() && ent[0] == '#') {
      const long c = ent.size() > 1 && ent[1] == 'x' ? std::strtol(ent.c_str() + 2, nullptr, 16)
                                                      : std::strtol(ent.c_str() + 1, nullptr, 10);
      if (c < 0x80) {
        out.push_back(char(c));
      } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
      } else {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
      }
    } else {
      out += "&" + ent + ";";
    }
    i = semi;
  }
  return out;
}

std::string attr(const std::string& attrs, const char* key) {
  const std::string k = std::string(" ") + key + "=";
  size_t at = attrs.find(k);
  if (at == std::string::npos) return {};
  at += k.size();
  if (at >= attrs.size()) return {};
  const char q = attrs[at];
  const size_t end = attrs.find(q, at + 1);
  if (end == std::string::npos) return {};
  return attrs.substr(at + 1, end - at - 1);
}

bool parse_iso_time(const std::string& t, int64_t* out) {
  std::tm tm{};
  int y, mo, d, h, mi;
  double sec;
  if (std::sscanf(t.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &sec) != 6) return false;
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = int(std::floor(sec));
  *out = int64_t(timegm(&tm));
  return true;
}

}  // namespace

bool gpx_parse(const std::string& text, gpx_data* out) {
  *out = gpx_data{};
  xml_scan x{text};
  std::string name, attrs;
  bool empty = false, seen_gpx = false;
  size_t text_start = 0;
  gpx_point* pt = nullptr;       // the point being read
  std::string* owner = nullptr;  // name of the route or track being read, outside points
  enum { NONE, WPT, RTE, TRK } where = NONE;
  while (x.next_tag(&name, &attrs, &empty, &text_start)) {
    if (name == "gpx") seen_gpx = true;
    if (name == "wpt" || name == "rtept" || name == "trkpt") {
      gpx_point p;
      p.lat = std::strtod(attr(attrs, "lat").c_str(), nullptr);
      p.lon = std::strtod(attr(attrs, "lon").c_str(), nullptr);
      if (name == "wpt") {
        out->waypoints.push_back(p);
        pt = &out->waypoints.back();
        where = WPT;
      } else if (name == "rtept" && !out->routes.empty()) {
        out->routes.back().points.push_back(p);
        pt = &out->routes.back().points.back();
      } else if (name == "trkpt" && !out->tracks.empty()) {
        auto& t = out->tracks.back();
        if (t.segments.empty()) t.segments.emplace_back();
        t.segments.back().push_back(p);
        pt = &t.segments.back().back();
      }
      if (empty) pt = nullptr;
      continue;
    }
    if (name == "/wpt" || name == "/rtept" || name == "/trkpt") {
      pt = nullptr;
      if (name == "/wpt") where = NONE;
      continue;
    }
    if (name == "rte") {
      out->routes.emplace_back();
      owner = &out->routes.back().name;
      where = RTE;
      continue;
    }
    if (name == "trk") {
      out->tracks.emplace_back();
      owner = &out->tracks.back().name;
      where = TRK;
      continue;
    }
    if (name == "trkseg" && where == TRK && !out->tracks.empty()) {
      out->tracks.back().segments.emplace_back();
      continue;
    }
    if (name == "/rte" || name == "/trk") {
      owner = nullptr;
      where = NONE;
      continue;
    }
    if (name == "extensions" && !empty) {
      // Skips the whole extension block: its elements are not the point's own.
      const size_t end = text.find("</extensions>", x.pos);
      if (end == std::string::npos) return false;
      x.pos = end + 13;
      continue;
    }
    if (empty || name.empty() || name[0] == '/') continue;
    const size_t end = text.find('<', text_start);
    if (end == std::string::npos) return false;
    const std::string value = unescape(text.substr(text_start, end - text_start));
    if (pt) {
      if (name == "name") pt->name = value;
      else if (name == "cmt") pt->cmt = value;
      else if (name == "desc") pt->desc = value;
      else if (name == "ele") pt->has_ele = true, pt->ele = std::strtod(value.c_str(), nullptr);
      else if (name == "speed") pt->has_speed = true, pt->speed = std::strtod(value.c_str(), nullptr);
      else if (name == "course") pt->has_course = true, pt->course = std::strtod(value.c_str(), nullptr);
      else if (name == "time") pt->has_time = parse_iso_time(value, &pt->time);
    } else if (owner && name == "name") {
      *owner = value;
    }
  }
  return seen_gpx;
}

// ---- Comparison with the model -------------------------------------------------------------

namespace {

// What the receiver holds of a record: the model record packed with its D-type and
// unpacked again (texts cut to their fields, unsent fields zero).
struct held {
  garmin_record r{};
  bool ok = false;
  held(int dtype, const garmin_sim_record& m) {
    const std::string b = garmin_sim_pack(dtype, m);
    const garmin_dtype* dt = garmin_dtype_find(dtype);
    ok = dt && garmin_unpack(dt, &r, reinterpret_cast<const uint8_t*>(b.data()), b.size()) == 0;
  }
  ~held() { garmin_record_clear(&r); }
  std::string text(int slot) const { return r.text[slot] ? r.text[slot] : ""; }
};

bool carries_comment(int t) { return (t >= 100 && t <= 104) || (t >= 107 && t <= 110) || t >= 150; }
bool wpt_has_alt(int t) { return t >= 108 && t <= 110; }
bool wpt_has_alt16(int t) { return t >= 150; }
bool trk_has_alt(int t) { return t >= 301 && t <= 304; }

// Garmin's mark for "no altitude".
bool alt_known(float a) { return std::fabs(a) < 1.0e24f; }

void check_position(std::ostringstream& o, const std::string& what, const gpx_point& p,
                    const garmin_record& r) {
  const double lat = garmin_sim_degrees(int32_t(r.num[GN_LAT]));
  const double lon = garmin_sim_degrees(int32_t(r.num[GN_LON]));
  if (std::fabs(p.lat - lat) > 1e-7 || std::fabs(p.lon - lon) > 1e-7) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s: position %.9f %.9f, model %.9f %.9f\n", what.c_str(), p.lat,
                  p.lon, lat, lon);
    o << buf;
  }
}

void check_alt(std::ostringstream& o, const std::string& what, const gpx_point& p, bool known,
               double alt) {
  if (!known) return;
  if (!p.has_ele) {
    o << what << ": no elevation, model " << alt << "\n";
  } else if (std::fabs(p.ele - alt) > 0.01) {
    o << what << ": elevation " << p.ele << ", model " << alt << "\n";
  }
}

void check_time(std::ostringstream& o, const std::string& what, const gpx_point& p, uint32_t t) {
  if (t == 0 || t == 0xFFFFFFFFu) return;
  const int64_t want = garmin_sim_unix_time(t);
  if (!p.has_time || p.time != want) {
    o << what << ": time " << (p.has_time ? std::to_string(p.time) : "none") << ", model " << want << "\n";
  }
}

// A route point is compared by name and position only: hosts write route points as
// references to waypoints.
void check_waypoint(std::ostringstream& o, const std::string& what, const gpx_point& p, int t,
                    const garmin_sim_record& m, bool full, unsigned skip) {
  held h(t, m);
  if (!h.ok) {
    o << what << ": model record does not pack as D" << t << "\n";
    return;
  }
  if (!(skip & GPX_NO_WPT_NAMES) && p.name != h.text(GT_IDENT)) o << what << ": name '" << p.name << "', model '" << h.text(GT_IDENT) << "'\n";
  check_position(o, what, p, h.r);
  if (!full) return;
  if (carries_comment(t) && !h.text(GT_CMNT).empty() && p.cmt != h.text(GT_CMNT)) {
    o << what << ": comment '" << p.cmt << "', model '" << h.text(GT_CMNT) << "'\n";
  }
  if (wpt_has_alt(t)) check_alt(o, what, p, alt_known(h.r.flt[GF_ALT]), h.r.flt[GF_ALT]);
  if (wpt_has_alt16(t)) check_alt(o, what, p, true, double(int32_t(h.r.num[GN_ALT_I16])));
  if (t == 110) check_time(o, what, p, h.r.num[GN_TIME]);
}

}  // namespace

std::string garmin_gpx_diff(const gpx_data& gpx, const garmin_model& m, unsigned skip) {
  std::ostringstream o;
  if (m.wpt_type) {
    if (gpx.waypoints.size() != m.waypoints.size()) {
      o << "waypoints: " << gpx.waypoints.size() << ", model " << m.waypoints.size() << "\n";
    }
    for (size_t i = 0; i < std::min(gpx.waypoints.size(), m.waypoints.size()); ++i) {
      check_waypoint(o, "waypoint " + std::to_string(i), gpx.waypoints[i], m.wpt_type, m.waypoints[i], true, skip);
    }
  }
  if (m.rte_hdr_type) {
    if (gpx.routes.size() != m.routes.size()) {
      o << "routes: " << gpx.routes.size() << ", model " << m.routes.size() << "\n";
    }
    for (size_t r = 0; r < std::min(gpx.routes.size(), m.routes.size()); ++r) {
      const auto& gr = gpx.routes[r];
      const auto& mr = m.routes[r];
      const std::string what = "route " + std::to_string(r);
      held h(m.rte_hdr_type, mr.header);
      if (m.rte_hdr_type == 202 && gr.name != h.text(GT_IDENT)) {
        o << what << ": name '" << gr.name << "', model '" << h.text(GT_IDENT) << "'\n";
      }
      if (gr.points.size() != mr.points.size()) {
        o << what << ": points " << gr.points.size() << ", model " << mr.points.size() << "\n";
      }
      for (size_t i = 0; i < std::min(gr.points.size(), mr.points.size()); ++i) {
        check_waypoint(o, what + " point " + std::to_string(i), gr.points[i], m.wpt_type, mr.points[i], false, skip);
      }
    }
  }
  if (m.trk_type) {
    std::vector<gpx_point> got;
    for (const auto& t : gpx.tracks) {
      for (const auto& s : t.segments) got.insert(got.end(), s.begin(), s.end());
    }
    std::vector<const garmin_sim_record*> want;
    for (const auto& t : m.tracks) {
      for (const auto& p : t.points) want.push_back(&p);
    }
    if (got.size() != want.size()) o << "track points: " << got.size() << ", model " << want.size() << "\n";
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
      const std::string what = "track point " + std::to_string(i);
      held h(m.trk_type, *want[i]);
      check_position(o, what, got[i], h.r);
      if (trk_has_alt(m.trk_type)) check_alt(o, what, got[i], alt_known(h.r.flt[GF_ALT]), h.r.flt[GF_ALT]);
      check_time(o, what, got[i], h.r.num[GN_TIME]);
    }
    if (m.trk_hdr_type == 310 || m.trk_hdr_type == 312) {
      if (gpx.tracks.size() != m.tracks.size()) {
        o << "tracks: " << gpx.tracks.size() << ", model " << m.tracks.size() << "\n";
      }
      for (size_t t = 0; t < std::min(gpx.tracks.size(), m.tracks.size()); ++t) {
        held h(m.trk_hdr_type, m.tracks[t].header);
        if (gpx.tracks[t].name != h.text(GT_IDENT)) {
          o << "track " << t << ": name '" << gpx.tracks[t].name << "', model '" << h.text(GT_IDENT) << "'\n";
        }
      }
    }
  }
  return o.str();
}

// ---- gpsbabel as the host -------------------------------------------------------------

bool garmin_sim_gpsbabel_gpx(const garmin_model& model, const char* dir, gpx_data* out, std::string* why,
                             std::string* gpx_text) {
  garmin_sim_pty sim(model);
  if (!sim.ok() || !sim.start_realtime()) {
    *why = "simulator did not start";
    return false;
  }
  const std::string file = fresh_dir(dir) + "out.gpx";
  std::string log;
  const int rc = run_tool({"gpsbabel", "-w", "-r", "-t", "-i", "garmin", "-f", sim.path(), "-o", "gpx", "-F",
                           file},
                          &log, 60000);
  sim.stop();
  const garmin_sim_trace t = sim.trace();
  std::ostringstream w;
  w << "gpsbabel exit " << rc << ": " << log << "host ids:";
  for (int id : t.host_ids) w << " " << id;
  w << "\ncommands:";
  for (int c : t.commands) w << " " << c;
  w << "\nre-sendings " << t.resends << "\n";
  *why = w.str();
  if (rc != 0) return false;
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (gpx_text) *gpx_text = text.str();
  if (!gpx_parse(text.str(), out)) {
    *why += "no GPX in " + file + "\n";
    return false;
  }
  return true;
}

}  // namespace tm_test
