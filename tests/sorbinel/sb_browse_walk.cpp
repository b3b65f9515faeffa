// Walking a folder: the order of the browsing list in both directions with its wrap,
// what is set aside (unreadable, unrecognised, archives opened into their members,
// sub-folders opened into their files) and the filters on size, dimensions,
// orientation and extension.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/sorbinel/sb_browse_fixture.h"

namespace sb_test {
namespace {

class BrowseWalk : public BrowseTest {
 protected:
  // The files shown by n steps in one direction.
  std::vector<std::string> walk(int n, int shift) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) {
      space(shift);
      out.push_back(shown());
    }
    return out;
  }
  // Every file shown by walking forwards once round the list from the first.
  std::set<std::string> cycle() {
    std::set<std::string> out;
    if (shown().empty()) return out;
    const std::string first = shown();
    out.insert(first);
    for (int i = 0; i < 20; ++i) {
      space();
      if (shown() == first || shown().empty()) break;
      out.insert(shown());
    }
    return out;
  }
};

// The browse folder in key-name order: the cut-short JPEG is shown with what its reader
// kept, the text file and the damaged PNG are left out, the archive gives its members
// and the sub-folder its file.
const std::vector<std::string> kForward = {
    "browse/01_red.png",          "browse/02_green.png",        "browse/03_blue.png",
    "browse/05_broken.jpg",       "browse/07_chart.kap",        "browse/08_pack.zip/z1.png",
    "browse/08_pack.zip/z2.png",  "",  // the damaged PNG: its error line, nothing shown
    "browse/sub/04_sub.png",
};

TEST_F(BrowseWalk, ForwardsInOrderAndRoundAgain) {
  start({copy_fixture("browse")});
  std::vector<std::string> seen{shown()};
  for (const std::string& s : walk(int(kForward.size()) + 1, 0)) seen.push_back(s);
  std::vector<std::string> expected = kForward;
  expected.push_back("browse/01_red.png");
  expected.push_back("browse/02_green.png");
  EXPECT_EQ(seen, expected);
  // What could not be shown left the list for good.
  EXPECT_EQ(sb_browse_count(), 8);
}

// A path given relative to the folder the viewer was started in ("sorbinel 02_green.png"
// typed in that folder) shows that file.
TEST_F(BrowseWalk, RelativePathShowsTheFile) {
  const std::string folder = copy_fixture("browse");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  start({"02_green.png"});
  std::filesystem::current_path(before);
  EXPECT_EQ(shown(), "browse/02_green.png");
}

TEST_F(BrowseWalk, BackwardsInReverseOrderAndRoundAgain) {
  start({copy_fixture("browse")});
  walk(int(kForward.size()), 0);  // once round: the list holds what can be shown
  ASSERT_EQ(shown(), "browse/01_red.png");
  std::vector<std::string> back = walk(9, 1);
  const std::vector<std::string> expected = {
      "browse/sub/04_sub.png", "browse/08_pack.zip/z2.png", "browse/08_pack.zip/z1.png",
      "browse/07_chart.kap",   "browse/05_broken.jpg",      "browse/03_blue.png",
      "browse/02_green.png",   "browse/01_red.png",         "browse/sub/04_sub.png"};
  EXPECT_EQ(back, expected);
}

TEST_F(BrowseWalk, FirstStepBackwardsTakesTheLastFile) {
  const std::string d = copy_fixture("dims");
  ASSERT_EQ(sb_queue_path(d.c_str()), 0);
  sb_take_queue();
  space();  // the folder opens into its files, the first is shown
  ASSERT_EQ(shown(), "dims/small_300x200.png");
  EXPECT_EQ(walk(2, 1), (std::vector<std::string>{"dims/wide_1200x900.png", "dims/tall_600x800.png"}));
}

