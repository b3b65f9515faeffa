// Deflate, gzip and ZIP: the system's own decoder of compressed data.
//
// Output always goes to memory: the in-memory content (a line store) of a file object,
// which doubles as the sliding window from which back-references are copied. The
// buffered reader supplies the compressed bytes and bits.
#pragma once
#include <cstdint>

struct obj_t;

// Decodes a gzip file into the file object's memory; limit 0 decodes everything,
// otherwise decoding stops after the first block that leaves more than `limit` bytes.
// A damaged file becomes type 125 with size 0 (gblerr cleared). Returns 0 on success.
int gzip_open_member(obj_t* file, int64_t limit);
// Decodes a compressed ZIP member into the member's memory (stored members are read in
// place). A damaged member becomes type 125. Returns 0 on success.
int zip_open_member(obj_t* member, int64_t limit);
// Walks the local headers of a ZIP archive, makes one file object per member, loads
// each and moves what was loaded into `target_list`.
int zip_list_archive(obj_t* archive, obj_t* target_list);
