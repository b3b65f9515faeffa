// Containers expanded by identification and loaded through file_load: the members of a
// ZIP archive (stored and deflated), a gzip file, the entries of a file list, the links
// of a page fetched from a server in the test process, and archives that would unpack
// without end (a gzip whose content is gzip again, ZIP archives nested deeper than
// identification goes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/obj_list.h"
#include "map/gps_classes.h"
#include "tests/formats/load_fixture.h"
#include "tests/support/http_server.h"

namespace {

using tm_test::gpx_doc;
using tm_test::gzip_of;
using tm_test::zip_entry;
using tm_test::zip_of;

class FileContainers : public tm_test::LoadFixture {
 protected:
  void TearDown() override {
    server.stop();
    LoadFixture::TearDown();
  }

  static std::vector<fileatt_t*> files_in(const fileatt_t* f) {
    std::vector<fileatt_t*> out;
    for (int i = 0; i < obj_list_count(f->sot); ++i)
      if (fileatt_t* m = file_of(f->sot->elems[i])) out.push_back(m);
    return out;
  }
  // Names of the waypoints a loaded file holds.
  static std::vector<std::u16string> waypoints(const fileatt_t* f) {
    std::vector<std::u16string> out;
    for (int i = 0; i < obj_list_count(f->sot); ++i)
      if (f->sot->elems[i]->cls == CLS_WAYPOINT)
        out.push_back(tm_test::wide(static_cast<waypoint_t*>(f->sot->elems[i])->name));
    return out;
  }
  std::string url(const std::string& path) { return "http://" + server.authority() + path; }

  tm_test::http_server server;
};

TEST_F(FileContainers, ZipMembersBecomeFileObjectsAndLoad) {
  const std::string zip = put("two.zip", zip_of({{"a.gpx", gpx_doc("Alpha"), true},
                                                 {"b.gpx", gpx_doc("Beta"), false}}));
  fileatt_t* archive = open(zip);
  EXPECT_EQ(file_load(archive, nullptr, 0), 3);  // the caller loads the members
  const std::vector<fileatt_t*> members = files_in(archive);
  ASSERT_EQ(members.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    fileatt_t* m = members[i];
    EXPECT_EQ(std::string(m->name), zip + (i == 0 ? "/a.gpx" : "/b.gpx"));
    EXPECT_EQ(int(m->filetype), kFileKindGps);
    EXPECT_EQ(int(m->fileformat), 30);
    EXPECT_EQ(file_load(m, nullptr, 0), 0);
    EXPECT_EQ(waypoints(m), std::vector<std::u16string>{i == 0 ? u"Alpha" : u"Beta"});
  }
}

TEST_F(FileContainers, FirstIdentificationOfAMemberLeavesNoCopyBehind) {
  const std::string zip = put("one.zip", zip_of({{"inner.gpx", gpx_doc("Gamma"), true}}));
  fileatt_t* archive = open(zip);
  container_t* members = new_list();
  file_identify_and_load(archive, reinterpret_cast<obj_t*>(members), 1);
  ASSERT_EQ(obj_list_count(members), 1);
  fileatt_t* m = file_of(members->elems[0]);
  // Listing identified it with the whole member unpacked for its reader; forget that
  // and identify it as a first call does, from the member's head.
  file_set_store(m, nullptr);
  m->content_state = 0;
  m->filetype = kFileKindLocal;
  file_identify_and_load_default(m);
  EXPECT_EQ(int(m->filetype), kFileKindGps);
  EXPECT_EQ(int(m->fileformat), 30);
  EXPECT_TRUE(m->store == nullptr);
  // The reader still gets the whole member.
  EXPECT_EQ(file_load(m, nullptr, 0), 0);
  EXPECT_EQ(waypoints(m), std::vector<std::u16string>{u"Gamma"});
  obj_list_clear(members);  // the file objects are freed with the others
}

TEST_F(FileContainers, GzipContentIsIdentifiedAndRead) {
  for (bool identified_first : {false, true}) {
    SCOPED_TRACE(identified_first);
    fileatt_t* f = open(put(identified_first ? "b.gpx.gz" : "a.gpx.gz", gzip_of(gpx_doc("Delta"))));
    if (identified_first) {
      file_identify_and_load_default(f);  // a probe of the head only
      EXPECT_EQ(int(f->filetype), kFileKindGps);
      EXPECT_TRUE(f->store == nullptr);
    }
    EXPECT_EQ(file_load(f, nullptr, 0), 0);
    EXPECT_EQ(int(f->fileformat), 30);
    EXPECT_EQ(waypoints(f), std::vector<std::u16string>{u"Delta"});
  }
}

// A stand-in for the file-list reader: every line after the header names a file.
int list_lines(obj_t* file, container_t* list) {
  if (rd_open(file, 0, 1) != 0) return 2;
  std::string text(size_t(rd_size()), '\0');
  rd_read_bytes(text.data(), rd_size());
  size_t at = text.find('\n');
  while (at != std::string::npos && at + 1 < text.size()) {
    const size_t end = text.find('\n', at + 1);
    const std::string path = text.substr(at + 1, end - at - 1);
    at = end;
    if (path.empty()) continue;
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, path.c_str(), 1, 1, &f);
    if (f) obj_add_to_id_list(list, f);
  }
  return 0;
}

