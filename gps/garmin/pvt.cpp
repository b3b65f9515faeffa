// Garmin real-time position data: the state of a streaming receiver, start and stop,
// the poll of the interrupt pipe with the reassembly of its chunks into packets, the
// handling of each packet, the PVT NMEA log and the raw receiver log, and the install
// routine that hands these to the port object and the live reader. See pvt.h.
#include "gps/garmin/pvt.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "core/byte_cursor.h"
#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/paths.h"
#include "core/reader.h"
#include "gps/garmin/link.h"
#include "gps/garmin/product.h"
#include "gps/gpsport.h"
#include "gps/navig.h"
#include "gps/nmea_log.h"
#include "gps/nmea_output.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"

// The live reader's log routines read the NMEA log where a port reader keeps its log.
static_assert(offsetof(pvt_state, device) == offsetof(port_reader, device));
static_assert(offsetof(pvt_state, nmea_log) == offsetof(port_reader, log));

namespace {

constexpr int kHeaderSize = 12;
constexpr int kMaxSameSecondLogs = 99;

// The states alive, by device: the A800 routine of a product entry is called with the
// device and finds its state here.
std::mutex g_states_lock;
std::vector<pvt_state*> g_states;

void register_state(pvt_state* s) {
  std::lock_guard<std::mutex> lock(g_states_lock);
  g_states.push_back(s);
}
void unregister_state(pvt_state* s) {
  std::lock_guard<std::mutex> lock(g_states_lock);
  g_states.erase(std::remove(g_states.begin(), g_states.end(), s), g_states.end());
}
pvt_state* state_of(com_device* dev) {
  std::lock_guard<std::mutex> lock(g_states_lock);
  for (pvt_state* s : g_states)
    if (s->device == dev) return s;
  return nullptr;
}

// The A800 routine of the product entries.
int a800_routine(com_device* dev, garmin_product*) {
  pvt_state* s = dev ? state_of(dev) : nullptr;
  return s ? pvt_poll(s) : -1;
}

void free_product(garmin_product** entry) {
  if (!*entry) return;
  if ((*entry)->from_receiver) {
    free_obj(entry);
  } else {
    *entry = nullptr;  // table entries live for the whole process
  }
}

// Writes the bytes and flushes; a write that does not complete closes the log.
void log_write(std::FILE** log, const char* bytes, size_t n) {
  if (!*log || n == 0) return;
  const bool whole = std::fwrite(bytes, 1, n, *log) == n;
  if (!whole || std::fflush(*log) != 0) {
    std::fclose(*log);
    *log = nullptr;
  }
}

// Writes lines into the raw log under its lock; a write that fails closes the log.
template <class Fn> void raw_log_write(pvt_state* s, Fn write) {
  std::lock_guard<std::mutex> lock(s->lock);
  if (!s->raw_log) return;
  write(s->raw_log);
  if (std::fflush(s->raw_log) != 0 || std::ferror(s->raw_log)) {
    std::fclose(s->raw_log);
    s->raw_log = nullptr;
  }
}

// A new log in the log folder: prefix, local time stamp, suffix; a name already taken
// in this second gets "_2", "_3"... Null when it cannot be created.
std::FILE* open_log(const char* prefix, const char* suffix) {
  char* stamp = nullptr;
  timestamp_for_filename(&stamp);
  if (!stamp) return nullptr;
  std::string stem = get_log_dir() ? get_log_dir() : "";
  if (!stem.empty() && stem.back() != '/') stem += '/';
  stem += prefix;
  stem += stamp;
  free_mem(&stamp);
  std::string path = stem + suffix;
  for (int n = 2; file_exists(path.c_str()); ++n) {
    if (n > kMaxSameSecondLogs) return nullptr;
    path = stem + "_" + std::to_string(n) + suffix;
  }
  std::FILE* file = nullptr;
  open_file_msg(path.c_str(), "wb", &file);
  return file;
}

// Runs fn on the port's real-time state while that state is alive: the log switches
// run on the user-interface thread while the reader may be freeing the state, so the
// state is looked up among the living ones and kept alive (its free waits) meanwhile.
template <class Fn> void with_port_state(gpsport_t* port, Fn fn) {
  if (!port || port->kind != GPSPORT_USB || !port->reader) return;
  const void* reader = port->reader;
  std::lock_guard<std::mutex> lock(g_states_lock);
  for (pvt_state* s : g_states) {
    if (s == reader) {
      fn(s);
      return;
    }
  }
}

// The position's NMEA text as the fix's raw bytes (what the reader hands over).
void fix_raw_text(const char* text, nmea_fix* fix) {
  if (!fix->raw) alloc_mem(&fix->raw, kNavigReadSize + 1);
  if (!fix->raw) return;
  const size_t n = text ? std::min(std::strlen(text), size_t(kNavigReadSize)) : 0;
  if (n) std::memcpy(fix->raw, text, n);
  fix->raw[n] = 0;
  fix->raw_length = int32_t(n);
}

}  // namespace

