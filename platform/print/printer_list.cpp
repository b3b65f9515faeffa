// The printer list: set once from the configuration, read by the printing code, the
// print set-up dialog and the printer contexts. Readers get copies under the lock, so a
// list replaced while a document prints never changes that document's printer.
#include <stdlib.h>
#include <sys/stat.h>

#include <mutex>

#include "platform/print/print_internal.h"
#include "platform/sys/sysinfo.h"

namespace plat {

struct PrinterRec {
  PrinterInfo info;
};

namespace {

constexpr int kDefaultDpi = 300;
constexpr int kMinDpi = 72;
constexpr int kMaxDpi = 600;
constexpr char kDefaultPrinterName[] = "PDF";

struct PrinterList {
  std::mutex lock;
  std::vector<PrinterInfo> printers{PrinterInfo{kDefaultPrinterName, "", kDefaultDpi, true}};
};

PrinterList& printer_list() {
  static PrinterList list;
  return list;
}

thread_local std::string t_print_error;

bool is_folder(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder as the configuration writes it ('\' accepted), ending with '/'.
std::string folder_path(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

// The user's documents folder when there is one, else the temporary folder.
std::string default_folder() {
  const char* docs = getenv("XDG_DOCUMENTS_DIR");
  if (docs && is_folder(docs)) return folder_path(docs);
  const char* home = getenv("HOME");
  std::string home_docs = home && *home ? std::string(home) + "/Documents" : std::string();
  if (is_folder(home_docs)) return folder_path(home_docs);
  std::string tmp = temp_dir();
  return tmp.empty() ? std::string("/tmp/") : tmp;
}

PrinterInfo checked_entry(const PrinterConfig& c) {
  PrinterInfo p{c.name, c.folder, c.dpi, c.colour};
  if (p.dpi < kMinDpi || p.dpi > kMaxDpi) p.dpi = kDefaultDpi;
  return p;
}

}  // namespace

void set_print_error(std::string message) { t_print_error = std::move(message); }
std::string last_print_error() { return t_print_error; }

void set_printer_config(const std::vector<PrinterConfig>& printers) {
  std::vector<PrinterInfo> list;
  for (const PrinterConfig& c : printers) {
    if (c.name.empty()) continue;
    bool listed = false;
    for (const PrinterInfo& p : list) listed = listed || p.name == c.name;
    if (!listed) list.push_back(checked_entry(c));
  }
  if (list.empty()) list.push_back(PrinterInfo{kDefaultPrinterName, "", kDefaultDpi, true});
  PrinterList& pl = printer_list();
  std::lock_guard<std::mutex> guard(pl.lock);
  pl.printers = std::move(list);
}

std::vector<std::string> enum_printers() {
  PrinterList& pl = printer_list();
  std::lock_guard<std::mutex> guard(pl.lock);
  std::vector<std::string> names;
  for (const PrinterInfo& p : pl.printers) names.push_back(p.name);
  return names;
}

std::string get_default_printer() {
  PrinterList& pl = printer_list();
  std::lock_guard<std::mutex> guard(pl.lock);
  return pl.printers.empty() ? std::string() : pl.printers.front().name;
}

bool find_printer(const char* name, PrinterInfo* out) {
  PrinterList& pl = printer_list();
  std::lock_guard<std::mutex> guard(pl.lock);
  for (const PrinterInfo& p : pl.printers) {
    if (!name || !*name || p.name == name) {
      *out = p;
      return true;
    }
  }
  return false;
}

std::string output_folder_of(const PrinterInfo& printer) {
  return printer.folder.empty() ? default_folder() : folder_path(printer.folder);
}

std::string printer_output_folder(const char* printer) {
  PrinterInfo p;
  return printer && find_printer(printer, &p) ? output_folder_of(p) : std::string();
}

bool open_printer(const char* name, Printer* out) {
  if (!out) return false;
  *out = nullptr;
  PrinterInfo p;
  if (!name || !*name || !find_printer(name, &p)) {
    set_print_error(std::string("There is no printer named \"") + (name ? name : "") + "\".");
    return false;
  }
  *out = new PrinterRec{std::move(p)};
  return true;
}

bool close_printer(Printer printer) {
  delete printer;
  return printer != nullptr;
}

bool printer_info_of(Printer printer, PrinterInfo* out) {
  if (!printer) return false;
  *out = printer->info;
  return true;
}

int device_capabilities(const char* printer, int capability) {
  PrinterInfo p;
  if (!printer || !find_printer(printer, &p)) return -1;
  switch (capability) {
    case DC_ORIENTATION: return 90;
    case DC_COLORDEVICE: return p.colour ? 1 : 0;
    default: return -1;
  }
}

}  // namespace plat
