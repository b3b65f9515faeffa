// Printing: the printers the programs can print to, and the print command.
//
// The printers and their print qualities are enumerated once, on the first print, into
// the object store: a printer entry (class 50) per usable printer, a quality entry
// (class 51, son of its printer entry) per print quality the printer accepts.
//
// A print is a redraw pass on a second map window whose surface is a printer page: the
// print command asks the set-up dialog (a layer above, reached through
// print_dialog_hooks) for the printer and its settings, sizes the page in printer dots
// from the area the screen window shows, creates the page window with a pane showing
// the screen's layers, colours and axis direction, positions it on that area and asks
// for its redraw without giving way. The pass starts the document, draws, ends it (one
// PDF file) and frees the page window (redraw.h).
//
// Files: print_printers.cpp (entries, qualities, names, driver settings),
// print_page.cpp (the page window), print_setup.cpp (the command and the dialog seam).
#pragma once
#include <cstdint>

#include "core/object.h"
#include "map/view_records.h"
#include "platform/print/printer.h"

constexpr int CLS_PRINTER_ENTRY = 50;
constexpr int CLS_QUALITY_ENTRY = 51;

// Orientation modes of a printer entry: automatic, portrait, landscape.
enum print_orientation : int { PRINT_AUTOMATIC = 0, PRINT_PORTRAIT = 1, PRINT_LANDSCAPE = 2 };

#pragma pack(push, 1)
struct printer_entry_t : obj_t {
  char* name;              // owned: the printer's name
  int32_t quality;         // dots per inch (> 0), a quality code (-4..-1), or 0: none
  int32_t num_colours;     // NUMCOLORS of the device
  int32_t colour_depth;    // PLANES x BITSPIXEL of the device
  int32_t ratio;           // percent of the printable area used (100 at creation)
  int32_t page_depth;      // depth of the printer page window: 8 grey levels, 32 colour
  int32_t orientation;     // print_orientation
  plat::DevMode* devmode;  // owned: the printer's document settings
};
struct quality_entry_t : obj_t {
  obj_t* father;  // the printer entry
  int32_t value;  // dots per inch or a quality code
  char* name;     // owned
};
#pragma pack(pop)

// ---- Printers and qualities -----------------------------------------------------------
// Registers classes 50 and 51 with their free routines.
void redraw_types_register();
// Enumerates the printers once (nothing when an entry exists already).
void printer_list_load();
// Creates the entry of a usable printer: one that turns to landscape and can copy
// bitmaps, draw polylines and output characters. Returns it, or null.
printer_entry_t* printer_entry_add(const char* name);
void printer_quality_list(printer_entry_t* entry);
void printer_quality_lists();
// HIGH, MEDIUM, LOW, DRAFT, or the resolution right-aligned on 4 places; 0 and values
// below -4 give no name.
void quality_entry_name(quality_entry_t* q);
// Sorted indexes (class 51) over a list of quality entries: by value and by name.
void quality_list_indexes(container_t* list, container_t** by_value, container_t** by_name);
// The quality entries of a printer, in a new list (not owning them).
container_t* printer_qualities(const printer_entry_t* entry, container_t** out);
// A sorted index (class 50) of every printer entry by name.
container_t* printer_index_by_name(container_t** out);
// The printer entries in the order the set-up dialog lists them (a new list, not owning
// them): the print server's default destination, its other destinations by name, then
// the file printers (and any printer the server no longer lists) by name.
container_t* printer_index_default_first(container_t** out);
// The printer's quality handed to the driver (nothing for quality 0).
void printer_apply_quality(printer_entry_t* entry);
// 1 when the driver's orientation is now landscape.
int printer_set_landscape(printer_entry_t* entry, int landscape);
void printer_entry_free(obj_t* entry);

// ---- The page and the command -----------------------------------------------------------
// Creates the printer page window at *out for an area of the given screen size and an
// image's nominal size in inches (0: none). 0 on success, 1 on failure.
int print_page_create(mapwin_t** out, printer_entry_t* entry, double area_width,
                      double area_height, double nominal_width, double nominal_height);

// The set-up dialog, filled by the program. Image resolutions (both or none) make it an
// image print set-up; full_page may be null. 1 on OK with the chosen printer and
// quality (quality may be null: keep the printer's own), 0 on cancel.
struct print_dialog_hooks {
  int (*run)(mapwin_t* owner, container_t* printers, printer_entry_t** printer,
             quality_entry_t** quality, double* font_factor, double* thickness_factor,
             int* image_hres, int* image_vres, int* full_page) = nullptr;
};
void print_set_dialog_hooks(const print_dialog_hooks* hooks);  // null: none (no print)
// Images on a printer page go where its drawing goes: the raster display's device
// positions get the page's centring offsets (draw_page_offsets, 0 on the screen).
void print_install_page_offsets();

// Loads the printers and runs the dialog; on OK *printer is the chosen entry with the
// chosen quality copied into it. Returns 1 on OK.
int print_choose_printer(mapwin_t* win, double factors[2], int* image_res, int* full_page,
                         printer_entry_t** printer);
// Command 8 with "<map window id> <image option>": prints the window; 1 when a page
// window was made and its redraw requested. Does not end the task.
int print_setup();
