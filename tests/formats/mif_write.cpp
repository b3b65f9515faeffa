// The MIF writer: the header and coordinate system, each drawing class as its style shows
// it (pen widths, MapInfo pattern and symbol numbers, colours), the ellipse box, the
// segment-point polyline, the chain from a folder's system to the file's, and failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/wstring.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "map/draw_styles.h"
#include "map/gps_classes.h"
#include "map/graphic_index.h"
#include "map/graphspace.h"
#include "map/quadtree.h"
#include "tests/formats/mif_fixture.h"

namespace tm_test {
namespace {

const char* const kHead =
    "Version 300\nCharset \"Neutral\"\nCoordSys Earth Projection 1, 104\nColumns 1\n  a Char(1)\n"
    "Data\n";

class MifWrite : public MifFixture {
 protected:
  // The export list of a file: its first georeference (when it has one), its folder.
  container_t* export_list(fileatt_t* f) {
    container_t* list = new_list();
    if (georef_t* g = georef_of(f)) obj_list_append(list, g);
    obj_list_append(list, file_get_first_folder(f, nullptr));
    return list;
  }
  // Writes the list and gives the file's text.
  std::string write(container_t* list) {
    const std::string path = dir_ + "/out.mif";
    std::remove(path.c_str());
    mif_write(path.c_str(), list);
    EXPECT_EQ(get_gblerr(), 0);
    return slurp_file(path);
  }
  // Reads a MIF data section and writes it back: the text after DATA.
  std::string round_trip(const std::string& data) {
    fileatt_t* f = nullptr;
    EXPECT_EQ(load(std::string(kHead) + data, &f), 0);
    const std::string text = write(export_list(f));
    const size_t at = text.find("DATA\n");
    return at == std::string::npos ? text : text.substr(at + 5);
  }
  // The same for a whole file after its VERSION line.
  std::string round_trip_with(const std::string& rest) {
    fileatt_t* f = nullptr;
    EXPECT_EQ(load("Version 300\n" + rest, &f), 0);
    const std::string text = write(export_list(f));
    const size_t at = text.find("DATA\n");
    return at == std::string::npos ? text : text.substr(at + 5);
  }
  // Takes the list's objects out before the fixture frees it: they belong to the file.
  container_t* new_list() {
    container_t* l = nullptr;
    obj_list_new(&l);
    lists_.push_back(l);
    return l;
  }
  void TearDown() override {
    for (container_t*& l : lists_) free_obj(&l);
    MifFixture::TearDown();
  }

 private:
  std::vector<container_t*> lists_;
};

TEST_F(MifWrite, HeaderOfAGeographicFile) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(std::string(kHead) + "Point 1 2\n", &f), 0);
  EXPECT_EQ(write(export_list(f)),
            "VERSION 450\nCharset \"Neutral\"\nCOORDSYS Earth Projection 1, 104\n"
            "COLUMNS 1\n  Code CHAR(3)\nDATA\n"
            "POINT 1 2\n  SYMBOL (49,16711680,3)\n");
}

