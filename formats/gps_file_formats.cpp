// Registration of the GPS file readers without a start-up step (see gps_file_formats.h).
#include "formats/gps_file_formats.h"

#include "formats/aprs.h"
#include "formats/mapsend.h"
#include "formats/ozi.h"
#include "formats/usr.h"

void gps_file_formats_init() {
  usr_init();
  aprs_init();
  mapsend_init();
  ozi_files_init();
}
