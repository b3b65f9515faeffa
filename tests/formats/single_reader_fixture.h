// The reader fixture for the tests of one format reader: load_path reads a disk file
// with that reader into a fresh file object (kept whatever the result, its contents
// dropped at the end when the read failed) and expects the reader to leave no global
// error behind; load writes bytes to the test's own file name in the test folder and
// reads that; all_of lists a loaded file's objects of one class.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "core/obj_list.h"
#include "map/file_object.h"
#include "tests/formats/load_fixture.h"

namespace tm_test {

class SingleReaderFixture : public ReaderFixture {
 protected:
  using reader_fn = int (*)(obj_t* file, container_t* list);

  // `read` is the reader under test, `file_name` the name load gives its bytes, and
  // `no_file` what load_path returns when the file cannot be opened at all.
  SingleReaderFixture(reader_fn read, std::string file_name, int no_file = -1)
      : read_(read), file_name_(std::move(file_name)), no_file_(no_file) {}

  int load_path(const std::string& path, fileatt_t** out = nullptr) {
    fileatt_t* f = loaded_.open(path);
    if (!f) return no_file_;
    const int result = read_(f, f->sot);
    loaded_.unload_at_end(f, result != 0);
    EXPECT_EQ(get_gblerr(), 0);
    set_gblerr(0);
    if (out) *out = f;
    return result;
  }
  int load(const std::string& bytes, fileatt_t** out = nullptr) {
    return load_path(write_file(dir_ + "/" + file_name_, bytes), out);
  }
  template <class T> static std::vector<T*> all_of(const fileatt_t* f, int cls) {
    return objects_of<T>(f->sot, cls);
  }

 private:
  reader_fn read_;
  std::string file_name_;
  int no_file_;
};

}  // namespace tm_test
