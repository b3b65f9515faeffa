// What the feature-table modules of the map formats share: the user's lists (an index
// of records kept in a saved table file "<name>.sot" of the user's folder, read back at
// start-up and queued for saving when changed), the freeing of lists and indexes, a
// pause of the error state around table work, the loading of a named base list with its
// message when the file is missing, and the folder of the program's data files.
//
// Not thread-safe on its own: each module calls these under its own table mutex.
#pragma once

#include <string>

#include "core/error.h"
#include "core/obj_list.h"
#include "map/file_object.h"

namespace user_lists {

// A user list: the index of its records and the saved file they are read from and
// saved to (null until a file was read or made).
struct user_list {
  container_t* table = nullptr;
  fileatt_t* file = nullptr;
};

// Names the list's table (made by the caller as an index of its records) `name` and,
// with a folder, reads the saved records of "<folder><name>.sot" back into it (entered
// again under their own keys). A table that could not be made is left alone; a refused
// or missing file leaves the list empty with gblerr clear.
void user_list_open(user_list* u, const char* name, const char* folder);
// Frees the list's records and table, and its saved file object unless the file table
// holds it.
void user_list_free(user_list* u);
// Queues the list for saving when `save` is on and it has a table and a saved file.
void user_list_queue(const user_list* u, bool save);

// Frees a list with its elements (and what lists among them hold, as a named list read
// from a file may) / an index only (its records belong elsewhere); null lists are left
// alone.
void free_with_elements(container_t** list);
void free_index(container_t** list);

// Lets table work run with gblerr clear and puts back the error pending before it.
struct error_pause {
  int pending = get_gblerr();
  error_pause() { set_gblerr(0); }
  ~error_pause() { set_gblerr(pending); }
};

// Loads the list `list_name` of the representation file "<folder><file>" into *out;
// where that fails, writes a separator and the message (French `fr` or English `en`)
// to the trace log. True when loaded.
bool load_named_list(const char* folder, const char* file, const char* list_name,
                     container_t** out, const char* fr, const char* en);

// The folder (with its separator) of the program's data file `file`, where the
// representations find it; the system folder when that path has none.
std::string data_folder_of(const char* file);

}  // namespace user_lists
