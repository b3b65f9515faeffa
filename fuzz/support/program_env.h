// The map program's start-up as far as loading files needs it, for the harnesses at the
// program's own entry points: the classes, the geodesy and representation tables of the
// source tree's data folder, the image loading and every reader of the load dispatch, as
// the program's start-up registers them (without windows). Downloads are switched off
// ("HTTP" other than direct or a proxy), so that no input reaches the network. Each step
// starts with gblerr clear (a step that fails must not keep the next from running).
#pragma once
#include <string>

#include "core/config.h"
#include "core/dates.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/html.h"
#include "core/line_store.h"
#include "core/object.h"
#include "core/socket.h"
#include "core/xml.h"
#include "formats/file_load.h"
#include "formats/geonames.h"
#include "formats/gps_file_formats.h"
#include "formats/gpx.h"
#include "formats/gtm.h"
#include "formats/kml.h"
#include "formats/mif.h"
#include "formats/osm.h"
#include "formats/ovl.h"
#include "formats/pcx5.h"
#include "formats/polish_map.h"
#include "formats/tcx.h"
#include "fuzz/support/reader_fuzz.h"
#include "geodesy/geodesy_tables.h"
#include "gps/nmea_files.h"
#include "gps/nmea_parser.h"
#include "map/bitmap_record.h"
#include "map/draw_gdi.h"
#include "map/draw_styles.h"
#include "map/graphic_index.h"
#include "map/print.h"
#include "map/quadtree.h"
#include "map/repr.h"
#include "map/view_records.h"
#include "raster/image_load.h"
#include "raster/ozi_map.h"
#include "raster/raster_limits.h"

namespace tm_fuzz {

inline void init_program() {
  static bool ready = false;
  init(false);
  if (ready) return;
  ready = true;
  config_set("HTTP", "OFF");
  view_types_register();
  set_gblerr(0);
  qtree_init();
  set_gblerr(0);
  drawobj_types_register();
  set_gblerr(0);
  redraw_types_register();
  set_gblerr(0);
  fileobj_types_register();
  set_gblerr(0);
  file_detail::file_ops_table_install();
  set_gblerr(0);
  line_store_register();
  set_gblerr(0);
  font_table_init();
  set_gblerr(0);
  socket_register_type();
  set_gblerr(0);
  drawobj_init_table();
  set_gblerr(0);
  gindex_init();
  set_gblerr(0);
  raster_module_init();
  set_gblerr(0);
  bitmap_module_init();
  set_gblerr(0);
  raster_set_max_image_bytes(int64_t(64) << 20);
  xml_init();
  set_gblerr(0);
  html_init();
  set_gblerr(0);
  const std::string data = source_data_dir();
  load_geodesy(data);
  set_gblerr(0);
  gpsobj_types_register();
  set_gblerr(0);
  nmea_module_init();
  set_gblerr(0);
  nmea_files_init();
  set_gblerr(0);
  month_names_init();
  set_gblerr(0);
  file_load_module_init();
  set_gblerr(0);
  mif_module_init();
  set_gblerr(0);
  gpx_register_tables();
  set_gblerr(0);
  gtm_init();
  set_gblerr(0);
  pcx5_init();
  set_gblerr(0);
  geonames_register_vocab();
  set_gblerr(0);
  tcx_register_tables();
  set_gblerr(0);
  kml_module_init();
  set_gblerr(0);
  ovl_init();
  set_gblerr(0);
  repr_load_from((data + kReprFileName).c_str());
  set_gblerr(0);
  osm_init_from(data.c_str(), nullptr);
  set_gblerr(0);
  mp_init_from(data.c_str(), nullptr);
  set_gblerr(0);
  ozi_init();
  set_gblerr(0);
  gps_file_formats_init();
  set_gblerr(0);
  set_gblerr(0);
}

}  // namespace tm_fuzz
