// The Garmin transfers over either link: a command, the Records packet with the number of
// packets that follow, the data packets unpacked with the entry's D-types, the Xfer_Cmplt
// packet carrying the command code. Serial packets come acknowledged by the link's
// receive automaton; USB packets are checked against their header.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "core/error.h"
#include "formats/gpstext.h"
#include "gps/garmin/link.h"
#include "gps/garmin/product.h"
#include "gps/garmin/transfers.h"
#include "gps/gpsport.h"
#include "gps/port_io.h"
#include "shell/framework/progress.h"

namespace {

std::atomic<garmin_progress_fn> g_observer{nullptr};

// Empty USB reads tolerated while a packet is awaited (each one read time-out).
constexpr int kUsbEmptyReads = kGarminReadAttempts;

// One exchange with the receiver over its link.
struct exchange {
  com_device* dev;
  garmin_product* entry;
  bool usb;
  int read_index = 0;  // USB: interrupt until the device says data is available
};

// One received packet: id and data (valid until the next receive).
struct packet {
  int32_t id = 0;
  const uint8_t* data = nullptr;
  size_t size = 0;
};

int fail(int code) {
  set_gblerr(code);
  return code;
}

int receive(exchange& x, packet& p) {
  if (!x.usb) {
    uint8_t size = 0;
    const uint8_t* data = nullptr;
    int32_t id = 0;
    if (garmin_receive_packet(x.dev, &id, &size, &data, 0) != 0 || get_gblerr() != 0)
      return get_gblerr() ? get_gblerr() : fail(ERR_PROTOCOL);
    p.id = id;
    p.data = data;
    p.size = size;
    return 0;
  }
  for (int empty = 0; empty < kUsbEmptyReads; ++empty) {
    garmin_usb_packet u{};
    if (garmin_usb_read(x.dev, &x.read_index, &u) != 0 || get_gblerr() != 0)
      return get_gblerr() ? get_gblerr() : fail(ERR_NO_COMM);
    if (u.count == 0) continue;
    if (garmin_usb_packet_check(&u) != 0) return fail(ERR_PROTOCOL);
    p.id = u.id;
    p.data = u.data;
    p.size = u.size;
    return 0;
  }
  return fail(ERR_PROTOCOL);
}

// The first 16-bit word of a packet's data; -1 when it holds fewer than two bytes.
int32_t first_word(const packet& p) {
  if (p.size < 2 || !p.data) return -1;
  return p.data[0] | (p.data[1] << 8);
}

int send_command(exchange& x, int cmd_slot) {
  const garmin_product* e = x.entry;
  if (!e->link || !e->command) return fail(ERR_PROTOCOL);
  const int pid = e->link->id[GL_COMMAND_DATA];
  const int code = e->command->code[cmd_slot];
  if (pid < 0 || code < 0) return fail(ERR_PROTOCOL);
  const int r = x.usb ? garmin_usb_send_command(x.dev, uint16_t(code), uint16_t(pid))
                      : garmin_send_command(x.dev, uint8_t(pid), uint16_t(code));
  if (r != 0 || get_gblerr() != 0) return get_gblerr() ? get_gblerr() : fail(ERR_PROTOCOL);
  return 0;
}

// The packet id of link slot `slot` (-1 when the protocol has none: never matches).
int32_t link_id(const exchange& x, int slot) { return x.entry->link->id[slot]; }

// Command, then the Records packet: the number of packets that follow.
int start_transfer(exchange& x, int cmd_slot, int32_t* n) {
  *n = 0;
  if (int r = send_command(x, cmd_slot)) return r;
  packet p;
  if (int r = receive(x, p)) return r;
  if (p.id != link_id(x, GL_RECORDS) || first_word(p) < 0) return fail(ERR_PROTOCOL);
  *n = first_word(p);
  return 0;
}

// The closing Xfer_Cmplt packet, which carries the command code.
int finish_transfer(exchange& x, int cmd_slot) {
  packet p;
  if (int r = receive(x, p)) return r;
  if (p.id != link_id(x, GL_XFER_CMPLT) || first_word(p) != x.entry->command->code[cmd_slot])
    return fail(ERR_PROTOCOL);
  return 0;
}

int unpack(const garmin_dtype* dt, garmin_record* rec, const packet& p) {
  if (!dt || garmin_unpack(dt, rec, p.data, p.size) != 0) return fail(ERR_PROTOCOL);
  return 0;
}

// Makes room for `need` elements, doubling the array: the receiver's announced count is
// not trusted for one allocation, the records come one packet at a time. New elements
// are zero. False when there is no memory.
template <class T> bool reserve(T** a, int32_t* cap, int32_t need) {
  if (need <= *cap) return true;
  const int32_t c = std::max(need, *cap > 0 ? *cap * 2 : 64);
  T* b = new (std::nothrow) T[size_t(c)]();
  if (!b) return false;
  if (*a && *cap > 0) std::memcpy(static_cast<void*>(b), *a, size_t(*cap) * sizeof(T));
  delete[] *a;
  *a = b;
  *cap = c;
  return true;
}

// The text of `format` with its "%d" conversions (two at most) replaced by a and b, as
// snprintf writes it; cut at size - 1 bytes. Called once per record, so without printf.
void progress_format(char* text, size_t size, const char* format, int a, int b) {
  char* out = text;
  char* const end = text + size - 1;
  const int args[2] = {a, b};
  int used = 0;
  for (const char* f = format; *f && out < end; ++f) {
    if (f[0] == '%' && f[1] == 'd' && used < 2) {
      char digits[16];
      const char* last = std::to_chars(digits, digits + sizeof digits, args[used++]).ptr;
      for (const char* d = digits; d < last && out < end; ++d) *out++ = *d;
      ++f;
    } else {
      *out++ = *f;
    }
  }
  *out = '\0';
}

// One step of a transfer: the text (format with two numbers), fraction i / n.
void progress(int32_t i, int32_t n, const char* format, int a, int b) {
  char text[64];
  progress_format(text, sizeof text, format, a, b);
  const double fraction = n > 0 ? double(i) / n : 0.0;
  progress_step(text, fraction);
  if (garmin_progress_fn fn = g_observer.load()) fn(text, fraction);
}

void progress_text(const char* text) {
  progress_step(text, -1.0);
  if (garmin_progress_fn fn = g_observer.load()) fn(text, -1.0);
}

exchange make_exchange(com_device* dev, garmin_product* entry) {
  return exchange{dev, entry, dev && dev->usb != nullptr};
}

int route_transfer(com_device* dev, garmin_product* entry, garmin_route_result* out, bool links) {
  garmin_route_result_free(out);
  if (!dev || !entry || !out) return fail(ERR_PROTOCOL);
  exchange x = make_exchange(dev, entry);
  int32_t n = 0;
  if (int r = start_transfer(x, GC_TRANSFER_RTE, &n)) return r;
  int32_t header_cap = 0, point_cap = 0, count_cap = 0;
  int r = 0;
  for (int32_t i = 0; i < n && r == 0; ++i) {
    packet p;
    if ((r = receive(x, p)) != 0) break;
    if (!reserve(&out->headers, &header_cap, out->route_count + 1) ||
        !reserve(&out->route_points, &count_cap, out->route_count + 1) ||
        !reserve(&out->waypoints, &point_cap, out->waypoint_count + 1)) {
      r = fail(ERR_MEMORY);
      break;
    }
    if (p.id == link_id(x, GL_RTE_HDR)) {
      r = unpack(entry->route_header_type, &out->headers[out->route_count], p);
      if (r == 0) out->route_points[out->route_count++] = 0;
    } else if (p.id == link_id(x, GL_RTE_WPT_DATA)) {
      if (out->route_count == 0) {
        r = fail(ERR_PROTOCOL);  // a waypoint belongs to no route yet
        break;
      }
      int32_t& in_route = out->route_points[out->route_count - 1];
      progress(i, n, "Route %d : waypoint %d", out->route_count, in_route);
      r = unpack(entry->waypoint_type, &out->waypoints[out->waypoint_count], p);
      if (r == 0) {
        ++out->waypoint_count;
        ++in_route;
      }
    } else if (links && p.id == link_id(x, GL_RTE_LINK_DATA)) {
      if (entry->route_link_type) {
        garmin_record link{};
        r = unpack(entry->route_link_type, &link, p);
        garmin_record_clear(&link);
      }
    } else {
      r = fail(ERR_PROTOCOL);
    }
  }
  if (r == 0) r = finish_transfer(x, GC_TRANSFER_RTE);
  if (r != 0) garmin_route_result_free(out);
  return r;
}

// An output file with a large buffer: a long track is many short lines.
FILE* open_out(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f) std::setvbuf(f, nullptr, _IOFBF, 1 << 16);
  return f;
}

