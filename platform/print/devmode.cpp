// Document settings: a printer's defaults, a caller's settings merged in field by
// field, and the page the settings give.
//
// Each field a caller may set has its own merge routine in a table. A value the printer
// does not accept leaves the field as it was: the printing code learns which
// resolutions a printer prints at by asking for each and reading back what was kept.
#include <algorithm>
#include <cstring>

#include "platform/print/print_internal.h"

namespace plat {

namespace {

struct Paper {
  int16_t code;
  int16_t width, length;  // tenths of a millimetre, held in portrait
};
constexpr Paper kPapers[] = {{DMPAPER_LETTER, 2159, 2794}, {DMPAPER_A4, 2100, 2970}};

// The resolutions a printer prints at besides its own: those of this list up to its own.
constexpr int kResolutions[] = {72, 75, 100, 150, 200, 300, 600};
// Draft, low, medium and high (codes -1 to -4) in dots per inch.
constexpr int kQualityDpi[] = {150, 200, 300, 600};

constexpr uint32_t kSettableFields =
    DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_PRINTQUALITY | DM_COLOR | DM_YRESOLUTION;
constexpr int kMaxCopies = 9999;

bool is_quality_code(int q) { return q >= DMRES_HIGH && q <= DMRES_DRAFT; }

// A printer that lists its resolutions prints at those; any other at its own and the
// usual ones below it.
bool prints_at(const PrinterInfo& p, int dpi) {
  if (!p.resolutions.empty()) return std::find(p.resolutions.begin(), p.resolutions.end(), dpi) != p.resolutions.end();
  return dpi == p.dpi || (dpi < p.dpi && std::find(std::begin(kResolutions), std::end(kResolutions), dpi) !=
                                              std::end(kResolutions));
}

int dpi_of_quality(const PrinterInfo& p, int q) {
  if (q > 0) return q;
  if (is_quality_code(q)) return std::min(kQualityDpi[-q - 1], p.dpi);
  return p.dpi;
}

// Tenths of a millimetre to pixels at a resolution, rounded.
int to_pixels(int tenth_mm, int dpi) { return int((int64_t(tenth_mm) * dpi + 127) / 254); }

using FieldMerge = void (*)(const PrinterInfo& p, const DevMode& in, DevMode* s);

void merge_orientation(const PrinterInfo& p, const DevMode& in, DevMode* s) {
  if (in.orientation == DMORIENT_PORTRAIT || (in.orientation == DMORIENT_LANDSCAPE && p.landscape))
    s->orientation = in.orientation;
}

bool takes_paper(const PrinterInfo& p, int16_t code) {
  return p.papers.empty() || std::find(p.papers.begin(), p.papers.end(), code) != p.papers.end();
}

void merge_paper(const PrinterInfo& p, const DevMode& in, DevMode* s) {
  for (const Paper& paper : kPapers) {
    if (paper.code != in.paper_size || !takes_paper(p, paper.code)) continue;
    s->paper_size = paper.code;
    s->paper_width = paper.width;
    s->paper_length = paper.length;
  }
}

void merge_copies(const PrinterInfo&, const DevMode& in, DevMode* s) {
  if (in.copies >= 1 && in.copies <= kMaxCopies) s->copies = in.copies;
}

// A new quality without a y resolution makes the page square again.
void merge_quality(const PrinterInfo& p, const DevMode& in, DevMode* s) {
  int q = in.print_quality;
  if (!is_quality_code(q) && !(q > 0 && prints_at(p, q))) return;
  s->print_quality = int16_t(q);
  if (!(in.fields & DM_YRESOLUTION)) s->y_resolution = int16_t(q > 0 ? q : 0);
}

// Zero or a quality code stands for "the same as across".
void merge_y_resolution(const PrinterInfo& p, const DevMode& in, DevMode* s) {
  int y = in.y_resolution;
  if (y == 0 || is_quality_code(y) || prints_at(p, y)) s->y_resolution = int16_t(y);
}

void merge_color(const PrinterInfo& p, const DevMode& in, DevMode* s) {
  if (in.color == DMCOLOR_MONOCHROME || (in.color == DMCOLOR_COLOR && p.colour)) s->color = in.color;
}

struct FieldRule {
  uint32_t field;
  FieldMerge merge;
};
// In this order: the quality before the y resolution that may follow it.
constexpr FieldRule kFieldRules[] = {
    {DM_ORIENTATION, merge_orientation}, {DM_PAPERSIZE, merge_paper},          {DM_COPIES, merge_copies},
    {DM_PRINTQUALITY, merge_quality},    {DM_YRESOLUTION, merge_y_resolution}, {DM_COLOR, merge_color},
};

}  // namespace

DevMode printer_defaults(const PrinterInfo& printer) {
  DevMode d;
  size_t n = std::min(printer.name.size(), sizeof d.device_name - 1);
  while (n > 0 && n < printer.name.size() && (uint8_t(printer.name[n]) & 0xC0) == 0x80) --n;  // whole characters
  memcpy(d.device_name, printer.name.data(), n);
  d.fields = kSettableFields;
  d.paper_size = printer.paper;
  d.paper_width = printer.paper_width;
  d.paper_length = printer.paper_length;
  for (const Paper& paper : kPapers) {
    if (paper.code != printer.paper) continue;
    d.paper_width = paper.width;
    d.paper_length = paper.length;
  }
  d.print_quality = int16_t(printer.dpi);
  d.y_resolution = int16_t(printer.dpi);
  d.color = printer.colour ? DMCOLOR_COLOR : DMCOLOR_MONOCHROME;
  return d;
}

void merge_settings(const PrinterInfo& printer, const DevMode& in, DevMode* settings) {
  for (const FieldRule& rule : kFieldRules)
    if (in.fields & rule.field) rule.merge(printer, in, settings);
}

PageGeometry page_geometry(const PrinterInfo& printer, const DevMode& s) {
  PageGeometry g;
  g.dpi_x = dpi_of_quality(printer, s.print_quality);
  g.dpi_y = s.y_resolution > 0 ? int(s.y_resolution) : g.dpi_x;
  bool landscape = s.orientation == DMORIENT_LANDSCAPE;
  g.width_tenth_mm = landscape ? s.paper_length : s.paper_width;
  g.height_tenth_mm = landscape ? s.paper_width : s.paper_length;
  g.width_px = to_pixels(g.width_tenth_mm, g.dpi_x);
  g.height_px = to_pixels(g.height_tenth_mm, g.dpi_y);
  g.grey = !printer.colour || s.color == DMCOLOR_MONOCHROME;
  return g;
}

int document_properties(Printer printer, DevMode* out, const DevMode* in, int mode) {
  if (mode == 0) return int(sizeof(DevMode));
  PrinterInfo p;
  if (!printer_info_of(printer, &p) || ((mode & DM_OUT_BUFFER) && !out) || ((mode & DM_IN_BUFFER) && !in)) {
    set_print_error("Document properties need an open printer and the buffers the mode names.");
    return -1;
  }
  DevMode s = printer_defaults(p);
  if (mode & DM_IN_BUFFER) merge_settings(p, *in, &s);
  if (mode & DM_OUT_BUFFER) *out = s;
  return 1;  // IDOK
}

}  // namespace plat
