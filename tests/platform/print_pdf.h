// Reading back what the printers wrote: the PDF file's structure (every cross-reference
// entry must point at its "n 0 obj"), its pages and their embedded images decoded by a
// small zlib decoder of the test's own, and the poppler tools (pdfinfo, pdftoppm) run as
// child processes for an outside opinion.
#pragma once
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace print_test {

inline std::string read_all(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// ---- zlib streams ---------------------------------------------------------------------

// A plain Deflate decoder (stored, fixed and dynamic blocks) after the classic
// canonical-code reference design; any fault sets `error`.
class Inflate {
 public:
  Inflate(const uint8_t* in, size_t n) : in_(in), n_(n) {}

  bool zlib(std::vector<uint8_t>* out) {
    if (n_ < 6 || (in_[0] & 15) != 8 || ((in_[0] << 8) | in_[1]) % 31 != 0) return fail("zlib header");
    pos_ = 2;
    int last = 0;
    do {
      last = bits(1);
      int type = bits(2);
      if (type == 0) stored(out);
      else if (type == 1) fixed(out);
      else if (type == 2) dynamic(out);
      else fail("block type 3");
    } while (!last && error.empty());
    if (!error.empty()) return false;
    if (pos_ + 4 > n_) return fail("no Adler-32");
    uint32_t a = 1, b = 0;
    for (const uint8_t *p = out->data(), *end = p + out->size(); p < end;) {
      const uint8_t* run_end = p + std::min<size_t>(5552, size_t(end - p));
      for (; p < run_end; ++p) {
        a += *p;
        b += a;
      }
      a %= 65521;
      b %= 65521;
    }
    uint32_t want = uint32_t(in_[pos_]) << 24 | uint32_t(in_[pos_ + 1]) << 16 | uint32_t(in_[pos_ + 2]) << 8 | in_[pos_ + 3];
    if (want != ((b << 16) | a)) return fail("Adler-32 mismatch");
    pos_ += 4;
    return true;
  }
  size_t used() const { return pos_; }
  std::string error;

 private:
  struct Huffman {
    std::vector<int> count = std::vector<int>(16, 0), symbol;
  };

  bool fail(const char* what) {
    if (error.empty()) error = what;
    return false;
  }
  int bits(int need) {
    uint32_t v = bit_buffer_;
    while (bit_count_ < need) {
      if (pos_ >= n_) {
        fail("out of input");
        return 0;
      }
      v |= uint32_t(in_[pos_++]) << bit_count_;
      bit_count_ += 8;
    }
    bit_buffer_ = need < 32 ? v >> need : 0;
    bit_count_ -= need;
    return int(v & ((1u << need) - 1));
  }
  static Huffman build(const int* lengths, int n) {
    Huffman h;
    h.symbol.assign(size_t(n), 0);
    for (int i = 0; i < n; ++i) h.count[size_t(lengths[i])]++;
    std::vector<int> offs(16, 0);
    for (int len = 1; len < 15; ++len) offs[size_t(len) + 1] = offs[size_t(len)] + h.count[size_t(len)];
    for (int i = 0; i < n; ++i)
      if (lengths[i] != 0) h.symbol[size_t(offs[size_t(lengths[i])]++)] = i;
    h.count[0] = 0;
    return h;
  }
  int decode(const Huffman& h) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16 && error.empty(); ++len) {
      code |= bits(1);
      int count = h.count[size_t(len)];
      if (code - count < first) return h.symbol[size_t(index + (code - first))];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    fail("bad code");
    return -1;
  }
  void stored(std::vector<uint8_t>* out) {
    bit_buffer_ = 0;
    bit_count_ = 0;
    if (pos_ + 4 > n_) return (void)fail("stored header");
    unsigned len = in_[pos_] | unsigned(in_[pos_ + 1]) << 8, nlen = in_[pos_ + 2] | unsigned(in_[pos_ + 3]) << 8;
    pos_ += 4;
    if (len != (~nlen & 0xFFFF) || pos_ + len > n_) return (void)fail("stored length");
    out->insert(out->end(), in_ + pos_, in_ + pos_ + len);
    pos_ += len;
  }
  void codes(std::vector<uint8_t>* out, const Huffman& lit, const Huffman& dist) {
    static const int lbase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int lext[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int dbase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                  33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                  1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const int dext[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    while (error.empty()) {
      int sym = decode(lit);
      if (sym < 0) return;
      if (sym < 256) {
        out->push_back(uint8_t(sym));
        continue;
      }
      if (sym == 256) return;
      sym -= 257;
      if (sym >= 29) return (void)fail("length symbol");
      int len = lbase[sym] + bits(lext[sym]);
      int ds = decode(dist);
      if (ds < 0 || ds >= 30) return (void)fail("distance symbol");
      size_t d = size_t(dbase[ds] + bits(dext[ds]));
      if (d > out->size()) return (void)fail("distance too far");
      size_t start = out->size();
      out->resize(start + size_t(len));
      uint8_t* p = out->data() + start;
      for (int i = 0; i < len; ++i) p[i] = p[ptrdiff_t(i) - ptrdiff_t(d)];
    }
  }
  void fixed(std::vector<uint8_t>* out) {
    int lengths[288 + 30];
    for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    for (int i = 0; i < 30; ++i) lengths[288 + i] = 5;
    codes(out, build(lengths, 288), build(lengths + 288, 30));
  }
  void dynamic(std::vector<uint8_t>* out) {
    static const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int nlen = bits(5) + 257, ndist = bits(5) + 1, ncode = bits(4) + 4;
    int lengths[320] = {};
    for (int i = 0; i < ncode; ++i) lengths[order[i]] = bits(3);
    Huffman lencode = build(lengths, 19);
    int index = 0;
    while (index < nlen + ndist && error.empty()) {
      int sym = decode(lencode);
      if (sym < 16) {
        lengths[index++] = sym;
        continue;
      }
      int len = 0, repeat = 0;
      if (sym == 16) {
        if (index == 0) return (void)fail("repeat without length");
        len = lengths[index - 1];
        repeat = 3 + bits(2);
      } else {
        repeat = sym == 17 ? 3 + bits(3) : 11 + bits(7);
      }
      if (index + repeat > nlen + ndist) return (void)fail("too many lengths");
      while (repeat--) lengths[index++] = len;
    }
    codes(out, build(lengths, nlen), build(lengths + nlen, ndist));
  }

  const uint8_t* in_;
  size_t n_;
  size_t pos_ = 0;
  uint32_t bit_buffer_ = 0;
  int bit_count_ = 0;
};

// ---- PDF structure --------------------------------------------------------------------

struct Pdf {
  std::string bytes;
  std::map<int, size_t> offsets;  // object number -> offset, from the cross-reference table
  int root = 0;
  std::string fault;  // the first structural fault found ("" for none)
};

inline long number_after(const std::string& text, const std::string& key, size_t from = 0) {
  size_t at = text.find(key, from);
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + key.size(), nullptr, 10);
}

// Reads a PDF and checks its skeleton: header, startxref, a cross-reference table whose
// in-use entries each point at "<n> 0 obj", and a trailer naming the catalog.
inline Pdf parse_pdf(const std::string& path) {
  Pdf pdf;
  pdf.bytes = read_all(path);
  const std::string& b = pdf.bytes;
  auto fault = [&](const std::string& f) {
    if (pdf.fault.empty()) pdf.fault = f;
    return pdf;
  };
  if (b.compare(0, 7, "%PDF-1.") != 0) return fault("no %PDF header");
  size_t sx = b.rfind("startxref");
  if (sx == std::string::npos || b.find("%%EOF", sx) == std::string::npos) return fault("no startxref/%%EOF");
  size_t xref = size_t(std::strtoull(b.c_str() + sx + 9, nullptr, 10));
  if (b.compare(xref, 5, "xref\n") != 0) return fault("startxref does not point at xref");
  std::istringstream in(b.substr(xref + 5, 64));
  int first = -1, count = -1;
  in >> first >> count;
  size_t table = b.find('\n', xref + 5) + 1;
  if (first != 0 || count <= 0 || table + size_t(count) * 20 > b.size()) return fault("bad xref subsection");
  for (int i = 0; i < count; ++i) {
    std::string entry = b.substr(table + size_t(i) * 20, 20);
    if (entry.size() != 20 || entry[10] != ' ' || entry[16] != ' ' || entry[18] != ' ' || entry[19] != '\n')
      return fault("xref entry " + std::to_string(i) + " is not 20 bytes");
    if (entry[17] == 'f') continue;
    size_t off = size_t(std::strtoull(entry.c_str(), nullptr, 10));
    std::string head = std::to_string(i) + " 0 obj";
    if (b.compare(off, head.size(), head) != 0) return fault("xref entry " + std::to_string(i) + " misses its object");
    pdf.offsets[i] = off;
  }
  size_t trailer = b.find("trailer", table);
  if (trailer == std::string::npos) return fault("no trailer");
  if (number_after(b, "/Size ", trailer) != count) return fault("trailer /Size differs from the xref");
  pdf.root = int(number_after(b, "/Root ", trailer));
  if (!pdf.offsets.count(pdf.root)) return fault("no catalog");
  return pdf;
}

// The text of an object from its "obj" line to "endobj" (streams included).
inline std::string object_text(const Pdf& pdf, int n) {
  auto it = pdf.offsets.find(n);
  if (it == pdf.offsets.end()) return "";
  size_t end = pdf.bytes.find("endobj", it->second);
  return pdf.bytes.substr(it->second, end - it->second);
}

inline std::vector<int> page_objects(const Pdf& pdf) {
  std::string catalog = object_text(pdf, pdf.root);
  std::string pages = object_text(pdf, int(number_after(catalog, "/Pages ")));
  std::vector<int> out;
  size_t kids = pages.find("/Kids [");
  if (kids == std::string::npos) return out;
  std::istringstream in(pages.substr(kids + 7, pages.find(']', kids) - kids - 7));
  int n = 0, gen = 0;
  std::string r;
  while (in >> n >> gen >> r) out.push_back(n);
  return out;
}

struct PageImage {
  double media_width = 0, media_height = 0;  // points
  int width = 0, height = 0, channels = 0;
  std::vector<uint8_t> pixels;  // rows top down
  std::string fault;
  // Colour at a pixel as (r, g, b); grey images give r = g = b.
  std::array<int, 3> at(int x, int y) const {
    const uint8_t* p = &pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels)];
    return channels == 1 ? std::array<int, 3>{p[0], p[0], p[0]} : std::array<int, 3>{p[0], p[1], p[2]};
  }
};

