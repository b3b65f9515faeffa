// Identification of a file object: web addresses are fetched, ZIP members and gzip
// files unpacked, local bytes handed to the recognisers of recognise.h in their order,
// and containers (archives, file lists, web pages) expanded into file objects of the
// destination list.
//
// Unpacking on a first (not nested) call inflates only the head of a member, enough
// for the recognisers, into a memory copy that identification owns and frees again; a
// nested call (a load, an archive being listed) inflates the whole member and leaves it
// for the reader.
#include <algorithm>
#include <vector>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/html.h"
#include "core/http.h"
#include "core/inflate.h"
#include "core/line_store.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/reader.h"
#include "formats/file_load.h"
#include "formats/recognise.h"
#include "map/file_object.h"

namespace {

constexpr int64_t kMinRecognisable = 20;  // shorter files are never recognised
constexpr int64_t kHeadBuffer = 4096;
constexpr int64_t kZipProbe = 300;        // inflated bytes of a member on a first call
constexpr int64_t kGzipProbe = 1024;
constexpr int kFormatEcw = 16;
constexpr int kFormatSid = 18;
constexpr int kFormatOzi = 34;
constexpr int kFormatGzip = 52;
constexpr int kFormatZip = 53;
constexpr int kContentOwned = 1;

thread_local int g_depth = 0;
thread_local int g_depth_refusals = 0;

// Counts the calls of identification active on this thread.
struct depth_guard {
  depth_guard() { ++g_depth; }
  ~depth_guard() { --g_depth; }
  depth_guard(const depth_guard&) = delete;
  depth_guard& operator=(const depth_guard&) = delete;
  bool too_deep() const { return g_depth > kMaxIdentifyDepth; }
};

container_t* as_list(obj_t* list) { return reinterpret_cast<container_t*>(list); }

void apply(fileatt_t* f, const file_class& c) {
  f->filetype = c.kind;
  f->fileformat = uint32_t(c.format);
  f->georerefed = c.georef;
}

file_class class_of(const fileatt_t* f) { return {f->filetype, int(f->fileformat), f->georerefed}; }

// Frees a memory copy that identification made for itself (a probe of a member's head)
// so that a first call leaves none behind; the next open unpacks the member again.
void free_owned_copy(fileatt_t* f) {
  if (f->content_state != kContentOwned) return;
  rd_close_file(f);
  file_set_store(f, nullptr);
  f->content_state = 0;
  if (f->source_size > 0) file_set_size(f, f->source_size);
}

bool is_zip_member(const fileatt_t* f) {
  obj_t* archive = f->container;
  return archive && file_get(archive, FF_TYPE) == kFileKindArchive &&
         file_get(archive, FF_FORMAT) == kFormatZip && f->content_state == 0;
}

// Whether the file's in-memory content begins as a gzip file or a ZIP archive: such a
// content is unpacked in its turn, which needs the whole of it, not a probe's head.
bool content_is_archive(fileatt_t* f) {
  if (!f->store) return false;
  int64_t count = 4;
  const uint8_t* p = filemobj_read_ptr(f->store, 0, &count);
  if (!p || count < 3) return false;
  if (p[0] == 0x1F && p[1] == 0x8B && p[2] == 0x08) return true;
  return count >= 4 && p[0] == 'P' && p[1] == 'K' && p[2] == 3 && p[3] == 4;
}

// A ZIP member: its head (first call) or all of it (nested) is unpacked, then identified.
void identify_member(fileatt_t* f, obj_t* list, int nested) {
  int err = zip_open_member(f, nested ? 0 : kZipProbe);
  if (err == 0 && f->content_state == kContentOwned && content_is_archive(f))
    err = zip_open_member(f, 0);
  if (err == 0 && f->filetype == kFileKindNone) f->filetype = kFileKindLocal;
  if (f->filetype == kFileKindLocal) file_identify_and_load(f, list, 1);
  free_owned_copy(f);
}

// The bytes of the file as they stand (the file identified as gzip) are the data to
// unpack. Held in memory - a download, or what an outer archive unpacked to - they
// become the file's packed bytes, from which the decoder reads (and reads again after a
// probe) without touching the outer file; a member read in place from its archive is
// copied out the same way, since it is read from the start of its memory once
// unpacked. False when they are only the head of an outer archive's content, or
// cannot be read.
bool take_packed_bytes(fileatt_t* f) {
  if (f->store) {
    if (f->content_state == kContentOwned) return false;
    filemobj_t* bytes = f->store;
    file_set_packed(f, bytes);
    file_set_store(f, nullptr);
  } else if (f->container && !f->packed) {
    if (rd_open(f, 0, 1) != 0) return false;
    filemobj_t* bytes = nullptr;
    std::vector<uint8_t> chunk(65536);
    bool ok = filemobj_create(f, f, 0, 32768, 0, &bytes) == 0 && bytes;
    while (ok && rd_bytes_left() > 0) {
      const int64_t n = rd_read_bytes(chunk.data(), std::min<int64_t>(int64_t(chunk.size()), rd_bytes_left()));
      ok = n > 0 && filemobj_append(bytes, chunk.data(), n) == 0 && get_gblerr() == 0;
    }
    rd_close_file(f);
    if (!ok) {
      set_gblerr(0);
      obj_t* o = reinterpret_cast<obj_t*>(bytes);
      free_obj(&o);
      return false;
    }
    file_set_packed(f, bytes);
  } else {
    return true;  // on disk, or already packed
  }
  f->content_state = 0;
  f->start64 = 0;
  f->deboffset = 0;
  f->source_size = filemobj_data_size(f->packed);
  file_set_size(f, f->source_size);
  return true;
}

// The content of a gzip file, unpacked into its memory copy, is identified in its place;
// a container inside it is expanded into the destination list.
void identify_gzip(fileatt_t* f, obj_t* list, int nested) {
  int err = take_packed_bytes(f) ? gzip_open_member(f, nested ? 0 : kGzipProbe) : ERR_BAD_FILE;
  if (err == 0 && f->filetype != kFileKindNone && f->content_state == kContentOwned &&
      content_is_archive(f))
    err = gzip_open_member(f, 0);
  if (err != 0 || f->filetype == kFileKindNone) {
    set_gblerr(0);
    f->filetype = kFileKindNone;
    return;
  }
  f->filetype = kFileKindLocal;
  file_identify_and_load(f, list, 1);
  free_owned_copy(f);
}

void collect_links(fileatt_t* f, obj_t* list) {
  free_owned_copy(f);
  html_collect_links(f, as_list(list));
}

// Reads the head and runs the recognisers; false when the file cannot be opened or a
// Shapefile header ends recognition.
bool recognise_content(fileatt_t* f, uint8_t* head) {
  if (rd_open(f, kHeadBuffer, 1) != 0) return false;
  const int64_t n = std::min<int64_t>(kHeadSize, rd_bytes_left());
  if (n > 0) rd_read_bytes(head, n);
  file_class c = class_of(f);
  const int stop = file_sniff_magic(f, head, &c);
  if (!stop) apply(f, c);
  return !stop;
}

bool sid_decoder_bound() {
  const auto bound = get_file_load_hooks().sid_decoder_bound;
  return bound && bound() != 0;
}

// Raster formats that cannot be loaded here are unrecognised.
void check_raster(fileatt_t* f) {
  const uint32_t format = f->fileformat;
  if (format == 17 || format == 24 || format == 74 || (format == kFormatSid && !sid_decoder_bound()))
    f->filetype = kFileKindNone;
}

// The XML roots decide an XML file; none found leaves it unrecognised.
void decide_xml(fileatt_t* f) {
  file_class c = class_of(f);
  if (file_sniff_xml_root(f, &c))
    apply(f, c);
  else
    f->filetype = kFileKindNone;
}

// The recognisers after the magics (steps on the kind found so far).
void refine(fileatt_t* f, const uint8_t* head, obj_t* list) {
  if (f->filetype == kFileKindRaster) check_raster(f);
  if (f->filetype == kFileKindXmlObjects) decide_xml(f);
  if (f->fileformat == kFormatOzi && f->filetype == kFileKindGps) {
    file_class c = class_of(f);
    if (file_sniff_ozi_kind(f, &c) == 0)
      apply(f, c);
    else
      f->filetype = kFileKindNone;
  }
  if (f->filetype == kFileKindNone) {
    file_class c = class_of(f);
    if (file_sniff_text(f, head, &c)) apply(f, c);
    if (f->filetype == kFileKindXmlObjects) decide_xml(f);
    if (f->filetype == kFileKindHtml && list && !f->from_url) collect_links(f, list);
  }
  if (f->filetype == kFileKindNone) {
    file_class c = class_of(f);
    if (file_sniff_extension(f->name, &c)) apply(f, c);
  }
}

// Containers found by their magic or prefix.
void expand(fileatt_t* f, obj_t* list, int nested) {
  if (f->filetype == kFileKindArchive && f->fileformat == kFormatZip) {
    if (f->from_url && !nested)
      f->filetype = kFileKindNone;
    else if (list)
      zip_list_archive(f, list);
  } else if (f->filetype == kFileKindArchive && f->fileformat == kFormatGzip) {
    identify_gzip(f, list, nested);
  } else if (f->filetype == kFileKindFileList && list) {
    if (format_reader reader = format_reader_of(int(f->fileformat))) reader(f, as_list(list));
  }
}

void identify_local(fileatt_t* f, obj_t* list, int nested) {
  f->filetype = kFileKindNone;
  if (file_get_size(f) < kMinRecognisable) return;
  if (is_zip_member(f)) {
    identify_member(f, list, nested);
    return;
  }
  // What the recognisers meet while reading (the end of a short file) is no error.
  const int before = get_gblerr();
  uint8_t head[kHeadSize] = {};
  const bool go_on = recognise_content(f, head);
  if (go_on && f->filetype != kFileKindArchive && f->filetype != kFileKindFileList)
    refine(f, head, list);
  if (before == 0) set_gblerr(0);
  if (go_on) expand(f, list, nested);
}

// A web address: fetched (the body identified by the fetch), then a page checked
// against the navigation rules and its links collected.
void identify_url(fileatt_t* f, obj_t* list, int nested) {
  f->from_url = 1;
  const int rc = http_get(f, list, nested);
  if (rc != 0 || get_gblerr() != 0) {
    if (list) obj_list_clear(as_list(list));
    f->filetype = kFileKindNone;
    set_gblerr(0);
    return;
  }
  if (f->filetype != kFileKindHtml) return;
  if (file_get_web_root(f) && !web_link_allowed(f)) {
    if (list) obj_list_clear(as_list(list));
    f->filetype = kFileKindNone;
    return;
  }
  if (!file_get_web_root(f)) {
    char* page = nullptr;
    url_default_page(file_get_name(f), &page);
    file_set_web_root(f, page);
    free_mem(&page);
  }
  if (list) collect_links(f, list);
}

}  // namespace

void file_identify_and_load(obj_t* obj, obj_t* list, int nested) {
  fileatt_t* f = file_of(obj);
  if (!f) return;
  depth_guard depth;
  if (depth.too_deep()) {
    f->filetype = kFileKindNone;
    ++g_depth_refusals;
    return;
  }
  switch (f->filetype) {
    case kFileKindEcwp:
      f->fileformat = kFormatEcw;
      f->georerefed = 1;
      break;
    case kFileKindHttp: identify_url(f, list, nested); break;
    case kFileKindLocal: identify_local(f, list, nested); break;
    default: break;
  }
}

void file_identify_and_load_default(obj_t* file) { file_identify_and_load(file, nullptr, 0); }

int file_identify_depth_refusals() { return g_depth_refusals; }