// ---- State ------------------------------------------------------------------------------
pvt_state* pvt_state_new(com_device* device, garmin_product* product) {
  pvt_state* s = new (std::nothrow) pvt_state{};
  if (!s) {
    set_gblerr(ERR_MEMORY);
    return nullptr;
  }
  s->device = device;
  s->kind = GPSPORT_USB;
  s->product = product;
  s->complete = 1;
  register_state(s);
  return s;
}

void pvt_state_free(pvt_state** state) {
  if (!state || !*state) return;
  pvt_state* s = *state;
  unregister_state(s);
  if (s->nmea_log) std::fclose(s->nmea_log);
  {
    std::lock_guard<std::mutex> lock(s->lock);
    if (s->raw_log) std::fclose(s->raw_log);
    s->raw_log = nullptr;
  }
  free_mem(&s->buffer);
  free_mem(&s->nmea_text);
  delete s;
  *state = nullptr;
}

// ---- Start and stop ---------------------------------------------------------------------
int pvt_start(const char* device_path, void** state) {
  if (state) *state = nullptr;
  if (!device_path || !state) return 0;
  com_device* dev = nullptr;
  usb_open(device_path, 0, &dev);
  if (!dev) {
    set_gblerr(0);
    return 0;
  }
  if (garmin_usb_start_session(dev) != 0) {
    set_gblerr(0);
    com_close(&dev);
    return 0;
  }
  garmin_product* entry = nullptr;
  garmin_usb_identify(dev, &entry);
  set_gblerr(0);
  if (!entry || !entry->realtime) {
    free_product(&entry);
    com_close(&dev);
    return -1;
  }
  const bool measurements = navig_rawlog_get() != 0;
  pvt_state* s = nullptr;
  if (pvt_command_start_pvt(dev) != 0 || !(s = pvt_state_new(dev, entry))) {
    set_gblerr(0);
    free_product(&entry);
    com_close(&dev);
    return -1;
  }
  if (measurements && pvt_command_start_receiver(dev) != 0) set_gblerr(0);
  *state = s;
  return 1;
}

void pvt_stop(void** state) {
  if (!state || !*state) return;
  pvt_state* s = static_cast<pvt_state*>(*state);
  const int saved = get_gblerr();
  if (s->device) {
    pvt_command_stop_pvt(s->device);
    pvt_command_stop_receiver(s->device);
    com_close(&s->device);
  }
  set_gblerr(saved);
  free_product(&s->product);
  pvt_state_free(&s);
  *state = nullptr;
}

// ---- Poll and reassembly ----------------------------------------------------------------
int pvt_handle_packet(pvt_state* s) {
  if (!s) return 0;
  int flag = 0;
  const uint32_t used = s->used;
  s->used = 0;
  if (used < uint32_t(kHeaderSize) || !s->buffer) return 0;
  byte_reader c = make_byte_reader(s->buffer, used);
  take_bytes(&c, 4);  // type and reserved bytes
  const uint16_t id = get_le16(&c);
  take_bytes(&c, 2);
  const uint32_t size = get_le32(&c);
  if (c.failed || size > used - uint32_t(kHeaderSize)) return 0;
  const uint8_t* data = s->buffer + kHeaderSize;
  switch (id) {
    case kPvtPidPvtData:
      if (garmin_d800_unpack(data, size, &s->pvt) != 0) return 0;
      pvt_to_nmea(s);
      if (s->nmea_log && s->nmea_text)
        log_write(&s->nmea_log, s->nmea_text, std::strlen(s->nmea_text));
      flag = kPvtGotPosition;
      break;
    case kPvtPidReceiverData:
      if (garmin_rcv_unpack(data, size, &s->receiver) != 0) return 0;
      raw_log_write(s, [s](std::FILE* f) { garmin_rcv_print(f, &s->receiver); });
      flag = kPvtGotReceiver;
      break;
    case kPvtPidSatelliteData:
      if (garmin_sat_unpack(data, size, s->satellites) != 0) return 0;
      raw_log_write(s, [s](std::FILE* f) { garmin_sat_print(f, s->satellites); });
      flag = kPvtGotSatellites;
      break;
    default:
      break;
  }
  return flag;
}

