// The reader of Geogrid ASCII overlay files (format code 58): sections "[Symbol n]" of
// "key=value" lines, each section one drawn symbol (a text, a line, a polygon or a point
// symbol) in geographic degrees. Other sections are skipped, unknown keys and malformed
// lines ignored.
#pragma once

struct obj_t;
struct container_t;

constexpr int kOvlFormat = 58;

// One row of the key dictionary: a key and the routine that reads its value.
struct ovl_context;
struct ovl_key {
  const char* name;
  void (*handler)(ovl_context* c);
};
// The key dictionary, ending with a row whose name is empty (unknown keys map to it).
extern const ovl_key* ovl_keys;
// The row of a key (the empty row when the key is unknown).
const ovl_key* ovl_find_key(const char* key);

// Start-up routine of the module: builds the key dictionary and registers the reader.
void ovl_init();

// Reads the file into its content list. Returns 0, or 2 when the file cannot be opened:
// every other fault of a file is a line skipped.
int ovl_read(obj_t* file, container_t* list);
