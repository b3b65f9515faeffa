// Records of the version-2 text syntax read against a field table: the presence line
// that says which rows a file's records carry, the records themselves, and the values of
// their rows; the waypoint made from a record of the waypoint table.
#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "formats/gpstext.h"
#include "formats/gpstext_internal.h"
#include "map/gps_classes.h"

namespace gpstext {

const field_type kWaypointTypes[kWaypointRows] = {
    kStringField, kRealField,   kRealField,   kStringField, kIntField,
    kIntField,    kIntField,    kIntField,    kIntField,    kIntField,
    kRealField,   kRealField,   kRealField,   kStringField, kIntField,
    kStringField, kStringField, kStringField, kStringField, kStringField};

namespace {

// Rows of the waypoint table the readers use.
constexpr int kRowName = 1, kRowX = 2, kRowY = 3, kRowComment = 4, kRowSymbol = 5;
constexpr int kRowDisplay = 7, kRowAltitude = 11;

void set_empty(record_fields* f, int k) {
  f->ints[k] = NULL_INT;
  f->reals[k] = NULL_DOUBLE;
  free_mem(&f->texts[k]);
}

int read_field(record_fields* f, int k) {
  switch (f->types[k]) {
    case kIntField: return tm_read_int_field(&f->ints[k]);
    case kRealField: return tm_read_real_field(&f->reals[k]);
    default: return tm_read_string_field(&f->texts[k]);
  }
}

}  // namespace

record_fields make_fields(const field_type* types, int rows) {
  record_fields f{};
  f.types = types;
  f.rows = rows;
  for (int k = 0; k < rows; ++k) set_empty(&f, k);
  return f;
}

void clear_fields(record_fields* f) {
  for (int k = 0; k < f->rows; ++k) free_mem(&f->texts[k]);
}

int read_presence(record_fields* f, const int* required) {
  for (int k = 0; k < f->rows; ++k) {
    int32_t flag = 0;
    if (tm_read_int_field(&flag) != 0) return ERR_BAD_FILE;
    f->present[k] = flag != 0 && flag != NULL_INT;
  }
  for (const int* r = required; *r; ++r)
    if (!f->present[*r - 1]) return ERR_BAD_FILE;
  return 0;
}

int read_record(record_fields* f) {
  for (int k = 0; k < f->rows; ++k) {
    set_empty(f, k);
    if (f->present[k] && read_field(f, k) != 0) return ERR_BAD_FILE;
  }
  return 0;
}

int32_t int_of(const record_fields& f, int row, int32_t fallback) {
  return f.ints[row - 1] == NULL_INT ? fallback : f.ints[row - 1];
}

double real_of(const record_fields& f, int row, double fallback) {
  return f.reals[row - 1] == NULL_DOUBLE ? fallback : f.reals[row - 1];
}

const char* text_of(const record_fields& f, int row) { return f.texts[row - 1]; }

bool given(const record_fields& f, int row) {
  switch (f.types[row - 1]) {
    case kIntField: return f.ints[row - 1] != NULL_INT;
    case kRealField: return f.reals[row - 1] != NULL_DOUBLE;
    default: return f.texts[row - 1] != nullptr;
  }
}

int waypoint_of(const record_fields& f, container_t* list, obj_t** out) {
  if (!given(f, kRowX) || !given(f, kRowY)) return ERR_BAD_FILE;
  waypoint_t* w = nullptr;
  waypoint_create(real_of(f, kRowX, 0.0), real_of(f, kRowY, 0.0), text_of(f, kRowName),
                  text_of(f, kRowComment), 0, int_of(f, kRowSymbol, 0), int_of(f, kRowDisplay, 0),
                  real_of(f, kRowAltitude, 0.0), list, &w);
  if (out) *out = w;
  return get_gblerr() == 0 ? 0 : get_gblerr();
}

}  // namespace gpstext
