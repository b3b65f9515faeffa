// Transformation steps and chains: every movement of a point between two coordinate
// systems is a sequence of steps, each a pair (transform kind, step object).
//
// The kind indexes two tables of routines, forward and inverse (xform_kinds.cpp); the
// step object holds the parameters the routine reads: a projection, a datum, a datum
// transformation, or one of the small step records of xform_records.h. A chain is itself
// a step (kind 6), so a whole conversion is stored, applied, inverted or nested as one.
//
// Coordinates travel as three doubles changed in place. z = -1e100 means "no height":
// every entry point below replaces it by 0.0 before the first routine runs. Routines
// return nothing; a failure inside one sets gblerr.
//
// The module is split by subject: xform_kinds.cpp (the tables and the routines of kinds
// 0 to 6), xform_chain.cpp (chains, inversion of steps, carrying extents),
// xform_fit.cpp (affine steps fitted to control points, matrix inversion),
// xform_classes.cpp (registration of the classes).
#pragma once
#include "core/obj_list.h"
#include "geodesy/extent.h"
#include "geodesy/xform_records.h"

// The signature of every step routine.
using xform_fn = void (*)(obj_t* step, double* x, double* y, double* z);

// The routines of a kind (the identity for a kind outside 0..32).
xform_fn xform_forward_fn(int kind);
xform_fn xform_inverse_fn(int kind);

// One step forward or inverse. A null step or a kind outside 0..32 changes nothing.
void xform_forward(obj_t* step, int kind, double* x, double* y, double* z);
void xform_inverse(obj_t* step, int kind, double* x, double* y, double* z);
void xform_forward_checked(obj_t* step, int kind, double* x, double* y, double* z);
void xform_inverse_checked(obj_t* step, int kind, double* x, double* y, double* z);
// With z fixed at 0 in a local.
void xform_forward_2d(obj_t* step, int kind, double* x, double* y);
void xform_inverse_2d(obj_t* step, int kind, double* x, double* y);
int xform_kind_valid(int kind);

// ---- Chains -------------------------------------------------------------------------
// An empty chain with room for n steps and count n (kinds 0, steps null): the caller
// fills the arrays and sets the count.
xform_chain_t* xform_chain_create(int n, xform_chain_t** out);
// Count + 1, the new last entry (kind, step); nothing when the chain, the step or the
// kind is null or 0.
void xform_chain_append(xform_chain_t* chain, obj_t* step, int kind);
// Steps 0 to count - 1; the inverse runs count - 1 down to 0, passing over null steps.
void xform_chain_forward(xform_chain_t* chain, double* x, double* y, double* z);
void xform_chain_inverse(xform_chain_t* chain, double* x, double* y, double* z);
// xform_chain_forward on n points given as (x, y, z) triples, in place: the same results,
// with each projection step carrying the whole run at once (proj_forward_points).
void xform_chain_forward_points(xform_chain_t* chain, double* xyz, int n);
int xform_step_count(const xform_chain_t* chain);
// Entry i of a chain (kind 0 and null outside it).
int xform_chain_kind_at(const xform_chain_t* chain, int i);
obj_t* xform_chain_step_at(const xform_chain_t* chain, int i);
// Makes the chain own a step made for it alone: freed with the chain.
void xform_chain_own(xform_chain_t* chain, obj_t* step, int kind);
// Free routine of class 45: the arrays and the owned step, never the other steps.
void xform_chain_free(obj_t* chain);
// Copy routine of class 45: a copy has arrays of its own and a copy of the owned step.
void xform_chain_copy(const obj_t* src, obj_t* dst);

// ---- Step records -------------------------------------------------------------------
// A new step that is the inverse of the given one, for kinds 1 (offset-scale), 2 (scale)
// and 3 (affine); null for the others, for a step that cannot be inverted (a zero
// scale) and for a kind-1 step without origins. Free it with xform_free_step.
obj_t* xform_invert_step(int kind, obj_t* step, obj_t** out);
// Frees a step made by xform_invert_step (with the origins of a kind-1 step).
void xform_free_step(int kind, obj_t** step);
xform_scale_t* xform_make_scale(double sx, double sy, double sz, xform_scale_t** out);
// The 2-D linear step of a rotation by angle (radians).
xform_linear2d_t* xform_make_rotation(double angle, xform_linear2d_t** out);
// The 3-D affine step of a rotation by angle about (cx, cy); 0, or the error code.
int xform_make_affine_rotation(double angle, double cx, double cy, xform_affine3d_t** out);

// Carries an extent through one step forward: mode 0 the box around the four carried
// corners, mode 1 each bound the mean of the two corners of its side; other modes leave
// the extent.
void xform_extent(obj_t* step, int kind, int mode, extent_t* extent);

// ---- Control points -----------------------------------------------------------------
// The mean pair of the first n class-41 pairs of the list.
void georef_centroid(xform_control_point_t* out, int n, const container_t* pairs);
// The mean (x, y) of n points given as consecutive (x, y) doubles.
void crs_points_centroid(int n, const double* points, double mean[2]);
// Fit a class-43 step and its class-47 linear part to the control pairs of the list;
// the fitted step maps (column, row) of an image of the given height, row = height -
// source y. Fewer than 2 pairs: gblerr 15; coincident or collinear points: gblerr 12.
// georef_fit_affine takes the similarity for exactly 2 pairs.
int georef_fit_similarity(const container_t* pairs, int height, xform_affine3d_t** affine,
                          xform_linear2d_t** linear);
int georef_fit_affine(const container_t* pairs, int height, xform_affine3d_t** affine,
                      xform_linear2d_t** linear);
// The inverse of an n x n matrix (a is destroyed): gblerr 12 when the product of the
// pivots falls to 2e-14 or below in absolute value. Returns the error code.
int matrix_invert(double* a, int n, double* result);

// Registers classes 41, 42, 57, 43, 47, 45 and 46 (called by geo_register_classes).
void xform_register_classes();
