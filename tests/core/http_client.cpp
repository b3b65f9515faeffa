// The HTTP client against a real server in the test process on 127.0.0.1: the exact
// request bytes (direct, through a proxy, with the browser agent), answers with and
// without a length, redirections absolute and relative, failed answers, a short body,
// a header end split between two receives, a body beyond the memory budget, a stalled
// server given up on the virtual clock, and hosts that are avoided.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/http.h"
#include "core/reader.h"
#include "core/socket.h"
#include "platform/net/net.h"
#include "platform/sys/clock.h"
#include "tests/support/file_stub.h"
#include "tests/support/http_server.h"
#include "tests/support/net_loopback.h"
#include "tests/support/object_env.h"
#include "tests/support/test_env.h"

namespace {

using tm_test::http_server;

std::mutex g_mutex;
std::vector<std::string> g_busy;     // busy ticks, error ones prefixed with '!'
std::vector<std::string> g_renames;  // names given by redirections
double g_budget = 1e12;

void record_busy(const char* text, int error) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_busy.push_back(std::string(error ? "!" : "") + text);
}
void record_rename(obj_t*, const char* url) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_renames.push_back(url);
}
double test_budget() { return g_budget; }
const char* test_version() { return "7.2"; }

const http_hooks kHooks = [] {
  http_hooks h{};
  h.busy = record_busy;
  h.rename = record_rename;
  h.body_budget = test_budget;
  h.program_version = test_version;
  return h;
}();

bool saw_busy(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (const auto& b : g_busy)
    if (b == text) return true;
  return false;
}

class HttpClient : public ::testing::Test {
 protected:
  void SetUp() override {
    tm_test::reset_object_store();
    tm_test::install_file_stub();
    socket_register_type();
    set_program_name("tarmelo");
    http_failures_reset();
    http_hooks_install(&kHooks);
    g_busy.clear();
    g_renames.clear();
    g_budget = 1e12;
  }
  void TearDown() override {
    server.stop();
    set_gblerr(0);
    rd_close_all();
    http_hooks_install(nullptr);
    tm_test::free_stub_files();
    if (plat::virtual_clock_on()) plat::use_virtual_clock(false);
  }

  std::string url(const std::string& path) { return "http://" + server.authority() + path; }

  // Downloads a URL into a fresh file object; returns http_get's result.
  int get(const std::string& address, obj_t** file_out = nullptr) {
    obj_t* file = tm_test::stub_file(address.c_str());
    const int rc = http_get(file, nullptr, 1);
    if (file_out) *file_out = file;
    return rc;
  }

  static std::string content(obj_t* file) {
    if (!file_store_of(file)) return "<none>";
    if (rd_open(file, 0, 1) != 0) return "<unreadable>";
    std::string out(size_t(rd_size()), '\0');
    rd_read_bytes(out.data(), int64_t(out.size()));
    return out;
  }

  std::string request(const std::string& target, const std::string& host,
                      const std::string& agent = "tarmelo/7.2") {
    return "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\nUser-agent: " + agent +
           "\r\n\r\n";
  }

  http_server server;
};

// ---- Plain answers -------------------------------------------------------------------

TEST_F(HttpClient, AnswersOf200AreStoredWithOrWithoutALength) {
  struct Case {
    const char* name;
    std::string reply;
    std::string body;
  };
  const std::string big(40000, 'x');  // several receives
  const std::string binary("a\0b\r\n\r\nc\xff", 9);
  const Case cases[] = {
      {"length", http_server::reply("200 OK", "Content-Length: 5\r\n", "hello"), "hello"},
      {"no length", http_server::reply("200 OK", "Content-Type: text/plain\r\n", big), big},
      {"binary body", http_server::reply("200 OK", "", binary), binary},
      {"name case", http_server::reply("200 OK", "content-LENGTH: 5\r\n", "hello world"), "hello"},
      {"NUL in header", http_server::reply("200 OK", std::string("X-A: a\0b\r\n", 10), "body"),
       "body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.queue(c.reply);
    obj_t* file = nullptr;
    EXPECT_EQ(get(url("/dir/a.htm"), &file), 0);
    EXPECT_EQ(content(file), c.body);
    EXPECT_EQ(file_get(file, FF_SIZE), int64_t(c.body.size()));
  }
  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), std::size(cases));
  for (const auto& r : reqs) EXPECT_EQ(r, request("/dir/a.htm", server.authority()));
}

