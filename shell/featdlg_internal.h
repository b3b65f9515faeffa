// What the map features window and its two pages share (featdlg.cpp, featdlg_osm.cpp,
// featdlg_polish.cpp): the window's state, the editor's entry points the pages use, and
// the pages' entry points the window uses. User-interface thread only.
#pragma once
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/types.h"
#include "shell/framework/choosers.h"

struct container_t;
struct representation_t;

namespace featdlg {

struct window_state {
  plat::Wnd wnd = nullptr;
  plat::Wnd tab = nullptr;
  plat::Wnd pages[2] = {};
  // The working representations (made with the window, freed when it closes).
  representation_t* point = nullptr;
  representation_t* line = nullptr;
  color_field point_colour;
  color_field line_colour;
  plat::Bitmap info = nullptr;  // "info.bmp" (null when it cannot be read)
  plat::Bitmap icon = nullptr;  // the picture on the icon chooser button
  // What the icon chooser shows: the waypoint icons that are loaded (a list that does
  // not own them) and the icon number of each.
  container_t* icons = nullptr;
  std::vector<int> icon_numbers;
  int loading = 0;              // a group is being loaded: no text size copied over
  int copying = 0;              // a text size is being copied into the other group
};
window_state& st();

// The text of the program's language.
const char* tr(const char* fr, const char* en);
// A window's text (UTF-8), read whole up to `limit` characters.
std::string text_of(plat::Wnd wnd, int limit = 256);
bool is_checked(plat::Wnd button);
void set_checked(plat::Wnd button, bool on);
// The selected item of a list box: its text (UTF-8) and data; "" and -1 when none.
std::string list_text(plat::Wnd list);

// ---- The editor, for the pages ----------------------------------------------------------
// The page shown (kFeatPageOsm or kFeatPagePolish).
int current_page();
// A control of a page (null while the page is not made).
plat::Wnd page_item(int page, int id);
// A check box or radio button of a page: enabled and checked.
bool page_box_on(int page, int id);
// The point and line representation lists of a page.
plat::Wnd page_point_list(int page);
plat::Wnd page_line_list(int page);
// The group's mnemonic edit enabled (the group itself follows its mnemonic), or the
// whole group disabled.
void enable_point_group(bool on);
void enable_line_group(bool on);
// Every editor control off (the Polish page with no subtype chosen).
void disable_editor();
// Sets a group's mnemonic; its representation is loaded as if typed.
void set_point_mnemonic(const std::string& mnemo);
void set_line_mnemonic(const std::string& mnemo);
std::string point_mnemonic();
std::string line_mnemonic();
// Selects the representation of the mnemonic in a list (by its table position), or
// nothing when the table has none. The position, -1 when none.
int select_mnemonic(plat::Wnd list, const char* mnemo);
// Fills the point list and the line list of both pages from the representation table.
void fill_representation_lists();

// ---- The pages, for the window -----------------------------------------------------------
void osm_page_build(plat::Wnd page);
void osm_page_command(plat::Wnd page, int id, int code);
// Fills the keyword list from the OSM tables.
void osm_page_fill();
// Whether the page lets the point and line groups be edited now.
bool osm_page_allows_point();
bool osm_page_allows_line();
// The OSM step of Apply.
void osm_page_apply();

void polish_page_build(plat::Wnd page);
void polish_page_command(plat::Wnd page, int id, int code);
// Fills the type list from the Polish feature index.
void polish_page_fill();
bool polish_page_allows_point();
bool polish_page_allows_line();
// The Polish step of Apply.
void polish_page_apply();

}  // namespace featdlg
