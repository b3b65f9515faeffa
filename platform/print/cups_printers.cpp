// The system's printers: the destinations of the CUPS print server through libcups,
// and the sending of one PDF document to a destination as a job.
//
// Each call opens its own connection to the server libcups names (the environment's
// CUPS_SERVER is read again at every call), with a one-second limit on the connection
// itself, so that a machine without a print server lists its file printers at once and
// silently. libcups never asks for a password here: a server that wants one refuses.
#include <cups/cups.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/print/print_internal.h"

namespace plat {

namespace {

constexpr int kConnectMsec = 1000;     // to reach the server at all
constexpr double kRequestSeconds = 30;  // for each request once connected
constexpr int kMinDpi = 60;
constexpr int kMaxDpi = 600;  // above, the page surface grows beyond a printer context's budget
constexpr int kDefaultDpi = 300;
constexpr size_t kChunk = 65536;

const char* no_password(const char*, http_t*, const char*, const char*, void*) { return nullptr; }

// A connection to the print server, or null when none answers in time.
http_t* connect_server() {
  cupsSetServer(nullptr);  // follow the environment as it is now
  cupsSetPasswordCB2(no_password, nullptr);
  http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, kConnectMsec,
                              nullptr);
  if (http) httpSetTimeout(http, kRequestSeconds, nullptr, nullptr);
  return http;
}

struct Connection {
  http_t* http = connect_server();
  ~Connection() {
    if (http) httpClose(http);
  }
};

// "600dpi", "600x300dpi", "236dpcm": the horizontal resolution in dots per inch, 0 when
// the text is none of those.
int parse_resolution(const char* text) {
  if (!text) return 0;
  char* end = nullptr;
  long x = std::strtol(text, &end, 10);
  if (end == text || x <= 0) return 0;
  if (*end == 'x') std::strtol(end + 1, &end, 10);
  if (std::strcmp(end, "dpi") == 0) return int(x);
  if (std::strcmp(end, "dpcm") == 0) return int(std::lround(x * 2.54));
  return 0;
}

int resolution_value(ipp_attribute_t* attr, int index) {
  ipp_res_t units = IPP_RES_PER_INCH;
  int yres = 0;
  const int x = ippGetResolution(attr, index, &yres, &units);
  return units == IPP_RES_PER_CM ? int(std::lround(x * 2.54)) : x;
}

bool usable_dpi(int dpi) { return dpi >= kMinDpi && dpi <= kMaxDpi; }

// The resolutions the destination prints at (those a page can be drawn at), and its
// own: the destination's option, else the server's default, else the finest listed.
void read_resolutions(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, PrinterInfo* p) {
  if (ipp_attribute_t* supported = cupsFindDestSupported(http, dest, info, "printer-resolution")) {
    for (int i = 0; i < ippGetCount(supported); ++i) {
      const int dpi = resolution_value(supported, i);
      if (usable_dpi(dpi) && std::find(p->resolutions.begin(), p->resolutions.end(), dpi) == p->resolutions.end())
        p->resolutions.push_back(dpi);
    }
  }
  std::sort(p->resolutions.begin(), p->resolutions.end());
  int own = parse_resolution(cupsGetOption("printer-resolution", dest->num_options, dest->options));
  if (!own) own = parse_resolution(cupsGetOption("Resolution", dest->num_options, dest->options));
  if (!own) {
    ipp_attribute_t* def = cupsFindDestDefault(http, dest, info, "printer-resolution");
    if (def && ippGetValueTag(def) == IPP_TAG_RESOLUTION) own = resolution_value(def, 0);
  }
  const bool listed = std::find(p->resolutions.begin(), p->resolutions.end(), own) != p->resolutions.end();
  if (!p->resolutions.empty() && !listed) own = p->resolutions.back();
  p->dpi = usable_dpi(own) ? own : kDefaultDpi;
}

// A media name ("iso_a4_210x297mm", "A4", "na_letter_8.5x11in", "Letter") as a paper
// code, 0 for any other.
int16_t paper_code(const char* media) {
  if (!media) return 0;
  if (strncasecmp(media, "iso_a4_", 7) == 0 || strcasecmp(media, "A4") == 0) return DMPAPER_A4;
  if (strncasecmp(media, "na_letter_", 10) == 0 || strcasecmp(media, "Letter") == 0) return DMPAPER_LETTER;
  return 0;
}

// The papers the destination takes among those known, and its default paper: the
// destination's option, else the server's default; a paper of another size is kept as
// a user size.
void read_papers(http_t* http, cups_dest_t* dest, cups_dinfo_t* info, PrinterInfo* p) {
  if (ipp_attribute_t* supported = cupsFindDestSupported(http, dest, info, "media")) {
    for (int i = 0; i < ippGetCount(supported); ++i) {
      const int16_t code = paper_code(ippGetString(supported, i, nullptr));
      if (code && std::find(p->papers.begin(), p->papers.end(), code) == p->papers.end()) p->papers.push_back(code);
    }
  }
  const char* wanted = cupsGetOption("media", dest->num_options, dest->options);
  if (!wanted) wanted = cupsGetOption("PageSize", dest->num_options, dest->options);
  ipp_attribute_t* def = wanted ? nullptr : cupsFindDestDefault(http, dest, info, "media");
  if (def && ippGetValueTag(def) == IPP_TAG_KEYWORD) wanted = ippGetString(def, 0, nullptr);
  cups_size_t size{};
  bool known = wanted && cupsGetDestMediaByName(http, dest, info, wanted, 0, &size);
  if (!known && !wanted) known = cupsGetDestMediaDefault(http, dest, info, 0, &size);
  int16_t code = paper_code(wanted);
  if (!code && known) code = paper_code(size.media);
  if (code) {
    p->paper = code;
  } else if (known && size.width > 0 && size.length > 0 && size.width <= 32767 * 10 && size.length <= 32767 * 10) {
    p->paper = DMPAPER_USER;  // hundredths of a millimetre to tenths
    p->paper_width = int16_t(std::min(size.width, size.length) / 10);
    p->paper_length = int16_t(std::max(size.width, size.length) / 10);
  }
  if ((p->paper == DMPAPER_A4 || p->paper == DMPAPER_LETTER) && !p->papers.empty() &&
      std::find(p->papers.begin(), p->papers.end(), p->paper) == p->papers.end())
    p->papers.push_back(p->paper);
}

// A destination that lists its colour modes prints in colour only when "color" is
// among them; one that lists none (a raw queue) passes colour on.
bool read_colour(http_t* http, cups_dest_t* dest, cups_dinfo_t* info) {
  ipp_attribute_t* modes = cupsFindDestSupported(http, dest, info, "print-color-mode");
  if (!modes) return true;
  for (int i = 0; i < ippGetCount(modes); ++i) {
    const char* mode = ippGetString(modes, i, nullptr);
    if (mode && std::strcmp(mode, "color") == 0) return true;
  }
  return false;
}

bool read_landscape(http_t* http, cups_dest_t* dest, cups_dinfo_t* info) {
  ipp_attribute_t* orientations = cupsFindDestSupported(http, dest, info, "orientation-requested");
  if (!orientations) return true;
  for (int i = 0; i < ippGetCount(orientations); ++i)
    if (ippGetInteger(orientations, i) == IPP_ORIENT_LANDSCAPE) return true;
  return false;
}

PrinterInfo destination_info(http_t* http, cups_dest_t* dest) {
  PrinterInfo p;
  p.name = dest->instance ? std::string(dest->name) + "/" + dest->instance : std::string(dest->name);
  p.system = true;
  p.is_default = dest->is_default != 0;
  p.dpi = kDefaultDpi;
  if (cups_dinfo_t* info = cupsCopyDestInfo(http, dest)) {
    read_resolutions(http, dest, info, &p);
    read_papers(http, dest, info, &p);
    p.colour = read_colour(http, dest, info);
    p.landscape = read_landscape(http, dest, info);
    cupsFreeDestInfo(info);
  }
  return p;
}

// The reason libcups gives for the last failure on this thread.
std::string server_reason() {
  const char* text = cupsLastErrorString();
  return text && *text ? std::string(text) : std::string("The print server did not answer.");
}

}  // namespace

