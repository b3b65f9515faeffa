// Identification of a Garmin receiver over the serial link and over USB (product
// request, product data, protocol array), and the family routines built on it: identify
// a serial port, probe the n-th USB receiver, reconnect and check that the receiver is
// still the one identified, switch off, and close.
//
// Product data is read only inside the bytes that came: it needs its product id, its
// software version and a description terminated inside the packet; anything shorter is
// a receiver that does not answer as expected (17). Over serial a receiver without a
// protocol array is served by the built-in product table; over USB it is not.
#include <cstring>

#include "core/error.h"
#include "core/memory.h"
#include "gps/garmin/link.h"
#include "gps/garmin/link_internal.h"
#include "gps/garmin/product.h"
#include "gps/gpsport.h"
#include "gps/port_io.h"

namespace {

constexpr int kSerialSpeed = 9600;
// Ext_Product_Data packets skipped before the protocol array, at most.
constexpr int kExtProductLimit = 256;

}  // namespace

int garmin_product_data_parse(const uint8_t* data, size_t size, garmin_product_data* out,
                       char** description) {
  if (!data || size < 4) return set_gblerr(ERR_PROTOCOL);
  const void* end = std::memchr(data + 4, 0, size - 4);
  if (!end) return set_gblerr(ERR_PROTOCOL);
  out->product_id = uint16_t(data[0] | (data[1] << 8));
  out->software_version = int16_t(uint16_t(data[2] | (data[3] << 8)));
  str_set(reinterpret_cast<const char*>(data + 4), description);
  out->description = *description;
  return 0;
}

namespace {

// Frees an entry built from a protocol array; table entries are left alone. An error
// already set stays (the store frees nothing while one is set: it is held aside).
void release_entry(garmin_product** entry) {
  if (!entry || !*entry) return;
  if ((*entry)->from_receiver) {
    const int saved = get_gblerr();
    set_gblerr(0);
    free_obj(entry);
    set_gblerr(saved);
  }
  *entry = nullptr;
}

// The entry built from protocol array data, replacing *entry.
void entry_from_array(const garmin_product_data* pd, const uint8_t* data, size_t size, int usb,
                      garmin_product** entry) {
  garmin_product* fresh = nullptr;
  garmin_product_from_array(pd, &fresh);
  if (!fresh) return;
  garmin_apply_protocol_array(data, size, fresh, usb);
  release_entry(entry);
  *entry = fresh;
}

bool same_text(const char* a, const char* b) {
  return std::strcmp(a ? a : "", b ? b : "") == 0;
}

// Closes a port whose reconnection failed: its entry, its link and its connection.
void close_port(gpsport_t* port) {
  garmin_close(&port->driver);
  gpsport_close(port);
}

// Drops what a port still holds before it is connected again.
void drop_connection(gpsport_t* port) {
  garmin_product* old = static_cast<garmin_product*>(port->driver);
  release_entry(&old);
  port->driver = nullptr;
  com_device* dev = static_cast<com_device*>(port->connection);
  com_close(&dev);
  port->connection = nullptr;
}

// The receiver's tables: Command_Data id and Turn_Off_Pwr code; false when it has none.
bool power_off_codes(const garmin_product* entry, int* id, int* code) {
  if (!entry || !entry->link || !entry->command) return false;
  *id = entry->link->id[GL_COMMAND_DATA];
  *code = entry->command->code[GC_TURN_OFF_PWR];
  return *id >= 0 && *code >= 0;
}

}  // namespace

// ---- Serial ------------------------------------------------------------------------------

