// Toolbar pictures: the standard images, bitmap files (.bmp) in their encodings and
// their faults, transparency by colour key, and image lists.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "platform/ui/ctl_toolbar.h"
#include "platform/ui/image_list.h"
#include "platform/ui/ctl_toolbar_bmp.h"
#include "tests/platform/ui_fixture.h"
#include "tests/support/harness_views.h"
#include "tests/support/test_env.h"

using namespace plat;
using namespace ui_test;
using ui_detail::BmpPicture;
using ui_detail::BmpStatus;

namespace {

constexpr uint32_t kFace = 0xFFF0F0F0u;
constexpr uint32_t kMagenta = 0xFF00FF, kRed = 0xD00000, kGrey = 0xC0C0C0, kBlue = 0x0000C0, kBlack = 0x000000;

// Two 16 x 16 images side by side on a magenta ground: a red square with a grey stripe
// under it, and a blue diagonal with a black dot.
std::vector<uint32_t> sample_picture() {
  std::vector<uint32_t> px(32 * 16, kMagenta);
  for (int y = 3; y < 12; ++y)
    for (int x = 3; x < 12; ++x) px[size_t(y * 32 + x)] = kRed;
  for (int x = 2; x < 14; ++x) px[size_t(14 * 32 + x)] = kGrey;
  for (int i = 1; i < 15; ++i) px[size_t(i * 32 + 16 + i)] = kBlue;
  px[size_t(8 * 32 + 28)] = kBlack;
  return px;
}

void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

struct Encoding {
  int bits;
  bool top_down;
  int header;            // 12, 40 or 124 bytes
  bool short_palette;    // colors_used gives only the colours used
};

// Writes a picture (0xRRGGBB words) as a .bmp file image.
std::vector<uint8_t> encode(const std::vector<uint32_t>& px, int w, int h, const Encoding& e) {
  std::vector<uint32_t> palette;
  if (e.bits <= 8) {
    std::set<uint32_t> distinct(px.begin(), px.end());
    palette.assign(distinct.begin(), distinct.end());
    if (!e.short_palette) palette.resize(size_t(1) << e.bits, 0);
  }
  const size_t entry = e.header == 12 ? 3 : 4;
  const uint32_t row = uint32_t(((w * e.bits + 31) / 32) * 4);
  const uint32_t offset = uint32_t(14 + e.header + palette.size() * entry);
  std::vector<uint8_t> b = {'B', 'M'};
  put32(b, offset + row * uint32_t(h));
  put32(b, 0);
  put32(b, offset);
  put32(b, uint32_t(e.header));
  if (e.header == 12) {
    put16(b, uint32_t(w));
    put16(b, uint32_t(h));
    put16(b, 1);
    put16(b, uint32_t(e.bits));
  } else {
    put32(b, uint32_t(w));
    put32(b, uint32_t(e.top_down ? -h : h));
    put16(b, 1);
    put16(b, uint32_t(e.bits));
    put32(b, 0);
    put32(b, row * uint32_t(h));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, e.short_palette ? uint32_t(palette.size()) : 0);
    put32(b, 0);
    b.resize(14 + size_t(e.header), 0);
  }
  for (uint32_t c : palette) {
    b.push_back(uint8_t(c));
    b.push_back(uint8_t(c >> 8));
    b.push_back(uint8_t(c >> 16));
    if (entry == 4) b.push_back(0);
  }
  for (int r = 0; r < h; ++r) {
    const int y = e.top_down ? r : h - 1 - r;
    std::vector<uint8_t> line(row, 0);
    for (int x = 0; x < w; ++x) {
      const uint32_t c = px[size_t(y * w + x)];
      if (e.bits >= 24) {
        const size_t at = size_t(x) * size_t(e.bits / 8);
        line[at] = uint8_t(c);
        line[at + 1] = uint8_t(c >> 8);
        line[at + 2] = uint8_t(c >> 16);
      } else {
        const uint32_t index = uint32_t(std::find(palette.begin(), palette.end(), c) - palette.begin());
        const int per = 8 / e.bits;
        line[size_t(x / per)] |= uint8_t(index << (8 - e.bits * (x % per + 1)));
      }
    }
    b.insert(b.end(), line.begin(), line.end());
  }
  return b;
}

