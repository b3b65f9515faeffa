// Pooled object records: records of the classes that readers make by the million (track
// points) are cut from 2 MiB blocks instead of being allocated one by one.
//
// Each thread cuts records of one size from a block of its own, one after the other;
// a record is never reused, and a block goes back to the system once every record cut
// from it is freed (from any thread) and its thread has moved on to another block or
// ended. The memory wrappers (memory.h) recognise a pooled record wherever it is freed
// or resized, so its owners handle it as any other block.
//
// Why: a million records allocated one at a time made the loading thread's heap grow a
// page at a time (one mprotect call and one page fault per 4 KiB), which was half the
// time of a large GPS file's load. A block is asked for with large pages, so filling it
// costs one fault.
#pragma once
#include <cstddef>

// Largest record the pool takes (bytes); larger ones are allocated as usual.
constexpr size_t kPooledRecordMax = 512;

// A zero-filled record of `size` bytes from this thread's block of that size; null when
// the pool cannot give one (too large, no block from the system, the thread ending):
// the caller then allocates it as usual.
void* pool_alloc_zero(size_t size);

// Whether `block` is a pooled record (null is not).
bool pool_owns(const void* block);

// The usable size of a pooled record.
size_t pool_record_size(const void* block);

// Frees a pooled record; false (and nothing done) when `block` is not one.
bool pool_release(void* block);

// Lines of large line stores (an image's rows, a file's content held in memory):
// slots of one size cut from 2 MiB blocks asked for with large pages, so that filling a
// 192 MB image costs a hundred page faults instead of fifty thousand, and a fresh slot
// needs no clearing (the block comes zero-filled). Unlike records, a freed slot is
// reused by the next line of its size, and a block goes back to the system once its
// last slot is freed (the most recent such block is kept for the next lines, so that a
// store made and freed line after line does not map and clear a block each time).
//
// Sizes from kPooledLineMin to kPooledLineMax bytes are taken; a slot of `size` bytes
// (zero-filled when `zero`), or null when the pool gives none (the caller then
// allocates as usual). Freed with free_mem like every block.
constexpr size_t kPooledLineMin = 2048;
constexpr size_t kPooledLineMax = size_t(256) << 10;
void* pool_alloc_line(size_t size, bool zero);

// Records of a pooled class are cut from the pool: for the classes whose objects
// readers make by the million. They are freed as every record, with free_obj.
void obj_set_pooled(int id, bool pooled);
