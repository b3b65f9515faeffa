// File objects: the file table keeps the case of paths, web addresses compare by their
// lower-cased scheme and host, the core reaches file objects through the installed
// routine table, and freeing a file object takes it out of every table.
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "core/file_info.h"
#include "core/line_store.h"
#include "core/line_store_record.h"
#include "core/memory.h"
#include "core/reader.h"
#include "tests/map/file_fixture.h"

namespace {

using tm_test::FileFixture;
using FileObjects = FileFixture;

TEST_F(FileObjects, TheClassesFollowTheirDescriptors) {
  EXPECT_EQ(obj_class_size(kFileClass), int(sizeof(fileatt_t)));
  EXPECT_EQ(obj_class_attr_count(kFileClass), kFileattAttrCount);
  EXPECT_EQ(obj_class_size(kFolderClass), int(sizeof(folder_t)));
  EXPECT_STREQ(obj_class_name(kFolderClass), "folder");
  EXPECT_GE(obj_class_size(kMemFileClass), int(sizeof(memobjfile_t)));
  const char* names[] = {"id", "type", "", "", "name", "", "filetype", "fileformat", "filesize",
                         "georerefed", "sot", "lastupdatedate", "deboffset", "folder"};
  for (int i = 0; i < kFileattAttrCount; ++i) {
    int type = 0, offset = 0;
    const char* name = nullptr;
    ASSERT_TRUE(obj_attr_info(kFileClass, i, &type, &offset, &name));
    EXPECT_STREQ(name, names[i]);
    EXPECT_EQ(offset, attr_offset_in(kFileattAttrs, i));
  }
}

// Two files whose names differ only by case are two files on Linux: each keeps its own
// file object, and a lookup answers only for the exact case.
TEST_F(FileObjects, PathsDifferingInCaseAreDistinctFiles) {
  std::filesystem::create_directories(path("Maps"));
  std::filesystem::create_directories(path("maps"));
  tm_test::write_file(path("Maps/A.gpx"), "upper");
  tm_test::write_file(path("maps/a.gpx"), "lower!");
  fileatt_t* upper = file_open(nullptr, dir_.c_str(), "Maps/A.gpx", nullptr);
  fileatt_t* lower = file_open(nullptr, dir_.c_str(), "maps/a.gpx", nullptr);
  ASSERT_NE(upper, nullptr);
  ASSERT_NE(lower, nullptr);
  EXPECT_NE(upper, lower);
  EXPECT_EQ(file_get_size(upper), 5);
  EXPECT_EQ(file_get_size(lower), 6);
  EXPECT_EQ(file_get_type(upper), 7);

  fileatt_t* found = nullptr;
  EXPECT_EQ(file_find_by_name(path("Maps/A.gpx").c_str(), &found), upper);
  EXPECT_EQ(file_find_by_name(path("maps/a.gpx").c_str(), &found), lower);
  EXPECT_EQ(file_find_by_name(path("MAPS/a.gpx").c_str(), &found), nullptr);
  EXPECT_EQ(found, nullptr);

  // Opening again finds the same objects; backslashes read as slashes.
  std::string back = path("Maps\\A.gpx");
  EXPECT_EQ(file_open(nullptr, nullptr, back.c_str(), nullptr), upper);
  EXPECT_EQ(file_find_by_name(back.c_str(), nullptr), upper);
  EXPECT_STREQ(upper->keyname, path("Maps/A.gpx").c_str());
}

// Threads opening the same new paths at once (a load task and the live reader, say)
// share one file object per path.
TEST_F(FileObjects, OpeningOnePathFromSeveralThreadsMakesOneObject) {
  constexpr int kThreads = 4, kPaths = 50;
  std::vector<std::vector<fileatt_t*>> seen(kThreads, std::vector<fileatt_t*>(kPaths));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&seen, t] {
      for (int i = 0; i < kPaths; ++i) {
        const std::string name = "http://h/track" + std::to_string(i) + ".gpx";
        seen[t][i] = file_open(nullptr, nullptr, name.c_str(), nullptr);
      }
    });
  for (std::thread& th : threads) th.join();
  for (int i = 0; i < kPaths; ++i) {
    ASSERT_NE(seen[0][i], nullptr);
    for (int t = 1; t < kThreads; ++t) EXPECT_EQ(seen[t][i], seen[0][i]) << i;
  }
  EXPECT_EQ(obj_class_count(kFileClass, nullptr), kPaths);
}

