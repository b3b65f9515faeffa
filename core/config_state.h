// State shared by the files of the configuration (config.cpp, config_dirs.cpp,
// options.cpp) and nothing else. Every routine of config.h takes the one recursive lock
// below, so that worker tasks may read keys while the user-interface thread sets them;
// lookups nest (a getter reads a key, a folder key writes the trace log, which reads
// "LOGERROR"), hence a recursive mutex.
#pragma once
#include <mutex>

namespace config_detail {

std::recursive_mutex& lock();

// 1 when the key has an entry in the cache (its value may be null: known absent).
bool is_cached(const char* key);

// Forgets the computed memory ceiling, so that the next config_maxmem reads "MAXMEM".
void forget_maxmem();

// Forgets what config_dirs.cpp derived (reduced-image folder, the emptying of the
// default temporary folder); called by config_reset.
void forget_dirs();

// Counts the running copies of this program before the default temporary folder is
// emptied. Tests replace it to choose between the one-copy and the many-copies case;
// null restores count_own_processes.
using process_counter_fn = int (*)();
void set_process_counter(process_counter_fn fn);

}  // namespace config_detail
