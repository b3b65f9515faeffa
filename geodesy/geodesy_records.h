// The records of the geodetic objects: ellipsoids, prime meridians, datums, datum
// transformations, projections, their outside names, and three small owned-name classes.
//
// Every record is an object of the object store (id and class first), packed, with its
// attributes at the offsets its class descriptor gives (pointers are 8 bytes in this
// build). The descriptors are declared here beside the structs and each struct is
// checked against its descriptor at compile time, so that generic attribute code and
// the code that reaches fields by name agree. Angles are radians and lengths metres;
// the unit a value was given in is kept beside it as a unit index (units.h).
//
// The tables module (geodesy_tables.h) registers the classes, creates the objects and
// keeps the indexes; the projection module fills the derived fields of `cartproj`.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/obj_layout.h"
#include "core/object.h"

// ---- Class ids ----------------------------------------------------------------------
constexpr int CLS_ELLIPSOID = 35;
constexpr int CLS_GEOCENTRIC = 36;  // a datum transformation
constexpr int CLS_GEODATUM = 37;
constexpr int CLS_CARTPROJ = 38;
constexpr int CLS_PMERIDIAN = 39;
constexpr int CLS_GEO_NAME = 40;    // an outside name of one of the classes 35 to 39
constexpr int CLS_GEO_OWNED_54 = 54;
constexpr int CLS_GEO_OWNED_55 = 55;
constexpr int CLS_GEO_OWNED_56 = 56;

// First and last class that geo_find_by_code and the name tables accept.
constexpr int kGeoFirstClass = CLS_ELLIPSOID;
constexpr int kGeoLastClass = CLS_PMERIDIAN;

// Largest code a table line may give: lines with a negative or larger code are skipped
// on loading, so that tables indexed by code (the datum path search sizes its arrays by
// geo_next_code) stay small. Codes made at run time follow the highest code of a class;
// code that indexes an array by a code still checks it against the array's size.
constexpr int kGeoMaxCode = 999999;

// The reference datum: GPS positions belong to it and datums are joined through it.
constexpr int kRefDatumCode = 214;

// Naming schemes of the name tables (outside vocabularies).
enum geo_scheme : int {
  GEO_SCHEME_EPSG = 1,      // EPSG code written as decimal text
  GEO_SCHEME_MAPINFO = 2,   // MapInfo number written as decimal text
  GEO_SCHEME_ECW = 3,       // ECW projection and datum names
  GEO_SCHEME_NMEA = 4,      // NMEA and receiver datum names
  GEO_SCHEME_GTM = 5,       // GPS TrackMaker names
  GEO_SCHEME_OZI = 6,       // OziExplorer names
  GEO_SCHEME_NMEA_DTM = 7,  // NMEA DTM local datum codes
  GEO_SCHEME_POLISH = 8,    // datum names of the Polish map format
};

// File types of "gcentric.txt" (datumtrans_create) and the transform kinds they become.
enum datumtrans_file_type : int {
  DT_FILE_IDENTITY = 0,
  DT_FILE_MERIDIAN = 1,
  DT_FILE_THREE = 3,
  DT_FILE_SEVEN = 7,
  DT_FILE_TEN = 10,
};
enum geo_trsf_kind : int {
  TRSF_IDENTITY = 0,
  TRSF_MERIDIAN_SHIFT = 7,
  TRSF_SHIFT3 = 8,
  TRSF_SHIFT7 = 9,
  TRSF_SHIFT10 = 10,
};

struct ellipsoid_t;
struct pmeridian_t;
struct geodatum_t;
struct geocentric_t;
struct cartproj_t;

#pragma pack(push, 1)
// Class 35.
struct ellipsoid_t : obj_t {
  int32_t code;  // unique within the class
  char* name;    // owned
  double a;      // semi-major axis, metres
  double invf;   // 1/f; 0 when defined by b
  double b;      // semi-minor axis, metres; 0 when defined by 1/f
  double e2;     // first eccentricity squared
};

// Class 39.
struct pmeridian_t : obj_t {
  int32_t code;
  char* name;         // owned
  double glongitude;  // east of Greenwich, radians
  int32_t unit;       // angular unit the longitude was given in
};

