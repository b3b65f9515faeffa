// The MIF reader on small files written here: the state table (keywords out of place
// stop the read with 14 and keep what was read), the style clauses and their tables,
// the header clauses (CoordSys, Projection with custom datums, Affine, Transform), the
// counts checked against the bytes left, and files cut at every byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/reader.h"
#include "formats/mif_read_internal.h"
#include "geodesy/geodesy_tables.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/draw_styles.h"
#include "tests/formats/mif_fixture.h"

namespace tm_test {
namespace {

const char* const kHead = "Version 300\nCharset \"WindowsLatin1\"\nDelimiter \",\"\n";

std::string doc(const std::string& header, const std::string& data) {
  return std::string(kHead) + header + "Columns 1\n  name Char(10)\nData\n\n" + data;
}
std::string doc(const std::string& data) { return doc("CoordSys Earth Projection 1, 104\n", data); }

using MifRead = MifFixture;

// ---- Objects ---------------------------------------------------------------------------------

TEST_F(MifRead, EveryObjectKind) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("Point 1 2\n"
                     "Line 1 2 3 4\n"
                     "Pline 3\n0 0\n1 1\n2 0\n"
                     "Region 1\n  4\n0 0\n1 0\n1 1\n0 0\n"
                     "Rect 5 6 7 8\n"
                     "Roundrect 1 2 3 4\n  0.5\n"
                     "Ellipse 0 0 10 4\n"
                     "Arc 0 0 10 4\n  30 120\n"
                     "Text\n  \"abc\"\n  1 2 3 4\n"
                     "Multipoint 2 5 5 6 6\n"),
                 &f),
            0);
  const std::vector<obj_t*> s = shapes(f);
  const std::vector<int> classes = {CLS_GEOPOINT, CLS_GEOSEGMENT, CLS_LOIL, CLS_LOIL,
                                    CLS_GEORECTANGLE, CLS_GEORECTANGLE, CLS_GEOARCELLIP,
                                    CLS_GEOARCELLIP, CLS_GEOTEXT, CLS_GEORECTANGLE,
                                    CLS_GEOPOINT, CLS_GEOPOINT};
  ASSERT_EQ(s.size(), classes.size());
  for (size_t i = 0; i < s.size(); ++i) EXPECT_EQ(s[i]->cls, classes[i]) << i;
  auto* e = static_cast<geoarcellip_t*>(s[6]);
  EXPECT_EQ(val(e->center.x), 5.0);
  EXPECT_EQ(val(e->center.y), 2.0);
  EXPECT_EQ(val(e->graxis), 10.0);
  EXPECT_EQ(val(e->smaxis), 4.0);
  auto* arc = static_cast<geoarcellip_t*>(s[7]);
  EXPECT_EQ(val(arc->angle.start), 30.0);
  EXPECT_EQ(val(arc->angle.end), 120.0);
  EXPECT_EQ(val(arc->fillmotif), 0);
  auto* t = static_cast<geotext_t*>(s[8]);
  EXPECT_EQ(text_of(t), u"abc");
  EXPECT_EQ(val(t->coords.x), 1.0);
  EXPECT_EQ(val(t->coords.y), 4.0);  // anchored at the top left
  EXPECT_EQ(val(static_cast<geopoint_t*>(s[11])->coords.y), 6.0);
  // The default styles of the shapes, at a scale of 200.
  EXPECT_EQ(styles_in(f->sot, CLS_DPOLYCURVE).size(), 1u);
  EXPECT_EQ(styles_in(f->sot, CLS_DPOINT).size(), 1u);
  EXPECT_EQ(styles_in(f->sot, CLS_DTEXT).size(), 1u);
  EXPECT_NE(file_get_first_folder(f, nullptr), nullptr);
}

