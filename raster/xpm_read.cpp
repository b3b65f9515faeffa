// The XPM reader (xpm_read.h).
//
// The automaton reads the file byte by byte; each byte's class and the current state
// give an action and the next state. A completed string is handed to the stage that
// expects it: the values, then the colours, then the lines of pixels. The image is
// allocated at the first line of pixels, once the values have been checked against the
// bytes left in the file.
#include "raster/xpm_read.h"

#include <cctype>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/command_hooks.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/decoder_file.h"
#include "raster/raster_limits.h"

namespace {

constexpr int64_t kXpmBuffer = int64_t(64) << 10;
constexpr int kMaxCharsPerPixel = 8;
constexpr int64_t kMaxSide = 0x7FFFFFFF;

// ---- The automaton ----------------------------------------------------------------------

enum byte_class : uint8_t { kBlank, kNewline, kQuote, kStar, kComma, kSlash, kSemicolon,
                            kOpenBrace, kCloseBrace, kOther, kClassCount };
enum state : uint8_t { kOutside, kSlashSeen, kComment, kCommentStar, kInString, kStateCount };
enum action : uint8_t { kNone, kBegin, kAdd, kDone, kStop, kError };

struct transition {
  action act;
  state next;
};

constexpr byte_class class_of(uint8_t c) {
  switch (c) {
    case ' ': case '\t': return kBlank;
    case '\n': case '\r': return kNewline;
    case '"': return kQuote;
    case '*': return kStar;
    case ',': return kComma;
    case '/': return kSlash;
    case ';': return kSemicolon;
    case '{': return kOpenBrace;
    case '}': return kCloseBrace;
    default: return kOther;
  }
}

constexpr transition N(state s) { return {kNone, s}; }

// Rows: states; columns: blank, newline, '"', '*', ',', '/', ';', '{', '}', other.
constexpr transition kTable[kStateCount][kClassCount] = {
    // outside the strings
    {N(kOutside), N(kOutside), {kBegin, kInString}, N(kOutside), N(kOutside), N(kSlashSeen),
     N(kOutside), N(kOutside), {kStop, kOutside}, N(kOutside)},
    // after a '/'
    {N(kOutside), N(kOutside), {kBegin, kInString}, N(kComment), N(kOutside), N(kSlashSeen),
     N(kOutside), N(kOutside), {kStop, kOutside}, N(kOutside)},
    // inside a comment
    {N(kComment), N(kComment), N(kComment), N(kCommentStar), N(kComment), N(kComment),
     N(kComment), N(kComment), N(kComment), N(kComment)},
    // inside a comment, after a '*'
    {N(kComment), N(kComment), N(kComment), N(kCommentStar), N(kComment), N(kOutside),
     N(kComment), N(kComment), N(kComment), N(kComment)},
    // inside a string: a line end is an error, a quote ends it
    {{kAdd, kInString}, {kError, kOutside}, {kDone, kOutside}, {kAdd, kInString},
     {kAdd, kInString}, {kAdd, kInString}, {kAdd, kInString}, {kAdd, kInString},
     {kAdd, kInString}, {kAdd, kInString}},
};

// ---- The strings ------------------------------------------------------------------------

enum stage : int { kValues, kColours, kPixels, kAfter };


struct xpm_reading {
  bitmap_t* image = nullptr;
  stage at = kValues;
  int64_t width = 0, height = 0;
  int colours = 0, cpp = 0;
  bool extensions = false;
  int colours_read = 0;
  int64_t lines_read = 0;
  bool allocated = false;
  int one_char[256];                           // index of each 1-character key, or -1
  std::unordered_map<std::string, int> keys;   // longer keys
};

int bad_file() { return set_gblerr(ERR_BAD_FILE); }

std::vector<std::string> words_of(const std::string& s) {
  std::vector<std::string> words;
  std::string w;
  for (char c : s) {
    if (c == ' ' || c == '\t') {
      if (!w.empty()) words.push_back(w);
      w.clear();
    } else {
      w += c;
    }
  }
  if (!w.empty()) words.push_back(w);
  return words;
}

bool to_number(const std::string& w, int64_t* out) {
  if (w.empty() || w.size() > 12) return false;
  int64_t v = 0;
  for (char c : w) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// Width, height, colours, characters per pixel [, hot spot] [XPMEXT]. A string that
// does not start with four numbers is taken for pixels before the values.
int handle_values(xpm_reading& r, const std::string& s) {
  const std::vector<std::string> w = words_of(s);
  int64_t v[4];
  for (int i = 0; i < 4; ++i)
    if (i >= int(w.size()) || !to_number(w[size_t(i)], &v[i])) return set_gblerr(ERR_LOADING);
  for (const std::string& word : w)
    if (word == "XPMEXT") r.extensions = true;
  if (v[2] > kXpmMaxColours) return set_gblerr(ERR_UNKNOWN_FORMAT);
  if (v[0] < 1 || v[1] < 1 || v[0] > kMaxSide || v[1] > kMaxSide || v[2] < 1 || v[3] < 1 ||
      v[3] > kMaxCharsPerPixel)
    return bad_file();
  r.width = v[0];
  r.height = v[1];
  r.colours = int(v[2]);
  r.cpp = int(v[3]);
  // The fewest bytes the colour and pixel strings take: their characters and quotes.
  int64_t left = rd_bytes_left() - int64_t(r.colours) * (r.cpp + 2);
  const int64_t per_line = r.width * r.cpp + 2;
  if (left < per_line || left / per_line < r.height) return bad_file();
  r.image->bits_per_sample = 8;
  r.image->samples_per_pixel = 1;
  r.image->variant = kXpmPixelKind;
  r.at = kColours;
  return 0;
}

bool is_key(const std::string& w) { return w == "c" || w == "g" || w == "g4" || w == "m" || w == "s"; }
int priority(const std::string& key) {
  return key == "c" ? 4 : key == "g" ? 3 : key == "g4" ? 2 : key == "m" ? 1 : 0;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = char(std::tolower(static_cast<unsigned char>(c)));
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "#" then 1 to 4 hexadecimal digits per component, scaled to 8 bits (rounded).
bool hex_colour(const std::string& v, uint8_t rgb[3]) {
  const size_t n = v.size() - 1;
  if (n == 0 || n % 3 != 0 || n / 3 > 4) return false;
  const size_t per = n / 3;
  const int64_t max = (int64_t(1) << (4 * per)) - 1;
  for (size_t k = 0; k < 3; ++k) {
    int64_t c = 0;
    for (size_t i = 0; i < per; ++i) {
      const int d = hex_digit(v[1 + k * per + i]);
      if (d < 0) return false;
      c = c * 16 + d;
    }
    rgb[k] = uint8_t((c * 255 + max / 2) / max);
  }
  return true;
}

void set_colour(bitmap_t* b, int index, const std::string& value) {
  uint8_t rgb[3] = {0, 0, 0};
  std::string lower;
  for (char c : value) lower += char(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "none") {
    b->transparent[0] = uint8_t(index);
    b->has_transparent = 1;
    rgb[0] = rgb[1] = rgb[2] = 255;
  } else if (!value.empty() && value[0] == '#') {
    hex_colour(value, rgb);
  } else {
    xpm_colour_by_name(value.c_str(), rgb);
  }
  b->lut_r[index] = rgb[0];
  b->lut_g[index] = rgb[1];
  b->lut_b[index] = rgb[2];
}

// The pixel characters, then pairs of a key and a value (a value may be several words).
int handle_colour(xpm_reading& r, const std::string& s) {
  if (int64_t(s.size()) < r.cpp) return bad_file();
  const int index = r.colours_read++;
  const std::string key = s.substr(0, size_t(r.cpp));
  if (r.cpp == 1) {
    int& slot = r.one_char[static_cast<uint8_t>(key[0])];
    if (slot < 0) slot = index;
  } else {
    r.keys.emplace(key, index);
  }
  const std::vector<std::string> w = words_of(s.substr(size_t(r.cpp)));
  std::string best_value;
  int best = -1;
  for (size_t i = 0; i < w.size();) {
    if (!is_key(w[i])) {
      ++i;
      continue;
    }
    const std::string k = w[i++];
    std::string value;
    while (i < w.size() && !is_key(w[i])) value += (value.empty() ? "" : " ") + w[i++];
    if (priority(k) > best) {
      best = priority(k);
      best_value = value;
    }
  }
  set_colour(r.image, index, best_value);
  if (r.colours_read == r.colours) r.at = kPixels;
  return 0;
}

int colour_index(const xpm_reading& r, const char* p) {
  if (r.cpp == 1) {
    const int i = r.one_char[static_cast<uint8_t>(*p)];
    return i < 0 ? 0 : i;
  }
  auto it = r.keys.find(std::string(p, size_t(r.cpp)));
  return it == r.keys.end() ? 0 : it->second;
}

int handle_pixels(xpm_reading& r, const std::string& s) {
  bitmap_t* b = r.image;
  if (!r.allocated) {
    if (raster_check_size(r.width, r.height, 1)) return get_gblerr();
    if (alloc_bitmap(b, int(r.width), int(r.height), 1, 2) != 0)
      return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
    r.allocated = true;
  }
  uint8_t* line = get_img_line_adr(b, int(r.lines_read), 0);
  if (!line) return set_gblerr(get_gblerr() ? get_gblerr() : ERR_MEMORY);
  const int64_t have = int64_t(s.size()) / r.cpp;
  for (int64_t x = 0; x < r.width; ++x)
    line[x] = uint8_t(x < have ? colour_index(r, s.data() + x * r.cpp) : 0);
  if (r.lines_read % 100 == 0) core_progress_file_position(file_name_of(b->file));
  if (++r.lines_read == r.height) r.at = kAfter;
  return 0;
}

int handle_string(xpm_reading& r, const std::string& s) {
  switch (r.at) {
    case kValues: return handle_values(r, s);
    case kColours: return handle_colour(r, s);
    case kPixels: return handle_pixels(r, s);
    default: return 0;  // extensions and anything after the last line
  }
}

int read_image(bitmap_t* image) {
  xpm_reading r;
  r.image = image;
  std::memset(r.one_char, -1, sizeof r.one_char);
  std::string text;
  state st = kOutside;
  bool stop = false;
  while (!stop && rd_bytes_left() > 0) {
    const uint8_t c = uint8_t(rd_read_byte());
    if (get_gblerr()) break;
    const transition t = kTable[st][class_of(c)];
    st = t.next;
    switch (t.act) {
      case kBegin: text.clear(); break;
      case kAdd: text += char(c); break;
      case kDone:
        if (int rc = handle_string(r, text)) return rc;
        break;
      case kStop: stop = true; break;
      case kError: return bad_file();
      default: break;
    }
  }
  set_gblerr(0);
  if (r.at != kAfter) return bad_file();
  return 0;
}

}  // namespace

int xpm_read(bitmap_t* image) { return decode_image_file(image, kXpmBuffer, read_image); }
