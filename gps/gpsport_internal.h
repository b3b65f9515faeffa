// What the GPS port files share among themselves and nothing else includes.
#pragma once

struct gpsport_t;

// Runs the driver modules' start-up routines in the order of gps_startup_module.
void gpsport_run_startups();
// Frees a port object with gblerr cleared first (the store frees nothing while an error
// is set); nulls *port.
void gpsport_free(gpsport_t** port);
