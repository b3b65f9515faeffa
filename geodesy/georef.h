// Georeference links and conversion chains.
//
// Every layer, view, image and file carries a georef (class 46, xform_records.h) naming
// its datum, its projection and the unit of its coordinates. This module finds the
// cheapest path of datum transformations between two datums (the result cached in the
// tables as a new direct transformation), assembles the steps of a conversion (inverse
// projection, datum change through geocentric coordinates or a prime-meridian shift,
// forward projection, unit steps), builds the link chain from a layer's georef to a
// view's, picks among several georefs the one closest to a target, and offers the
// small georef services of the graph spaces and dialogs.
//
// Conversion class: (3 when the two datums differ, else 0) + 1 for each side that has a
// projection. It is the largest number of conversion steps and sizes the chains.
//
// The module is split by subject: georef.cpp (the record, units, comparisons, closest
// georef, distance, plate carree services), georef_path.cpp (datum path search and
// composition of transformations), georef_chain.cpp (conversion steps and link chains).
#pragma once
#include "core/obj_list.h"
#include "geodesy/extent.h"
#include "geodesy/geodesy_records.h"
#include "geodesy/xform.h"

constexpr int kMaxConversionSteps = 5;

// ---- The record -----------------------------------------------------------------------
// A new georef inserted into the id-ordered list (when given): geographic on the
// reference datum in that datum's angular unit (no datum when the tables lack it).
georef_t* georef_create(container_t* list, georef_t** out);
// A datum name makes the georef geographic, else a projection name makes it projected;
// else gblerr 12. The unit step is not touched. Returns 1 when a name was found.
int georef_set_by_name(georef_t* g, const char* name, geodatum_t** datum,
                       cartproj_t** projection);
// Free and copy routines of class 46: a georef owns its unit step (a class-57 scale
// step); a copy gets a copy of it.
void georef_free(obj_t* obj);
void georef_copy(const obj_t* src, obj_t* dst);
void georef_set_unit(georef_t* g, int unit);
// `unit` = the datum's angular unit (refertype 1) or the projection's linear unit (2).
void georef_reset_unit(georef_t* g);
// When `unit` differs from the datum's or projection's unit: a class-57 scale step from
// `unit` to that unit becomes the georef's unit step and `unit` becomes that unit.
// Refertype 1 without datum or 2 without projection: gblerr 13; a `unit` outside its
// table: gblerr 12 (nothing changes). Returns the code.
int georef_unit_step(georef_t* g);
// 0 when the same record, or equal refertype, datum and projection; 1 otherwise.
int georef_same_system(const georef_t* a, const georef_t* b);
// 1 when either is null; 0 when the same record or every field agrees.
int georef_differs(const georef_t* a, const georef_t* b);
// A refertype and a datum and, for refertype 2, a projection.
int georef_is_complete(const georef_t* g);

// ---- Datum paths ----------------------------------------------------------------------
// 1 when a path of transformations joins the datums (then *trans leads from `from` to
// `to`, and *cost is its cost), else 0. Both outputs are optional. A path of several
// transformations is composed into a new transformation kept in the tables, its weight
// one less than the path's; the same path found again gives back the same record. The
// search runs over the transformations the tables were given, never over inverses or
// compositions made at run time, so its answer does not depend on earlier searches.
int geo_datum_path(geodatum_t* from, geodatum_t* to, geocentric_t** trans, int* cost);
// Forgets the composed transformations that are no longer in the tables: called when
// the classes are registered again after the tables were freed, before a new record
// can take a freed one's address.
void geo_path_forget_freed();
// Appends next to the composed transformation acc (a first-order composition of small
// shifts): gblerr 13 when they do not meet. A prime-meridian shift adds its longitude
// difference only to a composition that is itself a meridian shift: geocentric shifts
// already see every datum from Greenwich. Returns the code.
int datumtrans_compose(geocentric_t* acc, const geocentric_t* next);
// 1 when both are given and have the same datum or a datum path joins them.
int georef_convertible(const georef_t* a, const georef_t* b);

// ---- Conversion chains ----------------------------------------------------------------
int georef_chain_class(const geodatum_t* da, const geodatum_t* db, const cartproj_t* pa,
                       const cartproj_t* pb, int* cls);
