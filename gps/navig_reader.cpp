// The live navigation reader: start, stop and release of the current navigation port,
// the connect phase by port kind, the read loop with its two fix records, the live read
// step, the protocol detection of raw serial ports and the datum updates.
//
// Contract (see gps/navig.h for the threads): the reader thread is the only one that
// connects, reads and frees the current port; the display step (user-interface thread)
// takes the handed-over fix and uses the port under the display lock; a stopper writes
// -1 to the run flag and waits for the current port to be null and the reader gone.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "core/command_hooks.h"
#include "core/config.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/object.h"
#include "core/socket.h"
#include "core/tracelog.h"
#include "formats/recognise.h"
#include "geodesy/georef.h"
#include "geodesy/units.h"
#include "geodesy/geodesy_tables.h"
#include "gps/navig.h"
#include "gps/navig_internal.h"
#include "gps/nmea_log.h"
#include "gps/nmea_output.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"
#include "platform/ui/queue.h"

namespace {

std::atomic<gpsport_t*> g_current{nullptr};
std::atomic<nmea_fix*> g_handed{nullptr};
std::atomic<int> g_event{0};
std::atomic<int> g_readers{0};
// 1 while the reader is in its read loop (connected and shown).
std::atomic<int> g_connected{0};
// Set by the display on a STOP event: the reader makes a UDP socket forget its sender
// before its next read (the socket is the reader's own).
std::atomic<int> g_forget_sender{0};
std::mutex g_display_lock;

navig_ui_hooks g_ui;
navig_pvt_hooks g_pvt;
navig_session_hooks g_session;

void menu_check(unsigned item, int on) {
  if (g_ui.menu_check) g_ui.menu_check(item, on);
}

int closing() { return app_is_closing(); }

// The reader's own state: its two fix records and the kept fix time.
struct reader_state {
  nmea_fix* fixes[2] = {nullptr, nullptr};
  double kept_time = 0.0;
};

void clear_fix_records(reader_state* s) {
  for (nmea_fix*& f : s->fixes) {
    if (!f) continue;
    nmea_fix_free(&f);
    nmea_fix_new(&f);
  }
}

// Frees the port's reader without closing its log; hands the log back.
std::FILE* drop_reader_keep_log(gpsport_t* port) {
  if (!port->reader) return nullptr;
  std::FILE* log = nullptr;
  if (port->kind == GPSPORT_USB) {
    gps_usb_hooks& hooks = get_gps_usb_hooks();
    if (hooks.pvt_stop) hooks.pvt_stop(&port->reader);
    port->reader = nullptr;
    return nullptr;
  }
  port_reader* raw = static_cast<port_reader*>(port->reader);
  log = raw->log;
  raw->log = nullptr;
  if (port->family == GPS_MAGELLAN || port->kind == GPSPORT_UDP) {
    nmea_parser* parser = static_cast<nmea_parser*>(port->reader);
    nmea_reader_free(&parser);
  } else {
    free_mem(&raw);
  }
  port->reader = nullptr;
  return log;
}

// Closes the connection of the port (serial device or UDP socket).
void close_connection(gpsport_t* port) {
  if (!port->connection) return;
  if (port->kind == GPSPORT_UDP) {
    socket_t* s = static_cast<socket_t*>(port->connection);
    udp_close(&s);
  } else if (port->kind != GPSPORT_USB) {
    com_device* dev = static_cast<com_device*>(port->connection);
    com_close(&dev);
  }
  port->connection = nullptr;
}

// After a read error: the device and the reader go, the log stays for the next reader.
std::FILE* disconnect(gpsport_t* port) {
  std::FILE* log = drop_reader_keep_log(port);
  close_connection(port);
  return log;
}

void give_log(gpsport_t* port, std::FILE* log) {
  if (!log) return;
  if (port->reader && port->kind != GPSPORT_USB) {
    static_cast<port_reader*>(port->reader)->log = log;
  } else {
    std::fclose(log);
    port->nmea_log_open.store(0, std::memory_order_release);
  }
}

void ensure_georef(gpsport_t* port, int naming) {
  if (!port->georef) navig_georef_new(naming, &port->georef);
}

// The Garmin USB connect: 1 connected, 0 try again, -1 navigation ends.
int connect_usb(gpsport_t** portp) {
  gpsport_t* port = *portp;
  gps_usb_hooks& hooks = get_gps_usb_hooks();
  if (!hooks.usb_search || !g_pvt.start || !g_pvt.read) {
    log_line("Navigation: Garmin USB receivers are not supported by this build");
    if (g_ui.message_box) {
      g_ui.message_box(is_french() ? "Les récepteurs Garmin USB ne sont pas pris en charge."
                                   : "Garmin USB receivers are not supported.",
                       is_french() ? "Erreur de navigation" : "Navigation Error");
    }
    return -1;
  }
  port->family = GPS_GARMIN;
  free_mem(&port->device_path);
  gpsport_t* found = nullptr;
  if (hooks.usb_search(0, &found) && found) {
    gpsport_close(found);
    found->run.store(1, std::memory_order_release);
    {
      std::lock_guard<std::mutex> lock(g_display_lock);
      g_handed.store(nullptr, std::memory_order_release);
      g_current.store(found, std::memory_order_release);
    }
    obj_t* old = port;
    free_obj(&old);
    port = found;
    *portp = port;
  }
  if (!port->device_path) return 0;
  const int r = g_pvt.start(port->device_path, &port->reader);
  if (r < 0) return -1;
  if (r == 0) return 0;
  ensure_georef(port, 0);
  if (navig_rawlog_get() && hooks.pvt_raw_log_open) hooks.pvt_raw_log_open(port);
  return 1;
}

// The connect phase. Returns 1 connected, 0 left without a connection, -1 navigation
// ended for good (the port was released).
int connect_phase(std::FILE** kept_log) {
  while (true) {
    gpsport_t* port = g_current.load(std::memory_order_acquire);
    if (!port || port->run.load(std::memory_order_acquire) != 1) return 0;
    plat::sleep_ms(100);
    if (closing()) {
      plat::sleep_ms(2);
      return 0;
    }
    set_gblerr(0);
    int ok = 0;
    switch (port->kind) {
      case GPSPORT_USB: {
        const int r = connect_usb(&port);
        if (r < 0) {
          port->run.store(-1, std::memory_order_release);
          return -1;
        }
        ok = r;
        break;
      }
      case GPSPORT_UDP:
        port->family = GPS_MAGELLAN;
        // A reader already connected (after a detection) goes on with what it holds.
        ok = (port->connection && port->reader) ? 1 : navig_udp_open(port);
        if (ok) ensure_georef(port, 4);
        break;
      default:
        if (port->connection && port->reader) {
          // A receiver of a family the live reader cannot read: the port stays as it is
          // and the phase goes on until navigation is stopped.
          ok = (port->family == GPS_FAMILY_NONE || port->family == GPS_MAGELLAN) ? 1 : 0;
        } else {
          ok = gpsport_open(port);
        }
        if (ok) ensure_georef(port, 4);
        break;
    }
    if (ok && *kept_log) {
      give_log(port, *kept_log);
      *kept_log = nullptr;
    }
    if (get_gblerr() != 0) {
      port->run.store(-1, std::memory_order_release);
      return 0;
    }
    if (ok) return 1;
  }
}

void logs_per_switch() {
  if (navig_log_get()) {
    navig_logs_open();
  } else {
    navig_logs_close();
  }
}

// The fix record the display is not holding.
nmea_fix* free_record(reader_state* s) {
  nmea_fix* held = g_handed.load(std::memory_order_acquire);
  return s->fixes[0] == held ? s->fixes[1] : s->fixes[0];
}

void apply_forget_sender(gpsport_t* port) {
  if (!g_forget_sender.exchange(0, std::memory_order_acq_rel)) return;
  if (port->kind == GPSPORT_UDP && port->connection)
    socket_forget_client(static_cast<socket_t*>(port->connection));
}

// The status text while a port that dropped is being reconnected.
std::string reconnecting_text(const gpsport_t* port) {
  const char* shown = port->kind == GPSPORT_USB ? "Garmin USB" : port->display_name;
  const std::string name = shown ? shown : "";
  return name + (is_french() ? " : connexion perdue, reconnexion..."
                             : ": connection lost, reconnecting...");
}

// One read by family: -1 read error, 0 nothing, 1 something, 2 back to the connect phase.
int read_once(gpsport_t* port, nmea_fix* fix) {
  switch (port->family) {
    case GPS_GARMIN:
      if (port->kind != GPSPORT_USB || !g_pvt.read) return 2;
      return g_pvt.read(port->reader, fix);
    case GPS_MAGELLAN:
      return nmea_live_step(static_cast<nmea_parser*>(port->reader), fix);
    case GPS_FAMILY_NONE:
      // The reader goes on with the device it holds: once the text is NMEA, the next
      // turn reads through the new parser (a reconnect could not reopen a device that
      // the port still holds).
      nmea_detect(&port->reader, &port->family);
      return 0;
    default:
      plat::sleep_ms(100);
      return 2;
  }
}

// The hand-over of a fix that produced bytes. Returns nothing; posts command 10.
void hand_over(reader_state* s, gpsport_t* port, nmea_fix* fix) {
  if (fix->event && g_session.event) g_session.event(fix->event);
  if (g_session.fix) g_session.fix(fix);
  if (fix->event) {
    g_event.store(fix->event, std::memory_order_release);
    s->kept_time = 0.0;
  }
  if (g_handed.load(std::memory_order_acquire) != nullptr) return;  // dropped: newest wins
  if (fix->valid.time) {
    if (!navig_time_keeps(fix->time, s->kept_time)) fix->valid.time = 0;
    s->kept_time = fix->time;
  }
  if (port->run.load(std::memory_order_acquire) != -1)
    g_handed.store(fix, std::memory_order_release);
  core_post_command(kNavigDisplayCommand, 0, nullptr);
}

// The read loop. Returns 1 to go back to the connect phase, 0 when the thread ends.
// Each turn pauses 1 ms before it reads, except right after a UDP read that brought a
// datagram: more may be queued behind it, and the socket's own bounded wait paces an
// idle input, so a burst is drained at once instead of one datagram a millisecond.
int read_loop(reader_state* s, std::FILE** kept_log) {
  bool drain = false;
  while (true) {
    if (!drain) plat::sleep_ms(1);
    drain = false;
    navig_release();
    gpsport_t* port = g_current.load(std::memory_order_acquire);
    if (!port) return 0;
    logs_per_switch();
    nmea_fix* fix = free_record(s);
    fix->valid.position = 0;
    fix->valid.time = 0;
    fix->event = 0;
    fix->raw_length = 0;
    if (fix->raw) fix->raw[0] = 0;
    apply_forget_sender(port);
    const int r = read_once(port, fix);
    if (r == 2) return 1;
    if (r < 0) {
      log_line("Navigation: read error, reconnecting");
      // The navigation window says so until the port is read again (the display start
      // then puts the port's name back).
      navig_title(reconnecting_text(port).c_str());
      *kept_log = disconnect(port);
      return 1;
    }
    if (fix->raw_length != 0) {
      hand_over(s, port, fix);
      drain = port->kind == GPSPORT_UDP;
    } else {
      plat::sleep_ms(10);
    }
  }
}

void display_refused(gpsport_t* port) {
  port->run.store(-1, std::memory_order_release);
  navig_release();
  if (g_ui.message_box) {
    g_ui.message_box(
        is_french() ? "Le système géodésique de l'espace graphique n'est pas compatible avec\n"
                      "le système géodésique des données GPS."
                    : "Geodetic system of graph space is not compatible with\n"
                      "geodetic system of GPS data.",
        is_french() ? "Erreur de navigation" : "Navigation Error");
  }
}

void reader_body() {
  reader_state s;
  nmea_fix_new(&s.fixes[0]);
  nmea_fix_new(&s.fixes[1]);
  std::FILE* kept_log = nullptr;
  gpsport_t* port = g_current.load(std::memory_order_acquire);
  if (!port || !s.fixes[0] || !s.fixes[1]) {
    if (port) port->run.store(-1, std::memory_order_release);
    navig_release();
    menu_check(kNavigMenuItem, 0);
  } else {
    menu_check(kNavigMenuItem, 1);
    navig_title(port->kind == GPSPORT_USB ? "Garmin USB" : port->display_name);
    while (true) {
      const int c = connect_phase(&kept_log);
      if (c < 0) {
        navig_release();
        break;
      }
      navig_release();
      port = g_current.load(std::memory_order_acquire);
      if (!port) break;
      if (port->run.load(std::memory_order_acquire) != 1) {
        // Closing without a stop request: the stopper finishes the release.
        port->run.store(-1, std::memory_order_release);
        continue;
      }
      logs_per_switch();
      if (!navig_display_start(port, nullptr)) {
        display_refused(port);
        break;
      }
      clear_fix_records(&s);
      if (!s.fixes[0] || !s.fixes[1]) {
        port->run.store(-1, std::memory_order_release);
        continue;
      }
      g_connected.store(1, std::memory_order_release);
      if (g_session.begin) g_session.begin(port);
      const int again = read_loop(&s, &kept_log);
      g_connected.store(0, std::memory_order_release);
      if (!again) break;
    }
    menu_check(kNavigMenuItem, 0);
  }
  if (kept_log) std::fclose(kept_log);
  // The display gave both records back (navig_release waited for it).
  nmea_fix_free(&s.fixes[0]);
  nmea_fix_free(&s.fixes[1]);
}

void reader_thread() {
  reader_body();
  g_readers.fetch_sub(1, std::memory_order_acq_rel);
}

}  // namespace

