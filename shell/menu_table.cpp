// The menu bar of the map program as a table: popups of the bar (level 0) and their
// entries (level 1), each with its French and English text. build_menu_bar reads it
// in order; the texts of the language in force are shown.
#include "shell/menu.h"
#include "shell/wms_dialogs.h"

namespace {
constexpr menu_item popup(const char* fr, const char* en) { return {0, MENU_POPUP, 0, 0, fr, en}; }
constexpr menu_item item(int id, const char* fr, const char* en) {
  return {0, MENU_ITEM, id, 1, fr, en};
}
constexpr menu_item separator() { return {0, MENU_SEPARATOR, 0, 1, "", ""}; }
}  // namespace

const menu_item main_menu_table[] = {
    popup("&Fichier", "&File"),
    item(IDM_OPEN, "&Ouvrir\tCtrl+O", "&Open\tCtrl+O"),
    separator(),
    item(IDM_EXPORT_GRAPHICS, "Exporter les graphiques", "Graphics data export"),
    item(IDM_EXPORT_GPS, "Exporter les données GPS", "GPS data export"),
    separator(),
    item(IDM_WMS_SERVICES, "Services WMS...", "WMS services..."),
    separator(),
    item(IDM_PRINT, "&Imprimer\tCtrl+P", "&Print\tCtrl+P"),
    separator(),
    item(IDM_QUIT, "&Quitter\tCtrl+Q", "&Quit\tCtrl+Q"),

    popup("&Affichage", "&Display"),
    item(IDM_DISPLAY_SYSTEM, "Système d'&affichage ...", "&Display system ..."),
    separator(),
    item(IDM_CURSOR_DISPLAY, "Affichage &coordonnées curseur", "Display cursor &coordinates"),
    item(IDM_CURSOR_SYSTEM, "Système de coordonnées du curseur...", "Cursor coordinate system..."),
    item(IDM_CURSOR_UNIT, "Unité de coordonnées du curseur...", "Cursor coordinate unit..."),
    separator(),
    item(IDM_ADD_GRID, "Ajouter un carroyage...", "Add a grid..."),
    separator(),
    item(IDM_NAVIG_TRACK, "Affichage du &trajet en cours de navigation", "Display navigation &track"),
    separator(),
    item(IDM_NEGATIVE, "Images en négatif", "Negative images"),
    item(IDM_MONOCHROME, "Images en monochrome", "Monochrome images"),
    item(IDM_MONOCHROME_COLOUR, "Couleur images monochromes...", "Monochrome images color..."),
    separator(),
    item(IDM_LAYERS, "Gestion des couches graphiques...", "Graphic layers management..."),

    popup("&Localisation", "&Localization"),
    item(IDM_ZOOM_IN, "Zoom * 1,1892\tF1 ou +", "Zoom * 1.1892\tF1 or +"),
    item(IDM_ZOOM_OUT, "Zoom / 1,1892\tF2 ou -", "Zoom / 1.1892\tF2 or -"),
    item(IDM_ZOOM_LEVEL, "Niveau de &zoom", "&Zoom level"),
    item(IDM_MANUAL_LOCALISATION, "Localisation manuelle ...", "Manual localization ..."),
    item(IDM_GLOBAL_VIEW, "Vue d'ensemble\tF4", "Global view\tF4"),
    separator(),
    item(IDM_CENTER_LAST, "Centrer sur le dernier objet chargé", "Center on last loaded object"),
    item(IDM_GLOBAL_LAST, "Vue d'ensemble sur le dernier objet chargé",
         "Global view on last loaded object"),
    item(IDM_ZOOM1_ON_IMAGE, "Zoom 1 au chargement d'image", "Display last loaded image in zoom 1"),
    separator(),
    item(IDM_FIND_PLACE, "Recherche d'un nom de lieu ...\tCtrl+F", "&Find place name ...\tCtrl+F"),

    popup("&Gps", "&Gps"),
    item(IDM_GPS_DOWNLOAD, "Récupérer waypoints / tracklog(s) / routes",
         "Download waypoints / tracklog(s) / routes"),
    separator(),
    item(IDM_MERGE_TRACKLOGS, "Fusionner les tracklogs", "Merge tracklogs"),
    separator(),
    item(IDM_NAVIGATION, "&Navigation (position courante)\tCtrl+N",
         "&Navigation (current position)\tCtrl+N"),
    item(IDM_NAVIG_LOG, "Log navigation", "Log navigation"),
    item(IDM_RAW_LOG, "Log donnees phase brutes", "Log raw phase data"),

    popup("&Options", "&Options"),
    item(IDM_COLOURS, "Couleurs et polices...", "Colors and fonts..."),
    item(IDM_MAP_FEATURES, "Representations des map features...", "Map features display..."),

    popup("&A propos de", "&About"),
    item(IDM_ABOUT, "A propos de Tarmelo", "About Tarmelo"),
    item(IDM_ENVIRONMENT, "Variables d'environnement\tF12", "Environment variables\tF12"),

    {0, MENU_END, 0, 0, nullptr, nullptr},
};