TEST_F(FileObjects, WebAddressesCompareByLowerCasedSchemeAndHostOnly) {
  fileatt_t* f = file_open(nullptr, nullptr, "HTTP://Example.COM/Data/Track.GPX", nullptr);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(file_get_type(f), kFileKindHttp);
  EXPECT_STREQ(f->keyname, "http://example.com/Data/Track.GPX");
  const struct {
    const char* name;
    bool found;
  } cases[] = {
      {"http://example.com/Data/Track.GPX", true},
      {"HTTP://EXAMPLE.com/Data/Track.GPX", true},
      {"http:\\\\example.com\\Data\\Track.GPX", true},
      {"http://example.com/data/track.gpx", false},  // the path keeps its case
      {"http://example.org/Data/Track.GPX", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(file_find_by_name(c.name, nullptr) == f, c.found) << c.name;
  EXPECT_EQ(file_get_type(file_open(nullptr, nullptr, "ecwp://Host/img.ecw", nullptr)),
            kFileKindEcwp);
}

TEST_F(FileObjects, NullAndMissingFilesReadAsUnknown) {
  EXPECT_EQ(file_get_type(nullptr), 125);
  EXPECT_EQ(file_get_format(nullptr), 125u);
  EXPECT_STREQ(file_get_name(nullptr), "");
  EXPECT_EQ(file_get_objects(nullptr, nullptr), nullptr);
  EXPECT_EQ(file_has_objects(nullptr), 0);
  EXPECT_EQ(get_filemobj_name(nullptr), nullptr);
  EXPECT_EQ(file_open(nullptr, nullptr, "", nullptr), nullptr);
  EXPECT_EQ(file_open(nullptr, nullptr, nullptr, nullptr), nullptr);
  fileatt_t* missing = file_open(nullptr, dir_.c_str(), "none.gpx", nullptr);
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(file_get_type(missing), 125);
  EXPECT_EQ(file_get_size(missing), 0);
  // The core's defaults for objects of other classes.
  EXPECT_EQ(file_get(reinterpret_cast<obj_t*>(get_file_list()), FF_TYPE), 125);
}

TEST_F(FileObjects, LinkedFilesBecomeSonsSortedByKeyName) {
  fileatt_t* page = file_open(nullptr, nullptr, "http://h/index.htm", nullptr);
  fileatt_t* b = file_open(page, nullptr, "http://h/b.gpx", nullptr);
  fileatt_t* a = file_open(page, nullptr, "http://h/a.gpx", nullptr);
  ASSERT_TRUE(page && a && b);
  ASSERT_EQ(obj_list_count(page->sons), 2);
  EXPECT_EQ(page->sons->elems[0], a);
  EXPECT_EQ(page->sons->elems[1], b);
  EXPECT_EQ(a->father, page);
  EXPECT_EQ(obj_depth(a), 1);

  // Renaming re-keys it in the table and in its father's sons.
  str_set("http://h/c.gpx", &a->name);
  file_rename(a);
  EXPECT_EQ(file_find_by_name("http://h/a.gpx", nullptr), nullptr);
  EXPECT_EQ(file_find_by_name("http://h/c.gpx", nullptr), a);
  EXPECT_EQ(page->sons->elems[1], a);

  // A freed son leaves its father and the table; a freed father frees no son.
  free_obj(&b);
  EXPECT_EQ(obj_list_count(page->sons), 1);
  EXPECT_EQ(file_find_by_name("http://h/b.gpx", nullptr), nullptr);
  free_obj(&page);
  EXPECT_EQ(a->father, nullptr);
  EXPECT_EQ(file_find_by_name("http://h/c.gpx", nullptr), a);
}

TEST_F(FileObjects, TheHttpClientRekeysAndAdoptsThroughItsHooks) {
  fileatt_t* page = file_open(nullptr, nullptr, "http://h/p.htm", nullptr);
  fileatt_t* mid = file_open(page, nullptr, "http://h/m.htm", nullptr);
  fileatt_t* deep = file_open(mid, nullptr, "http://h/deep.htm", nullptr);
  fileatt_t* deeper = file_open(deep, nullptr, "http://h/d2.gpx", nullptr);
  get_http_hooks().rename(page, "http://h/moved.htm");
  EXPECT_EQ(file_find_by_name("http://h/moved.htm", nullptr), page);
  EXPECT_EQ(file_find_by_name("http://h/p.htm", nullptr), nullptr);
  // One level below the page stays where it is; deeper moves under the page.
  get_http_hooks().adopt_link(page, mid);
  EXPECT_EQ(mid->father, page);
  get_http_hooks().adopt_link(page, deeper);
  EXPECT_EQ(deeper->father, page);
  EXPECT_EQ(obj_list_count(deep->sons), 0);
  EXPECT_EQ(obj_list_count(page->sons), 2);
}

// The core's reader reads disk files and files held in memory through the table.
TEST_F(FileObjects, TheCoreReadsFileObjectsThroughTheInstalledRoutines) {
  tm_test::write_file(path("data.txt"), "0123456789");
  obj_t* disk = get_file_ops().open(nullptr, path("data.txt").c_str());
  ASSERT_NE(disk, nullptr);
  EXPECT_EQ(file_get(disk, FF_SIZE), 10);
  ASSERT_EQ(rd_open(disk, 0, 1), 0);
  char buf[4] = {};
  EXPECT_EQ(rd_read_bytes(buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "012");
  rd_close_file(disk);
  EXPECT_EQ(get_file_ops().find_by_name(path("data.txt").c_str()), disk);

  obj_t* mem = get_file_ops().new_in_memory();
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(file_get(mem, FF_TYPE), 7);
  ASSERT_EQ(filemobj_owner_append(mem, "abcdef", 6), 0);
  file_set(mem, FF_SIZE, 6);
  ASSERT_EQ(rd_open(mem, 0, 1), 0);
  EXPECT_EQ(rd_read_bytes(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  rd_close_file(mem);

  // Fields the decoders keep, 64-bit sizes beyond 4 GiB included.
  file_set(mem, FF_SIZE, int64_t(5) << 32);
  EXPECT_EQ(file_get(mem, FF_SIZE), int64_t(5) << 32);
  EXPECT_EQ(file_of(mem)->filesize, UINT32_MAX);
  for (file_field field : {FF_START, FF_DATA_OFFSET, FF_CONTENT_STATE, FF_PACKED_SIZE,
                           FF_PACK_KIND, FF_SOURCE_SIZE}) {
    file_set(mem, field, 1234 + field);
    EXPECT_EQ(file_get(mem, field), 1234 + field);
  }
  get_file_ops().set_container(mem, disk);
  EXPECT_EQ(get_file_ops().container(mem), disk);
  EXPECT_EQ(get_file_ops().identify_and_load(disk, nullptr, 1), 1);  // no formats yet
  get_fileobj_hooks().identify_and_load = [](obj_t*, obj_t*, int) { return 0; };
  EXPECT_EQ(get_file_ops().identify_and_load(disk, nullptr, 1), 0);
  get_file_ops().free_file(mem);
  EXPECT_EQ(obj_class_count(kFileClass, nullptr), 1);
}

TEST_F(FileObjects, AStoreSharedByTwoFilesOutlivesTheFirstFreed) {
  fileatt_t* a = file_new_in_memory(nullptr);
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(filemobj_owner_append(a, "xyz", 3), 0);
  fileatt_t* b = file_new_in_memory(nullptr);
  file_set_store(b, a->store);  // b's own store is freed, a's is shared
  EXPECT_EQ(obj_class_count(kLineStoreClass, nullptr), 1);
  free_obj(&a);
  EXPECT_EQ(obj_class_count(kLineStoreClass, nullptr), 1);
  filemobj_t* shared = b->store;
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(filemobj_data_size(shared), 3);
  free_obj(&b);
  EXPECT_EQ(obj_class_count(kLineStoreClass, nullptr), 0);
}

// Each store counts the file objects holding it, as content or as packed bytes: the
// last one to let it go frees it, whichever way it goes (content replaced, packed bytes
// dropped, file freed).
TEST_F(FileObjects, StoresCountTheFilesHoldingThem) {
  fileatt_t* a = file_new_in_memory(nullptr);
  fileatt_t* b = file_new_in_memory(nullptr);
  fileatt_t* c = file_new_in_memory(nullptr);
  ASSERT_TRUE(a && b && c);
  filemobj_t* shared = a->store;
  EXPECT_EQ(shared->file_users, 1);
  file_set_store(b, shared);  // b's own store goes
  file_set_packed(c, shared);
  file_set_store(a, shared);  // already its content: nothing changes
  EXPECT_EQ(shared->file_users, 3);
  EXPECT_EQ(obj_class_count(kLineStoreClass, nullptr), 2);  // shared and c's own
  free_obj(&a);
  EXPECT_EQ(shared->file_users, 2);
  file_set_store(b, nullptr);
  EXPECT_EQ(shared->file_users, 1);
  EXPECT_EQ(c->packed, shared);
  EXPECT_EQ(obj_class_count(kLineStoreClass, nullptr), 2);
  file_set_packed(c, nullptr);
  EXPECT_EQ(obj_class_count(kLineStoreClass, nullptr), 1);
  file_set_packed(c, c->store);  // content and packed bytes at once
  EXPECT_EQ(c->store->file_users, 2);
  free_obj(&b);
  free_obj(&c);
  EXPECT_EQ(obj_class_count(kLineStoreClass, nullptr), 0);
}

TEST_F(FileObjects, ThePluginNameIsACopyOrTheStoreWrittenToDisk) {
  config_temp_dir_set(dir_.c_str(), "s_");
  fileatt_t* disk = file_open(nullptr, dir_.c_str(), "img.sid", nullptr);
  char* name = get_filemobj_name(disk);
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, path("img.sid").c_str());
  EXPECT_NE(name, disk->name);
  free_mem(&name);

  fileatt_t* mem = file_new_in_memory(nullptr);
  ASSERT_EQ(filemobj_owner_append(mem, "payload", 7), 0);
  name = get_filemobj_name(mem);
  ASSERT_NE(name, nullptr);
  std::ifstream in(name, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.substr(0, 7), "payload");
  free_mem(&name);
}

TEST_F(FileObjects, ACopyKeepsItsOwnNamesAndNothingElse) {
  fileatt_t* src = file_open(nullptr, nullptr, "http://h/a.gpx", nullptr);
  fileatt_t* page = file_open(nullptr, nullptr, "http://h/p.htm", nullptr);
  file_add_child(page, src);
  file_new_line_store(src);
  fileatt_t* dst = nullptr;
  obj_new_registered(kFileClass, &dst);
  obj_copy(src, dst);
  EXPECT_STREQ(dst->name, "http://h/a.gpx");
  EXPECT_NE(dst->name, src->name);
  EXPECT_NE(dst->keyname, src->keyname);
  EXPECT_EQ(static_cast<filemobj_t*>(dst->store), nullptr);
  EXPECT_EQ(dst->father, nullptr);
  free_obj(&dst);
  EXPECT_EQ(file_find_by_name("http://h/a.gpx", nullptr), src);  // the copy was never keyed
}

TEST_F(FileObjects, ReopenCreatesMissingFoldersForWriting) {
  fileatt_t* f = file_open(nullptr, dir_.c_str(), "sub/deeper/out.bin", nullptr);
  FILE* fp = file_reopen(f, "wb", nullptr);
  ASSERT_NE(fp, nullptr);
  std::fputs("ok", fp);
  std::fclose(fp);
  EXPECT_TRUE(std::filesystem::exists(path("sub/deeper/out.bin")));
  EXPECT_EQ(file_reopen(nullptr, "rb", nullptr), nullptr);
}

}  // namespace
