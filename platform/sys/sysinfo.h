// Process and machine information: folders, memory, disk, running copies of a program,
// priority, the user's language and run-time module loading.
#pragma once
#include <cstdint>
#include <cstddef>
#include <string>

namespace plat {

// The folder of the running executable, with a trailing '/'.
std::string program_dir();
// The executable's file name without folder (e.g. "tarmelo").
std::string program_name();

// XDG folders, each with a trailing '/': $XDG_CONFIG_HOME (default ~/.config),
// $XDG_DATA_HOME (default ~/.local/share), $TMPDIR (default /tmp). The folder is
// created when missing; an empty string when neither the variable nor $HOME is usable.
std::string user_config_dir();
std::string user_data_dir();
std::string temp_dir();
// The user's documents folder, with a trailing '/', never created: $XDG_DOCUMENTS_DIR,
// else the XDG_DOCUMENTS_DIR line of user-dirs.dirs in the configuration folder, else
// ~/Documents, the first of them that is an existing folder; else the home folder
// itself; "" when $HOME is unset or no folder.
std::string documents_dir();

struct memory_status {
  double total_physical = 0;      // bytes
  double total_swap = 0;          // bytes (total page file)
  double available_physical = 0;  // bytes
  double available_swap = 0;      // bytes
  double process_committed = 0;   // bytes committed by this process
};
memory_status get_memory_status();

// Lets the allocator keep up to `bytes` of freed memory for the process's next
// allocations instead of handing it back to the system at once: a program that frees
// and loads large images one after another then reuses the same pages instead of
// faulting in fresh ones for every image. The budget of the memory accounting is not
// changed.
void keep_freed_memory(size_t bytes);

// Blocks of address space for allocators of their own: `bytes` (a multiple of
// kLargeBlockAlign) at an address aligned on kLargeBlockAlign, zero-filled, null when
// the system gives none. The system is asked to back them with large pages, so that the
// first touch of a block costs one page fault instead of one per 4 KiB page.
constexpr size_t kLargeBlockAlign = size_t(2) << 20;
void* map_large_block(size_t bytes);
void unmap_large_block(void* block, size_t bytes);
// Asks for large pages under a block of the heap (a large array about to be filled);
// a hint that changes nothing else. The advice covers the block's pages whole, so that
// a block with a mapping of its own stays one mapping that the allocator can still
// grow without a copy.
void advise_large_pages(void* block, size_t bytes);
// A zero-filled block of `bytes` for one large working buffer (a decoder's store of a
// whole image's worth of values), taken straight from the system with large pages asked
// for, so that it faults in a few large pieces instead of many small ones. Null when
// the system refuses it. Freed with free_large_block and the same size.
void* alloc_large_block(size_t bytes);
void free_large_block(void* block, size_t bytes);

// Free space of the file system holding `path`, in bytes; -1 when it cannot be read.
int64_t disk_free_bytes(const char* path);

// Number of running processes whose executable name equals `name` (case-insensitive);
// 1 when the process table cannot be read.
int count_processes_named(const char* name);

// The id of this process.
int process_id();

// true: normal priority; false: idle (lowest) priority for the whole process.
void set_process_priority(bool normal);

// The user's language from LC_ALL / LC_MESSAGES / LANG: the two-letter code in lower
// case ("fr", "eu", "en", ...), "" when none is set.
std::string user_language();

// Run-time modules (dlopen/dlsym). Null on failure.
void* module_load(const char* path);
void* module_symbol(void* module, const char* name);
void module_unload(void* module);

}  // namespace plat