// The media box and the decoded image of a page object.
inline PageImage page_image(const Pdf& pdf, int page) {
  PageImage img;
  std::string p = object_text(pdf, page);
  size_t box = p.find("/MediaBox [");
  if (box == std::string::npos) {
    img.fault = "no media box";
    return img;
  }
  std::istringstream mb(p.substr(box + 11));
  double x0 = 0, y0 = 0;
  mb >> x0 >> y0 >> img.media_width >> img.media_height;
  std::string im = object_text(pdf, int(number_after(p, "/Im0 ")));
  img.width = int(number_after(im, "/Width "));
  img.height = int(number_after(im, "/Height "));
  img.channels = im.find("/DeviceGray") != std::string::npos ? 1 : 3;
  std::string len_obj = object_text(pdf, int(number_after(im, "/Length ")));
  long length = std::strtol(len_obj.c_str() + len_obj.find("obj") + 3, nullptr, 10);
  size_t data = im.find("stream\n");
  if (im.find("/FlateDecode") == std::string::npos || data == std::string::npos || length <= 0 ||
      data + 7 + size_t(length) > im.size() || im.compare(data + 7 + size_t(length), 10, "\nendstream") != 0) {
    img.fault = "image stream and its /Length disagree";
    return img;
  }
  const auto* z = reinterpret_cast<const uint8_t*>(im.data() + data + 7);
  if (img.width > 0 && img.height > 0 && img.width <= 20000 && img.height <= 20000)
    img.pixels.reserve(size_t(img.width) * size_t(img.height) * size_t(img.channels));
  Inflate inflate(z, size_t(length));
  if (!inflate.zlib(&img.pixels)) img.fault = "zlib: " + inflate.error;
  else if (img.pixels.size() != size_t(img.width) * size_t(img.height) * size_t(img.channels))
    img.fault = "image holds " + std::to_string(img.pixels.size()) + " bytes";
  return img;
}

