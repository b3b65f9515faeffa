// draw_text: text formatted in a rectangle. The text is cut into lines (at line breaks,
// and between words when the rectangle is too narrow and word breaking is asked for),
// '&' marks the next character as the one to underline (unless DT_NOPREFIX; "&&" is a
// plain '&'), tabs go to the next multiple of eight average widths with DT_EXPANDTABS,
// and a line too wide for the rectangle ends in "..." with DT_END_ELLIPSIS. Lines are
// aligned left, centred or right; vertical centring and bottom alignment apply to
// single-line text, as callers of this call expect. The rectangle clips unless
// DT_NOCLIP; DT_CALCRECT only measures, giving the rectangle the text needs.
#include "platform/gdi/stroke.h"
#include "platform/gdi/text_run.h"

namespace plat {

namespace {

struct Line {
  RunLayout run;
  int prefix = -1;  // index of the underlined character in the line, -1 for none
};

// Code points with the prefix marks taken out.
struct Marked {
  std::vector<char32_t> cps;
  std::vector<bool> underlined;
};

Marked take_prefixes(const std::vector<char32_t>& in, bool prefixes) {
  Marked m;
  for (size_t i = 0; i < in.size(); ++i) {
    bool mark = false;
    if (prefixes && in[i] == U'&' && i + 1 < in.size()) {
      ++i;
      mark = in[i] != U'&';
    }
    m.cps.push_back(in[i]);
    m.underlined.push_back(mark);
  }
  return m;
}

// Lays out code points [a, b) as a line: offsets along the baseline, tabs expanded.
Line layout(const FontFace& f, const Marked& m, size_t a, size_t b, bool tabs) {
  Line line;
  line.run.cps.assign(m.cps.begin() + long(a), m.cps.begin() + long(b));
  std::vector<int> adv;
  measure_run(f, line.run.cps.data(), line.run.cps.size(), adv);
  int64_t tab = std::max(1, f.m.ave_width * 8), u = 0;
  line.run.pos.resize(adv.size());
  for (size_t i = 0; i < adv.size(); ++i) {
    line.run.pos[i] = clamp_int(u);
    if (tabs && line.run.cps[i] == U'\t') u = (u / tab + 1) * tab;
    else u += adv[i];
    if (m.underlined[a + i]) line.prefix = int(i);
  }
  line.run.width = clamp_int(u);
  return line;
}

bool is_break(char32_t c) { return c == U'\n' || c == U'\r'; }

// Splits [a, b) (no line breaks inside) into lines no wider than `width`, breaking after
// blanks; a word wider than the width stays whole on its own line.
void wrap(const FontFace& f, const Marked& m, size_t a, size_t b, int width, bool tabs, std::vector<Line>& out) {
  while (true) {
    Line whole = layout(f, m, a, b, tabs);
    if (whole.run.width <= width || a >= b) {
      out.push_back(std::move(whole));
      return;
    }
    // Last blank at which the line still fits; else the end of the first word.
    size_t cut = 0;
    for (size_t i = 0; i < whole.run.cps.size(); ++i) {
      char32_t c = whole.run.cps[i];
      if (c != U' ' && c != U'\t') continue;
      if (whole.run.pos[i] > width) break;
      cut = i;
    }
    if (cut == 0) {
      size_t i = 0;
      while (i < whole.run.cps.size() && (whole.run.cps[i] == U' ' || whole.run.cps[i] == U'\t')) ++i;
      while (i < whole.run.cps.size() && whole.run.cps[i] != U' ' && whole.run.cps[i] != U'\t') ++i;
      cut = i;
    }
    if (cut >= whole.run.cps.size()) {
      out.push_back(std::move(whole));
      return;
    }
    out.push_back(layout(f, m, a, a + cut, tabs));
    size_t next = a + cut;
    while (next < b && (m.cps[next] == U' ' || m.cps[next] == U'\t')) ++next;
    if (next >= b) return;
    a = next;
  }
}

// Shortens a line to fit `width` with "..." after what is kept.
void add_ellipsis(const FontFace& f, Line& line, int width, bool tabs) {
  if (line.run.width <= width) return;
  char32_t dots[3] = {U'.', U'.', U'.'};
  std::vector<int> adv;
  int dots_w = measure_run(f, dots, 3, adv);
  // Offset of the end of the first k code points.
  auto end_of = [&](size_t k) { return k < line.run.cps.size() ? line.run.pos[k] : line.run.width; };
  size_t keep = line.run.cps.size();
  while (keep > 0 && end_of(keep) + dots_w > width) --keep;
  int end = end_of(keep);
  line.run.cps.resize(keep);
  line.run.pos.resize(keep);
  for (int i = 0; i < 3; ++i) {
    line.run.cps.push_back(U'.');
    line.run.pos.push_back(end + adv[0] * i);
  }
  line.run.width = end + dots_w;
  if (line.prefix >= int(keep)) line.prefix = -1;
}

std::vector<Line> format_lines(const FontFace& f, const char16_t* text, int count, int width, unsigned fmt) {
  std::vector<char32_t> cps;
  decode_utf16(text, count, cps);
  Marked m = take_prefixes(cps, !(fmt & DT_NOPREFIX));
  bool tabs = fmt & DT_EXPANDTABS;
  std::vector<Line> lines;
  if (fmt & DT_SINGLELINE) {
    for (char32_t& c : m.cps)
      if (is_break(c)) c = U' ';
    lines.push_back(layout(f, m, 0, m.cps.size(), tabs));
  } else {
    size_t a = 0;
    while (true) {
      size_t b = a;
      while (b < m.cps.size() && !is_break(m.cps[b])) ++b;
      if (fmt & DT_WORDBREAK) wrap(f, m, a, b, width, tabs, lines);
      else lines.push_back(layout(f, m, a, b, tabs));
      if (b >= m.cps.size()) break;
      a = b + ((m.cps[b] == U'\r' && b + 1 < m.cps.size() && m.cps[b + 1] == U'\n') ? 2 : 1);
      if (a >= m.cps.size()) break;
    }
  }
  if (fmt & DT_END_ELLIPSIS)
    for (Line& l : lines) add_ellipsis(f, l, width, tabs);
  return lines;
}

}  // namespace

int draw_text(Dc dc, const char16_t* text, int count, Rect* r, unsigned format) {
  if (!dc || !r || (!text && count != 0)) return 0;
  refresh_clip(dc);
  auto f = dc_font(*dc);
  // Sizes and positions in 64 bits: a rectangle may span the whole coordinate range.
  int64_t width = int64_t(r->right) - r->left, height = int64_t(r->bottom) - r->top;
  std::vector<Line> lines = format_lines(*f, text, count, clamp_int(width), format);
  int64_t line_h = f->m.height, total = line_h * int64_t(lines.size());
  if (format & DT_CALCRECT) {
    int widest = 0;
    for (const Line& l : lines) widest = std::max(widest, l.run.width);
    r->right = clamp_int(int64_t(r->left) + widest);
    r->bottom = clamp_int(r->top + total);
    return clamp_int(total);
  }
  int64_t top = r->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_BOTTOM) top = r->bottom - total;
    else if (format & DT_VCENTER) top = r->top + (height - total) / 2;
  }
  // Clip to the rectangle for the duration of the call.
  Region saved_clip;
  Rect saved_box = dc->clip_box;
  bool saved_simple = dc->clip_simple;
  bool clip = !(format & DT_NOCLIP);
  if (clip) {
    saved_clip = dc->clip;
    PointL tl = to_surface(*dc, Point{r->left, r->top}), br = to_surface(*dc, Point{r->right, r->bottom});
    Rect rs{clamp_int(tl.x), clamp_int(tl.y), clamp_int(br.x), clamp_int(br.y)};
    dc->clip.intersect(Region(rs));
    dc->clip_box = dc->clip.bounds();
    dc->clip_simple = dc->clip.rects().size() <= 1;
  }
  bool opaque = dc->bk_mode == OPAQUE;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Line& l = lines[i];
    int64_t x = (format & DT_RIGHT) ? r->right - int64_t(l.run.width)
                : (format & DT_CENTER) ? r->left + (width - l.run.width) / 2 : r->left;
    double ox = double(x + dc->shift.x), oy = double(top + line_h * int64_t(i) + dc->shift.y) + f->m.ascent;
    draw_run(dc, *f, ox, oy, l.run, opaque);
    if (l.prefix >= 0) {
      int u0 = l.run.pos[size_t(l.prefix)];
      int u1 = size_t(l.prefix) + 1 < l.run.pos.size() ? l.run.pos[size_t(l.prefix) + 1] : l.run.width;
      draw_underline(dc, *f, ox, oy, u0, u1);
    }
  }
  if (clip) {
    dc->clip = std::move(saved_clip);
    dc->clip_box = saved_box;
    dc->clip_simple = saved_simple;
  }
  return clamp_int(total);
}

}  // namespace plat
