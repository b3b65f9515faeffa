// URL rules: recognising a web address by its scheme, normalising a typed or dropped
// name, and deciding which links found in a web page may be followed (the page's web
// root, the "WEBNAVIG" switch and the "WEBNAVIGDEPTH" link depth).
//
// A followed link carries a web root: the address of the page folder it was reached
// from. A link inside that root, or on the same host, may be followed when web
// navigation is on; any other only while its depth in the tree of file objects (the
// number of pages above it) stays within the configured depth.
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/http.h"
#include "core/memory.h"
#include "core/paths.h"
#include "core/strutil.h"
#include "map/file_internal.h"
#include "map/file_object.h"

using namespace file_detail;

namespace {

bool starts_ci(const char* text, const char* prefix) {
  return text && strn_compare_ci(text, prefix, std::strlen(prefix)) == 0;
}

char slash(char c) { return c == '\\' ? '/' : c; }

// Whole texts equal, '\' and '/' alike.
bool same_url(const char* a, const char* b) {
  if (!a || !b) return false;
  for (; *a && *b; ++a, ++b)
    if (slash(*a) != slash(*b)) return false;
  return *a == *b;
}

// Compared from the 8th character (after "http://"): the referring address ends first
// (the link lies inside it), or both reach a '/' together (same host).
bool same_site(const char* link, const char* root) {
  if (std::strlen(link) < 7 || std::strlen(root) < 7) return false;
  for (size_t i = 7;; ++i) {
    const char a = slash(link[i]);
    const char b = slash(root[i]);
    if (b == 0) return true;
    if (a != b) return false;
    if (a == '/') return true;
  }
}

}  // namespace

int url_scheme(char* text) {
  const char* http = config_http();
  if (http && http[0] == '0') return 0;
  if (!text) return 0;
  int kind = 0;
  if (starts_ci(text, "http://"))
    kind = kFileKindHttp;
  else if (starts_ci(text, "ecwp://"))
    kind = kFileKindEcwp;
  if (kind)
    for (int i = 0; i < 4; ++i) text[i] = ascii_lower(text[i]);
  return kind;
}

void url_normalize(char** text) {
  if (!text || !*text) return;
  if (!path_is_absolute(*text)) {
    std::string s = std::string("http://") + *text;
    str_set(s.c_str(), text);
  }
  const int kind = url_scheme(*text);
  if (kind == kFileKindHttp || kind == kFileKindEcwp) {
    if (!std::strchr(*text + 7, '/')) str_cat("/", text);
    return;
  }
  std::string s = *text;
  if (starts_ci(s.c_str(), "file://")) {
    size_t k = 7;
    while (k < s.size() && s[k] == '/') ++k;
    std::string rest = s.substr(k);
    s = (rest.find(':') == std::string::npos ? "/" : "") + rest;
  } else if (!s.empty() && s[0] == '/') {
    size_t k = 0;
    while (k + 1 < s.size() && s[k + 1] == '/') ++k;
    s = s.substr(k);
  }
  str_set(s.c_str(), text);
}

int web_link_allowed(const fileatt_t* f) {
  if (!f) return 0;
  const char* root = f->web_root;
  if (root && same_url(f->name, root)) return 1;
  if (!config_get("WEBNAVIG")) return 0;
  if (root && f->name && same_site(f->name, root)) return 1;
  return obj_depth(f) <= config_get_number("WEBNAVIGDEPTH") ? 1 : 0;
}

// ---- Links of a page ------------------------------------------------------------------

namespace {

// A refused object leaves the list: a file object keeps its place in the tree but its
// content is released (it can be loaded again); anything else is freed.
void drop(obj_t* obj) {
  if (fileatt_t* f = file_of(obj))
    file_release_content(f, 1);
  else
    free_obj(&obj);
}

void drop_all(container_t* list) {
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) drop(list->elems[i]);
  obj_list_clear(list);
}

void own_folder_as_root(fileatt_t* f) {
  char* folder = nullptr;
  path_folder(f->keyname ? f->keyname : file_get_name(f), &folder);
  file_set_web_root(f, folder);
  free_mem(&folder);
}

}  // namespace

void html_filter_links(fileatt_t* page, container_t* list) {
  if (!page) return;
  if (page->filetype == kFileKindHtml) {
    if (!page->web_root) {
      char* root = nullptr;
      url_default_page(page->keyname ? page->keyname : file_get_name(page), &root);
      file_set_web_root(page, root);
      free_mem(&root);
    } else if (!web_link_allowed(page)) {
      drop_all(list);
      return;
    }
  }
  if (!page->web_root || obj_list_count(list) == 0) return;
  for (int i = 0; i < list->count;) {
    fileatt_t* f = file_of(list->elems[i]);
    if (!f || f == page) {
      ++i;
      continue;
    }
    if (!f->web_root) file_set_web_root(f, page->web_root);
    if (web_link_allowed(f)) {
      if (!path_equal(f->web_root, f->keyname ? f->keyname : file_get_name(f))) own_folder_as_root(f);
      ++i;
    } else {
      obj_list_remove_at(list, i);
      drop(f);
    }
  }
}
