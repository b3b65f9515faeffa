// What the viewer's window shows while browsing: the colour of the document window
// after each step through files of one colour each, through the pages of a TIFF and
// the frames of a GIF, and the window picture written as a PNG file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/sorbinel/sb_shell_fixture.h"

namespace sb_test {
namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kYellow = 0xFFFF00;
constexpr uint32_t kMagenta = 0xFF00FF;

class BrowsePictures : public ShellTest {
 protected:
  // The colour in the middle of the document window, once everything is drawn.
  uint32_t centre() {
    drain();
    plat::invalidate_rect(sb().document_window, nullptr, true);
    drain();
    return document_pixel(view()->width / 2, view()->height / 2);
  }
  void step(int shift = 0) {
    sb_next_file(shift, 0);
    drain();
  }
  std::string folder_of(const std::string& name, const std::vector<std::string>& files) {
    const std::string d = dir_ + name;
    fs::create_directories(d);
    for (const std::string& f : files) fs::copy(fixture(f), d + "/" + fs::path(f).filename().string());
    return d;
  }
};

TEST_F(BrowsePictures, EachFileInTurnBothWays) {
  start({folder_of("c", {"browse/01_red.png", "browse/02_green.png", "browse/03_blue.png"})});
  std::vector<uint32_t> seen{centre()};
  for (int i = 0; i < 3; ++i) {
    step();
    seen.push_back(centre());
  }
  for (int i = 0; i < 2; ++i) {
    step(1);
    seen.push_back(centre());
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{kRed, kGreen, kBlue, kRed, kBlue, kGreen}));
  const std::string png = dir_ + "window.png";
  plat::with_window_surface(sb().main, [&](const plat::Surface& s) { plat::write_png(s, png.c_str()); });
  EXPECT_GT(fs::file_size(png), 0u);
}

TEST_F(BrowsePictures, TiffPagesAndGifFrames) {
  start({folder_of("p", {"pages.tif"})});
  std::vector<uint32_t> pages{centre()};
  for (int i = 0; i < 4; ++i) {
    step();
    pages.push_back(centre());
  }
  EXPECT_EQ(pages, (std::vector<uint32_t>{kRed, kGreen, kBlue, kYellow, kRed}));
  step(1);
  EXPECT_EQ(centre(), kYellow);
}

TEST_F(BrowsePictures, GifFramesOnTheClock) {
  start({folder_of("g", {"anim3.gif"})});
  std::vector<uint32_t> frames{centre()};
  for (int64_t delay : {100, 200, 300}) {
    tm_test::advance_time(delay);
    frames.push_back(centre());
  }
  EXPECT_EQ(frames, (std::vector<uint32_t>{kRed, kGreen, kBlue, kYellow}));
}

TEST_F(BrowsePictures, SubFolderAndArchiveMembersAreShown) {
  start({copy_fixture("browse")});
  std::vector<uint32_t> seen;
  for (int i = 0; i < 10 && seen.size() < 3; ++i) {
    const std::string name = shown();
    if (name == "browse/08_pack.zip/z1.png" || name == "browse/08_pack.zip/z2.png" ||
        name == "browse/sub/04_sub.png")
      seen.push_back(centre());
    step();
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{0x00FFFF, 0xFF8000, kMagenta}));
}

}  // namespace
}  // namespace sb_test
