// FreeType behind the font objects. A face name picks a DejaVu family (Sans for the
// proportional faces and anything unknown, Serif for "Times New Roman", Sans Mono for
// "Courier New"); weight and italic pick the file within the family. The size follows
// the usual convention: a negative height is the em height in pixels, a positive one
// the cell height (ascent plus descent), a width the average character width.
//
// Glyph sets are shared by every font of the same file, size and angle and kept in a
// small table (most recently used last); each set stops growing past a byte budget by
// starting over, so huge or numerous fonts cannot exhaust memory.
#include "platform/gdi/font_cache.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <numbers>
#include <string>
#include <unordered_map>

namespace plat {

struct GlyphSet {
  int file = -1;
  long em_x64 = 0, em_y64 = 0;
  int escapement = 0;
  std::unordered_map<char32_t, std::shared_ptr<const Glyph>> glyphs;
  size_t bytes = 0;
};

namespace {

constexpr size_t kSetBudget = 32u << 20;  // bytes of glyphs per glyph set
constexpr size_t kTableSets = 48;         // glyph sets kept when no font holds them

struct FaceFile {
  std::string path;
  FT_Face face = nullptr;  // null when the file could not be loaded
};

struct SetKey {
  int file;
  long em_x64, em_y64;
  int escapement;
  auto operator<=>(const SetKey&) const = default;
};

struct Cache {
  std::mutex lock;
  FT_Library library = nullptr;
  bool library_failed = false;
  std::string dir = "/usr/share/fonts/truetype/dejavu";
  std::vector<FaceFile> files;
  std::map<SetKey, std::shared_ptr<GlyphSet>> sets;
  std::vector<SetKey> recent;  // least recently used first
};

Cache& cache() {
  static Cache c;
  return c;
}

std::atomic<bool> g_warned{false};

void warn_once(const std::string& what) {
  if (!g_warned.exchange(true))
    fprintf(stderr, "tarmelo: %s; text is measured but not drawn\n", what.c_str());
}

bool same_face_name(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char ca = (*a >= 'A' && *a <= 'Z') ? char(*a + 32) : *a;
    char cb = (*b >= 'A' && *b <= 'Z') ? char(*b + 32) : *b;
    if (ca != cb) return false;
  }
  return *a == *b;
}

// File names of a family by style: regular, bold, italic, bold italic.
struct Family {
  const char* files[4];
};
constexpr Family kSans{{"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf",
                        "DejaVuSans-BoldOblique.ttf"}};
constexpr Family kSerif{{"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf",
                         "DejaVuSerif-BoldItalic.ttf"}};
constexpr Family kMono{{"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf",
                        "DejaVuSansMono-Oblique.ttf", "DejaVuSansMono-BoldOblique.ttf"}};

const Family& family_of(const char* face) {
  if (same_face_name(face, "Times New Roman")) return kSerif;
  if (same_face_name(face, "Courier New") || same_face_name(face, "Courier")) return kMono;
  return kSans;  // "MS Sans Serif", "Arial", "Small Fonts", "Symbol" and the rest
}

// Index of the loaded file for a path, loading it on first use. Lock held.
int file_index(Cache& c, const std::string& path) {
  for (size_t i = 0; i < c.files.size(); ++i)
    if (c.files[i].path == path) return c.files[i].face ? int(i) : -1;
  FaceFile f;
  f.path = path;
  if (!c.library && !c.library_failed && FT_Init_FreeType(&c.library) != 0) {
    c.library = nullptr;
    c.library_failed = true;
  }
  if (c.library && FT_New_Face(c.library, path.c_str(), 0, &f.face) != 0) f.face = nullptr;
  if (!f.face) warn_once("cannot load the font file " + path);
  c.files.push_back(f);
  return f.face ? int(c.files.size() - 1) : -1;
}

// Pixel sizes and metrics from the face's own tables (the OS/2 ascent, descent and
// average width, which is what cell heights and widths are measured against).
void size_font(FT_Face face, FontFace& f) {
  const LogFont& lf = f.lf;
  double upem = face ? face->units_per_EM : 2048;
  double asc = 1901, desc = 483, avg = 1038, maxw = 2000, ul_pos = -130, ul_thick = 90, strike = 530;
  if (face) {
    asc = face->ascender;
    desc = -face->descender;
    maxw = face->max_advance_width;
    ul_pos = face->underline_position;
    ul_thick = face->underline_thickness;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
      if (os2->usWinAscent + os2->usWinDescent > 0) {
        asc = os2->usWinAscent;
        desc = os2->usWinDescent;
      }
      if (os2->xAvgCharWidth > 0) avg = os2->xAvgCharWidth;
      if (os2->yStrikeoutPosition > 0) strike = os2->yStrikeoutPosition;
    }
  }
  int cell = lf.height > 0 ? lf.height : lf.height == 0 ? 16 : 0;
  f.em_y = cell ? cell * upem / (asc + desc) : -double(lf.height);
  f.em_x = lf.width > 0 ? lf.width * upem / avg : f.em_y;
  double sy = f.em_y / upem, sx = f.em_x / upem;
  FontMetricsPx& m = f.m;
  m.ascent = int(std::lround(asc * sy));
  m.descent = cell ? cell - m.ascent : int(std::lround(desc * sy));
  m.height = m.ascent + m.descent;
  m.internal_leading = std::max(0, m.height - int(std::lround(f.em_y)));
  m.ave_width = std::max(1, int(std::lround(avg * sx)));
  m.max_width = std::max(m.ave_width, int(std::lround(maxw * sx)));
  m.underline_offset = std::max(1, int(std::lround(-ul_pos * sy)));
  m.underline_thickness = std::max(1, int(std::lround(ul_thick * sy)));
  m.strike_offset = std::max(1, int(std::lround(strike * sy)));
}

