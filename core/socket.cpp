// Socket objects: the class, creation with its address (taken over from another
// socket of the same host, read as a dotted address, or resolved), the status text,
// closing and freeing. The transfers are in socket_io.cpp.
//
// Threads: creation looks through the live sockets for one of the same host while
// another thread may free one. The look-up and the free routine share one mutex; the
// store takes a socket off its class list before its free routine runs, so a socket
// found under the mutex stays alive until the look-up is done.
#include "core/socket.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "core/memory.h"
#include "platform/net/net.h"

namespace {

std::mutex g_lookup_mutex;
thread_local int t_create_failure = SOCKET_CREATED;

// The owned strings of the packed record, reached through their offsets (each one
// is 8-byte aligned in the heap record).
char** owned_field(socket_t* s, size_t offset) {
  return reinterpret_cast<char**>(reinterpret_cast<char*>(s) + offset);
}
char** host_field(socket_t* s) { return owned_field(s, offsetof(socket_t, host)); }
char** name_field(socket_t* s) { return owned_field(s, offsetof(socket_t, name)); }
char** status_field(socket_t* s) { return owned_field(s, offsetof(socket_t, status)); }

void free_socket(obj_t* obj) {
  socket_t* s = static_cast<socket_t*>(obj);
  std::lock_guard<std::mutex> lock(g_lookup_mutex);
  socket_close(s);
  free_mem(host_field(s));
  free_mem(name_field(s));
  free_mem(status_field(s));
}

// The address of a live socket created for the same (non-empty) host, if any.
bool take_over_address(const char* host, uint8_t* addr, int32_t* addr_len) {
  if (!*host) return false;
  std::lock_guard<std::mutex> lock(g_lookup_mutex);
  obj_t* cursor = nullptr;
  while (obj_class_next(CLS_SOCKET, &cursor)) {
    socket_t* other = static_cast<socket_t*>(cursor);
    const char* other_host = owner_get(host_field(other));
    if (other_host && std::strcmp(other_host, host) == 0) {
      std::memcpy(addr, other->own.addr, 4);
      *addr_len = 4;
      return true;
    }
  }
  return false;
}

// The own address of a new socket: any address for the empty host, else taken over,
// dotted or resolved. False when the host cannot be found.
bool find_address(const char* host, uint8_t* addr, int32_t* addr_len) {
  uint32_t a = 0;
  *addr_len = 0;
  if (!*host) {
    std::memset(addr, 0, 4);
    return true;
  }
  if (take_over_address(host, addr, addr_len)) return true;
  if (!plat::net_resolve(host, &a)) return false;
  std::memcpy(addr, &a, 4);
  *addr_len = 4;  // the length of an IPv4 address, dotted or resolved
  return true;
}

}  // namespace

// POSIX sockets need no start-up, so registering cannot fail.
void socket_register_type() {
  obj_register_class(CLS_SOCKET, int(sizeof(socket_t)), nullptr);
  obj_set_free_callback(CLS_SOCKET, free_socket);
}

int socket_create_failure() { return t_create_failure; }

socket_t* socket_create(const char* host, int port, int protocol, socket_t** out) {
  if (out) *out = nullptr;
  t_create_failure = SOCKET_BAD_PORT;
  if (port < 1 || port > 65535) return nullptr;
  if (!host) host = "";
  uint8_t addr[4];
  int32_t addr_len = 0;
  t_create_failure = SOCKET_HOST_UNKNOWN;
  if (!find_address(host, addr, &addr_len)) return nullptr;
  t_create_failure = SOCKET_NO_DESCRIPTOR;
  const int fd = plat::net_open(protocol == SOCK_TCP);
  if (fd < 0) return nullptr;
  socket_t* s = nullptr;
  obj_new_registered(CLS_SOCKET, &s);
  if (!s) {
    plat::net_close(fd);
    return nullptr;
  }
  t_create_failure = SOCKET_CREATED;
  // The socket is on its class list already: its host and address are filled under the
  // look-up mutex, so a creation on another thread never sees one without the other.
  std::unique_lock<std::mutex> lock(g_lookup_mutex);
  str_set(host, host_field(s));
  std::memcpy(s->own.addr, addr, 4);
  lock.unlock();
  const std::string name = std::string(host) + ":" + std::to_string(port);
  str_set(name.c_str(), name_field(s));
  s->port = port;
  s->protocol = protocol;
  s->handle = uint64_t(fd);
  s->own.family = 2;
  s->own.port = uint16_t((port >> 8) | ((port & 0xFF) << 8));  // network order
  s->addr_len = addr_len;
  s->dgram_size = kSocketDatagramSize;
  socket_status_text(s);
  if (out) *out = s;
  return s;
}

void socket_close(socket_t* s) {
  if (!s || s->handle == 0) return;
  plat::net_close(int(s->handle));
  s->handle = 0;
}

uint64_t socket_handle(const socket_t* s) { return s ? s->handle : 0; }

void socket_forget_client(socket_t* s) {
  if (!s || s->handle == 0) return;
  std::memset(&s->client, 0, sizeof s->client);
  socket_status_text(s);
}

const char* socket_status_text(socket_t* s) {
  if (!s) return "";
  std::string text;
  if (s->protocol == SOCK_TCP) {
    const char* name = owner_get(name_field(s));
    text = std::string("TCP ") + (name ? name : "");
  } else {
    text = "UDP " + std::to_string(s->port) + " ";
    if (s->client.port == 0) {
      text += " NO CLIENT ";
    } else {
      char dotted[16];
      uint32_t a;
      std::memcpy(&a, s->client.addr, 4);
      plat::net_format_dotted(a, dotted);
      text += std::string(" CLIENT ") + dotted;
    }
  }
  str_set(text.c_str(), status_field(s));
  return owner_get(status_field(s));
}