TEST_F(BrowseWalk, DimensionAndSizeFilters) {
  struct filter_case {
    const char* what;
    int min_dim, max_dim, orientation, min_size, max_size;
    std::set<std::string> shown;
  } cases[] = {
      {"none", 0, 0, 0, 0, 0,
       {"small_300x200.png", "square_800x800.png", "tall_600x800.png", "wide_1200x900.png"}},
      {"landscape", 0, 0, 'H', 0, 0, {"small_300x200.png", "square_800x800.png", "wide_1200x900.png"}},
      {"portrait", 0, 0, 'V', 0, 0, {"square_800x800.png", "tall_600x800.png"}},
      {"min 1000", 1000, 0, 0, 0, 0, {}},
      {"min 700", 700, 0, 0, 0, 0, {"square_800x800.png", "wide_1200x900.png"}},
      {"max 800", 0, 800, 0, 0, 0, {"small_300x200.png", "square_800x800.png", "tall_600x800.png"}},
      {"min 500 max 1000", 500, 1000, 0, 0, 0, {"square_800x800.png", "tall_600x800.png"}},
      {"min size", 0, 0, 0, 2700, 0, {"square_800x800.png", "wide_1200x900.png"}},
      {"max size", 0, 0, 0, 0, 2700, {"small_300x200.png", "tall_600x800.png"}},
      {"sizes and portrait", 0, 0, 'V', 1000, 2700, {"tall_600x800.png"}},
  };
  int n = 0;
  for (const filter_case& c : cases) {
    SCOPED_TRACE(c.what);
    sb_browse_init();
    sb_file_filter_t* flt = sb().filter;
    flt->min_dim = c.min_dim;
    flt->max_dim = c.max_dim;
    flt->orientation = c.orientation;
    flt->min_file_size = c.min_size;
    flt->max_file_size = c.max_size;
    start({copy_fixture("dims", "dims" + std::to_string(n++))});
    std::set<std::string> names;
    for (const std::string& s : cycle()) names.insert(fs::path(s).filename().string());
    EXPECT_EQ(names, c.shown);
  }
}

TEST_F(BrowseWalk, ExtensionFilter) {
  sb().extensions = {"png"};
  start({copy_fixture("browse")});
  const std::set<std::string> expected = {
      "browse/01_red.png", "browse/02_green.png", "browse/03_blue.png",
      "browse/08_pack.zip/z1.png", "browse/08_pack.zip/z2.png", "browse/sub/04_sub.png"};
  std::set<std::string> seen;
  for (int i = 0; i < 10; ++i) {
    if (!shown().empty()) seen.insert(shown());
    space();
  }
  EXPECT_EQ(seen, expected);
}

TEST_F(BrowseWalk, NothingToShowLeavesNoFile) {
  const std::string d = dir_ + "nothing";
  fs::create_directories(d);
  fs::copy(fixture("browse/06_notes.txt"), d + "/06_notes.txt");
  start({d});
  EXPECT_EQ(sb().current, nullptr);
  EXPECT_EQ(sb_browse_count(), 0);
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(BrowseWalk, QueuedFilesComeFirstByName) {
  const std::string d = copy_fixture("browse");
  start({d + "/03_blue.png", d + "/01_red.png"});
  EXPECT_EQ(shown(), "browse/01_red.png");
  EXPECT_EQ(walk(2, 0), (std::vector<std::string>{"browse/03_blue.png", "browse/01_red.png"}));
}

TEST_F(BrowseWalk, FileListBringsTheFilesItNames) {
  const std::string d = copy_fixture("browse");
  const std::string list = tm_test::write_file(
      dir_ + "list.txt", "FileList V1.0\n" + d + "/03_blue.png\n" + d + "/01_red.png\n");
  start({list});
  EXPECT_EQ(shown(), "browse/01_red.png");
  EXPECT_EQ(walk(2, 0), (std::vector<std::string>{"browse/03_blue.png", "browse/01_red.png"}));
  EXPECT_EQ(sb_browse_count(), 2);
}

}  // namespace
}  // namespace sb_test
