// Every driver's install routine, in family order (see gps_drivers.h).
#include "gps/gps_drivers.h"

#include "gps/garmin/pvt.h"
#include "gps/garmin/transfers.h"
#include "gps/loggers/emtac.h"
#include "gps/loggers/globalsat.h"
#include "gps/loggers/mtk.h"
#include "gps/loggers/navilink.h"
#include "gps/loggers/royaltek.h"
#include "gps/loggers/skytraq.h"

void gps_drivers_install() {
  garmin_install();
  garmin_pvt_install();
  emtac_install();
  globalsat_install();
  navilink_install();
  royaltek_install();
  mtk_install();
  skytraq_install();
}
