// A small HTTP server for tests, in the test process on 127.0.0.1 at a port the system
// chooses. It answers connections one after another with the replies queued by the
// test, in order, and keeps every request's bytes exactly as they arrived. With no
// reply queued it answers 404.
//
// A reply may stall: the server then reads the request and sends nothing until the
// test releases it or the server stops, so the client's time-out can be watched.
//
// Handler mode: with a handler set, a request that finds no queued reply is answered by
// the handler, which sees the request's bytes (queued replies still come first).
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tm_test {

struct http_reply {
  std::string bytes;   // sent as they are, then the connection is closed
  bool stall = false;  // send nothing; wait for release_stall or stop
};

class http_server {
 public:
  http_server();
  ~http_server();
  http_server(const http_server&) = delete;
  http_server& operator=(const http_server&) = delete;

  uint16_t port() const { return port_; }
  // "127.0.0.1:<port>".
  std::string authority() const;
  void queue(http_reply reply);
  void queue(std::string bytes) { queue(http_reply{std::move(bytes), false}); }
  // Answers requests without a queued reply (null: 404 again). Runs on the server's
  // thread, outside its lock.
  void set_handler(std::function<http_reply(const std::string& request)> handler);
  // The requests received so far (one string per connection).
  std::vector<std::string> requests();
  // True once a stalled reply's request has been read (waits up to about 10 s real).
  bool wait_stalled();
  void release_stall();
  void stop();

  // "HTTP/1.0 <status>\r\n" + headers + "\r\n" + body.
  static std::string reply(const std::string& status, const std::string& headers,
                           const std::string& body);

 private:
  void serve();
  void answer(int fd);

  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<http_reply> replies_;
  std::function<http_reply(const std::string&)> handler_;
  std::vector<std::string> requests_;
  bool stalled_ = false;
  bool released_ = false;
  std::thread thread_;
};

}  // namespace tm_test
