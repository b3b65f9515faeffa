// Images of GPS TrackMaker files, loaded through the dispatcher with the image decoders:
// the images a binary file stores after its records (read through embedded file objects
// and placed on the file's user grid), and the image lines of text files, whose UTM zone
// may move every point read before into the image's zone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "formats/gtm.h"
#include "geodesy/georef.h"
#include "geodesy/xform.h"
#include "geodesy/xform_records.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "raster/image_load.h"
#include "tests/formats/load_fixture.h"

namespace {

using tm_test::slurp_file;

const std::string kDir = TM_FIXTURE_DIR "/gtm/";

class GtmImages : public tm_test::LoadFixture {
 protected:
  void SetUp() override {
    LoadFixture::SetUp();
    image_decoders_install();
    gtm_init();
    ASSERT_EQ(get_gblerr(), 0);
  }
  fileatt_t* load_path(const std::string& path, int* rc) {
    fileatt_t* f = open(path);
    *rc = f ? file_load(f, nullptr, 0) : -1;
    set_gblerr(0);
    return f;
  }
  // The file's georeferenced images (the list also holds the icons of its waypoints).
  static std::vector<bitmap_t*> images_of(const fileatt_t* f) {
    std::vector<bitmap_t*> out;
    for (bitmap_t* b : tm_test::objects_of<bitmap_t>(f->sot, CLS_BITMAP))
      if (b->georef) out.push_back(b);
    return out;
  }
  // The map position of an image pixel.
  static void pixel_to_map(const bitmap_t* b, double px, double py, double* x, double* y) {
    *x = px;
    *y = py;
    double z = 0;
    xform_forward(b->georef->transfo, b->georef->transfotype, x, y, &z);
  }
};

TEST_F(GtmImages, AStoredImageIsPlacedOnTheUserGrid) {
  int rc = -1;
  fileatt_t* f = load_path(kDir + "user_grid.gtm", &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(int(f->fileformat), kGtmFormat);
  const auto images = images_of(f);
  ASSERT_EQ(images.size(), 1u);
  const bitmap_t* b = images[0];
  EXPECT_STREQ(b->name, "grid.bmp");
  const int width = b->width, height = b->height;
  EXPECT_EQ(width, 4);
  EXPECT_EQ(height, 2);
  const georef_t* image_georef = b->georef;
  ASSERT_NE(image_georef, nullptr);
  const int kind = image_georef->refertype;
  ASSERT_EQ(kind, GEOREF_PROJECTED);
  const cartproj_t* grid = b->georef->projection;
  ASSERT_NE(grid, nullptr);
  EXPECT_NE(std::string(grid->name).find("GPS TrackMaker User Grid"), std::string::npos);
  std::istringstream answers(slurp_file(kDir + "user_grid.csv"));
  std::string line;
  std::getline(answers, line);
  const auto c = tm_test::split_fields(line, ';');
  double x = 0, y = 0;
  pixel_to_map(b, 0, 0, &x, &y);
  EXPECT_NEAR(x, std::stod(c[1]), 0.01);
  EXPECT_NEAR(y, std::stod(c[2]), 0.01);
  pixel_to_map(b, 4, 2, &x, &y);
  EXPECT_NEAR(x, std::stod(c[3]), 0.01);
  EXPECT_NEAR(y, std::stod(c[4]), 0.01);
  // The waypoint stays geographic, in the file's own georeference.
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 1);
}

// The progress label of each stored image, in the user's language.
TEST_F(GtmImages, TheImageLabelFollowsTheLanguage) {
  static std::vector<std::string> shown;
  const command_hooks saved = get_command_hooks();
  get_command_hooks().progress_file_position = [](const char* text) { shown.push_back(text); };
  const struct {
    const char* lang;
    const char* label;
  } cases[] = {{"FRANCAIS", "Chargement des images 1"}, {"ENGLISH", "Loading images 1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lang);
    shown.clear();
    config_reset();  // the language is read once per configuration
    config_set("LANG", c.lang);
    // A copy of its own per language: each is a file not loaded yet.
    const std::string copy =
        tm_test::write_file(dir_ + "/" + c.lang + ".gtm", slurp_file(kDir + "user_grid.gtm"));
    int rc = -1;
    load_path(copy, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_NE(std::find(shown.begin(), shown.end(), c.label), shown.end());
  }
  get_command_hooks() = saved;
}

// The images whose data lie in the file are loaded; the first that runs past its end
// stops the read with 14.
TEST_F(GtmImages, ImagesBeforeDataPastTheEndAreStillLoaded) {
  int rc = -1;
  fileatt_t* f = load_path(kDir + "image_partly_oversize.gtm", &rc);
  EXPECT_EQ(rc, 14);
  ASSERT_NE(f, nullptr);
}

TEST_F(GtmImages, EmbeddedFilesReadTheirPartOfTheParent) {
  const std::string path = put("parent.bin", "0123456789abcdef");
  fileatt_t* parent = open(path);
  ASSERT_NE(parent, nullptr);
  fileatt_t* child = embedded_file_create(parent);
  ASSERT_NE(child, nullptr);
  EXPECT_STREQ(file_get_name(child), file_get_name(parent));
  const int kind = child->filetype;
  EXPECT_EQ(kind, 7);
  const obj_t* father = child->father;
  EXPECT_EQ(father, parent);
  file_set(child, FF_START, 10);
  file_set(child, FF_SIZE, 4);
  ASSERT_EQ(rd_open(child, 0, 1), 0);
  char got[5] = {};
  EXPECT_EQ(rd_read_bytes(got, 4), 4);
  EXPECT_STREQ(got, "abcd");
  EXPECT_EQ(rd_size(), 4);
  rd_close_file(child);
}

TEST_F(GtmImages, ImageLinesOfTextFilesMoveEarlierPointsIntoTheirZone) {
  const std::string bmp = slurp_file(kDir + "user_grid.gtm");
  // The BMP stored at the end of the binary fixture, as a file of its own.
  const std::string image = put("tile.bmp", bmp.substr(bmp.find("BM")));
  const std::string text =
      "Version,212\nWGS 1984 (GPS),217,6378137,298.257223563,0,0,0\n"
      "w,utm,A,31,U,500000,5400000,,01/01/2020,00:00:00,0,1,0\n"
      "i,utm,32,U,200000,5500000,32,U,300000,5400000," + image + "\n"
      "i,utm,33,U,200000,5500000,33,U,300000,5400000," + image + "\n"
      "i,utm,32,U,200000,5500000,32,U,300000,5400000," + dir_ + "/missing.bmp\n";
  int rc = -1;
  fileatt_t* f = load_path(put("images.txt", text), &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(int(f->fileformat), kGtmTextFormat);
  const auto georefs = tm_test::objects_of<georef_t>(f->sot, CLS_GEOREF);
  ASSERT_EQ(georefs.size(), 1u);
  const georef_t* g = georefs[0];
  const int kind = g->refertype;
  ASSERT_EQ(kind, GEOREF_PROJECTED);
  const cartproj_t* zone = g->projection;
  ASSERT_NE(zone, nullptr);
  EXPECT_NE(std::string(zone->name).find("UTM zone 32N"), std::string::npos);
  // A of zone 31 (3 degrees east, its central meridian) now in zone 32's grid.
  const auto w = tm_test::objects_of<waypoint_t>(f->sot, CLS_WAYPOINT);
  ASSERT_EQ(w.size(), 1u);
  double x = w[0]->coords.x, y = w[0]->coords.y;
  xform_chain_t* chain = nullptr;
  georef_chain_to_ref(g, &chain);
  ASSERT_NE(chain, nullptr);
  double z = 0;
  xform_chain_forward(chain, &x, &y, &z);
  obj_t* o = chain;
  free_obj(&o);
  EXPECT_NEAR(x, 3.0, 1e-7);
  // The image of the other zone is skipped once an image is placed.
  const auto images = images_of(f);
  ASSERT_EQ(images.size(), 1u);
  double px = 0, py = 0;
  z = 0;
  xform_forward(images[0]->georef->transfo, images[0]->georef->transfotype, &px, &py, &z);
  EXPECT_NEAR(px, 200000, 1e-6);
  EXPECT_NEAR(py, 5500000, 1e-6);
}

// Image lines naming no image: the text file itself, a folder, a file of another kind.
TEST_F(GtmImages, ImageLinesNamingNoImageAreSkipped) {
  const std::string self = dir_ + "self.txt";
  const std::string other = put("other.txt", "not an image\n");
  const std::string text =
      "Version,212\nWGS 1984 (GPS),217,6378137,298.257223563,0,0,0\n"
      "w,d,A,1,2,,01/01/2020,00:00:00,0,1,0\n"
      "i,d,1,2,0,3," + self + "\n" + "i,d,1,2,0,3," + dir_ + "\n" + "i,d,1,2,0,3," + other + "\n";
  int rc = -1;
  fileatt_t* f = load_path(put("self.txt", text), &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(obj_list_count_of_class(f->sot, CLS_WAYPOINT), 1);
  EXPECT_TRUE(images_of(f).empty());
}

}  // namespace
