// One GET on a connected socket (see http.h): the request text, the receive loop that
// gathers the header and streams the body into the file object's line store, and the
// checks at the end (a receive error, a body shorter than announced).
//
// The body never exceeds the memory budget: an announced length beyond it, or a body
// that grows beyond it, stops the transfer with gblerr 1 and drops what was received,
// instead of letting the line store grow until the process dies.
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/http.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/reader.h"
#include "core/socket.h"
#include "platform/sys/clock.h"

namespace {

constexpr int64_t kEarlyIdentifyBytes = 4096;
constexpr int kFileTypeUnidentified = 7;
constexpr int kFileTypeUnreadable = 125;

struct transfer {
  socket_t* sock = nullptr;
  obj_t* file = nullptr;
  obj_t* list = nullptr;
  const char* host = "";
  int early = 0;
  std::string header;
  bool header_done = false;
  int64_t length = -1;  // announced body length, -1 unknown
  int64_t body = 0;     // body bytes stored
  double budget = 0;    // bytes the body may take
  bool receive_error = false;
};

void busy(const std::string& text, int error) {
  if (auto fn = get_http_hooks().busy) fn(text.c_str(), error);
}

std::string agent() {
  const char* navig = config_get("WEBNAVIG");
  if (navig) return "Mozilla/5.0";
  const char* version = get_http_hooks().program_version ? get_http_hooks().program_version() : "";
  return std::string(get_program_name()) + "/" + (version ? version : "");
}

std::string request_text(const char* url, int proxy, const char* host) {
  char* target = nullptr;
  url_request_target(url, proxy, &target);
  std::string text = std::string("GET ") + target + " HTTP/1.0\r\nHost: " + host +
                     "\r\nUser-agent: " + agent() + "\r\n\r\n";
  free_mem(&target);
  return text;
}

// A fresh in-memory content of type 7 for the answer.
void new_content(obj_t* file) {
  rd_close_file(file);
  filemobj_t* store = nullptr;
  filemobj_create(file, file, 0, 32768, 0, &store);
  get_file_ops().set_store(file, reinterpret_cast<obj_t*>(store));
  file_set(file, FF_TYPE, kFileTypeUnidentified);
  file_set(file, FF_SIZE, 0);
  file_set(file, FF_START, 0);
}

// The store frees nothing while an error is pending, and a body dropped for the budget
// is dropped under one: the error is held aside so that the content is really freed.
void drop_content(obj_t* file) {
  const int err = get_gblerr();
  set_gblerr(0);
  rd_close_file(file);
  get_file_ops().set_store(file, nullptr);
  file_set(file, FF_SIZE, 0);
  set_gblerr(err);
}

// Appends body bytes within the budget; false (gblerr 1, content dropped) beyond it.
bool store_body(transfer* t, const char* bytes, size_t n) {
  if (t->length >= 0 && int64_t(n) > t->length - t->body) n = size_t(t->length - t->body);
  if (n == 0) return true;
  if (double(t->body) + double(n) > t->budget) {
    set_gblerr(ERR_MEMORY);
    drop_content(t->file);
    return false;
  }
  if (filemobj_owner_append(t->file, bytes, int64_t(n)) != 0) {
    if (get_gblerr() == 0) set_gblerr(ERR_MEMORY);
    drop_content(t->file);
    return false;
  }
  t->body += int64_t(n);
  return true;
}

// Header bytes of one chunk. Returns 0 to go on, else the result of http_request.
int take_header(transfer* t, const char* chunk, size_t n, char** url) {
  const size_t before = t->header.size();
  t->header.append(chunk, n);
  const size_t end = http_header_end(t->header.data(), t->header.size(), before < 3 ? 0 : before - 3);
  if (end == 0) {
    if (t->header.size() <= kHttpMaxHeader) return 0;
    busy("HTTPERROR wrong address", 1);  // no header end in sight: not an answer
    return -1;
  }
  http_response_t r{};
  http_parse_response(t->header.data(), end, &r);
  int result = 0;
  if (http_is_redirect(r.status) && r.location) {
    char* next = nullptr;
    url_resolve_location(*url, r.location, &next);
    if (next) {
      free_mem(url);
      *url = next;
      result = 1;
    }
  }
  if (result == 0 && r.status != 200) {
    busy("HTTPERROR wrong address", 1);
    result = -1;
  }
  t->length = r.content_length;
  http_response_free(&r);
  if (result != 0) return result;
  t->header_done = true;
  const auto probe = get_http_hooks().body_budget;
  t->budget = probe ? probe() : compute_mem_budget();
  if (t->length > 0 && double(t->length) > t->budget) {
    set_gblerr(ERR_MEMORY);
    drop_content(t->file);
    return 0;
  }
  store_body(t, t->header.data() + end, t->header.size() - end);
  t->header.clear();
  return 0;
}

void identify_early(transfer* t) {
  if (t->early != 0 || file_get(t->file, FF_TYPE) != kFileTypeUnidentified) return;
  if (file_get(t->file, FF_SIZE) < kEarlyIdentifyBytes) return;
  get_file_ops().identify_and_load(t->file, t->list, 0);
}

// The receive loop: 0 when it ran to its end, else the result of http_request. An
// answer still coming after kHttpAnswerSeconds ends as a receive error.
int receive(transfer* t, char** url) {
  char chunk[kHttpChunk];
  const int64_t deadline = plat::now_ms() + int64_t(kHttpAnswerSeconds) * 1000;
  for (;;) {
    if (plat::now_ms() >= deadline) {
      t->receive_error = true;
      break;
    }
    int want = kHttpChunk;
    if (t->header_done && t->length >= 0) {
      const int64_t missing = t->length - t->body;
      if (missing <= 0) break;
      if (missing < want) want = int(missing);
    }
    const int n = socket_recv(t->sock, chunk, want, kHttpReceiveSeconds);
    if (n < 0) t->receive_error = true;
    if (n <= 0) break;
    busy(std::string("WEB SURF ") + t->host, 0);
    if (!t->header_done) {
      const int result = take_header(t, chunk, size_t(n), url);
      if (result != 0) return result;
    } else if (!store_body(t, chunk, size_t(n))) {
      break;
    }
    if (get_gblerr() != 0) break;
    identify_early(t);
    if (file_get(t->file, FF_TYPE) == kFileTypeUnreadable) break;
  }
  return 0;
}

}  // namespace

