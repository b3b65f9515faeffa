// File objects and folders: where every data set the system shows comes from.
//
// A file object (`fileatt`, class 27) stands for a local file, a web address, an image
// stream or a file held in memory (an archive member, a downloaded page). It owns one
// or more folders (`folder`, class 19), each holding one list of loaded objects; a
// folder is what a layer shows. Every file object entered in the file table is found
// again by its key name, so that a file opened twice is loaded once.
//
// Key names keep the case of the path: Linux file systems are case-sensitive, so
// "Maps/A.gpx" and "maps/a.gpx" are two files. Only '\' is read as '/', and for a web
// address the scheme and the host (which are case-blind by nature) are lower-cased.
//
// Files: file_object.cpp (classes, the file table, opening and finding), file_access.cpp
// (accessors, in-memory content, the exported name routine), file_ops_table.cpp (the
// core's file-object routine table), folder.cpp (folders), folder_tree.cpp (visibility,
// rebuild for export, display switches), url_rules.cpp (URL rules and web links),
// file_reload.cpp (periodic reload).
//
// Threads: the load task creates and looks up file objects while the user-interface
// thread reads them; the file table and the file list are reached under one lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/obj_layout.h"
#include "core/obj_list.h"
#include "core/object.h"

struct filemobj_t;
struct pairlist;

constexpr int kFileClass = 27;       // `fileatt`
constexpr int kMemFileClass = 28;    // `memobjfile` (record in core/line_store_record.h)
constexpr int kFolderClass = 19;     // `folder`

// File kinds (`filetype`) that the file objects set or test.
constexpr int kFileKindLocal = 7;
constexpr int kFileKindHttp = 8;
constexpr int kFileKindEcwp = 12;
constexpr int kFileKindHtml = 10;
constexpr int kFileKindNone = 125;

#pragma pack(push, 1)
// Class 27. The fields up to `folder` are the class descriptor's; the private words
// after them are the file's in-memory content and what the readers and the web
// navigation keep about it.
struct fileatt_t : tree_obj_t {
  char* name;                // path or URL, as given
  char* keyname;             // key in the file table (see file_key_name)
  int32_t filetype;
  uint32_t fileformat;
  uint32_t filesize;         // 32-bit view of size64 (saturated)
  int32_t georerefed;
  container_t* sot;          // the loaded objects
  double lastupdatedate;     // packed date
  uint32_t deboffset;        // 32-bit view of start64 (saturated)
  obj_t* folder;             // first folder (folder_t)
  // ---- private words ----
  filemobj_t* store;         // in-memory content (line store), may be shared
  int64_t size2;             // second size word, read when use_size2 is set and no store
  int32_t use_size2;
  char* web_root;            // page address the web-navigation rule compares with
  obj_t* container;          // archive the data of a member lies in
  int64_t size64;            // size in bytes
  int64_t start64;           // start of the data in the file or the store
  int64_t data_offset;       // compressed data inside the file or the archive
  int64_t content_state;     // 0 none, 1 partial, 2 complete
  int64_t packed_size;
  int64_t pack_kind;
  int64_t source_size;
  int32_t from_url;          // set when the data was fetched from a web address
  int32_t in_table;          // entered in the file table
  filemobj_t* packed;        // compressed bytes held in memory that the content is decoded
                             // from (a download, or what an outer archive unpacked to);
                             // null when they lie on disk or in the archive
};

// Class 19.
struct folder_t : tree_obj_t {
  obj_t* file;               // the file object (fileatt_t)
  container_t* sot;          // the folder's objects (the file's own list for its first)
  obj_t* image;              // the bitmap (class 1) the folder shows, or null
  int32_t movobj;
  int32_t layer;             // layer priority; 0 = not yet placed
  int32_t userdisplay;       // the user may show or hide it
  int32_t refreshintrv;      // reload interval in seconds; 0 = never
  int32_t displayed;
  int32_t pagenumber;
  char16_t* name;            // display name
};
#pragma pack(pop)

inline constexpr attr_desc kFileattAttrs[] = {
    {"id", AT_ID},           {"type", AT_INT},        {"", AT_FATHER},
    {"", AT_LIST},           {"name", AT_STRING},     {"", AT_STRING},
    {"filetype", AT_INT},    {"fileformat", AT_FORMAT}, {"filesize", AT_SIZE},
    {"georerefed", AT_INT},  {"sot", AT_LIST},        {"lastupdatedate", AT_DATE},
    {"deboffset", AT_SIZE},  {"folder", AT_REF}};
inline constexpr int kFileattAttrCount = 14;