// The table's set for a key, made when missing; the table forgets the least recently
// used sets beyond its size (fonts that hold them keep them). Lock held.
std::shared_ptr<GlyphSet> find_set(Cache& c, const SetKey& key) {
  auto it = c.sets.find(key);
  for (size_t i = 0; i < c.recent.size(); ++i)
    if (c.recent[i] == key) { c.recent.erase(c.recent.begin() + long(i)); break; }
  c.recent.push_back(key);
  if (it != c.sets.end()) return it->second;
  auto set = std::make_shared<GlyphSet>();
  set->file = key.file;
  set->em_x64 = key.em_x64;
  set->em_y64 = key.em_y64;
  set->escapement = key.escapement;
  c.sets[key] = set;
  while (c.recent.size() > kTableSets) {
    c.sets.erase(c.recent.front());
    c.recent.erase(c.recent.begin());
  }
  return set;
}

std::shared_ptr<const Glyph> render_glyph(Cache& c, const GlyphSet& set, double angle, char32_t cp) {
  auto g = std::make_shared<Glyph>();
  FT_Face face = c.files[size_t(set.file)].face;
  if (FT_Set_Char_Size(face, set.em_x64, set.em_y64, 72, 72) != 0) return g;
  if (set.escapement) {
    FT_Matrix m;
    double co = std::cos(angle), si = std::sin(angle);
    m.xx = FT_Fixed(std::lround(co * 65536.0));
    m.xy = FT_Fixed(std::lround(-si * 65536.0));
    m.yx = FT_Fixed(std::lround(si * 65536.0));
    m.yy = FT_Fixed(std::lround(co * 65536.0));
    FT_Set_Transform(face, &m, nullptr);
  } else {
    FT_Set_Transform(face, nullptr, nullptr);
  }
  FT_Int32 flags = FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT;
  if (FT_Load_Char(face, FT_ULong(cp), flags) != 0) return g;
  FT_GlyphSlot slot = face->glyph;
  g->advance = int(std::lround(double(slot->linearHoriAdvance) / 65536.0));
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return g;
  const FT_Bitmap& bm = slot->bitmap;
  if (bm.pixel_mode != FT_PIXEL_MODE_GRAY || bm.width == 0 || bm.rows == 0) return g;
  g->left = slot->bitmap_left;
  g->top = slot->bitmap_top;
  g->width = int(bm.width);
  g->height = int(bm.rows);
  g->coverage.resize(size_t(g->width) * size_t(g->height));
  for (int y = 0; y < g->height; ++y) {
    const unsigned char* src = bm.pitch >= 0 ? bm.buffer + ptrdiff_t(y) * bm.pitch
                                             : bm.buffer + ptrdiff_t(g->height - 1 - y) * -bm.pitch;
    memcpy(g->coverage.data() + size_t(y) * size_t(g->width), src, size_t(g->width));
  }
  return g;
}

}  // namespace