// The steps from (source datum, source projection) to (target datum, target
// projection) in kinds[] and steps[] (room for kMaxConversionSteps each). No datum path:
// gblerr 13 and count 0. Returns the code.
int georef_chain_build(geodatum_t* ds, geodatum_t* dt, cartproj_t* ps, cartproj_t* pt,
                       int kinds[], obj_t* steps[], int* count);
// The chain from a georef's coordinates to geographic coordinates on the reference
// datum; null when none is needed. Refertype 2 without projection: gblerr 13.
xform_chain_t* georef_chain_to_ref(const georef_t* g, xform_chain_t** chain);

// ---- Link chains (layer to view) ------------------------------------------------------
// The link of a layer whose objects carry obj into a view whose georef is view: the
// object's unit step, the conversion, then the view's unit step inverted (owned by the
// chain). When both have the same system only the two unit steps remain. Null when
// nothing is needed, when a georef is missing, or for a projected object georef
// without projection. The graph space's own rules (a view without system takes the
// layer's) are its owner's.
xform_chain_t* georef_link_chain(const georef_t* view, const georef_t* obj,
                                 xform_chain_t** chain);
// The two shapes of link chain; view_unit_kind / view_unit_inverse: the view's
// inverted unit step (null when none), which the chain takes in ownership.
xform_chain_t* georef_chain_unit_steps(const georef_t* obj, int view_unit_kind,
                                       obj_t* view_unit_inverse, xform_chain_t** chain);
xform_chain_t* georef_chain_between(const georef_t* view, const georef_t* obj,
                                    int view_unit_kind, obj_t* view_unit_inverse,
                                    xform_chain_t** chain);

// ---- Services of the map model ------------------------------------------------------------
// Graph spaces, layer entries, folders and map windows belong to the map model, which
// builds its georef services on the routines here and does not repeat them:
// - objcs_link, objcs_relink_all and view_set_georef make each layer entry's link with
//   georef_link_chain (the graph space's georef is the view); the rule that a graph
//   space without a system takes the layer's, and freeing the old link, are theirs.
// - view_adopt_georef asks georef_convertible before it attaches a folder.
// - graphspace_visible_extent carries the visible area with crs_transform_extent
//   (domain.h); the graph space's domain is georef_domain_extent (domain.h).
// - graphspace_max_side is the graph space's data extent, which the map model hands to
//   the grid of extent lists through graphspace_set_extent_source (extent.h).
// - graph_get_georef, object_get_system, graph_system_of, graphspace_refresh_georef and
//   dimage_get_bitmap read the map model's own records.

// ---- Choosing a georef ------------------------------------------------------------------
// The georef of the list closest to target: lowest conversion class, then cheapest datum
// path, then a projection that precedes the target's.
georef_t* georef_pick_closest(const container_t* list, const georef_t* target,
                              georef_t** best);
// 1 when a is null; 0 when b is null or gblerr is set; else by a rank per projection
// kind, lower first; of two projections of the same kind, a precedes b when |phio0| of
// b is at most that of a.
int proj_precedes(const cartproj_t* a, const cartproj_t* b);

// ---- Small services -------------------------------------------------------------------------
// Ground distance in metres between two geographic points in the datum's angular unit
// (haversine angle times the meridian radius at the mean latitude). A datum without
// ellipsoid: gblerr 10 and 0.
double georef_distance(const geodatum_t* datum, double x1, double y1, double x2, double y2,
                       double* distance);
// The plate carree of the datum for a latitude (in unit) clamped to +-1.4 rad.
cartproj_t* crs_plate_carree_clamped(geodatum_t* datum, int unit, double latitude,
                                     cartproj_t** projection);
// The same for the latitude of the extent's centre.
cartproj_t* graph_project_point(geodatum_t* datum, int unit, extent_t extent,
                                cartproj_t** projection);
// For a geographic graph georef: the plate carree of its datum for the extent's centre
// latitude (clamped), and (xmin, ymin), (xmax, ymax) carried forward through it (kind
// 17). Other georefs: nothing, and a null projection.
void graph_project_extent(const georef_t* graph_georef, extent_t* extent,
                          cartproj_t** projection);
// Carries (xmin, ymin) and (xmax, ymax) back to geographic coordinates (inverse of 17).
void graph_extent_to_system(cartproj_t* projection, extent_t* extent);
