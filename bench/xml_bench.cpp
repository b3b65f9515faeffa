// XML engine speed on a 100 MB GPX-like document (track points with elevation and time,
// a few waypoints), with handlers that do nothing: the cost of the automaton, the
// dictionary lookups of every name and the handler calls themselves.
//
// Figures guarded (Release, one core):
//   XmlParseMemory - megabytes per second over the document in memory; target 150 MB/s
//                    or more.
//   XmlParseFile   - the same document read from a disk file through the buffered
//                    reader (the file readers' path), the file in the page cache.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/dict.h"
#include "core/error.h"
#include "core/file_ops.h"
#include "core/object.h"
#include "core/reader.h"
#include "core/xml.h"

namespace {

constexpr size_t kDocumentBytes = 100u << 20;

std::string make_document() {
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"bench\" xmlns=\"http://example.com/gpx/1/1\">\n"
      "  <wpt lat=\"45.1\" lon=\"6.2\"><ele>1200.5</ele><name>Col &amp; lac</name></wpt>\n"
      "  <trk><name>Trace</name><trkseg>\n";
  char point[200];
  for (unsigned i = 0; doc.size() < kDocumentBytes; ++i) {
    std::snprintf(point, sizeof point,
                  "    <trkpt lat=\"45.%06u\" lon=\"6.%06u\"><ele>%u.%u</ele>"
                  "<time>2020-05-01T%02u:%02u:%02uZ</time></trkpt>\n",
                  (123456 + i * 17) % 1000000, (654321 + i * 13) % 1000000, 1000 + i % 2000,
                  i % 10, (i / 3600) % 24, (i / 60) % 60, i % 60);
    doc += point;
  }
  doc += "  </trkseg></trk>\n</gpx>\n";
  return doc;
}

const std::string& document() {
  static const std::string doc = make_document();
  return doc;
}

void on_element(xml_parser_t*, const char*) {}
void on_attribute(xml_parser_t*, int, const char*) {}

tag_t g_elements[] = {make_tag("xml", 1),    make_tag("gpx", 2),  make_tag("wpt", 3),
                      make_tag("ele", 4),    make_tag("name", 5), make_tag("trk", 6),
                      make_tag("trkseg", 7), make_tag("trkpt", 8), make_tag("time", 9)};
tag_t g_attributes[] = {make_tag("encoding", 1), make_tag("lat", 2), make_tag("lon", 3),
                        make_tag("version", 4), make_tag("creator", 5)};
const xml_element_handler g_element_handlers[10] = {
    nullptr, on_element, on_element, on_element, on_element,
    on_element, on_element, on_element, on_element, on_element};
const xml_attr_handler g_attr_handlers[6] = {on_attribute, xml_set_encoding, on_attribute,
                                             on_attribute, on_attribute, on_attribute};

struct dictionaries {
  container_t* elements = nullptr;
  container_t* attributes = nullptr;
  dictionaries() {
    obj_store_init();
    obj_register_core_classes();
    dict_register_type();
    xml_init();
    dict_build_pair(9, g_elements, 5, g_attributes, &elements, &attributes);
  }
};

const dictionaries& dicts() {
  static const dictionaries d;
  return d;
}

xml_parser_t* new_parser() {
  xml_parser_t* ctx = xml_parser_create(nullptr, dicts().elements, dicts().attributes, nullptr,
                                        0, 10, g_element_handlers, g_attr_handlers, nullptr);
  return ctx;
}

void XmlParseMemory(benchmark::State& state) {
  const std::string& doc = document();
  dicts();
  for (auto _ : state) {
    xml_parser_t* ctx = new_parser();
    xml_read_bytes(doc.data(), doc.size(), ctx);
    if (get_gblerr() != 0) state.SkipWithError("parse failed");
    xml_parser_free(&ctx);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
}
BENCHMARK(XmlParseMemory)->Unit(benchmark::kMillisecond);

// One disk file object, described to the reader through the file-operations table.
std::string g_path;
int64_t g_size = 0;
obj_t g_file{1, 27};

int64_t file_get_field(obj_t*, file_field field) {
  switch (field) {
    case FF_TYPE: return 7;
    case FF_FORMAT: return 0;
    case FF_SIZE: return g_size;
    default: return 0;
  }
}
void file_set_field(obj_t*, file_field, int64_t) {}
const char* file_name(obj_t*) { return g_path.c_str(); }
double file_date(obj_t*) { return 0; }
obj_t* no_object(obj_t*) { return nullptr; }
void no_link(obj_t*, obj_t*) {}
obj_t* no_new() { return nullptr; }
obj_t* no_open(obj_t*, const char*) { return nullptr; }
obj_t* no_find(const char*) { return nullptr; }
int no_load(obj_t*, obj_t*, int) { return 1; }
void no_free(obj_t*) {}
const file_ops kOps = {file_get_field, file_set_field, file_name, file_date, no_object,
                       no_link,        no_object,      no_link,   no_new,    no_open,
                       no_find,        no_load,        no_free};

void XmlParseFile(benchmark::State& state) {
  const std::string& doc = document();
  dicts();
  const char* tmp = std::getenv("TMPDIR");
  g_path = std::string(tmp && *tmp ? tmp : "/tmp") + "/xml_bench_document.xml";
  std::FILE* f = std::fopen(g_path.c_str(), "wb");
  if (!f || std::fwrite(doc.data(), 1, doc.size(), f) != doc.size()) {
    if (f) std::fclose(f);
    state.SkipWithError("cannot write the document");
    return;
  }
  std::fclose(f);
  g_size = int64_t(doc.size());
  file_ops_install(&kOps);
  for (auto _ : state) {
    xml_parser_t* ctx = new_parser();
    xml_read_file(&g_file, ctx);
    if (get_gblerr() != 0) state.SkipWithError("parse failed");
    xml_parser_free(&ctx);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(doc.size()));
  rd_close_all();
  file_ops_install(nullptr);
  std::remove(g_path.c_str());
}
BENCHMARK(XmlParseFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
