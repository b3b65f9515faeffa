// The module initialiser of the geodesy tables: reads the five tables in dependency
// order (ellipsoids, prime meridians, datums, transformations, projections), each
// followed by its name table.
//
// Every table is a list of lines of one pattern; one routine per table tests a line's
// values and creates its object through the class's creator. A line that fails the
// pattern is a malformed file (gblerr 14) and stops the whole load, what was created
// staying in place; a line whose values are out of range or name unknown codes is
// skipped and leaves no error behind.
#include "core/error.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/geodesy_tables_line.h"
#include "geodesy/geodesy_tables_state.h"
#include "geodesy/units.h"

namespace {

using line_fn = void (*)(const geo_line_fields& f);

struct table_spec {
  const char* file;
  const char* pattern;
  line_fn create;
  const char* names_file;
  int cls;
};

bool code_ok(int32_t code) { return code >= 0 && code <= kGeoMaxCode; }

// "code;name;a;1/f;b;linear unit"
void ellipsoid_line(const geo_line_fields& f) {
  if (!code_ok(f.ints[0]) || !length_unit_valid(f.ints[5])) return;
  ellipsoid_t* e = nullptr;
  ellipsoid_create(f.name, f.doubles[2], f.doubles[3], f.doubles[4], f.ints[5], f.ints[0], &e);
}

// "code;name;longitude;angular unit"
void pmeridian_line(const geo_line_fields& f) {
  if (!code_ok(f.ints[0]) || !angle_unit_valid(f.ints[3])) return;
  pmeridian_t* m = nullptr;
  pmeridian_create(f.name, f.doubles[2], f.ints[3], f.ints[0], &m);
}

// "code;name;ellipsoid;meridian;angular unit;ignored"
void datum_line(const geo_line_fields& f) {
  if (!code_ok(f.ints[0]) || !angle_unit_valid(f.ints[4])) return;
  ellipsoid_t* e = nullptr;
  pmeridian_t* m = nullptr;
  geo_find_by_code(CLS_ELLIPSOID, f.ints[2], &e);
  geo_find_by_code(CLS_PMERIDIAN, f.ints[3], &m);
  if (!e || !m) return;
  geodatum_t* d = nullptr;
  geodatum_create(f.name, e, f.ints[4], m, nullptr, f.ints[0], &d);
}

bool trans_type_ok(int type) {
  return type == DT_FILE_IDENTITY || type == DT_FILE_MERIDIAN || type == DT_FILE_THREE ||
         type == DT_FILE_SEVEN || type == DT_FILE_TEN;
}

// "code;from;to;type;ten parameters;linear unit;angular unit;scale flag;weight;0;0"
void geocentric_line(const geo_line_fields& f) {
  const int type = f.ints[3];
  const int linear = f.ints[14];
  const int angular = f.ints[15];
  if (!code_ok(f.ints[0]) || !trans_type_ok(type) || !length_unit_valid(linear)) return;
  if (type > DT_FILE_THREE && !angle_unit_valid(angular)) return;
  geodatum_t* from = nullptr;
  geodatum_t* to = nullptr;
  geo_find_by_code(CLS_GEODATUM, f.ints[1], &from);
  geo_find_by_code(CLS_GEODATUM, f.ints[2], &to);
  if (!from || !to) return;
  double params[10];
  for (int i = 0; i < 10; ++i) params[i] = f.doubles[4 + i];
  if (f.ints[16] == 2) params[6] *= 1e-6;  // scale given in parts per million
  geocentric_t* t = nullptr;
  datumtrans_create(from, to, type, params, linear, angular, f.ints[16], f.ints[17],
                    f.ints[0], &t);
}

// "code;name;datum;kind;lambda0;phi0;k0;x0;y0;p5;p6;p7;linear unit;angular unit;ignored"
void cartproj_line(const geo_line_fields& f) {
  const int kind = f.ints[3];
  if (!code_ok(f.ints[0]) || kind < 0 || kind > 47) return;
  if (!length_unit_valid(f.ints[12]) || !angle_unit_valid(f.ints[13])) return;
  geodatum_t* datum = nullptr;
  geo_find_by_code(CLS_GEODATUM, f.ints[2], &datum);
  if (!datum) return;
  double params[8];
  for (int i = 0; i < 8; ++i) params[i] = f.doubles[4 + i];
  cartproj_t* p = nullptr;
  proj_create(f.name, kind, params, f.ints[12], f.ints[13], datum, f.ints[0], &p);
}

constexpr table_spec kTables[] = {
    {"ellipsoi.txt", "dsfffd", ellipsoid_line, "ellipsil.txt", CLS_ELLIPSOID},
    {"pmeridian.txt", "dsfd", pmeridian_line, "pmeridil.txt", CLS_PMERIDIAN},
    {"datum.txt", "dsdddd", datum_line, "datumil.txt", CLS_GEODATUM},
    {"gcentric.txt", "ddddffffffffffdddddd", geocentric_line, "gcentril.txt", CLS_GEOCENTRIC},
    {"cartproj.txt", "dsddffffffffddd", cartproj_line, "cartpril.txt", CLS_CARTPROJ},
};

// Name fields of the main tables are at most 259 characters.
constexpr size_t kTableNameSize = 260;

int load_table(const table_spec& t) {
  auto handle = [](const geo_line_fields& f, void* ctx) {
    static_cast<const table_spec*>(ctx)->create(f);
  };
  return geo_read_table(t.file, t.pattern, kTableNameSize, handle,
                        const_cast<table_spec*>(&t));
}

}  // namespace

void geo_load_tables() {
  set_gblerr(0);
  geo_register_classes();
  if (get_gblerr() != 0) return;
  for (const table_spec& t : kTables) {
    if (load_table(t) != 0) return;
    if (geo_load_names(t.names_file, t.cls) != 0) return;
  }
}
