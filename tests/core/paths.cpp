// Path arithmetic with both separators, the file and folder operations in the
// sandbox, and the operating-system queries (per-user folders, language, memory, disk).
#include <gtest/gtest.h>
#include <cstddef>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/error.h"
#include "core/memory.h"
#include "core/paths.h"
#include "tests/support/test_env.h"

namespace {

std::string str(const char* s) { return s ? s : "(null)"; }

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(PathText, AbsoluteBasenameAndSeparators) {
  const struct {
    const char* path;
    int absolute;
    const char* basename;
    int ends_with_sep;
  } cases[] = {
      {"/home/u/a.gpx", 1, "a.gpx", 0},
      {"\\\\server\\share\\b.txt", 1, "b.txt", 0},
      {"c:\\maps\\", 1, "", 1},
      {"c:/maps/x", 1, "x", 0},
      {"http://host/page", 1, "page", 0},
      {"maps/a.gpx", 0, "a.gpx", 0},
      {"\\single", 0, "single", 0},
      {"c:maps", 0, "c:maps", 0},
      {"a.gpx", 0, "a.gpx", 0},
      {"", 0, "", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(path_is_absolute(c.path), c.absolute) << c.path;
    EXPECT_STREQ(path_basename(c.path), c.basename) << c.path;
    EXPECT_EQ(path_ends_with_sep(c.path), c.ends_with_sep) << c.path;
  }
  EXPECT_EQ(path_is_absolute(nullptr), 0);
  EXPECT_STREQ(path_basename(nullptr), "");
  EXPECT_STREQ(path_sep(), "/");
}

TEST(PathText, FolderAndExtension) {
  const struct {
    const char* path;
    const char* folder;
    const char* extension;
  } cases[] = {
      {"/home/u/Track.GPX", "/home/u/", "gpx"},
      {"c:\\maps\\2008\\a.b.Tif", "c:\\maps\\2008\\", "tif"},
      {"/home/u/", "/home/u/", ""},
      {"a.b\\file", "a.b\\", ""},          // a '.' in a folder name is no extension
      {"/home/u/.config/file", "/home/u/.config/", ""},
      {"file.txt", "./", "txt"},            // a bare name lives in the current folder
      {"noext", "./", ""},
  };
  char* owned = nullptr;
  for (const auto& c : cases) {
    EXPECT_STREQ(path_folder(c.path, &owned), c.folder) << c.path;
    EXPECT_STREQ(path_get_extension(c.path, &owned), c.extension) << c.path;
  }
  set_gblerr(0);
  EXPECT_EQ(path_add_sep(nullptr, &owned), nullptr);
  EXPECT_EQ(owned, nullptr);
  EXPECT_EQ(get_gblerr(), ERR_PARAMETERS);
  set_gblerr(0);
}

TEST(PathText, SetExtension) {
  const struct {
    const char* path;
    const char* ext;
    const char* expected;
  } cases[] = {
      {"/m/f.txt", "gpx", "/m/f.gpx"},
      {"/m/f.txt", ".gpx", "/m/f.gpx"},
      {"/m/f", "gpx", "/m/f.gpx"},
      {"/m/f.txt", "", "/m/f"},
      {"/m/f.txt", nullptr, "/m/f"},
      {"/m/f", nullptr, "/m/f"},
      {"a.b\\file", "gpx", "a.b\\file.gpx"},
      {"/home/u/.config/file", "gpx", "/home/u/.config/file.gpx"},
      {"/m/archive.tar.gz", "zip", "/m/archive.tar.zip"},
  };
  for (const auto& c : cases) {
    char* path = nullptr;
    str_set(c.path, &path);
    EXPECT_STREQ(path_set_extension(&path, c.ext), c.expected) << c.path << " + " << str(c.ext);
    free_mem(&path);
  }
  set_gblerr(0);
  char* none = nullptr;
  EXPECT_EQ(path_set_extension(&none, "gpx"), nullptr);
  EXPECT_EQ(get_gblerr(), ERR_PARAMETERS);
  set_gblerr(0);
}

TEST(PathText, PrefixEqualWithEitherSeparator) {
  const struct {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"c:\\maps\\", "c:/maps/a.gpx", 1}, {"/home/u", "/home/u", 1}, {"", "/x", 1},
      {"/home/U", "/home/u", 0},           {"/home/u/x", "/home/u", 0}, {nullptr, "/x", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(path_equal(c.a, c.b), c.expected) << str(c.a) << " / " << c.b;
}

TEST(PathText, MakeAbsolute) {
  const struct {
    const char* base;
    const char* relative;
    const char* expected;  // null: no absolute result
  } cases[] = {
      {"c:\\maps\\2008", "..\\gps\\a.gpx", "c:\\maps/gps\\a.gpx"},
      {"/home/u/maps/", "../gps/a.gpx", "/home/u/gps/a.gpx"},
      {"/home/u/maps", "./a.gpx", "/home/u/maps/a.gpx"},
      {"/home/u/maps", ".\\sub\\a.gpx", "/home/u/maps/sub\\a.gpx"},
      {"/home/u/maps", "./.././b", "/home/u/b"},
      {"/home/u/maps", ".hidden", "/home/u/maps/.hidden"},
      {"/m/n", "..", "/m/"},
      {"/a", "../x", "/x"},
      {"/", "x", "/x"},
      {"/a", "../../x", nullptr},       // above the root
      {"c:\\maps", "..\\x", nullptr},   // fewer than three characters would remain
      {"/m", "/abs/file", "/abs/file"},
      {"/m", "c:\\abs", "c:\\abs"},
      {"maps", "a.gpx", nullptr},       // a relative base
      {"", "a.gpx", nullptr},
      {nullptr, "a.gpx", nullptr},
  };
  for (const auto& c : cases) {
    char* out = nullptr;
    str_set("stale", &out);
    const char* result = path_make_absolute(c.base, c.relative, &out);
    EXPECT_EQ(str(result), str(c.expected)) << str(c.base) << " + " << c.relative;
    EXPECT_EQ(result, out);
    free_mem(&out);
  }
}

// A path typed on a command line is taken from the current folder; an absolute one stays.
TEST(PathText, FromTheCurrentFolder) {
  const std::string cwd = std::filesystem::current_path().string();
  const struct {
    const char* path;
    std::string expected;
  } cases[] = {
      {"t12.gpx", cwd + "/t12.gpx"},
      {"data/samples/boucle.gpx", cwd + "/data/samples/boucle.gpx"},
      {"./a.gpx", cwd + "/a.gpx"},
      {"/abs/b.gpx", "/abs/b.gpx"},
  };
  for (const auto& c : cases) {
    char* out = nullptr;
    EXPECT_EQ(str(path_from_current_folder(c.path, &out)), c.expected) << c.path;
    free_mem(&out);
  }
}

TEST(PathText, ResolveRootAndDepth) {
  const struct {
    const char* path;
    const char* base;
    const char* expected;
  } cases[] = {
      {"root://data/x.txt", "/base", "/base/data/x.txt"},
      {"root://data", "/base/", "/base/data"},
      {"rel\\x", "c:\\base", "c:\\base/rel\\x"},
      {"/abs/x", "/base", "/abs/x"},
      {"root:///abs", "/base", "/abs"},
      {"c:\\abs", "/base", "c:\\abs"},
  };
  for (const auto& c : cases) {
    char* path = nullptr;
    str_set(c.path, &path);
    EXPECT_STREQ(path_resolve_root(&path, c.base), c.expected) << c.path;
    free_mem(&path);
  }
  char* none = nullptr;
  EXPECT_EQ(path_resolve_root(&none, "/base"), nullptr);

  const struct {
    const char* path;
    int depth;
  } depths[] = {
      {"/a/b", 2}, {"/a/b/", 2}, {"/", 0}, {"rel/a", 0}, {"c:\\maps\\2008", 2},
      {"http://host/a/b", 3}, {"http://host/", 1}, {"\\\\srv\\share", 2}, {nullptr, 0},
  };
  for (const auto& d : depths) EXPECT_EQ(path_depth(d.path), d.depth) << str(d.path);
}

TEST(PathText, LocalDrive) {
  const struct {
    const char* path;
    int expected;
  } cases[] = {
      {"/home/u/maps", 1}, {"/", 1},          {"//server/share", 0}, {"\\\\server\\share", 0},
      {"c:\\maps", 0},     {"relative", 0},   {"http://host/", 0},   {nullptr, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(path_is_local_drive(c.path), c.expected) << str(c.path);
}

TEST(Files, FoldersAreMadeTestedAndRemoved) {
  const std::string dir = tm_test::fresh_dir("folders");
  const std::string deep = dir + "a/b/c";
  EXPECT_EQ(path_is_dir(deep.c_str()), 0);
  EXPECT_EQ(path_make_dirs(deep.c_str()), 1);
  EXPECT_EQ(path_is_dir(deep.c_str()), 1);
  EXPECT_EQ(path_is_dir((deep + "/").c_str()), 1);
  EXPECT_EQ(path_make_dirs((dir + "x//y/").c_str()), 1);
  EXPECT_EQ(path_is_dir((dir + "x/y").c_str()), 1);
  EXPECT_EQ(path_make_dirs("relative/folder"), 0);
  EXPECT_EQ(dir_make(deep.c_str()), 1);  // already there

  const std::string file = tm_test::write_file(dir + "a/file.txt", "text");
  EXPECT_EQ(file_exists(file.c_str()), 1);
  EXPECT_EQ(file_exists((dir + "a").c_str()), 0);
  EXPECT_EQ(path_is_dir(file.c_str()), 0);
  EXPECT_EQ(dir_make(file.c_str()), 0);  // a file stands there
  EXPECT_EQ(path_make_dirs((file + "/sub").c_str()), 0);

  EXPECT_EQ(path_remove((dir + "a/b").c_str()), 0);  // not empty
  EXPECT_EQ(dir_remove(file.c_str()), 0);            // not a folder
  EXPECT_EQ(dir_remove(deep.c_str()), 1);
  EXPECT_EQ(path_remove((dir + "a/b").c_str()), 1);
  EXPECT_EQ(path_remove(file.c_str()), 1);
  EXPECT_EQ(file_exists(file.c_str()), 0);
  EXPECT_EQ(path_remove(file.c_str()), 0);
}

TEST(Files, CopyInBlocks) {
  const std::string dir = tm_test::fresh_dir("copy");
  std::string content;
  for (int i = 0; i < 10000; ++i) content += static_cast<char>(i * 7);  // spans three blocks
  const std::string src = tm_test::write_file(dir + "src.bin", content);
  const std::string dst = dir + "dst.bin";

  EXPECT_EQ(file_copy(src.c_str(), dst.c_str()), 1);
  EXPECT_EQ(read_all(dst), content);
  tm_test::write_file(src, "short");
  EXPECT_EQ(file_copy(src.c_str(), dst.c_str()), 1);  // the destination is replaced
  EXPECT_EQ(read_all(dst), "short");

  // Copying a file onto itself must not empty it.
  EXPECT_EQ(file_copy(src.c_str(), src.c_str()), 0);
  EXPECT_EQ(read_all(src), "short");
  // A missing source creates no destination.
  EXPECT_EQ(file_copy((dir + "missing").c_str(), (dir + "never").c_str()), 0);
  EXPECT_EQ(file_exists((dir + "never").c_str()), 0);
  EXPECT_EQ(file_copy(src.c_str(), (dir + "no/such/folder/x").c_str()), 0);
}

TEST(OperatingSystem, PerUserFolders) {
  const std::string config = std::string(getenv("XDG_CONFIG_HOME")) + "/";
  const std::string data = std::string(getenv("XDG_DATA_HOME")) + "/";
  EXPECT_EQ(std::string(get_user_app_dir()), config + "Tarmelo Suite/");
  EXPECT_EQ(path_is_dir(get_user_app_dir()), 1);
  EXPECT_EQ(get_user_app_dir(), get_user_app_dir());  // computed once
  EXPECT_EQ(std::string(get_local_appdata_dir()), data);
  EXPECT_EQ(path_is_dir(get_local_appdata_dir()), 1);
}

TEST(OperatingSystem, UserLanguage) {
  const struct {
    const char* locale;
    const char* expected;
  } cases[] = {
      {"fr_FR.UTF-8", "FR"}, {"fr_CA", "FR"}, {"eu_ES.UTF-8", "FR"},
      {"en_GB.UTF-8", nullptr}, {"de_DE", nullptr}, {"C", nullptr},
  };
  const char* saved = getenv("LC_ALL");
  const std::string before = saved ? saved : "";
  for (const auto& c : cases) {
    setenv("LC_ALL", c.locale, 1);
    EXPECT_EQ(str(get_user_lang()), str(c.expected)) << c.locale;
  }
  if (saved) setenv("LC_ALL", before.c_str(), 1);
  else unsetenv("LC_ALL");
}

TEST(OperatingSystem, MemoryDiskAndProcesses) {
  double status[5] = {-1, -1, -1, -1, -1};
  EXPECT_EQ(get_memory_status(status), 1);
  EXPECT_GT(status[0], 0);
  EXPECT_GT(status[2], 0);
  EXPECT_LE(status[2], status[0]);
  EXPECT_GT(status[4], 0);

  const std::string dir = tm_test::fresh_dir("disk");
  const double free_gib = get_disk_free(dir.c_str());
  EXPECT_GT(free_gib, 0);
  // A file not yet written is measured on the folder that will hold it.
  EXPECT_GT(get_disk_free((dir + "not/yet/there.swp").c_str()), 0);
  EXPECT_EQ(get_disk_free("relative/path"), 0);
  EXPECT_EQ(get_disk_free(nullptr), 0);

  EXPECT_GE(count_own_processes(), 1);
}

// Owned paths may be fields of packed records, at any address.
#pragma pack(push, 1)
struct packed_owner {
  char tag;
  char* path;
};
#pragma pack(pop)

TEST(PathText, OwnedPathsMayLiveInAPackedRecord) {
  packed_owner rec{};
  auto** owner =
      reinterpret_cast<char**>(reinterpret_cast<char*>(&rec) + offsetof(packed_owner, path));
  str_set("root://maps/a.txt", owner);
  EXPECT_STREQ(path_resolve_root(owner, "/base"), "/base/maps/a.txt");
  EXPECT_STREQ(path_set_extension(owner, "gpx"), "/base/maps/a.gpx");
  EXPECT_STREQ(path_folder("/m/n/f", owner), "/m/n/");
  EXPECT_STREQ(path_get_extension("F.TIF", owner), "tif");
  EXPECT_STREQ(path_make_absolute("/m/n", "../x", owner), "/m/x");
  EXPECT_EQ(owner_get(owner), path_make_absolute("/m/n", "../x", owner));
  free_mem(owner);
  set_gblerr(0);
  EXPECT_EQ(path_set_extension(owner, "gpx"), nullptr);  // a null path
  EXPECT_EQ(get_gblerr(), ERR_PARAMETERS);
  set_gblerr(0);
}

}  // namespace
