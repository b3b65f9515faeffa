// The toolbar of the map program, top to bottom: open, the zooms, the display toggles
// (check buttons that follow their menu items) and navigation. Images other than the
// standard "open" come from .bmp files in the program folder.
#include "platform/ui/ctl_toolbar.h"
#include "shell/frame.h"
#include "shell/framework/winutil.h"
#include "shell/menu.h"

namespace {
constexpr int kStandard = 1, kSeparator = 2, kFile = 3;
constexpr int kPush = 1, kCheck = 2;

constexpr toolbar_button separator(int command = -1) {
  return {0, kSeparator, kPush, nullptr, 0, "", "", command};
}
constexpr toolbar_button file(int style, const char* bmp, const char* fr, const char* en, int id) {
  return {0, kFile, style, bmp, 0, fr, en, id};
}
}  // namespace

const toolbar_button main_toolbar_table[] = {
    {0, kStandard, kPush, nullptr, plat::STD_FILEOPEN, "Ouvrir (Ctrl O)", "Open (Ctrl O)", IDM_OPEN},
    separator(),
    file(kPush, "zoomplus32.bmp", "Zoom + (F1)", "Zoom + (F1)", IDM_ZOOM_IN),
    file(kPush, "zoomoins32.bmp", "Zoom - (F2)", "Zoom - (F2)", IDM_ZOOM_OUT),
    file(kPush, "zoomobject32.bmp", "Vue d'ensemble (F4)", "Global view (F4)", IDM_GLOBAL_VIEW),
    separator(),
    file(kCheck, "trajet.bmp", "Affichage du trajet en cours de navigation", "Display navigation track",
         IDM_NAVIG_TRACK),
    file(kCheck, "invert.bmp", "Images en négatif", "Negative images", IDM_NEGATIVE),
    file(kCheck, "monochrome.bmp", "Images en monochrome", "Monochrome images", IDM_MONOCHROME),
    separator(),
    file(kCheck, "satellite24.bmp", "Navigation (position courante) (Ctrl+N)",
         "Navigation (current position) (Ctrl+N)", IDM_NAVIGATION),
    separator(99999),
    {0, 0, 0, nullptr, 0, nullptr, nullptr, 0},
};
