// The printer list: the system's printers (read from the print server the first time
// the list is needed) and the file printers set from the configuration, read by the
// printing code, the print set-up dialog and the printer contexts. Readers get copies
// under the lock, so a list replaced while a document prints never changes that
// document's printer.
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

PrinterInfo default_file_printer() {
  PrinterInfo p;
  p.name = kDefaultPrinterName;
  p.dpi = kDefaultDpi;
  return p;
}

// The system's printers are asked for once (under `load`, outside `lock`, so that a
// reader of the file printers never waits on the server); reset_printer_list asks
// again.
struct PrinterList {
  std::mutex load;
  std::mutex lock;
  std::vector<PrinterInfo> files{default_file_printer()};
  bool with_system = true;
  bool system_loaded = false;
  std::vector<PrinterInfo> system;
  uint64_t generation = 0;  // changed by every replacement of the list
};

PrinterList& printer_list() {
  static PrinterList list;
  return list;
}

thread_local std::string t_print_error;

// A folder as the configuration writes it ('\' accepted), ending with '/'.
std::string folder_path(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

// The user's documents folder (else the home folder), the temporary folder only
// without a home.
std::string default_folder() {
  std::string docs = documents_dir();
  if (!docs.empty()) return docs;
  std::string tmp = temp_dir();
  return tmp.empty() ? std::string("/tmp/") : tmp;
}

PrinterInfo checked_entry(const PrinterConfig& c) {
  PrinterInfo p;
  p.name = c.name;
  p.folder = c.folder;
  p.dpi = c.dpi;
  p.colour = c.colour;
  if (p.dpi < kMinDpi || p.dpi > kMaxDpi) p.dpi = kDefaultDpi;
  return p;
}

// The whole list: the system's printers (asked for when not yet known), then the file
// printers whose names no destination has already.
std::vector<PrinterInfo> all_printers() {
  PrinterList& pl = printer_list();
  uint64_t generation = 0;
  {
    std::lock_guard<std::mutex> guard(pl.lock);
    if (!pl.with_system || pl.system_loaded) {
      std::vector<PrinterInfo> list = pl.with_system ? pl.system : std::vector<PrinterInfo>();
      for (const PrinterInfo& f : pl.files) {
        bool taken = false;
        for (const PrinterInfo& p : list) taken = taken || p.name == f.name;
        if (!taken) list.push_back(f);
      }
      return list;
    }
    generation = pl.generation;
  }
  {
    std::lock_guard<std::mutex> loading(pl.load);
    bool needed = false;
    {
      std::lock_guard<std::mutex> guard(pl.lock);
      needed = pl.with_system && !pl.system_loaded && pl.generation == generation;
    }
    if (needed) {
      std::vector<PrinterInfo> system = system_printers();
      std::lock_guard<std::mutex> guard(pl.lock);
      if (pl.generation == generation) {
        pl.system = std::move(system);
        pl.system_loaded = true;
      }
    }
  }
  return all_printers();
}

}  // namespace

void set_print_error(std::string message) { t_print_error = std::move(message); }
std::string last_print_error() { return t_print_error; }

void set_printer_config(const std::vector<PrinterConfig>& printers, bool with_system_printers) {
  std::vector<PrinterInfo> list;
  for (const PrinterConfig& c : printers) {
    if (c.name.empty()) continue;
    bool listed = false;
    for (const PrinterInfo& p : list) listed = listed || p.name == c.name;
    if (!listed) list.push_back(checked_entry(c));
  }
  if (list.empty()) list.push_back(default_file_printer());
  PrinterList& pl = printer_list();
  std::lock_guard<std::mutex> guard(pl.lock);
  pl.files = std::move(list);
  if (pl.with_system != with_system_printers) {
    pl.with_system = with_system_printers;
    pl.system_loaded = false;
    pl.system.clear();
  }
  ++pl.generation;
}

void reset_printer_list() {
  PrinterList& pl = printer_list();
  std::lock_guard<std::mutex> guard(pl.lock);
  pl.files = {default_file_printer()};
  pl.with_system = true;
  pl.system_loaded = false;
  pl.system.clear();
  ++pl.generation;
}

std::vector<std::string> enum_printers() {
  std::vector<std::string> names;
  for (const PrinterInfo& p : all_printers()) names.push_back(p.name);
  return names;
}

// The server's default destination when there is one, else the first printer.
std::string get_default_printer() {
  PrinterInfo p;
  return find_printer(nullptr, &p) ? p.name : std::string();
}

bool is_system_printer(const char* printer) {
  PrinterInfo p;
  return printer && *printer && find_printer(printer, &p) && p.system;
}

bool find_printer(const char* name, PrinterInfo* out) {
  const std::vector<PrinterInfo> list = all_printers();
  const bool want_default = !name || !*name;
  for (const PrinterInfo& p : list) {
    if (want_default ? p.system && p.is_default : p.name == name) {
      *out = p;
      return true;
    }
  }
  if (!want_default || list.empty()) return false;
  *out = list.front();
  return true;
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
    case DC_ORIENTATION: return p.landscape ? 90 : 0;
    case DC_COLORDEVICE: return p.colour ? 1 : 0;
    default: return -1;
  }
}

}  // namespace plat
