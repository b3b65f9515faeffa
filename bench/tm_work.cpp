// tm_work: one piece of this system's work per run, as a fresh process, for the comparison
// table of `make bench` (scripts/bench/table.py). Each subcommand does what its outside
// peer does on the same file and nothing else: decode an image whole into memory, or
// read a GPS or map file into loaded objects. Nothing is written; the process ends
// after the work, and the table times the whole process and reads its peak resident
// size from wait4.
//
//   tm_work decode png|jpeg|gif|tiff|kap FILE   every line of the image decoded
//   tm_work load gpx|gtm|tmn|ozi|tk1|nmea|osm|shp FILE   the file read by its reader
//
// One line on standard output says what was made (image size, or objects loaded), so
// that the driver can see that the work was done; exit status 0 on success.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "bench/file_load_bench.h"
#include "core/config.h"
#include "core/core_classes.h"
#include "core/dates.h"
#include "core/dict.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/line_store.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/xml.h"
#include "formats/gpstext.h"
#include "formats/gpx.h"
#include "formats/gtm.h"
#include "formats/osm.h"
#include "formats/ozi.h"
#include "formats/shapefile.h"
#include "geodesy/xform.h"
#include "gps/loggers/wintec.h"
#include "gps/nmea_files.h"
#include "gps/nmea_parser.h"
#include "map/bitmap_record.h"
#include "map/draw_styles.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "map/repr.h"
#include "raster/gif_read.h"
#include "raster/image_load.h"
#include "raster/jpeg_read.h"
#include "raster/kap_read.h"
#include "raster/png_read.h"
#include "raster/tiff_read.h"

namespace {

int usage() {
  std::fputs("usage: tm_work decode png|jpeg|gif|tiff|kap FILE\n"
             "       tm_work load gpx|gtm|tmn|ozi|tk1|nmea|osm|shp FILE\n",
             stderr);
  return 2;
}

// The swap folder of the line stores, removed when the run ends.
struct swap_folder {
  std::string path = "/tmp/tm_work_" + std::to_string(getpid());
  swap_folder() { config_temp_dir_set(path.c_str(), "s_"); }
  ~swap_folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

// ---- Images ---------------------------------------------------------------------------------

// A fresh image record on the file, as the dispatcher hands it to a decoder row.
bitmap_t* image_record(obj_t* file, int format) {
  bitmap_t* image = nullptr;
  obj_new_registered(CLS_BITMAP, &image);
  image->file = file;
  image->format = format;
  image->gamma = -1.0;
  set_graylevel_lut(image);
  return image;
}

int decode(const std::string& kind, const char* path) {
  obj_store_init();
  obj_register_core_classes();
  line_store_register();
  xform_register_classes();
  swap_folder swap;
  bitmap_module_init();
  fileobj_types_register();
  obj_t* file = get_file_ops().open(nullptr, path);
  if (!file) {
    std::fprintf(stderr, "tm_work: cannot open %s\n", path);
    return 1;
  }
  container_t* list = nullptr;
  obj_list_create(&list);
  int rc = 3;
  bitmap_t* shown = nullptr;
  if (kind == "png") {
    shown = image_record(file, kDecoderPng);
    rc = png_read(shown);
  } else if (kind == "jpeg") {
    shown = image_record(file, kJpegDecoderCode);
    rc = jpeg_read(shown, nullptr);
  } else if (kind == "kap") {
    sb_chart_register();
    shown = image_record(file, kDecoderChart);
    rc = sb_chart_parse(shown);
  } else if (kind == "tiff") {
    // -2: every strip or tile of the page decoded now, not on demand.
    bitmap_t* image = image_record(file, kDecoderTiff);
    rc = tiff_read(&image, list, -2);
    shown = image;
  } else if (kind == "gif") {
    bitmap_t* image = image_record(file, kDecoderGif);
    rc = gif_read(&image, list);
    for (int i = 0; i < obj_list_count(list) && !shown; ++i) {
      obj_t* o = obj_list_get(list, i, static_cast<obj_t**>(nullptr));
      if (o && o->cls == CLS_BITMAP) shown = static_cast<bitmap_t*>(o);
    }
  } else {
    return usage();
  }
  if (rc != 0 || !shown) {
    std::fprintf(stderr, "tm_work: decoding %s failed (%d)\n", path, rc);
    return 1;
  }
  std::printf("%s %dx%d\n", kind.c_str(), shown->width, shown->height);
  return 0;
}

// ---- GPS and map files ----------------------------------------------------------------------

int load(const std::string& kind, const char* path) {
  bench_load::register_map_model();
  using reader = int (*)(fileatt_t*, container_t*);
  reader read = nullptr;
  if (kind == "gpx") {
    xml_init();
    gpx_register_tables();
    read = [](fileatt_t* f, container_t* l) { return read_gpx(f, l); };
  } else if (kind == "gtm") {
    month_names_init();
    gtm_init();
    read = [](fileatt_t* f, container_t* l) { return gtm_read(f, l); };
  } else if (kind == "tmn") {
    read = [](fileatt_t* f, container_t* l) { return gpstext_read(f, l); };
  } else if (kind == "ozi") {
    read = [](fileatt_t* f, container_t* l) { return ozi_read_data(f, l); };
  } else if (kind == "tk1") {
    read = [](fileatt_t* f, container_t* l) { return read_wintec_tk1(f, l); };
  } else if (kind == "nmea") {
    nmea_module_init();
    read = [](fileatt_t* f, container_t* l) { return read_nmea_file(f, l); };
  } else if (kind == "shp") {
    read = [](fileatt_t* f, container_t* l) { return shp_read(f, l); };
  } else if (kind == "osm") {
    dict_register_type();
    xml_init();
    repr_register_classes();
    repr_load_from(TM_SOURCE_DIR "/data/representation.xml");
    if (osm_init_from(TM_SOURCE_DIR "/data/", nullptr) != 4) std::fputs("tm_work: OSM vocabularies missing\n", stderr);
    set_gblerr(0);
    read = [](fileatt_t* f, container_t* l) { return read_osm(f, l); };
  } else {
    return usage();
  }
  fileatt_t* f = nullptr;
  file_open_object(nullptr, nullptr, path, 0, 0, &f);
  if (!f) {
    std::fprintf(stderr, "tm_work: cannot open %s\n", path);
    return 1;
  }
  obj_list_new(&f->sot);
  const int rc = read(f, f->sot);
  if (rc != 0 || get_gblerr() != 0) {
    std::fprintf(stderr, "tm_work: loading %s failed (%d, error %d)\n", path, rc, get_gblerr());
    return 1;
  }
  std::printf("%s %d objects, %d track points\n", kind.c_str(), obj_list_count(f->sot),
              obj_list_count_of_class(f->sot, CLS_GPSPOS));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return usage();
  const std::string verb = argv[1];
  // The readers take a file name as the program's file dialogs give it: absolute.
  std::error_code ec;
  const std::string path = std::filesystem::absolute(argv[3], ec).string();
  if (verb == "decode") return decode(argv[2], path.c_str());
  if (verb == "load") return load(argv[2], path.c_str());
  return usage();
}
