// The configuration cache and the configuration file.
//
// A program has one plain-text file of "KEY value" lines, found once (config_locate)
// in the program folder or the user's application folder. Keys are read from it
// lazily, one at a time, and every answer - present or absent - is kept in a sorted
// index of strpair records, so that a key is read from the file at most once.
// Command-line options and code write into the same cache with config_set.
//
// The getters below turn a few keys into values computed once (memory ceiling,
// background colour, LOGERROR, MONOTHREAD, language, HTTP access text).
//
// Threads: worker tasks read keys while the user-interface thread may set them, so
// every routine here holds the recursive lock of config_state.h. The lock cannot
// cover what a caller does with a value afterwards, so a value pointer returned by
// config_get stays valid until config_reset: a value that config_set replaces (a key
// set again, a folder key dropped) is retired, not freed. Keys are set a handful of
// times in a run, and setting a key to the text it already holds retires nothing. A run
// that ends without config_reset frees the retired values as the program ends, when no
// caller can hold one any more: the program's exit waits for its workers, and ends
// without destroying anything while one is left.
#include "core/config.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/config_state.h"
#include "core/core_classes.h"
#include "core/index.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "platform/sys/sysinfo.h"

namespace {

// Characters of a line that take part in a lookup; the rest of a longer line is
// dropped, never read as a line of its own.
constexpr size_t kMaxLine = 497;

// The key of a strpair record follows its id and class words.
constexpr int kStrpairKeyOffset = sizeof(obj_t);
static_assert(sizeof(strpair_t) == sizeof(obj_t) + 2 * sizeof(char*));

container_t* g_cache = nullptr;  // index of strpair by key
char* g_program_name = nullptr;  // null: "tarmelo"
char* g_program_dir = nullptr;   // null: the executable's folder
char* g_system_dir = nullptr;

// Values computed on first use. -1 (or 0 for the ceiling, null for texts): unknown.
std::atomic<double> g_maxmem{0};
std::atomic<int64_t> g_back_color{-1};
std::atomic<int> g_log_error{-1};
std::atomic<int> g_monothread{-1};
std::atomic<const char*> g_lang{nullptr};
char* g_http = nullptr;
std::atomic<bool> g_embedded{false};

// Values replaced by config_set, kept until config_reset or the end of the run (see
// above). The list itself is never destroyed, so that a value retired while the
// program's static objects are destroyed still finds it.
std::vector<char*>& retired() {
  static auto* const list = new std::vector<char*>;
  return *list;
}

void free_retired() {
  for (char*& value : retired()) free_mem(&value);
  retired().clear();
}

strpair_t* find_entry(const char* key) {
  if (!g_cache) return nullptr;
  strpair_t* entry = nullptr;
  return index_get(g_cache, key, &entry);
}

// The cache is often first reached from an error path (the trace log asks for
// "LOGERROR"), where index creation leaves a plain list while an error is pending: the
// key fields are then filled here, so the cache is always an index.
void create_cache() {
  index_create(CLS_STRPAIR, AT_STRING, kStrpairKeyOffset, &g_cache);
  if (!g_cache || g_cache->key_type == AT_STRING) return;
  g_cache->elem_class = CLS_STRPAIR;
  g_cache->key_type = AT_STRING;
  g_cache->key_offset = kStrpairKeyOffset;
}

// The entry of a key, created (key copied, value null) when missing.
strpair_t* entry_for(const char* key) {
  if (strpair_t* found = find_entry(key)) return found;
  if (!g_cache) create_cache();
  if (!g_cache) return nullptr;
  obj_t* created = nullptr;
  index_add_new(g_cache, &created, key);
  return static_cast<strpair_t*>(created);
}

// Reads one line (ended by LF, CR, CR LF or LF CR) into buf, keeping at most kMaxLine
// characters. Returns false at the end of the file when nothing was left to read.
bool read_line(std::FILE* file, char (&buf)[kMaxLine + 1]) {
  size_t n = 0;
  bool any = false;
  int c;
  while ((c = std::fgetc(file)) != EOF) {
    any = true;
    if (c == '\n' || c == '\r') {
      const int pair = c == '\n' ? '\r' : '\n';
      const int next = std::fgetc(file);
      if (next != pair && next != EOF) std::ungetc(next, file);
      break;
    }
    if (n < kMaxLine) buf[n++] = static_cast<char>(c);
  }
  buf[n] = '\0';
  return any;
}

// The value of the key when the line sets it: the line begins with the whole key,
// followed by a blank, a tab or the end of the line; the value starts past the blanks
// and tabs. Null when the line is about another key.
const char* match_key(const char* line, const char* key, size_t key_len) {
  if (std::strncmp(line, key, key_len) != 0) return nullptr;
  const char after = line[key_len];
  if (after != '\0' && after != ' ' && after != '\t') return nullptr;
  const char* value = line + key_len;
  while (*value == ' ' || *value == '\t') ++value;
  return value;
}

// The file named by "CONFIG_FILE" (fixed by config_locate before any key is read): a
// relative path is taken from the system folder. Read from the cache directly, so that
// a cache that cannot hold entries (no object store yet) means "no file", never a loop.
std::string config_file_path() {
  const strpair_t* entry = find_entry("CONFIG_FILE");
  const char* name = entry ? entry->value : nullptr;
  if (!name || !*name) return std::string();
  if (path_is_absolute(name)) return name;
  return std::string(get_system_dir()) + name;
}

// Owned value of the key from the configuration file, or null when the file cannot be
// opened or holds no line for the key.
char* read_key_from_file(const char* key) {
  const std::string path = config_file_path();
  if (path.empty()) return nullptr;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  char line[kMaxLine + 1];
  char* value = nullptr;
  const size_t key_len = std::strlen(key);
  while (read_line(file, line)) {
    if (const char* found = match_key(line, key, key_len)) {
      str_set(found, &value);
      break;
    }
  }
  std::fclose(file);
  return value;
}

// A flag that is on when the key is present with any value, even empty; read once into
// `known` (-1 until then). Computed under the lock so that config_reset is never undone
// by a reader that started before it.
bool key_present_once(std::atomic<int>& known, const char* key) {
  int flag = known.load();
  if (flag < 0) {
    std::lock_guard<std::recursive_mutex> guard(config_detail::lock());
    flag = known.load();
    if (flag < 0) {
      flag = config_get(key) ? 1 : 0;
      known.store(flag);
    }
  }
  return flag == 1;
}

// Integer part of x, kept inside the int range.
int truncate_to_int(double x) {
  if (!(x == x)) return 0;
  if (x >= double(INT_MAX)) return INT_MAX;
  if (x <= double(INT_MIN)) return INT_MIN;
  return static_cast<int>(x);
}

// Colour component: a decimal integer, skipping leading blanks; false when none.
bool read_component(const char** cursor, long* out) {
  char* end = nullptr;
  const long v = std::strtol(*cursor, &end, 10);
  if (end == *cursor) return false;
  *out = v;
  *cursor = end;
  return true;
}

std::string join(const char* a, const char* b) { return std::string(a ? a : "") + (b ? b : ""); }

}  // namespace