int garmin_serial_identify(com_device* port, garmin_product** out) {
  *out = nullptr;
  static const uint8_t kProductRqst[6] = {kGarminDle, kGarminPidProductRqst, 0, 2, kGarminDle,
                                          kGarminEtx};
  int32_t id = 0;
  uint8_t size = 0;
  const uint8_t* data = nullptr;
  bool acked = false;
  for (int tries = 0; tries < kGarminSendTries && !acked; ++tries) {
    com_write(port, kProductRqst, int(sizeof kProductRqst));
    const int err = garmin_receive_packet(port, &id, &size, &data, kGarminAckByteLimit);
    if (err != 0) return err;
    acked = id == kGarminAck && size >= 1 &&
            uint16_t(data[0] | (size >= 2 ? data[1] << 8 : 0)) == kGarminPidProductRqst;
  }
  if (!acked) return set_gblerr(ERR_PROTOCOL);
  const int err = garmin_receive_packet(port, &id, &size, &data, 0);
  if (err != 0) return err;
  if (id != kGarminPidProductData) return set_gblerr(ERR_PROTOCOL);
  garmin_product_data pd{};
  char* description = nullptr;
  if (garmin_product_data_parse(data, size, &pd, &description) != 0) return ERR_PROTOCOL;
  garmin_product_lookup(&pd, out);
  garmin_read_protocol_array(port, &pd, out);
  free_mem(&description);
  if (get_gblerr() != 0) {
    release_entry(out);
    return get_gblerr();
  }
  if (!*out) return set_gblerr(ERR_PROTOCOL);
  return 0;
}

void garmin_read_protocol_array(com_device* port, const garmin_product_data* data,
                                garmin_product** entry) {
  int32_t id = 0;
  uint8_t size = 0;
  const uint8_t* bytes = nullptr;
  if (garmin_receive_packet(port, &id, &size, &bytes, 0) != 0) {
    set_gblerr(0);
    return;
  }
  if (id != kGarminPidProtocolArray) return;
  entry_from_array(data, bytes, size, 0, entry);
}

void garmin_serial_power_off(com_device* port, garmin_product* entry) {
  int id = 0, code = 0;
  if (!power_off_codes(entry, &id, &code)) return;
  garmin_send_command(port, uint8_t(id), uint16_t(code));
}

// ---- USB ---------------------------------------------------------------------------------

int garmin_usb_identify(com_device* dev, garmin_product** out) {
  *out = nullptr;
  int err = garmin_usb_send_packet(dev, kGarminUsbTypeApplication, kGarminPidProductRqst,
                                   nullptr, 0);
  if (err != 0) return err;
  int index = 0;
  garmin_usb_packet p;
  err = garmin_usb_read(dev, &index, &p);
  if (err != 0) return err;
  if (p.count >= kGarminUsbHeaderSize && p.id == kGarminPidProductData) {
    if (garmin_usb_packet_check(&p) != 0) return ERR_PROTOCOL;
    garmin_product_data pd{};
    char* description = nullptr;
    if (garmin_product_data_parse(p.data, p.size, &pd, &description) != 0) return ERR_PROTOCOL;
    err = garmin_usb_read_protocol_array(dev, index, &pd, out);
    free_mem(&description);
    if (err != 0) {
      release_entry(out);
      return err;
    }
    if (*out) return 0;
  }
  return set_gblerr(ERR_PROTOCOL);
}

int garmin_usb_array_packet(const garmin_usb_packet* p, const garmin_product_data* data,
                            garmin_product** out) {
  if (p->count < kGarminUsbHeaderSize + 1 || p->size == 0) return 0;
  if (garmin_usb_packet_check(p) != 0) return 0;
  if (p->id == kGarminPidExtProductData) return 1;
  if (p->id == kGarminPidProtocolArray) entry_from_array(data, p->data, p->size, 1, out);
  return 0;
}

int garmin_usb_read_protocol_array(com_device* dev, int index, const garmin_product_data* data,
                                   garmin_product** out) {
  const int which = index == 1 ? 1 : 0;
  for (int skipped = 0;; ++skipped) {
    if (skipped >= kExtProductLimit) return set_gblerr(ERR_PROTOCOL);
    uint8_t* bytes = nullptr;
    int32_t count = 0;
    if (garmin_usb_readers[which](dev, &bytes, &count) != 0) {
      return get_gblerr() ? get_gblerr() : set_gblerr(ERR_NO_COMM);
    }
    garmin_usb_packet p;
    garmin_usb_decode(bytes, count, &p);
    if (garmin_usb_array_packet(&p, data, out) == 0) break;
  }
  if (get_gblerr() != 0) return get_gblerr();
  if (which == 1) garmin_usb_drain(dev);
  return 0;
}

void garmin_usb_power_off(com_device* dev, garmin_product* entry) {
  int id = 0, code = 0;
  if (!power_off_codes(entry, &id, &code)) return;
  garmin_usb_send_command(dev, uint16_t(code), uint16_t(id));
}

