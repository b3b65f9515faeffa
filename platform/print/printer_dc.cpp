// Printer contexts: a drawing context on one page surface, and the document that the
// surface's pages go into.
//
// Each printer context carries a record (PrinterPage, the context's extension in the
// drawing layer) holding its printer, its settings, the page surface the context draws
// into and the document being written. The record answers the printer's device
// capabilities through get_device_caps, and delete_dc hands it back at once: an
// unfinished document is abandoned and the page freed with the context.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "platform/print/pdf_writer.h"
#include "platform/print/print_internal.h"
#include "platform/sys/sysinfo.h"

namespace plat {

namespace {

constexpr size_t kMaxBaseBytes = 200;  // of a file name, leaving room for " (n).pdf"

struct PrinterPage final : DcExtension {
  Dc dc = nullptr;
  PrinterInfo printer;
  DevMode settings;
  PageGeometry geometry;
  Surface page;
  AbortProc abort_proc = nullptr;
  std::unique_ptr<PdfWriter> doc;  // the document being written, if any
  std::string title, path, base;   // its name, explicit file (or ""), file name stem
  bool page_open = false;
  std::string failure;  // why the document was given up, for the end_doc that follows
  std::string printed;  // the last file written
  bool job = false;     // the document goes to a system printer as a job
  int printed_job = 0;  // the server's number of the last job sent

