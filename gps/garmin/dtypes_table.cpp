// The wire layouts of the Garmin D-types (offsets little-endian, positions in signed
// 32-bit semicircles) and the descriptor table that reaches them.
#include <iterator>

#include "gps/garmin/dtypes_internal.h"

namespace {

constexpr garmin_field C(uint16_t off, uint8_t width, uint8_t slot) { return {GK_CHARS, off, width, slot}; }
constexpr garmin_field B(uint16_t off, uint8_t width, uint8_t slot) { return {GK_BYTES, off, width, slot}; }
constexpr garmin_field N(garmin_field_kind k, uint16_t off, uint8_t slot) { return {k, off, 0, slot}; }
constexpr garmin_field S(uint8_t slot) { return {GK_STRING, 0, 0, slot}; }
constexpr garmin_field END{GK_END, 0, 0, 0};

#define D100_HEAD C(0, 6, GT_IDENT), N(GK_I32, 6, GN_LAT), N(GK_I32, 10, GN_LON), C(18, 40, GT_CMNT)
constexpr garmin_field kD100[] = {D100_HEAD, END};
constexpr garmin_field kD101[] = {D100_HEAD, N(GK_F32, 58, GF_DIST), N(GK_U8, 62, GN_SMBL), END};
constexpr garmin_field kD102[] = {D100_HEAD, N(GK_F32, 58, GF_DIST), N(GK_U16, 62, GN_SMBL), END};
constexpr garmin_field kD103[] = {D100_HEAD, N(GK_U8, 58, GN_SMBL), N(GK_U8, 59, GN_DSPL), END};
constexpr garmin_field kD104[] = {D100_HEAD, N(GK_F32, 58, GF_DIST), N(GK_U16, 62, GN_SMBL),
                                  N(GK_U8, 64, GN_DSPL), END};
constexpr garmin_field kD105[] = {N(GK_I32, 0, GN_LAT), N(GK_I32, 4, GN_LON), N(GK_U16, 8, GN_SMBL),
                                  S(GT_IDENT), END};
constexpr garmin_field kD106[] = {N(GK_U8, 0, GN_CLASS), B(1, 13, GT_SUBCLASS), N(GK_I32, 14, GN_LAT),
                                  N(GK_I32, 18, GN_LON), N(GK_U16, 22, GN_SMBL), S(GT_IDENT),
                                  S(GT_LNK_IDENT), END};
constexpr garmin_field kD107[] = {D100_HEAD, N(GK_U8, 58, GN_SMBL), N(GK_U8, 59, GN_DSPL),
                                  N(GK_F32, 60, GF_DIST), N(GK_U8, 64, GN_COLOUR), END};
#define D108_TAIL                                                                              \
  B(6, 18, GT_SUBCLASS), N(GK_I32, 24, GN_LAT), N(GK_I32, 28, GN_LON), N(GK_F32, 32, GF_ALT),    \
      N(GK_F32, 36, GF_DPTH), N(GK_F32, 40, GF_DIST), C(44, 2, GT_STATE), C(46, 2, GT_CC)
#define WPT_STRINGS S(GT_IDENT), S(GT_CMNT), S(GT_FACILITY), S(GT_CITY)
constexpr garmin_field kD108[] = {N(GK_U8, 0, GN_CLASS), N(GK_U8, 1, GN_COLOUR), N(GK_U8, 2, GN_DSPL),
                                  N(GK_U16, 4, GN_SMBL), D108_TAIL, WPT_STRINGS, END};
#define D109_HEAD \
  N(GK_U8, 0, GN_DTYP), N(GK_U8, 1, GN_CLASS), N(GK_U8, 2, GN_DSPL), N(GK_U16, 4, GN_SMBL), D108_TAIL
constexpr garmin_field kD109[] = {D109_HEAD, {GK_SKIP, 48, 4, 0}, WPT_STRINGS, END};
constexpr garmin_field kD110[] = {D109_HEAD, {GK_SKIP, 48, 4, 0}, N(GK_F32, 52, GF_TEMP),
                                  N(GK_U32, 56, GN_TIME), N(GK_U16, 60, GN_WPT_CAT), WPT_STRINGS, END};
constexpr garmin_field kD150[] = {C(0, 6, GT_IDENT), C(6, 2, GT_CC), N(GK_U8, 8, GN_CLASS),
                                  N(GK_I32, 9, GN_LAT), N(GK_I32, 13, GN_LON), N(GK_I16, 17, GN_ALT_I16),
                                  C(19, 24, GT_CITY), C(43, 2, GT_STATE), C(45, 30, GT_NAME),
                                  C(75, 40, GT_CMNT), END};
#define D151_BODY                                                                             \
  D100_HEAD, N(GK_F32, 58, GF_DIST), C(62, 30, GT_NAME), C(92, 24, GT_CITY), C(116, 2, GT_STATE), \
      N(GK_I16, 118, GN_ALT_I16), C(120, 2, GT_CC), N(GK_U8, 123, GN_CLASS)
constexpr garmin_field kD151[] = {D151_BODY, END};
constexpr garmin_field kD154[] = {D151_BODY, N(GK_U16, 124, GN_SMBL), END};
constexpr garmin_field kD155[] = {D151_BODY, N(GK_U16, 124, GN_SMBL), N(GK_U8, 126, GN_DSPL), END};

constexpr garmin_field kD200[] = {N(GK_U8, 0, GN_NMBR), END};
constexpr garmin_field kD201[] = {N(GK_U8, 0, GN_NMBR), C(1, 20, GT_CMNT), END};
constexpr garmin_field kD202[] = {S(GT_IDENT), END};
constexpr garmin_field kD210[] = {N(GK_U16, 0, GN_CLASS), B(2, 18, GT_SUBCLASS), S(GT_IDENT), END};

constexpr garmin_field kD300[] = {N(GK_I32, 0, GN_LAT), N(GK_I32, 4, GN_LON), N(GK_U32, 8, GN_TIME),
                                  N(GK_U8, 12, GN_NEW_TRK), END};
#define D301_HEAD \
  N(GK_I32, 0, GN_LAT), N(GK_I32, 4, GN_LON), N(GK_U32, 8, GN_TIME), N(GK_F32, 12, GF_ALT)
constexpr garmin_field kD301[] = {D301_HEAD, N(GK_F32, 16, GF_DPTH), N(GK_U8, 20, GN_NEW_TRK), END};
constexpr garmin_field kD302[] = {D301_HEAD, N(GK_F32, 16, GF_DPTH), N(GK_F32, 20, GF_TEMP),
                                  N(GK_U8, 24, GN_NEW_TRK), END};
constexpr garmin_field kD303[] = {D301_HEAD, N(GK_U8, 16, GN_HEART), END};
constexpr garmin_field kD304[] = {D301_HEAD, N(GK_F32, 16, GF_DIST), N(GK_U8, 20, GN_HEART),
                                  N(GK_U8, 21, GN_CADENCE), N(GK_U8, 22, GN_SENSOR), END};
constexpr garmin_field kD310[] = {N(GK_U8, 0, GN_DSPL), N(GK_U8, 1, GN_COLOUR), S(GT_IDENT), END};
constexpr garmin_field kD311[] = {N(GK_U16, 0, GN_INDEX), END};

// Bytes before the variable strings: the end of the last fixed field, or the offset
// where the strings start.
template <size_t K> constexpr size_t fixed_of(const garmin_field (&f)[K]) {
  size_t end = 0;
  for (size_t i = 0; i < K; ++i) {
    size_t w = f[i].kind == GK_I32 || f[i].kind == GK_U32 || f[i].kind == GK_F32 ? 4
               : f[i].kind == GK_U16 || f[i].kind == GK_I16                   ? 2
               : f[i].kind == GK_U8                                           ? 1
               : f[i].kind >= GK_CHARS && f[i].kind != GK_STRING              ? f[i].width
                                                                              : 0;
    if (w && f[i].offset + w > end) end = f[i].offset + w;
  }
  return end;
}

constexpr size_t kRec = sizeof(garmin_record);

template <int N> int count_valid(int count, const uint8_t* records);
template <int N> void print_records(FILE* f, int count, const uint8_t** cursor);
template <int N> void print_record(FILE* f, int count, const uint8_t** cursor);
template <int N> void print_flags(FILE* f);

#define WPT(n) {n, "D" #n, GARMIN_WAYPOINT, kRec, fixed_of(kD##n), kD##n, garmin_unpack, \
                print_records<n>, nullptr, print_flags<n>, nullptr}