// ---- Shared state ------------------------------------------------------------------

namespace config_detail {

std::recursive_mutex& lock() {
  static std::recursive_mutex mutex;
  return mutex;
}

bool is_cached(const char* key) {
  std::lock_guard<std::recursive_mutex> guard(lock());
  return key && find_entry(key) != nullptr;
}

void forget_maxmem() { g_maxmem.store(0); }

}  // namespace config_detail

namespace {

// Frees the retired values at the end of the run (see the top of this file).
struct retired_at_exit {
  ~retired_at_exit() {
    std::lock_guard<std::recursive_mutex> guard(config_detail::lock());
    free_retired();
  }
} g_retired_at_exit;

}  // namespace

using config_detail::lock;
using guard_t = std::lock_guard<std::recursive_mutex>;

// ---- Program identity --------------------------------------------------------------

void set_program_name(const char* name) {
  guard_t guard(lock());
  if (name && *name)
    str_set(name, &g_program_name);
  else
    free_mem(&g_program_name);
}

const char* get_program_name() {
  guard_t guard(lock());
  return g_program_name ? g_program_name : "tarmelo";
}

void set_program_dir(const char* path) {
  guard_t guard(lock());
  free_mem(&g_system_dir);
  if (!path || !*path) {
    free_mem(&g_program_dir);
    return;
  }
  str_set(path, &g_program_dir);
  if (!path_ends_with_sep(path)) str_cat("/", &g_program_dir);
}