FILE* open_item(const char* base_name, const char* extension) {
  const std::string path = std::string(base_name ? base_name : "") + "." + (extension ? extension : "");
  FILE* f = open_out(path);
  if (!f) set_gblerr(ERR_FILE_ACCESS);
  return f;
}

const char* description(const garmin_product* e) { return e->description ? e->description : ""; }

// Valid points of a run of track points: the type's count routine, else all of them.
int32_t valid_points(const garmin_dtype* dt, int32_t count, const garmin_record* points) {
  if (dt->count_valid) return dt->count_valid(count, reinterpret_cast<const uint8_t*>(points));
  return count;
}

void write_points(FILE* f, const garmin_dtype* dt, int32_t count, const garmin_record* points) {
  const uint8_t* cursor = reinterpret_cast<const uint8_t*>(points);
  dt->print_records(f, count, &cursor);
}

void write_header(FILE* f, const garmin_dtype* dt, int32_t count, const garmin_record* header) {
  const uint8_t* cursor = reinterpret_cast<const uint8_t*>(header);
  dt->print_record(f, count, &cursor);
}

bool printable(const garmin_dtype* dt) { return dt && dt->print_flags && dt->print_records; }
bool printable_header(const garmin_dtype* dt) { return dt && dt->print_flags && dt->print_record; }

