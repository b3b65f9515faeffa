// Driver of family 3: Emtac Trine loggers ($PEMT sentences on a serial port at 38400
// baud), and the reader of the log file the driver writes (format 64).
//
// The download asks the log status ($PEMT161,0: the record count). Logs of up to 200
// records are asked as text sentences ($PEMT161,4,1,<count>); larger ones with
// $PEMT162,0, whose answer starts an XMODEM transfer (CRC mode) of the binary log of
// 20-byte records, which is converted into the same text sentences. The file begins
// with the receiver's version sentence.
//
// Binary record: five little-endian 32-bit words: time (negative: empty record; bits
// 0-5 second, 6-11 minute, 12-16 hour, 17-21 day, 22-25 month, 26-30 two-digit year),
// latitude and longitude (signed, ddmm.mmmm x 10000), altitude (bits 0-19, 0.1 m), fix
// mode (bits 20-21, bit 22 adds 8), HDOP (bits 23-31, 0.1), heading (bits 0-8 of word
// 5, degrees) and speed (bits 9-23, 0.1).
//
// Bounds: the status wait lasts 3 s, the record wait 50 reads, the erase answer
// kEmtacEraseMs; only the record count's worth of XMODEM data is converted (the rest of
// the last block is padding).
#pragma once
#include <cstdint>
#include <cstdio>

struct com_device;
struct container_t;
struct fileatt_t;
struct gpsport_t;
struct nmea_parser;
struct obj_t;
struct xmodem_rx;

constexpr int kEmtacSpeed = 38400;
constexpr int kEmtacTextLimit = 200;   // more records than this go by XMODEM
constexpr int kEmtacRecordSize = 20;
constexpr int kEmtacFieldSize = 100;
constexpr int kEmtacChunk = 500;
constexpr int kEmtacQueryMs = 3000;
constexpr int kEmtacResendMs = 1000;
constexpr int kEmtacStatusMs = 3000;
constexpr int kEmtacRecordReads = 50;
constexpr int kEmtacEraseMs = 10000;
constexpr int kEmtacFormat = 64;
constexpr uint32_t kEmtacCapabilities = 0x30;

struct emtac_ctx {
  nmea_parser* parser;
  char* version;         // owned: the version sentence "$PEMT163,0,...*XX"
  std::FILE* out;
  char* command;         // owned
  xmodem_rx* xmodem;
  int32_t count;         // records in the log (status answer)
  int32_t received;      // records received
  fileatt_t* data;       // owned: the XMODEM data
  com_device* device;
  int32_t count_known;   // the status answer came
  int32_t erased;        // the erase answer came
};

// Slots of family 3.
int32_t emtac_probe(const char* device_name, gpsport_t* port);
int32_t emtac_open(gpsport_t* port);
void emtac_download_log(void* connection, void* driver, int32_t* count, const char* base_name,
                        const char* extension);
void emtac_erase_log(void* connection, void* driver, int32_t* count);
void emtac_free(void** driver);

// Writes the first `records` 20-byte records of `bytes` (of `size` bytes) as $PEMT161
// type-4 sentences; nothing when the data are shorter than records x 20 bytes. Returns
// the sentences written.
int emtac_convert_log(const uint8_t* bytes, int64_t size, int records, std::FILE* out);
// The receiver's identity in a version sentence: the text after its second comma, up to
// the star of the checksum (*out owned); false when the sentence has no such text.
bool emtac_identity(const char* version, char** out);

// Start-up: the dictionary, and the reader of format 64.
void emtac_sentence_register();
void emtac_sentence_free();
// The dictionary (PEMT160 1, PEMT161 2, PEMT162 3, PEMT163 4), built when missing.
container_t* emtac_dict();
void emtac_sentence_dict_ensure();
int emtac_read_log_file(obj_t* file, container_t* list);
// Fills family 3's routine slots and installs the start-up routine.
void emtac_install();
