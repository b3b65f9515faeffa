// Three small preference dialogs of the frame, each modal and owned by the frame window:
//   "COULEUR"  colour_dialog.cpp: the colour and the size in points of six kinds of data
//              (the program-wide display settings, map/display_settings.h);
//   "EXPORT"   export_dialog.cpp: the folder and the format of an export;
//   "IMGMONO"  imgmono_dialog.cpp: the colour the current map window shades monochrome
//              images in.
// None of them reads or writes the configuration file.
#pragma once
#include <cstdint>

#include "platform/ui/dialog.h"
#include "platform/ui/types.h"

// ---- "COULEUR" -----------------------------------------------------------------------------
// Control ids: per kind a colour button, a size edit and its up-down control.
enum colour_dialog_id : int {
  IDC_COLOUR_OK = 1000, IDC_COLOUR_CANCEL = 1001,
  IDC_COLOUR_LOIS = 1116, IDC_COLOUR_POIS = 1117, IDC_COLOUR_NAVIGATION = 1118,
  IDC_COLOUR_ROUTES = 1119, IDC_COLOUR_TRACKLOGS = 1120, IDC_COLOUR_WAYPOINTS = 1121,
  IDC_SIZE_WAYPOINTS = 1131, IDC_SPIN_WAYPOINTS = 1132, IDC_SPIN_TRACKLOGS = 1133,
  IDC_SIZE_TRACKLOGS = 1134, IDC_SPIN_ROUTES = 1137, IDC_SIZE_ROUTES = 1138,
  IDC_SPIN_NAVIGATION = 1139, IDC_SIZE_NAVIGATION = 1140, IDC_SPIN_POIS = 1141,
  IDC_SIZE_POIS = 1142, IDC_SPIN_LOIS = 1145, IDC_SIZE_LOIS = 1146
};
const plat::DlgTemplate& colour_dialog_template();
// OK writes every colour and size back to the display settings; Cancel keeps them.
intptr_t color_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);

// ---- "EXPORT" ------------------------------------------------------------------------------
enum export_dialog_id : int {
  IDC_EXPORT_OK = 1000, IDC_EXPORT_CANCEL = 1001, IDC_EXPORT_BROWSE = 1073,
  IDC_EXPORT_FOLDER_LABEL = 1074, IDC_EXPORT_TYPE_LABEL = 1075, IDC_EXPORT_FOLDER = 1076,
  IDC_EXPORT_TYPE = 1077
};
// The kind of an export of graphics data; any other kind exports GPS data.
constexpr int kExportGraphics = 3;
const plat::DlgTemplate& export_dialog_template();
intptr_t export_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
// Runs "EXPORT" for the kind over the frame window (none: nothing is run, 0). The
// dialog opens on the process's current directory and the kind's first format. The
// caller's owned strings (core/memory.h) receive the folder, whole (the current
// directory unless OK confirmed another non-empty folder), and the chosen format's
// extension; *format its file format code. Those go back after Cancel too. 1 on OK,
// 0 on Cancel.
int export_dialog(int kind, int* format, char** folder, char** extension);

// ---- "IMGMONO" -----------------------------------------------------------------------------
enum imgmono_dialog_id : int {
  IDC_IMGMONO_OK = 1000, IDC_IMGMONO_CANCEL = 1001, IDC_IMGMONO_LABEL = 1075,
  IDC_IMGMONO_COLOUR = 1123
};
const plat::DlgTemplate& imgmono_dialog_template();
// OK gives the current map window the chosen monochrome-image colour (its monochrome
// flag unchanged) and requests its redraw.
intptr_t imgmono_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);

// Registers "COULEUR" and "IMGMONO" by name for the menu (shell/frame.h); run at start-up.
void register_preference_dialogs();