navig_ui_hooks& get_navig_ui_hooks() { return g_ui; }
navig_pvt_hooks& get_navig_pvt_hooks() { return g_pvt; }
navig_session_hooks& get_navig_session_hooks() { return g_session; }

gpsport_t* navig_current_port() { return g_current.load(std::memory_order_acquire); }
int navig_reader_alive() { return g_readers.load(std::memory_order_acquire) > 0; }
int navig_connected() { return g_connected.load(std::memory_order_acquire); }

// ---- Shared with the display ---------------------------------------------------------------
std::mutex& navig_display_lock() { return g_display_lock; }
nmea_fix* navig_take_handed() { return g_handed.load(std::memory_order_acquire); }
void navig_give_back() { g_handed.store(nullptr, std::memory_order_release); }
int navig_take_event() { return g_event.exchange(0, std::memory_order_acq_rel); }
void navig_request_forget_sender() { g_forget_sender.store(1, std::memory_order_release); }

// ---- Start and stop ---------------------------------------------------------------------------
void navig_start(gpsport_t* port, const char* name, const char* speed, int log) {
  if (!port) {
    if (!name || !*name) return;
    char* copy = nullptr;
    str_set(name, &copy);
    if (!copy) return;
    gpsport_parse_name(copy, speed, &port);
    free_mem(&copy);
    if (!port) return;
  }
  // The port being read already: it goes on as it is (stopping it would free it).
  if (port == g_current.load(std::memory_order_acquire)) return;
  // One reader per port: a reader already running is stopped (and its port freed)
  // before this one starts, so no two readers share a port or the hand-over.
  if (g_current.load(std::memory_order_acquire) || navig_reader_alive()) navig_stop();
  navig_log_set(log ? 1 : 0);
  navig_state_on();
  port->datum_changed.store(0, std::memory_order_release);
  if (port->kind == GPSPORT_UDP && port->connection)
    socket_forget_client(static_cast<socket_t*>(port->connection));
  g_forget_sender.store(0, std::memory_order_release);
  g_event.store(0, std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(g_display_lock);
    g_handed.store(nullptr, std::memory_order_release);
    port->run.store(1, std::memory_order_release);
    g_current.store(port, std::memory_order_release);
  }
  if (log && !port->nmea_log_open.load(std::memory_order_acquire)) {
    if (port->kind == GPSPORT_SERIAL) nmea_log_open(port);
    if (port->kind == GPSPORT_USB && get_gps_usb_hooks().pvt_nmea_log_open)
      get_gps_usb_hooks().pvt_nmea_log_open(port);
  }
  // The reader runs until it is stopped: it gets a thread of its own even when the
  // configuration asks for one thread, or the caller would never get control back.
  g_readers.fetch_add(1, std::memory_order_acq_rel);
  try {
    std::thread(reader_thread).detach();
  } catch (...) {
    g_readers.fetch_sub(1, std::memory_order_acq_rel);
    port->run.store(-1, std::memory_order_release);
    navig_release();
    navig_display_stop();
  }
}