std::string save(const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = tm_test::sandbox_dir() + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  if (f) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

TEST(BitmapFiles, EveryEncodingGivesThePicture) {
  const std::vector<uint32_t> px = sample_picture();
  const Encoding encodings[] = {
      {24, false, 40, false}, {24, true, 40, false}, {32, false, 40, false}, {8, false, 40, false},
      {8, true, 40, true},    {4, false, 40, false}, {24, false, 124, false}, {8, false, 12, false},
  };
  for (const Encoding& e : encodings) {
    const std::vector<uint8_t> bytes = encode(px, 32, 16, e);
    BmpPicture pic;
    ASSERT_EQ(ui_detail::decode_bmp(bytes.data(), bytes.size(), &pic), BmpStatus::ok) << e.bits << "/" << e.header;
    ASSERT_EQ(pic.width, 32);
    ASSERT_EQ(pic.height, 16);
    size_t wrong = 0;
    for (size_t i = 0; i < px.size(); ++i) wrong += pic.pixels[i] != (0xFF000000u | px[i]);
    EXPECT_EQ(wrong, 0u) << "bits " << e.bits << " top-down " << e.top_down << " header " << e.header;
  }
  // One bit per pixel.
  std::vector<uint32_t> two(19 * 3, kBlack);
  two[5] = two[20] = two[56] = 0xFFFFFF;
  const std::vector<uint8_t> mono = encode(two, 19, 3, Encoding{1, false, 40, false});
  BmpPicture pic;
  ASSERT_EQ(ui_detail::decode_bmp(mono.data(), mono.size(), &pic), BmpStatus::ok);
  for (size_t i = 0; i < two.size(); ++i) EXPECT_EQ(pic.pixels[i], 0xFF000000u | two[i]) << i;
}

TEST(BitmapFiles, FaultyFilesGetAClearStatus) {
  const std::vector<uint8_t> good = encode(sample_picture(), 32, 16, Encoding{8, false, 40, false});
  auto at32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  auto at16 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
  };
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
    BmpStatus expected;
  };
  const Case cases[] = {
      {"signature", [](auto& b) { b[0] = 'X'; }, BmpStatus::not_bitmap},
      {"header size", [&](auto& b) { at32(b, 14, 64); }, BmpStatus::not_bitmap},
      {"cut in the header", [](auto& b) { b.resize(30); }, BmpStatus::bad_header},
      {"cut in the file header", [](auto& b) { b.resize(12); }, BmpStatus::not_bitmap},
      {"cut in the rows", [](auto& b) { b.resize(b.size() - 10); }, BmpStatus::bad_header},
      {"width 0", [&](auto& b) { at32(b, 18, 0); }, BmpStatus::bad_header},
      {"height 0", [&](auto& b) { at32(b, 22, 0); }, BmpStatus::bad_header},
      {"two planes", [&](auto& b) { at16(b, 26, 2); }, BmpStatus::bad_header},
      {"palette of 300", [&](auto& b) { at32(b, 46, 300); }, BmpStatus::bad_header},
      {"rows beyond the file", [&](auto& b) { at32(b, 10, 1u << 30); }, BmpStatus::bad_header},
      {"rows over the palette", [&](auto& b) { at32(b, 10, 60); }, BmpStatus::bad_header},
      {"run-length coding", [&](auto& b) { at32(b, 30, 1); }, BmpStatus::unsupported},
      {"16 bits", [&](auto& b) { at16(b, 28, 16); }, BmpStatus::unsupported},
      {"wide", [&](auto& b) { at32(b, 18, 100000); }, BmpStatus::too_large},
      {"tall top-down", [&](auto& b) { at32(b, 22, uint32_t(-100000)); }, BmpStatus::too_large},
      {"too many pixels", [&](auto& b) { at32(b, 18, 4096); at32(b, 22, 2048); }, BmpStatus::too_large},
      {"negative width", [&](auto& b) { at32(b, 18, uint32_t(-32)); }, BmpStatus::bad_header},
      {"height of the lowest integer", [&](auto& b) { at32(b, 22, 0x80000000u); }, BmpStatus::too_large},
      {"header size of 4 GB", [&](auto& b) { at32(b, 14, 0xFFFFFFFFu); }, BmpStatus::not_bitmap},
      {"rows at the last offset", [&](auto& b) { at32(b, 10, 0xFFFFFFFFu); }, BmpStatus::bad_header},
      {"rows inside the headers", [&](auto& b) { at32(b, 10, 20); }, BmpStatus::bad_header},
      {"rows at the file's end", [&](auto& b) { at32(b, 10, uint32_t(b.size())); }, BmpStatus::bad_header},
      {"palette of 4 G colours", [&](auto& b) { at32(b, 46, 0xFFFFFFFFu); }, BmpStatus::bad_header},
      {"no bits per pixel", [&](auto& b) { at16(b, 28, 0); }, BmpStatus::unsupported},
      {"colour masks", [&](auto& b) { at32(b, 30, 3); }, BmpStatus::unsupported},
      {"core header cut", [&](auto& b) { at32(b, 14, 12); b.resize(24); }, BmpStatus::bad_header},
      {"a 40-byte header read as a core one", [&](auto& b) { at32(b, 14, 12); }, BmpStatus::bad_header},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.spoil(bytes);
    BmpPicture pic;
    EXPECT_EQ(ui_detail::decode_bmp(bytes.data(), bytes.size(), &pic), c.expected) << c.what;
    EXPECT_EQ(load_bitmap_file(save("bad.bmp", bytes).c_str(), 0), nullptr) << c.what;
  }
  // An index beyond a short palette reads as black.
  std::vector<uint8_t> bytes = encode(sample_picture(), 32, 16, Encoding{8, false, 40, true});
  at32(bytes, 46, 2);  // five colours written, two declared
  BmpPicture pic;
  ASSERT_EQ(ui_detail::decode_bmp(bytes.data(), bytes.size(), &pic), BmpStatus::ok);
  EXPECT_EQ(std::set<uint32_t>(pic.pixels.begin(), pic.pixels.end()).size(), 2u) << "black and blue";
  EXPECT_EQ(pic.pixels[5 * 32 + 5], 0xFF000000u) << "the red square's index is beyond the palette";
  EXPECT_EQ(ui_detail::read_bmp_file((tm_test::sandbox_dir() + "missing.bmp").c_str(), &pic), BmpStatus::unreadable);
}

