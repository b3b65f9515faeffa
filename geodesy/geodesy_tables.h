// The geodesy tables: registration of the geodetic classes, loading of the five tables
// and their name tables at start-up, the creators every reader of coordinate systems
// uses, and the lookups by code, by name in an outside vocabulary, and by parameters.
//
// Objects live in their class lists until the process ends; the creators keep the
// indexes up to date, so that an object made from a file and one read from the tables
// are found the same way. Errors go through gblerr: 2 for a table that cannot be opened,
// 14 for a malformed line (loading stops, what was loaded stays), 13 for an unsupported
// transformation type. Lookups that find nothing return null (or 0) and set no error.
//
// The module is split by subject: geodesy_tables.cpp (registration, indexes, lookups by
// code), geodesy_tables_load.cpp (the load order and one routine per table line),
// geodesy_tables_line.cpp (the field scan of a line), geodesy_tables_names.cpp (outside
// names), ellipsoid.cpp, pmeridian.cpp, datum.cpp, datumtrans.cpp (creators and lookups
// of each class).
#pragma once
#include "core/obj_list.h"
#include "geodesy/geodesy_records.h"

// ---- Loading ----------------------------------------------------------------------------
// The module initialiser: registers the classes and the name-entry class, then reads
// "ellipsoi.txt", "pmeridian.txt", "datum.txt", "gcentric.txt", "cartproj.txt", each
// followed by its name table. Result through gblerr only (0, 2 or 14).
void geo_load_tables();
// Registers classes 35 to 40 and 54 to 56 with their free routines, the step classes of
// the transformation module, and creates the indexes. Calling it again (tests, after a
// reset of the object store) starts from empty indexes.
void geo_register_classes();
// Reads one name table into name entries of the class (35 to 39). Returns gblerr's code
// (0, 2 or 14) and leaves it in gblerr.
int geo_load_names(const char* file_name, int cls);
// Frees every object of the classes above and the indexes, and forgets the reference
// datum: for tests that reset the object store, and for the end of a test program.
void geo_reset_tables();

// ---- Creators -----------------------------------------------------------------------------
// a and b are in the linear unit (outside 0..46: metres). Defined by 1/f when invf > 2e-14,
// else by b.
ellipsoid_t* ellipsoid_create(const char* name, double a, double invf, double b, int unit,
                              int code, ellipsoid_t** out);
// longitude east of Greenwich in the angular unit (outside 0..11: degrees).
pmeridian_t* pmeridian_create(const char* name, double longitude, int unit, int code,
                              pmeridian_t** out);
// The datum gets its code and is indexed only when both ellipsoid and meridian are given.
geodatum_t* geodatum_create(const char* name, ellipsoid_t* ellipsoid, int unit,
                            pmeridian_t* meridian, obj_t* area, int code, geodatum_t** out);
// file_type 0, 1, 3, 7 or 10 (as in "gcentric.txt"); params: tx, ty, tz, rx, ry, rz, scale,
// x0, y0, z0. Another type: gblerr 13 and null (nothing is created). The scale is a plain
// fraction here: the loader divides a value given in parts per million.
geocentric_t* datumtrans_create(geodatum_t* departure, geodatum_t* arrival, int file_type,
                                const double params[10], int linear_unit, int angular_unit,
                                int ignored, int weight, int code, geocentric_t** out);
// The inverse transformation, created once and kept in `inverse` (both records linked).
geocentric_t* datumtrans_inverse(geocentric_t* trans, geocentric_t** out);