// The blank line that ends the header falls across the end of the first receive.
TEST_F(HttpClient, HeaderEndSplitBetweenReceivesIsFound) {
  for (int split : {1, 2, 3}) {
    SCOPED_TRACE(split);
    const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 4\r\nX-Pad: ";
    // The padding puts the first `split` bytes of "\r\n\r\n" at the end of the chunk.
    const std::string pad(size_t(kHttpChunk) - head.size() - size_t(split), 'p');
    server.queue(head + pad + "\r\n\r\nDATA");
    obj_t* file = nullptr;
    EXPECT_EQ(get(url("/split"), &file), 0);
    EXPECT_EQ(content(file), "DATA");
  }
}

TEST_F(HttpClient, RequestBytesDirectThroughProxyAndWithBrowserAgent) {
  server.queue(http_server::reply("200 OK", "Content-Length: 2\r\n", "ok"));
  EXPECT_EQ(get(url("/a dir/page one.htm")), 0);

  config_set("WEBNAVIG", "TRUE");
  server.queue(http_server::reply("200 OK", "Content-Length: 2\r\n", "ok"));
  EXPECT_EQ(get(url("")), 0);
  config_set("WEBNAVIG", nullptr);

  // Through a proxy the whole address goes in the request line; the site is never
  // reached (its name does not even resolve).
  config_reset();
  config_set("HTTP", ("PROXY " + std::string("127.0.0.1 ") + std::to_string(server.port())).c_str());
  server.queue(http_server::reply("200 OK", "Content-Length: 2\r\n", "ok"));
  obj_t* file = nullptr;
  EXPECT_EQ(get("http://www.site.invalid/maps/a b.gpx", &file), 0);
  EXPECT_EQ(content(file), "ok");

  const auto reqs = server.requests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[0], request("/a%20dir/page%20one.htm", server.authority()));
  EXPECT_EQ(reqs[1], request("/", server.authority(), "Mozilla/5.0"));
  EXPECT_EQ(reqs[2], request("http://www.site.invalid/maps/a%20b.gpx", "www.site.invalid"));
}

// ---- Redirections and failed answers --------------------------------------------------

TEST_F(HttpClient, RedirectionsAbsoluteAndRelativeAreFollowed) {
  struct Case {
    const char* status;
    std::string location;  // as the server writes it
    std::string target;    // the path asked next
  };
  const Case cases[] = {
      {"301 Moved Permanently", url("/new/abs.htm"), "/new/abs.htm"},
      {"302 Found", "/root/rel.htm", "/root/rel.htm"},
      {"302 Found", "sibling.htm", "/dir/sibling.htm"},
      {"302 Found", "../up.htm", "/up.htm"},
      {"303 See Other", "/other", "/other"},
      {"307 Temporary Redirect", "/temp", "/temp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status + (" " + c.location));
    server.queue(http_server::reply(c.status, "location:   " + c.location + "\r\n", ""));
    server.queue(http_server::reply("200 OK", "Content-Length: 3\r\n", "end"));
    g_renames.clear();
    obj_t* file = nullptr;
    EXPECT_EQ(get(url("/dir/start.htm"), &file), 0);
    EXPECT_EQ(content(file), "end");
    ASSERT_EQ(g_renames.size(), 1u);
    EXPECT_EQ(g_renames[0], url(c.target));
    EXPECT_EQ(server.requests().back(), request(c.target, server.authority()));
  }
}

TEST_F(HttpClient, MoreThanThreeRoundsEndWithoutContent) {
  for (int i = 0; i < 4; ++i)
    server.queue(http_server::reply("302 Found", "Location: /hop" + std::to_string(i) + "\r\n", ""));
  obj_t* file = nullptr;
  EXPECT_EQ(get(url("/start"), &file), 0);
  EXPECT_EQ(server.requests().size(), 3u);
  EXPECT_EQ(file_get(file, FF_TYPE), 125);
  EXPECT_EQ(file_get(file, FF_SIZE), 0);
}

TEST_F(HttpClient, FailedAnswersAreRetriedAndCountedForTheHost) {
  obj_t* file = nullptr;
  EXPECT_EQ(get(url("/missing.htm"), &file), 0);  // three 404 answers from the server
  EXPECT_EQ(server.requests().size(), 3u);
  EXPECT_EQ(http_failure_count("127.0.0.1"), 3);
  EXPECT_TRUE(saw_busy("!HTTPERROR wrong address"));
  EXPECT_EQ(file_get(file, FF_TYPE), 125);

  // A redirection without an address is a failed answer too.
  server.queue(http_server::reply("302 Found", "", ""));
  server.queue(http_server::reply("200 OK", "", "x"));
  EXPECT_EQ(get(url("/b"), &file), 0);
  EXPECT_EQ(content(file), "x");
  EXPECT_EQ(http_failure_count("127.0.0.1"), 4);
}

TEST_F(HttpClient, ShortBodyIsDropped) {
  server.queue(http_server::reply("200 OK", "Content-Length: 100\r\n", "only this"));
  obj_t* file = nullptr;
  EXPECT_EQ(get(url("/short"), &file), 0);
  EXPECT_EQ(file_get(file, FF_SIZE), 0);
  EXPECT_EQ(content(file), "<none>");
  EXPECT_TRUE(saw_busy("!HTTPERROR connection loss"));
  EXPECT_EQ(get_gblerr(), 0);
}

TEST_F(HttpClient, BodyBeyondTheMemoryBudgetIsAnError) {
  g_budget = 100;
  const std::string body(1000, 'b');
  server.queue(http_server::reply("200 OK", "Content-Length: 1000\r\n", body));
  server.queue(http_server::reply("200 OK", "", body));
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    obj_t* file = nullptr;
    EXPECT_EQ(get(url("/big"), &file), ERR_HTTP);
    EXPECT_EQ(file_get(file, FF_SIZE), 0);
    EXPECT_EQ(get_gblerr(), 0);
  }
  EXPECT_TRUE(saw_busy("!HTTPERROR internal error"));
}