const char* get_program_dir() {
  guard_t guard(lock());
  if (!g_program_dir) str_set(plat::program_dir().c_str(), &g_program_dir);
  return g_program_dir;
}

const char* get_system_dir() {
  guard_t guard(lock());
  if (!g_system_dir) {
    str_set(get_program_dir(), &g_system_dir);
    str_cat("system/", &g_system_dir);
  }
  return g_system_dir;
}

// ---- Cache and lookup --------------------------------------------------------------

void config_set(const char* key, const char* value) {
  if (!key) return;
  guard_t guard(lock());
  strpair_t* entry = entry_for(key);
  if (!entry) return;
  char* old = entry->value;
  if (old == value || (old && value && std::strcmp(old, value) == 0)) return;
  char* copy = nullptr;
  if (value) str_set(value, &copy);
  entry->value = copy;
  if (old) retired().push_back(old);
}

const char* config_get(const char* key) {
  if (!key || !*key) return nullptr;
  guard_t guard(lock());
  if (strpair_t* entry = find_entry(key)) return entry->value;
  config_locate();
  if (strpair_t* entry = find_entry(key)) return entry->value;  // "CONFIG_FILE" itself
  char* value = read_key_from_file(key);
  strpair_t* entry = entry_for(key);
  if (!entry) {
    free_mem(&value);
    return nullptr;
  }
  free_mem(&entry->value);
  entry->value = value;
  return entry->value;
}

int config_get_number(const char* key) {
  guard_t guard(lock());
  const char* value = config_get(key);
  if (!value || !*value) return 0;
  double number = 0;
  parse_number(value, &number);
  return truncate_to_int(number + 0.1);
}

char* config_dump() {
  guard_t guard(lock());
  char* text = nullptr;
  str_set("", &text);
  const int n = obj_list_count(g_cache);
  for (int i = 0; i < n; ++i) {
    strpair_t* entry = nullptr;
    obj_list_get(g_cache, i, &entry);
    if (!entry || !entry->value || !*entry->value) continue;
    str_cat(entry->key, &text);
    str_cat("\n", &text);
    str_cat(entry->value, &text);
    str_cat("\n", &text);
  }
  return text;
}

// Fixes "CONFIG_FILE" once: P/X.cfg, then U/X.cfg, then P/X_allusers.cfg, where P is
// the program folder, U the user's application folder and X the program name. The
// example file of the program folder is first copied to U when U has none, so that the
// user finds one to edit.
void config_locate() {
  guard_t guard(lock());
  if (find_entry("CONFIG_FILE")) return;
  const std::string program = get_program_dir();
  const char* user = get_user_app_dir();
  const std::string name = get_program_name();
  if (user && *user) {
    const std::string user_example = join(user, (name + "_exemple.cfg").c_str());
    const std::string program_example = program + name + "_exemple.cfg";
    if (!file_exists(user_example.c_str()) && file_exists(program_example.c_str()))
      file_copy(program_example.c_str(), user_example.c_str());
  }
  std::string candidates[3] = {program + name + ".cfg",
                               user && *user ? join(user, (name + ".cfg").c_str()) : "",
                               program + name + "_allusers.cfg"};
  const char* found = "";
  for (const std::string& candidate : candidates) {
    if (!candidate.empty() && file_exists(candidate.c_str())) {
      found = candidate.c_str();
      break;
    }
  }
  config_set("CONFIG_FILE", found);
}

