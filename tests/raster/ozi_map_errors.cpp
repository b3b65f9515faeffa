// The OziExplorer calibration decoder on bad files: each gets its result code, gblerr is
// clear, and the record being loaded stays as it was.
#include <fstream>
#include <iterator>

#include "tests/raster/ozi_map_fixture.h"

namespace raster_test {
namespace {

std::string fixture_text(const std::string& name) {
  std::ifstream in(ozi_fixture(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text with the first line that begins with `head` replaced (removed when empty).
std::string with_line(std::string text, const std::string& head, const std::string& line) {
  const size_t at = text.compare(0, head.size(), head) == 0 ? 0 : text.find("\n" + head) + 1;
  const size_t end = text.find('\n', at);
  text.replace(at, end + 1 - at, line.empty() ? "" : line + "\r\n");
  return text;
}

// The geographic fixture with some lines changed.
std::string geo(const std::string& head, const std::string& line) {
  return with_line(fixture_text("geo_wgs84.map"), head, line);
}

std::string geo_points(const std::string& p2, const std::string& p3, const std::string& p4) {
  std::string t = fixture_text("geo_wgs84.map");
  t = with_line(t, "Point02,", p2);
  t = with_line(t, "Point03,", p3);
  return with_line(t, "Point04,", p4);
}

using OziMapErrors = OziMapTest;

TEST_F(OziMapErrors, BadFilesGiveTheirCode) {
  const std::string none = "Point09,xy,     ,     ,in, deg,    ,        ,N,    ,        ,E";
  const std::string on_line = "Point02,xy,20,15,in, deg,45,55.5,N,6,52.5,E";
  const std::string twin = "Point02,xy,0,0,in, deg,45,57.0,N,6,51.0,E";
  struct row {
    const char* what;
    std::string text;
    int code;
  };
  const row rows[] = {
      {"image missing", geo("C:\\", "C:\\Cartes\\absent.png"), 2},
      {"no image name", geo("C:\\", " "), 2},
      {"image not raster", geo("C:\\", "notes.txt"), 2},
      {"image is the calibration itself", geo("C:\\", "t.map"), 2},
      {"image is another calibration", geo("C:\\", "other.map"), 2},
      {"image unreadable", geo("C:\\", "broken.png"), 14},
      {"unknown datum", geo("WGS 84,", "Nowhere 1900,WGS 84,0,0,WGS 84"), 13},
      {"no projection line", geo("Map Projection", "Map Setup,Latitude/Longitude"), 14},
      {"transverse mercator without setup values",
       geo("Map Projection", "Map Projection,Transverse Mercator,PolyCal"), 13},
      {"lambert without setup values",
       geo("Map Projection", "Map Projection,Lambert Conformal Conic,Poly"), 14},
      {"lambert without setup line",
       with_line(geo("Map Projection", "Map Projection,Lambert Conformal Conic,Poly"),
                 "Projection Setup", ""),
       14},
      {"no image height", geo("IWH", ""), 14},
      {"height not finite", geo("IWH", "IWH,Map Image Width/Height,40,1e999"), 14},
      {"height zero", geo("IWH", "IWH,Map Image Width/Height,40,0"), 14},
      {"pixel not finite", geo("Point01", "Point01,xy,1e999,0,in, deg,45,57.0,N,6,51.0,E"), 14},
      {"minutes not finite", geo("Point01", "Point01,xy,0,0,in, deg,45,1e400,N,6,51.0,E"), 14},
      {"one point", geo_points(none, none, none), 14},
      {"two points at one pixel", geo_points(twin, none, none), 14},
      {"three points on a line", geo_points(on_line, none,
                                            "Point04,xy,40,30,in, deg,45,54.0,N,6,54.0,E"), 14},
  };
  tm_test::write_file(dir_ + "/notes.txt", "not an image\n");
  put(geo("C:\\", "t.map"), "other.map");
  tm_test::write_file(dir_ + "/broken.png", "\x89PNG\r\n\x1a\n broken");
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    bitmap_t* b = nullptr;
    EXPECT_EQ(decode_path(put(r.text), &b), r.code);
    EXPECT_EQ(val(b->georef), nullptr) << "the record being loaded stays as it was";
    EXPECT_EQ(val(b->lines), nullptr);
  }
}

TEST_F(OziMapErrors, MissingCalibrationFileCannotBeOpened) {
  bitmap_t* b = nullptr;
  EXPECT_EQ(decode_path(dir_ + "/absent.map", &b), 2);
  EXPECT_EQ(val(b->georef), nullptr);
}

// Every prefix of a good file: a result code or success, never a crash; on failure
// the record is untouched.
TEST_F(OziMapErrors, TruncatedAtEveryLength) {
  const std::string text = fixture_text("geo_wgs84.map");
  ASSERT_FALSE(text.empty());
  for (size_t n = 0; n < text.size(); ++n) {
    SCOPED_TRACE(n);
    bitmap_t* b = nullptr;
    const int rc = decode_path(put(text.substr(0, n)), &b);
    ASSERT_TRUE(rc == 0 || rc == 2 || rc == 13 || rc == 14) << rc;
    if (rc != 0) {
      ASSERT_EQ(val(b->georef), nullptr);
    }
  }
}

// More calibration lines than a file may hold: the first 30 are read, the rest are
// passed over on the way to the image height.
TEST_F(OziMapErrors, AbsurdPointCountReadsThirty) {
  std::string text = fixture_text("geo_wgs84.map");
  std::string extra;
  for (int i = 0; i < 5000; ++i) extra += "Point99,xy,1,1,in, deg,0,0,N,0,0,E\r\n";
  const size_t at = text.find("Projection Setup");
  text.insert(at, extra);
  bitmap_t* b = nullptr;
  ASSERT_EQ(decode_path(put(text), &b), 0);
  ASSERT_NE(val(b->georef), nullptr);
  EXPECT_NEAR(val(b->extent.xmin), 6.85, 1e-9);
  EXPECT_NEAR(val(b->extent.ymax), 45.95, 1e-9);
}

}  // namespace
}  // namespace raster_test
