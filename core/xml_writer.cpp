// The standard entities and the escaped-text writer (see xml.h).
//
// The entity dictionary maps the five standard names to their characters for the
// reader; its reverse gives the writer the name of each character to escape. Both are
// built once at start-up and only read afterwards.
#include <atomic>

#include "core/memory.h"
#include "core/wstring.h"
#include "core/xml.h"

namespace {

tag_t g_entity_table[] = {make_tag("amp", '&'), make_tag("quot", '"'), make_tag("lt", '<'),
                          make_tag("gt", '>'), make_tag("apos", '\'')};

std::atomic<container_t*> g_entities{nullptr};
std::atomic<container_t*> g_entity_names{nullptr};

bool is_entity_char(char16_t c) {
  return c == u'&' || c == u'"' || c == u'<' || c == u'>' || c == u'\'';
}

bool needs_escape(const char16_t* text) {
  for (const char16_t* p = text; *p; ++p)
    if (is_entity_char(*p)) return true;
  return false;
}

// The entity name of one of the five characters: from the reverse dictionary, or from
// the table itself before xml_init has run.
const char* entity_name(char16_t c) {
  const char* name = nullptr;
  if (const container_t* names = xml_standard_entity_names()) dict_find_name(names, c, &name);
  if (name) return name;
  for (const tag_t& t : g_entity_table)
    if (t.val == c) return t.name;
  return nullptr;
}

}  // namespace

void xml_init() {
  container_t* names = g_entity_names.exchange(nullptr);
  container_t* entities = g_entities.exchange(nullptr);
  free_obj(&names);
  free_obj(&entities);
  for (tag_t& t : g_entity_table) t.id = 0;  // ids of an earlier object store
  dict_build(int(sizeof g_entity_table / sizeof g_entity_table[0]), g_entity_table, &entities);
  dict_create_reverse(entities, &names);
  g_entities.store(entities, std::memory_order_release);
  g_entity_names.store(names, std::memory_order_release);
}

container_t* xml_standard_entities() { return g_entities.load(std::memory_order_acquire); }
container_t* xml_standard_entity_names() { return g_entity_names.load(std::memory_order_acquire); }

void xml_write_text(FILE* out, const char16_t* text) {
  if (!out || !text) return;
  if (!needs_escape(text)) {
    char* utf8 = nullptr;
    std::fputs(wstr_to_utf8(text, &utf8), out);
    free_mem(&utf8);
    return;
  }
  char bytes[5];
  for (const char16_t* p = text; *p;) {
    if (is_entity_char(*p)) {
      std::fprintf(out, "&%s;", entity_name(*p));
      ++p;
      continue;
    }
    p += wchar_to_utf8(p, bytes);
    std::fputs(bytes, out);
  }
}