  // A raster printer: the sheet's size in whole millimetres, no unprintable margin, and
  // 8 bits (256 grey levels) for a grey page; the rest as the page surface answers.
  int device_caps(int index, int standard) override {
    switch (index) {
      case TECHNOLOGY: return DT_RASPRINTER;
      case HORZSIZE: return (geometry.width_tenth_mm + 5) / 10;
      case VERTSIZE: return (geometry.height_tenth_mm + 5) / 10;
      case BITSPIXEL: return geometry.grey ? 8 : 32;
      case NUMCOLORS: return geometry.grey ? 256 : -1;
      case PHYSICALOFFSETX: case PHYSICALOFFSETY: return 0;  // the whole sheet is printable
      default: return standard;
    }
  }
  // The document still being written is abandoned (its writer removes the file).
  void released(Dc) override { delete this; }
};

std::atomic<int> g_job_counter{0};
std::atomic<unsigned> g_job_file_counter{0};

// The temporary folder a job's file is written in.
std::string job_folder() {
  std::string folder = temp_dir();
  return folder.empty() ? std::string("/tmp/") : folder;
}

// The record of a live printer context; null for any other context or handle.
PrinterPage* find_page(Dc dc) { return dynamic_cast<PrinterPage*>(dc_extension(dc)); }

PrinterPage* printer_page(Dc dc, const char* call) {
  PrinterPage* p = find_page(dc);
  if (!p) set_print_error(std::string(call) + ": not a printer context.");
  return p;
}

bool ends_with_pdf(const std::string& s) {
  if (s.size() < 4) return false;
  std::string tail = s.substr(s.size() - 4);
  for (char& c : tail) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return tail == ".pdf";
}

// The file name stem of a document: no folder separator or control character, not too
// long (cut between characters), without a ".pdf" of its own.
std::string file_base(const char* doc_name) {
  std::string s = doc_name ? doc_name : "";
  for (char& c : s)
    if (c == '/' || c == '\\' || uint8_t(c) < 0x20 || c == 0x7F) c = '_';
  if (ends_with_pdf(s)) s.resize(s.size() - 4);
  if (s.size() > kMaxBaseBytes) {
    size_t n = kMaxBaseBytes;
    while (n > 0 && (uint8_t(s[n]) & 0xC0) == 0x80) --n;
    s.resize(n);
  }
  return s.empty() ? std::string("document") : s;
}

// The folder of an explicit output file (with '/'), after checking it names a file.
bool output_file_folder(std::string* path, std::string* folder) {
  std::replace(path->begin(), path->end(), '\\', '/');
  struct stat st {};
  if (path->empty() || path->back() == '/' || (stat(path->c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    set_print_error("\"" + *path + "\" is a folder, not a file to print into.");
    return false;
  }
  size_t slash = path->rfind('/');
  *folder = slash == std::string::npos ? std::string("./") : path->substr(0, slash + 1);
  return true;
}

}  // namespace

Dc create_printer_dc(const char* printer, const DevMode* settings) {
  auto p = std::make_unique<PrinterPage>();
  if (!find_printer(printer, &p->printer)) {
    set_print_error(std::string("There is no printer named \"") + (printer ? printer : "") + "\".");
    return nullptr;
  }
  p->settings = printer_defaults(p->printer);
  if (settings) merge_settings(p->printer, *settings, &p->settings);
  p->geometry = page_geometry(p->printer, p->settings);
  const PageGeometry& g = p->geometry;
  if (g.width_px <= 0 || g.height_px <= 0 || int64_t(g.width_px) * g.height_px > kMaxPagePixels) {
    set_print_error("A page of " + std::to_string(g.width_px) + " x " + std::to_string(g.height_px) +
                    " pixels is beyond what a printer context can hold.");
    return nullptr;
  }
  try {
    p->page.resize(g.width_px, g.height_px, 0xFFFFFFFFu);
  } catch (const std::bad_alloc&) {
    set_print_error("Not enough memory for a page of " + std::to_string(g.width_px) + " x " +
                    std::to_string(g.height_px) + " pixels.");
    return nullptr;
  }
  p->dc = create_surface_dc(&p->page, Point{}, nullptr);
  dc_set_resolution(p->dc, g.dpi_x, g.dpi_y);
  Dc dc = p->dc;
  dc_set_extension(dc, p.release());  // delete_dc gives it back
  return dc;
}

bool is_printer_dc(Dc dc) { return find_page(dc) != nullptr; }

int printer_device_caps(Dc dc, int index) { return get_device_caps(dc, index); }

int set_abort_proc(Dc dc, AbortProc proc) {
  PrinterPage* p = printer_page(dc, "set_abort_proc");
  if (!p) return SP_ERROR;
  p->abort_proc = proc;
  return 1;
}

int start_doc(Dc dc, const char* doc_name, const char* output_path) {
  PrinterPage* p = printer_page(dc, "start_doc");
  if (!p) return SP_ERROR;
  if (p->doc) {
    set_print_error("start_doc: a document is already being printed on this context.");
    return SP_ERROR;
  }
  std::string folder, path = output_path ? output_path : "";
  if (output_path && !output_file_folder(&path, &folder)) return SP_ERROR;
  const bool job = !output_path && p->printer.system;
  if (!output_path) folder = job ? job_folder() : output_folder_of(p->printer);
  auto doc = std::make_unique<PdfWriter>();
  int rc = doc->open(folder);
  if (rc <= 0) return rc;
  p->doc = std::move(doc);
  p->title = doc_name ? doc_name : "";
  p->path = path;
  p->base = job ? "print-job-" + std::to_string(getpid()) + "-" + std::to_string(++g_job_file_counter)
              : file_base(doc_name);
  p->job = job;
  p->page_open = false;
  p->failure.clear();
  set_print_error("");
  return ++g_job_counter;
}

int start_page(Dc dc) {
  PrinterPage* p = printer_page(dc, "start_page");
  if (!p) return SP_ERROR;
  if (!p->doc || p->page_open) {
    set_print_error(p->doc ? "start_page: the previous page was not ended." : "start_page: no document is started.");
    return SP_ERROR;
  }
  std::fill(p->page.pixels.begin(), p->page.pixels.end(), 0xFFFFFFFFu);
  p->page_open = true;
  return 1;
}

// A page that cannot be written ends its document: the file would be unusable.
int end_page(Dc dc) {
  PrinterPage* p = printer_page(dc, "end_page");
  if (!p) return SP_ERROR;
  if (!p->doc || !p->page_open) {
    set_print_error(p->doc ? "end_page: no page is started." : "end_page: no document is started.");
    return SP_ERROR;
  }
  p->page_open = false;
  auto keep_going = [p] { return !p->abort_proc || p->abort_proc(p->dc, 0); };
  int rc = p->doc->add_page(p->page, p->geometry, keep_going);
  if (rc == SP_APPABORT) set_print_error("The document \"" + p->title + "\" was cancelled.");
  if (rc <= 0) {
    p->doc.reset();
    p->failure = last_print_error();
  }
  return rc;
}

int end_doc(Dc dc) {
  PrinterPage* p = printer_page(dc, "end_doc");
  if (!p) return SP_ERROR;
  if (!p->doc) {
    set_print_error(p->failure.empty() ? std::string("end_doc: no document is started.") : p->failure);
    return SP_ERROR;
  }
  if (p->page_open) {
    int rc = end_page(dc);
    if (rc <= 0) return rc;
  }
  std::unique_ptr<PdfWriter> doc = std::move(p->doc);
  p->printed.clear();
  p->printed_job = 0;
  if (doc->pages() == 0) return 1;  // nothing printed, nothing written
  std::string written;
  int rc = doc->finish(p->title, p->path, p->base, &written);
  if (rc <= 0) return rc;
  if (!p->job) {
    p->printed = written;
    return rc;
  }
  // The file was only the job's carrier.
  const int job = send_system_job(p->printer, p->settings, p->title, written);
  unlink(written.c_str());
  if (job <= 0) return SP_ERROR;
  p->printed_job = job;
  return rc;
}

int abort_doc(Dc dc) {
  PrinterPage* p = printer_page(dc, "abort_doc");
  if (!p) return SP_ERROR;
  p->doc.reset();
  p->page_open = false;
  p->failure.clear();
  return 1;
}

std::string printed_file(Dc dc) {
  PrinterPage* p = find_page(dc);
  return p ? p->printed : std::string();
}

int printed_job(Dc dc) {
  PrinterPage* p = find_page(dc);
  return p ? p->printed_job : 0;
}

std::string printer_dc_name(Dc dc) {
  PrinterPage* p = find_page(dc);
  return p ? p->printer.name : std::string();
}

}  // namespace plat
