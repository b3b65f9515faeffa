// MapInfo coordinate system clauses: what the numbers of a CoordSys clause mean to the
// system, in both directions.
//
// A clause names a projection type (1 longitude/latitude, 2 to 31 projected), a datum (a
// MapInfo datum number, or 999 / 9999 followed by an ellipsoid number and the shift to
// WGS 84), a unit, and the projection's parameters in a fixed order per type. Datum and
// ellipsoid numbers are the scheme-2 names of the geodesy tables.
//
// The module is split by subject: mapinfo_types.cpp (type <-> kind tables, one setter
// and one formatter per group of types), mapinfo_proj.cpp (building a projection from a
// clause and finding an equal existing one), mapinfo_datum.cpp (the datum part, read and
// written), mapinfo_clause.cpp (reading and writing a whole clause text, bounded by its
// length), mapinfo_styles.cpp (MapInfo numbers of the system's drawing styles).
//
// Units. Inside the system angles are radians and lengths metres; a clause gives angles
// in degrees and lengths (false easting and northing) in the clause's linear unit. The
// setters convert on the way in and the formatters on the way out, so a projection read
// from a clause in feet and written back gives the same text. Custom datums write their
// rotations in seconds of arc, their scale in parts per million and their prime meridian
// in degrees: the units the reading side takes them in. Their rotations are in the
// coordinate-frame sense, as MapInfo gives them; the tables hold the position-vector
// sense, and the datum part turns the signs both ways.
//
// Errors: a clause that cannot be read (unknown type, datum, ellipsoid or unit, too few
// or too many values, a value that is not a finite number, text beyond the clause) and a
// projection whose kind cannot be set up set gblerr 13 ("Geographic error").
#pragma once
#include <cstddef>

#include "geodesy/geodesy_records.h"

// Projection types 0 to 31; anything else has no parameter count.
constexpr int kMifTypeCount = 32;
constexpr int kMifMaxParams = 6;  // the most parameters a type has
constexpr int kMifGeographic = 1;
// The custom datum numbers: three translations (999) or seven parameters and a prime
// meridian (9999).
constexpr int kMifDatumThree = 999;
constexpr int kMifDatumSeven = 9999;
// Buffer sizes that always hold what the writers produce.
constexpr size_t kMifParamTextSize = 160;
constexpr size_t kMifDatumTextSize = 192;
constexpr size_t kMifClauseTextSize = 400;

// ---- Types and kinds ---------------------------------------------------------------------
// 1 for type 1 (longitude and latitude, no projection).
int mif_kind_is_geographic(int type);
// Number of CoordSys parameters of the type; -1 for type 0 and any type outside 0..31.
int mif_proj_param_count(int type);
// The projection kind a type is read into; -1 for types 0, 1 and outside 2..31.
int mif_kind_of_type(int type);
// The type a projection is written as: 1 for null, -1 when it has no MapInfo form (its
// kind has none, or its parameters do not fit the type, e.g. a Mercator with a false
// origin).
int mif_type_of_proj(const cartproj_t* proj);

// ---- Projections -------------------------------------------------------------------------
// A projection record of the type's kind on the datum, filled from the type's
// mif_proj_param_count(type) parameters (degrees, and lengths in the linear unit, which
// becomes the projection's unit; outside 0..46: metres). The ellipsoid serves the
// parameters computed from others (the scale of a two-parallel Lambert conic, of a
// regional Mercator); null takes the datum's. Not set up, not indexed: its extra angles
// (coeff1..coeff3) are still degrees. Null with gblerr 13 for a type without kind.
cartproj_t* mif_proj_new(int type, const ellipsoid_t* ellipsoid, geodatum_t* datum,
                         const double* params, int linear_unit, cartproj_t** out);
// The projection of a clause: an equal one already on the datum (same linear unit), or a
// new one named "<datum> / Mapinfo custom projection", coded and set up. count is the
// number of values in params; it must be the type's count. Null with gblerr 13 when the
// type, the count, a value or the datum is bad, or when the kind cannot be set up.
cartproj_t* name_mif_custom_projection(int type, geodatum_t* datum, int linear_unit, int count,
                                       const double* params, cartproj_t** out);
