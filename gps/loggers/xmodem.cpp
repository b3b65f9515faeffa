// The XMODEM receiver: the control-byte automaton (4 states by 5 byte classes), its
// actions, and the block read with its sum or CRC check.
#include "gps/loggers/xmodem.h"

#include <cstring>

#include "core/error.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/object.h"
#include "gps/port_io.h"
#include "map/file_object.h"
#include "platform/sys/clock.h"

namespace {

enum xm_action : uint8_t {
  X_NONE, X_SIZE128, X_SIZE1024, X_FIRST_EOT, X_CANCEL, X_NUMBER, X_COMPLEMENT, X_SECOND_EOT,
  X_STOP
};

struct xm_cell {
  uint8_t action;
  uint8_t next;
};

// Classes: SOH, STX, EOT, CAN, any other byte.
int byte_class(uint8_t b) {
  switch (b) {
    case kXmodemSoh: return 0;
    case kXmodemStx: return 1;
    case kXmodemEot: return 2;
    case kXmodemCan: return 3;
    default: return 4;
  }
}

// Rows: 0 wait for a block, 1 block number, 2 complement, 3 after the first EOT.
constexpr xm_cell kTransitions[4][5] = {
    {{X_SIZE128, 1}, {X_SIZE1024, 1}, {X_FIRST_EOT, 3}, {X_CANCEL, 0}, {X_NONE, 0}},
    {{X_NUMBER, 2}, {X_NUMBER, 2}, {X_NUMBER, 2}, {X_NUMBER, 2}, {X_NUMBER, 2}},
    {{X_COMPLEMENT, 0}, {X_COMPLEMENT, 0}, {X_COMPLEMENT, 0}, {X_COMPLEMENT, 0},
     {X_COMPLEMENT, 0}},
    {{X_STOP, 0}, {X_STOP, 0}, {X_SECOND_EOT, 0}, {X_STOP, 0}, {X_STOP, 0}},
};

void write_to_device(void* port, const uint8_t* bytes, int count) {
  com_write(static_cast<com_device*>(port), bytes, count);
}

void send_reply(xmodem_rx* rx) {
  const uint8_t byte = static_cast<uint8_t>(rx->reply);
  rx->write(rx->port, &byte, 1);
  plat::sleep_ms(kXmodemReplyPauseMs);
}

void cancel(xmodem_rx* rx) {
  rx->done = 1;
  rx->reply = kXmodemCan;
  send_reply(rx);
}

// Reads exactly `count` bytes into `out`; false (gblerr 17) after 21 empty reads in a
// row.
bool read_exact(xmodem_rx* rx, uint8_t* out, int count) {
  int have = 0, empty = 0;
  while (have < count) {
    const int n = rx->read(rx->port, count - have, out + have);
    if (n < 0) {
      set_gblerr(ERR_PROTOCOL);
      return false;
    }
    if (n == 0) {
      if (++empty >= kXmodemBlockTries) {
        set_gblerr(ERR_PROTOCOL);
        return false;
      }
      continue;
    }
    empty = 0;
    have += n;
  }
  return true;
}

bool block_checks(xmodem_rx* rx) {
  const int size = rx->block_size;
  if (rx->crc_mode) {
    uint8_t c[2];
    if (!read_exact(rx, c, 2)) return false;
    const uint16_t given = static_cast<uint16_t>(c[0] << 8 | c[1]);
    rx->received = size + 2;
    return given == xmodem_crc16(rx->block, size) ? true : (rx->reply = kXmodemNak, false);
  }
  uint8_t s = 0;
  if (!read_exact(rx, &s, 1)) return false;
  rx->received = size + 1;
  return s == xmodem_sum8(rx->block, size) ? true : (rx->reply = kXmodemNak, false);
}

// After a good complement: the block, its check, the answer.
void read_block(xmodem_rx* rx) {
  const int size = rx->block_size;
  rx->position = 0;
  rx->received = 0;
  if (!read_exact(rx, rx->block, size)) return;
  rx->position = size;
  rx->reply = kXmodemAck;
  const bool good = block_checks(rx);
  if (get_gblerr()) return;
  if (good) {
    if (!rx->repeat && rx->limit > 0 && xmodem_file_size(rx->file) + size > rx->limit) {
      cancel(rx);
      return;
    }
    if (!rx->repeat) {
      if (filemobj_owner_append(rx->file, rx->block, size) != 0) {
        set_gblerr(ERR_MEMORY);
        return;
      }
      ++rx->accepted;
    }
  } else if (!rx->repeat) {
    // The same number is to come again.
    rx->number = static_cast<uint8_t>(rx->number - 1);
  }
  rx->repeat = 0;
  rx->position = 0;
  rx->received = 0;
  send_reply(rx);
}

void run_action(int action, uint8_t b, xmodem_rx* rx) {
  switch (action) {
    case X_SIZE128: rx->block_size = 128; break;
    case X_SIZE1024: rx->block_size = 1024; break;
    case X_FIRST_EOT:
      rx->reply = kXmodemNak;
      send_reply(rx);
      break;
    case X_CANCEL:
      rx->done = 1;
      rx->reply = kXmodemCan;
      break;
    case X_NUMBER:
      if (b == static_cast<uint8_t>(rx->number + 1)) {
        rx->number = b;
        rx->repeat = 0;
      } else if (b == rx->number && rx->accepted > 0) {
        // The sender did not hear the last ACK and sends that block again.
        rx->repeat = 1;
      } else {
        cancel(rx);
      }
      break;
    case X_COMPLEMENT:
      // Compared with the byte the header carried: the repeated block's number.
      if ((rx->number ^ b) == 0xFF) {
        read_block(rx);
      } else {
        rx->repeat = 0;
        rx->done = 1;
        rx->reply = kXmodemCan;
        send_reply(rx);
      }
      break;
    case X_SECOND_EOT:
      rx->done = 1;
      rx->reply = kXmodemAck;
      send_reply(rx);
      break;
    case X_STOP: rx->done = 1; break;
    default: break;
  }
}

void drain_line(xmodem_rx* rx) {
  const int64_t until = plat::now_ms() + kXmodemDrainMs;
  uint8_t scratch[256];
  while (plat::now_ms() < until && rx->read(rx->port, sizeof scratch, scratch) > 0) {
  }
}

}  // namespace