TEST_F(MifRead, TextBoxIsNormalisedAndEmptyTextMakesNothing) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("Text \"\" 1 2 3 4\nText \"x\" 9 8 7 6\n"), &f), 0);
  const std::vector<obj_t*> s = shapes(f);
  ASSERT_EQ(s.size(), 2u);
  auto* t = static_cast<geotext_t*>(s[0]);
  EXPECT_EQ(text_of(t), u"x");
  EXPECT_EQ(val(t->coords.x), 7.0);
  EXPECT_EQ(val(t->coords.y), 8.0);
  auto* box = static_cast<georectangle_t*>(s[1]);
  EXPECT_EQ(val(box->coords.x1), 7.0);
  EXPECT_EQ(val(box->coords.y1), 6.0);
  EXPECT_EQ(val(box->coords.x2), 9.0);
  EXPECT_EQ(val(box->coords.y2), 8.0);
}

TEST_F(MifRead, LineBeginningWithDigitIsSkippedWhole) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("Point 1 2\n3 4 Point 9 9\n; Line 1 1 2 2\nPoint 5 6\n"), &f), 0);
  const std::vector<obj_t*> s = shapes(f);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(val(static_cast<geopoint_t*>(s[1])->coords.x), 5.0);
}

TEST_F(MifRead, CollectionTakesPlinesRegionsAndMultipoints) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("Collection 3\nMultipoint 1 1 1\nPline 2 0 0 1 1\nRegion 1 3 0 0 1 0 0 1\n"
                     "Point 7 7\n"),
                 &f),
            0);
  EXPECT_EQ(shapes(f).size(), 4u);
}

// ---- The state table ---------------------------------------------------------------------------

struct misplaced_case {
  const char* name;
  std::string text;
  size_t kept;  // shapes read before the fault
};

class MifMisplaced : public MifFixture, public ::testing::WithParamInterface<misplaced_case> {};

TEST_P(MifMisplaced, StopsWith14KeepingWhatWasRead) {
  fileatt_t* f = nullptr;
  EXPECT_EQ(load(GetParam().text, &f), kMifBadData);
  EXPECT_EQ(shapes(f).size(), GetParam().kept);
}

const misplaced_case kMisplaced[] = {
    {"ObjectBeforeData", std::string(kHead) + "Point 1 2\nData\nPoint 3 4\n", 0},
    {"StyleWithoutObject", doc("Pen (1,2,0)\nPoint 1 2\n"), 0},
    {"HeaderKeywordInData", doc("Point 1 2\nCoordSys Earth Projection 1, 104\nPoint 3 4\n"), 1},
    {"DataTwice", doc("Point 1 2\nData\nPoint 3 4\n"), 1},
    {"LineInCollection", doc("Line 0 0 1 1\nCollection 2\nLine 1 2 3 4\n"), 1},
    {"ProjectionOutsideCoordSys", std::string(kHead) + "Projection 1, 104\nData\nPoint 1 2\n", 0},
    {"NoObject", doc(""), 0},
    {"OnlyStyles", doc("\n\n"), 0},
};
INSTANTIATE_TEST_SUITE_P(Table, MifMisplaced, ::testing::ValuesIn(kMisplaced),
                         [](const ::testing::TestParamInfo<misplaced_case>& i) {
                           return std::string(i.param.name);
                         });

TEST_F(MifRead, TransitionsOfTheTable) {
  // A few cells of each kind of row.
  EXPECT_EQ(mif_transition_of(0, MIF_POINT).handler, &mif_error);
  EXPECT_EQ(mif_transition_of(1, MIF_POINT).handler, &mif_on_point);
  EXPECT_EQ(mif_transition_of(8, MIF_POINT).handler, &mif_error);
  EXPECT_EQ(mif_transition_of(8, MIF_PLINE).next, 4);
  EXPECT_EQ(mif_transition_of(2, MIF_COLLECTION).next, 1);
  EXPECT_EQ(mif_transition_of(2, MIF_NONE).next, 8);
  EXPECT_EQ(mif_transition_of(3, MIF_NONE).next, 1);
  EXPECT_EQ(mif_transition_of(2, MIF_PEN).handler, nullptr);
  EXPECT_EQ(mif_transition_of(2, MIF_PEN).next, 2);
  EXPECT_EQ(mif_transition_of(7, MIF_BRUSH).handler, &mif_on_brush);
  EXPECT_EQ(mif_transition_of(9, MIF_PEN).next, 0);
  EXPECT_EQ(mif_transition_of(9, MIF_COLUMNS).handler, &mif_on_columns);
  EXPECT_EQ(mif_transition_of(0, MIF_DATA).next, 1);
  EXPECT_EQ(mif_transition_of(9, kMifOther).next, 0);
  EXPECT_EQ(mif_transition_of(8, kMifOther).handler, &mif_error);
  EXPECT_EQ(mif_transition_of(5, kMifOther).next, 5);
  EXPECT_EQ(mif_keyword_code("ROUNDRECT"), MIF_ROUNDRECT);
  EXPECT_EQ(mif_keyword_code("Affine"), MIF_AFFINE);
  EXPECT_EQ(mif_keyword_code("plines"), kMifOther);
}