void navig_start_obj(obj_t* port, const char* name, const char* speed, int log) {
  gpsport_t* p = (port && port->cls == CLS_GPSPORT) ? static_cast<gpsport_t*>(port) : nullptr;
  navig_start(p, name, speed, log);
}

namespace {
// Asks the current port's reader to stop. Under the display lock: the reader's release
// clears the current port under that lock before it frees the port, so the port seen
// here is still alive.
void ask_current_to_stop() {
  std::lock_guard<std::mutex> lock(g_display_lock);
  if (gpsport_t* port = g_current.load(std::memory_order_acquire))
    port->run.store(-1, std::memory_order_release);
}
}  // namespace

void navig_stop() {
  gpsport_t* port = g_current.load(std::memory_order_acquire);
  if (!port && !navig_reader_alive()) {
    // Nothing is read: nothing to wait for.
    if (!closing()) navig_display_stop();
    return;
  }
  ask_current_to_stop();
  plat::sleep_ms(10);
  while ((g_current.load(std::memory_order_acquire) || navig_reader_alive()) && !closing()) {
    // The display step runs on the user-interface thread, maybe this one: a fix it has
    // not taken yet is taken back here, so the reader's release does not wait for it.
    {
      std::lock_guard<std::mutex> lock(g_display_lock);
      g_handed.store(nullptr, std::memory_order_release);
    }
    ask_current_to_stop();
    if (plat::on_ui_thread()) {
      // The reader's calls handed to this thread (its check marks, a message box) are
      // delivered while it waits: the reader would otherwise wait for it in turn.
      plat::wait_servicing_sends(
          [] { return !g_current.load(std::memory_order_acquire) && !navig_reader_alive(); }, 20);
    } else {
      plat::sleep_ms(20);
    }
  }
  plat::sleep_ms(10);
  if (!closing()) navig_display_stop();
}

