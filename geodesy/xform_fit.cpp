// Affine steps fitted to control points (image geo-referencing), and the inversion of a
// small square matrix.
//
// The control pairs are class-41 records: the source is a point of an image whose y is
// measured upwards from the bottom, the target its world position. The fitted class-43
// step works on pixel columns and rows counted downwards (row = height - source y); its
// class-47 companion is the linear part alone, used to turn directions and sizes. Both
// fits work on differences from the centroid of the pairs, and both inverses are written
// in closed form.
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "core/error.h"
#include "geodesy/xform.h"

namespace {

struct pair_xy {
  double x, y, X, Y;  // source and target
};

// The class-41 pairs of the list, in order.
std::vector<pair_xy> read_pairs(const container_t* list) {
  std::vector<pair_xy> out;
  const int n = obj_list_count(list);
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(list, i, &o);
    if (!o || o->cls != CLS_XFORM_CONTROL_POINT) continue;
    const auto* p = static_cast<const xform_control_point_t*>(o);
    out.push_back({p->sx, p->sy, p->tx, p->ty});
  }
  return out;
}

struct centred_sums {
  double cx = 0, cy = 0, cX = 0, cY = 0;
  double sxx = 0, syy = 0, sxy = 0, sXx = 0, sXy = 0, sYx = 0, sYy = 0;
};

centred_sums sums_of(const std::vector<pair_xy>& pairs) {
  centred_sums s;
  const double n = double(pairs.size());
  for (const pair_xy& p : pairs) {
    s.cx += p.x / n;
    s.cy += p.y / n;
    s.cX += p.X / n;
    s.cY += p.Y / n;
  }
  for (const pair_xy& p : pairs) {
    const double dx = p.x - s.cx, dy = p.y - s.cy, dX = p.X - s.cX, dY = p.Y - s.cY;
    s.sxx += dx * dx;
    s.syy += dy * dy;
    s.sxy += dx * dy;
    s.sXx += dX * dx;
    s.sXy += dX * dy;
    s.sYx += dY * dx;
    s.sYy += dY * dy;
  }
  return s;
}

// A 2 x 2 linear part [[m11, m12], [m21, m22]] with translation (t1, t2) as a class-43
// forward matrix, and the exact inverse of it with k = 1 / determinant.
void fill_affine(xform_affine3d_t* a, double m11, double m12, double m21, double m22, double t1,
                 double t2) {
  const double k = 1.0 / (m11 * m22 - m12 * m21);
  const double i11 = m22 * k, i12 = -m12 * k, i21 = -m21 * k, i22 = m11 * k;
  double f[16] = {}, g[16] = {};
  f[0] = m11;
  f[1] = m12;
  f[3] = t1;
  f[4] = m21;
  f[5] = m22;
  f[7] = t2;
  f[10] = 1.0;
  f[15] = 1.0;
  g[0] = i11;
  g[1] = i12;
  g[3] = -(i11 * t1 + i12 * t2);
  g[4] = i21;
  g[5] = i22;
  g[7] = -(i21 * t1 + i22 * t2);
  g[10] = 1.0;
  g[15] = 1.0;
  std::memcpy(a->f, f, sizeof f);
  std::memcpy(a->g, g, sizeof g);
}

void fill_linear(xform_linear2d_t* l, double a1, double a2, double a3, double a4) {
  const double k = 1.0 / (a1 * a4 - a2 * a3);
  l->a1 = a1;
  l->a2 = a2;
  l->a3 = a3;
  l->a4 = a4;
  l->b1 = a4 * k;
  l->b2 = -a2 * k;
  l->b3 = -a3 * k;
  l->b4 = a1 * k;
}

// Creates both steps; false (and they are freed) when one cannot be created.
bool make_fit_steps(xform_affine3d_t** affine, xform_linear2d_t** linear) {
  obj_new_registered(CLS_XFORM_AFFINE3D, affine);
  obj_new_registered(CLS_XFORM_LINEAR2D, linear);
  if (*affine && *linear) return true;
  free_obj(affine);
  free_obj(linear);
  return false;
}

int fit_error(int code, xform_affine3d_t** affine, xform_linear2d_t** linear) {
  if (affine) *affine = nullptr;
  if (linear) *linear = nullptr;
  set_gblerr(code);
  return code;
}

bool usable(double v) { return std::isfinite(v) && v != 0.0; }

}  // namespace

