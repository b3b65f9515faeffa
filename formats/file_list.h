// File lists: text files naming other files, folders or web addresses to load together.
//
// Version 1 ("FileList V1.0") holds one path or URL a line; a folder named there brings
// every file below it. Version 2 ("GeoFileList V2.0") holds a key of at most eight
// characters, blanks, then a path (relative to the list file) or an HTTP URL.
// Identification (formats/file_identify.cpp) calls the reader of format 54 or 55 with
// its destination list; the entries become file objects of that list, which the load
// command then loads one by one. Files the program already holds as identified file
// objects (the list itself among them) are never taken again, so a list naming itself
// or its own folder ends.
//
// Files: file_list.cpp (header, lines, version 1), file_list_v2.cpp (version 2 and the
// keys), file_list_folder.cpp (a folder's files).
#pragma once
#include <string>

struct container_t;
struct obj_t;

constexpr int kFormatFileListV1 = 54;
constexpr int kFormatFileListV2 = 55;

// Reads the list file into `list` by its header; a file with neither header adds
// nothing. Null list: nothing. Result 0, or 2 when the file cannot be opened.
int read_filelist(obj_t* file, container_t* list);
// The two versions, the header line already read by the current reader.
int read_filelist_v1(obj_t* file, container_t* list);
int read_geofilelist_v2(obj_t* file, container_t* list);

// The key a version-2 list gave a file object ("" when none). Keys live beside the file
// table, whose own key names must stay the paths it is searched by.
std::string file_list_key(const obj_t* file);
// Forgets every key (the end of a test or of the program).
void file_list_keys_clear();

// Fills slots 54 and 55 of the reader table.
void file_list_register();

namespace file_list_detail {
// Longest line taken; the rest of a longer line is dropped.
constexpr int kMaxLine = 990;
// The next line of the current reader, without its end of line and trailing blanks
// (the first three characters always stay). False at the end of the file. A line
// holding a NUL byte comes back empty, so that it is skipped.
bool next_line(std::string& line);
// Adds the file objects of every file below `folder` to `list`, id-ordered.
void add_folder_files(const char* folder, container_t* list);
}  // namespace file_list_detail
