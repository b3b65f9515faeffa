// Projection domains and extent conversion.
//
// The domain of a coordinate system is the extent, in its own coordinates, of the whole
// area it can show (views bound zooming and scrolling by it); the validity box of a
// projection is the geographic area whose points may be carried into it without the
// formulas folding over. With them a whole extent is carried from one system (datum and
// projection) to another. Both are chosen by the projection's transform kind through
// tables of routines; a kind without a routine gives gblerr 12 and a cleared extent.
#pragma once
#include "geodesy/extent.h"
#include "geodesy/geodesy_records.h"
#include "geodesy/xform_records.h"

// The projected domain of a projection.
int proj_domain_extent(const cartproj_t* projection, extent_t* extent);
// The domain of a georef in its datum's (refertype 1) or projection's (2) units.
int crs_domain_extent(const georef_t* g, extent_t* extent);
// The domain of a georef in the georef's own units: crs_domain_extent carried back
// through the georef's unit step. This is what a graph space keeps in its extent field.
int georef_domain_extent(const georef_t* g, extent_t* extent);

// Validity boxes (geographic, in the angular unit given, normally the datum's).
int validity_box_hemisphere(const cartproj_t* projection, int unit, extent_t* extent);
int validity_box_polar(const cartproj_t* projection, int unit, extent_t* extent);
int validity_box_band(const cartproj_t* projection, int unit, extent_t* extent);
int validity_box_world(const cartproj_t* projection, int unit, extent_t* extent);
// The box of the projection's transform kind; gblerr 12 for a kind without one.
int proj_validity_box(const cartproj_t* projection, int unit, extent_t* extent);

// Carries an extent in place from (source datum, source projection) to (target datum,
// target projection); the map model's graphspace_visible_extent asks its visible area
// in another georef's coordinates through it. Returns gblerr's code: 13 when no transformation joins the
// datums (the extent is then left in the source datum's geographic coordinates), 12
// when the target projection has no validity box.
int crs_transform_extent(geodatum_t* ds, geodatum_t* dt, cartproj_t* ps, cartproj_t* pt,
                         extent_t* extent);
