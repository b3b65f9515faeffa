// Failed answers counted per host (see http.h). A host that could not be reached, or
// that gave kHttpMaxFailures failed answers, is avoided for the rest of the run, so a
// page that links many files on a dead server does not wait for each of them.
//
// Downloads run on whichever thread loads a file, so the table is under a mutex.
#include <map>
#include <mutex>
#include <string>

#include "core/http.h"

namespace {

constexpr int kAvoided = -1;

std::mutex g_mutex;
std::map<std::string, int> g_failures;  // server name to failed answers, or kAvoided

}  // namespace

void http_count_failure(const char* server) {
  if (!server) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  int& count = g_failures[server];
  if (count == kAvoided) return;
  count = count < kHttpMaxFailures ? count + 1 : kAvoided;
}

void http_avoid_host(const char* server) {
  if (!server) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_failures[server] = kAvoided;
}

int http_host_avoided(const char* server) {
  return http_failure_count(server) == kAvoided ? 1 : 0;
}

int http_failure_count(const char* server) {
  if (!server) return 0;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_failures.find(server);
  return it == g_failures.end() ? 0 : it->second;
}

void http_failures_reset() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_failures.clear();
}
