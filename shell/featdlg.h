// The map features window ("Map features display"): how the features of OpenStreetMap
// and Polish-format maps are drawn.
//
// On the left a tab control (1057) with the pages "OSM" and "Polish format"; each page
// chooses a feature (an OSM keyword and value drawn as node or way, or a Polish type,
// subtype and element kind) and the point and line representations attached to it. On
// the right the representation editor: a point group and a line group, each found by its
// mnemonic in the representation table (map/repr.h), then Apply, "Apply & close" and
// Close.
//
// Apply stores the edited representations in the representation table and then the
// feature change of the current page in the readers' user lists (formats/osm.h,
// formats/polish_map.h), which the readers save with their other saved tables and
// rebuild their tables from. The tables are read by load tasks meanwhile: every walk
// of a table here, and every change with the rebuild that follows it, holds the lock of
// those tables.
//
// One window at a time, a "ClasseDialogue" window owned by the frame window, which stays
// disabled while it is open. The two pages are "ClasseDialogue" windows inside the tab
// control's display area; one of them shows at a time.
//
// Files: featdlg.cpp (the window, the editor, Apply, tab change, closing),
// featdlg_osm.cpp (the page "OSM"), featdlg_polish.cpp (the page "Polish format"),
// featdlg_internal.h (what the three share).
#pragma once
#include <cstdint>

#include "platform/ui/types.h"

// ---- Control ids -------------------------------------------------------------------------
// The window.
constexpr int kFeatTab = 1057;
constexpr int kFeatApply = 1014;
constexpr int kFeatApplyClose = 1000;
constexpr int kFeatClose = 1001;
constexpr int kFeatSameColourFont = 1040;  // "Same color and font"
// The point group.
constexpr int kFeatPointMnemo = 1022;
constexpr int kFeatPointInfo = 1034;
constexpr int kFeatPointMetres = 1026;
constexpr int kFeatPointColour = 1004;
constexpr int kFeatPointFont = 1008;
constexpr int kFeatPointFontSpin = 1009;
constexpr int kFeatSymbolMode = 1017;
constexpr int kFeatSymbolList = 1041;
constexpr int kFeatSymbolSize = 1024;
constexpr int kFeatSymbolSizeSpin = 1028;
constexpr int kFeatIconMode = 1018;
constexpr int kFeatIconButton = 1032;
// The line group.
constexpr int kFeatLineMnemo = 1023;
constexpr int kFeatLineInfo = 1033;
constexpr int kFeatLineColour = 1007;
constexpr int kFeatLineFont = 1015;
constexpr int kFeatLineFontSpin = 1016;
constexpr int kFeatLineMetres = 1027;
constexpr int kFeatLinePixels = 1025;
constexpr int kFeatLinePixelsSpin = 1030;
constexpr int kFeatLineStyle = 1042;
constexpr int kFeatLineFilled = 1043;
// The page "OSM".
constexpr int kOsmKeywordList = 1002;
constexpr int kOsmValueList = 1003;
constexpr int kOsmKeyEdit = 1012;
constexpr int kOsmValueEdit = 1011;
constexpr int kOsmDefaultValue = 1019;
constexpr int kOsmNode = 1005;
constexpr int kOsmNodeList = 1080;
constexpr int kOsmWay = 1006;
constexpr int kOsmWayList = 1082;
// The page "Polish format".
constexpr int kMpTypeList = 1020;
constexpr int kMpSubtypeList = 1021;
constexpr int kMpNumber = 1088;
constexpr int kMpName = 1087;
constexpr int kMpPoi = 1083;
constexpr int kMpPointList = 1081;
constexpr int kMpPolyline = 1084;
constexpr int kMpPolygon = 1085;
constexpr int kMpLineList = 1086;

// The pages, by tab index.
constexpr int kFeatPageOsm = 0;
constexpr int kFeatPagePolish = 1;

// The information sign of the two "uses" buttons, in the system data folder (then the
// program folder).
inline constexpr const char* kFeatInfoBitmap = "info.bmp";

// ---- The window ----------------------------------------------------------------------------
// Makes the two fonts on first use, creates the window over the frame window (disabled
// while it is open), builds its controls and fills the pages' lists. An open window is
// only brought to the front.
void featdlg_open_window();
// The open window, or null.
plat::Wnd featdlg_window();
// One of the two pages (kFeatPageOsm, kFeatPagePolish) of the open window, or null.
plat::Wnd featdlg_page(int page);
// Builds the controls of a new window (featdlg_open_window calls it).
void featdlg_build(plat::Wnd wnd);
// The window's procedure, and the procedure of its two pages.
plat::LResult featdlg_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);
plat::LResult featdlg_tab_wndproc(plat::Wnd wnd, uint32_t msg, plat::WParam wparam, plat::LParam lparam);

// ---- The editor ------------------------------------------------------------------------------
// Loads a group from the representation of the mnemonic its edit holds (the edit's text
// changed): enabling, the current page's list selection, the values of a known mnemonic.
void repr_edit_point_mnemonic(plat::Wnd wnd);
void repr_edit_line_mnemonic(plat::Wnd wnd);
// Stores the point group and the line group (each when its mnemonic edit is enabled and
// not empty) in the representation table, then fills the pages' lists again.
// Returns how many representations were stored.
int featdlg_apply_representations(plat::Wnd wnd);

// ---- The Polish page's number ---------------------------------------------------------------
// Reads the text of the type and subtype field (at most 37 characters): an integer with
// an optional sign, hexadecimal after 0x or 0X, octal after a leading 0, else decimal.
// True, with *number set, when it names a type and subtype: 256 .. 0xFFFF (main type not
// 0, nothing beyond the two bytes).
bool featdlg_read_type_subtype(const char* text, int* number);
