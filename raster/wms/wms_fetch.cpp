// Addresses and answers of the WMS client: the completion of a service address into a
// GetCapabilities request, the fetch of one address into memory, and the capabilities
// entry point that joins them.
//
// A fetch is one plain HTTP/1.0 GET, direct or through the proxy the configuration
// names (the core HTTP client's address and answer routines), following at most
// kHttpRounds redirections. Every wait is bounded on the platform clock: each receive
// by kWmsReceiveSeconds, the whole answer by kWmsAnswerSeconds, and the body by
// kWmsMaxAnswer bytes, so a silent or trickling server costs a bounded time.
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/http.h"
#include "core/memory.h"
#include "core/socket.h"
#include "core/strutil.h"
#include "platform/net/net.h"
#include "platform/sys/clock.h"
#include "raster/wms/wms_internal.h"

namespace {

// Where the GET goes; false when there is nowhere to connect.
bool plan(const char* url, http_route_t* t) {
  return http_route(url, t) && !t->server.empty() && (t->proxy || t->port >= 1);
}

struct answer {
  http_failure_t failure;  // why no answer could be had
  std::string header;
  bool header_done = false;
  int status = 0;
  int64_t length = -1;
  char* redirect = nullptr;  // owned: the next address
  std::string body;
};

// Why the last fetch of this thread failed, in the user's language ("" after a success).
thread_local std::string t_fetch_error;

// Why a connection could not be made: the socket's creation or connection result.
int connect_failure(int connect_result) {
  if (connect_result == int(plat::kNetTimedOut)) return HTTP_FAILED_TIMEOUT;
  if (connect_result == -111) return HTTP_FAILED_REFUSED;  // ECONNREFUSED
  return HTTP_FAILED_CONNECT;
}

// One GET; 0 when an answer came (its status in a->status), -1 when none could be had
// (why in a->failure).
int get_once(const char* url, answer* a) {
  http_route_t t;
  if (!plan(url, &t)) {
    a->failure.kind = HTTP_FAILED_ADDRESS;
    return -1;
  }
  a->failure.server = t.server;
  a->failure.port = t.port;
  socket_t* s = nullptr;
  socket_create(t.server.c_str(), t.port, SOCK_TCP, &s);
  if (!s) {
    a->failure.kind = socket_create_failure() == SOCKET_HOST_UNKNOWN ? HTTP_FAILED_RESOLVE : HTTP_FAILED_CONNECT;
    return -1;
  }
  const int connected = socket_connect(s);
  if (connected != 0 || socket_handle(s) == 0) {
    a->failure.kind = connect_failure(connected);
    free_obj(&s);
    return -1;
  }
  char* path = nullptr;
  url_request_target(url, t.proxy, &path);
  const std::string request = std::string("GET ") + (path ? path : "/") +
                              " HTTP/1.0\r\nHost: " + t.host + "\r\n\r\n";
  free_mem(&path);
  int rc = -1;
  a->failure.kind = HTTP_FAILED_LOST;
  if (socket_send(s, request.data(), int(request.size())) == int(request.size())) {
    const int64_t deadline = plat::now_ms() + int64_t(kWmsAnswerSeconds) * 1000;
    char chunk[kHttpChunk];
    bool failed = false;
    a->failure.kind = HTTP_FAILED_ANSWER;
    for (;;) {
      if (plat::now_ms() >= deadline) {
        a->failure.kind = HTTP_FAILED_TIMEOUT;
        failed = true;
        break;
      }
      int want = kHttpChunk;
      if (a->header_done && a->length >= 0) {
        const int64_t missing = a->length - int64_t(a->body.size());
        if (missing <= 0) break;
        if (missing < want) want = int(missing);
      }
      const int n = socket_recv(s, chunk, want, kWmsReceiveSeconds);
      if (n < 0) {
        // -1: nothing came within the wait; below: the receive failed.
        a->failure.kind = n == -1 ? HTTP_FAILED_TIMEOUT : HTTP_FAILED_LOST;
        failed = true;
      }
      if (n <= 0) break;
      if (!a->header_done) {
        const size_t before = a->header.size();
        a->header.append(chunk, size_t(n));
        const size_t end =
            http_header_end(a->header.data(), a->header.size(), before < 3 ? 0 : before - 3);
        if (end == 0) {
          if (a->header.size() > kHttpMaxHeader) {
            failed = true;
            break;
          }
          continue;
        }
        http_response_t r{};
        http_parse_response(a->header.data(), end, &r);
        a->status = r.status;
        a->length = r.content_length;
        if (http_is_redirect(r.status) && r.location) url_resolve_location(url, r.location, &a->redirect);
        http_response_free(&r);
        a->header_done = true;
        if (a->length > int64_t(kWmsMaxAnswer)) {
          failed = true;
          break;
        }
        a->body.assign(a->header, end, std::string::npos);
      } else {
        a->body.append(chunk, size_t(n));
      }
      if (a->body.size() > kWmsMaxAnswer) {
        failed = true;
        break;
      }
    }
    if (a->header_done && a->length >= 0 && int64_t(a->body.size()) < a->length) failed = true;
    if (a->header_done && a->length >= 0 && int64_t(a->body.size()) > a->length)
      a->body.resize(size_t(a->length));
    if (!failed && a->header_done) {
      rc = 0;
      a->failure.kind = HTTP_FAILED_NONE;
    }
  }
  free_obj(&s);
  return rc;
}

bool starts_with_http(const char* s) { return s && std::strncmp(s, "http://", 7) == 0; }

}  // namespace

