// The swap index: the persistent cache of reduced images kept across runs in the
// reduced-image folder ("REDUCE_IMAGE_DIR" + "v2/").
//
// Each cached store is described by a `memobjfile` record (class 28) whose name is a
// path of digits ("0/0/0/0/0/0/0/0/0/0" is the first); the store's lines live in the
// file reduced-image folder + name. Two sorted indexes hold the records, by source path
// and by name (the second built over the first); the first is read from and saved to
// the saved-table file "mof2.sot" through the line store hooks. Nothing here is active
// while the reduced-image folder is not configured.
#pragma once
#include <cstdint>

#include "core/line_store_record.h"
#include "core/obj_list.h"

// Name of the saved table inside the reduced-image folder.
constexpr const char* kSwapIndexFile = "mof2.sot";

// Creates both indexes and reads "mof2.sot" into the first (start-up; also done on
// first need). Nothing when the reduced-image folder is not configured.
void swap_index_init();
// The record of the source described by a file object (its path, start, size and
// date), made when there is none; its full path is set, and a file left at that path
// by a record not yet on disk (and used by no live store) is removed. Null (and
// nothing done) without a reduced-image folder or when the source has no path.
memobjfile_t* swap_record_for(memobjfile_t** out, obj_t* file);
// A new registered record for the source of `file` under `name`, in both indexes.
memobjfile_t* swap_record_new(const char* name, obj_t* file);
// A new record under the next free name (rotating the cache when the names run out).
memobjfile_t* swap_record_next_name(obj_t* file);
// Moves the whole cache one level down, under "0", and renames every record.
void swap_rotate();
// The number formed by every second character of a name (its digits).
int64_t swap_name_number(const char* name);
// Counts a name up by one like an odometer; 0 when every digit wrapped to '0'.
int swap_name_count_up(char* name);

// The two indexes (null until initialised) and the path of the saved table.
container_t* swap_index_by_path();
container_t* swap_index_by_name();
// Free routine of class 28.
void memobjfile_free(obj_t* obj);
// Registers class 28 (descriptor, record size with the full path, free routine).
void swap_index_register();
