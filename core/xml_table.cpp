// The character classes and the transition table of the XML automaton.
//
// Each state has a default cell and the cells that differ from it, written below as
// the table is read: row(state, default action, default next, {class, action, next}...).
// States:
//   0       content, nothing pending          1, 2   character data (2 after a blank)
//   3, 4    reference in content              5      '<' read
//   6       '<!' read                         7      '<!-' read
//   8-10    comment (9 after '-', 10 '--')     11, 12 '<![' read, keyword
//   13-15   marked section (14 after ']', 15 after ']]')
//   16      element name                      17     in a start tag, between attributes
//   18      waiting for the '>' of '/>' or '?>'
//   19      attribute name                    20     after an attribute name
//   21      after '='                         22-25  double-quoted value (22 after a
//           blank, 23 text, 24-25 reference)  26-32  marked section in such a value
//   33-36   single-quoted value               37     '</' read
//   38      end-tag name                      39-45  marked section in a single-quoted
//                                                    value
//   46      skip up to '>'
//   47      content after a comment or a marked section: text may be pending
//   48      declaration name ('<!' and a letter)
//   49      in a declaration, between words   50     declaration word
//   51, 52  quoted literal in a declaration (double, single quotes)
//   53      internal subset of a declaration  54, 55 quoted literal in the subset
//   56      '<' in the subset                 57, 58 '<!', '<!-' in the subset
//   59-61   comment in the subset (60 after '-', 61 after '--')
//   62, 63  processing instruction in the subset (63 after '?')
//   64      ']' that ends the subset, waiting for the declaration's '>'
//
// In a marked section (13-15, and 30-32, 43-45 inside values) ']' characters are held
// until it is known whether they end the section: only "]]>" does, and the ']' held
// before its last two are text (S appends them, and a run longer than the reference
// buffer passes its first ones to the text as they come); a blank after "]]" is text
// too.
//
// A comment or a marked section may come in the middle of a text, so the state after
// it (47) keeps the blank that follows it when text is pending (B), where state 0,
// reached after a tag, drops it as a leading blank.
//
// A declaration is read like a start tag whose words are attribute names without
// values ("<!DOCTYPE gpx SYSTEM 'gpx.dtd'>" opens an element "DOCTYPE" that no end tag
// closes), except that its quoted literals are skipped and '[' opens an internal
// subset. Nothing in the system reads a DTD: the subset is skipped up to the ']' that
// ends it, with its literals, comments and processing instructions skipped whole so
// that a ']' or '>' inside them ends nothing.
//
// For the run loop the table is also expanded to one cell per (state, byte), so that a
// byte costs one lookup.
#include <array>
#include <initializer_list>

#include "core/xml_automaton.h"

