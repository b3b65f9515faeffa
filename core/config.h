// Configuration of a program: one plain-text file of "KEY value" lines, found in a
// fixed order of folders, read lazily key by key and cached; command-line options
// write into the same cache. Also the folders derived from configuration keys
// (program, system, temporary, log, reduced images) and the user-interface language.
#pragma once
#include <cstdint>

// ---- Program identity (set once at start-up) ----------------------------------------
// Lower-case program name used for "<name>.cfg" and the temporary folder
// ("tarmelo" unless set), and the four-letter tag of its trace log.
void set_program_name(const char* name);
const char* get_program_name();

void set_program_dir(const char* path);  // appends '/' unless it ends with '/' or '\'
const char* get_program_dir();
const char* get_system_dir();            // program folder + "system/"

// ---- Cache and lookup ---------------------------------------------------------------
void config_set(const char* key, const char* value);  // null value: key known absent
// The returned text stays valid until config_reset, even when the key is set again.
const char* config_get(const char* key);
int config_get_number(const char* key);
char* config_dump();  // owned "key\nvalue\n..." of every non-empty cached entry
void config_locate();
// Forgets every cached key and derived value (tests, and a change of program).
void config_reset();

// ---- Getters ------------------------------------------------------------------------
double config_maxmem();  // bytes
uint32_t config_back_color();
bool config_log_error();
bool config_monothread();
const char* config_lang();  // "FR" or "EN"
int is_french();
const char* config_http();
const char* get_temp_dir();
const char* get_log_dir();
const char* get_reduce_image_dir();

// ---- Folder keys --------------------------------------------------------------------
void config_set_dir(const char* key, const char* suffix, const char* base);
void config_temp_dir_set(const char* base, const char* suffix);
const char* config_dir_cached(const char* key);

// ---- Command-line options -----------------------------------------------------------
// `word` must equal an option exactly; an option value is the next word at *cursor.
// Returns 0 for a known option, -1 (cursor restored) for an unknown word.
int parse_option(const char* word, const char** cursor);

// ---- Embedded mode ------------------------------------------------------------------
bool is_embedded();
void set_embedded(bool on);
