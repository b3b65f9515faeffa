// The fixture of the file-object tests: a fresh object store with the map model's file
// classes registered (which installs the real file-object routines of the core), a
// fresh line store, and a folder of the test's own in the sandbox.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/http.h"
#include "core/line_store.h"
#include "map/file_object.h"
#include "map/saved_tables.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace tm_test {

class FileFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    line_store_reset();
    reset_object_store();
    get_line_store_hooks() = line_store_hooks{};
    get_fileobj_hooks() = fileobj_hooks{};
    savfile_reset();
    fileobj_types_register();
    dir_ = fresh_dir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  void TearDown() override {
    set_gblerr(0);
    // A test's hooks may point at its own locals, gone once its body has returned:
    // they are taken away before the files they would see being freed.
    get_line_store_hooks() = line_store_hooks{};
    get_fileobj_hooks() = fileobj_hooks{};
    savfile_reset();
    free_all_files();
    fileobj_tables_free();
    line_store_reset();
    file_ops_install(nullptr);
    http_hooks_install(nullptr);
    config_reset();
  }

  static void free_all_files() {
    for (;;) {
      obj_t* f = nullptr;
      if (!obj_class_next(kFileClass, &f) || !f) break;
      free_obj(&f);
      if (f) break;  // refused: stop rather than loop
    }
  }

  std::string path(const std::string& name) const { return dir_ + name; }

  std::string dir_;
};

}  // namespace tm_test
