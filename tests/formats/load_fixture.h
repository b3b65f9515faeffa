// Test support for identification and the load dispatch: the GPS fixture with real file
// objects, the GPX and GeoNames readers wired as at start-up, disk files written by the
// test, and small builders of gzip files and ZIP archives whose members are stored or
// packed in stored Deflate blocks (no compressor needed, every byte known). Also what the
// tests of single readers share: the files they load (opened as the dispatcher opens
// them, freed at the end), the objects of a class in a list, and whole fixture files.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/checksum.h"
#include "core/config.h"
#include "core/error.h"
#include "core/html.h"
#include "core/http.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "core/socket.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "formats/geonames.h"
#include "formats/gpx.h"
#include "map/file_internal.h"
#include "map/file_object.h"
#include "raster/image_load.h"
#include "tests/map/gps_file_fixture.h"
#include "tests/support/test_env.h"

namespace tm_test {

// A file's whole content ("" where it cannot be read).
inline std::string slurp_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The fields of `s` between the separators (one empty field for an empty string).
inline std::vector<std::string> split_fields(const std::string& s, char sep) {
  std::vector<std::string> out(1);
  for (char c : s) {
    if (c == sep)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// The objects of a class in a list (none for no list), in list order.
template <class T> std::vector<T*> objects_of(const container_t* list, int cls) {
  std::vector<T*> out;
  for (int i = 0; i < obj_list_count(list); ++i)
    if (list->elems[i] && list->elems[i]->cls == cls) out.push_back(static_cast<T*>(list->elems[i]));
  return out;
}

// The disk files a reader's tests load, opened as the load dispatcher opens them before
// a reader runs (a file object with a fresh content list) and freed by the fixture's
// TearDown, before the object store goes. A file marked for unloading has its content
// detached first, as the dispatcher unloads a failed load whose objects no folder owns.
class loaded_files {
 public:
  // A file object on `path` with an empty content list, freed by free_all; nullptr (a
  // test failure) where the file cannot be opened.
  fileatt_t* open(const std::string& path) {
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, path.c_str(), 0, 0, &f);
    EXPECT_NE(f, nullptr);
    if (!f) return nullptr;
    obj_list_new(&f->sot);
    files_.push_back({f, false});
    return f;
  }
  // A file object the test opened itself, freed with the others.
  void adopt(fileatt_t* f) { files_.push_back({f, false}); }
  // Whether the file's content is detached before it is freed.
  void unload_at_end(fileatt_t* f, bool unload) {
    for (entry& e : files_)
      if (e.file == f) e.unload = unload;
  }
  // Frees one file before the end of the test.
  void free_one(fileatt_t* f) {
    for (size_t i = 0; i < files_.size(); ++i)
      if (files_[i].file == f) {
        entry e = files_[i];
        files_.erase(files_.begin() + long(i));
        free_entry(e);
        return;
      }
  }
  // Frees every file, in the order they were opened, each closed in the reader first.
  void free_all() {
    for (entry& e : files_) free_entry(e);
    files_.clear();
  }

 private:
  struct entry {
    fileatt_t* file;
    bool unload;
  };
  static void free_entry(entry& e) {
    if (e.unload) file_detach_content(e.file);
    rd_close_file(e.file);
    free_obj(&e.file);
  }
  std::vector<entry> files_;
};

// The GPS file fixture for the tests of one reader on disk files: the map model's own
// file routines (the readers open real files, not the stand-ins the GPS fixture
// installs), a fresh folder for the test's files (dir_), and the files loaded (loaded_),
// closed in the reader and freed after the test, before the reader's own tables
// (free_tables) and the object store go.
class ReaderFixture : public GpsFileFixture {
 protected:
  void SetUp() override {
    GpsFileFixture::SetUp();
    file_detail::file_ops_table_install();
    dir_ = fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    set_gblerr(0);
    rd_close_all();
    loaded_.free_all();
    free_tables();
    GpsFileFixture::TearDown();
  }
  // Frees what the reader's module built for the test (nothing by default).
  virtual void free_tables() {}

  std::string dir_;
  loaded_files loaded_;
};

class LoadFixture : public GpsFileFixture {
 protected:
  void SetUp() override {
    GpsFileFixture::SetUp();
    file_detail::file_ops_table_install();
    xml_init();
    html_init();
    socket_register_type();
    http_failures_reset();
    gpx_register_tables();
    geonames_register_vocab();
    format_readers_clear();
    file_load_module_init();
    ASSERT_EQ(get_gblerr(), 0);
    dir_ = fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    set_gblerr(0);
    rd_close_all();
    free_every_file();
    get_fileobj_hooks() = fileobj_hooks{};
    get_image_load_hooks() = image_load_hooks{};
    get_file_load_hooks() = file_load_hooks{};
    format_readers_clear();
    gpx_free_tables();
    http_hooks_install(nullptr);
    config_reset();
    GpsFileFixture::TearDown();
    // The file table goes with the test: the next suite may register its own.
    file_types_detail::free_file_tables();
  }

  // Every file object the test made (those of archives and pages included).
  static void free_every_file() {
    for (;;) {
      obj_t* f = nullptr;
      if (!obj_class_next(kFileClass, &f) || !f) break;
      rd_close_file(f);
      free_obj(&f);
      if (f) break;
    }
  }

  std::string put(const std::string& name, const std::string& bytes) {
    return write_file(dir_ + name, bytes);
  }
  static fileatt_t* open(const std::string& path) {
    fileatt_t* f = nullptr;
    file_open_object(nullptr, nullptr, path.c_str(), 1, 1, &f);
    EXPECT_NE(f, nullptr);
    return f;
  }
  // A disk file holding `bytes`, identified with no list.
  fileatt_t* identify(const std::string& name, const std::string& bytes) {
    fileatt_t* f = open(put(name, bytes));
    file_identify_and_load_default(f);
    return f;
  }

  std::string dir_;
};

// ---- Byte builders -------------------------------------------------------------------

inline void put_le16(std::string* s, uint32_t v) {
  s->push_back(char(v & 0xFF));
  s->push_back(char(v >> 8 & 0xFF));
}
inline void put_le32(std::string* s, uint32_t v) {
  put_le16(s, v & 0xFFFF);
  put_le16(s, v >> 16);
}
inline uint32_t crc_of(const std::string& data) {
  return crc32_update(kCrc32Init, data.data(), data.size());
}

// A Deflate stream of stored blocks holding `data`.
inline std::string deflate_stored(const std::string& data) {
  std::string out;
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(data.size() - at, 65535);
    out.push_back(at + n == data.size() ? 1 : 0);
    put_le16(&out, uint32_t(n));
    put_le16(&out, uint32_t(~n & 0xFFFF));
    out.append(data, at, n);
    at += n;
  } while (at < data.size());
  return out;
}

inline std::string gzip_of(const std::string& data) {
  std::string out("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03", 10);
  out += deflate_stored(data);
  put_le32(&out, crc_of(data));
  put_le32(&out, uint32_t(data.size()));
  return out;
}

struct zip_entry {
  std::string name;
  std::string data;
  bool deflated = true;  // method 8 (stored Deflate blocks), else method 0
};

// Local headers and data only: the walk of the archive never reads the directory.
inline std::string zip_of(const std::vector<zip_entry>& entries) {
  std::string out;
  for (const zip_entry& e : entries) {
    const std::string packed = e.deflated ? deflate_stored(e.data) : e.data;
    put_le32(&out, 0x04034b50);
    put_le16(&out, 20);
    put_le16(&out, 0);
    put_le16(&out, e.deflated ? 8 : 0);
    put_le32(&out, 0);  // time and date
    put_le32(&out, crc_of(e.data));
    put_le32(&out, uint32_t(packed.size()));
    put_le32(&out, uint32_t(e.data.size()));
    put_le16(&out, uint32_t(e.name.size()));
    put_le16(&out, 0);
    out += e.name;
    out += packed;
  }
  return out;
}

// A small GPX document with one waypoint named `name`.
inline std::string gpx_doc(const std::string& name) {
  return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"t\">\n<wpt lat=\"45.5\" lon=\"6.25\"><name>" +
         name + "</name></wpt>\n</gpx>\n";
}

}  // namespace tm_test
