// The HTTP/1.0 client: files named by "http://" addresses are filled by a plain GET,
// directly or through the proxy the configuration names, and then identified and
// loaded like local files.
//
// Files: http_url.cpp (address arithmetic: host, target, escapes, the web root, link
// resolution), http_response.cpp (the answer's header: where it ends, status, length,
// location), http_failures.cpp (failed answers counted per host), http_request.cpp
// (one GET on a connected socket), http_get.cpp (the rounds of a download: proxy,
// redirections, failures). The HTML link scanner that follows a page's links is
// html.h.
//
// What belongs to the layers above the core (the busy indicator, re-keying a file
// object under a new name, placing a linked file object under its page) is reached
// through the hook table below; the defaults do nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct obj_t;
struct container_t;
struct socket_t;

constexpr int kHttpChunk = 14390;        // bytes asked of one receive
constexpr int kHttpReceiveSeconds = 5;   // longest wait for one chunk
// Longest time one answer may take: a server that trickles a byte now and then never
// lets a single receive time out, so the whole answer has its own bound.
constexpr int kHttpAnswerSeconds = 600;
constexpr int kHttpRounds = 3;           // redirections and failed answers share them
constexpr int kHttpMaxFailures = 40;     // failed answers before a host is avoided
constexpr size_t kHttpMaxHeader = 65536; // a longer header is a bad answer

// ---- Answers ---------------------------------------------------------------------------

struct http_response_t {
  int status;              // 400 when the status line cannot be read
  int64_t content_length;  // -1 when not announced; INT64_MAX for a length too long to hold
  char* location;          // owned; null unless a redirection names one
};

// Status codes that make the client fetch the Location instead: 301, 302, 303, 307, 308.
bool http_is_redirect(int status);
// Parses a complete header (status line and header lines, up to the blank line; `n`
// bytes, no terminating NUL needed). Header names compare without regard to case;
// every scan stays inside the `n` bytes. Two Content-Length lines that disagree make the
// answer unreadable (status 400). Frees a location left in `out` first.
void http_parse_response(const char* header, size_t n, http_response_t* out);
void http_response_free(http_response_t* r);
// Where "\r\n\r\n" ends in the accumulated header bytes, searching from `from` (the
// terminator may straddle two receives, so the caller passes the length before the last
// chunk less three); 0 when it is not there yet. Binary bytes and NULs are fine.
size_t http_header_end(const char* bytes, size_t n, size_t from);

// ---- Addresses -------------------------------------------------------------------------

// Owned copy with every blank written as "%20".
char* url_escape_spaces(const char* url, char** owner);
// Owned copy with every "%20" written as a blank.
char* url_unescape_space_copy(const char* url, char** owner);
// The web root of a page: with two or more path levels below the host the page's
// folder with its separator; with one the URL itself; a bare host gets "index.htm".
char* url_default_page(const char* url, char** owner);
// The host of an "http://" URL ("host" or "host:port"): the text after the scheme up to
// the first '/'. Owned; "" when the URL has no scheme.
char* url_host(const char* url, char** owner);
// The request target: the whole URL through a proxy, else the path after the host
// ("/" when there is none); blanks written as "%20". Owned.
char* url_request_target(const char* url, int proxy, char** owner);
// Resolves a link found on a page against the page's address: a link with a scheme is
// taken as it is; one beginning with '/' starts at the host's root; any other at the
// page's folder, "./" and "../" applied ("../" never climbs above the host). Owned;
// null for an empty link or a base without scheme and host.
char* url_resolve(const char* base, const char* link, char** owner);
// The absolute URL a Location names, seen from the URL that answered with it (a
// relative Location resolves like a link).
char* url_resolve_location(const char* url, const char* location, char** owner);

// ---- Access settings -------------------------------------------------------------------

struct http_access_t {
  int proxy;        // 0 direct, 1 through a proxy
  char server[256]; // the proxy's name (direct: empty)
  int port;         // the proxy's port
};
// Reads the access text config_http() gives ("1", "2 <server> <port>", "0"). Returns 0
// for direct access or a proxy with a name and a port of at least 1; -1 otherwise (no
// download). The server name is read into a bounded buffer: a longer name is refused.
int http_read_access(const char* text, http_access_t* out);
// Splits "name:port" in place: the name keeps the text before ':', the port the number
// after it; no port or port 0 gives 80. Returns the port.
int http_split_port(char* name);

