// Loading a track for replay: the file is identified when it was not yet, converted to
// NMEA text when it is another GPS format, then read into replay points and resampled.
//
// The conversion loads the file through the load dispatch and writes what its folders
// hold through the NMEA export into a new in-memory store of the same file object;
// the loaded objects are then dropped and the file object reads as an NMEA file
// (format 39, kind 4) whose data is that text, so the replay of a GPX or an own-format
// track is the replay of its NMEA export.
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/hooks.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "gps/nmea_files.h"
#include "map/file_object.h"
#include "map/gps_classes.h"
#include "quellix/qx_builders.h"
#include "quellix/replay_point.h"

namespace {

void tell(const fileatt_t* f, const char* en, const char* fr, const char* title_en,
          const char* title_fr) {
  const bool french = is_french() != 0;
  std::string text = file_get_name(f);
  text += french ? fr : en;
  core_message_box(text.c_str(), french ? title_fr : title_en);
}

// Objects the NMEA export writes: waypoints, routes, tracklogs and tracks.
bool holds_gps_objects(const container_t* list) {
  for (int i = 0; i < obj_list_count(list); ++i) {
    const obj_t* o = list->elems[i];
    if (!o) continue;
    if (o->cls == CLS_WAYPOINT || o->cls == CLS_ROUTE || o->cls == CLS_TRACKLOG ||
        o->cls == CLS_NAVSEG || o->cls == CLS_GPSPOS)
      return true;
  }
  return false;
}

bool file_holds_gps_objects(const fileatt_t* f) {
  folder_t* it = nullptr;
  for (folder_t* d = file_next_folder(f, &it); d; d = file_next_folder(f, &it))
    if (holds_gps_objects(d->sot)) return true;
  return holds_gps_objects(f->sot);
}

}  // namespace

int qx_convert_to_nmea(obj_t* file, int* has_data) {
  if (has_data) *has_data = 0;
  fileatt_t* f = file_of(file);
  if (!f) return 0;
  if (f->fileformat == uint32_t(kNmeaFileFormat)) {
    if (has_data) *has_data = 1;
    return 1;
  }
  const int result = file_load(f, nullptr, 0);
  set_gblerr(0);
  if (result != 0) return 0;
  if (!file_holds_gps_objects(f)) return 1;
  // The export goes into a new store of the file itself; the folders it reads stay
  // until it is written.
  if (file_new_line_store(f) != 0) {
    set_gblerr(0);
    return 1;
  }
  nmea_export(nullptr, f, f);
  // A layer without georeference is left out of the text; the rest is there.
  set_gblerr(0);
  file_unload(f, 1);
  set_gblerr(0);
  f->filetype = kFileKindGps;
  f->fileformat = uint32_t(kNmeaFileFormat);
  f->start64 = 0;
  if (has_data) *has_data = 1;
  return 1;
}

int qx_load_track_file(obj_t* file) {
  fileatt_t* f = file_of(file);
  if (!f) return set_gblerr(ERR_PARAMETERS);
  if (f->filetype == kFileKindLocal && !f->store) file_identify_and_load_default(f);
  set_gblerr(0);
  int has_data = 0;
  if (f->filetype != kFileKindGps || !qx_convert_to_nmea(f, &has_data)) {
    tell(f, "\nUnkown File Format", "\nFormat de fichier inconnu.", "Loading error",
         "Erreur en cours de chargement");
    return ERR_UNKNOWN_FORMAT;
  }
  if (f->fileformat == uint32_t(kNmeaFileFormat) && has_data) {
    const int err = qx_read_nmea_log(f);
    qx_resample_track(f);
    set_gblerr(0);
    return err;
  }
  tell(f, "\nNo NMEA data.", "\nAucune donnee NMEA.", "End of loading", "Chargement terminé");
  return 0;
}