// ---- Styles -------------------------------------------------------------------------------------

TEST_F(MifRead, PenAfterThreeSectionsStylesAllThree) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("Pline Multiple 3\n 2\n0 0\n1 1\n 2\n2 2\n3 3\n 2\n4 4\n5 5\n"
                     "    Pen (15,2,255)\nLine 0 0 1 1\n"),
                 &f),
            0);
  const auto lines = all_of<loil_t>(f, CLS_LOIL);
  ASSERT_EQ(lines.size(), 3u);
  for (loil_t* l : lines) {
    EXPECT_EQ(val(l->thickness), 1);
    EXPECT_EQ(val(l->edgemotif), 1);
    EXPECT_EQ(val(l->colour), gps_rgb(0, 0, 255));
  }
  // The next object starts a new group and takes the current pen.
  auto* s = all_of<geosegment_t>(f, CLS_GEOSEGMENT).at(0);
  EXPECT_EQ(val(s->colour), gps_rgb(0, 0, 255));
}

TEST_F(MifRead, RegionTakesBrushColourWhenFilled) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("Region 2\n 4\n0 0\n1 0\n1 1\n0 0\n 4\n2 2\n3 2\n3 3\n2 2\n"
                     "  Pen (2,2,0)\n  Brush (5,65280,16777215)\n"
                     "Region 1 3 0 0 1 0 0 1\n  Brush (1,255)\n"),
                 &f),
            0);
  const auto regions = all_of<loil_t>(f, CLS_LOIL);
  ASSERT_EQ(regions.size(), 3u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(val(regions[i]->fillmotif), 2);
    EXPECT_EQ(val(regions[i]->colour), gps_rgb(0, 255, 0));
    EXPECT_EQ(val(regions[i]->thickness), 2);
  }
  // Made with the brush of fill kind 2, then a hollow brush: drawn in the pen's colour.
  EXPECT_EQ(val(regions[2]->fillmotif), 0);
  EXPECT_EQ(val(regions[2]->colour), gps_rgb(0, 0, 0));
}

TEST_F(MifRead, SymbolAndFontStyleTheirObjects) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("Multipoint 2 1 1 2 2\n  Symbol (34,65280,9)\n"
                     "Text \"t\" 0 0 1 1\n  Font (\"Times New Roman\",7,0,255)\n"),
                 &f),
            0);
  for (geopoint_t* p : all_of<geopoint_t>(f, CLS_GEOPOINT)) {
    EXPECT_EQ(val(p->shape), 1);
    EXPECT_EQ(val(p->thickness), 9);
    EXPECT_EQ(val(p->colour), gps_rgb(0, 255, 0));
  }
  auto* t = all_of<geotext_t>(f, CLS_GEOTEXT).at(0);
  EXPECT_EQ(val(t->font), 2);
  EXPECT_EQ(val(t->thickness), 3);   // bold
  EXPECT_EQ(val(t->underital), 3);   // italic and underlined
  EXPECT_EQ(val(t->colour), gps_rgb(0, 0, 255));
}