// The server reads the request and never answers: the client waits its 5 seconds of
// (virtual) time and gives up.
TEST_F(HttpClient, StalledServerIsGivenUpAfterTheTimeOut) {
  server.queue(tm_test::http_reply{"", true});
  plat::use_virtual_clock(true);
  obj_t* file = tm_test::stub_file(url("/stall").c_str());
  std::atomic<int> rc{-100};
  std::thread client([&] { rc = http_get(file, nullptr, 1); });
  ASSERT_TRUE(server.wait_stalled());
  while (plat::net_waiters() < 1) std::this_thread::yield();
  plat::advance_virtual_ms(kHttpReceiveSeconds * 1000 - 100);
  for (int i = 0; i < 50; ++i) std::this_thread::yield();
  EXPECT_EQ(rc.load(), -100);  // still waiting
  plat::advance_virtual_ms(100);
  client.join();
  EXPECT_EQ(rc.load(), 0);
  EXPECT_TRUE(saw_busy("!HTTPERROR on receipt"));
  EXPECT_EQ(file_get(file, FF_TYPE), 125);
  EXPECT_EQ(server.requests().size(), 1u);
  server.release_stall();
}

// Lengths that cannot be trusted: two that disagree make a failed answer; one too long
// to hold is beyond any budget, refused before a byte of the body is stored.
TEST_F(HttpClient, UntrustworthyLengthsAreRefused) {
  server.queue(http_server::reply("200 OK", "Content-Length: 2\r\nContent-Length: 9\r\n", "ok"));
  server.queue(http_server::reply("200 OK", "Content-Length: 2\r\n", "ok"));
  obj_t* file = nullptr;
  EXPECT_EQ(get(url("/twice"), &file), 0);
  EXPECT_TRUE(saw_busy("!HTTPERROR wrong address"));
  EXPECT_EQ(http_failure_count("127.0.0.1"), 1);
  EXPECT_EQ(content(file), "ok");

  g_budget = 1e9;
  server.queue(http_server::reply("200 OK", "Content-Length: 99999999999999999999999\r\n", "ok"));
  EXPECT_EQ(get(url("/huge"), &file), ERR_HTTP);
  EXPECT_EQ(file_get(file, FF_SIZE), 0);
  EXPECT_EQ(content(file), "<none>");
  // The error left no socket behind, open or not.
  obj_t* cursor = nullptr;
  EXPECT_EQ(obj_class_next(CLS_SOCKET, &cursor), nullptr);
}

