// The reader table: one slot per format code, filled at start-up by the modules of the
// formats; an empty slot makes file_load answer 3 (a format without a reader).
#include "formats/file_load.h"

namespace {

format_reader g_readers[kFormatReaderSlots] = {};

bool in_range(int format) { return format >= 0 && format < kFormatReaderSlots; }

}  // namespace

void register_format_reader(int format, format_reader reader) {
  if (in_range(format)) g_readers[format] = reader;
}

format_reader format_reader_of(int format) { return in_range(format) ? g_readers[format] : nullptr; }

void format_readers_clear() {
  for (format_reader& r : g_readers) r = nullptr;
}
