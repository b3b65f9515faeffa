// The C interface of the outside MrSID decoding library as the plug-in calls it: the
// names, argument lists and results below are those the plug-in binds with dlsym. The
// stand-in of this folder implements them over the test format described in
// docs/formats/mrsid-standin.md.
//
// A handle is an opaque pointer filled by ltic_openMrSIDImageFile and ended by
// ltic_closeImage. Status results are 0 on success. ltic_decode fills one destination
// per band with w x h 8-bit samples of the region (x0, y0, w, h) given in pixels of the
// image at magnification `mag` (1.0 full resolution, 0.5 half size, ...).
#pragma once
#include <cstdint>

extern "C" {
using ltic_handle = void*;

int ltic_openMrSIDImageFile(ltic_handle* out, const char* path);
int ltic_closeImage(ltic_handle h);
int ltic_decode(ltic_handle h, double x0, double y0, double w, double hgt, double mag,
                uint8_t** bands);
int ltic_getDataType(ltic_handle h);
int ltic_getNumBands(ltic_handle h);
uint32_t ltic_getWidth(ltic_handle h);
uint32_t ltic_getHeight(ltic_handle h);
int ltic_getColorSpace(ltic_handle h);
double ltic_getMaxMagnification(ltic_handle h);
double ltic_getMinMagnification(ltic_handle h);
double ltic_getGeoXRotation(ltic_handle h);
double ltic_getGeoYRotation(ltic_handle h);
double ltic_getGeoXResolution(ltic_handle h);
double ltic_getGeoYResolution(ltic_handle h);
double ltic_getGeoXOrigin(ltic_handle h);
double ltic_getGeoYOrigin(ltic_handle h);

// Stand-in only (tests): the number of handles opened and not yet closed.
int msid_open_handles();
}

// File name of the decoding library, looked for beside the plug-in.
constexpr const char* kLticLibraryName = "lti_dsdk_cdll.so";
