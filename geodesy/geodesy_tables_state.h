// Internal state of the geodesy tables: the sorted indexes over the class lists of the
// geodetic classes, the reference datum, and the lock that guards them.
//
// Lookups may run on a worker thread while another thread creates an object at run time
// (a UTM zone, the inverse of a transformation), and an insertion may move an index's
// element array; every entry point of the tables therefore holds the lock (recursive,
// because creators call finders and finders create inverses).
#pragma once
#include <atomic>
#include <mutex>

#include "core/index.h"
#include "geodesy/geodesy_records.h"

struct geo_tables_state {
  std::recursive_mutex mutex;
  container_t* by_code[kGeoLastClass - kGeoFirstClass + 1] = {};  // 35..39
  container_t* by_name[kGeoLastClass - kGeoFirstClass + 1] = {};  // none for 36
  container_t* ellipsoid_by_a = nullptr;
  container_t* datum_by_ellip = nullptr;
  container_t* trans_by_departure = nullptr;
  container_t* trans_by_arrival = nullptr;
  container_t* proj_by_datum = nullptr;
  container_t* names_by_name = nullptr;
  container_t* names_by_code = nullptr;
  std::atomic<geodatum_t*> ref_datum{nullptr};
};

geo_tables_state& geo_state();
using geo_lock = std::lock_guard<std::recursive_mutex>;

// 1 for the classes 35 to 39.
inline bool geo_class_valid(int cls) { return cls >= kGeoFirstClass && cls <= kGeoLastClass; }
// The code and name indexes of a class; null outside 35..39 (and by name for 36).
container_t* geo_code_index(int cls);
container_t* geo_name_index(int cls);

// A new object of the class, entered in its class list with an id.
obj_t* geo_new_object(int cls);
// Enters an object in its class's code index and (when there is one) name index.
void geo_index_by_code_and_name(obj_t* obj, int cls);