int pvt_feed_chunk(pvt_state* s, const uint8_t* bytes, int count, int ends) {
  if (!s) return 0;
  if (count > 0 && bytes && !s->skipping) {
    const uint64_t length = uint64_t(s->used) + uint64_t(count);
    if (length > kPvtMaxPacket) {
      // No packet of the stream is this long: the rest of it is skipped.
      s->used = 0;
      s->skipping = 1;
    } else {
      if (length >= s->capacity || !s->buffer) {
        s->capacity = uint32_t(length) + 10;
        grow_capacity(&s->buffer, &s->capacity);
        if (!s->buffer) {
          set_gblerr(0);
          s->capacity = 0;
          s->used = 0;
          s->skipping = 1;
        }
      }
      if (s->buffer) {
        std::memcpy(s->buffer + s->used, bytes, size_t(count));
        s->used = uint32_t(length);
      }
    }
  }
  if (!ends) return 0;
  if (s->skipping) {
    s->skipping = 0;
    s->used = 0;
    return 0;
  }
  return pvt_handle_packet(s);
}

int pvt_poll(pvt_state* s) {
  if (!s || !s->device) return -1;
  int flags = 0;
  for (int chunk = 0; chunk < kPvtPollChunks; ++chunk) {
    uint8_t* data = nullptr;
    int32_t count = 0, ends = 0;
    if (usb_poll_interrupt(s->device, &data, &s->complete, &count, &ends) != 0) {
      s->complete = 1;
      return -1;
    }
    if (!s->complete) break;  // the request is still on its way
    flags |= pvt_feed_chunk(s, data, count, ends);
  }
  return flags;
}

int pvt_read(void* state, nmea_fix* fix) {
  pvt_state* s = static_cast<pvt_state*>(state);
  if (!s || !fix || !s->product || !s->product->realtime) return -1;
  const int flags = s->product->realtime(s->device, s->product);
  if (flags < 0) return -1;
  if (!(flags & kPvtGotPosition)) return 0;
  pvt_to_position(s, fix);
  fix_raw_text(s->nmea_text, fix);
  return 1;
}

// ---- Logs -------------------------------------------------------------------------------
void pvt_nmea_log_open(gpsport_t* port) {
  with_port_state(port, [port](pvt_state* s) {
    if (!s->nmea_log) {
      s->nmea_log = open_log("PVT_", ".nmea");
      if (s->nmea_log) {
        const bool ok = nmea_sentence_write(s->nmea_log, kNmeaLogHeader) &&
                        nmea_sentence_write(s->nmea_log, "$PGRMM,WGS 84") &&
                        std::fflush(s->nmea_log) == 0;
        if (!ok) {
          std::fclose(s->nmea_log);
          s->nmea_log = nullptr;
        }
      }
    }
    port->nmea_log_open.store(1, std::memory_order_release);
  });
}

void pvt_raw_log_open(gpsport_t* port) {
  with_port_state(port, [port](pvt_state* s) {
    std::lock_guard<std::mutex> lock(s->lock);
    if (!s->raw_log) {
      s->raw_log = open_log("RCV_", ".tmr");
      if (s->raw_log && (std::fprintf(s->raw_log, "%s\n", kPvtRawLogHeader) < 0 ||
                         std::fflush(s->raw_log) != 0)) {
        std::fclose(s->raw_log);
        s->raw_log = nullptr;
      }
    }
    port->raw_log_open.store(1, std::memory_order_release);
  });
}

void pvt_raw_log_close(gpsport_t* port) {
  with_port_state(port, [](pvt_state* s) {
    std::lock_guard<std::mutex> lock(s->lock);
    if (s->raw_log) std::fclose(s->raw_log);
    s->raw_log = nullptr;
  });
  if (port) port->raw_log_open.store(0, std::memory_order_release);
}

// ---- Install ----------------------------------------------------------------------------
void garmin_pvt_install() {
  gps_usb_hooks& usb = get_gps_usb_hooks();
  usb.pvt_stop = pvt_stop;
  usb.pvt_nmea_log_open = pvt_nmea_log_open;
  usb.pvt_raw_log_open = pvt_raw_log_open;
  usb.pvt_raw_log_close = pvt_raw_log_close;
  navig_pvt_hooks& live = get_navig_pvt_hooks();
  live.start = pvt_start;
  live.read = pvt_read;
  garmin_set_realtime_routine(a800_routine);
}
