// Training Center files (format 61): the XML files of Garmin training devices, with the
// root "TrainingCenterDatabase", its predecessor "HistoryDatabase", or the older
// "History". Runs, laps, activity tracks and courses become tracklogs with track points;
// lap starts and ends become begin and end markers (classes 117 and 118) and, in a lap
// that makes a tracklog, its first and last points; course points become course points
// (class 116) with the symbol of their type.
//
// The reader is an instance of the table-driven XML engine (core/xml.h), as the GPX
// reader: one routine per element code. Which element may start a tracklog depends on
// the root element and on the directly enclosing element, so an element in the wrong
// place makes nothing. Points are read in geographic WGS 84.
//
// Files: tcx_tables.cpp (the element, attribute and course point type dictionaries,
// built at start-up), tcx_read.cpp (read_tcx and the element routines).
#pragma once

struct obj_t;
struct container_t;

constexpr int kTcxFormat = 61;

// Element codes; names outside the dictionary count as 0.
enum tcx_element : int {
  TCX_NONE = 0, TCX_HISTORY, TCX_HISTORY_DATABASE, TCX_TRAINING_CENTER, TCX_RUN, TCX_LAP,
  TCX_TRACK, TCX_TRACKPOINT, TCX_POSITION, TCX_TIME, TCX_LATITUDE, TCX_LONGITUDE,
  TCX_ALTITUDE, TCX_LATITUDE_DEGREES, TCX_LONGITUDE_DEGREES, TCX_ALTITUDE_METERS,
  TCX_BEGIN_POSITION, TCX_END_POSITION, TCX_SPORT, TCX_TRANSITION, TCX_COURSE, TCX_NAME,
  TCX_FOLDER, TCX_POINT_TYPE, TCX_BEGIN_ALTITUDE, TCX_END_ALTITUDE, TCX_NEXT_SPORT,
  TCX_COURSE_POINT
};
constexpr int kTcxElementCodes = 27;                      // codes 1..27
constexpr int kTcxElementNames = 31;                      // names of the dictionary
constexpr int kTcxElementRoutines = kTcxElementCodes + 1; // slot 0 and one per code
constexpr int kTcxAttributeNames = 1;                     // "xmlns", no routine
constexpr int kTcxPointTypes = 16;

// Start-up: builds the element (31 names), attribute (1) and course point type (16)
// dictionaries. Calling it again rebuilds them; tcx_free_tables releases them.
void tcx_register_tables();
void tcx_free_tables();
container_t* tcx_element_dict();
container_t* tcx_attribute_dict();
// The waypoint icon number of a course point type; 0 for a type not in the dictionary.
int tcx_point_type_symbol(const char* type);

// Reads the file into its content list: 0, or the error code (2 when the file cannot be
// opened, 1 when the objects would leave less than 16 MiB of the memory budget). The
// objects read before an error stay in the list. On success they are placed in the
// file's folder with the course point icons, label and track styles, the labels of the
// lap markers and the lap marker sub-folder. gblerr is left as the read left it.
int read_tcx(obj_t* file, container_t* list);
