// The native object file reader: an XML serialisation of objects of the object store.
//
// Every element named after a registered class describes one object ("id" and "type"
// attributes), and its child elements "F" + attribute name carry the attributes. The
// reader is generic: its vocabulary comes from the class registry at the moment of
// reading, so any class with an attribute descriptor can be read without code of its
// own. Ids, references and list entries are written as two prefix characters and a
// decimal number (WP12); "IDS" holds a list of them for an object array, "COORDS" a
// list of coordinate pairs for a coordinate list.
//
// After the parse the loaded objects are renumbered above the ids in use, references
// between them are turned into pointers (ids outside the file are looked up among the
// objects already in the store), and each object joins the class list of its class.
//
// Files: objxml.cpp (vocabulary, handlers, the read), objxml_relink.cpp (renumbering,
// relinking and the safe release of objects whose references are still ids).
#pragma once
#include <cstdint>

#include "core/xml.h"

constexpr int kObjxmlAttributeElement = 200;  // "F" + attribute name
constexpr int kObjxmlIds = 201;               // "IDS"
constexpr int kObjxmlCoords = 202;            // "COORDS"
constexpr int kObjxmlHandlers = 203;          // element handlers given to the engine

// Reads a native object file. The loaded objects live in their class lists; loaded
// file objects (class 27) are also put in the id-ordered list of objects ("sot") of the
// file object being read. Returns 0; an engine error (file not readable: gblerr 2)
// stops the parse, the objects read before it are still loaded, and gblerr is left set.
int read_obj_xml(obj_t* file);

// Builds the vocabulary: the element dictionary (class names valued with their class
// ids 1..199, "F" + attribute names valued 200, "IDS" 201, "COORDS" 202), the attribute
// dictionary ("id" 1, "type" 2) and the two handler tables (static). Free the
// dictionaries with objxml_free_dicts.
int objxml_build_dicts(container_t** out_elements, container_t** out_attributes,
                       const xml_element_handler** out_element_handlers,
                       const xml_attr_handler** out_attr_handlers);
void objxml_free_dicts(container_t** elements, container_t** attributes);

// Element handlers: class elements, "F" elements, "IDS", "COORDS".
void objxml_start_element(xml_parser_t* ctx, const char* text);
void objxml_attribute(xml_parser_t* ctx, const char* text);
void objxml_ids(xml_parser_t* ctx, const char* text);
void objxml_coords(xml_parser_t* ctx, const char* text);
// Attribute handlers of "id" and "type".
void objxml_id_attr(xml_parser_t* ctx, int element_id, const char* value);
void objxml_type_attr(xml_parser_t* ctx, int element_id, const char* value);

// The object being filled (kept in the context's caller word), or null.
obj_t* objxml_current(const xml_parser_t* ctx);

// Renumbers the loaded objects of an id-ordered list by `offset` and turns the ids
// their references (types 11, 12 and the entries of 32) hold into pointers: to a
// loaded object with id + offset, else to an object of the store with the id itself,
// else null; a list reference (type 12) only ever points to a list. Runs once per list.
void objxml_relink(container_t* list, int64_t offset);
// Frees a loaded object whose references may still hold ids: they are cleared first,
// so that its free routine never takes an id for a pointer.
void objxml_discard(obj_t** obj);