TEST_F(MifWrite, WithoutGeoreferenceTheFileIsNonEarthInMetres) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load("Version 300\nCoordSys NonEarth Units \"ft\"\nData\nPoint 1.25 -2\n", &f), 0);
  const std::string text = write(export_list(f));
  EXPECT_NE(text.find("COORDSYS Nonearth\nUNITS \"m\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("POINT 1.25 -2\n"), std::string::npos) << text;
}

struct style_case {
  const char* name;
  const char* data;
  const char* written;
};
class MifWriteStyles : public MifWrite, public ::testing::WithParamInterface<style_case> {};

TEST_P(MifWriteStyles, WritesWhatTheStyleShows) {
  EXPECT_EQ(round_trip(GetParam().data), GetParam().written);
}

const style_case kStyles[] = {
    {"LinePen", "Line 0 0 10 10\n  Pen (15,2,255)\n", "LINE 0 0 10 10\n  PEN (1,2,255)\n"},
    {"WidePen", "Line 0 0 1 1\n  Pen (100,3,65280)\n", "LINE 0 0 1 1\n  PEN (100,11,65280)\n"},
    {"HollowPen", "Line 0 0 1 1\n  Pen (5,1,0)\n", "LINE 0 0 1 1\n  PEN (5,1,0)\n"},
    {"PolylineHalfWidth", "Pline 2\n0 0\n1.5 2\n  Pen (6,2,16711680)\n",
     "PLINE\n  2\n0 0\n1.5 2\n  PEN (3,2,16711680)\n"},
    {"FilledRegion", "Region 1\n 4\n0 0\n1 0\n1 1\n0 0\n  Pen (1,2,0)\n  Brush (2,255)\n",
     "REGION 1\n  4\n0 0\n1 0\n1 1\n0 0\n  PEN (1,2,255)\n  BRUSH (2,255)\n"},
    {"Rectangle", "Rect 1 2 3 4\n  Pen (2,2,0)\n  Brush (4,65280)\n",
     "RECT 1 2 3 4\n  PEN (2,2,65280)\n  BRUSH (24,65280)\n"},
    {"Arc", "Arc 0 0 10 20\n  30 120\n  Pen (1,2,255)\n",
     "ARC 0 0 10 20\n  30 120\n  PEN (1,2,255)\n"},
    {"Ellipse", "Ellipse 0 0 10 20\n  Pen (1,2,0)\n  Brush (2,255)\n",
     "ELLIPSE 0 0 10 20\n  PEN (1,2,255)\n  BRUSH (2,255)\n"},
    {"Symbol", "Point 1 2\n  Symbol (34,255,9)\n", "POINT 1 2\n  SYMBOL (40,255,9)\n"},
};
INSTANTIATE_TEST_SUITE_P(Table, MifWriteStyles, ::testing::ValuesIn(kStyles),
                         [](const ::testing::TestParamInfo<style_case>& i) {
                           return std::string(i.param.name);
                         });

TEST_F(MifWrite, TextWithItsFont) {
  const std::string out =
      round_trip("Text \"say \"\"hi\"\"\" 1 2 3 4\n  Font (\"Courier New\",5,0,255)\n");
  // The text up to its second quote, anchored at its top left, then its box (a point
  // here: no map window measures it), bold and underlined (1 + 4), then the text box
  // rectangle the reader made.
  EXPECT_EQ(out.substr(0, out.find("RECT")),
            "TEXT \"say \"\n  1 4 1 4\n  FONT (\"Courier New\",5,0,255)\n");
}

TEST_F(MifWrite, EllipseAxesFollowTheOrientation) {
  fileatt_t* f = new_file();
  container_t* list = f->sot;
  add_georef(list);
  for (double orient : {0.5, 1.0}) {
    obj_t* o = nullptr;
    obj_new_in_list(list, CLS_GEOARCELLIP, &o);
    auto* e = static_cast<geoarcellip_t*>(o);
    e->center = gps_point_t{10, 20, 0};
    e->graxis = 4;
    e->smaxis = 2;
    e->orient = orient;
    e->angle = gps_angles_t{0, 360};
  }
  geoarcellip_style_create(list, nullptr, nullptr, NULL_INT, NULL_INT, NULL_INT, 1.0);
  const std::string text = write(export_list(f));
  EXPECT_NE(text.find("ELLIPSE 8 19 12 21\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ELLIPSE 9 18 11 22\n"), std::string::npos) << text;
}

// A double quote inside a text would end it early: it is written as a single one.
TEST_F(MifWrite, QuoteInsideATextIsMadeSingle) {
  fileatt_t* f = new_file();
  add_georef(f->sot);
  obj_t* o = nullptr;
  obj_new_in_list(f->sot, CLS_GEOTEXT, &o);
  auto* t = static_cast<geotext_t*>(o);
  t->coords = gps_point_t{1, 2, 0};
  char16_t* text = nullptr;
  wstr_set(u"a\"b\nc", &text);
  std::memcpy(&t->text, &text, sizeof text);
  geotext_style_create(f->sot, nullptr, nullptr, 10, NULL_INT, NULL_INT, 1.0);
  const std::string out = write(export_list(f));
  EXPECT_NE(out.find("TEXT \"a'b c\"\n  1 2 1 2\n"), std::string::npos) << out;
}

TEST_F(MifWrite, TrackPointsAreOnePolyline) {
  fileatt_t* f = new_file();
  add_georef(f->sot);
  add_track(f->sot, {{1, 2, 0}, {3, 4, 10}, {5, 6, 20}});
  file_default_track_styles(f, 0, 1.0);
  ASSERT_EQ(get_gblerr(), 0);
  const std::string text = write(export_list(f));
  EXPECT_NE(text.find("PLINE\n  3\n1 2\n3 4\n5 6\n  PEN ("), std::string::npos) << text;
}

// A folder in another system than the file's first georeference is carried into it.
TEST_F(MifWrite, FolderIsCarriedIntoTheFileSystem) {
  fileatt_t* f = new_file();
  add_utm_georef(f->sot, 31);
  obj_t* o = nullptr;
  obj_new_in_list(f->sot, CLS_GEOPOINT, &o);
  static_cast<geopoint_t*>(o)->coords = gps_point_t{500000, 0, 0};
  geopoint_style_create(f->sot, nullptr, nullptr, NULL_INT, NULL_INT, NULL_INT, 1.0);
  container_t* list = new_list();
  container_t* scratch = new_list();
  georef_t* wgs = add_georef(scratch);
  obj_list_append(list, wgs);
  obj_list_append(list, file_get_first_folder(f, nullptr));
  const std::string text = write(list);
  EXPECT_NE(text.find("COORDSYS Earth Projection 1, 104\n"), std::string::npos) << text;
  double x = 0, y = 0;
  const size_t at = text.find("POINT ");
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(std::sscanf(text.c_str() + at, "POINT %lf %lf", &x, &y), 2);
  EXPECT_NEAR(x, 3.0, 1e-9);
  EXPECT_NEAR(y, 0.0, 1e-9);
  obj_list_free_elements(scratch);
}

// A folder shown in the current graph space is written through its layer's styles.
TEST_F(MifWrite, FolderShownInAGraphSpaceIsWrittenThroughItsLayer) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(std::string(kHead) + "Point 1 2\nLine 0 0 3 4\nText \"t\" 1 1 2 2\n", &f), 0);
  folder_t* folder = file_get_first_folder(f, nullptr);
  // The view classes and the routines of the graphic index, as the map model has them.
  view_types_register();
  qtree_init();
  drawobj_init_table();
  gindex_init();
  graphspace_t* gs = nullptr;
  graphspace_new(georef_of(f), &gs);
  ASSERT_NE(gs, nullptr);
  int counter = 0;
  ASSERT_EQ(graphspace_add_file(gs, folder, &counter), 1);
  layer_t* layer = nullptr;
  mapwin_find_layer(gs, folder, &layer);
  ASSERT_NE(layer, nullptr);
  graphspace_t* before = graphspace_current();
  graphspace_set_current(gs);
  const std::string text = write(export_list(f));
  graphspace_set_current(before);
  graphspace_free(&gs);
  EXPECT_NE(text.find("POINT 1 2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("LINE 0 0 3 4\n"), std::string::npos) << text;
  // The box of the text as the layer draws it: from its anchor (1, 2) right and down.
  const size_t at = text.find("TEXT \"t\"\n");
  ASSERT_NE(at, std::string::npos) << text;
  double box[4] = {};
  ASSERT_EQ(std::sscanf(text.c_str() + at + 9, "%lf %lf %lf %lf", &box[0], &box[1], &box[2],
                        &box[3]),
            4);
  EXPECT_EQ(box[0], 1.0);
  EXPECT_EQ(box[3], 2.0);
  EXPECT_GT(box[2], 1.0);
  EXPECT_LT(box[1], 2.0);
}

// A geographic folder in grads is written in degrees.
TEST_F(MifWrite, GeographicCoordinatesAreWrittenInDegrees) {
  fileatt_t* f = new_file();
  georef_t* g = add_georef(f->sot);
  g->unit = ANG_GRAD;
  ASSERT_EQ(georef_unit_step(g), 0);
  obj_t* o = nullptr;
  obj_new_in_list(f->sot, CLS_GEOPOINT, &o);
  static_cast<geopoint_t*>(o)->coords = gps_point_t{10, 50, 0};
  geopoint_style_create(f->sot, nullptr, nullptr, NULL_INT, NULL_INT, NULL_INT, 1.0);
  const std::string text = write(export_list(f));
  EXPECT_NE(text.find("COORDSYS Earth Projection 1, 104\n"), std::string::npos) << text;
  double x = 0, y = 0;
  const size_t at = text.find("POINT ");
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(std::sscanf(text.c_str() + at, "POINT %lf %lf", &x, &y), 2);
  EXPECT_NEAR(x, 9.0, 1e-12);
  EXPECT_NEAR(y, 45.0, 1e-12);
}

// The points of a file read with a Transform clause are written where they are: the file
// written has no Transform.
TEST_F(MifWrite, TransformedPointsAreWrittenWhereTheyAre) {
  const std::string out =
      round_trip_with("CoordSys Earth Projection 1, 104 Bounds (0, 0) (9, 9)\n"
                      "Transform 2, 4, 10, 20\nData\nPoint 1 2\n");
  EXPECT_EQ(out, "POINT 12 28\n  SYMBOL (49,16711680,3)\n");
}

TEST_F(MifWrite, NullListWritesNothing) {
  const std::string path = dir_ + "/none.mif";
  mif_write(path.c_str(), nullptr);
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(std::fopen(path.c_str(), "rb"), nullptr);
}

TEST_F(MifWrite, FailingCloseSetsError2) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load(std::string(kHead) + "Point 1 2\n", &f), 0);
  mif_write("/dev/full", export_list(f));
  EXPECT_EQ(get_gblerr(), 2);
  set_gblerr(0);
}

}  // namespace
}  // namespace tm_test