struct map_case {
  int in, out;
};
TEST(MifStyleTables, PenWidths) {
  for (const map_case c : {map_case{0, 0}, {1, 1}, {7, 7}, {15, 1}, {25, 2}, {11, 0}, {35, 3}})
    EXPECT_EQ(mif_pen_width_of(c.in), c.out) << c.in;
}
TEST(MifStyleTables, PenPatterns) {
  for (const map_case c : {map_case{0, 0}, {1, 0}, {2, 1}, {3, 8}, {4, 8}, {10, 8}, {5, 9},
                           {9, 9}, {11, 9}, {58, 9}, {59, 1}, {118, 1}})
    EXPECT_EQ(mif_pen_style_of(c.in), c.out) << c.in;
}
TEST(MifStyleTables, BrushPatterns) {
  for (const map_case c : {map_case{0, 0}, {1, 0}, {2, 1}, {3, 4}, {19, 4}, {23, 4}, {4, 5},
                           {28, 5}, {5, 2}, {29, 2}, {6, 3}, {38, 3}, {7, 6}, {43, 6}, {8, 7},
                           {18, 7}, {44, 7}, {71, 7}})
    EXPECT_EQ(mif_brush_kind_of(c.in), c.out) << c.in;
}
TEST(MifStyleTables, SymbolShapes) {
  for (const map_case c : {map_case{31, 0}, {68, 0}, {32, 2}, {44, 2}, {34, 1}, {59, 1}, {36, 5},
                           {45, 5}, {50, 4}, {35, 3}, {67, 3}, {49, 3}})
    EXPECT_EQ(mif_symbol_shape_of(c.in), c.out) << c.in;
}
TEST(MifStyleTables, Colours) {
  EXPECT_EQ(mif_colour_of(255), gps_rgb(0, 0, 255));
  EXPECT_EQ(mif_colour_of(0xFF0000), gps_rgb(255, 0, 0));
  EXPECT_EQ(mif_colour_of(0x123456), gps_rgb(0x12, 0x34, 0x56));
}

// ---- Header clauses -----------------------------------------------------------------------------

TEST_F(MifRead, NonEarthLeavesNoGeoreference) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("CoordSys NonEarth Units \"m\" Bounds (0, 0) (10, 10)\n", "Point 1 2\n"), &f),
            0);
  EXPECT_EQ(georef_of(f), nullptr);
  EXPECT_EQ(shapes(f).size(), 1u);
}

// A Transform after a NonEarth system has no georeference to reach: it is read and
// dropped, and the coordinates stay as written.
TEST_F(MifRead, TransformAfterNonEarthReachesNothing) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("CoordSys NonEarth Units \"m\"\nTransform 2, 3, 10, 20\n", "Point 1 2\n"), &f),
            0);
  EXPECT_EQ(georef_of(f), nullptr);
  auto* p = all_of<geopoint_t>(f, CLS_GEOPOINT).at(0);
  EXPECT_EQ(val(p->coords.x), 1.0);
  EXPECT_EQ(val(p->coords.y), 2.0);
}

TEST_F(MifRead, TransformAndAffineBecomeTheGeoreferenceTransformation) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("CoordSys Earth Projection 8, 104, \"m\", 3, 0, 0.9996, 500000, 0 "
                     "Affine Units \"km\", 2, 0, 0.1, 0, 2, 0.2 Bounds (0, 0) (9, 9)\n"
                     "Transform 0, 4, 1, 2\n",
                     "Point 1 2\n"),
                 &f),
            0);
  georef_t* g = georef_of(f);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(val(g->refertype), GEOREF_PROJECTED);
  EXPECT_EQ(val(g->transfotype), XK_CHAIN);
  double x = 1, y = 1, z = 0;
  xform_forward(g->transfo, g->transfotype, &x, &y, &z);
  // Affine: (2 + 100, 2 + 200); then the scale 1 (0 read as 1) and 4, offsets 1 and 2.
  EXPECT_DOUBLE_EQ(x, 103.0);
  EXPECT_DOUBLE_EQ(y, 810.0);
  // The affine step's inverse is its own.
  auto* chain = static_cast<xform_chain_t*>(g->transfo);
  ASSERT_EQ(xform_step_count(chain), 2);
  double u = 102, v = 202;
  xform_inverse(xform_chain_step_at(chain, 0), XK_AFFINE3D, &u, &v, &z);
  EXPECT_NEAR(u, 1.0, 1e-12);
  EXPECT_NEAR(v, 1.0, 1e-12);
}

// The table takes Transform in the header only: right after a CoordSys clause (state 9,
// no Bounds to end it) it is out of place.
TEST_F(MifRead, TransformRightAfterTheClauseIsOutOfPlace) {
  EXPECT_EQ(load(doc("CoordSys Earth Projection 1, 104\nTransform 2, 0, 10, 20\n", "Point 1 2\n")),
            kMifBadData);
}

