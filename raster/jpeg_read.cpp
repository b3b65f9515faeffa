// The JPEG reader's marker automaton and entry point (jpeg_read.h).
//
// Every byte between segments goes through one table: its class (one per marker kind)
// and the current state select an action and the next state. State 0 lies between
// segments, state 1 after a 0xFF outside any frame, states 2 to 14 inside a frame of
// each of the thirteen SOF kinds and states 15 to 27 after a 0xFF inside those frames.
// Fill bytes 0xFF before a marker keep the automaton where it is. A frame state returns
// to itself after each segment, so restart markers and further scans of the frame run
// its scan decoder again. The first error ends the walk.
#include "raster/jpeg_read.h"

#include <memory>

#include "core/error.h"
#include "core/reader.h"
#include "map/bitmap_record.h"
#include "raster/decoder_file.h"
#include "raster/jpeg_state.h"

namespace {

constexpr int64_t kJpegBuffer = int64_t(256) << 10;
constexpr int kStates = 29;
constexpr int kClasses = 34;

enum action : uint8_t {
  kNothing = 0, kEoi = 1, kSyntax = 2, kSkip = 3, kApp0 = 4, kApp1 = 5, kApp8 = 6, kDqt = 7,
  kRefusedSof = 8, kSequentialSof = 9, kProgressiveSof = 10, kDht = 11, kSos = 12, kSoi = 13,
  kDri = 14, kRst = 15, kSkipOther = 16, kOtherApp = 20
};

// Byte classes (the marker kinds).
enum : uint8_t {
  kPrefix = 0, kSoiClass = 1, kEoiClass = 2, kCom = 3, kApp0Class = 4, kApp1Class = 5,
  kApp8Class = 6, kAppOther = 7, kSosClass = 8, kDqtClass = 9, kDnl = 10, kDriClass = 11,
  kDhp = 12, kExp = 13, kSof0 = 14, kSof15 = 26, kDhtClass = 27, kDac = 28, kRstClass = 29,
  kJpgn = 30, kTem = 31, kZero = 32, kOther = 33
};

struct cell {
  uint8_t action = 0, next = 0;
};

struct automaton {
  uint8_t byte_class[256] = {};
  cell table[kStates][kClasses] = {};
};

constexpr uint8_t kSofBytes[13] = {0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7,
                                   0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF};

constexpr void build_classes(automaton& a) {
  for (int b = 0; b < 256; ++b) a.byte_class[b] = kOther;
  a.byte_class[0xFF] = kPrefix;
  a.byte_class[0xD8] = kSoiClass;
  a.byte_class[0xD9] = kEoiClass;
  a.byte_class[0xFE] = kCom;
  a.byte_class[0xE0] = kApp0Class;
  a.byte_class[0xE1] = kApp1Class;
  a.byte_class[0xE8] = kApp8Class;
  for (int b = 0xE2; b <= 0xEF; ++b)
    if (b != 0xE8) a.byte_class[b] = kAppOther;
  a.byte_class[0xDA] = kSosClass;
  a.byte_class[0xDB] = kDqtClass;
  a.byte_class[0xDC] = kDnl;
  a.byte_class[0xDD] = kDriClass;
  a.byte_class[0xDE] = kDhp;
  a.byte_class[0xDF] = kExp;
  for (int i = 0; i < 13; ++i) a.byte_class[kSofBytes[i]] = uint8_t(kSof0 + i);
  a.byte_class[0xC4] = kDhtClass;
  a.byte_class[0xCC] = kDac;
  for (int b = 0xD0; b <= 0xD7; ++b) a.byte_class[b] = kRstClass;
  a.byte_class[0xC8] = kJpgn;
  for (int b = 0xF0; b <= 0xFD; ++b) a.byte_class[b] = kJpgn;
  a.byte_class[0x01] = kTem;
  a.byte_class[0x00] = kZero;
}

// The row of a marker state: after a 0xFF outside any frame (home 0) or inside the frame
// of state `home` (2 to 14), to which the segment actions return.
constexpr void marker_row(automaton& a, int row, int home) {
  const bool in_frame = home != 0;
  const bool arithmetic = home >= 9 && home <= 14;
  const uint8_t h = uint8_t(home);
  cell* r = a.table[row];
  for (int c = 0; c < kClasses; ++c) r[c] = {kSyntax, 0};
  r[kPrefix] = {kNothing, uint8_t(row)};  // fill byte
  r[kSoiClass] = {kSoi, 0};
  r[kEoiClass] = {kEoi, 0};
  r[kCom] = {kSkip, h};
  r[kApp0Class] = {kApp0, h};
  r[kApp1Class] = {kApp1, h};
  r[kApp8Class] = {kApp8, h};
  r[kAppOther] = {kOtherApp, h};
  r[kSosClass] = {kSos, h};
  r[kDqtClass] = {kDqt, h};
  r[kDnl] = {kSkipOther, h};
  r[kDriClass] = {kDri, h};
  r[kDhp] = {kSkipOther, h};
  r[kExp] = {kSkipOther, h};
  for (int i = 0; i < 13; ++i) {
    const uint8_t act = i < 2 ? kSequentialSof : i == 2 ? kProgressiveSof : kRefusedSof;
    r[kSof0 + i] = {act, uint8_t(2 + i)};
  }
  r[kDhtClass] = {arithmetic ? kSkip : kDht, h};
  r[kDac] = {in_frame ? kSkip : kSkipOther, h};
  r[kRstClass] = in_frame ? cell{kRst, h} : cell{kSyntax, 0};
  r[kJpgn] = {kSkipOther, h};
  r[kTem] = {in_frame ? kSkip : kSkipOther, h};
  if (home == 4) r[kZero] = {kNothing, 4};
}

constexpr automaton build_automaton() {
  automaton a;
  build_classes(a);
  for (int c = 0; c < kClasses; ++c) a.table[0][c] = {kSyntax, 0};
  a.table[0][kPrefix] = {kNothing, 1};
  marker_row(a, 1, 0);
  for (int s = 2; s <= 14; ++s) {
    for (int c = 0; c < kClasses; ++c)
      a.table[s][c] = s == 4 ? cell{kNothing, 4} : cell{kSyntax, 0};  // progressive: ignored
    a.table[s][kPrefix] = {kNothing, uint8_t(s + 13)};
    marker_row(a, s + 13, s);
  }
  return a;  // row 28 stays all zero
}

constexpr automaton kAutomaton = build_automaton();

void run_action(jpeg_state* st, int act, int byte) {
  switch (act) {
    case kEoi:
      if (st->frame.present && st->frame.buffered) jpeg_output_buffered(st);
      st->done = true;
      break;
    case kSyntax: jpeg_set_error(st, ERR_BAD_FILE); break;
    case kSkip:
    case kSkipOther: jpeg_skip_segment(st); break;
    case kApp0: jpeg_app0(st); break;
    case kApp1: jpeg_app1(st); break;
    case kApp8: jpeg_app8(st); break;
    case kOtherApp: jpeg_other_app(st, byte); break;
    case kDqt: jpeg_dqt(st); break;
    case kRefusedSof: jpeg_refused_sof(st, byte - 0xC0); break;
    case kSequentialSof: jpeg_sof(st, byte - 0xC0); break;
    case kProgressiveSof: jpeg_sof(st, kJpegProgressive); break;
    case kDht: jpeg_dht(st); break;
    case kSos: jpeg_sos(st); break;
    case kSoi:
      st->restart_interval = 0;
      st->restart_count = 0;
      break;
    case kDri: jpeg_dri(st); break;
    case kRst:
      ++st->restart_count;
      jpeg_decode_scan(st);
      break;
    default: break;
  }
}

int decode(bitmap_t* image) {
  auto st = std::make_unique<jpeg_state>();
  st->image = image;
  image->bits_per_sample = 0;
  jpeg_reset(st.get());
  rd_seek(2, 0);
  int state = 0;
  while (!st->done && !st->error) {
    const int byte = rd_read_byte();
    if (get_gblerr()) {
      jpeg_set_error(st.get(), get_gblerr());
      break;
    }
    const cell c = kAutomaton.table[state][kAutomaton.byte_class[byte]];
    run_action(st.get(), c.action, byte);
    if (get_gblerr()) jpeg_set_error(st.get(), get_gblerr());
    state = c.next;
  }
  set_gblerr(0);
  return 0;
}

}  // namespace

int jpeg_read(bitmap_t* image, int*) { return decode_image_file(image, kJpegBuffer, decode); }
