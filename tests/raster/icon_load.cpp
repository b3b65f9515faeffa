// The program's icons decoded by the image loading's PNG reader: every icon of the
// program folder gives the palette indices, colours and transparent index that PIL
// (Debian's python3) reads in it, the waypoint icon loader goes through it once the raster module has
// started, and a missing or damaged icon is refused with its error code.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/paths.h"
#include "map/gps_classes.h"
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

// PIL's reading of a palette icon: size, transparent index (-1: none), palette
// (red, green, blue per entry) and the index of every pixel, row after row.
struct pil_icon {
  int width = 0, height = 0, transparent = -1;
  std::vector<uint8_t> palette, indices;
};

std::vector<uint8_t> from_hex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// One line per icon: "mode width height transparent palette-hex indices-hex".
std::string pil_script() {
  const std::string script = tm_test::fresh_dir("pil-icon") + "read.py";
  std::ofstream(script) << "import sys\n"
                           "from PIL import Image\n"
                           "im = Image.open(sys.argv[1]); im.load()\n"
                           "t = im.info.get('transparency')\n"
                           "print(im.mode, im.width, im.height, t if isinstance(t, int) else -1,\n"
                           "      bytes(im.getpalette() or []).hex(), im.tobytes().hex())\n";
  return script;
}

bool pil_read(const std::string& script, const std::string& path, pil_icon* icon, std::string* mode) {
  FILE* p = popen(("/usr/bin/python3 '" + script + "' '" + path + "' 2>&1").c_str(), "r");
  if (!p) return false;
  std::string out;
  char buf[8192];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  std::istringstream in(out);
  std::string pal, idx;
  if (!(in >> *mode >> icon->width >> icon->height >> icon->transparent >> pal >> idx)) {
    *mode = out.substr(0, 300);
    return false;
  }
  icon->palette = from_hex(pal);
  icon->indices = from_hex(idx);
  return true;
}

TEST_F(IconLoadTest, EveryIconDecodesAsPilReadsIt) {
  if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "python3 is not installed";
  const std::vector<std::string> names = icon_names();
  ASSERT_FALSE(names.empty());
  const std::string script = pil_script();
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    pil_icon ref;
    std::string mode;
    ASSERT_TRUE(pil_read(script, TM_SOURCE_DIR "/data/" + name, &ref, &mode)) << mode;
    ASSERT_EQ(mode, "P");  // every icon is a palette image
    bitmap_t* b = own(raster_icon_load(name.c_str()));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(val(b->file), nullptr);
    ASSERT_EQ(val(b->width), ref.width);
    ASSERT_EQ(val(b->height), ref.height);
    ASSERT_EQ(val(b->planes), 1);
    EXPECT_EQ(samples(b), ref.indices);
    for (size_t i = 0; i < ref.palette.size() / 3 && i < 256; ++i) {
      ASSERT_EQ(b->lut_r[i], ref.palette[3 * i]) << "entry " << i;
      ASSERT_EQ(b->lut_g[i], ref.palette[3 * i + 1]) << "entry " << i;
      ASSERT_EQ(b->lut_b[i], ref.palette[3 * i + 2]) << "entry " << i;
    }
    EXPECT_EQ(val(b->has_transparent), ref.transparent >= 0 ? 1 : 0);
    if (ref.transparent >= 0) {
      EXPECT_EQ(val(b->transparent[0]), ref.transparent);
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
