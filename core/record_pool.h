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

// Records of a pooled class are cut from the pool: for the classes whose objects
// readers make by the million. They are freed as every record, with free_obj.
void obj_set_pooled(int id, bool pooled);
