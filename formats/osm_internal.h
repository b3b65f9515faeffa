// Internals shared by the OpenStreetMap reader's files (see osm.h).
#pragma once
#include <cstdint>
#include <string>
#include <algorithm>
#include <utility>
#include <vector>

#include "core/obj_list.h"
#include "formats/osm.h"

struct feature_t;
struct node_t;
struct way_t;

// ---- osm_tables.cpp ----------------------------------------------------------------------------
container_t* osm_element_dict();
container_t* osm_attribute_dict();
// The key code of a key name (0 when absent), under the tables' lock.
int osm_key_lookup(const char* name);
// The feature a (key code, value text) pair gives an element of the type (150 node, 151
// way): null unless the key has a keyword record; a value without a feature of its own
// takes the feature of the key's default value, when it has one.
feature_t* osm_classify(int key_code, const char* value, int elttype);

// ---- The reader's state (osm_read.cpp) ---------------------------------------------------------
// The node references of one way: positions [first, last) of osm_reader::refs.
struct osm_way_refs {
  way_t* way;
  size_t first, last;
};

// The nodes by identifier: kept in the order read, sorted once before the ways look them
// up (files list their nodes by ascending identifier, which needs no sort). Of nodes
// sharing an identifier the first read is the one found.
class osm_node_index {
 public:
  void add(int64_t id, node_t* n) {
    if (!entries_.empty() && id <= entries_.back().first) sorted_ = false;
    entries_.emplace_back(id, n);
  }
  // Must run after the last add and before the first find.
  void finish() {
    if (sorted_) return;
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const entry& a, const entry& b) { return a.first < b.first; });
    sorted_ = true;
  }
  node_t* find(int64_t id) const {
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                                     [](const entry& e, int64_t v) { return e.first < v; });
    return it != entries_.end() && it->first == id ? it->second : nullptr;
  }

 private:
  using entry = std::pair<int64_t, node_t*>;
  std::vector<entry> entries_;
  bool sorted_ = true;
};

struct osm_reader {
  container_t* list = nullptr;
  obj_t* current = nullptr;   // the node or way whose attributes and tags are read
  int current_kind = 0;       // OSM_NODE or OSM_WAY while `current` is set
  int key = 0;                // code of the current tag's key
  bool have_key = false;
  bool have_value = false;
  std::string value;          // a "v" met before its "k"
  bool osm_open = false;      // an "osm" element began
  bool osm_closed = false;    // and ended
  int64_t made = 0;           // objects made (memory budget checks)
  std::vector<int64_t> refs;  // node identifiers of the ways, way after way
  std::vector<osm_way_refs> ways;
  osm_node_index nodes;
};

// ---- osm_build.cpp ------------------------------------------------------------------------------
// Replaces each way's identifiers by its nodes (missing ones dropped).
void osm_resolve_ways(osm_reader* st);
// The file's folder, a sub-folder per feature main type, the way lines of the ways and
// the rendering calculation; 0 or the error code.
int osm_build_folders(obj_t* file, container_t* list);