std::vector<PrinterInfo> system_printers() {
  std::vector<PrinterInfo> list;
  Connection c;
  if (!c.http) return list;
  cups_dest_t* dests = nullptr;
  const int n = cupsGetDests2(c.http, &dests);
  for (int i = 0; i < n; ++i) list.push_back(destination_info(c.http, &dests[i]));
  cupsFreeDests(n, dests);
  return list;
}

int send_system_job(const PrinterInfo& printer, const DevMode& settings, const std::string& title,
                    const std::string& pdf_file) {
  const std::string prefix = "The printer \"" + printer.name + "\" did not take the document: ";
  int fd = open(pdf_file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    set_print_error(prefix + "its file cannot be read.");
    return 0;
  }
  Connection c;
  if (!c.http) {
    set_print_error(prefix + server_reason());
    close(fd);
    return 0;
  }
  std::string name = printer.name, instance;
  const size_t slash = name.find('/');
  if (slash != std::string::npos) {
    instance = name.substr(slash + 1);
    name.resize(slash);
  }
  cups_dest_t* dest = cupsGetNamedDest(c.http, name.c_str(), instance.empty() ? nullptr : instance.c_str());
  if (!dest) {
    set_print_error(prefix + server_reason());
    close(fd);
    return 0;
  }
  cups_dinfo_t* info = cupsCopyDestInfo(c.http, dest);
  cups_option_t* options = nullptr;
  int num_options = 0;
  num_options = cupsAddOption("copies", std::to_string(std::max<int>(1, settings.copies)).c_str(), num_options, &options);
  num_options = cupsAddOption("orientation-requested",
                              std::to_string(settings.orientation == DMORIENT_LANDSCAPE ? IPP_ORIENT_LANDSCAPE
                                                                                         : IPP_ORIENT_PORTRAIT)
                                  .c_str(),
                              num_options, &options);
  const std::string job_title = title.empty() ? std::string("document") : title;
  int job = 0;
  std::string failure;
  if (cupsCreateDestJob(c.http, dest, info, &job, job_title.c_str(), num_options, options) > IPP_STATUS_OK_CONFLICTING ||
      job <= 0) {
    failure = server_reason();
  } else if (cupsStartDestDocument(c.http, dest, info, job, job_title.c_str(), CUPS_FORMAT_PDF, 0, nullptr, 1) !=
             HTTP_STATUS_CONTINUE) {
    failure = server_reason();
  } else {
    std::vector<char> buffer(kChunk);
    ssize_t n = 0;
    while (failure.empty() && (n = read(fd, buffer.data(), buffer.size())) > 0)
      if (cupsWriteRequestData(c.http, buffer.data(), size_t(n)) != HTTP_STATUS_CONTINUE) failure = server_reason();
    if (failure.empty() && n < 0) failure = "its file cannot be read.";
    // Ends the request in every case: a failed document is then cancelled below.
    if (cupsFinishDestDocument(c.http, dest, info) > IPP_STATUS_OK_CONFLICTING && failure.empty())
      failure = server_reason();
  }
  if (!failure.empty() && job > 0) cupsCancelDestJob(c.http, dest, job);
  cupsFreeOptions(num_options, options);
  if (info) cupsFreeDestInfo(info);
  cupsFreeDests(1, dest);
  close(fd);
  if (!failure.empty()) {
    set_print_error(prefix + failure);
    return 0;
  }
  return job;
}

}  // namespace plat
