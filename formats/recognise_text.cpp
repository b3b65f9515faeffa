// Text searches of recognition: the byte-by-byte search through the buffered reader and
// the XML root elements looked for with it.
//
// The search is deliberately simple and bounded: it gives up at a byte that plain text
// never holds (0 to 8), past the first 9000 bytes and at the end of the file, so that
// identifying a large binary file costs a few kilobytes of reading at most.
#include <cstring>

#include "core/error.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "formats/recognise.h"

namespace {

constexpr int64_t kRootBuffer = 1024;

struct root_row {
  const char* text;
  int kind;
  int format;
};

constexpr root_row kRoots[] = {
    {"<gpx", 4, 30},
    {"<kml", 3, 38},
    {"<geonames", 3, 59},
    {"<TrainingCenterDatabase", 4, 61},
    {"<HistoryDatabase", 4, 61},
    {"<tmobjnative version", kFileKindXmlObjects, 75},
    {"<ROWSET>", kFileKindXmlObjects, 76},
    {"<osm", 3, 68},
    {"<Placemark", 3, 38},
    {"<GroundOverlay", 3, 38},
    {"<History", 4, 61},
};

int fold(int ch) { return ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch; }

}  // namespace

int file_find_text(const char* pattern, int case_sensitive) {
  const size_t n = std::strlen(pattern);
  if (n == 0 || !rd_current_file()) return 0;
  size_t matched = 0;
  while (rd_bytes_left() > 0) {
    int ch = rd_read_byte();
    if (ch >= 0 && ch <= 8) return 0;
    if (rd_tell() > kTextSearchLimit) return 0;
    if (!case_sensitive) ch = fold(ch);
    if (ch != static_cast<unsigned char>(pattern[matched])) {
      matched = 0;
      continue;
    }
    if (++matched == n) return rd_bytes_left() > 0 ? 1 : 0;
  }
  return 0;
}

int file_sniff_xml_root(obj_t* file, file_class* c) {
  if (rd_open(file, kRootBuffer, 1) != 0) return 0;
  for (const root_row& row : kRoots) {
    rd_seek(0, 0);
    if (!file_find_text(row.text, 1)) continue;
    c->kind = row.kind;
    c->format = row.format;
    return 1;
  }
  return 0;
}
