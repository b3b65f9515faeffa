// The format-name table, indexed by format code from 26.
#include "formats/format_names.h"

namespace {

constexpr const char* kNames[kLastNamedFormat - kFirstNamedFormat + 1] = {
    "ESRI Shapefile",                          // 26
    "Mapinfo Interchange File",                // 27
    "Tarmelo Trackpoints",                     // 28
    "Tarmelo Waypoints",                       // 29
    "GPS eXchange",                            // 30
    " ",                                       // 31
    "Magellan Mapsend",                        // 32
    "GPS TrackMaker 211",                      // 33
    "OziExplorer",                             // 34
    "Tarmelo Trackpoints",                     // 35
    "Tarmelo Waypoints",                       // 36
    "Magellan log",                            // 37
    "Keyhole Markup Language (Google Earth)",  // 38
    "NMEA log",                                // 39
    " ",                                       // 40
    "Tarmelo Routes",                          // 41
    "WinAPRS Map",                             // 42
    " ",                                       // 43
    "GPS TrackMaker 212",                      // 44
    "Garmin PCX5",                             // 45
    "S-57 ENC Electronic Navigational Chart",  // 46
    "cGPSmapper Polish map",                   // 47
    "MapShow (ALAN Map) TRL tracklog",         // 48
    "MapShow (ALAN Map) WPR waypoints",        // 49
    "MapShow (Holux) WPO waypoints",           // 50
    "MapShow (Holux) TRK tracklog",            // 51
    "GZip",                                    // 52
    "Zip",                                     // 53
    "FileList",                                // 54
    "GeoFileList ",                            // 55
    "AlanMap 500 Map",                         // 56
    "MapDekode DBX",                           // 57
    "Geogrid ASCII Overlay",                   // 58
    "GeoNames XML",                            // 59
    "Ozi Map",                                 // 60
    "Garmin Forerunner XML",                   // 61
    "WMS GetCapabilities response",            // 62
    " ",                                       // 63
    "Emtac Trine log",                         // 64
    "Lowrance USR",                            // 65
    "Tarmelo Navigation",                      // 66
    "Geography Markup Language",               // 67
    "OpenStreetMap map",                       // 68
    "MediaTek log",                            // 69
    "RoyalTek log",                            // 70
    "Wintec log TK1",                          // 71
    "Wintec tracklog TK2",                     // 72
    "Wintec waypoints TK3",                    // 73
};

}  // namespace

const char* format_display_name(int format) {
  if (format < kFirstNamedFormat || format > kLastNamedFormat) return nullptr;
  return kNames[format - kFirstNamedFormat];
}
