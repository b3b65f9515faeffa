// Reading a file's disk bytes after the buffered reader has closed it: for readers that
// keep a file open for the life of what they loaded (lines decoded on demand), reading
// it at offsets from any thread.
#pragma once
#include <cstdint>
#include <cstdio>

// Reads n bytes at an absolute offset of a disk file without moving or using its
// position (several threads may read one file so); returns the number read.
int64_t file_read_at(FILE* file, int64_t offset, void* buffer, int64_t n);
// The current file's disk file opened once more, for a reader that keeps reading it
// after the file is closed here (its pages decoded on demand): *start gets the offset of
// the file's bytes in it and *size their number. Null (nothing opened) when the bytes
// are held in memory or no file is current.
FILE* rd_reopen_disk_file(int64_t* start, int64_t* size);
