// The private sentence dictionary a logger driver keeps for its own log-file reader: one
// published pointer per driver, swapped atomically so a reader thread sees either no
// dictionary or a complete one. sentence_dict_free drops the published dictionary;
// sentence_dict_rebuild drops it, clears the ids a previous build wrote into the tag
// table, builds a fresh dictionary from the table and publishes it (false, and nothing
// published, when the build fails).
#pragma once

#include <atomic>
#include <cstddef>

#include "core/dict.h"
#include "core/object.h"

inline void sentence_dict_free(std::atomic<container_t*>& slot) {
  container_t* d = slot.exchange(nullptr);
  if (d) free_obj(&d);
}

template <size_t N>
bool sentence_dict_rebuild(std::atomic<container_t*>& slot, tag_t (&table)[N]) {
  sentence_dict_free(slot);
  for (tag_t& t : table) t.id = 0;
  container_t* dict = nullptr;
  if (dict_build(static_cast<int>(N), table, &dict) != 0) {
    if (dict) free_obj(&dict);
    return false;
  }
  slot.store(dict, std::memory_order_release);
  return true;
}