// A server that sends a byte every few milliseconds never lets one receive time out; the
// answer as a whole is still given up after its bound (virtual time).
TEST_F(HttpClient, TricklingServerIsGivenUpAfterTheAnswerBound) {
  tm_test::loopback_socket listener(true);
  ASSERT_NE(listener.port, 0);
  // The server drives the virtual clock itself: each time the client waits on an empty
  // socket it sends one byte and moves time on by a fifth of the receive time-out, so the
  // client never waits out a chunk and only the bound on the whole answer can stop it.
  // The fixture's own server is stopped first: its thread waiting for a connection would
  // count as a waiting client and let time run ahead of the bytes.
  server.stop();
  plat::use_virtual_clock(true);
  std::atomic<bool> done{false};
  std::thread trickler([&] {
    const int fd = plat::net_accept(listener.fd, nullptr, 10000);
    if (fd < 0) return;
    char buf[4096];
    plat::net_recv_some(fd, buf, sizeof buf, 10000);
    const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
    plat::net_send_all(fd, head.data(), head.size(), 1000);
    // Bounded in real time so that a client without the bound cannot hang the test.
    const auto stop = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!done && std::chrono::steady_clock::now() < stop) {
      if (!tm_test::wait_for([&] { return done.load() || plat::net_waiters_waiting() > 0; }, 5000))
        break;
      if (done || plat::net_send_all(fd, "x", 1, 1000) != 1) break;
      plat::advance_virtual_ms(kHttpReceiveSeconds * 1000 / 5);
    }
    plat::net_close(fd);
  });
  obj_t* file = tm_test::stub_file(("http://127.0.0.1:" + std::to_string(listener.port) + "/t").c_str());
  const int64_t start = plat::now_ms();
  const int rc = http_get(file, nullptr, 1);
  const int64_t took = plat::now_ms() - start;
  done = true;
  trickler.join();
  plat::use_virtual_clock(false);
  EXPECT_EQ(rc, 0);
  EXPECT_GE(took, int64_t(kHttpAnswerSeconds) * 1000);
  EXPECT_LE(took, int64_t(kHttpAnswerSeconds + 2 * kHttpReceiveSeconds) * 1000);
  EXPECT_TRUE(saw_busy("!HTTPERROR on receipt"));
  EXPECT_EQ(file_get(file, FF_SIZE), 0);
}

// ---- Hosts to avoid --------------------------------------------------------------------

TEST_F(HttpClient, UnreachableHostIsAvoidedForTheRun) {
  http_server closed;
  const std::string address = "http://" + closed.authority() + "/a.htm";
  closed.stop();  // nothing listens there any more
  EXPECT_EQ(get(address), 0);
  EXPECT_TRUE(http_host_avoided("127.0.0.1"));
  // Later downloads from that host stop at once, even where a server now answers.
  EXPECT_EQ(get(url("/b.htm")), 0);
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(HttpClient, TheFortyFirstFailureStopsTheHost) {
  for (int i = 1; i <= kHttpMaxFailures; ++i) {
    http_count_failure("maps.example");
    ASSERT_EQ(http_failure_count("maps.example"), i);
  }
  EXPECT_FALSE(http_host_avoided("maps.example"));
  http_count_failure("maps.example");
  EXPECT_TRUE(http_host_avoided("maps.example"));
  EXPECT_FALSE(http_host_avoided("other.example"));
}

TEST_F(HttpClient, AccessSettingOffMeansNoDownloadAndNoError) {
  config_reset();
  config_set("HTTP", "NONE");
  obj_t* file = nullptr;
  EXPECT_EQ(get(url("/a"), &file), 0);
  EXPECT_TRUE(server.requests().empty());
  EXPECT_EQ(get_gblerr(), 0);
}

}  // namespace

// ---- Identification while and after downloading ----------------------------------------

namespace {

std::vector<std::pair<int, int64_t>> g_identified;  // (flag, bytes held) of each call
file_ops g_recording_ops;
const file_ops* g_plain_ops = nullptr;

int record_identify(obj_t* file, obj_t* list, int flag) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_identified.emplace_back(flag, file_get(file, FF_SIZE));
  }
  return g_plain_ops->identify_and_load(file, list, flag);
}

}  // namespace