void navig_stop_cmd() { navig_stop(); }

void navig_release() {
  gpsport_t* port = g_current.load(std::memory_order_acquire);
  if (!port || port->run.load(std::memory_order_acquire) != -1) return;
  while (g_handed.load(std::memory_order_acquire) && !closing()) plat::sleep_ms(100);
  navig_port_log_close(port);
  {
    // The display step uses the port under this lock: once it is cleared here, the
    // display holds neither fix nor port.
    std::lock_guard<std::mutex> lock(g_display_lock);
    g_current.store(nullptr, std::memory_order_release);
    g_handed.store(nullptr, std::memory_order_release);
  }
  obj_t* o = port;
  const int saved = get_gblerr();
  free_obj(&o);
  set_gblerr(saved);
}

// ---- Connections ------------------------------------------------------------------------------
int gpsport_open(gpsport_t* port) {
  com_device* dev = nullptr;
  com_open(port->device_path, port->speed, &dev);
  if (!dev) return 0;
  port->connection = dev;
  if (port->family == GPS_MAGELLAN) {
    nmea_parser* reader = nullptr;
    gps_nmea_on(dev, &reader);
    port->reader = reader;
    if (!reader) {
      close_connection(port);
      return 0;
    }
  } else {
    port_reader* raw = nullptr;
    alloc_mem_zero(&raw, sizeof(port_reader));
    if (!raw) {
      close_connection(port);
      return 0;
    }
    raw->device = dev;
    raw->log = nullptr;
    raw->read = com_read_routine;
    port->reader = raw;
  }
  return 1;
}

