// Attribute schemas of the eight drawing classes, and the compile-time check that each
// packed record of draw_styles.h holds exactly its schema's attributes in schema order
// (offsets being the running sum of the type sizes), followed by its working fields.
#include <cstddef>

#include "core/obj_layout.h"
#include "map/draw_styles.h"

namespace {

#define STYLE_HEAD                                                                     \
  {"id", AT_ID}, {"type", AT_INT}, {"typesrc", AT_INT}, {"typeperesrc", AT_INT},       \
      {"contsrc", AT_LIST}, {"meterpixsize", AT_DOUBLE}, {"geopixsize", AT_DOUBLE}

constexpr attr_desc kDimage[] = {
    STYLE_HEAD,          {"pptcoord", AT_INT}, {"ppixy", AT_INT},    {"pimg", AT_INT},
    {"pcolour", AT_INT}, {"pscale", AT_INT},   {"psize", AT_INT},    {"vimg", AT_REF},
    {"vcolour", AT_COLOR}, {"vscale", AT_DOUBLE}, {"vsizew", AT_INT}, {"vsizeh", AT_INT},
    {"vpixy", AT_PIXEL}};

constexpr attr_desc kDsegment[] = {
    STYLE_HEAD,           {"prcoord", AT_INT},    {"pthickness", AT_INT}, {"pcolour", AT_INT},
    {"pmotif", AT_INT},   {"pplane", AT_INT},     {"vthickness", AT_INT}, {"vcolour", AT_COLOR},
    {"vmotif", AT_INT},   {"vplane", AT_INT}};

constexpr attr_desc kDpoint[] = {
    STYLE_HEAD,            {"pptcoord", AT_INT}, {"ppixy", AT_INT},      {"pthickness", AT_INT},
    {"pcolour", AT_INT},   {"pmotif", AT_INT},   {"pshape", AT_INT},     {"pplane", AT_INT},
    {"porient", AT_INT},   {"vthickness", AT_INT}, {"vcolour", AT_COLOR}, {"vmotif", AT_INT},
    {"vshape", AT_INT},    {"vplane", AT_INT},   {"vorient", AT_DOUBLE}, {"vpixy", AT_PIXEL}};

constexpr attr_desc kDtext[] = {
    STYLE_HEAD,             {"pptcoord", AT_INT},  {"pzone", AT_INT},      {"ppixy", AT_INT},
    {"pstring", AT_INT},    {"psize", AT_INT},     {"pthickness", AT_INT}, {"pcolour", AT_INT},
    {"pfont", AT_INT},      {"punderital", AT_INT}, {"pplane", AT_INT},    {"porient", AT_INT},
    {"vstring", AT_WSTRING}, {"vsize", AT_INT},    {"vthickness", AT_INT}, {"vcolour", AT_COLOR},
    {"vfont", AT_INT},      {"vunderital", AT_INT}, {"vplane", AT_INT},    {"vorient", AT_DOUBLE},
    {"vpixy", AT_PIXEL}};

constexpr attr_desc kDsegpoint[] = {
    STYLE_HEAD,             {"pptcoord", AT_INT},   {"ph", AT_INT},          {"pthickness", AT_INT},
    {"pcolour", AT_INT},    {"pmotif", AT_INT},     {"pshape", AT_INT},      {"pplane", AT_INT},
    {"plinkthick", AT_INT}, {"plinkmotif", AT_INT}, {"vthickness", AT_INT},  {"vcolour", AT_COLOR},
    {"vmotif", AT_INT},     {"vshape", AT_INT},     {"vplane", AT_INT},      {"vlinkthick", AT_INT},
    {"vlinkmotif", AT_INT}};

constexpr attr_desc kDpolycurve[] = {
    STYLE_HEAD,             {"plcoord", AT_INT},    {"pmode", AT_INT},      {"pthickness", AT_INT},
    {"pcolour", AT_INT},    {"pedgemotif", AT_INT}, {"pfillmotif", AT_INT}, {"pplane", AT_INT},
    {"vmode", AT_INT},      {"vthickness", AT_INT}, {"vcolour", AT_COLOR},  {"vedgemotif", AT_INT},
    {"vfillmotif", AT_INT}, {"vplane", AT_INT}};

constexpr attr_desc kDrectangle[] = {
    STYLE_HEAD,             {"prcoord", AT_INT},    {"ppixy", AT_INT},      {"pthickness", AT_INT},
    {"pcolour", AT_INT},    {"pedgemotif", AT_INT}, {"pfillmotif", AT_INT}, {"pplane", AT_INT},
    {"vthickness", AT_INT}, {"vcolour", AT_COLOR},  {"vedgemotif", AT_INT}, {"vfillmotif", AT_INT},
    {"vplane", AT_INT},     {"vpixy", AT_PIXEL}};

constexpr attr_desc kDarcellip[] = {
    STYLE_HEAD,             {"pcenter", AT_INT},    {"ppixy", AT_INT},      {"pgraxis", AT_INT},
    {"psmaxis", AT_INT},    {"porient", AT_INT},    {"pangle", AT_INT},     {"pthickness", AT_INT},
    {"pcolour", AT_INT},    {"pedgemotif", AT_INT}, {"pfillmotif", AT_INT}, {"pplane", AT_INT},
    {"vgraxis", AT_DOUBLE}, {"vsmaxis", AT_DOUBLE}, {"vorient", AT_DOUBLE}, {"vangle", AT_ANGLE},
    {"vthickness", AT_INT}, {"vcolour", AT_COLOR},  {"vedgemotif", AT_INT}, {"vfillmotif", AT_INT},
    {"vplane", AT_INT},     {"vpixy", AT_PIXEL}};

#undef STYLE_HEAD

template <size_t N> constexpr int count_of(const attr_desc (&)[N]) { return int(N); }

// The head every style shares.
static_assert(offsetof(drawstyle_t, typesrc) == attr_offset_in(kDimage, 2));
static_assert(offsetof(drawstyle_t, contsrc) == attr_offset_in(kDimage, 4));
static_assert(offsetof(drawstyle_t, geopixsize) == attr_offset_in(kDimage, 6));
static_assert(sizeof(drawstyle_t) == attr_offset_in(kDimage, 7));

// Each record: the schema, then its working fields.
static_assert(offsetof(dimage_t, vimg) == attr_offset_in(kDimage, 13));
static_assert(offsetof(dimage_t, vscale) == attr_offset_in(kDimage, 15));
static_assert(offsetof(dimage_t, pt) == attr_layout_size(kDimage, count_of(kDimage)));
static_assert(offsetof(dsegment_t, vthickness) == attr_offset_in(kDsegment, 12));
static_assert(offsetof(dsegment_t, seg) == attr_layout_size(kDsegment, count_of(kDsegment)));
static_assert(offsetof(dpoint_t, vorient) == attr_offset_in(kDpoint, 20));
static_assert(offsetof(dpoint_t, pt) == attr_layout_size(kDpoint, count_of(kDpoint)));
static_assert(offsetof(dtext_t, vstring) == attr_offset_in(kDtext, 18));
static_assert(offsetof(dtext_t, vorient) == attr_offset_in(kDtext, 25));
static_assert(offsetof(dtext_t, pt) == attr_layout_size(kDtext, count_of(kDtext)));
static_assert(offsetof(dsegpoint_t, vlinkmotif) == attr_offset_in(kDsegpoint, 22));
static_assert(offsetof(dsegpoint_t, pt) == attr_layout_size(kDsegpoint, count_of(kDsegpoint)));
static_assert(offsetof(dpolycurve_t, vplane) == attr_offset_in(kDpolycurve, 19));
static_assert(offsetof(dpolycurve_t, line) ==
              attr_layout_size(kDpolycurve, count_of(kDpolycurve)));
static_assert(offsetof(drectangle_t, vpixy) == attr_offset_in(kDrectangle, 19));
static_assert(offsetof(drectangle_t, corner) ==
              attr_layout_size(kDrectangle, count_of(kDrectangle)));
static_assert(offsetof(darcellip_t, vgraxis) == attr_offset_in(kDarcellip, 18));
static_assert(offsetof(darcellip_t, vangle) == attr_offset_in(kDarcellip, 21));
static_assert(offsetof(darcellip_t, vpixy) == attr_offset_in(kDarcellip, 27));
static_assert(offsetof(darcellip_t, center) ==
              attr_layout_size(kDarcellip, count_of(kDarcellip)));

const objdesc kDescriptors[8] = {
    {"dimage", count_of(kDimage), kDimage},
    {"dsegment", count_of(kDsegment), kDsegment},
    {"dpoint", count_of(kDpoint), kDpoint},
    {"dtext", count_of(kDtext), kDtext},
    {"dsegpoint", count_of(kDsegpoint), kDsegpoint},
    {"dpolycurve", count_of(kDpolycurve), kDpolycurve},
    {"drectangle", count_of(kDrectangle), kDrectangle},
    {"darcellip", count_of(kDarcellip), kDarcellip},
};

}  // namespace

const objdesc* drawobj_descriptor(int cls) {
  if (cls < CLS_DIMAGE || cls > CLS_DARCELLIP) return nullptr;
  return &kDescriptors[cls - CLS_DIMAGE];
}
