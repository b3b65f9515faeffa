// Reading an OziExplorer map calibration file into its parts (see ozi_map.h): the image
// name, the datum and projection names, the calibration points, the custom projection
// parameters and the image height. Lines are read one at a time through the buffered
// reader within the file's size, and split into comma-separated fields in memory, so
// that a file of any length or shape costs one line buffer.
#include <cmath>
#include <cstring>

#include "core/error.h"
#include "core/reader.h"
#include "core/scanner.h"
#include "core/strutil.h"
#include "raster/ozi_map.h"

namespace {

constexpr int64_t kBufferSize = 131072;
constexpr size_t kLineSize = 4096;
constexpr size_t kFieldSize = 256;
constexpr int kMaxPoints = 30;
constexpr int kProjectionLine = 9;

// The fields of one line, blanks around each removed.
struct line_fields {
  std::vector<std::string> f;
  const std::string& at(size_t i) const {  // field i counted from 1; "" past the end
    static const std::string empty;
    return i >= 1 && i <= f.size() ? f[i - 1] : empty;
  }
};

std::string trimmed(const char* text) {
  std::string s = text;
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

line_fields split(const char* line) {
  line_fields out;
  const char* cursor = line;
  char field[kFieldSize];
  while (true) {
    get_field(sizeof field, 1, ',', &cursor, field);
    out.f.push_back(trimmed(field));
    if (*cursor == '\0' || *cursor == '\r' || *cursor == '\n') break;
  }
  return out;
}

// The reading state: the budget of bytes still to read and the current line.
struct text_reader {
  int64_t budget = 0;
  char line[kLineSize];
  bool more() const { return budget > 0 && get_gblerr() == 0; }
  const char* next() {
    line[0] = '\0';
    if (more()) rd_read_line(sizeof line, &budget, line);
    return line;
  }
};

// A number of the file: the plain decimal conversion; false when it is not finite.
bool number(const std::string& text, double* out) {
  *out = str_to_double(text.c_str());
  return std::isfinite(*out);
}

// Degrees and minutes fields, and the hemisphere field that negates.
bool angle(const line_fields& l, size_t first, char negative, double* minutes) {
  double deg = 0, min = 0;
  if (!number(l.at(first), &deg) || !number(l.at(first + 1), &min)) return false;
  *minutes = deg * 60.0 + min;
  const std::string& h = l.at(first + 2);
  if (!h.empty() && h[0] == negative) *minutes = -*minutes;
  return std::isfinite(*minutes);
}

// One "PointNN" line: 1 a point, 0 no pixel position (skipped), -1 a bad number.
int read_point(const line_fields& l, ozi_point* p) {
  if (l.at(3).empty()) return 0;
  bool ok = number(l.at(3), &p->px) && number(l.at(4), &p->py);
  ok = ok && angle(l, 7, 'S', &p->lat) && angle(l, 10, 'W', &p->lon);
  if (!ok) return -1;
  // Field 13 is the word "grid"; then zone, easting, northing and hemisphere.
  p->zone = int(integer_run_value(l.at(14).c_str(), l.at(14).size()));
  if (!l.at(15).empty()) {
    p->grid = true;
    if (!number(l.at(15), &p->easting) || !number(l.at(16), &p->northing)) return -1;
  }
  p->south = l.at(17) == "S";
  return 1;
}

bool begins_with(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// The base name of a path written on either system.
std::string base_name(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Lines 1 to 9: the image name, the datum and the projection. 14 without the line
// "Map Projection".
int read_head(text_reader& r, ozi_map_text* out) {
  r.next();
  r.next();
  out->image_name = base_name(trimmed(r.next()));
  r.next();
  out->datum_name = split(r.next()).at(1);
  for (int n = 6; n < kProjectionLine; ++n) r.next();
  const line_fields l = split(r.next());
  if (l.at(1) != "Map Projection") return 14;
  out->projection_name = l.at(2);
  return 0;
}

// The lines after the points: "Projection Setup" and "IWH", from the line that ended
// the points on.
int read_tail(text_reader& r, line_fields l, ozi_map_text* out) {
  while (true) {
    if (l.at(1) == "Projection Setup" && !out->has_setup) {
      out->has_setup = true;
      for (int i = 0; i < 7; ++i) out->setup[i] = l.at(size_t(i) + 2);
    } else if (l.at(1) == "IWH") {
      if (!number(l.at(4), &out->height)) return 14;
      out->has_height = true;
      return 0;
    }
    if (!r.more()) return 0;
    l = split(r.next());
  }
}

int read_body(text_reader& r, ozi_map_text* out) {
  int rc = read_head(r, out);
  if (rc != 0) return rc;
  line_fields l;
  for (int n = 0; n < kMaxPoints && r.more(); ++n) {
    l = split(r.next());
    if (!begins_with(l.at(1), "Point")) break;
    ozi_point p;
    const int got = read_point(l, &p);
    if (got < 0) return 14;
    if (got > 0) out->points.push_back(p);
    l = line_fields{};
  }
  return read_tail(r, l, out);
}

}  // namespace

int ozi_map_read_text(obj_t* file, ozi_map_text* out) {
  if (!out) return 14;
  *out = ozi_map_text{};
  if (rd_open(file, kBufferSize, 1) != 0) return 2;
  text_reader r;
  r.budget = rd_size();
  set_gblerr(0);
  const int rc = read_body(r, out);
  rd_close_file(file);
  set_gblerr(0);
  return rc;
}