int navig_udp_open(gpsport_t* port) {
  const int number = port->device_path ? std::atoi(port->device_path) : 0;
  socket_t* s = nullptr;
  udp_open(number, &s);
  if (!s) return 0;
  port->connection = s;
  nmea_parser* reader = nullptr;
  if (nmea_reader_create(s, udp_read_routine, &reader) != 0 || !reader) {
    close_connection(port);
    return 0;
  }
  port->reader = reader;
  return 1;
}

// ---- Reading ------------------------------------------------------------------------------------
namespace {
// The caller's fix gets the reader's values; its owned parts stay its own.
void copy_fix(const nmea_fix* src, nmea_fix* dst) {
  char* route_name = dst->route_name;
  char* route_waypoints = dst->route_waypoints;
  uint8_t* raw = dst->raw;
  *dst = *src;
  dst->route_name = route_name;
  dst->route_waypoints = route_waypoints;
  dst->raw = raw;
  dst->raw_length = 0;
}
}  // namespace

int nmea_live_step(nmea_parser* reader, nmea_fix* fix) {
  if (!reader || !reader->read || !reader->fix || !fix) return -1;
  if (!fix->raw) {
    alloc_mem(&fix->raw, kNavigReadSize + 1);
    if (!fix->raw) return -1;
  }
  const int n = reader->read(reader->device, kNavigReadSize, fix->raw);
  nmea_fix_clear(reader->fix);
  if (n < 0) return -1;
  const int count = n > kNavigReadSize ? kNavigReadSize : n;
  if (count > 0) {
    nmea_log_write(reader, fix->raw, count);
    const int err = nmea_feed(fix->raw, count, reader);
    if (err) set_gblerr(0);
  }
  copy_fix(reader->fix, fix);
  fix->raw[count] = 0;
  fix->raw_length = count;
  date_rec day{};
  if (fix->valid.date && fix->date != 0.0) {
    date_rec_from_packed(&day, fix->date);
  } else {
    date_rec_now(&day);
  }
  int year = 0, month = 0;
  double d = 0;
  date_split(day.date, &year, &month, &d);
  const double time = fix->valid.time ? fix->time : 0.0;
  // The split gives the day of the month from 1; the fields count days from 0.
  date_from_fields(&fix->fix_date, year, month, std::floor(d) - 1.0 + time);
  return (fix->valid.position || fix->event) ? 1 : 0;
}

