// The zoom level dialog "Nivzoom" and the manual localisation dialog "Zoomal".
//
// Both work in the system and unit of the display system (the current graph space's
// georef) and move the current map window through the view positioning routines.
//
// "Nivzoom" sets how many map units one screen pixel represents, along x and y, on two
// logarithmic sliders with their edit fields, in a unit the user may change; or it shows
// one image of the graph space at one image pixel per screen pixel. The menu runs it by
// its template name, which register_zoom_dialogs registers at start-up.
//
// "Zoomal" positions the map window on an extent typed as corners, centre and size (or
// size as a percentage of the graph space's extent); OK is available only while that
// extent overlaps the graph space's.
//
// Files: nivzoom_scale.cpp (the exponent, graduations, slider positions and unit
// conversions of the zoom values), nivzoom_dialog.cpp (the template, texts and procedure
// of "Nivzoom"), zoomal_dialog.cpp ("Zoomal" and manual_localisation_command),
// zoom_dialog_fields.h (the field writer both share).
#pragma once
#include <cstdint>
#include <string>

#include "map/view_records.h"
#include "platform/ui/dialog.h"
#include "platform/ui/types.h"

// ---- Control ids ----------------------------------------------------------------------
enum nivzoom_id : int {
  IDC_NIVZOOM_OK = 1000, IDC_NIVZOOM_CANCEL = 1001, IDC_NIVZOOM_Y_UNIT = 1027,
  IDC_NIVZOOM_Y = 1032, IDC_NIVZOOM_X = 1035, IDC_NIVZOOM_X_SLIDER = 1039,
  IDC_NIVZOOM_Y_SLIDER = 1040, IDC_NIVZOOM_SAME = 1046, IDC_NIVZOOM_IMAGES = 1047,
  IDC_NIVZOOM_X_UNIT = 1049, IDC_NIVZOOM_ONE_TO_ONE = 1050, IDC_NIVZOOM_GRAD1 = 1051,
  IDC_NIVZOOM_GRAD2 = 1052, IDC_NIVZOOM_GRAD3 = 1053, IDC_NIVZOOM_GRAD4 = 1054,
  IDC_NIVZOOM_GRAD5 = 1055, IDC_NIVZOOM_X_LABEL = 1100, IDC_NIVZOOM_Y_LABEL = 1101
};
enum zoomal_id : int {
  IDC_ZOOMAL_OK = 1000, IDC_ZOOMAL_CANCEL = 1001, IDC_ZOOMAL_SYSTEM = 1002,
  IDC_ZOOMAL_HEIGHT = 1021, IDC_ZOOMAL_WIDTH = 1031, IDC_ZOOMAL_YMIN = 1033,
  IDC_ZOOMAL_CY = 1034, IDC_ZOOMAL_WIDTH_PCT = 1035, IDC_ZOOMAL_XMAX = 1036,
  IDC_ZOOMAL_CX = 1037, IDC_ZOOMAL_HEIGHT_PCT = 1038, IDC_ZOOMAL_UNIT = 1088,
  IDC_ZOOMAL_ULC = 1089, IDC_ZOOMAL_LRC = 1090, IDC_ZOOMAL_CENTRE = 1091,
  IDC_ZOOMAL_WIDTH_LABEL = 1092, IDC_ZOOMAL_XMIN = 1093, IDC_ZOOMAL_YMAX = 1094,
  IDC_ZOOMAL_HEIGHT_LABEL = 1095, IDC_ZOOMAL_REF_XMIN = 1096, IDC_ZOOMAL_REF_YMAX = 1097,
  IDC_ZOOMAL_REF_XMAX = 1098, IDC_ZOOMAL_REF_YMIN = 1099, IDC_ZOOMAL_CORNERS_BOX = 1508,
  IDC_ZOOMAL_SIZE_BOX = 1509
};

// ---- The zoom values -------------------------------------------------------------------
// The slider scale of a unit: the values run from 10^-(e + decades) (right end) to 10^-e
// (left end), `ticks` slider positions a decade, 80 positions in all.
struct zoom_scale {
  int e = -3;
  int decades = 4;
  int ticks = 20;
};
// The scale of a display system's refertype and the unit shown.
zoom_scale zoom_scale_of(int refertype, int unit);
// The printf format of the values ("%9.<d>lf", d = max(0, e + 8)).
std::string zoom_value_format(const zoom_scale& s);
// The five graduation texts under the sliders, left to right.
std::string zoom_graduation(const zoom_scale& s, int index);
// The slider position of a value (0 to 80), and the value of a position.
int zoom_slider_position(const zoom_scale& s, double value);
double zoom_slider_value(const zoom_scale& s, int position);
// The value clamped to the slider's range.
double zoom_clamp(const zoom_scale& s, double value);
// What the dialog shows of a geographic unit held in seconds or minutes of arc (DMS,
// DM): the value in degrees, that is times 1/3600 or 1/60; 1 for any other unit or
// refertype.
double zoom_display_factor(int refertype, int unit);
// A pair of shown values carried from one unit to another of the same refertype (the
// display factors of both undone and applied).
void zoom_convert_values(int refertype, int from, int to, double* x, double* y);

// ---- The dialogs -----------------------------------------------------------------------
// The procedure of "Nivzoom", which the menu runs by template name.
intptr_t nivzoom_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
const plat::DlgTemplate& nivzoom_template();
// Registers "Nivzoom" for run_named_dialog; called once at start-up.
void register_zoom_dialogs();

// Runs "Zoomal" on the map window (null: the current one) and, on OK, zooms the window
// to the typed extent and requests its redraw.
void manual_localisation_command(mapwin_t* win);
intptr_t zoomal_dlgproc(plat::Wnd dlg, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
const plat::DlgTemplate& zoomal_template();
