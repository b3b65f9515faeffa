// MIF files written by GDAL's MapInfo driver (scripts/fixtures/make_mif_fixtures.py) in
// five systems: the reader must give GDAL's coordinates, texts and structure (a polyline
// of three sections gives three lines, a region with a hole two rings), and a system that
// carries GDAL's sample points to the same WGS 84 positions. NonEarth leaves no
// georeference.
//
// The writer then writes each file back; GDAL's reading of that output (the .ogr files
// of written/, made by the script's --written step from the files kept here) must give
// the objects read and the same system. The output must be the file GDAL was given: a
// change of the writer shows here until the script's step is run again on the new
// output (TM_MIF_WRITTEN=<folder> makes the test write its output there).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/xform.h"
#include "map/draw_styles.h"
#include "tests/formats/mif_fixture.h"

namespace tm_test {
namespace {

struct gdal_case {
  const char* name;
  int refertype;  // 0: no georeference (NonEarth)
  double sample_tolerance_deg;  // 1e-9 degrees: about 0.1 mm
};

const gdal_case kGdalCases[] = {
    {"wgs84", GEOREF_GEOGRAPHIC, 1e-9},
    {"lambert93", GEOREF_PROJECTED, 1e-9},
    {"utm31", GEOREF_PROJECTED, 1e-9},
    {"ca3ft", GEOREF_PROJECTED, 1e-9},
    {"nonearth", 0, 0},
};

class MifGdal : public MifFixture, public ::testing::WithParamInterface<gdal_case> {
 protected:
  std::string mif_path() const { return mif_fixture_dir() + "gdal_" + GetParam().name + ".mif"; }
  std::string ref_path() const { return mif_fixture_dir() + "gdal_" + GetParam().name + ".ref"; }
};

void expect_points(const loil_t* l, const ref_line& ring) {
  const std::vector<double> pts = MifFixture::points_of(l);
  ASSERT_EQ(pts.size(), 2 * size_t(std::stoi(ring.words.at(0))));
  for (size_t i = 0; i < pts.size(); ++i)
    EXPECT_TRUE(near(pts[i], ring.d(1 + i))) << i << ": " << pts[i] << " vs " << ring.words[1 + i];
}

TEST_P(MifGdal, ObjectsMatchGdal) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(mif_path(), &f), 0);
  const std::vector<ref_line> ref = read_ref(ref_path());
  const std::vector<obj_t*> got = shapes(f);
  size_t k = 0;
  auto next = [&](int cls) -> obj_t* {
    if (k >= got.size()) return nullptr;
    obj_t* o = got[k++];
    EXPECT_EQ(o->cls, cls);
    return o->cls == cls ? o : nullptr;
  };
  int checked = 0;
  for (size_t i = 0; i < ref.size(); ++i) {
    const ref_line& r = ref[i];
    if (r.key == "point") {
      auto* p = static_cast<geopoint_t*>(next(CLS_GEOPOINT));
      ASSERT_NE(p, nullptr);
      EXPECT_TRUE(near(p->coords.x, r.d(0)));
      EXPECT_TRUE(near(p->coords.y, r.d(1)));
      EXPECT_EQ(val(p->colour), gps_rgb(255, 0, 0));
    } else if (r.key == "line") {
      auto* s = static_cast<geosegment_t*>(next(CLS_GEOSEGMENT));
      ASSERT_NE(s, nullptr);
      EXPECT_TRUE(near(s->coords.x1, r.d(0)));
      EXPECT_TRUE(near(s->coords.y1, r.d(1)));
      EXPECT_TRUE(near(s->coords.x2, r.d(2)));
      EXPECT_TRUE(near(s->coords.y2, r.d(3)));
      EXPECT_EQ(val(s->colour), gps_rgb(0, 0, 255));
    } else if (r.key == "pline" || r.key == "region") {
      const int rings = std::stoi(r.words.at(0));
      for (int j = 0; j < rings; ++j) {
        auto* l = static_cast<loil_t*>(next(CLS_LOIL));
        ASSERT_NE(l, nullptr);
        ASSERT_LT(i + 1, ref.size());
        expect_points(l, ref[++i]);
        if (r.key == "region")
          EXPECT_NE(val(l->fillmotif), 0);
        else
          EXPECT_EQ(val(l->fillmotif), 0);
      }
    } else if (r.key == "text") {
      auto* t = static_cast<geotext_t*>(next(CLS_GEOTEXT));
      ASSERT_NE(t, nullptr);
      EXPECT_TRUE(near(t->coords.x, r.d(0)));
      const std::u16string want(r.rest.begin(), r.rest.end());
      EXPECT_EQ(text_of(t), want);
      EXPECT_EQ(val(t->font), 1);  // Arial
      EXPECT_EQ(val(t->colour), gps_rgb(255, 0, 0));
      auto* box = static_cast<georectangle_t*>(next(CLS_GEORECTANGLE));
      ASSERT_NE(box, nullptr);
      EXPECT_TRUE(near(box->coords.x1, r.d(0)));
      EXPECT_TRUE(near(box->coords.y1, r.d(1)));
      EXPECT_TRUE(near(t->coords.y, box->coords.y2));
    } else {
      continue;
    }
    ++checked;
  }
  EXPECT_EQ(k, got.size());
  EXPECT_EQ(checked, 7);
}

