// The reader of GeoNames XML search results (format code 59). Every "geoname" record of
// a "geonames" answer becomes a point of interest (class 106) of the folder, with its
// name, position, elevation and population, so that places found on that web service
// can be loaded and then searched and shown like any other data.
//
// Elements read (the others are skipped): "geoname" inside "geonames" makes the point;
// inside that "geoname", "name" (the point's name, shown as its label), "lng" and "lat"
// (x and y, geographic on the reference datum), "elevation" (altitude and height of the
// coordinate) and "population" (kept as the point's comment, its name untouched).
// Values of a "geoname" that made no point (one outside "geonames") are never written
// anywhere: "name" there stops the read with error 14, the others are ignored.
#pragma once

struct obj_t;
struct folder_t;

constexpr int kGeonamesFormat = 59;

// Module initialiser: the element dictionary ("geonames" 1 ... "totalResultsCount" 13)
// and the attribute dictionary ("xmlns"). Runs at start-up; calling it again rebuilds
// both (tests reset the object store).
void geonames_register_vocab();

// Reads the file into the folder: the folder gets the default georeference (geographic
// on the reference datum) and a point per record, the file default styles for its
// points of interest. Returns the error code (gblerr): 0, 14 for a "name" outside a
// point of interest, or what opening the file or the allocations gave.
int read_geonames_xml(obj_t* file, folder_t* folder);