// Class 37.
struct geodatum_t : obj_t {
  int32_t code;
  char* name;               // owned
  int32_t unit;             // angular unit of geographic coordinates on the datum
  ellipsoid_t* ellip;
  pmeridian_t* meridian0;
  obj_t* area;              // null as created
  double origlon;           // longitude of the prime meridian, radians
  ellipsoid_t* ell;         // the same ellipsoid; the geodetic routines read this one
};

// Class 36: a datum transformation.
struct geocentric_t : obj_t {
  int32_t code;
  char* name;              // owned; the tables give none
  int32_t unit;            // linear unit (meridian shift: departure angular unit)
  int32_t unit2;           // angular unit of rotations (meridian shift: arrival unit)
  int32_t trsftype;        // transform kind: 0, 7, 8, 9 or 10
  geodatum_t* datumd;      // departure datum
  geodatum_t* datuma;      // arrival datum
  int32_t weight;          // cost in the datum path search
  double tx, ty, tz;       // metres (meridian shift: longitude difference in tx, radians)
  double epsilonx, epsilony, epsilonz;  // rotations, radians
  double de;               // scale correction, plain fraction
  double x0, y0, z0;       // rotation centre, metres
  geocentric_t* inverse;   // created on demand; the two records point at each other
  obj_t* area;
};

// Class 38: a projection (fields filled by the projection module).
struct cartproj_t : obj_t {
  int32_t code;
  char* name;            // owned
  int32_t unit;          // linear unit of projected coordinates
  int32_t projtype;      // projection kind 0 to 47
  int32_t trsftype;      // transform kind of the forward projection
  geodatum_t* datum;
  double lambda0, phio0; // radians
  double x0, y0;         // metres
  double k0;
  obj_t* area;
  double e;              // first eccentricity (Transverse Mercator: second, squared)
  double n, r0, c;
  double coeff0, coeff1, coeff2, coeff3;  // coeff1..3 first hold p5, p6, p7
  geodatum_t* geodatum;  // the same datum
};

// Class 40: one name of an object of class 35 to 39 in one naming scheme. No descriptor.
struct geo_name_t : obj_t {
  int32_t obj_class;  // class of the object named
  int32_t scheme;     // naming scheme
  int32_t code;       // code of the object named
  char* name;         // owned
};

// Classes 54 to 56: small records whose fourth field is an owned name. No descriptor.
struct geo_owned_name_t : obj_t {
  int32_t w3;
  char* name;
  int32_t w5;
  int32_t w6;
};
#pragma pack(pop)

// ---- Descriptors ----------------------------------------------------------------------
inline constexpr attr_desc kEllipsoidAttrs[] = {
    {"id", AT_ID},       {"type", AT_INT},     {"code", AT_INT}, {"name", AT_STRING},
    {"a", AT_DOUBLE},    {"invf", AT_DOUBLE},  {"b", AT_DOUBLE}, {"e2", AT_DOUBLE}};
inline constexpr int kEllipsoidAttrCount = 8;

inline constexpr attr_desc kPmeridianAttrs[] = {
    {"id", AT_ID},     {"type", AT_INT},          {"code", AT_INT},
    {"name", AT_STRING}, {"glongitude", AT_DOUBLE}, {"unit", AT_INT}};
inline constexpr int kPmeridianAttrCount = 6;

inline constexpr attr_desc kGeodatumAttrs[] = {
    {"id", AT_ID},         {"type", AT_INT},     {"code", AT_INT},  {"name", AT_STRING},
    {"unit", AT_INT},      {"ellip", AT_REF},    {"meridian0", AT_REF},
    {"area", AT_REF},      {"origlon", AT_DOUBLE}, {"ell", AT_REF}};
inline constexpr int kGeodatumAttrCount = 10;

