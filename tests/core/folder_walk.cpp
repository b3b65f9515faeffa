// The folder walk: emptying a tree (names in any case, deepest first, the top folder
// kept), links that are removed and never followed (also a folder swapped for a link
// before it is entered), callers' own callback tables, the order of the steps, and the
// failures that stop a walk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/folder_walk.h"
#include "tests/support/test_env.h"

namespace fs = std::filesystem;

namespace {

// Every path under a folder, relative to it ('/'-separated), without following links.
std::set<std::string> tree_of(const std::string& dir) {
  std::set<std::string> out;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it)
    out.insert(fs::relative(it->path(), dir).generic_string());
  return out;
}

void make_tree(const std::string& top, const std::vector<std::string>& entries) {
  for (const std::string& e : entries) {
    if (e.back() == '/')
      fs::create_directories(top + e);
    else
      tm_test::write_file(top + e, "x");
  }
}

class FolderWalk : public ::testing::Test {
 protected:
  void SetUp() override { set_gblerr(0); }
  void TearDown() override { set_gblerr(0); }
};

TEST_F(FolderWalk, EmptyingKeepsTheTopAndRemovesEveryCase) {
  const std::string top = tm_test::fresh_dir("empty");
  make_tree(top, {"a.txt", "A.TXT", "b.Txt", "Sub/", "Sub/C.dat", "Sub/c.dat", "Sub/Deeper/",
                  "Sub/Deeper/X", "sub/", "sub/y", "Empty/"});
  const std::string beside = tm_test::write_file(top.substr(0, top.size() - 1) + "-beside.txt", "keep");
  dir_scan_if_exists(top.c_str());
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_TRUE(fs::is_directory(top));
  EXPECT_EQ(tree_of(top), std::set<std::string>{});
  EXPECT_TRUE(fs::exists(beside));
}

TEST_F(FolderWalk, LinksAreRemovedAndNeverFollowed) {
  const std::string outside = tm_test::fresh_dir("outside");
  make_tree(outside, {"keep.txt", "inner/", "inner/keep2.txt"});
  const std::string top = tm_test::fresh_dir("links");
  make_tree(top, {"Sub/", "plain.txt"});
  fs::create_directory_symlink(outside, top + "ToFolder");
  fs::create_directory_symlink(outside + "inner", top + "Sub/ToInner");
  fs::create_symlink(outside + "keep.txt", top + "ToFile");
  fs::create_symlink(top + "nowhere", top + "Dangling");
  dir_scan_if_exists(top.c_str());
  EXPECT_EQ(get_gblerr(), 0);
  EXPECT_EQ(tree_of(top), std::set<std::string>{});
  EXPECT_EQ(tree_of(outside), (std::set<std::string>{"keep.txt", "inner", "inner/keep2.txt"}));
}

// The standard steps, except that entering the subfolder "Sub" first swaps it for a
// link to another folder, as happens when the tree changes between the listing that
// found the folder and the step that enters it.
std::string g_link_target;
void enter_after_swap() {
  const std::string path = dirscan_path();
  const std::string sub = path.substr(0, path.size() - 1);
  if (dirscan_depth() >= 1 && fs::path(sub).filename() == "Sub") {
    fs::rename(sub, sub + "-moved");
    fs::create_directory_symlink(g_link_target, sub);
  }
  dirscan_first();
}
const dirscan_fn kSwapping[kDirscanSlots] = {dirscan_abort,        enter_after_swap,
                                             dirscan_entry_path,   dirscan_remove_entry,
                                             dirscan_reset_state,  dirscan_next,
                                             dirscan_remove_folder};

TEST_F(FolderWalk, FolderSwappedForALinkIsNeverEntered) {
  const std::string outside = tm_test::fresh_dir("swap-outside");
  make_tree(outside, {"keep.txt", "inner/", "inner/keep2.txt"});
  const std::string top = tm_test::fresh_dir("swap");
  make_tree(top, {"Sub/", "Sub/x.txt"});
  g_link_target = outside;
  EXPECT_EQ(dirscan_walk(top.c_str(), kSwapping), ERR_OS);
  EXPECT_EQ(dirscan_depth(), 0);
  EXPECT_EQ(tree_of(outside), (std::set<std::string>{"keep.txt", "inner", "inner/keep2.txt"}));
  set_gblerr(0);
}

// A caller's own table that lists the files and leaves the tree as it is.
std::vector<std::string> g_listed;
std::vector<int> g_depths;
void list_file() {
  g_listed.push_back(dirscan_entry_name());
  g_depths.push_back(dirscan_depth());
  dirscan_set_event(DIRSCAN_NO_MORE);
}
const dirscan_fn kListing[kDirscanSlots] = {dirscan_abort,       dirscan_first, dirscan_entry_path,
                                            list_file,           dirscan_reset_state,
                                            dirscan_next,        dirscan_up};