// A download still arriving is probed with flag 0 once 4096 bytes are in, unless the
// caller asked for identification at the end only; the end always passes the caller's
// own flag.
TEST_F(HttpClient, IdentificationGetsTheEarlyFlagWhileArrivingAndTheCallersAtTheEnd) {
  g_plain_ops = &get_file_ops();
  g_recording_ops = *g_plain_ops;
  g_recording_ops.identify_and_load = record_identify;
  file_ops_install(&g_recording_ops);
  const std::string body(40000, 'g');
  for (int flag : {1, 0}) {
    g_identified.clear();
    server.queue(http_server::reply("200 OK", "Content-Length: 40000\r\n", body));
    obj_t* file = tm_test::stub_file(url("/track" + std::to_string(flag)).c_str());
    EXPECT_EQ(http_get(file, nullptr, flag), 0);
    std::lock_guard<std::mutex> lock(g_mutex);
    ASSERT_FALSE(g_identified.empty()) << flag;
    EXPECT_EQ(g_identified.back().first, flag);
    EXPECT_EQ(g_identified.back().second, 40000);
    for (size_t i = 0; i + 1 < g_identified.size(); ++i) {
      EXPECT_EQ(flag, 0) << "a caller asking for the end only is never probed early";
      EXPECT_EQ(g_identified[i].first, 0);
      EXPECT_GE(g_identified[i].second, 4096);
    }
  }
  file_ops_install(g_plain_ops);
}

namespace {

// Each failure a client tells apart, in both languages, naming the server and port.
TEST(HttpFailureText, EachKindInBothLanguages) {
  const struct {
    int kind;
    int status;
    const char* english;
    const char* french;
  } cases[] = {
      {HTTP_FAILED_NONE, 0, "", ""},
      {HTTP_FAILED_ADDRESS, 0, "The address names no server", "L'adresse ne nomme aucun serveur"},
      {HTTP_FAILED_RESOLVE, 0, "Cannot resolve the server name: maps.invalid",
       "Nom de serveur inconnu (impossible de le resoudre) : maps.invalid"},
      {HTTP_FAILED_REFUSED, 0, "Cannot connect to maps.invalid:8080: connection refused",
       "Connexion impossible a maps.invalid:8080 : connexion refusee"},
      {HTTP_FAILED_CONNECT, 0, "Cannot connect to maps.invalid:8080", "Connexion impossible a maps.invalid:8080"},
      {HTTP_FAILED_TIMEOUT, 0, "No answer from maps.invalid:8080: timed out",
       "Pas de reponse de maps.invalid:8080 : delai depasse"},
      {HTTP_FAILED_LOST, 0, "Connection to maps.invalid:8080 lost", "Connexion a maps.invalid:8080 interrompue"},
      {HTTP_FAILED_STATUS, 503, "The server maps.invalid:8080 answered with status 503",
       "Le serveur maps.invalid:8080 a repondu par le statut 503"},
      {HTTP_FAILED_ANSWER, 0, "Unreadable or incomplete answer from maps.invalid:8080",
       "Reponse illisible ou incomplete de maps.invalid:8080"},
      {HTTP_FAILED_REDIRECTS, 0, "Too many redirections from maps.invalid:8080",
       "Trop de redirections depuis maps.invalid:8080"},
  };
  for (const auto& c : cases) {
    http_failure_t f;
    f.kind = c.kind;
    f.server = "maps.invalid";
    f.port = 8080;
    f.status = c.status;
    EXPECT_EQ(http_failure_text(f, false), c.english) << c.kind;
    EXPECT_EQ(http_failure_text(f, true), c.french) << c.kind;
  }
}

// socket_create tells an unknown host from a bad port.
TEST(SocketCreateFailure, UnknownHostAndBadPort) {
  tm_test::reset_object_store();
  socket_register_type();
  socket_t* s = nullptr;
  EXPECT_EQ(socket_create("no-such-host.invalid", 80, SOCK_TCP, &s), nullptr);
  EXPECT_EQ(socket_create_failure(), SOCKET_HOST_UNKNOWN);
  EXPECT_EQ(socket_create("127.0.0.1", 0, SOCK_TCP, &s), nullptr);
  EXPECT_EQ(socket_create_failure(), SOCKET_BAD_PORT);
  ASSERT_NE(socket_create("127.0.0.1", 9, SOCK_TCP, &s), nullptr);
  EXPECT_EQ(socket_create_failure(), SOCKET_CREATED);
  free_obj(&s);
}

}  // namespace