TEST_F(FileContainers, FileListEntriesGoToTheContentList) {
  const std::string a = put("a.gpx", gpx_doc("A"));
  const std::string b = put("b.gpx", gpx_doc("B"));
  const std::string list = put("all.lst", "FileList V1.0\n" + a + "\n" + b + "\n");
  // Identified without a list, a file list expands nothing (its reader is not called).
  register_format_reader(54, [](obj_t*, container_t*) { return 99; });
  fileatt_t* probe = open(put("probe.lst", "FileList V1.0\n" + a + "\n"));
  file_identify_and_load_default(probe);
  EXPECT_EQ(int(probe->filetype), kFileKindFileList);

  register_format_reader(54, list_lines);
  fileatt_t* f = open(list);
  EXPECT_EQ(file_load(f, nullptr, 0), 3);
  const std::vector<fileatt_t*> entries = files_in(f);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(std::string(entries[0]->name), a);
  EXPECT_EQ(std::string(entries[1]->name), b);
}

TEST_F(FileContainers, PageLinksBecomeFileObjects) {
  config_set("WEBNAVIG", "1");
  server.queue(tm_test::http_server::reply(
      "200 OK", "Content-Type: text/html\r\n",
      "<html><body><p>Tracks of the week</p>\n<a href=\"a.gpx\">a</a> <a href=\"sub/b.gpx\">b</a>\n"
      "</body></html>\n"));
  fileatt_t* page = open(url("/walks/index.html"));
  ASSERT_EQ(int(page->filetype), kFileKindHttp);
  EXPECT_EQ(file_load(page, nullptr, 0), 3);
  EXPECT_EQ(int(page->filetype), kFileKindHtml);
  EXPECT_EQ(int(page->from_url), 1);
  ASSERT_NE(file_get_web_root(page), nullptr);
  std::vector<std::string> names;
  for (fileatt_t* link : files_in(page)) names.push_back(link->name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{url("/walks/a.gpx"), url("/walks/sub/b.gpx")}));
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(FileContainers, FetchedZipOnlyWhenNested) {
  const std::string zip = zip_of({{"w.gpx", gpx_doc("Web"), true}});
  server.queue(tm_test::http_server::reply("200 OK", "Content-Type: application/zip\r\n", zip));
  fileatt_t* first = open(url("/first.zip"));
  file_identify_and_load_default(first);
  EXPECT_EQ(int(first->filetype), kFileKindNone);

  server.queue(tm_test::http_server::reply("200 OK", "Content-Type: application/zip\r\n", zip));
  fileatt_t* loaded = open(url("/loaded.zip"));
  EXPECT_EQ(file_load(loaded, nullptr, 0), 3);
  const std::vector<fileatt_t*> members = files_in(loaded);
  ASSERT_EQ(members.size(), 1u);
  EXPECT_EQ(int(members[0]->filetype), kFileKindGps);
  EXPECT_EQ(file_load(members[0], nullptr, 0), 0);
  EXPECT_EQ(waypoints(members[0]), std::vector<std::u16string>{u"Web"});
}

