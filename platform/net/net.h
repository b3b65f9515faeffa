// Network services: IPv4 TCP and UDP over POSIX sockets, name resolution and bounded
// waits. This is the only place in the system that calls the socket interface.
//
// A socket is a plain descriptor (an int, never below 3, so that 0 can mean "none"
// in the records that keep one). Addresses are IPv4 only: the 4-byte address in
// network order and the port in host order.
//
// Every wait (connect, accept, receive, readiness) ends at a deadline read on the
// platform clock (platform/sys/clock.h). Under the virtual clock a wait is a loop of
// short real polls that ends when the descriptor is ready or virtual time has
// reached the deadline, so a test can run a long time-out in no real time by
// advancing the clock. A time-out below 0 (kNetNoTimeout) waits without end.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

constexpr int64_t kNetNoTimeout = -1;

// Results below 0 are these codes (or the negated errno of a failed call).
constexpr long kNetTimedOut = -110;   // the time-out passed first (ETIMEDOUT)
constexpr long kNetBadSocket = -9;    // no such descriptor (EBADF)

struct net_addr {
  uint32_t addr = 0;  // IPv4 address in network byte order (0: any address)
  uint16_t port = 0;  // port in host byte order
};

// ---- Names and addresses ----------------------------------------------------------
// A strict dotted IPv4 address ("a.b.c.d"); false for anything else.
bool net_parse_dotted(const char* text, uint32_t* out_addr);
// Dotted text of an address, into a buffer of at least 16 bytes.
void net_format_dotted(uint32_t addr, char* out16);
// A host name or dotted address to its first IPv4 address (getaddrinfo: safe from
// any thread). False when the name cannot be resolved.
bool net_resolve(const char* host, uint32_t* out_addr);

// ---- Descriptors ------------------------------------------------------------------
// A new TCP (tcp = true) or UDP socket, close-on-exec; -1 on failure.
int net_open(bool tcp);
// Shuts down both directions (errors ignored) and closes. Safe with -1.
void net_close(int fd);
// Shuts down both directions without closing (wakes a peer waiting for the end).
void net_shutdown(int fd);
// The address a socket is bound to (its port is the one the system chose for port 0).
bool net_local_addr(int fd, net_addr* out);

// ---- TCP --------------------------------------------------------------------------
// Connects within the time-out: 0, or a negative code (kNetTimedOut, -ECONNREFUSED).
int net_connect(int fd, const net_addr& to, int64_t timeout_ms);
// Binds (with address reuse for TCP listeners) : 0 or a negative code.
int net_bind(int fd, const net_addr& at);
int net_listen(int fd, int backlog);
// Accepts one connection within the time-out: the new descriptor, or a negative code.
int net_accept(int fd, net_addr* peer, int64_t timeout_ms);
// Sends every byte (retrying short sends) within the time-out: the count sent (len),
// or a negative code. A peer that closed gives a negative code, never SIGPIPE.
long net_send_all(int fd, const void* data, size_t len, int64_t timeout_ms);
// Waits at most the time-out for data, then receives what is there (at most len):
// the count, 0 when the peer closed (or len is 0), kNetTimedOut, or a negative code.
long net_recv_some(int fd, void* buf, size_t len, int64_t timeout_ms);
// Receives until len bytes arrived, the peer closed or the deadline (now + time-out)
// passed, whichever is first: the count received (possibly short), kNetTimedOut when
// nothing arrived in time, or a negative code when a receive failed with nothing read.
long net_recv_all(int fd, void* buf, size_t len, int64_t timeout_ms);

// ---- UDP --------------------------------------------------------------------------
// Sends one datagram: the count sent or a negative code.
long net_sendto(int fd, const void* data, size_t len, const net_addr& to);
// One datagram of a batch: its bytes and where it goes.
struct net_datagram {
  const void* data = nullptr;
  size_t len = 0;
  net_addr to;
};
// Sends `count` datagrams in order, as many as possible in one system call (the rest,
// datagram by datagram, where the system has no batch send). A full send buffer is
// waited out as by net_sendto. Returns how many went out before the first that failed
// (all of them: count), or the negative code of the first datagram when none went.
long net_send_many(int fd, const net_datagram* datagrams, int count);
// Waits at most the time-out for one datagram and receives it (truncated to len):
// the datagram's length (up to len), kNetTimedOut, or a negative code. `from` gets
// the sender's address.
long net_recvfrom(int fd, void* buf, size_t len, net_addr* from, int64_t timeout_ms);
// Asks for a receive buffer of `bytes` (> 0) so that bursts are queued rather than
// dropped: the system caps the request at its own maximum and adds its bookkeeping.
// Returns the size the socket now has (> 0), or a negative code.
int net_set_recv_buffer(int fd, int bytes);

// ---- Readiness --------------------------------------------------------------------
// Waits at most the time-out until the socket is readable (data, a connection to
// accept, or the peer's end): 1 ready, 0 time-out, a negative code on error.
int net_wait_readable(int fd, int64_t timeout_ms);
int net_wait_writable(int fd, int64_t timeout_ms);

// Threads currently inside a network wait (tests: once a thread is counted here it is
// blocked on the clock, and advancing virtual time moves it towards its deadline).
int net_waiters();
// How many of them still wait: their deadline is ahead and their socket not ready. One
// whose deadline has passed, or whose socket is ready, is about to run again, so a test
// that waits for the process to fall idle counts it as busy.
int net_waiters_waiting();

}  // namespace plat