// The numbered part k of a tracklog: base "_t0k" (k < 10) or "_tk", then the extension.
std::string part_path(const char* base_name, int k, const char* extension) {
  return std::string(base_name) + (k < 10 ? "_t0" : "_t") + std::to_string(k) + "." + extension;
}

// Tracks with a header type: one numbered file per track that has a valid point, numbered
// in the order written so that the join takes every one of them. Returns the points
// written, or -1 with gblerr set.
int32_t write_track_parts(const garmin_product* e, const garmin_track_result& t,
                          const char* base_name, const char* extension) {
  const garmin_dtype* hdr = e->track_header_type;
  const garmin_dtype* pt = e->track_point_type;
  int32_t total = 0, written = 0;
  const garmin_record* points = t.points;
  for (int32_t k = 0; k < t.track_count; ++k) {
    const int32_t n = t.track_points[k];
    const int32_t valid = valid_points(pt, n, points);
    if (valid >= 1) {
      FILE* f = open_out(part_path(base_name, written, extension));
      if (!f) {
        set_gblerr(ERR_FILE_ACCESS);
        return -1;
      }
      std::fprintf(f, "TMT-V2_Tarmelo_Tracklog\nGarmin %s %d", description(e), e->product_id);
      hdr->print_flags(f);
      pt->print_flags(f);
      write_header(f, hdr, valid, &t.headers[k]);
      write_points(f, pt, n, points);
      std::fclose(f);
      total += valid;
      ++written;
    }
    points += n;
  }
  // A part left over from an earlier download right after ours would be joined too.
  std::remove(part_path(base_name, written, extension).c_str());
  if (written > 0) {
    const std::string joined = std::string(base_name) + "." + extension;
    tmt_join_numbered_files(joined.c_str());
  }
  return total;
}

}  // namespace

// ---- Records ------------------------------------------------------------------------------

void garmin_records_free(garmin_record* records, int32_t count) {
  if (!records) return;
  for (int32_t i = 0; i < count; ++i) garmin_record_clear(&records[i]);
  delete[] records;
}

void garmin_track_result_free(garmin_track_result* r) {
  if (!r) return;
  garmin_records_free(r->points, r->count);
  garmin_records_free(r->headers, r->track_count);
  delete[] r->track_points;
  *r = garmin_track_result{};
}

void garmin_route_result_free(garmin_route_result* r) {
  if (!r) return;
  garmin_records_free(r->headers, r->route_count);
  garmin_records_free(r->waypoints, r->waypoint_count);
  delete[] r->route_points;
  *r = garmin_route_result{};
}

void garmin_set_progress_observer(garmin_progress_fn fn) { g_observer.store(fn); }

// ---- Transfer routines ----------------------------------------------------------------------

int garmin_a100_transfer(com_device* dev, garmin_product* entry, int32_t* count,
                         garmin_record** waypoints) {
  *count = 0;
  *waypoints = nullptr;
  if (!dev || !entry) return fail(ERR_PROTOCOL);
  exchange x = make_exchange(dev, entry);
  int32_t n = 0;
  if (int r = start_transfer(x, GC_TRANSFER_WPT, &n)) return r;
  garmin_record* recs = nullptr;
  int32_t cap = 0;
  int r = 0;
  for (int32_t got = 0; got < n; ++got) {
    progress(got, n, "Waypoint %d / %d", got, n);
    packet p;
    if ((r = receive(x, p)) != 0) break;
    if (!reserve(&recs, &cap, got + 1)) {
      r = fail(ERR_MEMORY);
      break;
    }
    if (p.id != link_id(x, GL_WPT_DATA)) {
      r = fail(ERR_PROTOCOL);
      break;
    }
    if ((r = unpack(entry->waypoint_type, &recs[got], p)) != 0) break;
  }
  if (r == 0) r = finish_transfer(x, GC_TRANSFER_WPT);
  if (r != 0) {
    garmin_records_free(recs, cap);  // the elements past those unpacked are zero
    return r;
  }
  *count = n;
  *waypoints = recs;
  return 0;
}