// The descriptor lists every field of the record, `weight` included, so that generic
// attribute code finds the translations where the record holds them.
inline constexpr attr_desc kGeocentricAttrs[] = {
    {"id", AT_ID},           {"type", AT_INT},        {"code", AT_INT},
    {"name", AT_STRING},     {"unit", AT_INT},        {"unit2", AT_INT},
    {"trsftype", AT_INT},    {"datumd", AT_REF},      {"datuma", AT_REF},
    {"weight", AT_INT},      {"tx", AT_DOUBLE},       {"ty", AT_DOUBLE},
    {"tz", AT_DOUBLE},       {"epsilonx", AT_DOUBLE}, {"epsilony", AT_DOUBLE},
    {"epsilonz", AT_DOUBLE}, {"de", AT_DOUBLE},       {"x0", AT_DOUBLE},
    {"y0", AT_DOUBLE},       {"z0", AT_DOUBLE},       {"inverse", AT_REF},
    {"area", AT_REF}};
inline constexpr int kGeocentricAttrCount = 22;

inline constexpr attr_desc kCartprojAttrs[] = {
    {"id", AT_ID},          {"type", AT_INT},       {"code", AT_INT},
    {"name", AT_STRING},    {"unit", AT_INT},       {"projtype", AT_INT},
    {"trsftype", AT_INT},   {"datum", AT_REF},      {"lambda0", AT_DOUBLE},
    {"phio0", AT_DOUBLE},   {"x0", AT_DOUBLE},      {"y0", AT_DOUBLE},
    {"k0", AT_DOUBLE},      {"area", AT_REF},       {"e", AT_DOUBLE},
    {"n", AT_DOUBLE},       {"r0", AT_DOUBLE},      {"c", AT_DOUBLE},
    {"coeff0", AT_DOUBLE},  {"coeff1", AT_DOUBLE},  {"coeff2", AT_DOUBLE},
    {"coeff3", AT_DOUBLE},  {"geodatum", AT_REF}};
inline constexpr int kCartprojAttrCount = 23;

extern const objdesc ellipsoid_desc;
extern const objdesc pmeridian_desc;
extern const objdesc geodatum_desc;
extern const objdesc geocentric_desc;
extern const objdesc cartproj_desc;

