// Writing a document's PDF file: objects as the pages come, the catalog, page tree,
// information, cross-reference table and trailer at the end, then the rename.
//
// Object numbers: 1 the catalog, 2 the page tree, 3 the document information; page k
// (from 0) has 4 + 4k its image, 5 + 4k the image's length (known only once the image
// is compressed), 6 + 4k its content stream and 7 + 4k the page itself.
//
// Numbers are written by hand (integers, and hundredths of a point for sizes) so that
// the file never depends on the process's locale.
#include "platform/print/pdf_writer.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "platform/sys/deflate_writer.h"
#include "platform/sys/utf.h"

namespace plat {

namespace {

constexpr size_t kBufferSize = 65536;
constexpr int kBandRows = 64;  // rows written between two questions to keep going
constexpr int kMaxUniqueNames = 9999;
constexpr int kFirstPageObject = 4;
constexpr int kObjectsPerPage = 4;

std::atomic<unsigned> g_temp_counter{0};

std::string error_text(int err) {
  char buf[256];
  return strerror_r(err, buf, sizeof buf);  // the GNU variant returns the text
}

// Hundredths of a point as "595.28".
std::string hundredths(int64_t v) {
  std::string frac = std::to_string(v % 100);
  return std::to_string(v / 100) + "." + (frac.size() < 2 ? "0" : "") + frac;
}

// Tenths of a millimetre in hundredths of a point, rounded.
int64_t points_x100(int tenth_mm) { return (int64_t(tenth_mm) * 7200 + 127) / 254; }

std::string offset_entry(uint64_t offset) {
  char line[24];
  snprintf(line, sizeof line, "%010llu 00000 n \n", static_cast<unsigned long long>(offset));
  return line;
}

// " 7 0 R": a reference to an object as an entry of an array. Formatted in one piece:
// g++ 12 at -O2 takes `literal + std::string` for an overlapping copy (-Wrestrict).
std::string array_reference(int object) {
  char entry[24];
  snprintf(entry, sizeof entry, " %d 0 R", object);
  return entry;
}

// A PDF text string: plain ASCII as a literal string, anything else as UTF-16 with a
// byte-order mark, in hexadecimal.
std::string pdf_text(const std::string& s) {
  bool ascii = true;
  for (char c : s) ascii = ascii && c >= 0x20 && c < 0x7F;
  if (ascii) {
    std::string out = "(";
    for (char c : s) {
      if (c == '(' || c == ')' || c == '\\') out += '\\';
      out += c;
    }
    return out + ")";
  }
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "<FEFF";
  for (char16_t u : utf8_to_utf16(s))
    for (int shift : {12, 8, 4, 0}) out += kHex[(u >> shift) & 15];
  return out + ">";
}

std::string folder_error(const std::string& folder, int err) {
  switch (err) {
    case ENOENT: return "The folder \"" + folder + "\" does not exist.";
    case ENOTDIR: return "\"" + folder + "\" is not a folder.";
    case EACCES: case EPERM: case EROFS: return "The folder \"" + folder + "\" cannot be written.";
    default: return "No file can be made in \"" + folder + "\": " + error_text(err) + ".";
  }
}

// Renames without replacing an existing file: 0, or the errno (EEXIST when taken).
// File systems without the no-replace rename get a hard link and an unlink, and those
// without hard links a check before the rename.
int rename_no_replace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (link(from.c_str(), to.c_str()) == 0) {
    unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) return EEXIST;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

PdfWriter::~PdfWriter() { discard(); }

int PdfWriter::open(const std::string& folder) {
  folder_ = folder;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path_ = folder + ".print-" + std::to_string(getpid()) + "-" + std::to_string(g_temp_counter++) + ".part";
    fd_ = ::open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0 || errno != EEXIST) break;
  }
  if (fd_ < 0) {
    int err = errno;
    temp_path_.clear();
    set_print_error(folder_error(folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder, err));
    return SP_ERROR;
  }
  buffer_.reserve(kBufferSize);
  object_offsets_.assign(kFirstPageObject, 0);
  return put("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n") ? 1 : fail("writing the document");
}

bool PdfWriter::put(const void* bytes, size_t n) {
  if (error_) return false;
  const auto* p = static_cast<const uint8_t*>(bytes);
  offset_ += n;
  while (n > 0) {
    size_t take = std::min(n, kBufferSize - buffer_.size());
    buffer_.insert(buffer_.end(), p, p + take);
    p += take;
    n -= take;
    if (buffer_.size() == kBufferSize && !flush()) return false;
  }
  return true;
}

bool PdfWriter::flush() {
  for (size_t done = 0; done < buffer_.size() && !error_;) {
    ssize_t w = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) error_ = w < 0 ? errno : ENOSPC;
    else done += size_t(w);
  }
  buffer_.clear();
  return !error_;
}

void PdfWriter::begin_object(int number) {
  if (object_offsets_.size() <= size_t(number)) object_offsets_.resize(size_t(number) + 1, 0);
  object_offsets_[size_t(number)] = offset_;
  put(std::to_string(number) + " 0 obj\n");
}