int http_request(socket_t* sock, int proxy, const char* host, obj_t* file, obj_t* list,
                 char** url, int early_identification) {
  if (get_gblerr() != 0 || !sock || socket_handle(sock) == 0 || !url || !*url) return 0;
  busy(std::string("WEB ") + host, 0);
  new_content(file);
  const std::string request = request_text(*url, proxy, host);
  transfer t;
  t.sock = sock;
  t.file = file;
  t.list = list;
  t.host = host;
  t.early = early_identification;
  if (socket_send(sock, request.data(), int(request.size())) != int(request.size()))
    t.receive_error = true;
  else if (const int result = receive(&t, url); result != 0)
    return result;
  if (get_gblerr() != 0) {
    drop_content(file);
  } else if (t.receive_error) {
    // The answer did not end cleanly: what came is not known to be whole.
    drop_content(file);
    busy("HTTPERROR on receipt", 1);
  } else if (t.length >= 0 && t.body < t.length) {
    // A transfer cut short is not loaded: its objects would be missing their end.
    drop_content(file);
    busy("HTTPERROR connection loss", 1);
  }
  if (get_gblerr() == 0 && file_get(file, FF_TYPE) == kFileTypeUnidentified)
    get_file_ops().identify_and_load(file, list, early_identification);
  free_mem(url);
  return 0;
}
