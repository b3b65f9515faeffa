// The common dialogs: choosing a file to open (one or several), a file name to save
// under, a colour, and a folder. Each is an ordinary modal dialog built from the
// controls of this layer (dialog_box_indirect: the owner is disabled and a nested loop
// still dispatches posted messages), so that the test harness can drive it as a user
// would. Cancel (or Escape, or closing) returns false and leaves every output of the
// record untouched. No call ever changes the process's working folder.
//
// Paths are UTF-8; '/' is written, '/' and '\' are both accepted in what is typed.
//
// File dialogs. The dialog lists one folder: ".." first (except at the root), then its
// sub-folders (shown with a trailing '/'), then the files that match the file type
// chosen in the type box, each group sorted without regard to case; names starting
// with '.' are not shown. Filters are patterns separated by ';' matched without regard
// to case ('*' any run of characters, '?' one character; "*.*" matches every name).
// Double-clicking a folder enters it; typing a folder's name (or path) in the name field
// and pressing OK enters it too; typing a pattern ("*.txt") filters the list with it.
// Choosing files in the list puts their names in the name field; with multiple
// selection several names appear there in double quotes ("a.gpx" "b.gpx"), which is
// also how a user types several names.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/ui/types.h"

namespace plat {

// ---- File dialogs ---------------------------------------------------------------------------
constexpr uint32_t OFN_READONLY = 0x00000001;
constexpr uint32_t OFN_OVERWRITEPROMPT = 0x00000002;  // save: ask before replacing a file
constexpr uint32_t OFN_HIDEREADONLY = 0x00000004;     // accepted (there is no read-only box)
constexpr uint32_t OFN_NOCHANGEDIR = 0x00000008;      // accepted (the folder never changes)
constexpr uint32_t OFN_ALLOWMULTISELECT = 0x00000200;
constexpr uint32_t OFN_PATHMUSTEXIST = 0x00000800;    // the chosen file's folder must exist
constexpr uint32_t OFN_FILEMUSTEXIST = 0x00001000;    // open: the chosen file must exist
constexpr uint32_t OFN_EXPLORER = 0x00080000;         // accepted (one look only)

// One entry of the file-type box: its label and its patterns ("*.gpx;*.kml").
struct FileFilter {
  std::string label;
  std::string patterns;
};
// The filters of a list of NUL-separated pairs ending with an empty string
// ("Text\0*.txt\0All\0*.*\0\0"); an unpaired label at the end is dropped.
std::vector<FileFilter> parse_filter_list(const char* pairs);

struct OpenFileName {
  Wnd owner = nullptr;
  std::vector<FileFilter> filters;  // none: every file is listed
  int filter_index = 1;   // in and out: the chosen filter, counted from 1 (0 or out of
                          // range in: the first)
  std::string initial_dir;  // empty: the working folder
  std::string title;        // empty: "Open" or "Save As"
  std::string file;         // in: the name shown at first; out: the (first) chosen path
  std::string def_ext;      // save: added (after a '.') to a name without extension
  uint32_t flags = 0;       // OFN_*
  // Out: every chosen file as a full path, in the order given (one without
  // OFN_ALLOWMULTISELECT), and the folder they were chosen in (no trailing '/').
  std::vector<std::string> files;
  std::string folder;
};

// The open dialog. With OFN_FILEMUSTEXIST a name that is not an existing file is
// refused with a message box and the dialog stays open.
bool get_open_file_name(OpenFileName* ofn);
// The save dialog. With OFN_OVERWRITEPROMPT an existing file is only accepted once the
// user answered Yes to "<path> already exists. Do you want to replace it?".
bool get_save_file_name(OpenFileName* ofn);

// Why the last common dialog returned false: 0 when the user cancelled, else a code
// below (the dialog could not be built, or the record was bad).
constexpr uint32_t CDERR_STRUCTSIZE = 0x0001;
constexpr uint32_t CDERR_INITIALIZATION = 0x0002;
uint32_t comm_dlg_extended_error();

// ---- Colour dialog -------------------------------------------------------------------------------
constexpr uint32_t CC_RGBINIT = 0x00000001;  // start on `rgb` (else black)
constexpr uint32_t CC_FULLOPEN = 0x00000002;  // accepted: the dialog is always full

struct ChooseColor {
  Wnd owner = nullptr;
  Color rgb = 0;  // in (with CC_RGBINIT) and out: 0x00BBGGRR
  // The 16 custom colours, in and out (written back on OK). Null: the process's own
  // set (custom_colors()), kept for the run.
  Color* cust_colors = nullptr;
  uint32_t flags = 0;
};

// The dialog offers a palette of 48 basic colours, the 16 custom colours, the red,
// green and blue values as numbers (0-255; a larger one is taken as 255), a sample of
// the colour, and "Add to Custom Colors", which writes the colour into the custom slot
// last clicked (the first one at first) and moves on to the next slot.
bool choose_color(ChooseColor* cc);
// The process's 16 custom colours (white at first).
Color* custom_colors();
// The basic palette (48 colours, row by row, 8 per row).
const Color* basic_colors();

// ---- Folder dialog --------------------------------------------------------------------------------
struct BrowseInfo {
  Wnd owner = nullptr;
  std::string title;        // the text above the list ("Choose a folder" when empty)
  std::string caption;      // the window's title ("Browse for Folder" when empty)
  std::string initial_dir;  // empty: the working folder
  std::string path;         // out: the chosen folder (no trailing '/' but for "/")
};

// The dialog lists the sub-folders of one folder (".." first); a double click enters
// one; the path field holds the current folder, or the folder selected in the list, and
// may be typed into. OK accepts the path field when it names an existing folder (else a
// message box, and the dialog stays open). "Make New Folder" makes "New folder" (or
// "New folder (2)" ...) in the current folder and selects it.
bool browse_for_folder(BrowseInfo* bi);

// ---- Item ids (for tests and for dialogs that read them) --------------------------------------------
namespace cdlg {
// File dialogs.
constexpr int kFolderLabel = 1088;  // the folder being shown
constexpr int kFileList = 1120;
constexpr int kFileType = 1136;     // the file-type box (drop-down list)
constexpr int kFileName = 1152;     // the name field
// Colour dialog: basic swatches kBasic + 0..47, custom ones kCustom + 0..15.
constexpr int kBasic = 2000;
constexpr int kCustom = 2100;
constexpr int kSample = 2200;
constexpr int kRed = 706;
constexpr int kGreen = 707;
constexpr int kBlue = 708;
constexpr int kAddCustom = 712;
// Folder dialog.
constexpr int kFolderTitle = 3100;
constexpr int kFolderList = 3102;
constexpr int kFolderPath = 3103;
constexpr int kNewFolder = 3104;
}  // namespace cdlg

}  // namespace plat
