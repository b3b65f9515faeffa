// Shared state of the file-object files (not for other parts): the file table and the
// file list with their lock, and the routines one file lends another.
#pragma once
#include <mutex>
#include <vector>

#include "map/file_object.h"

namespace file_detail {

std::recursive_mutex& table_mutex();
container_t* file_table();
container_t* file_list();
// Releases the loaded content through the formats' unload routine (or the default:
// every folder and the object list freed).
void file_release_content(fileatt_t* file, int reload);
// Every folder of the tree under `root` (root first, depth first, parents before sons).
void folder_collect_tree(folder_t* root, std::vector<folder_t*>* out);
// Installs the core's file-object routine table and the HTTP client's hooks.
void file_ops_table_install();

}  // namespace file_detail
