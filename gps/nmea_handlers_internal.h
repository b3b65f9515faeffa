// Shared by the standard sentence handlers (nmea_handlers.cpp, nmea_handlers_pubx.cpp):
// field conversions and the PUBX entry of the handler table.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct nmea_parser;
struct nmea_fix;

constexpr double kNmeaKmPerNm = 1.852;
// Largest route waypoint list kept (bytes of names and terminators); names past it
// are dropped.
constexpr size_t kNmeaRouteMax = 64 * 1024;

namespace nmea_detail {
// hhmmss.ss as a fraction of a day.
double field_time(const char* text);
// ddmmyy as a packed date (0 when it does not read).
double field_date(const char* text);
// The integer of a field, NULL_INT when empty.
int32_t field_int(const char* text);
// Latitude, N/S, longitude, E/W in seconds of arc.
// False when either number is malformed (the sentence's position is then dropped).
bool read_position(nmea_parser* p, double* latitude, double* longitude);
void skip_fields(nmea_parser* p, int n);
}  // namespace nmea_detail

// Handler 18: the u-blox style PUBX messages 01 (position), 03 (satellites), 04 (time).
void nmea_handle_pubx(nmea_parser* p);