int PdfWriter::fail(const char* what) {
  int err = error_ ? error_ : EIO;
  set_print_error(std::string("The document could not be written (") + what + "): " + error_text(err) + ".");
  return err == ENOSPC || err == EDQUOT ? SP_OUTOFDISK : SP_ERROR;
}

int PdfWriter::add_page(const Surface& page, const PageGeometry& g, const std::function<bool()>& keep_going) {
  const int image = kFirstPageObject + kObjectsPerPage * pages();
  const int channels = g.grey ? 1 : 3;
  begin_object(image);
  put("<< /Type /XObject /Subtype /Image /Width " + std::to_string(page.width) + " /Height " +
      std::to_string(page.height) + (g.grey ? " /ColorSpace /DeviceGray" : " /ColorSpace /DeviceRGB") +
      " /BitsPerComponent 8 /Filter /FlateDecode /Length " + std::to_string(image + 1) + " 0 R >>\nstream\n");
  uint64_t stream_start = offset_;
  DeflateWriter deflate([this](const uint8_t* b, size_t n) { return put(b, n); });
  std::vector<uint8_t> row(size_t(page.width) * size_t(channels));
  for (int y = 0; y < page.height; ++y) {
    if (y % kBandRows == 0 && !keep_going()) return SP_APPABORT;
    const uint32_t* px = page.row(y);
    uint8_t* out = row.data();
    if (g.grey) {
      for (int x = 0; x < page.width; ++x, ++px)
        *out++ = uint8_t((((*px >> 16) & 255) * 299 + ((*px >> 8) & 255) * 587 + (*px & 255) * 114 + 500) / 1000);
    } else {
      for (int x = 0; x < page.width; ++x, ++px) {
        *out++ = uint8_t(*px >> 16);
        *out++ = uint8_t(*px >> 8);
        *out++ = uint8_t(*px);
      }
    }
    if (!deflate.write(row.data(), row.size())) return fail("page image");
  }
  if (!deflate.finish()) return fail("page image");
  uint64_t length = offset_ - stream_start;
  put("\nendstream\nendobj\n");
  begin_object(image + 1);
  put(std::to_string(length) + "\nendobj\n");

  const std::string w = hundredths(points_x100(g.width_tenth_mm)), h = hundredths(points_x100(g.height_tenth_mm));
  const std::string content = "q " + w + " 0 0 " + h + " 0 0 cm /Im0 Do Q\n";
  begin_object(image + 2);
  put("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream\nendobj\n");
  begin_object(image + 3);
  put("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + w + " " + h + "] /Resources << /XObject << /Im0 " +
      std::to_string(image) + " 0 R >> >> /Contents " + std::to_string(image + 2) + " 0 R >>\nendobj\n");
  page_objects_.push_back(image + 3);
  return error_ ? fail("page") : 1;
}

int PdfWriter::finish(const std::string& title, const std::string& path, const std::string& base,
                      std::string* written) {
  begin_object(1);
  put("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
  begin_object(2);
  put("<< /Type /Pages /Kids [");
  for (int page : page_objects_) put(array_reference(page));
  put(" ] /Count " + std::to_string(pages()) + " >>\nendobj\n");
  begin_object(3);
  put("<< /Title " + pdf_text(title) + " >>\nendobj\n");

  const uint64_t xref = offset_;
  put("xref\n0 " + std::to_string(object_offsets_.size()) + "\n0000000000 65535 f \n");
  for (size_t n = 1; n < object_offsets_.size(); ++n) put(offset_entry(object_offsets_[n]));
  put("trailer\n<< /Size " + std::to_string(object_offsets_.size()) + " /Root 1 0 R /Info 3 0 R >>\nstartxref\n" +
      std::to_string(xref) + "\n%%EOF\n");
  // The file's bytes reach the disk before it gets its name.
  flush();
  if (!error_ && fsync(fd_) != 0) error_ = errno;
  if (::close(fd_) != 0 && !error_) error_ = errno;
  fd_ = -1;
  if (error_) return fail("end of document");
  return commit(path, base, written);
}

int PdfWriter::commit(const std::string& path, const std::string& base, std::string* written) {
  if (!path.empty()) {
    if (rename(temp_path_.c_str(), path.c_str()) != 0) {
      int err = errno;
      set_print_error("The document could not be saved as \"" + path + "\": " + error_text(err) + ".");
      return SP_ERROR;
    }
    *written = path;
    temp_path_.clear();
    return 1;
  }
  for (int n = 1; n <= kMaxUniqueNames; ++n) {
    std::string name = folder_ + base + (n > 1 ? " (" + std::to_string(n) + ")" : "") + ".pdf";
    int err = rename_no_replace(temp_path_, name);
    if (err == EEXIST) continue;
    if (err != 0) {
      set_print_error("The document could not be saved as \"" + name + "\": " + error_text(err) + ".");
      return SP_ERROR;
    }
    *written = name;
    temp_path_.clear();
    return 1;
  }
  set_print_error("Every name for \"" + base + "\" is taken in \"" + folder_ + "\".");
  return SP_ERROR;
}

void PdfWriter::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
  temp_path_.clear();
}

}  // namespace plat