// ---- Lookups ------------------------------------------------------------------------------
// The object of class 35..39 with the code, or null (also for any other class).
obj_t* geo_find_by_code(int cls, int code, obj_t** out);
// Highest code of the class + 1 (0 when the class has no object, or is not 35..39).
int geo_next_code(int cls, int* out);
// By outside name: the first entry of that class and scheme, then its code.
obj_t* geo_find_by_alias(int cls, int scheme, const char* name, obj_t** out);
// Iterator over the objects so named, in increasing id order: the object of smallest id
// above that of *in_out (the smallest of all when *in_out is null); null at the end.
obj_t* geo_find_by_alias_best(int cls, int scheme, const char* name, obj_t** in_out);
// The code behind a name (0 when none).
int geo_alias_code(int cls, int scheme, const char* name, int* code);
// The object's name in a scheme (null when none). The text belongs to the name entry.
const char* geo_alias_of(int cls, int scheme, int code, const char** name);

pmeridian_t* pmeridian_find_by_longitude(double longitude, int unit, pmeridian_t** out);
ellipsoid_t* ellipsoid_find_by_params(double a, double invf, ellipsoid_t** out);
// A datum on the ellipsoid and meridian whose transformation to the reference datum has
// the parameters (linear unit metres, rotations in seconds of arc), or null.
geodatum_t* datum_find_by_shift(ellipsoid_t* ellipsoid, pmeridian_t* meridian, int file_type,
                                const double params[10], geodatum_t** out);
// 1 when the transformation (or, with direction 1, its inverse) has the parameters,
// given in the units, within the tolerances of the tables.
int datumtrans_equal(geocentric_t* trans, const double params[10], int linear_unit,
                     int angular_unit, int direction);

// Iterators: start with *cursor null (and *direction 0); each call returns the next
// answer (also left in *cursor) or null at the end.
// Transformations joining d1 and d2: from d1 to d2 (direction 0), then from d2 to d1 (1).
geocentric_t* datumtrans_next_between(geodatum_t* d1, geodatum_t* d2, geocentric_t** cursor,
                                      int* direction);
// Transformations departing from the datum (direction 0), then arriving at it (1).
geocentric_t* datumtrans_next_of_datum(geodatum_t* datum, geocentric_t** cursor,
                                       int* direction);
// Projections of a datum.
cartproj_t* proj_next_of_datum(geodatum_t* datum, cartproj_t** cursor);

// The reference datum (code 214), kept after the tables are read.
void geo_init_ref_datum();
geodatum_t* geo_get_ref_datum(geodatum_t** out);

// Frees every object the list holds, then the list.
void geo_free_all(container_t** list);

// ---- Indexes kept by this module (for the projection and chain modules) -----------------
// The projection index by code, name and datum: the projection set-up enters a new
// projection in all three with geo_index_projection.
void geo_index_projection(cartproj_t* proj);

// ---- Free and copy routines of the named classes -------------------------------------------
void geo_free_name(obj_t* obj);
void geo_copy_name(const obj_t* src, obj_t* dst);

// ---- Routines of other geodesy modules the loader calls ------------------------------------
// Projection creation (projection module): parameters lambda0, phi0, k0, x0, y0, p5, p6, p7
// as in "cartproj.txt". Null when the kind has no set-up routine or the set-up fails.
cartproj_t* proj_create(const char* name, int kind, const double params[8], int linear_unit,
                        int angular_unit, geodatum_t* datum, int code, cartproj_t** out);
// Registration of the step classes 41 to 47 and 57 (transformation module).
void xform_register_classes();

// Typed forwarders.
template <class T> T* geo_find_by_code(int cls, int code, T** out) {
  obj_t* o = nullptr;
  geo_find_by_code(cls, code, &o);
  *out = static_cast<T*>(o);
  return *out;
}
template <class T> T* geo_find_by_alias(int cls, int scheme, const char* name, T** out) {
  obj_t* o = nullptr;
  geo_find_by_alias(cls, scheme, name, &o);
  *out = static_cast<T*>(o);
  return *out;
}
template <class T> T* geo_find_by_alias_best(int cls, int scheme, const char* name,
                                             T** in_out) {
  obj_t* o = *in_out;
  geo_find_by_alias_best(cls, scheme, name, &o);
  *in_out = static_cast<T*>(o);
  return *in_out;
}
