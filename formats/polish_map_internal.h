// Internals shared by the Polish map reader's files (see polish_map.h).
#pragma once
#include <cstdint>
#include <string>

#include "core/obj_list.h"

struct obj_t;
struct feature_t;
struct georef_t;

// Section codes (the section dictionary's values).
enum mp_section : int {
  MP_SECTION_NONE = 0,
  MP_SECTION_POI = 1,
  MP_SECTION_LINE = 2,
  MP_SECTION_AREA = 3,
  MP_SECTION_HEADER = 4,
  MP_SECTION_OTHER = 5,
  MP_SECTION_SHAPE = 6,
  MP_SECTION_CITY = 7,
};

// Key handler codes (the key dictionary's values).
enum mp_key : int {
  MP_KEY_UNKNOWN = 0,
  MP_KEY_DATUM = 1,
  MP_KEY_UNIT = 2,
  MP_KEY_TYPE = 3,
  MP_KEY_CITY = 4,
  MP_KEY_LABEL = 5,
  MP_KEY_ENDLEVEL = 6,
  MP_KEY_DATA = 7,
  MP_KEY_CITYNAME = 8,
  MP_KEY_FILE = 9,
  MP_KEY_RGNTYPE = 10,
  MP_KEY_NAME = 11,
  MP_KEY_COLOR = 12,
  MP_KEY_HEIGHT = 13,
  MP_KEY_SUBTYPE = 14,
  MP_KEY_ELLIPSOID = 15,
  MP_KEY_LABEL2 = 16,
  MP_KEY_OTHER_LEVEL = 17,
};
constexpr int kMpKeyHandlers = 18;

// Name lengths: a section or key name keeps at most 99 characters, a value word 79
// (80 for a coordinate), a label 4095; further characters are read and dropped.
constexpr int kMpTokenSize = 100;
constexpr int kMpWordMax = 79;
constexpr int kMpCoordWordMax = 80;
constexpr int kMpLabelMax = 4095;

// The reading context of one file.
struct mp_context {
  container_t* list = nullptr;
  georef_t* georef = nullptr;  // the georeference made for the file
  uint64_t remaining = 0;      // bytes not read yet
  int pushed = -1;             // a byte read ahead and given back (-1: none)
  char token[kMpTokenSize] = {};
  char* token_end = token;
  int32_t token_length = 0;    // characters offered to the token, stored or dropped
  int32_t section = 0;
  int32_t key = 0;
  obj_t* object = nullptr;     // node or way line of the current section's coordinates
  int32_t object_class = 0;
  int32_t type = 0;
  int32_t subtype = 0;
  int32_t kind = 0;
  feature_t* feature = nullptr;
  bool have_label = false;
  std::string label;           // the last label of the section (local code page text)
  int64_t made = 0;            // bytes made (memory budget checks)
  int64_t next_check = int64_t(4) << 20;  // `made` at the next look at the budget
};

// ---- polish_map_tables.cpp ------------------------------------------------------------------
container_t* mp_section_dict();
container_t* mp_key_dict();
// The feature of (type, subtype, kind) under the tables' lock, or null. A type or
// subtype outside 0..255 has none.
feature_t* mp_classify(int type, int subtype, int kind);

// ---- polish_map_read.cpp --------------------------------------------------------------------
// Runs the lexer over the current file of the reader (ctx->remaining bytes).
void mp_lex(mp_context* ctx);

// ---- polish_map_build.cpp -------------------------------------------------------------------
// The file's folder, a sub-folder per main type of the main features met, and the
// rendering calculation; 0 or the error code.
int mp_build_folders(obj_t* file, container_t* list);
