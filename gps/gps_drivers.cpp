// Every driver's install routine, in family order (see gps_drivers.h).
#include "gps/gps_drivers.h"

#include "gps/garmin/pvt.h"
#include "gps/garmin/transfers.h"
#include "gps/loggers/emtac.h"
#include "gps/loggers/globalsat.h"
#include "gps/loggers/magellan.h"
#include "gps/loggers/mtk.h"
#include "gps/loggers/navilink.h"
#include "gps/loggers/royaltek.h"
#include "gps/loggers/skytraq.h"
#include "gps/loggers/wintec.h"

void gps_drivers_install() {
  garmin_install();
  garmin_pvt_install();
  magellan_install();
  emtac_install();
  globalsat_install();
  navilink_install();
  royaltek_install();
  wintec_install();
  mtk_install();
  skytraq_install();
  // The log file readers without a start-up routine of their family.
  wintec_files_init();
  magellan_files_init();
}