uint16_t xmodem_crc16(const uint8_t* bytes, int count) {
  uint16_t crc = 0;
  for (int i = 0; i < count; ++i) {
    crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
    for (int k = 0; k < 8; ++k)
      crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

uint8_t xmodem_sum8(const uint8_t* bytes, int count) {
  uint8_t s = 0;
  for (int i = 0; i < count; ++i) s = static_cast<uint8_t>(s + bytes[i]);
  return s;
}

int xmodem_create(com_device* port, int crc_mode, xmodem_rx** out, fileatt_t** file) {
  *out = nullptr;
  *file = nullptr;
  file_new_in_memory(file);
  if (!*file) return set_gblerr(ERR_FILE_ACCESS);
  xmodem_rx* rx = nullptr;
  alloc_mem_zero(&rx, sizeof *rx);
  rx->port = port;
  rx->read = com_read_routine;
  rx->write = write_to_device;
  rx->crc_mode = crc_mode ? 1 : 0;
  rx->file = *file;
  *out = rx;
  return 0;
}

void xmodem_free(xmodem_rx** rx) { free_mem(rx); }

void xmodem_receive(xmodem_rx* rx) {
  if (!rx || !rx->port || !rx->read || !rx->write) return;
  rx->state = 0;
  rx->done = 0;
  if (rx->read == com_read_routine)
    com_set_timeout(static_cast<com_device*>(rx->port), kXmodemReadTimeoutMs);
  plat::sleep_ms(kXmodemStartPauseMs);
  drain_line(rx);
  rx->reply = rx->crc_mode ? kXmodemCrcAsk : kXmodemNak;
  send_reply(rx);
  int empty = 0;
  while (!rx->done) {
    uint8_t b = 0;
    const int got = rx->read(rx->port, 1, &b);
    if (got < 0) {
      set_gblerr(ERR_PROTOCOL);
      return;
    }
    if (got == 0) {
      if (++empty >= kXmodemControlTries) {
        set_gblerr(ERR_PROTOCOL);
        return;
      }
      send_reply(rx);
      continue;
    }
    empty = 0;
    const xm_cell c = kTransitions[rx->state][byte_class(b)];
    run_action(c.action, b, rx);
    rx->state = c.next;
    if (get_gblerr()) return;
  }
}

int64_t xmodem_file_size(fileatt_t* file) {
  if (!file || !file->store) return 0;
  return filemobj_data_size(file->store);
}
