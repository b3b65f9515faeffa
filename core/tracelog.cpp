// The trace log: dated entries appended to "zz_<tag>.log" in the log folder when the
// configuration holds "LOGERROR".
//
// Each write opens the file for appending, writes and closes it, so that entries
// survive a crash and several programs may write in turn. Within this process the
// writes are serialised by one mutex, and an entry (separator and text) is written
// under it through one opening, so entries of two threads never mix. The
// configuration is consulted before that mutex is taken: the configuration lock may
// be held while logging, never the other way round.
#include "core/tracelog.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "core/config.h"
#include "core/dates.h"
#include "core/memory.h"

namespace {

std::mutex g_log_mutex;
char* g_log_path = nullptr;  // under g_log_mutex
std::string g_log_tag;       // under g_log_mutex: the tag log_init was given
bool g_log_started = false;  // under g_log_mutex

const char kDashes[] = "------------------------------";  // 30

// What an entry is made of: an optional dated separator line, the caller's text, an
// optional newline.
struct entry {
  bool separator;
  const char* text;
  bool newline;
};

// Appends the entry in one open-append-close; silent on every failure. The pieces are
// written one after another under the mutex rather than joined first: a text may be
// large, and logging must neither copy it nor allocate at all when it is switched off.
void append(const entry& e) {
  if (!config_log_error()) return;
  char date[64] = "";
  if (e.separator) format_date_compact(date_now(), date, sizeof date);
  std::lock_guard<std::mutex> guard(g_log_mutex);
  if (!g_log_path) return;
  std::FILE* file = std::fopen(g_log_path, "ab");
  if (!file) return;
  if (e.separator) std::fprintf(file, "%s%s%s\n", kDashes, date, kDashes);
  if (e.text) std::fputs(e.text, file);
  if (e.newline) std::fputc('\n', file);
  std::fclose(file);
}

}  // namespace

void log_init(const char* tag) {
  const char* embedded = config_get("EMBEDDED");
  if (embedded && std::strcmp(embedded, "TRUE") == 0) set_embedded(true);
  const char* folder = get_log_dir();
  std::string path;
  if (folder && *folder) path = std::string(folder) + "zz_" + (tag ? tag : "") + ".log";
  std::lock_guard<std::mutex> guard(g_log_mutex);
  g_log_tag = tag ? tag : "";
  g_log_started = true;
  if (path.empty())
    free_mem(&g_log_path);
  else
    str_set(path.c_str(), &g_log_path);
}

void log_follow_folder() {
  std::string tag;
  {
    std::lock_guard<std::mutex> guard(g_log_mutex);
    if (!g_log_started) return;
    tag = g_log_tag;
  }
  log_init(tag.c_str());
}

// The pointer stays valid until the next log_init or change of folder.
const char* log_path() {
  std::lock_guard<std::mutex> guard(g_log_mutex);
  return g_log_path;
}

void log_write_separator() { append({true, nullptr, false}); }

void log_line(const char* text) { append({false, text, true}); }

void log_text(const char* text) { append({false, text, false}); }

void log_error_line(const char* text) { append({true, text, true}); }
