// One printed document as a PDF file.
//
// The file is written as the pages come, under a temporary name in its folder: each page
// as an image object (the page surface, compressed, at the printer's resolution), its
// length, a content stream drawing the image over the whole sheet, and the page object.
// The catalog, the page tree and the document information come last, as do the
// cross-reference table and the trailer; the finished file is then synced and renamed to
// its own name, so a reader never sees half a document and a failed or aborted one
// leaves nothing behind.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/print/print_internal.h"

namespace plat {

class PdfWriter {
 public:
  PdfWriter() = default;
  ~PdfWriter();  // an unfinished file is removed
  PdfWriter(const PdfWriter&) = delete;
  PdfWriter& operator=(const PdfWriter&) = delete;

  // Creates the temporary file in `folder` (ending with '/'). 1, or an SP_ code with the
  // reason left by set_print_error.
  int open(const std::string& folder);
  // Appends a page; `keep_going` is asked between bands of rows, and false stops the page
  // with SP_APPABORT.
  int add_page(const Surface& page, const PageGeometry& g, const std::function<bool()>& keep_going);
  // Completes the file and renames it: to `path` when that is not empty (replacing what
  // is there), else to the first free "<base>.pdf", "<base> (2).pdf", ... of the folder.
  int finish(const std::string& title, const std::string& path, const std::string& base, std::string* written);
  // Removes the temporary file.
  void discard();
  int pages() const { return int(page_objects_.size()); }

 private:
  bool put(const void* bytes, size_t n);
  bool put(const std::string& text) { return put(text.data(), text.size()); }
  bool flush();  // the buffered bytes to the file
  void begin_object(int number);
  int fail(const char* what);
  int commit(const std::string& path, const std::string& base, std::string* written);

  int fd_ = -1;
  std::string folder_, temp_path_;
  uint64_t offset_ = 0;  // bytes written so far
  int error_ = 0;        // errno of the first failed write
  std::vector<uint8_t> buffer_;
  std::vector<uint64_t> object_offsets_;  // by object number (0 unused)
  std::vector<int> page_objects_;
};

}  // namespace plat