// ---- Family routines ---------------------------------------------------------------------

int32_t garmin_identify(const char* device_name, gpsport_t* port) {
  if (garmin_link_open() != 0) return GPS_IDENTIFY_NONE;
  com_device* dev = nullptr;
  com_open(device_name, kSerialSpeed, &dev);
  if (!dev) {
    garmin_link_free();
    return GPS_IDENTIFY_UNOPENABLE;
  }
  garmin_product* entry = nullptr;
  if (garmin_serial_identify(dev, &entry) != 0) {
    if (get_gblerr() == ERR_PROTOCOL) set_gblerr(0);
    release_entry(&entry);
    com_close(&dev);
    garmin_link_free();
    return GPS_IDENTIFY_NONE;
  }
  drop_connection(port);
  port->family = GPS_GARMIN;
  port->kind = GPSPORT_SERIAL;
  if (device_name != port->device_path) str_set(device_name, &port->device_path);
  port->connection = dev;
  port->driver = entry;
  str_set(entry->description, &port->display_name);
  port->capabilities = garmin_set_capabilities(entry);
  return 1;
}

int garmin_usb_probe(int index, gpsport_t** out) {
  *out = nullptr;
  char* path = nullptr;
  com_device* dev = nullptr;
  usb_find_device(index, &path, &dev);
  if (!dev) {
    free_mem(&path);
    return 0;
  }
  garmin_product* entry = nullptr;
  int err = garmin_usb_start_session(dev);
  if (err == 0) err = garmin_usb_identify(dev, &entry);
  gpsport_t* port = nullptr;
  if (err == 0) gpsport_create(0, GPSPORT_USB, 0, GPS_GARMIN, nullptr, &port);
  if (err != 0 || !port) {
    if (get_gblerr() == ERR_PROTOCOL) set_gblerr(0);
    release_entry(&entry);
    free_mem(&path);
    com_close(&dev);
    return 0;
  }
  port->family = GPS_GARMIN;
  port->kind = GPSPORT_USB;
  free_mem(&port->device_path);
  port->device_path = path;
  port->connection = dev;
  port->driver = entry;
  str_set(entry->description, &port->display_name);
  port->capabilities = garmin_set_capabilities(entry);
  *out = port;
  return 1;
}

int garmin_serial_reconnect(gpsport_t* port) {
  drop_connection(port);
  int err = garmin_link_open();
  if (err != 0) {
    close_port(port);
    return err;
  }
  com_device* dev = nullptr;
  com_open(port->device_path, kSerialSpeed, &dev);
  if (!dev) {
    set_gblerr(ERR_COM_OPEN);
    close_port(port);
    return ERR_COM_OPEN;
  }
  port->connection = dev;
  garmin_product* entry = nullptr;
  err = garmin_serial_identify(dev, &entry);
  port->driver = entry;
  if (err == 0 && !same_text(entry->description, port->display_name)) {
    err = set_gblerr(ERR_PROTOCOL);
  }
  if (err != 0) close_port(port);
  return err;
}

int garmin_usb_reconnect(gpsport_t* port) {
  drop_connection(port);
  com_device* dev = nullptr;
  usb_open(port->device_path, 0, &dev);
  if (!dev) {
    set_gblerr(ERR_COM_OPEN);
    close_port(port);
    return ERR_COM_OPEN;
  }
  port->connection = dev;
  garmin_product* entry = nullptr;
  int err = garmin_usb_start_session(dev);
  if (err == 0) err = garmin_usb_identify(dev, &entry);
  port->driver = entry;
  if (err == 0 && !same_text(entry->description, port->display_name)) {
    err = set_gblerr(ERR_PROTOCOL);
  }
  if (err != 0) close_port(port);
  return err;
}

void garmin_power_off(void* connection, void* driver, int32_t kind) {
  com_device* dev = static_cast<com_device*>(connection);
  garmin_product* entry = static_cast<garmin_product*>(driver);
  if (kind == GPSPORT_USB) {
    garmin_usb_power_off(dev, entry);
  } else {
    garmin_serial_power_off(dev, entry);
  }
}

void garmin_close(void** driver) {
  garmin_link_free();
  if (!driver) return;
  garmin_product* entry = static_cast<garmin_product*>(*driver);
  release_entry(&entry);
  *driver = nullptr;
}