// Where a GET of an address goes. Through a proxy: the proxy's server and port. Direct:
// the address's own host split into server and port; the server stays empty when the
// address names no host or one too long for a host name, and the port is below 1 when
// it cannot be read. `host` is "name[:port]" as the address gives it (the Host line).
struct http_route_t {
  std::string host;
  std::string server;
  int port = 80;
  int proxy = 0;
};
// Fills *out for `url` under the access setting (config_http()); false when that setting
// cannot be read (no download).
bool http_route(const char* url, http_route_t* out);

// ---- Failures per host -----------------------------------------------------------------

// Counts one failed answer for a server; at the 41st the server is avoided from then on.
void http_count_failure(const char* server);
// Avoids the server for the rest of the run (it could not be reached).
void http_avoid_host(const char* server);
// 1 when downloads from the server are stopped.
int http_host_avoided(const char* server);
// Failed answers counted so far (-1 once avoided, 0 unknown).
int http_failure_count(const char* server);
// Forgets every host (tests).
void http_failures_reset();

// ---- Downloads -------------------------------------------------------------------------

// One GET on a connected socket. Returns 1 when the answer redirects (*url then holds
// the new absolute address), -1 when the status is not 200, else 0 (*url freed).
int http_request(socket_t* sock, int proxy, const char* host, obj_t* file, obj_t* list,
                 char** url, int early_identification);
// Downloads the file object named by its URL and loads it; 0, or ERR_HTTP (19).
int http_get(obj_t* file, obj_t* list, int early_identification);

// ---- Why a fetch failed --------------------------------------------------------------
// A client that fetches by its own rounds (the WMS client) tells the user why nothing
// came, in these words rather than a bare error code.
enum http_failure_kind : int {
  HTTP_FAILED_NONE = 0,
  HTTP_FAILED_ADDRESS,    // the address names no host
  HTTP_FAILED_RESOLVE,    // the host name cannot be resolved
  HTTP_FAILED_REFUSED,    // the connection was refused
  HTTP_FAILED_CONNECT,    // no connection for another reason
  HTTP_FAILED_TIMEOUT,    // no connection or no answer within the wait
  HTTP_FAILED_LOST,       // the connection broke while the request or answer went
  HTTP_FAILED_STATUS,     // an answer other than 200 that is no redirection
  HTTP_FAILED_ANSWER,     // an answer unreadable, too large or shorter than announced
  HTTP_FAILED_REDIRECTS,  // more redirections than the rounds allow
};
struct http_failure_t {
  int kind = HTTP_FAILED_NONE;
  std::string server;  // the server asked (the proxy's name through a proxy)
  int port = 0;
  int status = 0;      // HTTP_FAILED_STATUS: the answer's status
};
// The failure in the user's words, in French or English ("" for HTTP_FAILED_NONE).
std::string http_failure_text(const http_failure_t& f, bool french);

// ---- Hooks for the layers above --------------------------------------------------------

struct http_hooks {
  // Busy indicator tick ("WEB host", "HTTPERROR wrong address"); error 1 in error form.
  void (*busy)(const char* text, int error);
  // Re-keys a file object in the table of file objects under its new URL.
  void (*rename)(obj_t* file, const char* url);
  // A linked file object that already exists: moves it under the page when it lies
  // more than one level deeper than the page.
  void (*adopt_link)(obj_t* page, obj_t* link);
  // Bytes a body may take in memory (default: the memory budget).
  double (*body_budget)();
  // The program's version for the agent line (default "1.0").
  const char* (*program_version)();
  // Filters the links collected from a page: web roots handed down, links that may not
  // be followed taken out of the list and unloaded (default: every link is kept).
  void (*filter_links)(obj_t* page, container_t* list);
};
// Installs hooks: each non-null slot replaces the one in force, null slots keep theirs,
// so that layers installing different slots do not undo one another. A null table
// restores every default.
void http_hooks_install(const http_hooks* hooks);
const http_hooks& get_http_hooks();