inline constexpr attr_desc kFolderAttrs[] = {
    {"id", AT_ID},            {"type", AT_INT},         {"father", AT_FATHER},
    {"sons", AT_LIST},        {"file", AT_REF},         {"sot", AT_LIST},
    {"", AT_REF},             {"movobj", AT_INT},       {"layer", AT_INT},
    {"userdisplay", AT_INT},  {"refreshintrv", AT_INT}, {"displayed", AT_INT},
    {"pagenumber", AT_INT},   {"name", AT_WSTRING}};
inline constexpr int kFolderAttrCount = 14;

static_assert(offsetof(fileatt_t, name) == attr_offset_in(kFileattAttrs, 4));
static_assert(offsetof(fileatt_t, keyname) == attr_offset_in(kFileattAttrs, 5));
static_assert(offsetof(fileatt_t, filetype) == attr_offset_in(kFileattAttrs, 6));
static_assert(offsetof(fileatt_t, sot) == attr_offset_in(kFileattAttrs, 10));
static_assert(offsetof(fileatt_t, lastupdatedate) == attr_offset_in(kFileattAttrs, 11));
static_assert(offsetof(fileatt_t, deboffset) == attr_offset_in(kFileattAttrs, 12));
static_assert(offsetof(fileatt_t, store) == attr_layout_size(kFileattAttrs, kFileattAttrCount));
static_assert(offsetof(folder_t, file) == attr_offset_in(kFolderAttrs, 4));
static_assert(offsetof(folder_t, image) == attr_offset_in(kFolderAttrs, 6));
static_assert(offsetof(folder_t, refreshintrv) == attr_offset_in(kFolderAttrs, 10));
static_assert(offsetof(folder_t, name) == attr_offset_in(kFolderAttrs, 13));
static_assert(sizeof(folder_t) == attr_layout_size(kFolderAttrs, kFolderAttrCount));

// ---- Start-up -------------------------------------------------------------------------
// Registers classes 27 (with fileatt_destroy and fileatt_copy), 28 and 19 (with
// folder_destroy), creates the file table and the file list, installs the core's
// file-object routines (core/file_ops.h), the HTTP client's re-keying and link hooks
// (core/http.h) and the line store's saved-table hooks (map/saved_tables.h).
void fileobj_types_register();
// Frees the file table and the file list (not the file objects): the end of a test
// or of the program.
void fileobj_tables_free();

// Routines that come from the file formats; the defaults do nothing (identify: result
// 1 and the file left unidentified; unload: the content list is freed).
struct fileobj_hooks {
  // Identifies the file's content and loads it, file objects of a container going to
  // `list`; 0 on success.
  int (*identify_and_load)(obj_t* file, obj_t* list, int flag) = nullptr;
  // Releases the loaded content; with `reload` set the file can be loaded again.
  void (*unload)(obj_t* file, int reload) = nullptr;
};
fileobj_hooks& get_fileobj_hooks();

// The file object an object pointer stands for (class 27), or null.
fileatt_t* file_of(obj_t* obj);
folder_t* folder_of(obj_t* obj);

// ---- Opening and finding --------------------------------------------------------------
// path = directory + name (either may be null). Empty path: *out null. With lookup, a
// file object already known under the path whose `filetype` is non-zero is returned as
// it is; otherwise a new one is made (or the found one reused), named after the path,
// with kind, size and date from the file system (a web address by its scheme). With
// link, it is entered in the file table and becomes a son of `parent`.
fileatt_t* file_open_object(obj_t* parent, const char* directory, const char* name, int lookup,
                            int link, fileatt_t** out);
fileatt_t* file_open(obj_t* parent, const char* directory, const char* name, fileatt_t** out);
// The file object of a name: first under the name with '\' read as '/', then under its
// URL form (scheme and host lower-cased). Case is otherwise kept. Null when unknown.
fileatt_t* file_find_by_name(const char* name, fileatt_t** out);
// The key name of a path (owned): '\' becomes '/'; with url_mode, or for a name with a
// "scheme://" prefix, the scheme and host are lower-cased.
char* file_key_name(const char* name, int url_mode, char** owner);
// Re-keys the file in the table after its `name` changed.
void file_rename(fileatt_t* file);
// Makes `child` a son of `father` (a sorted sons list by key name is made when needed).
void file_add_child(obj_t* father, fileatt_t* child);
// A new file object of kind 7 whose content is a new in-memory line store of
// 32768-byte lines (not entered in the table).
fileatt_t* file_new_in_memory(fileatt_t** out);
// Gives the file a new empty in-memory line store (kind 7); 0, or -1 on failure.
int file_new_line_store(fileatt_t* file);
// Makes `store` the file's content, freeing the previous one unless another file object
// shares it; null detaches (and frees when unshared). Each store counts the file
// objects holding it (as content or packed bytes), so sharing costs no search.
void file_set_store(fileatt_t* file, filemobj_t* store);
// The same for the file's packed bytes (see `packed`).
void file_set_packed(fileatt_t* file, filemobj_t* store);

