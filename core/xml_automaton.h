// The XML automaton shared by the engine's files: character classes, the transition
// table and the action routines it names (see xml.h).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/xml.h"

// Character classes: every byte has exactly one.
enum xml_char_class : uint8_t {
  XC_CONTROL, XC_OTHER, XC_SPACE, XC_LETTER, XC_DIGIT,
  XC_LT, XC_GT, XC_SLASH, XC_EQUALS, XC_DQUOTE, XC_SQUOTE, XC_AMP, XC_SEMICOLON,
  XC_BANG, XC_DASH, XC_LBRACKET, XC_RBRACKET, XC_QUESTION, XC_HASH, XC_COLON,
  XC_COUNT
};

// Actions of the transition table; XA_NONE is the empty slot.
enum xml_action : uint8_t {
  XA_NONE,          // -    nothing
  XA_RESET,         // R    empty text and reference, clear attribute id, flags, mark
  XA_APPEND,        // A    append the byte to the text
  XA_FLUSH,         // F    deliver pending text to the element on top of the stack
  XA_FLUSH_APPEND,  // F+A  flush, then append the byte
  XA_DROP_PREFIX,   // X    drop the name read so far (a namespace prefix)
  XA_HOLD,          // H    hold the byte in the reference buffer
  XA_HOLD_APPEND,   // H+A  append the held bytes, then the byte
  XA_REFERENCE,     // E    resolve the held reference
  XA_KEYWORD,       // K    marked section keyword: CDATA keeps, others drop
  XA_SECTION_END,   // S    end of a marked section
  XA_START_TAG,     // O    element name complete
  XA_POP,           // P    end of an empty element or of '?>'
  XA_ATTR_NAME,     // N    attribute name complete
  XA_ATTR_VALUE,    // V    attribute value complete
  XA_END_TAG,       // C    end-tag name complete
  XA_BLANK,         // B    a blank after pending text that does not end in one: appended
  XA_COUNT
};

struct xml_cell {
  uint8_t action;  // xml_action
  uint8_t next;    // next state
};

// Class of a byte.
uint8_t xml_class_of(unsigned char byte);
// The cell of a state (0..kXmlStates-1) and a class.
xml_cell xml_transition(int state, int cls);
// The same table expanded by byte (state * 256 + byte), for the run loop.
extern const xml_cell* const xml_byte_transitions;

// Recent name lookups, by dictionary (0 elements, 1 attributes): a direct-mapped table
// keyed by a hash of the name. A GPX file names the same few elements millions of
// times; remembering them spares a dictionary search per tag. A name of up to kWords
// words is kept as those words, the bytes past its end zero, so that it is hashed and
// compared a word at a time.
struct xml_name_cache {
  static constexpr int kWords = 3;
  struct entry {
    uint64_t words[kWords];
    int32_t id;
    uint32_t len;  // 0: empty slot
  };
  static constexpr int kSlotBits = 6;
  static constexpr int kSlots = 1 << kSlotBits;
  entry slots[2][kSlots];
};
// Forgets the element names (after the engine adds one to the dictionary).
void xml_forget_element_names(xml_parser_t* ctx);

using xml_action_fn = void (*)(xml_parser_t* ctx, unsigned char byte);
extern const xml_action_fn xml_action_routines[XA_COUNT];

// Runs the automaton over bytes from the context's current state; stops at once when
// an action leaves gblerr set.
void xml_run(xml_parser_t* ctx, const unsigned char* bytes, size_t n);