#define WPT_AS(n, m) {n, "D" #n, GARMIN_WAYPOINT, kRec, fixed_of(kD##m), kD##m, garmin_unpack, \
                      print_records<n>, nullptr, print_flags<n>, nullptr}
#define TRK(n, cv) {n, "D" #n, GARMIN_TRACK_POINT, kRec, fixed_of(kD##n), kD##n, garmin_unpack, \
                    print_records<n>, nullptr, print_flags<n>, cv}
#define HDR(n, m, fam) {n, "D" #n, fam, kRec, fixed_of(kD##m), kD##m, garmin_unpack, \
                        nullptr, print_record<n>, print_flags<n>, nullptr}
#define ALM(n) {n, "D" #n, GARMIN_ALMANAC, kRec, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}

const garmin_dtype kTable[] = {
    WPT(100), WPT(101), WPT(102), WPT(103), WPT(104), WPT(105), WPT(106), WPT(107), WPT(108),
    WPT(109), WPT(110), WPT(150), WPT(151), WPT_AS(152, 151), WPT(154), WPT(155),
    HDR(200, 200, GARMIN_ROUTE_HEADER), HDR(201, 201, GARMIN_ROUTE_HEADER),
    HDR(202, 202, GARMIN_ROUTE_HEADER),
    {210, "D210", GARMIN_ROUTE_LINK, kRec, fixed_of(kD210), kD210, garmin_unpack, nullptr, nullptr,
     nullptr, nullptr},
    TRK(300, nullptr), TRK(301, nullptr), TRK(302, nullptr), TRK(303, count_valid<303>),
    TRK(304, count_valid<304>),
    HDR(310, 310, GARMIN_TRACK_HEADER), HDR(311, 311, GARMIN_TRACK_HEADER),
    HDR(312, 310, GARMIN_TRACK_HEADER),
    ALM(500), ALM(501), ALM(550), ALM(551)};