int garmin_a200_transfer(com_device* dev, garmin_product* entry, garmin_route_result* out) {
  return route_transfer(dev, entry, out, false);
}

int garmin_a201_transfer(com_device* dev, garmin_product* entry, garmin_route_result* out) {
  return route_transfer(dev, entry, out, true);
}

int garmin_a300_transfer(com_device* dev, garmin_product* entry, garmin_track_result* out) {
  garmin_track_result_free(out);
  if (!dev || !entry || !out) return fail(ERR_PROTOCOL);
  exchange x = make_exchange(dev, entry);
  int32_t n = 0;
  if (int r = start_transfer(x, GC_TRANSFER_TRK, &n)) return r;
  int32_t cap = 0;
  int r = 0;
  for (int32_t i = 0; i < n; ++i) {
    progress(i, n, "Tracklog : point %d / %d", i, n);
    packet p;
    if ((r = receive(x, p)) != 0) break;
    if (!reserve(&out->points, &cap, out->count + 1)) {
      r = fail(ERR_MEMORY);
      break;
    }
    if (p.id != link_id(x, GL_TRK_DATA)) {
      r = fail(ERR_PROTOCOL);
      break;
    }
    if ((r = unpack(entry->track_point_type, &out->points[out->count], p)) != 0) break;
    ++out->count;
  }
  if (r == 0) r = finish_transfer(x, GC_TRANSFER_TRK);
  if (r != 0) garmin_track_result_free(out);
  return r;
}

int garmin_a301_transfer(com_device* dev, garmin_product* entry, garmin_track_result* out) {
  garmin_track_result_free(out);
  if (!dev || !entry || !out) return fail(ERR_PROTOCOL);
  exchange x = make_exchange(dev, entry);
  int32_t n = 0;
  if (int r = start_transfer(x, GC_TRANSFER_TRK, &n)) return r;
  int32_t point_cap = 0, header_cap = 0, count_cap = 0;
  int r = 0;
  for (int32_t i = 0; i < n && r == 0; ++i) {
    packet p;
    if ((r = receive(x, p)) != 0) break;
    if (!reserve(&out->points, &point_cap, out->count + 1) ||
        !reserve(&out->headers, &header_cap, out->track_count + 1) ||
        !reserve(&out->track_points, &count_cap, out->track_count + 1)) {
      r = fail(ERR_MEMORY);
      break;
    }
    if (p.id == link_id(x, GL_TRK_HDR)) {
      r = unpack(entry->track_header_type, &out->headers[out->track_count], p);
      if (r == 0) out->track_points[out->track_count++] = 0;
    } else if (p.id == link_id(x, GL_TRK_DATA)) {
      if (out->track_count == 0) {
        r = fail(ERR_PROTOCOL);  // a point belongs to no track yet
        break;
      }
      int32_t& in_track = out->track_points[out->track_count - 1];
      progress(i, n, "Tracklog %d : point %d", out->track_count, in_track);
      r = unpack(entry->track_point_type, &out->points[out->count], p);
      if (r == 0) {
        ++out->count;
        ++in_track;
      }
    } else {
      r = fail(ERR_PROTOCOL);
    }
  }
  if (r == 0) r = finish_transfer(x, GC_TRANSFER_TRK);
  if (r != 0) garmin_track_result_free(out);
  return r;
}

// ---- Files ----------------------------------------------------------------------------------

void garmin_write_waypoints(void* connection, void* driver, int32_t* count, const char* base_name,
                            const char* extension) {
  int32_t n = 0;
  if (count) *count = 0;
  auto* e = static_cast<garmin_product*>(driver);
  progress_text("Garmin - Waypoints");
  FILE* f = open_item(base_name, extension);
  if (!f) return;
  garmin_record* wpts = nullptr;
  if (!e || !e->waypoint_transfer) {
    set_gblerr(ERR_PROTOCOL);
  } else if (e->waypoint_transfer(static_cast<com_device*>(connection), e, &n, &wpts) == 0 &&
             get_gblerr() == 0 && n > 0) {
    if (!printable(e->waypoint_type)) {
      set_gblerr(ERR_PROTOCOL);
    } else {
      std::fprintf(f, "TMW-V2_Tarmelo_Waypoint\nGarmin %s %d\n", description(e), e->product_id);
      e->waypoint_type->print_flags(f);
      write_points(f, e->waypoint_type, n, wpts);
    }
  }
  std::fclose(f);
  garmin_records_free(wpts, n);
  if (count && get_gblerr() == 0) *count = n;
}

