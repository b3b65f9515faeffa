// The receiver and data-logger drivers of the program: one routine that lets every driver
// fill its family's column of the driver table (gps/gpsport.h), its start-up routine and
// its hooks, and registers the readers of the loggers' own log files. Run once at start-
// up, before the port class is registered (gpsport_register runs the start-up routines
// the drivers installed) and before the first probe.
#pragma once

void gps_drivers_install();
