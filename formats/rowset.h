// The ROWSET reader (format 76, kind 14): XML database exports in which each "ROW"
// names a class of the object store in its "TYPE" element and gives attribute values in
// child elements named after the attributes, in upper case. Every row naming a class
// becomes an object of that class in the file's content list. The vocabulary is built
// from the class registry on each read, so any registered class with a descriptor can
// be loaded (classes 1 to 199).
//
// What a row can never set: objects of the classes that hold system resources (file
// objects, their memory copies and line stores, GPS ports, sockets) are not made.
// References and lists: a row may give its own id (an element named after its class's
// id attribute, "ID"); after the read each reference or list attribute that names the
// id of another row is linked to that row's object, which then leaves the content list,
// held by the object that refers to it. Only the fields that their holder's free routine
// releases are linked (a track point's navigation, DGPS, raw and satellite list, the
// sons list of tracks, routes, lines and segments); any other reference or list, an id
// no row gave, or one that would make an object held twice or a chain of holders,
// leaves the attribute empty, and a field a row names twice keeps its first link; objects loaded elsewhere are never pointed into. Every
// object is thus freed once, by the list or by its holder.
#pragma once

struct obj_t;
struct container_t;

constexpr int kRowsetFormat = 76;

// Reads the file into `list` (its content list). Always returns 0; an error (2: the file
// cannot be opened, 1: the objects would leave less than 16 MiB of the memory budget)
// stays in gblerr, and the objects read before it stay in the list.
int read_rowset(obj_t* file, container_t* list);
