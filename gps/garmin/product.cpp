// Garmin product entries: the link and command protocol tables, the built-in table of
// receivers that send no protocol array, its lookup by product id and software version,
// and the entries built from a receiver's protocol array.
#include "gps/garmin/product.h"

#include <atomic>
#include <cstddef>
#include <iterator>

#include "core/error.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/obj_list.h"

const garmin_link_protocol garmin_link_l001 = {
    "L001", {10, 12, 14, 17, 19, 27, 29, 30, 31, 34, 35, 51, 98, 99, 152}};
const garmin_link_protocol garmin_link_l002 = {
    "L002", {11, 12, 20, 24, 27, 35, 37, 39, 4, -1, 43, -1, -1, -1, -1}};
const garmin_cmd_protocol garmin_cmd_a010 = {"A010", {0, 1, 2, 3, 4, 5, 6, 7, 8, 49, 50, 121}};
const garmin_cmd_protocol garmin_cmd_a011 = {"A011", {0, 4, -1, 17, 8, 20, -1, 21, 26, -1, -1, -1}};

namespace {

container_t* g_index = nullptr;
std::atomic<garmin_pvt_fn> g_realtime{nullptr};

// One profile of the built-in table: protocols, D-types and whether it has an A300 track
// transfer (those with a track point type do).
struct profile {
  bool l002;
  int waypoint, track_point, route_header, almanac;
};
// One table entry: profile and version range.
struct table_row {
  uint8_t profile;
  int16_t product_id;
  int32_t lowest, bound;
};

constexpr profile kProfiles[] = {
    {false, 103, 300, 201, 501},  // 0
    {false, 100, 300, 201, 500},  // 1
    {false, 100, 300, 200, 500},  // 2
    {false, 100, 300, 201, 501},  // 3
    {false, 100, 0, 200, 500},    // 4
    {false, 101, 300, 201, 500},  // 5
    {false, 102, 300, 201, 500},  // 6
    {false, 102, 300, 201, 501},  // 7
    {false, 104, 300, 201, 501},  // 8
    {false, 150, 0, 201, 551},    // 9
    {false, 151, 300, 201, 500},  // 10
    {false, 151, 0, 200, 500},    // 11
    {false, 152, 300, 200, 500},  // 12
    {false, 152, 300, 201, 500},  // 13
    {false, 152, 300, 201, 501},  // 14
    {false, 154, 300, 201, 501},  // 15
    {false, 155, 300, 201, 501},  // 16
    {true, 150, 0, 201, 550},     // 17
    {true, 150, 0, 201, 551},     // 18
};

constexpr int32_t B = kGarminTableVersionBound;
// In table order: within one product id the walk takes the rows in this order.
constexpr table_row kRows[] = {
    {0, 73, 0, B},    {0, 77, 301, 350}, {0, 77, 350, 361}, {0, 77, 361, B}, {0, 87, 0, B},
    {0, 95, 0, B},    {0, 96, 0, B},     {0, 97, 0, B},     {0, 100, 0, B},  {0, 105, 0, B},
    {0, 106, 0, B},   {1, 31, 0, B},     {1, 41, 0, B},     {1, 47, 0, B},   {1, 55, 0, B},
    {1, 56, 0, B},    {1, 59, 0, B},     {1, 61, 0, B},     {1, 62, 0, B},   {1, 74, 0, B},
    {2, 13, 0, B},    {2, 18, 0, B},     {2, 23, 0, B},     {2, 24, 0, B},   {2, 25, 0, B},
    {2, 35, 0, B},    {2, 42, 0, B},     {3, 77, 0, 301},   {4, 7, 0, B},    {4, 14, 0, B},
    {5, 29, 0, 400},  {5, 44, 0, B},     {6, 29, 400, B},   {7, 49, 0, B},   {7, 76, 0, B},
    {7, 88, 0, B},    {8, 72, 0, B},     {9, 98, 0, B},     {10, 39, 0, B},  {11, 15, 0, B},
    {12, 22, 0, B},   {12, 36, 0, 300},  {12, 36, 300, B},  {13, 45, 0, B},  {14, 50, 0, B},
    {14, 53, 0, B},   {14, 112, 0, B},   {15, 48, 0, B},    {16, 71, 0, B},  {17, 20, 0, B},
    {17, 33, 0, B},   {17, 34, 0, B},    {17, 52, 0, B},    {18, 64, 0, B},
};
static_assert(std::size(kRows) == 54);

garmin_product* new_entry(garmin_product** out) {
  obj_t* o = nullptr;
  obj_new(0, CLS_GARMIN_PRODUCT, &o);
  *out = static_cast<garmin_product*>(o);
  return *out;
}

void fill_from_row(garmin_product* e, const table_row& row) {
  const profile& p = kProfiles[row.profile];
  e->product_id = row.product_id;
  e->lowest_version = row.lowest;
  e->version_bound = row.bound;
  e->from_receiver = 0;
  e->link = p.l002 ? &garmin_link_l002 : &garmin_link_l001;
  e->command = p.l002 ? &garmin_cmd_a011 : &garmin_cmd_a010;
  e->waypoint_type = garmin_dtype_find(p.waypoint);
  e->track_point_type = p.track_point ? garmin_dtype_find(p.track_point) : nullptr;
  e->route_header_type = garmin_dtype_find(p.route_header);
  e->almanac_type = garmin_dtype_find(p.almanac);
  e->waypoint_transfer = garmin_a100_transfer;
  e->route_transfer = garmin_a200_transfer;
  e->track_transfer = p.track_point ? garmin_a300_transfer : nullptr;
}

void free_table() {
  if (!g_index) return;
  obj_list_free_elements(g_index);
  free_obj(&g_index);
}

bool in_list(int number, std::initializer_list<int> list) {
  for (int n : list)
    if (n == number) return true;
  return false;
}

}  // namespace

