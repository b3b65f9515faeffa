// The program's icons decoded by the image loading's PNG reader: every icon of the
// program folder gives the pixels, colour tables and transparent key that the icons' own
// decoder gives, the waypoint icon loader goes through it once the raster module has
// started, and a missing or damaged icon is refused with its error code.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/paths.h"
#include "map/gps_classes.h"
#include "map/png_read.h"
#include "tests/raster/image_load_fixture.h"

namespace {

class IconLoadTest : public raster_test::ImageLoadTest {
 protected:
  void SetUp() override {
    ImageLoadTest::SetUp();
    set_program_dir(TM_SOURCE_DIR "/data/");
  }
  void TearDown() override {
    set_program_dir(nullptr);
    ImageLoadTest::TearDown();
  }
};

std::vector<std::string> icon_names() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(TM_SOURCE_DIR "/data")) {
    const std::string n = e.path().filename().string();
    if ((n.rfind("wpt", 0) == 0 || n == kLapIconFile) && e.path().extension() == ".png")
      names.push_back(n);
  }
  return names;
}

// The bitmap's samples row after row, planes as stored.
std::vector<uint8_t> samples(bitmap_t* b) {
  std::vector<uint8_t> out;
  const size_t row = size_t(b->width) * size_t(b->planes);
  for (int y = 0; y < b->height; ++y) {
    const uint8_t* line = get_img_line_adr(b, y, 0);
    if (line) out.insert(out.end(), line, line + row);
  }
  return out;
}

TEST_F(IconLoadTest, EveryIconDecodesAsWithTheIconsOwnDecoder) {
  const std::vector<std::string> names = icon_names();
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    png_image ref;
    std::string why;
    ASSERT_EQ(png_read_file(name.c_str(), &ref, &why), 0) << why;
    bitmap_t* b = own(raster_icon_load(name.c_str()));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(val(b->file), nullptr);
    ASSERT_EQ(val(b->width), ref.width);
    ASSERT_EQ(val(b->height), ref.height);
    ASSERT_EQ(val(b->planes), ref.planes);
    EXPECT_EQ(samples(b), ref.pixels);
    EXPECT_EQ(val(b->has_transparent), ref.has_transparent);
    if (ref.planes == 1) {
      EXPECT_EQ(std::memcmp(b->lut_r, ref.lut[0], 256), 0);
      EXPECT_EQ(std::memcmp(b->lut_g, ref.lut[1], 256), 0);
      EXPECT_EQ(std::memcmp(b->lut_b, ref.lut[2], 256), 0);
      if (ref.has_transparent) {
        EXPECT_EQ(val(b->transparent[0]), ref.transparent[0]);
      }
    } else if (ref.has_transparent) {
      EXPECT_EQ(std::memcmp(b->transparent, ref.transparent, 3), 0);
    }
  }
}

TEST_F(IconLoadTest, WaypointIconLoaderGoesThroughTheImageDecoders) {
  ASSERT_EQ(get_bitmap_hooks().icon_load, raster_icon_load);
  bitmap_t* b = nullptr;
  ASSERT_NE(gpsobj_load_icon("wpt3.png", &b), nullptr);
  own(b);
  bitmap_t* direct = own(raster_icon_load("wpt3.png"));
  ASSERT_NE(direct, nullptr);
  EXPECT_STREQ(b->name, "wpt3.png");
  EXPECT_EQ(samples(b), samples(direct));
}

TEST_F(IconLoadTest, MissingOrDamagedIconIsRefused) {
  EXPECT_EQ(raster_icon_load("no_such_icon.png"), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_FILE_ACCESS);
  set_gblerr(0);
  const std::string bad = tm_test::fresh_dir("icon") + "bad.png";
  std::ofstream(bad, std::ios::binary) << "\x89PNG\r\n\x1a\n not a chunk";
  EXPECT_EQ(raster_icon_load(bad.c_str()), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_BAD_FILE);
  set_gblerr(0);
  const int before = image_count();
  EXPECT_EQ(gpsobj_load_icon("no_such_icon.png", nullptr), nullptr);
  EXPECT_EQ(image_count(), before);
}

}  // namespace