TEST_F(FolderWalk, CustomTableListsFilesWithTheirCase) {
  const std::string top = tm_test::fresh_dir("list");
  make_tree(top, {"One.GPX", "Maps/", "Maps/Two.Ecw", "Maps/Old/", "Maps/Old/three.txt", "None/"});
  const std::set<std::string> before = tree_of(top);
  g_listed.clear();
  g_depths.clear();
  const std::string cwd = fs::current_path();
  // The top folder given with '\' separators and no trailing separator.
  std::string given = top.substr(0, top.size() - 1);
  const size_t last = given.rfind('/');
  given[last] = '\\';
  EXPECT_EQ(dirscan_walk(given.c_str(), kListing), 0);
  EXPECT_EQ(std::set<std::string>(g_listed.begin(), g_listed.end()),
            (std::set<std::string>{top + "One.GPX", top + "Maps/Two.Ecw", top + "Maps/Old/three.txt"}));
  for (size_t i = 0; i < g_listed.size(); ++i) {
    const std::string rel = g_listed[i].substr(top.size());
    EXPECT_EQ(g_depths[i], 1 + int(std::count(rel.begin(), rel.end(), '/'))) << rel;
  }
  EXPECT_EQ(tree_of(top), before);
  EXPECT_EQ(fs::current_path().string(), cwd);  // the walk never changes folder
  EXPECT_EQ(dirscan_depth(), 0);
}

// Records the slots called, then runs the standard step.
std::vector<int> g_slots;
template <int Slot> void traced() {
  g_slots.push_back(Slot);
  dirscan_standard_callbacks()[Slot]();
}
const dirscan_fn kTraced[kDirscanSlots] = {traced<0>, traced<1>, traced<2>, traced<3>,
                                           traced<4>, traced<5>, traced<6>};

TEST_F(FolderWalk, StepsFollowTheTransitionTable) {
  const struct {
    const char* what;
    std::vector<std::string> tree;
    std::vector<int> slots;
  } cases[] = {
      {"nothing but . and ..", {}, {1, 6}},
      {"one file", {"f"}, {1, 2, 3, 4, 5, 6}},
      {"one empty folder", {"d/"}, {1, 1, 6, 5, 6}},
      {"a file in a folder", {"d/", "d/f"}, {1, 1, 2, 3, 4, 5, 6, 5, 6}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string top = tm_test::fresh_dir("steps");
    make_tree(top, c.tree);
    g_slots.clear();
    EXPECT_EQ(dirscan_walk(top.c_str(), kTraced), 0);
    EXPECT_EQ(g_slots, c.slots);
    EXPECT_EQ(tree_of(top), std::set<std::string>{});
  }
}

void report_nothing() {}
const dirscan_fn kAbortOnFile[kDirscanSlots] = {dirscan_abort, dirscan_first, dirscan_entry_path,
                                                dirscan_abort, dirscan_reset_state,
                                                dirscan_next,  dirscan_up};
const dirscan_fn kSilentStep[kDirscanSlots] = {report_nothing, dirscan_first, report_nothing,
                                               report_nothing, report_nothing,
                                               dirscan_next,   dirscan_up};

TEST_F(FolderWalk, FailuresStopTheWalk) {
  const std::string top = tm_test::fresh_dir("fail");
  make_tree(top, {"d/", "d/e/", "d/e/f"});
  const struct {
    const char* what;
    std::string path;
    const dirscan_fn* table;
    int error;
  } cases[] = {
      {"missing top folder", top + "missing", kListing, ERR_PARAMETERS},
      {"a file as top folder", top + "d/e/f", kListing, ERR_PARAMETERS},
      {"aborted three levels down", top, kAbortOnFile, ERR_OS},
      {"a step that reports nothing", top, kSilentStep, ERR_OS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    g_listed.clear();
    EXPECT_EQ(dirscan_walk(c.path.c_str(), c.table), c.error);
    EXPECT_EQ(get_gblerr(), c.error);
    EXPECT_EQ(dirscan_depth(), 0);  // every listing closed
    EXPECT_TRUE(g_listed.empty());
    set_gblerr(0);
  }
  EXPECT_TRUE(fs::exists(top + "d/e/f"));
  // Emptying a path that is no folder does nothing.
  dir_scan_if_exists((top + "missing").c_str());
  EXPECT_EQ(get_gblerr(), 0);
}

}  // namespace
