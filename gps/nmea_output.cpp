// NMEA sentences as bytes: tails, sending, file and in-memory writes, and the commands
// that switch a receiver's NMEA output on and off. See nmea_output.h.
#include "gps/nmea_output.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/line_store.h"
#include "gps/loggers/frame.h"
#include "gps/nmea_parser.h"
#include "gps/port_io.h"
#include "platform/sys/clock.h"

namespace {

// Markers of the SiRF-type frames: start A0 A2, end B0 B3.
constexpr uint8_t kSwitchMarkers[4] = {0xA0, 0xA2, 0xB0, 0xB3};
constexpr uint8_t kSwitchCommand = 0xBC;
constexpr int kNmeaOffPauseMs = 500;

// The checksum covers the characters after the leading "$".
int sentence_checksum(const char* sentence) {
  if (!sentence) return 0;
  return nmea_checksum(sentence[0] == '$' ? sentence + 1 : sentence);
}

// The sentence followed by its tail, as one string sized from the sentence.
std::string with_tail(const char* sentence) {
  char tail[kNmeaTailSize];
  nmea_checksum_suffix(sentence, tail);
  std::string out = sentence ? sentence : "";
  out.append(tail, kNmeaTailLength);
  return out;
}

void send_switch_frame(void* device, uint8_t on) {
  const uint8_t payload[2] = {kSwitchCommand, on};
  send_framed_message(device, payload, 2, 1, kSwitchMarkers);
}

}  // namespace

const uint8_t kNmeaOnFrame[kNmeaSwitchFrameSize] = {0xA0, 0xA2, 0x00, 0x02, 0xBC,
                                                    0x01, 0x00, 0xBD, 0xB0, 0xB3};
const uint8_t kNmeaOffFrame[kNmeaSwitchFrameSize] = {0xA0, 0xA2, 0x00, 0x02, 0xBC,
                                                     0x00, 0x00, 0xBC, 0xB0, 0xB3};

int nmea_checksum_suffix(const char* sentence, char tail[kNmeaTailSize]) {
  std::snprintf(tail, kNmeaTailSize, "*%02X\r\n", sentence_checksum(sentence) & 0xFF);
  return 2;
}

int nmea_send(void* device, const char* sentence) {
  const std::string bytes = with_tail(sentence);
  com_write(static_cast<com_device*>(device), bytes.data(), int(bytes.size()));
  return int(bytes.size());
}

int nmea_sentence_write(std::FILE* file, const char* sentence) {
  if (!file || !sentence) return 0;
  const std::string bytes = with_tail(sentence);
  return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() ? 1 : 0;
}

int nmea_sentence_write_mem(filemobj_t* store, const char* sentence) {
  if (!store || !sentence) return 0;
  const std::string bytes = with_tail(sentence);
  return filemobj_append(store, bytes.data(), int64_t(bytes.size())) == 0 ? 1 : 0;
}

void gps_nmea_on(void* device, nmea_parser** reader) {
  if (!reader) return;
  *reader = nullptr;
  nmea_send(device, "$PMGNCMD,NMEAON");
  send_switch_frame(device, 1);
  nmea_send(device, "$PROY103,1,0");
  nmea_send(device, "$PROY103,1,1");
  nmea_parser* parser = nullptr;
  nmea_reader_create(device, com_read_routine, &parser);
  if (get_gblerr() != 0) {
    if (parser) nmea_reader_free(&parser);
    return;
  }
  *reader = parser;
}

void gps_nmea_off(nmea_parser* reader) {
  if (!reader) return;
  nmea_send(reader->device, "$PMGNCMD,NMEAOFF");
  send_switch_frame(reader->device, 0);
  plat::sleep_ms(kNmeaOffPauseMs);
}
