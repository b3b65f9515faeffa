// The dictionaries of a reader's static tag tables (element, attribute and keyword
// names): built at start-up into an atomic slot and read by the load task, freed when
// the reader's tables go.
#pragma once
#include <atomic>
#include <cstddef>

#include "core/dict.h"
#include "core/object.h"

namespace dict_slots {

// Empties the slot and frees its dictionary (none: nothing).
inline void free_dict(std::atomic<container_t*>& slot) {
  container_t* d = slot.exchange(nullptr);
  free_obj(&d);
}

// Builds the dictionary of the table into the slot. The tags' ids are cleared first:
// they belong to an earlier object store when the tables are built again.
template <size_t N> void build(tag_t (&table)[N], std::atomic<container_t*>& slot) {
  for (tag_t& t : table) t.id = 0;
  container_t* d = nullptr;
  dict_build(int(N), table, &d);
  slot.store(d, std::memory_order_release);
}

}  // namespace dict_slots
