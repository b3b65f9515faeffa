// The XML engine on arbitrary bytes held in memory, with a small dictionary of element
// and attribute names, the declaration's encoding handler and lower-casing off.
#include <cstddef>
#include <cstdint>

#include "core/dict.h"
#include "core/error.h"
#include "core/object.h"
#include "core/xml.h"
#include "fuzz/support/fuzz_env.h"

namespace {

void on_element(xml_parser_t*, const char*) {}
void on_attribute(xml_parser_t*, int, const char*) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tm_fuzz::init();
  static container_t* elements = nullptr;
  static container_t* attributes = nullptr;
  static tag_t element_tags[] = {make_tag("xml", 1), make_tag("gpx", 2), make_tag("trk", 3),
                                 make_tag("trkpt", 4), make_tag("name", 5)};
  static tag_t attr_tags[] = {make_tag("encoding", 1), make_tag("lat", 2), make_tag("lon", 3)};
  if (!elements) {
    xml_init();
    dict_build_pair(5, element_tags, 3, attr_tags, &elements, &attributes);
  }
  const xml_element_handler element_handlers[6] = {nullptr, on_element, on_element,
                                                   on_element, on_element, on_element};
  const xml_attr_handler attr_handlers[4] = {on_attribute, xml_set_encoding, on_attribute,
                                             on_attribute};
  xml_parser_t* ctx = nullptr;
  xml_parser_create(nullptr, elements, attributes, nullptr, 0, 6, element_handlers,
                    attr_handlers, &ctx);
  if (ctx) xml_read_bytes(data, size, ctx);
  set_gblerr(0);
  xml_parser_free(&ctx);
  return 0;
}
