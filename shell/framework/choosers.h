// Colour fields with the colour chooser, the open and save file dialogs with the folders
// they remember, and the folder chooser.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/types.h"

// ---- Colours -------------------------------------------------------------------------------------
// A colour value is 0x00BBGGRR (a colour word's fourth byte, when present, is ignored).
inline int color_red(uint32_t c) { return int(c & 255); }
inline int color_green(uint32_t c) { return int((c >> 8) & 255); }
inline int color_blue(uint32_t c) { return int((c >> 16) & 255); }

// A field that shows a colour as its background: the parent answers the field's
// WM_CTLCOLOR* message with `brush`.
struct color_field {
  plat::Wnd wnd = nullptr;
  uint32_t color = 0;
  plat::Brush brush = nullptr;
};
// Binds the field to its window with a colour.
void color_field_init(color_field* field, plat::Wnd wnd, uint32_t color);
// The background colour and a new solid brush of it (the old brush is deleted).
void color_field_set(color_field* field, uint32_t color);
// The system button-face colour; the field is repainted.
void color_field_default(color_field* field);
// Deletes the brush.
void color_field_free(color_field* field);
// The answer to the field's WM_CTLCOLOR* message: the field's colour becomes the text
// background of `dc`, and its brush is returned.
intptr_t color_field_paint(const color_field* field, plat::Dc dc);
// The colour chooser over the command target's window (full, 16 custom colours kept for
// the run), starting on rgb[0..2] (red, green, blue); OK writes the choice back.
// 1 on OK, 0 on Cancel; a dialog failure shows "ERRRREUR!".
int choose_colour(uint8_t rgb[3]);
// choose_colour for a field, then the field takes the colour and is repainted.
int color_field_pick(color_field* field);

// ---- Files ---------------------------------------------------------------------------------------
// Filter lists are NUL-separated pairs ending with an empty string
// ("GPX\0*.gpx\0All\0*.*\0\0").
//
// The common open or save dialog: the name chosen goes into *out (whole, whatever its
// length); the initial folder is the remembered one of its kind. Save gives back the
// chosen filter (counted from 0) in *filter_index. 1 on OK, 0 on Cancel or failure
// (a dialog error shows "ERRRREUR!").
int file_dialog(const char* filter, plat::Wnd owner, std::string* out, const char* title,
                int save, int* filter_index);
// One file name with a title, a filter list and the filter index (from 1 in, from 0
// out); the chosen file's folder is remembered for the next dialog of its kind.
int file_dialog_single(std::string* out, const char* title, const char* filter, int* filter_index,
                       int save);
// The open dialog with multiple selection: every chosen path into `out` (emptied
// first); the folder is remembered. 1 when files were chosen.
int file_dialog_multi(plat::Wnd owner, std::vector<std::string>* out, const char* title,
                      const char* filter);
// The remembered folder of open (0) or save (1) dialogs ("" when none).
const char* remembered_folder(int save);
void set_remembered_folder(int save, const char* folder);

// ---- Folders -------------------------------------------------------------------------------------
// The folder chooser starting at *path, with a title above the list; OK stores the chosen
// folder in *path. 1 on OK.
int browse_for_folder(std::string* path, const char* title);
int browse_for_folder_captioned(std::string* path, const char* title, const char* caption);
