// What the MediaTek driver and its log reader share: the sentence dictionary, a parser
// on it, field splitting and number parsing of the $PMTK fields.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "gps/nmea_parser.h"

// The fields of a handled sentence (the text after the first comma), split at commas.
std::vector<std::string_view> mtk_split_fields(const char* fields);
// Hexadecimal of 1 to 8 digits, decimal of 1 to 9 digits; false for anything else.
bool mtk_parse_hex(std::string_view s, uint32_t* out);
bool mtk_parse_decimal(std::string_view s, uint32_t* out);
// 0..15, or -1 for a character that is no hexadecimal digit.
int mtk_hex_digit(char ch);
// The dictionary of the seven $PMTK names (built by mtk_module_init).
container_t* mtk_sentence_dict();
// A parser on that dictionary with the given handler table (8 entries) and field size.
int mtk_parser_new(void* device, const nmea_handler* handlers, int size, nmea_parser** out);
// The reader's part of the start-up: registers the reader of format 69.
void mtk_log_module_init();