class ToolbarImages : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    register_toolbar_control();
    parent_ = top("Sorbinel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, Rect{0, 0, 640, 480});
    tm_test::run_until_idle();
  }
  void TearDown() override {
    for (Wnd w : top_level_windows()) destroy_window(w);
    UiTest::TearDown();
  }
  Wnd toolbar(std::vector<int> images) {
    Wnd tb = create_window(0, kToolbarClass, "", WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT, 0, 0, 0, 0, parent_, 10000);
    std::vector<TbButton> buttons;
    for (int i : images) {
      TbButton b;
      b.bitmap = i;
      b.command = 100 + i;
      buttons.push_back(b);
    }
    send_message(tb, TB_ADDBUTTONS, buttons.size(), LParam(buttons.data()));
    return tb;
  }
  static std::vector<uint32_t> pixels_of(Wnd tb, int index) {
    Rect r;
    send_message(tb, TB_GETITEMRECT, WParam(index), LParam(&r));
    std::vector<uint32_t> out;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) out.push_back(tm_test::pixel_at(tb, x, y));
    return out;
  }
  static bool has(const std::vector<uint32_t>& px, uint32_t colour) {
    return std::find(px.begin(), px.end(), 0xFF000000u | colour) != px.end();
  }
  Wnd parent_ = nullptr;
};

TEST_F(ToolbarImages, TheStandardImagesAreDrawnEachTheirOwnWay) {
  for (uintptr_t which : {IDB_STD_SMALL_COLOR, IDB_STD_LARGE_COLOR}) {
    std::vector<int> all;
    for (int i = 0; i < STD_IMAGE_COUNT; ++i) all.push_back(i);
    Wnd tb = toolbar(all);
    TbAddBitmap ab;
    ab.instance = HINST_COMMCTRL;
    ab.id = which;
    EXPECT_EQ(send_message(tb, TB_ADDBITMAP, 0, LParam(&ab)), 0);
    send_message(tb, TB_AUTOSIZE, 0, 0);
    tm_test::run_until_idle();
    std::set<std::vector<uint32_t>> distinct;
    for (int i = 0; i < STD_IMAGE_COUNT; ++i) {
      const std::vector<uint32_t> px = pixels_of(tb, i);
      EXPECT_GT(std::set<uint32_t>(px.begin(), px.end()).size(), 1u) << "image " << i;
      EXPECT_TRUE(has(px, 0xF0F0F0)) << "transparent around image " << i;
      EXPECT_FALSE(has(px, 0xFF00FF)) << "no key colour left in image " << i;
      distinct.insert(px);
    }
    EXPECT_EQ(distinct.size(), size_t(STD_IMAGE_COUNT)) << "size " << which;
    EXPECT_TRUE(has(pixels_of(tb, STD_DELETE), 0xDC0000)) << "red cross";
    EXPECT_TRUE(has(pixels_of(tb, STD_FILEOPEN), 0xF0C828)) << "yellow folder";
    EXPECT_TRUE(has(pixels_of(tb, STD_FILESAVE), 0x000080)) << "navy disk";
    destroy_window(tb);
  }
  Wnd tb = toolbar({0});
  TbAddBitmap other;
  other.instance = HINST_COMMCTRL;
  other.id = 8;  // not a list this toolbar draws
  EXPECT_EQ(send_message(tb, TB_ADDBITMAP, 0, LParam(&other)), -1);
}

