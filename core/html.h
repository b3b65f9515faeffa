// The HTML link scanner: a downloaded web page is read with the XML engine's automaton
// in an HTML-tolerant variant (html_table.cpp: its 49-state table and the run loop that
// drives the engine's action routines with it), and each link the page holds ("href"
// of "a", "src" of "img" and "frame", "background" of "body") becomes a file object
// under the page (html_links.cpp).
//
// The tolerant table differs from the XML one where real pages differ from XML: a bare
// '&' stays text, an attribute may have no value or an unquoted one, an unexpected byte
// in a tag skips only to the next blank or '>', and elements that never have content
// ("img", "meta", "br", ...) are closed at the end of their tag, so that the depth of
// the elements that follow stays right.
#pragma once
#include <cstddef>

#include "core/xml.h"

struct obj_t;

// Element ids of the HTML dictionary.
enum html_element : int {
  HE_UNKNOWN = 0, HE_HTML, HE_A, HE_IMG, HE_BODY, HE_EMBED, HE_HEAD, HE_META, HE_BASE,
  HE_OBJECT, HE_FRAME, HE_FRAMESET, HE_LINK,
  HE_HANDLERS,  // element handlers, slot 0 included
};
// Further elements that never have content ("br", "hr", "input", ..., and the
// "<!doctype" declaration) are known by name with ids from here on, above any id the
// engine gives an unknown name; they have no handler.
constexpr int kHtmlVoidBase = 1000000;
// Attribute ids.
enum html_attribute : int {
  HA_XMLNS = 0, HA_HREF, HA_SRC, HA_NAME, HA_DATA, HA_BACKGROUND, HA_REL, HA_CONTENT,
  HA_COUNT
};

constexpr int kHtmlStates = kXmlStates + 2;  // the XML automaton's states and two more

// Start-up: builds the HTML element and attribute dictionaries (the entities are the
// XML ones). Calling it again rebuilds them (tests reset the object store).
void html_init();
container_t* html_elements();
container_t* html_attributes();

// Runs the HTML automaton over bytes from the context's current state.
void html_run(xml_parser_t* ctx, const unsigned char* bytes, size_t n);
// Runs it over a whole file through the reader (128 KiB buffer); gblerr 2 when the
// file cannot be opened.
void html_read_file(obj_t* file, xml_parser_t* ctx);
// The same over bytes in memory.
void html_read_bytes(const void* bytes, size_t n, xml_parser_t* ctx);

// Scans the page (a file object whose name is its address) and adds the linked file
// objects to the list: an existing one is handed to the adopt hook (http.h), a new one
// is opened under the page. gblerr 2 when the page cannot be read.
void html_collect_links(obj_t* page, container_t* list);
