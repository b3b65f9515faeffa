// Printers: the list of printers the programs may print to, their document properties
// and device capabilities, and printer device contexts whose documents become PDF files.
//
// The list holds the system's printers, the destinations of the CUPS print server, read
// the first time the list is needed, followed by the file printers. The server is the
// one libcups names (CUPS_SERVER, client.conf, the local socket); when none answers
// within a second the list holds the file printers alone, without a message. Of each
// destination are read its name ("name/instance" for an instance), whether it is the
// default, its resolutions and paper sizes (the destination's own options first, then
// the server's attributes), its colour mode and whether it turns pages to landscape.
// A document printed on a destination is written as a PDF file in the temporary folder
// and sent as one job of type application/pdf with the copies and the orientation of
// its settings; the file is then removed. A job the server refuses fails the document
// with the server's own reason.
//
// The file printers come from the configuration, handed over through
// set_printer_config. With nothing configured there is one, "PDF", writing into the
// user's documents folder (documents_dir: the XDG documents folder, else the home
// folder), or the temporary folder only when there is no home folder. The default
// printer is the server's default destination, else the first printer of the list.
//
// Every printer is a raster printer, 300 dpi and colour unless configured otherwise,
// whose page is the whole sheet: no unprintable margin, so the printable area starts at
// the sheet's corner. A printer context draws into one white 32-bit page surface at the
// printer's resolution; at the end of each page that surface is compressed into the
// document's PDF file, and the next page reuses it. Each document is one PDF file, one
// PDF page per printed page, written under a temporary name and renamed when the
// document ends, so that an aborted or failed document leaves no file behind.
//
// The numbers the system stores or compares (document-properties modes and fields,
// orientations, paper sizes, print qualities, capability indexes, print-job error codes)
// keep their usual values.
//
// Threads: the list may be read from any thread; one thread uses a printer context at
// a time. Errors: a call that fails leaves a message for the calling thread in
// last_print_error().
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace plat {

// ---- Numbers ----------------------------------------------------------------------------
// Document-properties modes.
enum DocPropMode : int { DM_OUT_DEFAULT = 1, DM_OUT_BUFFER = 2, DM_IN_PROMPT = 4, DM_IN_BUFFER = 8 };
// Fields of a DevMode that a caller sets (`fields` bits).
enum DevModeField : uint32_t {
  DM_ORIENTATION = 0x00000001, DM_PAPERSIZE = 0x00000002, DM_PAPERLENGTH = 0x00000004,
  DM_PAPERWIDTH = 0x00000008, DM_COPIES = 0x00000100, DM_PRINTQUALITY = 0x00000400,
  DM_COLOR = 0x00000800, DM_YRESOLUTION = 0x00002000
};
enum Orientation : int16_t { DMORIENT_PORTRAIT = 1, DMORIENT_LANDSCAPE = 2 };
enum PaperSize : int16_t { DMPAPER_LETTER = 1, DMPAPER_A4 = 9, DMPAPER_USER = 256 };
// Print qualities below zero: codes the printer turns into resolutions.
enum PrintQualityCode : int16_t { DMRES_DRAFT = -1, DMRES_LOW = -2, DMRES_MEDIUM = -3, DMRES_HIGH = -4 };
enum ColorMode : int16_t { DMCOLOR_MONOCHROME = 1, DMCOLOR_COLOR = 2 };
// Capability indexes of device_capabilities.
enum PrinterCapability : int { DC_ORIENTATION = 17, DC_COLORDEVICE = 32 };
// Results of the document and page calls: a positive value is success.
enum PrintJobError : int {
  SP_ERROR = -1, SP_APPABORT = -2, SP_USERABORT = -3, SP_OUTOFDISK = -4, SP_OUTOFMEMORY = -5
};

// ---- The printer list -------------------------------------------------------------------
struct PrinterConfig {
  std::string name;
  std::string folder;  // where documents are written; "" for the default folder
  int dpi = 300;       // 72 to 600; any other value gives 300
  bool colour = true;  // false: a grey-level printer
};

// Replaces the file printers. Entries without a name, and a second entry of a name
// already listed, are left out; an empty list restores the single default printer.
// The system's printers are listed beside them only when `with_system_printers` is
// set: a configured list is otherwise the whole list.
void set_printer_config(const std::vector<PrinterConfig>& printers, bool with_system_printers = false);
// The list as a program starts with it: the system's printers, read again when next
// needed, and the default file printer.
void reset_printer_list();
// The printers' names in list order: the system's printers, then the file printers.
std::vector<std::string> enum_printers();
// The default printer's name ("" only if the list were empty, which it never is).
std::string get_default_printer();
// True when the printer is one of the system's printers (a print server's destination).
bool is_system_printer(const char* printer);
// The folder a printer writes its documents into, with a trailing '/' ("" for an
// unknown printer).
std::string printer_output_folder(const char* printer);

// An open printer, for document properties.
struct PrinterRec;
using Printer = PrinterRec*;
// False (and *out null) when no printer has that name.
bool open_printer(const char* name, Printer* out);
bool close_printer(Printer printer);

// ---- Document properties ----------------------------------------------------------------
// The settings of one document. Paper length and width are those of the sheet held in
// portrait (tenths of a millimetre) and follow the paper size. The print quality is a
// resolution in dots per inch or one of the DMRES_ codes (draft, low, medium, high: 150,
// 200, 300 and 600 dpi, never more than the printer's own resolution); the y resolution
// is the vertical one (0: the same as the print quality). A PDF printer writes one copy,
// whatever `copies` says.
struct DevMode {
  char device_name[32] = {};  // the printer's name, cut to 31 bytes
  uint16_t size = sizeof(DevMode);
  uint32_t fields = 0;  // DevModeField bits: what the printer lets a caller set
  int16_t orientation = DMORIENT_PORTRAIT;
  int16_t paper_size = DMPAPER_A4;
  int16_t paper_length = 2970;
  int16_t paper_width = 2100;
  int16_t copies = 1;
  int16_t print_quality = 300;
  int16_t color = DMCOLOR_COLOR;
  int16_t y_resolution = 300;
};

// mode 0: returns the size of a DevMode. Otherwise the printer's defaults, with (when
// DM_IN_BUFFER is set) every field of `in` that `in->fields` names and the printer
// accepts merged in, are written to `out` (when DM_OUT_BUFFER is set) and 1 (IDOK) is
// returned. A value the printer does not accept (an unknown orientation or paper, a
// resolution it does not print at) leaves that setting as it was, so a caller learns what
// the printer accepts by reading back what it kept. Prompting is not offered. Returns -1
// for a null printer or a missing buffer.
int document_properties(Printer printer, DevMode* out, const DevMode* in, int mode);
// DC_ORIENTATION: 90 (landscape is portrait turned by 90 degrees); DC_COLORDEVICE: 1 for
// a colour printer, 0 otherwise. -1 for an unknown printer or capability.
int device_capabilities(const char* printer, int capability);

// ---- Printer contexts -------------------------------------------------------------------
// A context on a white page of the printer's paper at its resolution (settings as
// document_properties gives them for `settings`, which may be null). A null name is the
// default printer. Null on failure (unknown printer, page beyond the memory budget).
// The context is deleted with delete_dc, which abandons an unfinished document (no
// file) and frees the page at once.
//
// A printer context answers get_device_caps as the drawing layer does for its page
// (sizes in pixels, resolution, raster, line and text capabilities), with TECHNOLOGY
// DT_RASPRINTER, the sheet's size in whole millimetres, no unprintable margin, and 8
// bits (256 grey levels) for a grey page.
Dc create_printer_dc(const char* printer, const DevMode* settings);
bool is_printer_dc(Dc dc);
// The same as get_device_caps (TECHNOLOGY DT_RASDISPLAY for other contexts).
int printer_device_caps(Dc dc, int index);

// Called between bands of a page as it is written out: false cancels the document.
using AbortProc = bool (*)(Dc dc, int error);
int set_abort_proc(Dc dc, AbortProc proc);  // 1, or SP_ERROR for a non-printer context

// Starts a document named `doc_name` (the file name: "<name>.pdf" in the printer's
// folder, "<name> (2).pdf" and so on when that is taken, with '/', '\' and control
// characters replaced by '_'), or written to `output_path` when that is not null (an
// existing file there is replaced). Returns a job number above 0, or a value <= 0 when
// the file cannot be made (a missing or unwritable folder), with the reason in
// last_print_error(). On a system printer the document is written in the temporary
// folder and `doc_name` is the job's name.
int start_doc(Dc dc, const char* doc_name, const char* output_path);
// start_page clears the page to white; end_page writes it as the document's next page.
int start_page(Dc dc);
int end_page(Dc dc);
// Ends the page still open, completes the file and gives it its name (on a system
// printer: sends it as a job, then removes it). A document without any page leaves no
// file and sends nothing.
int end_doc(Dc dc);
// Abandons the document: nothing is left in the folder.
int abort_doc(Dc dc);
// The file written by the context's last completed document ("" when none, and for a
// document sent to a system printer).
std::string printed_file(Dc dc);
// The print server's job number of the context's last completed document sent to a
// system printer (0 when none).
int printed_job(Dc dc);
// The name of the printer a printer context prints on ("" for any other context).
std::string printer_dc_name(Dc dc);

// The message of the last failure of a printing call on this thread; a successful
// start_doc clears it.
std::string last_print_error();

}  // namespace plat