void garmin_product_free(obj_t* entry) {
  if (!entry) return;
  free_mem(&static_cast<garmin_product*>(entry)->description);
}

void garmin_product_table_build() {
  free_table();
  index_create(CLS_GARMIN_PRODUCT, AT_INT, int(offsetof(garmin_product, product_id)), &g_index);
  if (!g_index) return;
  // Entries get ascending ids in table order, and the index breaks ties by id: within
  // one product id the index keeps the table order.
  for (const table_row& row : kRows) {
    garmin_product* e = nullptr;
    if (!new_entry(&e)) return;
    fill_from_row(e, row);
    index_insert(g_index, e);
  }
}

void garmin_init() {
  obj_register_class(CLS_GARMIN_PRODUCT, int(sizeof(garmin_product)), nullptr);
  obj_set_free_callback(CLS_GARMIN_PRODUCT, garmin_product_free);
  garmin_product_table_build();
}

container_t* garmin_product_index() { return g_index; }

int garmin_product_lookup(const garmin_product_data* data, garmin_product** out) {
  *out = nullptr;
  if (!data || !g_index) return 0;
  const int32_t id = data->product_id;
  const int32_t version = data->software_version;
  garmin_product* first = nullptr;
  index_search(g_index, IDX_EQUAL_OR_AFTER, &id, &first);
  if (!first) return 0;
  for (int pos = index_position_of(g_index, first); pos >= 0 && pos < g_index->count; ++pos) {
    auto* e = static_cast<garmin_product*>(owner_get(&g_index->elems)[pos]);
    if (e->lowest_version <= version && version < e->version_bound) {
      str_set(data->description ? data->description : "", &e->description);
      *out = e;
      return 1;
    }
  }
  return 0;
}

garmin_product* garmin_product_from_array(const garmin_product_data* data, garmin_product** out) {
  *out = nullptr;
  if (!data) return nullptr;
  garmin_product* e = nullptr;
  if (!alloc_obj(CLS_GARMIN_PRODUCT, &e)) return nullptr;
  e->product_id = data->product_id;
  e->lowest_version = data->software_version;
  e->version_bound = kGarminArrayVersionBound;
  e->from_receiver = 1;
  str_set(data->description ? data->description : "", &e->description);
  *out = e;
  return e;
}

void garmin_apply_protocol(char tag, int n, garmin_product* e, int usb) {
  if (!e) return;
  switch (tag) {
    case 'L':
      if (n == 1) e->link = &garmin_link_l001;
      if (n == 2) e->link = &garmin_link_l002;
      return;
    case 'A':
      switch (n) {
        case 10: e->command = &garmin_cmd_a010; break;
        case 11: e->command = &garmin_cmd_a011; break;
        case 100: e->waypoint_transfer = garmin_a100_transfer; break;
        case 200: e->route_transfer = garmin_a200_transfer; break;
        case 201: e->route_transfer = garmin_a201_transfer; break;
        case 300: e->track_transfer = garmin_a300_transfer; break;
        case 301: case 302: e->track_transfer = garmin_a301_transfer; break;
        case 800:
          if (usb) e->realtime = g_realtime.load();
          break;
        default: break;
      }
      return;
    case 'D': {
      const garmin_dtype* dt = garmin_dtype_find(n);
      if (!dt) return;
      if ((n >= 100 && n <= 110) || in_list(n, {150, 151, 152, 154, 155})) e->waypoint_type = dt;
      else if (n >= 200 && n <= 202) e->route_header_type = dt;
      else if (n == 210) e->route_link_type = dt;
      else if (n >= 300 && n <= 304) e->track_point_type = dt;
      else if (n >= 310 && n <= 312) e->track_header_type = dt;
      else if (in_list(n, {500, 501, 550, 551})) e->almanac_type = dt;
      return;
    }
    default: return;
  }
}

void garmin_apply_protocol_array(const uint8_t* data, size_t size, garmin_product* e, int usb) {
  if (!data) return;
  for (size_t i = 0; i + 3 <= size; i += 3)
    garmin_apply_protocol(static_cast<char>(data[i]), data[i + 1] | (data[i + 2] << 8), e, usb);
}

uint32_t garmin_set_capabilities(const garmin_product* e) {
  uint32_t caps = 0x8;  // switch off
  if (!e) return caps;
  if (e->waypoint_transfer) caps |= 0x1;
  if (e->track_transfer) caps |= 0x2;
  if (e->route_transfer) caps |= 0x4;
  if (e->realtime) caps |= 0x40;
  return caps;
}

void garmin_set_realtime_routine(garmin_pvt_fn fn) { g_realtime.store(fn); }
