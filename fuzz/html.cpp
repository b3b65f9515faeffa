// The HTML link scanner on arbitrary bytes: the page is held in memory under an
// address, and its links are collected as the downloader does.
#include <cstddef>
#include <cstdint>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/html.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "core/xml.h"
#include "fuzz/support/fuzz_env.h"
#include "tests/support/file_stub.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  static bool ready = false;
  if (!ready) {
    xml_init();
    html_init();
    ready = true;
  }
  obj_t* page = tm_test::stub_file("http://example.org/guide/pages/p.htm");
  filemobj_t* store = nullptr;
  filemobj_create(page, page, 0, 32768, 0, &store);
  get_file_ops().set_store(page, reinterpret_cast<obj_t*>(store));
  filemobj_owner_append(page, data, int64_t(size));
  container_t* list = nullptr;
  obj_list_new(&list);
  html_collect_links(page, list);
  set_gblerr(0);
  free_obj(&list);
  rd_close_all();
  tm_test::free_stub_files();
  return 0;
}
