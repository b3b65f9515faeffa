// Sockets as objects of the store (class 141, `socket`): TCP clients for downloads and
// UDP servers and clients for NMEA data exchanged over the network. Sockets are found
// by host name (a second socket for a host takes over the first one's resolved
// address) and freed like other objects: freeing one closes it. All addresses are IPv4.
//
// Built on platform/net; every wait is bounded and measured on the platform clock.
// A socket is used by one thread at a time.
#pragma once
#include <cstdint>

#include "core/object.h"

constexpr int CLS_SOCKET = 141;
constexpr int SOCK_TCP = 1;             // protocol value of a TCP socket; anything else is UDP
constexpr int kSocketDatagramSize = 1439;
// Bound on a receive made without a time-out: the receive time-out that socket_connect
// gives a connection, in seconds.
constexpr int kSocketRecvTimeoutS = 40;
// socket_recvfrom's wait for a datagram, and its pause when none came, in milliseconds.
constexpr int kSocketRecvfromWaitMs = 300;
constexpr int kSocketIdlePauseMs = 10;
// Receive buffer asked for a bound UDP server (the system caps it at its own maximum):
// some thousands of queued NMEA datagrams, so a burst waits for the reader instead of
// being dropped.
constexpr int kSocketUdpRecvBuffer = 4 << 20;

#pragma pack(push, 1)
// An IPv4 socket address as the record keeps it.
struct sock_addr_v4 {
  uint16_t family;   // 2 (IPv4)
  uint16_t port;     // network byte order
  uint8_t addr[4];   // network byte order
  uint8_t zero[8];
};
static_assert(sizeof(sock_addr_v4) == 16);

struct socket_t : obj_t {
  char* host;           // host name (owned); empty for any address
  char* name;           // host ":" port (owned)
  char* status;         // status text (owned), see socket_status_text
  int32_t port;
  int32_t protocol;     // SOCK_TCP, otherwise UDP
  uint64_t handle;      // descriptor, 0 when closed
  sock_addr_v4 own;     // the address connected or bound to
  sock_addr_v4 client;  // the remembered peer of a UDP server; all zero when none
  int32_t addr_len;     // 4 for a dotted or taken-over address, else the resolver's length
  int32_t bound;        // 1 once socket_listen ran
  int32_t dgram_size;   // 1439 at creation
};
#pragma pack(pop)

// Registers the class (with its free routine, which closes the socket) once.
void socket_register_type();

// A new socket for host (null or "" for any address) and port; protocol SOCK_TCP or
// UDP. *out is null on failure (port below 1, host not found, no descriptor).
socket_t* socket_create(const char* host, int port, int protocol, socket_t** out);
// Why the calling thread's last socket_create gave no socket (SOCKET_CREATED when it
// gave one), so that a caller can tell the user which it was.
enum socket_create_result : int {
  SOCKET_CREATED = 0,
  SOCKET_BAD_PORT = 1,
  SOCKET_HOST_UNKNOWN = 2,  // the name cannot be resolved
  SOCKET_NO_DESCRIPTOR = 3,
};
int socket_create_failure();
// TCP: connects to the own address (bounded wait); on failure the socket is closed
// (handle 0). Returns 0 or a negative code.
int socket_connect(socket_t* s);
// Binds to the own address (TCP then listens, backlog 10; UDP asks for a receive buffer
// of kSocketUdpRecvBuffer) and sets the bound flag;
// on failure the socket is closed and the flag cleared. Returns 0 or a negative code.
int socket_listen(socket_t* s);
// Sends every byte: the count sent, -1 without a handle or on a send error. TCP sends
// on the connection; UDP sends one datagram to the remembered client (a server
// answering its peer), or to the own address when no client is remembered.
int socket_send(socket_t* s, const void* data, int len);
// With a time-out (seconds, > 0): waits at most that long for data, -1 when none came.
// Then receives until len bytes arrived or the peer closed; the whole call never runs
// past its time-out (kSocketRecvTimeoutS when the time-out is 0). Returns the count,
// 0 for a closed socket or a len below 1, or the negative error of a failed receive.
int socket_recv(socket_t* s, void* buf, int len, int timeout_s);
// UDP server: waits at most 0.3 s for a datagram (none: pauses 10 ms, returns 0).
// The first sender becomes the client; a datagram from another sender returns 0,
// else the datagram's length.
int socket_recvfrom(socket_t* s, void* buf, int len);
void socket_forget_client(socket_t* s);
void socket_close(socket_t* s);
uint64_t socket_handle(const socket_t* s);
// "TCP host:port", or "UDP <port>  NO CLIENT " / "UDP <port>  CLIENT a.b.c.d".
const char* socket_status_text(socket_t* s);
