// Links of a web page (see html.h): the HTML dictionaries, the handlers that pick the
// link attributes while the automaton reads the page, and the file objects the links
// become.
//
// The handlers keep their state in the context's scratch block: whether the head is
// being read (its links are not followed), whether a robots meta element said
// "nofollow" (then "a" links are not followed, images and frames still are), the
// page's address that links resolve against, and the name of the current meta element.
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/file_ops.h"
#include "core/html.h"
#include "core/http.h"
#include "core/memory.h"
#include "core/obj_list.h"
#include "core/strutil.h"

namespace {

tag_t g_element_table[] = {
    make_tag("html", HE_HTML),         make_tag("a", HE_A),
    make_tag("img", HE_IMG),           make_tag("body", HE_BODY),
    make_tag("embed", HE_EMBED),       make_tag("head", HE_HEAD),
    make_tag("meta", HE_META),         make_tag("base", HE_BASE),
    make_tag("object", HE_OBJECT),     make_tag("frame", HE_FRAME),
    make_tag("frameset", HE_FRAMESET), make_tag("link", HE_LINK),
    make_tag("doctype", kHtmlVoidBase), make_tag("br", kHtmlVoidBase + 1),
    make_tag("hr", kHtmlVoidBase + 2),  make_tag("input", kHtmlVoidBase + 3),
    make_tag("area", kHtmlVoidBase + 4), make_tag("param", kHtmlVoidBase + 5),
    make_tag("col", kHtmlVoidBase + 6), make_tag("wbr", kHtmlVoidBase + 7),
    make_tag("source", kHtmlVoidBase + 8), make_tag("track", kHtmlVoidBase + 9),
};
tag_t g_attr_table[] = {
    make_tag("xmlns", HA_XMLNS), make_tag("href", HA_HREF),   make_tag("src", HA_SRC),
    make_tag("name", HA_NAME),   make_tag("data", HA_DATA),   make_tag("background", HA_BACKGROUND),
    make_tag("rel", HA_REL),     make_tag("content", HA_CONTENT),
};

container_t* g_elements = nullptr;
container_t* g_attributes = nullptr;

struct scan_state {
  int32_t in_head;
  int32_t no_follow;
  char* base;       // owned: the page's address
  char* meta_name;  // owned, lower-cased
  obj_t* page;
};

scan_state* state_of(xml_parser_t* ctx) { return reinterpret_cast<scan_state*>(ctx->scratch); }

void lower(char* s) {
  for (; s && *s; ++s) *s = ascii_lower(*s);
}

// ---- Links -----------------------------------------------------------------------------

std::string link_name(const char* base, const char* link) {
  char* resolved = nullptr;
  url_resolve(base, link, &resolved);
  std::string name = resolved ? resolved : "";
  free_mem(&resolved);
  name = name.substr(0, name.find('#'));
  char* unescaped = nullptr;
  url_unescape_space_copy(name.c_str(), &unescaped);
  name = unescaped;
  free_mem(&unescaped);
  return name;
}

void add_link(xml_parser_t* ctx, const char* link) {
  scan_state* st = state_of(ctx);
  const std::string name = link_name(st->base, link);
  if (name.empty()) return;
  const file_ops& ops = get_file_ops();
  obj_t* file = ops.find_by_name(name.c_str());
  if (file)
    get_http_hooks().adopt_link(st->page, file);
  else
    file = ops.open(st->page, name.c_str());
  if (file) obj_add_to_id_list(static_cast<container_t*>(ctx->user), file);
}

// ---- Handlers ----------------------------------------------------------------------------

bool inside_html(const xml_parser_t* ctx) {
  for (int k = 0; k + 1 < ctx->depth && k < kXmlMaxDepth; ++k)
    if (ctx->stack[k] == HE_HTML) return true;
  return false;
}

void on_head(xml_parser_t* ctx, const char* text) {
  if (text) return;
  if (ctx->end_tag)
    state_of(ctx)->in_head = 0;
  else if (ctx->depth <= 2 && inside_html(ctx))
    state_of(ctx)->in_head = 1;
}

void on_body(xml_parser_t* ctx, const char* text) {
  if (!text && !ctx->end_tag && ctx->depth <= 2) state_of(ctx)->in_head = 0;
}

void on_meta(xml_parser_t* ctx, const char* text) {
  if (!text && !ctx->end_tag) free_mem(&state_of(ctx)->meta_name);
}

void on_href(xml_parser_t* ctx, int element, const char* value) {
  const scan_state* st = state_of(ctx);
  if (value && element == HE_A && !st->in_head && !st->no_follow) add_link(ctx, value);
}

void on_src(xml_parser_t* ctx, int element, const char* value) {
  if (value && (element == HE_IMG || element == HE_FRAME) && !state_of(ctx)->in_head)
    add_link(ctx, value);
}

void on_background(xml_parser_t* ctx, int element, const char* value) {
  if (value && element == HE_BODY) add_link(ctx, value);
}

void on_name(xml_parser_t* ctx, int element, const char* value) {
  scan_state* st = state_of(ctx);
  if (!value || element != HE_META || !st->in_head) return;
  str_set(value, &st->meta_name);
  lower(st->meta_name);
}

void on_content(xml_parser_t* ctx, int element, const char* value) {
  scan_state* st = state_of(ctx);
  if (!value || element != HE_META || !st->meta_name) return;
  if (std::strcmp(st->meta_name, "robots") == 0 && str_find_ci(value, "nofollow"))
    st->no_follow = 1;
}

const xml_element_handler kElementHandlers[HE_HANDLERS] = {
    nullptr, nullptr, nullptr, nullptr, on_body, nullptr, on_head,
    on_meta, nullptr, nullptr, nullptr, nullptr, nullptr};
const xml_attr_handler kAttrHandlers[HA_COUNT] = {
    nullptr, on_href, on_src, on_name, nullptr, on_background, nullptr, on_content};

void free_state(xml_parser_t* ctx) {
  scan_state* st = state_of(ctx);
  if (!st) return;
  free_mem(&st->base);
  free_mem(&st->meta_name);
}

}  // namespace

void html_init() {
  dict_rebuild_pair(int(std::size(g_element_table)), g_element_table, int(std::size(g_attr_table)),
                    g_attr_table, &g_elements, &g_attributes);
}

container_t* html_elements() { return g_elements; }
container_t* html_attributes() { return g_attributes; }

void html_collect_links(obj_t* page, container_t* list) {
  if (!page || !list) return;
  if (!g_elements) html_init();
  xml_parser_t* ctx = xml_parser_create(list, g_elements, g_attributes, nullptr, 1, HE_HANDLERS,
                                        kElementHandlers, kAttrHandlers, nullptr);
  if (!ctx) return;
  alloc_mem_zero(&ctx->scratch, sizeof(scan_state));
  scan_state* st = state_of(ctx);
  str_set(file_name_of(page), &st->base);
  st->page = page;
  html_read_file(page, ctx);
  free_state(ctx);
  xml_parser_free(&ctx);
  // Which links may be followed depends on the page's web root and the configured
  // depth, which the file objects' layer knows.
  get_http_hooks().filter_links(page, list);
}
