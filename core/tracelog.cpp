// The trace log: dated entries appended to "zz_<tag>.log" in the log folder when the
// configuration holds "LOGERROR".
//
// Each write opens the file for appending, writes and closes it, so that entries
// survive a crash and several programs may write in turn. Within this process the
// writes are serialised by one mutex, and an entry (separator and text) is written in
// one piece, so entries of two threads never mix. The configuration is consulted
// before that mutex is taken: the configuration lock may be held while logging, never
// the other way round.
#include "core/tracelog.h"

#include <cstdio>
#include <mutex>
#include <string>

#include "core/config.h"
#include "core/dates.h"
#include "core/memory.h"

namespace {

std::mutex g_log_mutex;
char* g_log_path = nullptr;  // under g_log_mutex

const char kDashes[] = "------------------------------";  // 30

std::string separator_line() {
  char date[64];
  format_date_compact(date_now(), date, sizeof date);
  return std::string(kDashes) + date + kDashes + "\n";
}

// Appends the text to the log in one open-append-close; silent on every failure.
void append(const std::string& text) {
  if (!config_log_error()) return;
  std::lock_guard<std::mutex> guard(g_log_mutex);
  if (!g_log_path) return;
  std::FILE* file = std::fopen(g_log_path, "ab");
  if (!file) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

}  // namespace

void log_init(const char* tag) {
  const char* embedded = config_get("EMBEDDED");
  if (embedded && std::string(embedded) == "TRUE") set_embedded(true);
  const char* folder = get_log_dir();
  std::string path;
  if (folder && *folder) path = std::string(folder) + "zz_" + (tag ? tag : "") + ".log";
  std::lock_guard<std::mutex> guard(g_log_mutex);
  if (path.empty())
    free_mem(&g_log_path);
  else
    str_set(path.c_str(), &g_log_path);
}

// The pointer stays valid until the next log_init.
const char* log_path() {
  std::lock_guard<std::mutex> guard(g_log_mutex);
  return g_log_path;
}

void log_write_separator() {
  if (config_log_error()) append(separator_line());
}

void log_line(const char* text) { append(std::string(text ? text : "") + "\n"); }

void log_text(const char* text) { append(text ? text : ""); }

void log_error_line(const char* text) {
  if (!config_log_error()) return;
  append(separator_line() + (text ? text : "") + "\n");
}