TEST_F(MifRead, TransformAloneIsAnOffsetScaleStep) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("CoordSys Earth Projection 1, 104 Bounds (0, 0) (9, 9)\nTransform 2, 0, 10, 20\n",
                     "Point 1 2\n"),
                 &f),
            0);
  georef_t* g = georef_of(f);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(val(g->transfotype), XK_OFFSET_SCALE);
  double x = 1, y = 2, z = 0;
  xform_forward(g->transfo, g->transfotype, &x, &y, &z);
  EXPECT_DOUBLE_EQ(x, 12.0);
  EXPECT_DOUBLE_EQ(y, 22.0);
}

TEST_F(MifRead, CustomDatums) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("CoordSys Earth Projection 1, 999, 28, 0, 0, 0\n", "Point 1 2\n"), &f), 0);
  georef_t* g = georef_of(f);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(val(g->refertype), GEOREF_GEOGRAPHIC);
  EXPECT_NE(val(g->datum), nullptr);
  // Seven parameters on a prime meridian no table holds: a "Custom meridian" is made.
  fileatt_t* h = nullptr;
  ASSERT_EQ(load(doc("CoordSys Earth Projection 1, 9999, 28, 10, 20, 30, 0.5, 0.25, -0.5, 1.5, "
                     "3.25\n",
                     "Point 1 2\n"),
                 &h),
            0);
  georef_t* g2 = georef_of(h);
  ASSERT_NE(g2, nullptr);
  ASSERT_NE(val(g2->datum), nullptr);
  pmeridian_t* m = nullptr;
  EXPECT_NE(pmeridian_find_by_longitude(3.25, ANG_DEGREE, &m), nullptr);
}

struct bad_system_case {
  const char* name;
  const char* clause;
  bool at_end = false;  // the clause ends the file
};
class MifBadSystem : public MifFixture, public ::testing::WithParamInterface<bad_system_case> {};

TEST_P(MifBadSystem, Gives13AndRemovesTheGeoreference) {
  fileatt_t* f = nullptr;
  const std::string text = GetParam().at_end ? std::string(kHead) + GetParam().clause
                                             : doc(GetParam().clause, "Point 1 2\n");
  EXPECT_EQ(load(text, &f), kMifBadSystem);
  EXPECT_EQ(georef_of(f), nullptr);
}

const bad_system_case kBadSystems[] = {
    {"UnknownDatum", "CoordSys Earth Projection 1, 4242\n"},
    {"UnknownEllipsoid", "CoordSys Earth Projection 1, 999, 4242, 0, 0, 0\n"},
    {"TypeWithoutParameters", "CoordSys Earth Projection 0, 104, \"m\", 1, 2\n"},
    {"TypeOutOfRange", "CoordSys Earth Projection 77, 104, \"m\", 1, 2\n"},
    {"DatumCutShort", "CoordSys Earth Projection 1, 999, 28, 0", true},
    {"ParametersCutShort", "CoordSys Earth Projection 8, 104, \"m\", 3, 0", true},
    {"UnitCutShort", "CoordSys Earth Projection 8, 104, \"m", true},
};
INSTANTIATE_TEST_SUITE_P(Table, MifBadSystem, ::testing::ValuesIn(kBadSystems),
                         [](const ::testing::TestParamInfo<bad_system_case>& i) {
                           return std::string(i.param.name);
                         });

TEST_F(MifRead, MissingFileGives2) {
  EXPECT_EQ(load_path(dir_ + "/absent.mif"), kMifCannotOpen);
}

// ---- Counts and cut files ------------------------------------------------------------------------

struct count_case {
  const char* name;
  const char* data;
  size_t kept;
};
class MifHostileCount : public MifFixture, public ::testing::WithParamInterface<count_case> {};

// A count no file of that size can hold stops the read with 14 and allocates nothing for
// it; the objects before it stay.
TEST_P(MifHostileCount, Gives14KeepingWhatWasRead) {
  fileatt_t* f = nullptr;
  EXPECT_EQ(load(doc(std::string("Point 1 2\n") + GetParam().data), &f), kMifBadData);
  EXPECT_EQ(shapes(f).size(), GetParam().kept);
}