// Equality of Lambert conics as read from clauses. `existing` is set up; `candidate`
// may be fresh from mif_proj_new (extra angles in degrees). Two-parallel cones agree by
// origin and parallels (in either order), a one-parallel cone and a two-parallel one by
// origin and scale; both are then given kind 9 and the answer is 1.
int mif_lcc_equal(cartproj_t* existing, cartproj_t* candidate);

// The parameter text of the projection's type, separated by single blanks, lengths in
// the projection's own unit ("" when it has no MapInfo form). Returns text.
char* mif_format_params(const cartproj_t* proj, char* text, size_t size);
// The same with lengths in a given linear unit (the unit the clause names).
char* mif_format_params_in(const cartproj_t* proj, int linear_unit, char* text, size_t size);

// ---- Datums ------------------------------------------------------------------------------
// The datum part: the datum's MapInfo number, or 999 / 9999 with the ellipsoid number and
// the shift of the datum path to WGS 84. 1 when written, 0 when the datum cannot be
// expressed (text ""): the writer then writes a non-earth system.
int mif_datum_text(geodatum_t* datum, char* text, size_t size);
// The datum of a 999 (file type 3) or 9999 (file type 7) clause: params are tx, ty, tz
// (metres), rx, ry, rz (seconds of arc, coordinate-frame sense, as the clause gives
// them), the scale as a fraction, then three zeros.
// An existing datum with that shift to WGS 84, or a new "Mapinfo custom datum" with its
// transformation. Null with gblerr 13 without ellipsoid or meridian.
geodatum_t* mapinfo_custom_datum(ellipsoid_t* ellipsoid, pmeridian_t* meridian, int file_type,
                                 const double params[10], geodatum_t** out);

// ---- Whole clauses -----------------------------------------------------------------------
// What a clause describes.
struct mif_coordsys {
  int earth;               // 1 Earth, 0 NonEarth
  int type;                // projection type (modulo 1000); 0 for NonEarth
  geodatum_t* datum;       // null for NonEarth
  cartproj_t* projection;  // null for type 1 and NonEarth
  int unit;                // linear unit (projected, NonEarth); angular unit 1 (type 1)
};
// Reads one clause of `length` bytes (no NUL needed, nothing past it is read):
//   [CoordSys] Earth [Projection] type, datum [, ellipsoid, shift...] [, "unit", params...]
//     [Bounds (x1, y1) (x2, y2)]
//   [CoordSys] NonEarth [Units] "unit" [Bounds (x1, y1) (x2, y2)]
// Keywords in any case; commas and white space separate. Custom datums take their
// rotations in seconds of arc, their scale in parts per million and their prime
// meridian in degrees (found, or made as "Custom meridian"). Returns 0, or 13 (also in
// gblerr) with *out cleared; objects found or made before the fault stay in the tables.
int mif_coordsys_read(const char* text, size_t length, mif_coordsys* out);
// Writes the clause of a system: "Earth Projection 1, <datum>" (no projection),
// "Earth Projection <type>, <datum>, \"<unit>\", <params>" (projected; lengths in the
// given linear unit), else "NonEarth Units \"<unit>\"". Returns 1 for an Earth clause,
// 0 for NonEarth, -1 with gblerr 13 and "" when the unit has no MapInfo name.
int mif_coordsys_write(geodatum_t* datum, const cartproj_t* proj, int linear_unit, char* text,
                       size_t size);
// MapInfo unit names: the linear unit of a name (-1 when unknown) and the name of a unit
// (null when it has none).
int mif_unit_of_name(const char* name, size_t length);
const char* mif_unit_name(int linear_unit);

// ---- Drawing styles ----------------------------------------------------------------------
// MapInfo numbers of the system's point shapes (0..5), line patterns and fill patterns
// (0..15); -1 beyond the tables.
int mif_symbol_shape(int index);
int mif_pen_pattern(int index);
int mif_brush_pattern(int index);