template <int N> const garmin_layout* layout() {
  static const garmin_layout* lay = garmin_layout_find(N);
  return lay;
}

const garmin_record* at(const uint8_t* p) { return reinterpret_cast<const garmin_record*>(p); }

template <int N> int count_valid(int count, const uint8_t* records) {
  const size_t stride = garmin_dtype_stride(garmin_dtype_find(N));
  int valid = 0;
  for (int i = 0; i < count; ++i, records += stride)
    if (!garmin_point_invalid(at(records))) ++valid;
  return valid;
}

template <int N> void print_records(FILE* f, int count, const uint8_t** cursor) {
  const size_t stride = garmin_dtype_stride(garmin_dtype_find(N));
  bool skipped = true;  // the first written point starts a segment
  for (int i = 0; i < count; ++i, *cursor += stride) {
    const garmin_record* rec = at(*cursor);
    if ((N == 303 || N == 304) && garmin_point_invalid(rec)) {
      skipped = true;
      continue;
    }
    garmin_print_line(f, layout<N>(), rec, 0, skipped ? 1 : 0);
    skipped = false;
  }
}

template <int N> void print_record(FILE* f, int count, const uint8_t** cursor) {
  garmin_print_line(f, layout<N>(), at(*cursor), count, 0);
  *cursor += garmin_dtype_stride(garmin_dtype_find(N));
}

template <int N> void print_flags(FILE* f) {
  const bool header = N >= 200 && N != 210 && (N < 300 || N >= 310);
  garmin_print_flag_line(f, layout<N>(), header ? garmin_dtype_find(N)->name : nullptr);
}

}  // namespace

const garmin_dtype* garmin_dtype_table(size_t* count) {
  if (count) *count = std::size(kTable);
  return kTable;
}

const garmin_dtype* garmin_dtype_find(int number) {
  for (const garmin_dtype& d : kTable)
    if (d.number == number) return &d;
  return nullptr;
}