void georef_centroid(xform_control_point_t* out, int n, const container_t* pairs) {
  if (!out) return;
  out->sx = out->sy = out->sz = out->tx = out->ty = out->tz = 0.0;
  const int count = obj_list_count(pairs);
  if (n > count) n = count;
  int used = 0;
  double sum[6] = {};
  for (int i = 0; i < n; ++i) {
    obj_t* o = nullptr;
    obj_list_get(pairs, i, &o);
    if (!o || o->cls != CLS_XFORM_CONTROL_POINT) continue;
    const auto* p = static_cast<const xform_control_point_t*>(o);
    const double v[6] = {p->sx, p->sy, p->sz, p->tx, p->ty, p->tz};
    for (int k = 0; k < 6; ++k) sum[k] += v[k];
    ++used;
  }
  if (used == 0) return;
  out->sx = sum[0] / used;
  out->sy = sum[1] / used;
  out->sz = sum[2] / used;
  out->tx = sum[3] / used;
  out->ty = sum[4] / used;
  out->tz = sum[5] / used;
}

void crs_points_centroid(int n, const double* points, double mean[2]) {
  if (!mean) return;
  mean[0] = mean[1] = 0.0;
  if (n <= 0 || !points) return;
  for (int i = 0; i < n; ++i) {
    mean[0] += points[2 * i];
    mean[1] += points[2 * i + 1];
  }
  mean[0] /= n;
  mean[1] /= n;
}

int georef_fit_similarity(const container_t* pairs, int height, xform_affine3d_t** affine,
                          xform_linear2d_t** linear) {
  const std::vector<pair_xy> p = read_pairs(pairs);
  if (p.size() < 2) return fit_error(ERR_PARAMETERS, affine, linear);
  const centred_sums s = sums_of(p);
  const double S = s.sxx + s.syy;
  const double P = s.sXx + s.sYy;
  const double Q = s.sYx - s.sXy;
  const double a = P / S, b = Q / S;
  if (!usable(S) || !usable(a * a + b * b)) return fit_error(ERR_VALUE, affine, linear);
  if (!make_fit_steps(affine, linear)) return get_gblerr();
  const double H = height;
  fill_affine(*affine, a, b, b, -a, s.cX - a * s.cx + b * s.cy - H * b,
              s.cY - b * s.cx - a * s.cy + H * a);
  fill_linear(*linear, a, -b, b, a);
  return 0;
}

int georef_fit_affine(const container_t* pairs, int height, xform_affine3d_t** affine,
                      xform_linear2d_t** linear) {
  const std::vector<pair_xy> p = read_pairs(pairs);
  if (p.size() < 2) return fit_error(ERR_PARAMETERS, affine, linear);
  if (p.size() == 2) return georef_fit_similarity(pairs, height, affine, linear);
  const centred_sums s = sums_of(p);
  const double det = s.sxx * s.syy - s.sxy * s.sxy;
  if (!usable(det)) return fit_error(ERR_VALUE, affine, linear);
  const double D = 1.0 / det;
  const double a = (s.sXx * s.syy - s.sXy * s.sxy) * D;
  const double b = (s.sXy * s.sxx - s.sXx * s.sxy) * D;
  const double c = (s.sYx * s.syy - s.sYy * s.sxy) * D;
  const double d = (s.sYy * s.sxx - s.sYx * s.sxy) * D;
  if (!usable(a * d - b * c)) return fit_error(ERR_VALUE, affine, linear);
  if (!make_fit_steps(affine, linear)) return get_gblerr();
  const double H = height;
  fill_affine(*affine, a, -b, c, -d, s.cX - a * s.cx - b * s.cy + H * b,
              s.cY - c * s.cx - d * s.cy + H * d);
  fill_linear(*linear, a, -b, -c, d);
  return 0;
}

int matrix_invert(double* a, int n, double* r) {
  if (!a || !r || n <= 0) return set_gblerr(ERR_VALUE);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) r[i * n + j] = i == j ? 1.0 : 0.0;
  double det = 1.0;
  for (int j = 0; j < n; ++j) {
    int pivot = j;
    for (int i = j + 1; i < n; ++i)
      if (std::fabs(a[i * n + j]) > std::fabs(a[pivot * n + j])) pivot = i;
    if (pivot != j) {
      for (int k = 0; k < n; ++k) {
        std::swap(a[j * n + k], a[pivot * n + k]);
        std::swap(r[j * n + k], r[pivot * n + k]);
      }
    }
    const double pv = a[j * n + j];
    det *= pv;
    // Also catches a NaN pivot, which no comparison would.
    if (!(std::fabs(det) > 2e-14)) return set_gblerr(ERR_VALUE);
    for (int k = 0; k < n; ++k) {
      a[j * n + k] /= pv;
      r[j * n + k] /= pv;
    }
    for (int i = 0; i < n; ++i) {
      if (i == j) continue;
      const double f = a[i * n + j];
      if (f == 0.0) continue;
      for (int k = 0; k < n; ++k) {
        a[i * n + k] -= f * a[j * n + k];
        r[i * n + k] -= f * r[j * n + k];
      }
    }
  }
  return 0;
}
