// The receiver driver table: one column per family with the four item extensions and the
// routine slots the drivers fill, the family names of the download dialog, the hooks to
// the Garmin USB and real-time modules, and the driver modules' start-up list.
#include <atomic>

#include "gps/gpsport.h"
#include "gps/gpsport_internal.h"

// Extensions in item order waypoints, tracks, routes, datalog; "" for an item the family
// does not have. The routine slots stay empty until the drivers fill them.
gps_device_column gps_device_table[kGpsFamilyCount + 1] = {
    {{"", "", "", ""}, nullptr, nullptr, {}, {}, nullptr, nullptr},
    {{"tmw", "tmt", "tmr", ""}, nullptr, nullptr, {}, {}, nullptr, nullptr},
    {{"mglw", "mglt", "mglr", ""}, nullptr, nullptr, {}, {}, nullptr, nullptr},
    {{"", "", "", "emt"}, nullptr, nullptr, {}, {}, nullptr, nullptr},
    {{"", "", "", "tmn"}, nullptr, nullptr, {}, {}, nullptr, nullptr},
    {{"tmw", "track.tmn", "tmr", "datalog.tmn"}, nullptr, nullptr, {}, {}, nullptr, nullptr},
    {{"rtkw", "", "", "rtkt"}, nullptr, nullptr, {}, {}, nullptr, nullptr},
    {{"", "", "", "tmn"}, nullptr, nullptr, {}, {}, nullptr, nullptr},
    {{"", "", "", "mtkt"}, nullptr, nullptr, {}, {}, nullptr, nullptr},
    {{"", "", "", "tmn"}, nullptr, nullptr, {}, {}, nullptr, nullptr},
};

namespace {

constexpr const char* kFamilyNames[kGpsFamilyCount + 1] = {
    "",
    "Garmin",
    "Magellan",
    "Emtac Trine",
    "GlobalSat Data Logger",
    "Navilink (Locosys, Amaryllo)",
    "Royaltek (RGM-3800, RBT-2300, RCD-1100)",
    "Wintec (WBT-201, WGS-1000)",
    "MediaTek logger (i-Blue, Qstarz, i.Trek)",
    "SkyTraq",
};

gps_usb_hooks g_usb_hooks;

std::atomic<void (*)()> g_startups[GPS_STARTUP_COUNT];

}  // namespace

const gps_device_column* gps_family_column(int family) {
  if (family < 1 || family > kGpsFamilyCount) return nullptr;
  return &gps_device_table[family];
}

const char* gps_family_name(int family) {
  if (family < 1 || family > kGpsFamilyCount) return "";
  return kFamilyNames[family];
}

gps_usb_hooks& get_gps_usb_hooks() { return g_usb_hooks; }

void gpsport_set_startup(int module, void (*routine)()) {
  if (module < 0 || module >= GPS_STARTUP_COUNT) return;
  g_startups[module].store(routine, std::memory_order_release);
}

void gpsport_run_startups() {
  for (auto& slot : g_startups)
    if (auto routine = slot.load(std::memory_order_acquire)) routine();
}