void garmin_write_tracklogs(void* connection, void* driver, int32_t* count, const char* base_name,
                            const char* extension) {
  if (count) *count = 0;
  auto* e = static_cast<garmin_product*>(driver);
  progress_text("Garmin - Tracklogs");
  FILE* f = open_item(base_name, extension);
  if (!f) return;
  if (!e || !e->track_transfer) {
    std::fclose(f);
    set_gblerr(ERR_PROTOCOL);
    return;
  }
  garmin_track_result t;
  if (e->track_transfer(static_cast<com_device*>(connection), e, &t) != 0 || get_gblerr() != 0) {
    std::fclose(f);
    garmin_track_result_free(&t);
    return;
  }
  const garmin_dtype* pt = e->track_point_type;
  int32_t written = 0;
  if (!printable(pt)) {
    set_gblerr(ERR_PROTOCOL);
  } else if (!e->track_header_type || (t.track_count == 0 && t.count > 0)) {
    // One file: the A300 layout (also for points that came without any header).
    std::fprintf(f, "TMT-V2_Tarmelo_Tracklog\nGarmin %s %d", description(e), e->product_id);
    std::fputs(" A300\n0;0;0;0;0;0;0;1;\n", f);
    pt->print_flags(f);
    written = valid_points(pt, t.count, t.points);
    std::fprintf(f, "%d;\n", written);
    write_points(f, pt, t.count, t.points);
  } else if (!printable_header(e->track_header_type)) {
    set_gblerr(ERR_PROTOCOL);
  } else {
    std::fclose(f);
    f = nullptr;
    written = write_track_parts(e, t, base_name, extension);
  }
  if (f) std::fclose(f);
  garmin_track_result_free(&t);
  if (count && written > 0 && get_gblerr() == 0) *count = written;
}

void garmin_write_routes(void* connection, void* driver, int32_t* count, const char* base_name,
                         const char* extension) {
  if (count) *count = 0;
  auto* e = static_cast<garmin_product*>(driver);
  progress_text("Garmin - Routes");
  FILE* f = open_item(base_name, extension);
  if (!f) return;
  garmin_route_result rt;
  if (!e || !e->route_transfer) {
    set_gblerr(ERR_PROTOCOL);
  } else if (e->route_transfer(static_cast<com_device*>(connection), e, &rt) == 0 &&
             get_gblerr() == 0 && rt.route_count > 0) {
    const garmin_dtype* hdr = e->route_header_type;
    const garmin_dtype* wpt = e->waypoint_type;
    if (!printable_header(hdr) || !printable(wpt)) {
      set_gblerr(ERR_PROTOCOL);
    } else {
      std::fprintf(f, "TMR-V2_Tarmelo_Route\nGarmin %s %d", description(e), e->product_id);
      hdr->print_flags(f);
      wpt->print_flags(f);
      const garmin_record* w = rt.waypoints;
      for (int32_t k = 0; k < rt.route_count; ++k) {
        write_header(f, hdr, rt.route_points[k], &rt.headers[k]);
        write_points(f, wpt, rt.route_points[k], w);
        w += rt.route_points[k];
      }
      if (count) *count = rt.waypoint_count;
    }
  }
  std::fclose(f);
  garmin_route_result_free(&rt);
  if (count && get_gblerr() != 0) *count = 0;
}

// ---- Family column --------------------------------------------------------------------------

int32_t garmin_connect(gpsport_t* port) {
  if (!port) return fail(ERR_PROTOCOL);
  return port->kind == GPSPORT_SERIAL ? garmin_serial_reconnect(port) : garmin_usb_reconnect(port);
}

void garmin_install() {
  gps_device_column& c = gps_device_table[GPS_GARMIN];
  c.identify = garmin_identify;
  c.connect = garmin_connect;
  c.download[0] = garmin_write_waypoints;
  c.download[1] = garmin_write_tracklogs;
  c.download[2] = garmin_write_routes;
  c.download[3] = nullptr;
  c.erase[0] = nullptr;
  c.erase[1] = nullptr;
  c.switch_off = garmin_power_off;
  c.close = garmin_close;
  gpsport_set_startup(GPS_STARTUP_GARMIN, garmin_init);
  get_gps_usb_hooks().usb_search = garmin_usb_probe;
}
