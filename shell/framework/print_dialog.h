// The print set-up dialog "CHXIMPR": printer, resolution, grey levels, ratio,
// orientation, and either the font-size and thickness factors of a map print or the
// image resolutions of an image print, with an optional full-page mode.
//
// The chosen printer and the two factors are kept for the life of the program, so that
// the next print starts from them; the factor fields themselves open at "1.00".
//
// The map program and the image viewer print through the same dialog, the same
// printer list and the same command.
//
// Files: print_dialog.cpp (the template, the texts, the dialog procedure and its state),
// print_task.cpp (command 8 as a worker task that runs the dialog on the user-interface
// thread).
#pragma once
#include <cstdint>

#include "map/print.h"
#include "platform/ui/dialog.h"
#include "platform/ui/types.h"

// Control ids.
enum print_dialog_id : int {
  IDC_PRINT_OK = 1000, IDC_PRINT_CANCEL = 1001, IDC_PRINT_RES_LABEL = 1002,
  IDC_PRINT_FONT_LABEL = 1004, IDC_PRINT_FONT = 1005, IDC_PRINT_THICK_LABEL = 1006,
  IDC_PRINT_THICK = 1007, IDC_PRINT_RESOLUTION = 1010, IDC_PRINT_PRINTER = 1011,
  IDC_PRINT_PRINTER_LABEL = 1012, IDC_PRINT_GREY = 1094, IDC_PRINT_UPDOWN = 1095,
  IDC_PRINT_RATIO = 1096, IDC_PRINT_RATIO_LABEL = 1097, IDC_PRINT_IMG_LABEL = 1098,
  IDC_PRINT_IMG_H = 1099, IDC_PRINT_PPI = 1100, IDC_PRINT_FULL_PAGE = 1102,
  IDC_PRINT_ORIENT = 1103, IDC_PRINT_ORIENT_LABEL = 1104, IDC_PRINT_IMG_V = 1105,
  IDC_PRINT_IMG_V_LABEL = 1106, IDC_PRINT_IMG_H_LABEL = 1107
};

// Runs the dialog owned by the window (null: the program's dialog owner) over the
// printer list, in the order it is shown (the printing code hands the server's default
// first, printer_index_default_first). Image resolutions given (both) make it
// an image print set-up; full_page may be null. 1 on OK with the outputs filled (the
// quality is null when the printer has no resolution), 0 on cancel.
int print_setup_dialog(mapwin_t* owner, container_t* printers, printer_entry_t** printer,
                       quality_entry_t** quality, double* font_factor, double* thickness_factor,
                       int* image_hres, int* image_vres, int* full_page);
// Position in the index of the printer named by a profile "device" value ("name,driver,
// port"); 0 when the value is empty, the default text or a printer not in the index.
int default_printer_position_of(const container_t* printers, const char* device);
// The same for the system's default printer.
int default_printer_position(const container_t* printers);
// The dialog's template, registered by name as "CHXIMPR".
const plat::DlgTemplate& print_dialog_template();
intptr_t printdlg_proc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// Forgets the choices kept between prints (tests).
void print_dialog_reset();

// Command 8's worker routine and the dialog hook of the printing code: installed at
// start by each program that prints.
void print_run(void*);
void install_print_routines();