int wms_fetch(const char* url, char** body, size_t* size, int* status) {
  if (body) free_mem(body);
  if (size) *size = 0;
  if (status) *status = 0;
  t_fetch_error.clear();
  if (!starts_with_http(url)) return set_gblerr(ERR_HTTP);
  char* current = nullptr;
  str_set(url, &current);
  int result = ERR_HTTP;
  http_failure_t failure;
  for (int round = 0; round < kHttpRounds; ++round) {
    answer a;
    const int rc = get_once(current, &a);
    if (status) *status = a.status;
    failure = a.failure;
    if (rc == 0 && a.redirect && http_is_redirect(a.status)) {
      free_mem(&current);
      current = a.redirect;
      failure.kind = HTTP_FAILED_REDIRECTS;  // unless a later round ends otherwise
      continue;
    }
    free_mem(&a.redirect);
    if (rc == 0 && a.status != 200) {
      failure.kind = HTTP_FAILED_STATUS;
      failure.status = a.status;
    }
    if (rc == 0 && a.status == 200) {
      if (body) {
        alloc_mem(body, a.body.size() + 1);
        char* b = owner_get(body);
        if (!a.body.empty()) std::memcpy(b, a.body.data(), a.body.size());
        b[a.body.size()] = 0;
      }
      if (size) *size = a.body.size();
      result = 0;
    }
    break;
  }
  free_mem(&current);
  if (result != 0) {
    t_fetch_error = http_failure_text(failure, is_french() == 1);
    set_gblerr(ERR_HTTP);
  }
  return result;
}

const char* wms_last_fetch_error() { return t_fetch_error.c_str(); }

char* wms_complete_address(const char* address, char** owner) {
  if (owner) free_mem(owner);
  // Blanks around a typed address are not part of it.
  std::string a = address ? address : "";
  while (!a.empty() && is_ascii_space(a.front())) a.erase(a.begin());
  while (!a.empty() && is_ascii_space(a.back())) a.pop_back();
  if (!starts_with_http(a.c_str())) {
    set_gblerr(ERR_OBJECT);
    return nullptr;
  }
  const size_t q = a.find('?');
  if (q == std::string::npos) {
    a += "?";
    a += kWmsCapabilitiesRequest;
  } else if (q + 1 == a.size()) {
    a += kWmsCapabilitiesRequest;
  } else if (!str_find_ci(a.c_str() + q + 1, "request=getcapabilities")) {
    if (a.back() != '&') a += "&";
    a += kWmsCapabilitiesRequest;
  }
  char* out = nullptr;
  str_set(a.c_str(), &out);
  if (owner) owner_put(owner, out);
  return out;
}

int wms_get_capabilities(const char* address, container_t* list, wms_service_t** out) {
  if (out) *out = nullptr;
  set_gblerr(0);
  t_fetch_error.clear();
  char* url = nullptr;
  if (!wms_complete_address(address, &url)) return 0;  // gblerr 10
  wms_answer a;
  if (wms_fetch_owned(&url, &a) != 0) {
    set_gblerr(ERR_OBJECT);  // nothing was fetched
    return 0;
  }
  const int result = wms_read_capabilities(a.body, a.size, list, out);
  free_mem(&a.body);
  return result;
}

int wms_fetch_owned(char** url, wms_answer* a) {
  const int rc = wms_fetch(*url, &a->body, &a->size, &a->status);
  free_mem(url);
  if (rc != 0) free_mem(&a->body);
  return rc;
}