std::shared_ptr<FontFace> resolve_font(const LogFont& lf) {
  Cache& c = cache();
  std::lock_guard<std::mutex> lock(c.lock);
  auto f = std::make_shared<FontFace>();
  f->lf = lf;
  f->lf.face_name[sizeof f->lf.face_name - 1] = 0;
  const Family& fam = family_of(f->lf.face_name);
  int style = (lf.weight >= 600 ? 1 : 0) + (lf.italic ? 2 : 0);
  f->file = file_index(c, c.dir + "/" + fam.files[style]);
  FT_Face face = f->file >= 0 ? c.files[size_t(f->file)].face : nullptr;
  size_font(face, *f);
  int esc = ((lf.escapement % 3600) + 3600) % 3600;
  f->angle = esc * std::numbers::pi / 1800.0;
  if (face) {
    SetKey key{f->file, std::lround(f->em_x * 64), std::lround(f->em_y * 64), esc};
    f->set = find_set(c, key);
  }
  return f;
}

void get_glyphs(const FontFace& font, const char32_t* cps, size_t n,
                std::vector<std::shared_ptr<const Glyph>>& out) {
  out.assign(n, nullptr);
  if (!font.set) return;
  Cache& c = cache();
  std::lock_guard<std::mutex> lock(c.lock);
  GlyphSet& set = *font.set;
  for (size_t i = 0; i < n; ++i) {
    auto it = set.glyphs.find(cps[i]);
    if (it != set.glyphs.end()) {
      out[i] = it->second;
      continue;
    }
    auto g = render_glyph(c, set, font.angle, cps[i]);
    size_t bytes = sizeof(Glyph) + g->coverage.size();
    if (set.bytes + bytes > kSetBudget) {
      set.glyphs.clear();  // start over; glyphs handed out stay alive with their holders
      set.bytes = 0;
    }
    set.bytes += bytes;
    set.glyphs.emplace(cps[i], g);
    out[i] = std::move(g);
  }
}

void get_advances(const FontFace& font, const char32_t* cps, size_t n, std::vector<int>& out) {
  out.assign(n, 0);
  if (!font.set) {
    // No face: a plain advance so that layouts still take room.
    for (size_t i = 0; i < n; ++i) out[i] = cps[i] == 0 ? 0 : font.m.ave_width;
    return;
  }
  std::vector<std::shared_ptr<const Glyph>> glyphs;
  get_glyphs(font, cps, n, glyphs);
  for (size_t i = 0; i < n; ++i) out[i] = glyphs[i] ? glyphs[i]->advance : 0;
}

void set_font_dir(const char* dir) {
  Cache& c = cache();
  std::lock_guard<std::mutex> lock(c.lock);
  c.dir = dir && *dir ? dir : "/usr/share/fonts/truetype/dejavu";
  while (!c.dir.empty() && c.dir.back() == '/') c.dir.pop_back();
  c.sets.clear();
  c.recent.clear();
  g_warned = false;
}

}  // namespace plat