void config_reset() {
  guard_t guard(lock());
  const int n = obj_list_count(g_cache);
  for (int i = 0; i < n; ++i) {
    obj_t* entry = nullptr;
    obj_list_get(g_cache, i, &entry);
    free_obj(&entry);
  }
  obj_t* cache = reinterpret_cast<obj_t*>(g_cache);
  free_obj(&cache);
  g_cache = nullptr;
  g_maxmem.store(0);
  g_back_color.store(-1);
  g_log_error.store(-1);
  g_monothread.store(-1);
  g_lang.store(nullptr);
  free_mem(&g_http);
  free_retired();
  g_embedded.store(false);
  config_detail::forget_dirs();
}

// ---- Getters -----------------------------------------------------------------------

// Megabytes = integer part of (value + 0.1); absent, empty or 0 gives 1500, and the
// result is kept between 100 and 1500.
double config_maxmem() {
  const double known = g_maxmem.load();
  if (known > 0) return known;
  guard_t guard(lock());
  int megabytes = config_get_number("MAXMEM");
  if (megabytes == 0 || megabytes > 1500) megabytes = 1500;
  if (megabytes < 100) megabytes = 100;
  const double bytes = double(megabytes) * 1048576.0;
  g_maxmem.store(bytes);
  return bytes;
}

// "red green blue" in decimal; a missing component keeps its default of 200. Each
// component is taken modulo 256 so that one never spills into its neighbour.
uint32_t config_back_color() {
  const int64_t known = g_back_color.load();
  if (known >= 0) return static_cast<uint32_t>(known);
  guard_t guard(lock());
  long rgb[3] = {200, 200, 200};
  if (const char* cursor = config_get("BACK_COLOR_RGB")) {
    for (long& component : rgb)
      if (!read_component(&cursor, &component)) break;
  }
  const uint32_t color = (uint32_t(rgb[0]) & 0xFF) | ((uint32_t(rgb[1]) & 0xFF) << 8) |
                         ((uint32_t(rgb[2]) & 0xFF) << 16);
  g_back_color.store(color);
  return color;
}

bool config_log_error() { return key_present_once(g_log_error, "LOGERROR"); }

bool config_monothread() { return key_present_once(g_monothread, "MONOTHREAD"); }

const char* config_lang() {
  if (const char* known = g_lang.load()) return known;
  guard_t guard(lock());
  const char* value = config_get("LANG");
  const char* lang;
  if (value && std::strcmp(value, "FRANCAIS") == 0)
    lang = "FR";
  else if (value && std::strcmp(value, "ENGLISH") == 0)
    lang = "EN";
  else {
    const char* user = get_user_lang();
    lang = user && std::strcmp(user, "FR") == 0 ? "FR" : "EN";
  }
  g_lang.store(lang);
  return lang;
}

int is_french() { return std::strcmp(config_lang(), "FR") == 0 ? 1 : 0; }

// "1": direct access (no key); "2 " + what follows "PROXY" from its first blank on:
// through the proxy named there; "0": any other value.
const char* config_http() {
  guard_t guard(lock());
  if (g_http) return g_http;
  const char* value = config_get("HTTP");
  if (!value) {
    str_set("1", &g_http);
  } else if (std::strncmp(value, "PROXY", 5) == 0) {
    const char* rest = std::strchr(value + 5, ' ');
    str_set("2 ", &g_http);
    str_cat(rest ? rest : "", &g_http);
  } else {
    str_set("0", &g_http);
  }
  return g_http;
}

// ---- Embedded mode -----------------------------------------------------------------

bool is_embedded() { return g_embedded.load(); }
void set_embedded(bool on) { g_embedded.store(on); }