void nmea_detect(void** reader, int32_t* family) {
  if (!reader || !*reader || !family) return;
  port_reader* raw = static_cast<port_reader*>(*reader);
  uint8_t buf[kNavigReadSize + 1];
  const int n = raw->read ? raw->read(raw->device, kNavigReadSize, buf) : -1;
  if (n <= 0) return;
  if (raw->log) {
    if (std::fwrite(buf, 1, size_t(n), raw->log) != size_t(n) || std::fflush(raw->log) != 0) {
      std::fclose(raw->log);
      raw->log = nullptr;
    }
  }
  buf[n] = 0;
  if (!is_nmea_log(reinterpret_cast<const char*>(buf), size_t(n))) return;
  nmea_parser* parser = nullptr;
  if (nmea_reader_create(raw->device, raw->read, &parser) != 0 || !parser) {
    set_gblerr(0);
    return;
  }
  parser->log = raw->log;
  // The bytes that revealed the protocol are parsed too, so the first fix is not lost.
  nmea_feed(buf, n, parser);
  set_gblerr(0);
  free_mem(&raw);
  *reader = parser;
  *family = GPS_MAGELLAN;
}

void navig_georef_new(int naming, georef_t** out) {
  (void)naming;
  *out = nullptr;
  geodatum_t* datum = nullptr;
  geo_get_ref_datum(&datum);
  if (!datum) {
    set_gblerr(ERR_GEOGRAPHIC);
    return;
  }
  georef_create(nullptr, out);
  if (!*out) return;
  (*out)->datum = datum;
  (*out)->refertype = GEOREF_GEOGRAPHIC;
  (*out)->unit = ANG_SECOND;
  georef_unit_step(*out);
}

void navig_datum_update(gpsport_t* port, const nmea_fix* fix) {
  if (!port || !fix || port->kind == GPSPORT_USB || !port->georef) return;
  if (port->datum && std::strcmp(port->datum, fix->datum_name) == 0) {
    port->datum_changed.store(0, std::memory_order_release);
    return;
  }
  geodatum_t* datum = nullptr;
  geo_find_by_alias(CLS_GEODATUM, fix->datum_scheme, fix->datum_name, &datum);
  if (datum) port->georef->datum = datum;
  str_set(fix->datum_name, &port->datum);
  port->datum_changed.store(1, std::memory_order_release);
}

int navig_time_keeps(double time, double kept) {
  // Earlier by at most 0.8 day: out of order. Earlier by more: the next day.
  return !(time < kept && kept - time <= kNavigNextDayLimit);
}
