// The rounds of a download (see http.h): the access setting, the server and port, the
// hosts to avoid, a fresh connection per round, redirections and failed answers, and
// the error report at the end. The hook table of the layers above lives here too.
//
// Failures are kept under the web host's name (its port dropped) for answers, and under
// the server's name for connections that could not be made: through a proxy, a site
// that answers 404 forty times stops downloads from that site, not through the proxy.
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/http.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/socket.h"
#include "core/tracelog.h"

namespace {

constexpr int kFileTypeUnidentified = 7;
constexpr int kFileTypeUnreadable = 125;

void busy_nothing(const char*, int) {}
void rename_nothing(obj_t*, const char*) {}
void adopt_nothing(obj_t*, obj_t*) {}
double default_budget() { return compute_mem_budget(); }
const char* default_version() { return "1.0"; }
void filter_nothing(obj_t*, container_t*) {}

const http_hooks kDefaults = {busy_nothing, rename_nothing, adopt_nothing, default_budget,
                              default_version, filter_nothing};
http_hooks g_hooks = kDefaults;

struct round_target : http_route_t {
  std::string name;  // the web host without its port: failures are counted here
};

// Fills the target of a round; false when there is no download to make. A direct
// address whose host cannot be reached (too long, an unreadable port) leaves no host.
bool plan_round(const char* url, round_target* t) {
  if (!http_route(url, t)) return false;
  t->name = t->host.substr(0, t->host.find(':'));
  if (!t->proxy && (t->server.empty() || t->port < 1)) t->host.clear();
  return true;
}

bool avoided(const round_target& t) {
  return http_host_avoided(t.server.c_str()) || http_host_avoided(t.name.c_str());
}

socket_t* connect_to(const round_target& t) {
  socket_t* s = nullptr;
  socket_create(t.server.c_str(), t.port, SOCK_TCP, &s);
  if (s && socket_connect(s) == 0 && socket_handle(s) != 0) return s;
  if (s) free_obj(&s);
  http_avoid_host(t.server.c_str());
  return nullptr;
}

// Closes and frees the round's socket even when the answer left an error pending (the
// store frees nothing then); the error is kept for the report at the end.
void release_socket(socket_t** s) {
  socket_close(*s);
  const int err = get_gblerr();
  set_gblerr(0);
  free_obj(s);
  set_gblerr(err);
}

// One round; false when the rounds must stop.
bool run_round(obj_t* file, obj_t* list, char** url, int early) {
  round_target t;
  if (!plan_round(*url, &t)) {
    free_mem(url);
    return false;
  }
  if (t.host.empty()) {
    set_gblerr(ERR_HTTP);  // not an "http://" address
    return false;
  }
  if (avoided(t)) return false;
  set_gblerr(0);
  socket_t* s = connect_to(t);
  if (!s) return false;
  const int result = http_request(s, t.proxy, t.host.c_str(), file, list, url, early);
  if (result == 1) {
    char* name = nullptr;
    url_unescape_space_copy(*url, &name);
    g_hooks.rename(file, name);
    free_mem(&name);
  }
  release_socket(&s);
  if (result == -1) http_count_failure(t.name.c_str());
  return true;
}

}  // namespace

bool http_route(const char* url, http_route_t* out) {
  char* host = nullptr;
  url_host(url, &host);
  out->host = host ? host : "";
  free_mem(&host);
  http_access_t access{};
  if (http_read_access(config_http(), &access) != 0) return false;
  out->proxy = access.proxy;
  if (access.proxy) {
    out->server = access.server;
    out->port = access.port;
    return true;
  }
  char buffer[sizeof access.server] = {};
  if (out->host.empty() || out->host.size() >= sizeof buffer) return true;
  out->host.copy(buffer, out->host.size());
  out->port = http_split_port(buffer);
  out->server = buffer;
  return true;
}

namespace {

void report_error(const char* url) {
  set_gblerr(0);
  const std::string line =
      std::string(is_french() ? "Erreur de chargement http " : "Error http loading ") + url;
  log_line(line.c_str());
  g_hooks.busy("HTTPERROR internal error", 1);
}

}  // namespace

void http_hooks_install(const http_hooks* hooks) {
  if (!hooks) {
    g_hooks = kDefaults;
    return;
  }
  if (hooks->busy) g_hooks.busy = hooks->busy;
  if (hooks->rename) g_hooks.rename = hooks->rename;
  if (hooks->adopt_link) g_hooks.adopt_link = hooks->adopt_link;
  if (hooks->body_budget) g_hooks.body_budget = hooks->body_budget;
  if (hooks->program_version) g_hooks.program_version = hooks->program_version;
  if (hooks->filter_links) g_hooks.filter_links = hooks->filter_links;
}

const http_hooks& get_http_hooks() { return g_hooks; }

int http_get(obj_t* file, obj_t* list, int early_identification) {
  if (!file || file_store_of(file)) return 0;
  const std::string original = file_name_of(file);
  char* url = nullptr;
  str_set(original.c_str(), &url);
  for (int round = 0; round < kHttpRounds && url; ++round)
    if (!run_round(file, list, &url, early_identification)) break;
  free_mem(&url);
  if (file_get(file, FF_TYPE) == kFileTypeUnidentified) file_set(file, FF_TYPE, kFileTypeUnreadable);
  if (get_gblerr() == 0) return 0;
  report_error(original.c_str());
  return ERR_HTTP;
}