const count_case kCounts[] = {
    {"PlinePoints", "Pline 2147483647\n0 0\n1 1\n", 1},
    {"PlineSections", "Pline Multiple 999999999\n2\n0 0\n1 1\n", 1},
    {"SectionPoints", "Pline Multiple 2\n2\n0 0\n1 1\n4000000000\n0 0\n", 2},
    {"RegionPolygons", "Region 123456789012\n3\n0 0\n1 0\n0 1\n", 1},
    {"RegionPoints", "Region 1\n  99999999\n0 0\n1 0\n", 1},
    {"NegativeCount", "Region 1\n  -5\n0 0\n", 1},
    {"MultipointPoints", "Multipoint 500000000 1 1\n", 1},
};
INSTANTIATE_TEST_SUITE_P(Table, MifHostileCount, ::testing::ValuesIn(kCounts),
                         [](const ::testing::TestParamInfo<count_case>& i) {
                           return std::string(i.param.name);
                         });

TEST_F(MifRead, HostileColumnCountGives14) {
  EXPECT_EQ(load(std::string(kHead) + "Columns 2000000000\n a Char(1)\nData\nPoint 1 2\n"),
            kMifBadData);
}

TEST_F(MifRead, RegionCutByTheEndKeepsThePointsRead) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(doc("Point 1 2\nRegion 1\n  10\n0 0\n1 0\n1 1\n0.5"), &f), 0);
  const auto regions = all_of<loil_t>(f, CLS_LOIL);
  ASSERT_EQ(regions.size(), 1u);
  EXPECT_EQ(points_of(regions[0]), (std::vector<double>{0, 0, 1, 0, 1, 1}));
}

struct cut_case {
  const char* name;
  const char* data;
  size_t kept;
};
class MifCut : public MifFixture, public ::testing::WithParamInterface<cut_case> {};

// The end of the file inside an object of fixed size, or before a count: 14, and the
// objects read before stay.
TEST_P(MifCut, Gives14KeepingWhatWasRead) {
  fileatt_t* f = nullptr;
  EXPECT_EQ(load(doc(std::string("Point 1 2\n") + GetParam().data), &f), kMifBadData);
  EXPECT_EQ(shapes(f).size(), GetParam().kept);
}

const cut_case kCuts[] = {
    {"Line", "Line 1 2 3", 1},
    {"Arc", "Arc 0 0 1 1 30", 1},
    {"TextString", "Text \"abc", 1},
    {"TextBox", "Text \"abc\" 1 2 3", 1},
    {"PlineCount", "Pline\n", 1},
    {"SecondSectionCount", "Pline Multiple 2\n 2\n0 0\n1 1\n", 2},
    {"RegionCount", "Region", 1},
    {"MultipointPoint", "Multipoint 2 1 1 2", 2},
};
INSTANTIATE_TEST_SUITE_P(Table, MifCut, ::testing::ValuesIn(kCuts),
                         [](const ::testing::TestParamInfo<cut_case>& i) {
                           return std::string(i.param.name);
                         });

// Every prefix of a GDAL file: a result of 0, 13 or 14, no pending error, and the shapes
// read are those of the whole file, in its order.
TEST_F(MifRead, FileCutAtEveryByte) {
  const std::string whole = slurp_file(mif_fixture_dir() + "gdal_lambert93.mif");
  ASSERT_FALSE(whole.empty());
  fileatt_t* full = nullptr;
  ASSERT_EQ(load_path(mif_fixture_dir() + "gdal_lambert93.mif", &full), 0);
  const std::vector<obj_t*> all = shapes(full);
  for (size_t n = 0; n < whole.size(); n += 3) {
    fileatt_t* f = nullptr;
    const int r = load(whole.substr(0, n), &f);
    EXPECT_TRUE(r == 0 || r == 13 || r == 14) << n << ": " << r;
    const std::vector<obj_t*> got = shapes(f);
    ASSERT_LE(got.size(), all.size()) << n;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i]->cls, all[i]->cls) << n << " " << i;
    rd_close_file(f);
  }
}

}  // namespace
}  // namespace tm_test
