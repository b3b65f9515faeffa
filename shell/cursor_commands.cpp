// The two menu commands on the cursor system of a map window's pane: its system and
// its unit. After either, the chain from the display system is made again.
#include "core/config.h"
#include "core/error.h"
#include "geodesy/georef.h"
#include "map/cursor_system.h"
#include "map/graphspace.h"
#include "map/view_records.h"
#include "shell/frame.h"
#include "shell/framework/winutil.h"
#include "shell/system_dialogs.h"

namespace {

georef_t* cursor_georef(mapwin_t* win) {
  pane_t* pane = win ? win->pane : nullptr;
  return pane ? pane->georef : nullptr;
}

const georef_t* display_georef() { return graph_get_georef(get_current_graphspace(), nullptr); }

}  // namespace

void cursor_system_command(mapwin_t* win) {
  if (!win) win = get_current_mapwin();
  georef_t* cursor = cursor_georef(win);
  if (!cursor) return;
  const bool fr = is_french() != 0;
  const int refertype = cursor->refertype;
  const char16_t* title = fr ? u"Choix du syst\u00E8me de coordonn\u00E9es du curseur" : u"Choose cursor coordinates system";
  if (!run_system_dialog(title, kSystemModeAll, cursor, chxsyst_cursor_dlgproc)) return;
  if (cursor->refertype != refertype) georef_reset_unit(cursor);
  if (get_gblerr() == 0) cursor_set_transform(win, display_georef());
  if (get_gblerr() != 0)
    msg_box(fr ? "Impossible de d\xC3\xA9" "finir la transformation" : "Unable to define the transformation",
            fr ? "Erreur syst\xC3\xA8me de coordonnees" : "System coordinate error");
}

void cursor_unit_command(mapwin_t* win) {
  if (!win) win = get_current_mapwin();
  georef_t* cursor = cursor_georef(win);
  if (!cursor) return;
  const bool fr = is_french() != 0;
  if (cursor->refertype == GEOREF_NONE) {
    msg_box(fr ? "Choisissez d'abord le syst\xC3\xA8me de coordonn\xC3\xA9" "es du curseur"
               : "Choose first cursor coordinates system",
            fr ? "Aucun g\xC3\xA9or\xC3\xA9" "f\xC3\xA9rencement" : "Not georeferenced");
    return;
  }
  const char16_t* title = fr ? u"Choix de l'unite de coordonn\u00E9es du curseur" : u"Choose cursor coordinates unit";
  if (run_unit_dialog(title, cursor) && get_gblerr() == 0) cursor_set_transform(win, display_georef());
}