// ---- Outside tools --------------------------------------------------------------------

struct ToolRun {
  int status = -1;  // exit status, -1 when the tool could not be started
  std::string output;  // standard output and error
};

inline ToolRun run_tool(const std::vector<std::string>& args) {
  ToolRun run;
  int fds[2];
  if (pipe(fds) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc == 0) {
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) != 0;) {
      if (n < 0) {
        if (errno == EINTR) continue;
        break;
      }
      run.output.append(buf, size_t(n));
    }
    int st = 0;
    waitpid(pid, &st, 0);
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  close(fds[0]);
  return run;
}

// pdfinfo's "Key: value" lines.
inline std::map<std::string, std::string> pdfinfo(const std::string& path) {
  ToolRun run = run_tool({"pdfinfo", path});
  EXPECT_EQ(run.status, 0) << "pdfinfo (poppler-utils, see scripts/install-deps.sh): " << run.output;
  std::map<std::string, std::string> info;
  std::istringstream in(run.output);
  for (std::string line; std::getline(in, line);) {
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    size_t v = line.find_first_not_of(' ', colon + 1);
    info[line.substr(0, colon)] = v == std::string::npos ? "" : line.substr(v);
  }
  return info;
}

struct Raster {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  std::array<int, 3> at(int x, int y) const {
    const uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
    return {p[0], p[1], p[2]};
  }
};

// One page rendered by pdftoppm at `dpi`, read from its PPM file.
inline Raster render_page(const std::string& pdf, int page, int dpi, const std::string& out_prefix) {
  Raster r;
  ToolRun run = run_tool({"pdftoppm", "-r", std::to_string(dpi), "-f", std::to_string(page), "-l",
                          std::to_string(page), "-singlefile", pdf, out_prefix});
  EXPECT_EQ(run.status, 0) << "pdftoppm (poppler-utils): " << run.output;
  std::string ppm = read_all(out_prefix + ".ppm");
  std::istringstream in(ppm);
  std::string magic;
  int maxval = 0;
  in >> magic >> r.width >> r.height >> maxval;
  in.get();
  size_t start = size_t(in.tellg());
  if (magic != "P6" || maxval != 255 || ppm.size() < start + size_t(r.width) * size_t(r.height) * 3) {
    ADD_FAILURE() << "unreadable PPM from pdftoppm";
    return Raster{};
  }
  r.rgb.assign(ppm.begin() + long(start), ppm.begin() + long(start) + long(size_t(r.width) * size_t(r.height) * 3));
  return r;
}

}  // namespace print_test
