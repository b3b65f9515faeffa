// NMEA sentences as bytes: the checksum tail, sending a sentence to a receiver, writing
// one into a file or an in-memory file, and the commands that switch a receiver's NMEA
// output on and off.
//
// A sentence is held without its tail: "$", the name and the comma-separated fields. Its
// tail is "*", the checksum (nmea_checksum over the characters after the "$") as two
// upper-case hexadecimal digits, CR and LF: five bytes. Sentences of any length are
// handled: the buffers are sized from the sentence, never from an assumed maximum.
//
// The device is a serial device of port I/O (gps/port_io.h): the routines write to it
// with com_write and are used by one thread at a time, like the device.
#pragma once
#include <cstdint>
#include <cstdio>

struct filemobj_t;
struct nmea_parser;

constexpr int kNmeaTailLength = 5;                 // "*XX\r\n"
constexpr int kNmeaTailSize = kNmeaTailLength + 1;  // with the terminator

// The tail of a sentence ("*", "%02X" of the checksum, CR, LF, terminator) into a buffer
// of kNmeaTailSize bytes. Returns 2, the count of checksum digits.
int nmea_checksum_suffix(const char* sentence, char tail[kNmeaTailSize]);
// Sends the sentence and its tail to the serial device in one com_write. Returns the
// count of bytes handed to the device, -1 when no buffer could be had.
int nmea_send(void* device, const char* sentence);
// The sentence's bytes, then its tail. Returns 1 when everything was written, else 0.
int nmea_sentence_write(std::FILE* file, const char* sentence);
// The same appended to an in-memory file. Returns 1 on success, else 0 (gblerr).
int nmea_sentence_write_mem(filemobj_t* store, const char* sentence);

// The binary frames that switch the NMEA output of SiRF-type receivers on and off:
// markers A0 A2, big-endian length 2, payload BC 01 (on) or BC 00 (off), checksum, B0 B3.
constexpr int kNmeaSwitchFrameSize = 10;
extern const uint8_t kNmeaOnFrame[kNmeaSwitchFrameSize];
extern const uint8_t kNmeaOffFrame[kNmeaSwitchFrameSize];

// Prepares a live serial receiver for NMEA: "$PMGNCMD,NMEAON", the "on" frame,
// "$PROY103,1,0", "$PROY103,1,1"; then an NMEA reader on the device (com_read) with its
// fix record in *reader (left null when gblerr is set).
void gps_nmea_on(void* device, nmea_parser** reader);
// "$PMGNCMD,NMEAOFF" and the "off" frame on the reader's device, then 500 ms of sleep.
void gps_nmea_off(nmea_parser* reader);