namespace {

using classes_t = std::array<uint8_t, 256>;
using table_t = std::array<std::array<xml_cell, XC_COUNT>, kXmlStates>;
using byte_table_t = std::array<xml_cell, kXmlStates * 256>;

constexpr classes_t build_classes() {
  classes_t c{};
  for (int b = 0; b < 256; ++b) c[b] = XC_OTHER;  // 128-255 and the punctuation left
  for (int b = 0; b < 32; ++b) c[b] = XC_CONTROL;
  c[127] = XC_CONTROL;
  for (int b : {9, 10, 13, 32}) c[b] = XC_SPACE;
  for (int b = 'A'; b <= 'Z'; ++b) c[b] = XC_LETTER;
  for (int b = 'a'; b <= 'z'; ++b) c[b] = XC_LETTER;
  c['_'] = XC_LETTER;
  for (int b = '0'; b <= '9'; ++b) c[b] = XC_DIGIT;
  c['.'] = XC_DIGIT;
  c['<'] = XC_LT;
  c['>'] = XC_GT;
  c['/'] = XC_SLASH;
  c['='] = XC_EQUALS;
  c['"'] = XC_DQUOTE;
  c['\''] = XC_SQUOTE;
  c['&'] = XC_AMP;
  c[';'] = XC_SEMICOLON;
  c['!'] = XC_BANG;
  c['-'] = XC_DASH;
  c['['] = XC_LBRACKET;
  c[']'] = XC_RBRACKET;
  c['?'] = XC_QUESTION;
  c['#'] = XC_HASH;
  c[':'] = XC_COLON;
  return c;
}

struct diff {
  uint8_t cls;
  uint8_t action;
  uint8_t next;
};

constexpr table_t build_table() {
  table_t t{};
  std::array<bool, kXmlStates> written{};
  auto row = [&t, &written](int s, xml_action a, int next, std::initializer_list<diff> diffs) {
    written[s] = true;
    for (auto& cell : t[s]) cell = {a, uint8_t(next)};
    for (const diff& d : diffs) t[s][d.cls] = {d.action, d.next};
  };
  // Short names for the actions, as the table is written.
  constexpr xml_action _ = XA_NONE, R = XA_RESET, A = XA_APPEND, F = XA_FLUSH,
                       FA = XA_FLUSH_APPEND, X = XA_DROP_PREFIX, H = XA_HOLD,
                       HA = XA_HOLD_APPEND, E = XA_REFERENCE, K = XA_KEYWORD,
                       S = XA_SECTION_END, O = XA_START_TAG, P = XA_POP, N = XA_ATTR_NAME,
                       V = XA_ATTR_VALUE, C = XA_END_TAG, B = XA_BLANK;
  // The cells of the internal subset outside literals, comments and instructions,
  // then the state's own.
  auto subset = [&t, &row](int s, std::initializer_list<diff> diffs) {
    row(s, XA_NONE, 53, {{XC_DQUOTE, XA_NONE, 54}, {XC_SQUOTE, XA_NONE, 55},
                         {XC_LT, XA_NONE, 56}, {XC_RBRACKET, XA_NONE, 64}});
    for (const diff& d : diffs) t[s][d.cls] = {d.action, d.next};
  };

  // Content and references in content.
  row(0, A, 1, {{XC_CONTROL, _, 0}, {XC_SPACE, _, 0}, {XC_LT, _, 5}, {XC_GT, _, 0}, {XC_AMP, H, 3}});
  row(1, A, 1, {{XC_CONTROL, _, 1}, {XC_SPACE, A, 2}, {XC_LT, _, 5}, {XC_AMP, H, 3}});
  row(2, A, 1, {{XC_CONTROL, _, 2}, {XC_SPACE, _, 2}, {XC_LT, _, 5}, {XC_AMP, H, 3}});
  row(3, R, 0, {{XC_OTHER, H, 4}, {XC_LETTER, H, 4}, {XC_DIGIT, H, 4}, {XC_SEMICOLON, E, 1},
                {XC_HASH, H, 4}, {XC_COLON, H, 4}});
  row(4, R, 0, {{XC_OTHER, H, 4}, {XC_LETTER, H, 4}, {XC_DIGIT, H, 4}, {XC_SEMICOLON, E, 1},
                {XC_COLON, H, 4}});
  // Markup openings, comments and marked sections in content.
  row(5, _, 46, {{XC_SPACE, _, 5}, {XC_LETTER, FA, 16}, {XC_GT, _, 0}, {XC_SLASH, F, 37},
                 {XC_BANG, _, 6}, {XC_QUESTION, _, 5}, {XC_COLON, FA, 16}});
  row(6, _, 46, {{XC_LETTER, FA, 48}, {XC_GT, _, 0}, {XC_DASH, _, 7}, {XC_LBRACKET, _, 11}});
  row(7, _, 46, {{XC_GT, R, 0}, {XC_DASH, _, 8}});
  row(8, _, 8, {{XC_DASH, _, 9}});
  row(9, _, 8, {{XC_DASH, _, 10}});
  row(10, _, 8, {{XC_GT, _, 47}, {XC_DASH, _, 10}});
  row(11, _, 46, {{XC_SPACE, _, 11}, {XC_LETTER, H, 12}, {XC_GT, R, 0}});
  row(12, _, 46, {{XC_SPACE, _, 12}, {XC_LETTER, H, 12}, {XC_DIGIT, H, 12}, {XC_GT, R, 0},
                  {XC_LBRACKET, K, 13}, {XC_COLON, H, 12}});
  row(13, A, 13, {{XC_CONTROL, _, 13}, {XC_RBRACKET, H, 14}});
  row(14, HA, 13, {{XC_RBRACKET, H, 15}});
  row(15, HA, 13, {{XC_GT, S, 47}, {XC_RBRACKET, H, 15}});
  // Start tags and attributes.
  row(16, _, 46, {{XC_SPACE, O, 17}, {XC_LETTER, A, 16}, {XC_DIGIT, A, 16}, {XC_GT, O, 0},
                  {XC_SLASH, O, 18}, {XC_DASH, A, 16}, {XC_QUESTION, O, 18}, {XC_COLON, X, 16}});
  row(17, _, 46, {{XC_SPACE, _, 17}, {XC_LETTER, A, 19}, {XC_GT, _, 0}, {XC_SLASH, _, 18},
                  {XC_QUESTION, _, 18}, {XC_COLON, A, 19}});
  row(18, _, 46, {{XC_SPACE, _, 18}, {XC_GT, P, 0}});
  row(19, _, 46, {{XC_SPACE, N, 20}, {XC_LETTER, A, 19}, {XC_DIGIT, A, 19}, {XC_GT, N, 0},
                  {XC_SLASH, N, 18}, {XC_EQUALS, N, 21}, {XC_DASH, A, 19}, {XC_QUESTION, N, 18},
                  {XC_COLON, X, 19}});
  row(20, _, 46, {{XC_SPACE, _, 20}, {XC_LETTER, A, 19}, {XC_GT, _, 0}, {XC_SLASH, _, 18},
                  {XC_EQUALS, _, 21}, {XC_QUESTION, _, 18}, {XC_COLON, A, 19}});
  row(21, _, 46, {{XC_SPACE, _, 21}, {XC_GT, R, 0}, {XC_DQUOTE, _, 22}, {XC_SQUOTE, _, 33}});
  // Double-quoted values.
  row(22, A, 23, {{XC_CONTROL, _, 22}, {XC_SPACE, _, 22}, {XC_LT, _, 26}, {XC_DQUOTE, V, 17},
                  {XC_AMP, H, 24}});
  row(23, A, 23, {{XC_CONTROL, _, 23}, {XC_SPACE, A, 22}, {XC_LT, _, 26}, {XC_DQUOTE, V, 17},
                  {XC_AMP, H, 24}});
  row(24, _, 46, {{XC_OTHER, H, 25}, {XC_LETTER, H, 25}, {XC_DIGIT, H, 25}, {XC_GT, R, 0},
                  {XC_DQUOTE, V, 17}, {XC_SEMICOLON, E, 23}, {XC_HASH, H, 25}, {XC_COLON, H, 25}});
  row(25, _, 46, {{XC_OTHER, H, 25}, {XC_LETTER, H, 25}, {XC_DIGIT, H, 25}, {XC_GT, R, 0},
                  {XC_DQUOTE, V, 17}, {XC_SEMICOLON, E, 23}, {XC_COLON, H, 25}});
  row(26, _, 46, {{XC_SPACE, _, 26}, {XC_GT, _, 0}, {XC_BANG, _, 27}});
  row(27, _, 46, {{XC_SPACE, _, 27}, {XC_GT, _, 0}, {XC_LBRACKET, _, 28}});
  row(28, _, 46, {{XC_SPACE, _, 28}, {XC_LETTER, H, 29}, {XC_GT, R, 0}});
  row(29, _, 46, {{XC_SPACE, _, 29}, {XC_LETTER, H, 29}, {XC_DIGIT, H, 29}, {XC_GT, R, 0},
                  {XC_LBRACKET, K, 30}, {XC_COLON, H, 29}});
  row(30, A, 30, {{XC_CONTROL, _, 30}, {XC_RBRACKET, H, 31}});
  row(31, HA, 30, {{XC_RBRACKET, H, 32}});
  row(32, HA, 30, {{XC_GT, S, 23}, {XC_RBRACKET, H, 32}});
  // Single-quoted values.
  row(33, A, 34, {{XC_CONTROL, _, 33}, {XC_SPACE, _, 33}, {XC_LT, _, 39}, {XC_SQUOTE, V, 17},
                  {XC_AMP, H, 35}});
  row(34, A, 34, {{XC_CONTROL, _, 34}, {XC_SPACE, A, 33}, {XC_LT, _, 39}, {XC_SQUOTE, V, 17},
                  {XC_AMP, H, 35}});
  row(35, _, 46, {{XC_OTHER, H, 36}, {XC_LETTER, H, 36}, {XC_DIGIT, H, 36}, {XC_GT, R, 0},
                  {XC_SQUOTE, V, 17}, {XC_SEMICOLON, E, 34}, {XC_HASH, H, 36}, {XC_COLON, H, 36}});
  row(36, _, 46, {{XC_OTHER, H, 36}, {XC_LETTER, H, 36}, {XC_DIGIT, H, 36}, {XC_GT, R, 0},
                  {XC_SQUOTE, V, 17}, {XC_SEMICOLON, E, 34}, {XC_COLON, H, 36}});
  // End tags.
  row(37, _, 46, {{XC_SPACE, _, 37}, {XC_LETTER, A, 38}, {XC_GT, _, 0}, {XC_COLON, A, 38}});
  row(38, _, 46, {{XC_SPACE, C, 46}, {XC_LETTER, A, 38}, {XC_DIGIT, A, 38}, {XC_GT, C, 0},
                  {XC_DASH, A, 38}, {XC_COLON, X, 38}});
  // Marked sections in single-quoted values.
  row(39, _, 46, {{XC_SPACE, _, 39}, {XC_GT, _, 0}, {XC_BANG, _, 40}});
  row(40, _, 46, {{XC_SPACE, _, 40}, {XC_GT, _, 0}, {XC_LBRACKET, _, 41}});
  row(41, _, 46, {{XC_SPACE, _, 41}, {XC_LETTER, H, 42}, {XC_GT, R, 0}});
  row(42, _, 46, {{XC_SPACE, _, 42}, {XC_LETTER, H, 42}, {XC_DIGIT, H, 42}, {XC_GT, R, 0},
                  {XC_LBRACKET, K, 43}, {XC_COLON, H, 42}});
  row(43, A, 43, {{XC_CONTROL, _, 43}, {XC_RBRACKET, H, 44}});
  row(44, HA, 43, {{XC_RBRACKET, H, 45}});
  row(45, HA, 43, {{XC_GT, S, 34}, {XC_RBRACKET, H, 45}});
  // Skipping.
  row(46, _, 46, {{XC_GT, R, 0}});
  // Content after a comment or a marked section.
  row(47, A, 1, {{XC_CONTROL, _, 47}, {XC_SPACE, B, 47}, {XC_LT, _, 5}, {XC_GT, _, 47},
                 {XC_AMP, H, 3}});
  // Declarations.
  row(48, _, 46, {{XC_SPACE, O, 49}, {XC_LETTER, A, 48}, {XC_DIGIT, A, 48}, {XC_GT, O, 0},
                  {XC_DASH, A, 48}, {XC_LBRACKET, O, 53}, {XC_COLON, X, 48}});
  row(49, _, 46, {{XC_SPACE, _, 49}, {XC_LETTER, A, 50}, {XC_GT, _, 0}, {XC_DQUOTE, _, 51},
                  {XC_SQUOTE, _, 52}, {XC_LBRACKET, _, 53}, {XC_COLON, A, 50}});
  row(50, _, 46, {{XC_SPACE, N, 49}, {XC_LETTER, A, 50}, {XC_DIGIT, A, 50}, {XC_GT, N, 0},
                  {XC_DQUOTE, N, 51}, {XC_SQUOTE, N, 52}, {XC_DASH, A, 50},
                  {XC_LBRACKET, N, 53}, {XC_COLON, X, 50}});
  row(51, _, 51, {{XC_DQUOTE, _, 49}});
  row(52, _, 52, {{XC_SQUOTE, _, 49}});
  // The internal subset.
  subset(53, {});
  row(54, _, 54, {{XC_DQUOTE, _, 53}});
  row(55, _, 55, {{XC_SQUOTE, _, 53}});
  subset(56, {{XC_BANG, _, 57}, {XC_QUESTION, _, 62}});
  subset(57, {{XC_DASH, _, 58}});
  subset(58, {{XC_DASH, _, 59}});
  row(59, _, 59, {{XC_DASH, _, 60}});
  row(60, _, 59, {{XC_DASH, _, 61}});
  row(61, _, 59, {{XC_GT, _, 53}, {XC_DASH, _, 61}});
  row(62, _, 62, {{XC_QUESTION, _, 63}});
  row(63, _, 62, {{XC_GT, _, 53}, {XC_QUESTION, _, 63}});
  subset(64, {{XC_SPACE, _, 64}, {XC_GT, _, 0}});
  for (bool w : written)
    if (!w) throw "every state has a row";  // stops the compilation
  return t;
}

constexpr classes_t kClasses = build_classes();
constexpr table_t kTable = build_table();

constexpr byte_table_t expand() {
  byte_table_t out{};
  for (int s = 0; s < kXmlStates; ++s)
    for (int b = 0; b < 256; ++b) out[s * 256 + b] = kTable[s][kClasses[b]];
  return out;
}

constexpr byte_table_t kByteTable = expand();

// Every next state is a state of the table.
constexpr bool next_states_valid() {
  for (const auto& r : kTable)
    for (const xml_cell& c : r)
      if (c.next >= kXmlStates || c.action >= XA_COUNT) return false;
  return true;
}
static_assert(next_states_valid());

}  // namespace

uint8_t xml_class_of(unsigned char byte) { return kClasses[byte]; }

xml_cell xml_transition(int state, int cls) { return kTable[state][cls]; }

const xml_cell* const xml_byte_transitions = kByteTable.data();
