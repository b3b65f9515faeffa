// What the text readers share around the fields: opening a file, releasing what a
// failed read made, and the folder and default styles of a successful read.
#include "core/error.h"
#include "core/obj_list.h"
#include "core/object.h"
#include "core/reader.h"
#include "formats/gpstext_internal.h"
#include "map/file_object.h"
#include "map/gps_classes.h"

namespace gpstext {

namespace {

// Parameters of the default styles: label priority, icon and label scales, the scale
// of track and route styles, and the navigation log's waypoint symbol and label sizes.
constexpr int kLabelPriority = 30000;
constexpr double kIconScale = 2000.0;
constexpr double kLabelScale = 400.0;
constexpr double kLineScale = 1000.0;
constexpr int kLogPointSize = 4;
constexpr int kLogLabelSize = 8;
constexpr double kLogPointScale = 400.0;

void waypoint_styles(obj_t* file, container_t* list) {
  gpsobj_attach_icons(list, CLS_WAYPOINT);
  file_default_label_styles(file, CLS_WAYPOINT, 0, kLabelPriority, kIconScale, kLabelScale, 0);
}

}  // namespace

int open(obj_t* file) {
  if (rd_open(file, kBufferSize, 1) != 0) return set_gblerr(ERR_FILE_ACCESS);
  rd_seek(0, 0);
  reset_window();
  return get_gblerr();
}

int fail(container_t* list, int first, int code) {
  // Objects are kept while an error is pending: the code goes back once they are freed.
  const int pending = get_gblerr();
  set_gblerr(0);
  for (int i = obj_list_count(list) - 1; i >= first; --i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    obj_list_remove_at(list, i);
    free_obj(&o);
  }
  if (pending == ERR_MEMORY) return set_gblerr(ERR_MEMORY);
  set_gblerr(pending == ERR_FILE_ACCESS ? ERR_FILE_ACCESS : code);
  return code;
}

int place(obj_t* file, container_t* list, content kind) {
  if (!file_of(file)) return get_gblerr();
  folder_get_or_create(file, list, 0, nullptr);
  switch (kind) {
    case content::waypoints:
      waypoint_styles(file, list);
      break;
    case content::routes:
      waypoint_styles(file, list);
      file_default_route_styles(file, CLS_ROUTE, 1, kLineScale);
      break;
    case content::navigation:
      file_default_point_styles(file, CLS_WAYPOINT, kLogPointSize, kLogLabelSize, kLogPointScale);
      [[fallthrough]];
    case content::tracklogs:
      file_default_track_styles(file, 1, kLineScale);
      break;
  }
  return get_gblerr();
}

}  // namespace gpstext