// ---- Accessors (a null file gives the value in brackets) ------------------------------
const char* file_get_name(const fileatt_t* file);              // ("")
int file_get_type(const fileatt_t* file);                      // (125)
uint32_t file_get_format(const fileatt_t* file);               // (125)
container_t* file_get_objects(const fileatt_t* file, container_t** out);  // (null)
int file_has_objects(const fileatt_t* file);                   // (0)
folder_t* file_get_first_folder(const fileatt_t* file, folder_t** out);
// First folder when *it is null, else the next folder in a depth-first walk of the
// folder tree under the first folder; null at the end.
folder_t* file_next_folder(const fileatt_t* file, folder_t** it);
// Detaches the file's `sot` and frees the list and every object under it.
void file_detach_content(fileatt_t* file);
// `filesize`, except when the second size word is selected and there is no store.
int64_t file_get_size(const fileatt_t* file);
void file_set_size(fileatt_t* file, int64_t size);
// The list of all loaded file objects (made at start-up).
container_t* get_file_list();
// Closes the file's reader entry and opens its name again with `mode` (missing folders
// created for a writing mode). Null when it cannot be opened.
FILE* file_reopen(fileatt_t* file, const char* mode, FILE** out);
// The page address a followed link is compared with (null when none).
const char* file_get_web_root(const fileatt_t* file);
void file_set_web_root(fileatt_t* file, const char* url);

// Exported by name for the image plug-in: a new copy of the file's name (the caller
// frees it with free_mem); for a file held in memory the store is written out to one
// disk file and that file's name is returned. Null file: null.
extern "C" char* get_filemobj_name(obj_t* file);

// ---- Folders --------------------------------------------------------------------------
// parent: a file, a folder or null. A file that already has a first folder reuses it;
// otherwise a new folder (displayed, user display on, `layer` given) is made: for a file
// it becomes the file's first folder, named after the file; for a folder, its son.
// `content`: a list becomes `sot`, a bitmap (class 1) the image reference.
folder_t* folder_get_or_create(obj_t* parent, obj_t* content, int layer, folder_t** out);
container_t* folder_get_objects(const folder_t* folder, container_t** out);
obj_t* folder_get_link(const folder_t* folder);
void folder_set_name(folder_t* folder, const char* text);
// 1 when the folder and all its ancestor folders are displayed (also for null).
int folder_visible(const folder_t* folder);
// New list holding the first georeference (class 46) of every folder of the file.
container_t* file_list_folder_items(const fileatt_t* file, container_t** out);
// Detached copy of the folder tree under `root` for export: folders holding nothing but
// georeferences, file objects and active drawing styles are dropped; the copies without
// father are appended to `out` (made when null). Returns the list.
container_t* folder_rebuild(folder_t* root, container_t** out);
// The layers window's switches: `pairs` holds (display flag, folder) pairs; `window` is
// a map window (null: the current one). Posts the layer toggles (command 21).
void folders_set_displayed(obj_t* window, const pairlist* pairs);

// ---- Class routines --------------------------------------------------------------------
void fileatt_destroy(obj_t* file);
void fileatt_copy(const obj_t* src, obj_t* dst);
void folder_destroy(obj_t* folder);

// ---- URL rules (url_rules.cpp) ---------------------------------------------------------
// 8 for "http://", 12 for "ecwp://" (compared without case; the scheme is lower-cased in
// place), else 0; always 0 when the HTTP setting begins with '0'.
int url_scheme(char* text);
// In place on an owned string: a relative text gets "http://" in front; an http or ecwp
// address without a path gets "/"; "file://" becomes a local path; leading '/' are cut
// to one.
void url_normalize(char** text);
// 1 when a link found in a page may be followed (see url_rules.cpp).
int web_link_allowed(const fileatt_t* file);
// Filters the links collected from a page: web roots are handed down, links that may
// not be followed are taken out of `list` and unloaded.
void html_filter_links(fileatt_t* page, container_t* list);

// ---- Periodic reload (file_reload.cpp) -------------------------------------------------
// Command slot that reloads a file object.
constexpr int kReloadCommand = 20;
// When folders of the file have a reload interval, posts the reload command once with
// "1" + the file's name, delayed by max(interval, "RELOAD_AND_REDRAW") seconds for the
// shortest of their intervals.
void reload_and_redraw(fileatt_t* file);