// ---- Layout checks --------------------------------------------------------------------
#define TM_GEO_FIELD_AT(rec, field, attrs, i) \
  static_assert(offsetof(rec, field) == attr_offset_in(attrs, i), #rec "." #field)

TM_GEO_FIELD_AT(ellipsoid_t, code, kEllipsoidAttrs, 2);
TM_GEO_FIELD_AT(ellipsoid_t, name, kEllipsoidAttrs, 3);
TM_GEO_FIELD_AT(ellipsoid_t, a, kEllipsoidAttrs, 4);
TM_GEO_FIELD_AT(ellipsoid_t, invf, kEllipsoidAttrs, 5);
TM_GEO_FIELD_AT(ellipsoid_t, b, kEllipsoidAttrs, 6);
TM_GEO_FIELD_AT(ellipsoid_t, e2, kEllipsoidAttrs, 7);
static_assert(sizeof(ellipsoid_t) == attr_layout_size(kEllipsoidAttrs, kEllipsoidAttrCount));

TM_GEO_FIELD_AT(pmeridian_t, code, kPmeridianAttrs, 2);
TM_GEO_FIELD_AT(pmeridian_t, name, kPmeridianAttrs, 3);
TM_GEO_FIELD_AT(pmeridian_t, glongitude, kPmeridianAttrs, 4);
TM_GEO_FIELD_AT(pmeridian_t, unit, kPmeridianAttrs, 5);
static_assert(sizeof(pmeridian_t) == attr_layout_size(kPmeridianAttrs, kPmeridianAttrCount));

TM_GEO_FIELD_AT(geodatum_t, code, kGeodatumAttrs, 2);
TM_GEO_FIELD_AT(geodatum_t, name, kGeodatumAttrs, 3);
TM_GEO_FIELD_AT(geodatum_t, unit, kGeodatumAttrs, 4);
TM_GEO_FIELD_AT(geodatum_t, ellip, kGeodatumAttrs, 5);
TM_GEO_FIELD_AT(geodatum_t, meridian0, kGeodatumAttrs, 6);
TM_GEO_FIELD_AT(geodatum_t, area, kGeodatumAttrs, 7);
TM_GEO_FIELD_AT(geodatum_t, origlon, kGeodatumAttrs, 8);
TM_GEO_FIELD_AT(geodatum_t, ell, kGeodatumAttrs, 9);
static_assert(sizeof(geodatum_t) == attr_layout_size(kGeodatumAttrs, kGeodatumAttrCount));

TM_GEO_FIELD_AT(geocentric_t, code, kGeocentricAttrs, 2);
TM_GEO_FIELD_AT(geocentric_t, name, kGeocentricAttrs, 3);
TM_GEO_FIELD_AT(geocentric_t, unit, kGeocentricAttrs, 4);
TM_GEO_FIELD_AT(geocentric_t, unit2, kGeocentricAttrs, 5);
TM_GEO_FIELD_AT(geocentric_t, trsftype, kGeocentricAttrs, 6);
TM_GEO_FIELD_AT(geocentric_t, datumd, kGeocentricAttrs, 7);
TM_GEO_FIELD_AT(geocentric_t, datuma, kGeocentricAttrs, 8);
TM_GEO_FIELD_AT(geocentric_t, weight, kGeocentricAttrs, 9);
TM_GEO_FIELD_AT(geocentric_t, tx, kGeocentricAttrs, 10);
TM_GEO_FIELD_AT(geocentric_t, epsilonx, kGeocentricAttrs, 13);
TM_GEO_FIELD_AT(geocentric_t, de, kGeocentricAttrs, 16);
TM_GEO_FIELD_AT(geocentric_t, x0, kGeocentricAttrs, 17);
TM_GEO_FIELD_AT(geocentric_t, z0, kGeocentricAttrs, 19);
TM_GEO_FIELD_AT(geocentric_t, inverse, kGeocentricAttrs, 20);
TM_GEO_FIELD_AT(geocentric_t, area, kGeocentricAttrs, 21);
static_assert(sizeof(geocentric_t) == attr_layout_size(kGeocentricAttrs, kGeocentricAttrCount));

TM_GEO_FIELD_AT(cartproj_t, code, kCartprojAttrs, 2);
TM_GEO_FIELD_AT(cartproj_t, name, kCartprojAttrs, 3);
TM_GEO_FIELD_AT(cartproj_t, unit, kCartprojAttrs, 4);
TM_GEO_FIELD_AT(cartproj_t, projtype, kCartprojAttrs, 5);
TM_GEO_FIELD_AT(cartproj_t, trsftype, kCartprojAttrs, 6);
TM_GEO_FIELD_AT(cartproj_t, datum, kCartprojAttrs, 7);
TM_GEO_FIELD_AT(cartproj_t, lambda0, kCartprojAttrs, 8);
TM_GEO_FIELD_AT(cartproj_t, phio0, kCartprojAttrs, 9);
TM_GEO_FIELD_AT(cartproj_t, x0, kCartprojAttrs, 10);
TM_GEO_FIELD_AT(cartproj_t, y0, kCartprojAttrs, 11);
TM_GEO_FIELD_AT(cartproj_t, k0, kCartprojAttrs, 12);
TM_GEO_FIELD_AT(cartproj_t, area, kCartprojAttrs, 13);
TM_GEO_FIELD_AT(cartproj_t, e, kCartprojAttrs, 14);
TM_GEO_FIELD_AT(cartproj_t, n, kCartprojAttrs, 15);
TM_GEO_FIELD_AT(cartproj_t, r0, kCartprojAttrs, 16);
TM_GEO_FIELD_AT(cartproj_t, c, kCartprojAttrs, 17);
TM_GEO_FIELD_AT(cartproj_t, coeff0, kCartprojAttrs, 18);
TM_GEO_FIELD_AT(cartproj_t, coeff3, kCartprojAttrs, 21);
TM_GEO_FIELD_AT(cartproj_t, geodatum, kCartprojAttrs, 22);
static_assert(sizeof(cartproj_t) == attr_layout_size(kCartprojAttrs, kCartprojAttrCount));

#undef TM_GEO_FIELD_AT

// The records without descriptor: the name of the owned string is the fourth field.
static_assert(offsetof(geo_name_t, name) == 20 && sizeof(geo_name_t) == 28);
static_assert(offsetof(geo_owned_name_t, name) == 12 && sizeof(geo_owned_name_t) == 28);
