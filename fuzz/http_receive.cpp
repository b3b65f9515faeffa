// The HTTP client's receive loop on arbitrary bytes: the answer is written by a thread
// into one end of a socket pair (then closed), while one GET runs on the other end as a
// download does: status line and headers gathered across receives, the Content-Length,
// the body streamed into the file object's memory within its budget (the first input
// byte picks the budget), redirections resolved against the address asked for. Nothing
// leaves the process.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "core/error.h"
#include "core/http.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/reader.h"
#include "core/socket.h"
#include "fuzz/support/fuzz_env.h"
#include "tests/support/file_stub.h"

namespace {

double g_budget = 0;
double budget() { return g_budget; }

const http_hooks kHooks = [] {
  http_hooks h{};
  h.body_budget = budget;
  return h;
}();

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tm_fuzz::init();
  socket_register_type();
  http_hooks_install(&kHooks);
  set_gblerr(0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  tm_fuzz::keep_budget();
  // 0: no room at all, up to 1 MiB in steps.
  g_budget = double(data[0]) * 4096.0;
  ++data;
  --size;
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 0;
  socket_t* sock = nullptr;
  socket_create("127.0.0.1", 80, SOCK_TCP, &sock);
  if (!sock) {
    close(pair[0]);
    close(pair[1]);
    return 0;
  }
  close(int(sock->handle));
  sock->handle = uint64_t(pair[0]);
  std::thread server([&] {
    size_t sent = 0;
    while (sent < size) {
      const ssize_t n = send(pair[1], data + sent, size - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += size_t(n);
    }
    shutdown(pair[1], SHUT_WR);
  });
  obj_t* file = tm_test::stub_file("http://example.invalid/dir/page.htm");
  char* url = nullptr;
  str_set("http://example.invalid/dir/page.htm", &url);
  http_request(sock, 0, "example.invalid", file, nullptr, &url, 1);
  set_gblerr(0);
  free_mem(&url);
  // The client may stop reading early: what the thread still sends is taken and dropped.
  shutdown(pair[0], SHUT_RD);
  server.join();
  close(pair[1]);
  free_obj(&sock);
  rd_close_all();
  tm_test::free_stub_files();
  set_gblerr(0);
  return 0;
}
