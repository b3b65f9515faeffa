// The viewer's information texts, checked against what outside tools read from the same
// files: sizes and EXIF fields by exiftool, components and bits by PIL (the fixture
// script's own images), waypoint and track point counts by gpsbabel; in English and in
// French.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "formats/file_load.h"
#include "formats/gpx.h"
#include "map/bitmap_record.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "raster/exif_read.h"
#include "sorbinel/sb_info.h"
#include "tests/sorbinel/sb_browse_fixture.h"
#include "tests/support/run_tool.h"

namespace {

using sb_test::BrowseTest;

std::string info_fixture(const std::string& name) { return sb_test::fixture("info/" + name); }

// A number field of exiftool's JSON answer ("Name": value); NaN when absent.
double exif_number(const std::string& json, const std::string& name) {
  const std::regex re("\"" + name + "\": (-?[0-9.eE+-]+)");
  std::smatch m;
  return std::regex_search(json, m, re) ? std::atof(m[1].str().c_str()) : NAN;
}
std::string exif_text(const std::string& json, const std::string& name) {
  const std::regex re("\"" + name + "\": \"([^\"]*)\"");
  std::smatch m;
  return std::regex_search(json, m, re) ? m[1].str() : "";
}

std::string fmt(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

class InfoTest : public BrowseTest {
 protected:
  void SetUp() override {
    BrowseTest::SetUp();
    gpx_register_tables();
    gpsobj_types_register();
    exif_register_class();
  }
  void TearDown() override {
    gpsobj_free_icons();
    gpx_free_tables();
    BrowseTest::TearDown();
  }
  // The language of the texts (the language is read once after each reset).
  void french() {
    config_reset();
    config_temp_dir_set((dir_ + "swap/").c_str(), "s_");
    config_set("LANG", "FRANCAIS");
  }
  // The file object of a path, identified and loaded.
  static fileatt_t* load(const std::string& path) {
    fileatt_t* f = nullptr;
    file_open(nullptr, nullptr, path.c_str(), &f);
    if (!f) return nullptr;
    file_identify_and_load_default(f);
    EXPECT_EQ(file_load(f, nullptr, 0), 0) << path;
    return f;
  }
  static bitmap_t* first_image(fileatt_t* f) {
    folder_t* it = nullptr;
    while (folder_t* d = file_next_folder(f, &it))
      if (d->image && d->image->cls == CLS_BITMAP) return static_cast<bitmap_t*>(d->image);
    return nullptr;
  }
};

TEST_F(InfoTest, PhotoTextCarriesTheExifFieldsExiftoolReads) {
  if (!tm_test::tool_present("exiftool")) GTEST_SKIP() << "no exiftool";
  const std::string path = info_fixture("photo_exif.jpg");
  std::string json;
  ASSERT_EQ(tm_test::run_tool({"exiftool", "-n", "-j", path}, &json, 20000), 0) << json;
  fileatt_t* f = load(path);
  ASSERT_NE(f, nullptr);
  bitmap_t* b = first_image(f);
  ASSERT_NE(b, nullptr);
  const std::string text = sb_image_info_text(b);
  const int w = int(exif_number(json, "ImageWidth")), h = int(exif_number(json, "ImageHeight"));
  EXPECT_NE(text.find("Dimension\n" + std::to_string(w) + " x " + std::to_string(h) + " pixels"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\nPixel size\n3 x 8 bits"), std::string::npos) << text;
  EXPECT_NE(text.find("\nCamera\n" + exif_text(json, "Make")), std::string::npos) << text;
  EXPECT_NE(text.find(exif_text(json, "Model")), std::string::npos) << text;
  EXPECT_NE(text.find("\nDate\n2021-06-15T14:30:45"), std::string::npos) << text;
  EXPECT_NE(text.find(fmt("\nFocal\n%.2lf mm", exif_number(json, "FocalLength"))), std::string::npos) << text;
  EXPECT_NE(text.find(fmt("\n35mm focal equivalent\n%.2lf mm", exif_number(json, "FocalLengthIn35mmFormat"))),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(fmt("\nIso\n%.0lf", exif_number(json, "ISO"))), std::string::npos) << text;
  EXPECT_NE(text.find(fmt("\nTime exposure\n1/%.2lf s", 1.0 / exif_number(json, "ExposureTime"))),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(fmt("\nAperture\nF%.3lf", exif_number(json, "FNumber"))), std::string::npos) << text;
  EXPECT_NE(text.find(fmt("\nLens max aperture\nF %.1lf", exif_number(json, "MaxApertureValue"))),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(fmt("\nDistance\n%.4lf", exif_number(json, "SubjectDistance"))), std::string::npos) << text;
  EXPECT_NE(text.find("\nFlash\nOn"), std::string::npos) << text;
  char gps[128];
  std::snprintf(gps, sizeof gps, "\nGPS position (lon ; lat)\n(%.7lf ° ; %.7lf °)",
                exif_number(json, "GPSLongitude"), exif_number(json, "GPSLatitude"));
  EXPECT_NE(text.find(gps), std::string::npos) << text;
  // The whole file: its name, then the format and the image text.
  const std::string file_text = sb_file_info_text(f);
  EXPECT_EQ(file_text.rfind("Name\n" + path + "\nFormat\n", 0), 0u) << file_text;
  EXPECT_NE(file_text.find("\n" + text), std::string::npos);
}

TEST_F(InfoTest, FrenchPhotoTexts) {
  french();
  fileatt_t* f = load(info_fixture("photo_exif.jpg"));
  ASSERT_NE(f, nullptr);
  const std::string text = sb_image_info_text(first_image(f));
  for (const char* part : {"\nTaille des pixels\n3 x 8 bits", "\nAppareil photo\nTestMaker", "\nFocale\n35.00 mm",
                           "\nFocale équivalente en 35mm\n52.00 mm", "\nTemps de pose\n1/250.00 s",
                           "\nOuverture\nF 2.800", "\nOuverture maximale\nF 2.8", "\nFlash\nActif",
                           "\nPosition GPS (lon ; lat)\n("})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  EXPECT_EQ(sb_file_info_text(f).rfind("Nom\n", 0), 0u);
}

// Components and bits as the fixture script wrote them with PIL, and the status line's
// short description.
TEST_F(InfoTest, PixelSizeAndDescriptionOfGreyAndColourImages) {
  struct row {
    const char* file;
    const char* pixel_size;
    const char* description;
  };
  const row rows[] = {
      {"grey.png", "Dimension\n40 x 30 pixels\nPixel size\n8 bits", "PNG format 40 x 30  1 x 8 bits"},
      {"rgb.png", "Dimension\n50 x 20 pixels\nPixel size\n3 x 8 bits", "PNG format 50 x 20  3 x 8 bits"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.file);
    fileatt_t* f = load(info_fixture(r.file));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(sb_image_info_text(first_image(f)).rfind(r.pixel_size, 0), 0u) << sb_image_info_text(first_image(f));
    EXPECT_EQ(sb_file_description(f), r.description);
    int w = 0, h = 0;
    EXPECT_EQ(sb_image_size(f, &w, &h), 0);
    EXPECT_EQ(sb_image_dims_text(first_image(f)), std::string(r.description).substr(10));
  }
}

// Counts of the GPS text: gpsbabel reads the same files.
int gpsbabel_count(const std::string& path, const std::vector<std::string>& options) {
  // Filters act on what was read before them: they follow the input.
  std::vector<std::string> args = {"gpsbabel", "-i", "gpx", "-f", path};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {"-o", "csv", "-F", "-"});
  std::string out;
  if (tm_test::run_tool(args, &out, 20000) != 0) return -1;
  int lines = 0;
  for (char c : out)
    if (c == '\n') ++lines;
  return lines;
}

TEST_F(InfoTest, GpsCountsMatchGpsbabel) {
  if (!tm_test::tool_present("gpsbabel")) GTEST_SKIP() << "no gpsbabel";
  struct row {
    const char* file;
    bool has_route;
  };
  for (const row& r : {row{"tracks.gpx", false}, row{"route.gpx", true}}) {
    SCOPED_TRACE(r.file);
    const std::string path = info_fixture(r.file);
    // Route points that are not among the file's waypoints join its waypoints.
    const int waypoints = gpsbabel_count(path, {"-x", "nuketypes,tracks,routes"}) +
                          gpsbabel_count(path, {"-x", "nuketypes,tracks,waypoints"});
    const int trackpoints = gpsbabel_count(path, {"-x", "nuketypes,waypoints,routes"});
    SCOPED_TRACE("gpsbabel: " + std::to_string(waypoints) + " waypoints, " + std::to_string(trackpoints) +
                 " track points");
    fileatt_t* f = load(path);
    ASSERT_NE(f, nullptr);
    const std::string text = sb_file_info_text(f);
    EXPECT_NE(text.find("\nFormat\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nNumber of waypoints\n" + std::to_string(waypoints)), std::string::npos) << text;
    if (trackpoints > 0) {
      EXPECT_NE(text.find("\nNumber of trackpoints\n" + std::to_string(trackpoints)), std::string::npos) << text;
      EXPECT_NE(text.find("\nNumber of tracksegments\n2"), std::string::npos) << text;
      EXPECT_NE(text.find("\nNumber of tracklogs\n1"), std::string::npos) << text;
    } else {
      EXPECT_EQ(text.find("trackpoints"), std::string::npos) << text;
    }
    EXPECT_EQ(text.find("\nNumber of routes\n") != std::string::npos, r.has_route) << text;
    EXPECT_NE(text.find("\nTotal number of objects\n"), std::string::npos);
    EXPECT_NE(text.find("\nGeodetic system\n"), std::string::npos) << text;
    int w = -1, h = -1;
    EXPECT_EQ(sb_image_size(f, &w, &h), ERR_GEOGRAPHIC);
  }
}

TEST_F(InfoTest, FrenchGpsCounts) {
  french();
  fileatt_t* f = load(info_fixture("tracks.gpx"));
  ASSERT_NE(f, nullptr);
  const std::string text = sb_file_info_text(f);
  for (const char* part : {"Nom\n", "\nNombre total d'objets\n", "\nNombre de waypoints\n3",
                           "\nNombre de trackpoints\n5", "\nSysteme geodesique\n"})
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
}

// Exposure, flash and missing values on a record made here: the exact texts.
TEST_F(InfoTest, ExposureTextsAndAbsentValues) {
  fileatt_t* f = load(info_fixture("rgb.png"));
  bitmap_t* b = first_image(f);
  ASSERT_NE(b, nullptr);
  obj_t* meta = nullptr;
  obj_new_registered(CLS_PHOTO_META, &meta);
  ASSERT_NE(meta, nullptr);
  b->exif = meta;
  auto* m = static_cast<photo_meta_t*>(meta);
  struct row {
    double exposure;
    int flash;
    const char* expected;
  };
  const row rows[] = {
      {0.004, 1, "\nTime exposure\n1/250.00 s\nFlash\nOn"},
      {2.0, -1, "\nTime exposure\n2.0000 s\nFlash\nOff"},
      {0.0, 0, ""},
  };
  const std::string base = sb_image_info_text(b).substr(0, std::string("Dimension\n50 x 20 pixels\nPixel size\n3 x 8 bits").size());
  for (const row& r : rows) {
    m->exposure_time = r.exposure;
    m->flash = r.flash;
    EXPECT_EQ(sb_image_info_text(b), base + r.expected);
  }
  b->exif = nullptr;
  free_obj(&meta);
}

// A compressed file (kind 128) names its compression by its format code; other kinds
// have no description.
TEST_F(InfoTest, CompressedFilesNameTheirCompression) {
  struct row {
    int kind, format;
    const char* text;
    const char* description;
  };
  const row rows[] = {
      {kFileKindArchive, 52, "\nCompression\nGzip", "GZIP"},
      {kFileKindArchive, 53, "\nCompression\nZip", "GZIP"},
      {kFileKindArchive, 40, "", "GZIP"},
      {kFileKindFolder, 0, "", ""},
  };
  const std::string path = info_fixture("rgb.png");
  for (const row& r : rows) {
    SCOPED_TRACE(r.text);
    fileatt_t* f = nullptr;
    file_open(nullptr, nullptr, path.c_str(), &f);
    ASSERT_NE(f, nullptr);
    f->filetype = r.kind;
    f->fileformat = uint32_t(r.format);
    EXPECT_EQ(sb_file_info_text(f), "Name\n" + path + r.text);
    EXPECT_EQ(sb_file_description(f), r.description);
  }
}

TEST_F(InfoTest, AboutTitleCountsMemoryInMebibytes) {
  EXPECT_EQ(sb_about_title(0.0), std::string("Sorbinel v5.0.0 (01-APR-2009) ") + kSbWebAddress + " - Mem 1Mb");
  EXPECT_EQ(sb_about_title(3.0 * 1048576.0 + 5), std::string("Sorbinel v5.0.0 (01-APR-2009) ") + kSbWebAddress +
                                                       " - Mem 4Mb");
  french();
  EXPECT_EQ(sb_about_title(0.0), std::string("Sorbinel v5.0.0 (1 avril 2009) ") + kSbWebAddress + " - Mem 1Mo");
}

}  // namespace
