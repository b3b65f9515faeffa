// The test HTTP server (see http_server.h), on plain sockets through platform/net.
// Its accept waits without end; stop() wakes it with a connection of its own.
#include "tests/support/http_server.h"

#include <chrono>
#include <cstring>

#include "platform/net/net.h"

namespace tm_test {
namespace {



uint32_t loopback() {
  uint32_t addr = 0;
  plat::net_parse_dotted("127.0.0.1", &addr);
  return addr;
}

// Reads a request up to the end of its header (the client sends nothing after it).
std::string read_request(int fd) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 1 << 20) {
    const long n = plat::net_recv_some(fd, buf, sizeof buf, plat::kNetNoTimeout);
    if (n <= 0) break;
    request.append(buf, size_t(n));
  }
  return request;
}

}  // namespace

http_server::http_server() {

  listen_fd_ = plat::net_open(true);
  plat::net_addr at{loopback(), 0};
  plat::net_bind(listen_fd_, at);
  plat::net_listen(listen_fd_, 10);
  plat::net_addr bound{};
  plat::net_local_addr(listen_fd_, &bound);
  port_ = bound.port;
  thread_ = std::thread([this] { serve(); });
}

http_server::~http_server() { stop(); }

std::string http_server::authority() const { return "127.0.0.1:" + std::to_string(port_); }

void http_server::queue(http_reply reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_.push_back(std::move(reply));
}

void http_server::set_handler(std::function<http_reply(const std::string& request)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handler_ = std::move(handler);
}

std::vector<std::string> http_server::requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool http_server::wait_stalled() {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return stalled_; });
}

void http_server::release_stall() {
  std::lock_guard<std::mutex> lock(mutex_);
  released_ = true;
  changed_.notify_all();
}

void http_server::stop() {
  if (stopping_.exchange(true)) return;
  release_stall();
  const int wake = plat::net_open(true);
  plat::net_connect(wake, plat::net_addr{loopback(), port_}, 2000);
  if (thread_.joinable()) thread_.join();
  plat::net_close(wake);
  plat::net_close(listen_fd_);
}

std::string http_server::reply(const std::string& status, const std::string& headers,
                               const std::string& body) {
  return "HTTP/1.0 " + status + "\r\n" + headers + "\r\n" + body;
}

void http_server::serve() {
  while (!stopping_.load()) {
    plat::net_addr peer{};
    const int fd = plat::net_accept(listen_fd_, &peer, plat::kNetNoTimeout);
    if (fd < 0) continue;
    if (!stopping_.load()) answer(fd);
    plat::net_close(fd);
  }
}

void http_server::answer(int fd) {
  const std::string request = read_request(fd);
  http_reply reply{"HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", false};
  std::function<http_reply(const std::string&)> handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (!replies_.empty()) {
      reply = std::move(replies_.front());
      replies_.pop_front();
    } else {
      handler = handler_;
    }
  }
  if (handler) reply = handler(request);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (reply.stall) {
      stalled_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
      return;
    }
  }
  plat::net_send_all(fd, reply.bytes.data(), reply.bytes.size(), 10000);
}

}  // namespace tm_test
