// What the printing sources share: a printer as the list describes it, the page a
// document's settings give, and the calling thread's error message.
//
// printer_list.cpp keeps the list, devmode.cpp turns settings into pages,
// pdf_writer.cpp writes documents and printer_dc.cpp ties them to device contexts.
#pragma once
#include <string>
#include <vector>

#include "platform/print/printer.h"

namespace plat {

// One printer of the list (a copy: the list may be replaced while a document prints).
// A file printer writes PDF files into a folder; a system printer is a destination of
// the print server, to which each document goes as one PDF job.
struct PrinterInfo {
  std::string name;
  std::string folder;  // as configured; "" for the default folder (file printers)
  int dpi = 300;       // the printer's own resolution
  bool colour = true;
  bool system = false;          // a print server's destination
  bool is_default = false;      // the server's default destination
  std::vector<int> resolutions;  // what it prints at (dpi); empty: its own and the usual ones below
  std::vector<int16_t> papers;   // the paper codes it takes; empty: every one known
  int16_t paper = DMPAPER_A4;    // its default paper: a code, or DMPAPER_USER with the size below
  int16_t paper_width = 2100, paper_length = 2970;  // tenths of a millimetre, held in portrait
  bool landscape = true;         // turns pages to landscape
};

// The printer of that name (null or "" for the default one); false when none has it.
bool find_printer(const char* name, PrinterInfo* out);
// The printer an open handle stands for; false for a null handle.
bool printer_info_of(Printer printer, PrinterInfo* out);
// The folder the printer's documents go to, with a trailing '/'.
std::string output_folder_of(const PrinterInfo& printer);

// The settings a printer starts every document with, and a caller's settings merged
// into them field by field (what the printer does not accept is left as it was).
DevMode printer_defaults(const PrinterInfo& printer);
void merge_settings(const PrinterInfo& printer, const DevMode& in, DevMode* settings);

// A printed page as the settings make it.
struct PageGeometry {
  int width_px = 0, height_px = 0;      // the page surface
  int dpi_x = 0, dpi_y = 0;             // its resolution
  int width_tenth_mm = 0, height_tenth_mm = 0;  // the sheet as it is printed (turned)
  bool grey = false;                    // grey levels instead of colour
};
PageGeometry page_geometry(const PrinterInfo& printer, const DevMode& settings);
// The largest page surface a printer context makes (in pixels): 600 dpi on the largest
// sheet fits well inside it.
constexpr long long kMaxPagePixels = 64LL * 1024 * 1024;

// The print server's destinations (none when no server answers within a second), and
// one document sent to a destination as a PDF job with its copies and orientation.
// send_system_job returns the job number, or 0 with the server's reason left by
// set_print_error.
std::vector<PrinterInfo> system_printers();
int send_system_job(const PrinterInfo& printer, const DevMode& settings, const std::string& title,
                    const std::string& pdf_file);

// The calling thread's last error message.
void set_print_error(std::string message);

}  // namespace plat
