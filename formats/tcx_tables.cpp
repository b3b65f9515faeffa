// The Training Center reader's dictionaries, built once at start-up: element and
// attribute names to their codes, and course point types to waypoint icon numbers.
#include <atomic>

#include "core/dict.h"
#include "core/object.h"
#include "formats/dict_slots.h"
#include "formats/tcx.h"

namespace {

tag_t g_element_table[kTcxElementNames] = {
    make_tag("History", TCX_HISTORY),
    make_tag("HistoryDatabase", TCX_HISTORY_DATABASE),
    make_tag("TrainingCenterDatabase", TCX_TRAINING_CENTER),
    make_tag("Run", TCX_RUN),
    make_tag("Lap", TCX_LAP),
    make_tag("Track", TCX_TRACK),
    make_tag("Trackpoint", TCX_TRACKPOINT),
    make_tag("Position", TCX_POSITION),
    make_tag("Time", TCX_TIME),
    make_tag("Latitude", TCX_LATITUDE),
    make_tag("Longitude", TCX_LONGITUDE),
    make_tag("Altitude", TCX_ALTITUDE),
    make_tag("LatitudeDegrees", TCX_LATITUDE_DEGREES),
    make_tag("LongitudeDegrees", TCX_LONGITUDE_DEGREES),
    make_tag("AltitudeMeters", TCX_ALTITUDE_METERS),
    make_tag("BeginPosition", TCX_BEGIN_POSITION),
    make_tag("EndPosition", TCX_END_POSITION),
    make_tag("Running", TCX_SPORT),
    make_tag("Biking", TCX_SPORT),
    make_tag("Other", TCX_SPORT),
    make_tag("FirstSport", TCX_SPORT),
    make_tag("Transition", TCX_TRANSITION),
    make_tag("Course", TCX_COURSE),
    make_tag("Name", TCX_NAME),
    make_tag("CourseFolder", TCX_FOLDER),
    make_tag("Folder", TCX_FOLDER),
    make_tag("PointType", TCX_POINT_TYPE),
    make_tag("BeginAltitudeMeters", TCX_BEGIN_ALTITUDE),
    make_tag("EndAltitudeMeters", TCX_END_ALTITUDE),
    make_tag("NextSport", TCX_NEXT_SPORT),
    make_tag("CoursePoint", TCX_COURSE_POINT),
};

tag_t g_attribute_table[kTcxAttributeNames] = {make_tag("xmlns", 0)};

tag_t g_point_type_table[kTcxPointTypes] = {
    make_tag("Generic", 0),      make_tag("Summit", 27),       make_tag("Valley", 0),
    make_tag("Water", 18),       make_tag("Food", 26),         make_tag("Danger", 9),
    make_tag("Left", 0),         make_tag("Right", 37),        make_tag("Straight", 0),
    make_tag("First Aid", 14),   make_tag("4th Category", 0),  make_tag("3rd Category", 0),
    make_tag("2nd Category", 0), make_tag("1st Category", 0),  make_tag("Hors Category", 0),
    make_tag("Sprint", 0),
};

// Written at start-up, read by the load task.
std::atomic<container_t*> g_elements{nullptr};
std::atomic<container_t*> g_attributes{nullptr};
std::atomic<container_t*> g_point_types{nullptr};

using dict_slots::build;
using dict_slots::free_dict;

}  // namespace

void tcx_free_tables() {
  free_dict(g_point_types);
  free_dict(g_attributes);
  free_dict(g_elements);
}

void tcx_register_tables() {
  tcx_free_tables();
  build(g_element_table, g_elements);
  build(g_attribute_table, g_attributes);
  build(g_point_type_table, g_point_types);
}

container_t* tcx_element_dict() { return g_elements.load(std::memory_order_acquire); }
container_t* tcx_attribute_dict() { return g_attributes.load(std::memory_order_acquire); }

int tcx_point_type_symbol(const char* type) {
  int value = 0;
  dict_lookup(g_point_types.load(std::memory_order_acquire), type ? type : "", 0, &value);
  return value;
}