TEST_F(ToolbarImages, ABitmapFileKeepsItsTransparentGround) {
  const std::string dir = tm_test::fresh_dir("toolbar");
  std::string path = dir + "zoomplus32.bmp";
  save(path.substr(tm_test::sandbox_dir().size()), encode(sample_picture(), 32, 16, Encoding{24, false, 40, false}));
  std::string windows_path = path;
  std::replace(windows_path.begin(), windows_path.end(), '/', '\\');
  struct Case {
    unsigned flags;
    bool ground_shows;  // the magenta ground is drawn
  };
  for (Case c : {Case{LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS, false}, Case{0, true}}) {
    Bitmap bmp = load_bitmap_file(windows_path.c_str(), c.flags);
    ASSERT_NE(bmp, nullptr) << "'\\' is a separator too";
    ASSERT_EQ(get_bitmap_size(bmp), (Size{32, 16}));
    const Surface* s = bitmap_surface(bmp);
    EXPECT_EQ(s->at(0, 0) >> 24, c.ground_shows ? 0xFFu : 0u);
    EXPECT_EQ(s->at(5, 5), 0xFF000000u | kRed);
    EXPECT_EQ(s->at(5, 14) & 0xFFFFFFu, c.flags ? 0xF0F0F0u : kGrey) << "grey 192 becomes the face colour";

    Wnd tb = toolbar({0, 1});
    TbAddBitmap ab;
    ab.id = uintptr_t(bmp);
    EXPECT_EQ(send_message(tb, TB_ADDBITMAP, 2, LParam(&ab)), 0);
    delete_object(bmp);  // the toolbar keeps its own copy
    send_message(tb, TB_AUTOSIZE, 0, 0);
    tm_test::run_until_idle();
    EXPECT_EQ(loword(uintptr_t(send_message(tb, TB_GETBUTTONSIZE, 0, 0))), 16u + 7u) << "two images 16 wide";
    const std::vector<uint32_t> first = pixels_of(tb, 0), second = pixels_of(tb, 1);
    EXPECT_TRUE(has(first, kRed));
    EXPECT_FALSE(has(first, kBlue));
    EXPECT_TRUE(has(second, kBlue));
    EXPECT_EQ(has(first, kMagenta), c.ground_shows);
    EXPECT_FALSE(has(first, kGrey)) << "grey 192 is transparent on a toolbar";
    EXPECT_TRUE(has(first, 0xF0F0F0));
    destroy_window(tb);
  }
  EXPECT_EQ(load_bitmap_file((dir + "absent.bmp").c_str(), 0), nullptr);
}

TEST_F(ToolbarImages, ImageListsDrawWithTheirTransparency) {
  const std::string path = tm_test::sandbox_dir() + "etats.bmp";
  save("etats.bmp", encode(sample_picture(), 32, 16, Encoding{4, false, 40, false}));
  ImageList list = image_list_load_file(path.c_str(), 16, CLR_DEFAULT);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(image_list_count(list), 2);
  EXPECT_EQ(image_list_image_size(list), (Size{16, 16}));

  Dc dc = create_compatible_dc(nullptr);
  Bitmap target = create_bitmap(40, 20, nullptr);
  GdiObj old = select_object(dc, target);
  Brush white = create_solid_brush(rgb(255, 255, 255));
  fill_rect(dc, Rect{0, 0, 40, 20}, white);
  delete_object(white);
  EXPECT_TRUE(image_list_draw(list, 0, dc, 2, 2));
  EXPECT_TRUE(image_list_draw(list, 1, dc, 20, 2, true));
  EXPECT_FALSE(image_list_draw(list, 2, dc, 0, 0)) << "no third image";
  const Surface* s = bitmap_surface(target);
  EXPECT_EQ(s->at(2, 2), 0xFFFFFFFFu) << "the key colour is transparent";
  EXPECT_EQ(s->at(2 + 5, 2 + 5), 0xFF000000u | kRed);
  EXPECT_EQ(s->at(20 + 5, 2 + 5), 0xFF000000u | 0xA0A0A0u) << "greyed in the shadow colour";
  EXPECT_EQ(s->at(20 + 2, 2 + 5), 0xFFFFFFFFu);
  select_object(dc, old);
  delete_object(target);
  delete_dc(dc);

  EXPECT_TRUE(image_list_destroy(list));
  EXPECT_EQ(image_list_count(list), -1) << "a destroyed list";
  EXPECT_FALSE(image_list_destroy(list));
  EXPECT_EQ(image_list_create(0, 16), nullptr);
  EXPECT_EQ(image_list_create(16, 4096), nullptr);
  EXPECT_EQ(image_list_load_file((tm_test::sandbox_dir() + "none.bmp").c_str(), 16, CLR_DEFAULT), nullptr);
}

}  // namespace
