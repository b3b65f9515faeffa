// Opening and identifying a logger that sits on a plain serial line, for the drivers whose
// context is created on an open device, asked who it is, and freed through the driver's
// close slot. serial_open_and_query opens the device at the given speed, creates the
// context and queries it: the context when the receiver answered; otherwise null with the
// device closed again, and *unopenable set when the device could not even be opened.
// serial_port_identified records on the port a receiver just identified on a serial line:
// family, speed, device path, display name, the open device and driver context the port
// keeps, and the capabilities. serial_port_release frees what a port still holds from its
// identification (context and device) so that a connection starts afresh.
#pragma once

#include <cstdint>

#include "core/memory.h"
#include "gps/gpsport.h"
#include "gps/port_io.h"

template <class Ctx>
Ctx* serial_open_and_query(const char* path, int speed, Ctx* (*create)(void*), int (*query)(Ctx*),
                           void (*free_ctx)(void**), com_device** dev, bool* unopenable) {
  *unopenable = false;
  com_open(path, speed, dev);
  if (!*dev) {
    *unopenable = true;
    return nullptr;
  }
  Ctx* ctx = create(*dev);
  if (ctx && query(ctx)) return ctx;
  void* d = ctx;
  free_ctx(&d);
  com_close(dev);
  return nullptr;
}

inline void serial_port_identified(gpsport_t* port, int32_t family, int32_t speed,
                                   const char* device_name, const char* display_name,
                                   com_device* dev, void* driver, uint32_t capabilities) {
  port->family = family;
  port->kind = GPSPORT_SERIAL;
  port->speed = speed;
  str_set(device_name, &port->device_path);
  str_set(display_name, &port->display_name);
  port->connection = dev;
  port->driver = driver;
  port->capabilities = capabilities;
}

inline void serial_port_release(gpsport_t* port, void (*free_ctx)(void**)) {
  if (port->driver) free_ctx(&port->driver);
  if (port->connection) {
    com_device* old = static_cast<com_device*>(port->connection);
    com_close(&old);
    port->connection = nullptr;
  }
}
