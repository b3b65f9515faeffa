// The coordinate system dialog "Chxsyst" and the unit dialog "Chxunit", and the two
// menu commands that open them on the cursor system of a map window's pane.
//
// The system dialog builds a georef from a datum or a projection chosen by name: from
// the systems already in use in the session (list), the loaded datums or the loaded
// projections (two drop-down lists); the OK button carries the chosen name. It serves
// the display-system change and the system of a loaded file that has none (through
// choose_system_dialog, the display variant, which preselects the system confirmed
// last time) and the cursor system (the cursor variant, which preselects nothing). The
// button that closed the last system dialog is the default button of the next one.
//
// The unit dialog chooses the unit of the cursor system among the angular units (a
// geographic system) or the linear units (otherwise).
//
// Both are modal, owned by the frame (the command target), and run on the user
// interface thread; their state lives in their files for the time they are open, except
// the remembered system and the last closing button, kept for the run.
//
// Files: system_dialog.cpp (template, texts, the two procedures, choose_system_dialog),
// unit_dialog.cpp (template, texts, procedure), cursor_commands.cpp (the two menu
// commands). The chain of the cursor system is map/cursor_system.h's.
#pragma once
#include <cstdint>

#include "platform/ui/dialog.h"
#include "platform/ui/types.h"

struct georef_t;
struct mapwin_t;

// Control ids of "Chxsyst".
enum system_dialog_id : int {
  IDC_SYS_OK = 1000, IDC_SYS_CANCEL = 1001, IDC_SYS_IN_USE_LABEL = 1002, IDC_SYS_DATUM_LABEL = 1004,
  IDC_SYS_PROJ_LABEL = 1008, IDC_SYS_PROJ = 1009, IDC_SYS_DEFINE_DATUM = 1013,
  IDC_SYS_DEFINE_PROJ = 1014, IDC_SYS_DATUM = 1018, IDC_SYS_IN_USE = 1085
};
// Control ids of "Chxunit".
enum unit_dialog_id : int {
  IDC_UNIT_OK = 1000, IDC_UNIT_CANCEL = 1001, IDC_UNIT_LABEL = 1087, IDC_UNIT_LIST = 1088
};

// Modes of the system dialog: datums and projections, or datums only.
constexpr int kSystemModeAll = 1;
constexpr int kSystemModeGeographic = 2;
// choose_system_dialog's answer when the georef could not be made (gblerr set).
constexpr int kSystemDialogNoGeoref = 128;

// Runs the display variant with a title and a mode. 0 without frame window (*out then
// null); 128 when the georef could not be created; else 1 on OK, 0 on Cancel. *out
// receives the new georef, which the caller owns (after Cancel it has refertype 0).
// A name that names no datum or projection leaves gblerr 12 after OK.
int choose_system_dialog(const char16_t* title, int mode, georef_t** out);
// Runs a variant (its procedure) on a georef that OK fills in place; 1 on OK.
int run_system_dialog(const char16_t* title, int mode, georef_t* edited, plat::DlgProc proc);
intptr_t chxsyst_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
intptr_t chxsyst_cursor_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
const plat::DlgTemplate& system_dialog_template();
// Forgets the remembered system and the last closing button (tests).
void system_dialog_reset();

// Runs "Chxunit" on a georef (title null: the dialog's own); 1 on OK. OK stores the
// selected unit; with none selected (a unit that has no name) the unit is kept.
int run_unit_dialog(const char16_t* title, georef_t* edited);
intptr_t chxunit_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
const plat::DlgTemplate& unit_dialog_template();

// Menu commands on a map window's pane (null: the current map window): choose the
// cursor system, then make its chain from the display system (a failure shows a box);
// choose the cursor unit (refused with a box while the cursor has no system).
void cursor_system_command(mapwin_t* win);
void cursor_unit_command(mapwin_t* win);