// A fetched file keeps its download for the readers; once that copy is gone, unloading
// turns it back into an address, and the next load fetches it again.
TEST_F(FileContainers, FetchedFileIsFetchedAgainAfterItsCopyIsGone) {
  const std::string answer = tm_test::http_server::reply("200 OK", "Content-Type: text/xml\r\n", gpx_doc("Web"));
  server.queue(answer);
  fileatt_t* f = open(url("/walk.gpx"));
  ASSERT_EQ(file_load(f, nullptr, 0), 0);
  EXPECT_EQ(waypoints(f), std::vector<std::u16string>{u"Web"});
  EXPECT_TRUE(f->store != nullptr);
  file_unload(f, 1);
  EXPECT_EQ(int(f->filetype), kFileKindGps);  // the download is still there

  file_set_store(f, nullptr);
  file_unload(f, 1);
  EXPECT_EQ(int(f->filetype), kFileKindHttp);
  server.queue(answer);
  EXPECT_EQ(file_load(f, nullptr, 0), 0);
  EXPECT_EQ(waypoints(f), std::vector<std::u16string>{u"Web"});
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(FileContainers, FailedFetchLeavesNothing) {
  server.queue(tm_test::http_server::reply("404 Not Found", "", "gone"));
  fileatt_t* f = open(url("/missing.gpx"));
  EXPECT_EQ(file_load(f, nullptr, 0), 3);
  EXPECT_EQ(int(f->filetype), kFileKindNone);
  EXPECT_TRUE(f->sot == nullptr);
  EXPECT_EQ(get_gblerr(), 0);
}

// Compressed files inside compressed files: identification unpacks each level from the
// memory of the one above, and the load reads the innermost content from memory. The
// disk file is removed once identified, so the load cannot decode the outer file again.
TEST_F(FileContainers, NestedCompressionLoadsTheInnermostContent) {
  const std::string gpx = gpx_doc("Inner");
  const struct {
    const char* name;
    std::string bytes;
    bool first_call;  // identified first as a probe (no list, not nested)
  } cases[] = {
      {"twice.gpx.gz.gz", gzip_of(gzip_of(gpx)), false},
      {"thrice.gpx.gz.gz.gz", gzip_of(gzip_of(gzip_of(gpx))), false},
      {"probed.gpx.gz.gz", gzip_of(gzip_of(gpx)), true},
      {"deflated_member.zip", zip_of({{"t.gpx.gz", gzip_of(gpx), true}}), false},
      {"stored_member.zip", zip_of({{"t.gpx.gz", gzip_of(gpx), false}}), false},
      {"zip_in_zip.zip", zip_of({{"in.zip", zip_of({{"t.gpx", gpx, true}}), true}}), false},
      {"zip_in_gzip.zip.gz", gzip_of(zip_of({{"t.gpx", gpx, true}})), false},
      {"gzip_in_zip_in_gzip.zip.gz", gzip_of(zip_of({{"t.gpx.gz", gzip_of(gpx), false}})), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = put(c.name, c.bytes);
    fileatt_t* f = open(path);
    if (c.first_call) {
      file_identify_and_load_default(f);
      EXPECT_EQ(int(f->filetype), kFileKindGps);
      f->filetype = kFileKindLocal;
    }
    // Identified as the load task does.
    container_t* members = new_list();
    file_identify_and_load(f, reinterpret_cast<obj_t*>(members), 1);
    std::vector<fileatt_t*> loaded;
    if (obj_list_count(members) == 0) loaded.push_back(f);
    for (int i = 0; i < obj_list_count(members); ++i)
      if (fileatt_t* m = file_of(members->elems[i])) loaded.push_back(m);
    // The disk file goes: the load reads what identification left in memory.
    ASSERT_EQ(std::remove(path.c_str()), 0);
    std::vector<std::u16string> names;
    for (fileatt_t* m : loaded) {
      if (m->filetype != kFileKindGps) continue;  // an archive inside, already listed
      EXPECT_EQ(int(m->fileformat), 30);
      EXPECT_EQ(file_load(m, nullptr, 0), 0) << m->name;
      for (const std::u16string& n : waypoints(m)) names.push_back(n);
      // Unloaded and loaded again, it is unpacked again from what memory holds.
      file_unload(m, 1);
      EXPECT_EQ(file_load(m, nullptr, 0), 0) << m->name;
      EXPECT_EQ(waypoints(m), std::vector<std::u16string>{u"Inner"});
    }
    EXPECT_EQ(names, std::vector<std::u16string>{u"Inner"});
    EXPECT_EQ(get_gblerr(), 0);
    obj_list_clear(members);
  }
}

// A gzip file nested deeper than identification goes (or one that unpacks to itself,
// which nests without end) stays unrecognised, and the refusal is counted so that the
// load can say why; one level less loads.
TEST_F(FileContainers, CompressionNestedTooDeepIsRefused) {
  auto nested_gzip = [](int levels) {
    std::string bytes = gpx_doc("Deep");
    for (int i = 0; i < levels; ++i) bytes = gzip_of(bytes);
    return bytes;
  };
  const int most = kMaxIdentifyDepth - 1;  // the top call and one call per level
  fileatt_t* ok = open(put("ok.gz", nested_gzip(most)));
  int refusals = file_identify_depth_refusals();
  EXPECT_EQ(file_load(ok, nullptr, 0), 0);
  EXPECT_EQ(waypoints(ok), std::vector<std::u16string>{u"Deep"});
  EXPECT_EQ(file_identify_depth_refusals(), refusals);

  fileatt_t* deep = open(put("deep.gz", nested_gzip(most + 1)));
  EXPECT_EQ(file_load(deep, nullptr, 0), 3);
  EXPECT_EQ(int(deep->filetype), kFileKindNone);
  EXPECT_TRUE(deep->sot == nullptr);
  EXPECT_EQ(file_identify_depth_refusals(), refusals + 1);
  EXPECT_EQ(get_gblerr(), 0);
}

// A gzip file fetched from a server is decoded from the download in memory, whether it
// is identified for the load or first probed.
TEST_F(FileContainers, FetchedGzipIsDecodedFromTheDownload) {
  const std::string answer =
      tm_test::http_server::reply("200 OK", "Content-Type: application/gzip\r\n", gzip_of(gpx_doc("Web")));
  for (bool probed : {false, true}) {
    SCOPED_TRACE(probed);
    server.queue(answer);
    fileatt_t* f = open(url(probed ? "/probed.gpx.gz" : "/track.gpx.gz"));
    if (probed) {
      file_identify_and_load_default(f);
      EXPECT_EQ(int(f->filetype), kFileKindGps);
    }
    EXPECT_EQ(file_load(f, nullptr, 0), 0);
    EXPECT_EQ(int(f->fileformat), 30);
    EXPECT_EQ(waypoints(f), std::vector<std::u16string>{u"Web"});
  }
  EXPECT_EQ(server.requests().size(), 2u);
}

// Archives `levels` deep, the innermost holding a GPX file.
std::string nested_zip(int levels) {
  std::string bytes = zip_of({{"deep.gpx", gpx_doc("Deep"), true}});
  for (int i = 1; i < levels; ++i) bytes = zip_of({{"z" + std::to_string(i) + ".zip", bytes, i % 2 == 0}});
  return bytes;
}

// Whether any file object reached is the innermost GPX file, identified.
bool reaches_gpx(const fileatt_t* f) {
  for (int i = 0; i < obj_list_count(f->sot); ++i) {
    const fileatt_t* m = file_of(f->sot->elems[i]);
    if (m && m->filetype == kFileKindGps && std::string(m->name).find("deep.gpx") != std::string::npos)
      return true;
  }
  return false;
}

TEST_F(FileContainers, NestedArchivesStopAtTheDepthLimit) {
  fileatt_t* shallow = open(put("shallow.zip", nested_zip(3)));
  EXPECT_EQ(file_load(shallow, nullptr, 0), 3);
  EXPECT_TRUE(reaches_gpx(shallow));

  fileatt_t* deep = open(put("deep.zip", nested_zip(12)));
  EXPECT_EQ(file_load(deep, nullptr, 0), 3);
  EXPECT_FALSE(reaches_gpx(deep));
  // The archive below the limit is left unrecognised.
  bool refused = false;
  for (const fileatt_t* m : files_in(deep)) refused = refused || m->filetype == kFileKindNone;
  EXPECT_TRUE(refused);
  EXPECT_EQ(get_gblerr(), 0);
}

}  // namespace
