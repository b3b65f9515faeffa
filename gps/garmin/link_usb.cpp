// Garmin USB link: 12-byte packet headers, the choice between the interrupt and the
// bulk pipe (a "data available" packet moves the rest of an exchange to the bulk pipe),
// the session start, commands, and draining the bulk pipe after an exchange.
//
// No packet is trusted beyond the bytes that came: a header is decoded only from 12
// bytes or more, and a packet whose announced data size exceeds what arrived is 17 for
// every reader that looks at its data. Loops over stray packets are bounded.
#include <cstring>

#include "core/error.h"
#include "gps/garmin/link.h"
#include "gps/garmin/link_internal.h"
#include "gps/port_io.h"

namespace {

// Packets skipped while waiting for a particular one (session start, protocol array,
// drain) before the receiver is taken for one that does not answer as expected.
constexpr int kSkipLimit = 256;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

void garmin_usb_decode(const uint8_t* bytes, int32_t count, garmin_usb_packet* out) {
  *out = garmin_usb_packet{};
  out->bytes = bytes;
  out->count = count > 0 ? count : 0;
  if (out->count < kGarminUsbHeaderSize) return;
  out->type = bytes[0];
  out->id = le16(bytes + 4);
  out->size = le32(bytes + 8);
  out->data = bytes + kGarminUsbHeaderSize;
}

namespace {

bool data_available(const garmin_usb_packet& p) {
  return p.count >= kGarminUsbHeaderSize && p.type == kGarminUsbTypeProtocol &&
         p.id == kGarminUsbPidDataAvailable;
}

}  // namespace

const garmin_usb_read_fn garmin_usb_readers[2] = {usb_read_interrupt_all, usb_read_bulk};

int garmin_usb_read(com_device* dev, int* index, garmin_usb_packet* out) {
  const int which = (index && *index == 1) ? 1 : 0;
  uint8_t* bytes = nullptr;
  int32_t count = 0;
  *out = garmin_usb_packet{};
  if (garmin_usb_readers[which](dev, &bytes, &count) != 0) {
    return get_gblerr() ? get_gblerr() : set_gblerr(ERR_NO_COMM);
  }
  garmin_usb_decode(bytes, count, out);
  if (which == 0 && data_available(*out)) {
    if (index) *index = 1;
    if (garmin_usb_readers[1](dev, &bytes, &count) != 0) {
      *out = garmin_usb_packet{};
      return get_gblerr() ? get_gblerr() : set_gblerr(ERR_NO_COMM);
    }
    garmin_usb_decode(bytes, count, out);
  }
  return 0;
}

int garmin_usb_packet_check(const garmin_usb_packet* p) {
  if (!p || p->count < kGarminUsbHeaderSize ||
      p->size > uint32_t(p->count - kGarminUsbHeaderSize)) {
    return set_gblerr(ERR_PROTOCOL);
  }
  return 0;
}

int garmin_usb_send_packet(com_device* dev, uint8_t type, uint16_t id, const void* data,
                           uint32_t size) {
  constexpr uint32_t kMaxData = 256;
  if (size > kMaxData) return set_gblerr(ERR_PARAMETERS);
  uint8_t out[kGarminUsbHeaderSize + kMaxData] = {};
  out[0] = type;
  out[4] = uint8_t(id & 0xFF);
  out[5] = uint8_t(id >> 8);
  for (int i = 0; i < 4; ++i) out[8 + i] = uint8_t(size >> (8 * i));
  if (size) std::memcpy(out + kGarminUsbHeaderSize, data, size);
  if (usb_write(dev, out, int(kGarminUsbHeaderSize + size)) != 0) {
    return get_gblerr() ? get_gblerr() : set_gblerr(ERR_NO_COMM);
  }
  return 0;
}

int garmin_usb_send_command(com_device* dev, uint16_t value, uint16_t packet_id) {
  const uint8_t data[2] = {uint8_t(value & 0xFF), uint8_t(value >> 8)};
  return garmin_usb_send_packet(dev, kGarminUsbTypeApplication, packet_id, data, 2);
}

int garmin_usb_start_session(com_device* dev) {
  int err = garmin_usb_send_packet(dev, kGarminUsbTypeProtocol, kGarminUsbPidStartSession,
                                   nullptr, 0);
  if (err != 0) return err;
  for (int skipped = 0; skipped < kSkipLimit; ++skipped) {
    int index = 0;
    garmin_usb_packet p;
    err = garmin_usb_read(dev, &index, &p);
    if (err != 0) return err;
    if (p.count == 0) return set_gblerr(ERR_PROTOCOL);
    if (p.count >= kGarminUsbHeaderSize && p.type == kGarminUsbTypeProtocol &&
        p.id == kGarminUsbPidSessionStarted) {
      return 0;
    }
  }
  return set_gblerr(ERR_PROTOCOL);
}

void garmin_usb_drain(com_device* dev) {
  for (int reads = 0; reads < kSkipLimit; ++reads) {
    int index = 1;
    garmin_usb_packet p;
    if (garmin_usb_read(dev, &index, &p) != 0) return;
    if (p.count < kGarminUsbHeaderSize || p.size == 0) return;
  }
}