TEST_P(MifGdal, SystemCarriesGdalSamples) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(mif_path(), &f), 0);
  georef_t* g = georef_of(f);
  if (GetParam().refertype == 0) {
    EXPECT_EQ(g, nullptr);
    return;
  }
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(val(g->refertype), GetParam().refertype);
  xform_chain_t* chain = nullptr;
  georef_chain_to_ref(g, &chain);
  ASSERT_EQ(get_gblerr(), 0);
  int samples = 0;
  for (const ref_line& r : read_ref(ref_path())) {
    if (r.key != "sample") continue;
    double x = r.d(2), y = r.d(3), z = 0.0;
    if (chain) xform_chain_forward(chain, &x, &y, &z);
    const double to_deg = angle_unit_ratio(val(g->datum->unit), ANG_DEGREE, nullptr);
    if (g->refertype == GEOREF_GEOGRAPHIC) {
      // Geographic files: the sample's coordinates are its longitude and latitude.
      EXPECT_NEAR(r.d(2), r.d(0), 1e-9);
    }
    EXPECT_NEAR(x * to_deg, r.d(0), GetParam().sample_tolerance_deg);
    EXPECT_NEAR(y * to_deg, r.d(1), GetParam().sample_tolerance_deg);
    ++samples;
  }
  EXPECT_EQ(samples, 3);
  obj_t* c = chain;
  free_obj(&c);
}

// The export list of a loaded file: its first georeference, then its folder.
container_t* export_list(fileatt_t* f) {
  container_t* list = nullptr;
  obj_list_new(&list);
  if (georef_t* g = MifFixture::georef_of(f)) obj_list_append(list, g);
  obj_list_append(list, file_get_first_folder(f, nullptr));
  return list;
}

TEST_P(MifGdal, WrittenFileIsWhatGdalRead) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(mif_path(), &f), 0);
  container_t* list = export_list(f);
  const std::string out = dir_ + "/" + GetParam().name + ".mif";
  mif_write(out.c_str(), list);
  free_obj(&list);
  ASSERT_EQ(get_gblerr(), 0);
  const std::string written = slurp_file(out);
  if (const char* keep = std::getenv("TM_MIF_WRITTEN")) {
    write_file(std::string(keep) + "/" + GetParam().name + ".mif", written);
    return;
  }
  EXPECT_EQ(written, slurp_file(mif_fixture_dir() + "written/" + GetParam().name + ".mif"));
}

// What GDAL read from the writer's output: the objects as the styles write them (points,
// texts, lines, rectangles, polylines and regions, in the order of the default styles),
// with the coordinates read, and the file's system.
TEST_P(MifGdal, GdalReadsTheWrittenFile) {
  fileatt_t* f = nullptr;
  ASSERT_EQ(load_path(mif_path(), &f), 0);
  const std::vector<ref_line> ogr =
      read_ref(mif_fixture_dir() + "written/" + GetParam().name + ".ogr");
  ASSERT_FALSE(ogr.empty());
  EXPECT_EQ(ogr.back().key, "same_srs");
  EXPECT_EQ(ogr.back().words.at(0), "1");
  size_t k = 1;  // after the system line
  auto take = [&](const char* key) -> const ref_line* {
    if (k >= ogr.size() || ogr[k].key != key) {
      ADD_FAILURE() << "expected " << key << " at line " << k;
      return nullptr;
    }
    return &ogr[k++];
  };
  for (geopoint_t* p : all_of<geopoint_t>(f, CLS_GEOPOINT)) {
    const ref_line* r = take("point");
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(near(r->d(0), p->coords.x));
    EXPECT_TRUE(near(r->d(1), p->coords.y));
  }
  for (geotext_t* t : all_of<geotext_t>(f, CLS_GEOTEXT)) {
    const ref_line* r = take("text");
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(near(r->d(0), t->coords.x));
    EXPECT_EQ(std::u16string(r->rest.begin(), r->rest.end()), text_of(t));
  }
  for (geosegment_t* s : all_of<geosegment_t>(f, CLS_GEOSEGMENT)) {
    const ref_line* r = take("line");
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(near(r->d(0), s->coords.x1));
    EXPECT_TRUE(near(r->d(3), s->coords.y2));
  }
  for (georectangle_t* b : all_of<georectangle_t>(f, CLS_GEORECTANGLE)) {
    const ref_line* r = take("region");
    ASSERT_NE(r, nullptr);
    const ref_line* ring = take("ring");
    ASSERT_NE(ring, nullptr);
    double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
    for (size_t i = 1; i + 1 < ring->words.size(); i += 2) {
      xmin = std::min(xmin, ring->d(i));
      xmax = std::max(xmax, ring->d(i));
      ymin = std::min(ymin, ring->d(i + 1));
      ymax = std::max(ymax, ring->d(i + 1));
    }
    EXPECT_TRUE(near(xmin, b->coords.x1));
    EXPECT_TRUE(near(ymin, b->coords.y1));
    EXPECT_TRUE(near(xmax, b->coords.x2));
    EXPECT_TRUE(near(ymax, b->coords.y2));
  }
  for (loil_t* l : all_of<loil_t>(f, CLS_LOIL)) {
    const std::vector<double> pts = points_of(l);
    if (l->fillmotif == 0 && pts.size() == 4) {
      // GDAL gives a two-point polyline as a line.
      const ref_line* r = take("line");
      ASSERT_NE(r, nullptr);
      for (size_t i = 0; i < 4; ++i) EXPECT_TRUE(near(r->d(i), pts[i]));
      continue;
    }
    const ref_line* r = take(l->fillmotif ? "region" : "pline");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->words.at(0), "1");
    const ref_line* ring = take("ring");
    ASSERT_NE(ring, nullptr);
    ASSERT_EQ(ring->words.size(), pts.size() + 1);
    for (size_t i = 0; i < pts.size(); ++i) EXPECT_TRUE(near(ring->d(1 + i), pts[i]));
  }
  EXPECT_EQ(k + 1, ogr.size());
}

INSTANTIATE_TEST_SUITE_P(Systems, MifGdal, ::testing::ValuesIn(kGdalCases),
                         [](const ::testing::TestParamInfo<gdal_case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tm_test
