// What the core's readers need to know about a file object, as a table of routines.
//
// File objects (class 27) belong to the map model, which sits above the core; yet the
// buffered reader, the line store, the Deflate/gzip/ZIP decoders and the XML engine all
// take a file object and must reach its name, size, in-memory content and archive
// fields. The map model installs its routines here when it registers its classes; until
// then (headless tools, core tests) whoever creates file objects installs its own.
//
// Every routine takes the file object as its first argument; a null file reads as the
// "unknown" values given beside each field and ignores writes.
#pragma once
#include <cstdint>

struct obj_t;

// Number-valued fields of a file object that the core reads or writes.
enum file_field : int {
  FF_TYPE = 0,          // kind code: 7 local/in memory, 8 web, 125 unreadable, 128 ZIP archive (null: 125)
  FF_FORMAT,            // format code: 52 gzip, 53 ZIP member (null: 125)
  FF_SIZE,              // size in bytes of the data (decompressed size for a member)
  FF_START,             // start offset of the data inside the disk file or the line store
  FF_DATA_OFFSET,       // offset of the compressed data inside the file or the archive
  FF_CONTENT_STATE,     // in-memory content: 0 none, 1 partial (decoded to a limit), 2 complete
  FF_PACKED_SIZE,       // ZIP member: compressed size
  FF_PACK_KIND,         // ZIP member: 0 stored, 1 Deflate, 2 method 9
  FF_SOURCE_SIZE,       // size of the compressed source (gzip file), kept when FF_SIZE
                        // becomes the decoded size; 0 when not recorded
  FF_FIELD_COUNT
};

struct file_ops {
  int64_t (*get)(obj_t* file, file_field field);
  void (*set)(obj_t* file, file_field field, int64_t value);
  // Path or URL of the file ("" for null).
  const char* (*name)(obj_t* file);
  // Modification date (packed date value; 0 when unknown).
  double (*date)(obj_t* file);
  // The line store holding the file's data in memory, or null for a disk file.
  obj_t* (*store)(obj_t* file);
  // Makes `store` the file's in-memory content, freeing the previous one unless another
  // file object shares it; null detaches and frees it.
  void (*set_store)(obj_t* file, obj_t* store);
  // The archive file object a member's data lies in, or null.
  obj_t* (*container)(obj_t* file);
  void (*set_container)(obj_t* member, obj_t* archive);
  // A new file object of type 7 whose content is a new in-memory line store.
  obj_t* (*new_in_memory)();
  // Opens (creates and enters in the file table) a file object for a path, child of
  // `parent` when given; null when it cannot be made.
  obj_t* (*open)(obj_t* parent, const char* path);
  // The file object already known under a path, or null.
  obj_t* (*find_by_name)(const char* path);
  // Identifies the file's format and loads its objects into `list`; 0 on success.
  // `flag` is 1 for a load the user asked for and for archive members, 0 when a
  // download still arriving is probed, and the download caller's own flag once it is in.
  int (*identify_and_load)(obj_t* file, obj_t* list, int flag);
  // Frees a file object made by new_in_memory or open.
  void (*free_file)(obj_t* file);
  // The file's compressed bytes when they are held in memory (a download, or what an
  // outer archive unpacked to): a line store, or null when they lie on disk or in the
  // archive. May be left null in a table: no file then has such bytes.
  obj_t* (*packed)(obj_t* file);
  // Makes `store` the file's packed bytes (null: none), as set_store does for its content.
  void (*set_packed)(obj_t* file, obj_t* store);
};

// Installs the routines (the table must outlive its use); null restores the defaults,
// which treat every file object as absent.
void file_ops_install(const file_ops* ops);
const file_ops& get_file_ops();

// Short forms used throughout the core.
inline int64_t file_get(obj_t* f, file_field field) { return get_file_ops().get(f, field); }
inline void file_set(obj_t* f, file_field field, int64_t v) { get_file_ops().set(f, field, v); }
inline const char* file_name_of(obj_t* f) { return get_file_ops().name(f); }
inline obj_t* file_store_of(obj_t* f) { return get_file_ops().store(f); }
inline obj_t* file_packed_of(obj_t* f) {
  const file_ops& ops = get_file_ops();
  return ops.packed ? ops.packed(f) : nullptr;
}
inline void file_set_packed_of(obj_t* f, obj_t* store) {
  const file_ops& ops = get_file_ops();
  if (ops.set_packed) ops.set_packed(f, store);
}
