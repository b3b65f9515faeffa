#!/usr/bin/python3
"""Derives the coefficients of Krueger's Transverse Mercator series in the third
flattening n, to the sixth order, with exact fractions, and prints them: the tables of
geodesy/proj_tm.cpp (alpha, beta, and c, d of the conformal latitude) are these.

The mathematics (no outside data):
  - conformal latitude chi(phi) = gd(psi), psi = asinh(tan phi) - e atanh(e sin phi),
    expanded about the sphere's gd(asinh(tan phi)) = phi in powers of the correction;
  - rectifying latitude mu(phi) = M(phi) / A, M the meridian arc
    a (1 - e2) integral of (1 - e2 sin^2)^-3/2, A the coefficient of phi in it;
  - e2 = 4 n / (1 + n)^2, every series cut after n^6;
  - alpha: mu as a function of chi (compose mu with the reverse of chi);
    beta: chi as a function of mu (the reverse of that);
  - c: chi as a function of phi; d: phi as a function of chi (its reverse).
Then x + i y = A (zeta' + sum alpha_j sin 2j zeta'), zeta' = xi' + i eta' the spherical
transverse Mercator of the conformal latitude, and back with beta.

Run:  /usr/bin/python3 scripts/geodesy/derive_tm_series.py
"""

from fractions import Fraction as F
from math import factorial

ORDER = 6  # highest power of n kept


# ---- Power series in n: lists of Fractions, index = power ----------------------------
def ps_mul(a, b):
    out = [F(0)] * (ORDER + 1)
    for i, x in enumerate(a):
        if x:
            for j, y in enumerate(b[:ORDER + 1 - i]):
                out[i + j] += x * y
    return out


def ps_inv(a):
    # 1 / a for a[0] != 0
    out = [F(0)] * (ORDER + 1)
    out[0] = 1 / a[0]
    for k in range(1, ORDER + 1):
        out[k] = -sum(a[j] * out[k - j] for j in range(1, k + 1)) / a[0]
    return out


def ps_pow(a, k):
    out = [F(1)] + [F(0)] * ORDER
    for _ in range(k):
        out = ps_mul(out, a)
    return out


# ---- Trigonometric polynomials with power-series coefficients ----------------------------
# {('s' or 'c', k): power series}: sum of coefficient * sin(k x) or cos(k x).
def tp_add(a, b, scale=F(1)):
    out = {key: list(v) for key, v in a.items()}
    for key, v in b.items():
        cur = out.setdefault(key, [F(0)] * (ORDER + 1))
        for i, x in enumerate(v):
            cur[i] += scale * x
    return out


def tp_scale(a, series):
    return {key: ps_mul(v, series) for key, v in a.items()}


def tp_mul(a, b):
    out = {}
    half = [F(1, 2)] + [F(0)] * ORDER
    for (ka, ma), va in a.items():
        for (kb, mb), vb in b.items():
            v = ps_mul(ps_mul(va, vb), half)
            s, d = ma + mb, abs(ma - mb)
            if ka == 'c' and kb == 'c':
                parts = [('c', d, 1), ('c', s, 1)]
            elif ka == 's' and kb == 's':
                parts = [('c', d, 1), ('c', s, -1)]
            else:  # sin(p) cos(q) = (sin(p+q) + sin(p-q)) / 2
                p, q = (ma, mb) if ka == 's' else (mb, ma)
                parts = [('s', p + q, 1), ('s', abs(p - q), 1 if p >= q else -1)]
            for kind, k, sign in parts:
                if kind == 's' and k == 0:
                    continue
                out = tp_add(out, {(kind, k): v}, F(sign))
    return out


def tp_derivative(a):
    out = {}
    for (kind, k), v in a.items():
        if k == 0:
            continue
        if kind == 's':
            out = tp_add(out, {('c', k): v}, F(k))
        else:
            out = tp_add(out, {('s', k): v}, F(-k))
    return out


def tp_const(series):
    return {('c', 0): list(series)}


ONE = [F(1)] + [F(0)] * ORDER
N = [F(0), F(1)] + [F(0)] * (ORDER - 1)
SIN = {('s', 1): ONE}
COS = {('c', 1): ONE}


def tp_pow(a, k):
    out = tp_const(ONE)
    for _ in range(k):
        out = tp_mul(out, a)
    return out


def tp_clean(a):
    return {key: v for key, v in a.items() if any(v)}


# ---- The latitudes --------------------------------------------------------------------------
E2 = ps_mul([F(4) * x for x in N], ps_inv(ps_pow([F(1), F(1)] + [F(0)] * (ORDER - 1), 2)))


def conformal_minus_geodetic():
    """chi(phi) - phi as sines of multiples of phi."""
    # delta = e atanh(e sin phi) = sum e^(2k+2) sin^(2k+1) / (2k + 1)
    delta = {}
    for k in range(ORDER + 1):
        delta = tp_add(delta, tp_scale(tp_pow(SIN, 2 * k + 1), ps_pow(E2, k + 1)), F(1, 2 * k + 1))
    # gd derivatives at psi0(phi): G1 = cos phi, G(k+1) = cos phi dG(k)/dphi
    g = COS
    result = {}
    for k in range(1, ORDER + 1):
        term = tp_mul(tp_pow(delta, k), g)
        result = tp_add(result, term, F((-1) ** k, factorial(k)))
        g = tp_mul(COS, tp_derivative(g))
    return tp_clean(result)


def rectifying_minus_geodetic():
    """mu(phi) - phi, and A / a."""
    # (1 - e2 s^2)^-3/2 = sum binom(-3/2, k) (-e2)^k s^(2k)
    integrand = {}
    coef = F(1)
    for k in range(ORDER + 1):
        integrand = tp_add(integrand, tp_scale(tp_pow(SIN, 2 * k), ps_pow(E2, k)), coef)
        coef = coef * (F(-3, 2) - k) / (k + 1) * -1
    one_minus_e2 = {('c', 0): [F(1) - E2[0]] + [-x for x in E2[1:]]}
    integrand = tp_mul(integrand, one_minus_e2)
    a_coef = integrand.get(('c', 0), [F(0)] * (ORDER + 1))
    inv = ps_inv(a_coef)
    mu = {}
    for (kind, k), v in integrand.items():
        if k == 0:
            continue
        assert kind == 'c'
        mu = tp_add(mu, {('s', k): ps_mul(v, inv)}, F(1, k))
    return tp_clean(mu), a_coef


def compose(outer, inner):
    """x -> inner(x) + outer(inner(x)), with inner(x) = x + inner_terms (both odd sine series)."""
    result = dict(inner)
    for (kind, k), b in outer.items():
        assert kind == 's'
        # sin(k x + k d) = sin(kx) cos(kd) + cos(kx) sin(kd)
        kd = {key: [F(k) * x for x in v] for key, v in inner.items()}
        cos_kd, sin_kd = tp_const(ONE), {}
        power = tp_const(ONE)
        for m in range(1, ORDER + 1):
            power = tp_mul(power, kd)
            if m % 2:
                sin_kd = tp_add(sin_kd, power, F((-1) ** (m // 2), factorial(m)))
            else:
                cos_kd = tp_add(cos_kd, power, F((-1) ** (m // 2), factorial(m)))
        term = tp_add(tp_mul({('s', k): ONE}, cos_kd), tp_mul({('c', k): ONE}, sin_kd))
        result = tp_add(result, tp_scale(term, b))
    return tp_clean(result)


def reverse(terms):
    """D with x = y + D(y) the reverse of y = x + terms(x): the fixed point D = -terms(y + D)."""
    d = {}
    for _ in range(ORDER + 1):
        shifted = compose(terms, d)  # d + terms(y + d)
        d = tp_clean(tp_add({}, tp_add(shifted, d, F(-1)), F(-1)))
    return d


def sine_coefficients(terms, step):
    out = []
    for j in range(1, ORDER + 1):
        out.append(terms.get(('s', step * j), [F(0)] * (ORDER + 1)))
    return out


def show(name, coefs):
    for j, series in enumerate(coefs, 1):
        parts = ['%s n^%d' % (c, p) for p, c in enumerate(series) if c]
        print('%s%d = %s' % (name, j, ' + '.join(parts)))


def derive():
    """The series: A (1 + n) / a as a power series, and the tables alpha, beta, c, d, each
    a list of six power series (the coefficients of sin 2j., j = 1..6)."""
    chi = conformal_minus_geodetic()
    mu, a_coef = rectifying_minus_geodetic()
    phi_of_chi = reverse(chi)
    alpha = compose(mu, phi_of_chi)  # mu(phi(chi)) - chi
    beta = tp_clean({key: [-x for x in v] for key, v in reverse(alpha).items()})
    radius = ps_mul(a_coef, [F(1), F(1)] + [F(0)] * (ORDER - 1))
    return radius, {'alpha': sine_coefficients(alpha, 2), 'beta': sine_coefficients(beta, 2),
                    'c': sine_coefficients(chi, 2), 'd': sine_coefficients(phi_of_chi, 2)}


def evaluate(series, n):
    """A power series at n, as a float."""
    return float(sum(c * F(n) ** p for p, c in enumerate(series)))


def main():
    radius, tables = derive()
    # A (1 + n) / a should be 1 + n^2/4 + n^4/64 + n^6/256
    print('A (1 + n) / a =', ' + '.join('%s n^%d' % (c, p) for p, c in enumerate(radius) if c))
    show('alpha', tables['alpha'])
    show('beta', tables['beta'])
    # The two latitudes: chi = phi + sum c_j sin 2j phi and phi = chi + sum d_j sin 2j chi.
    show('c', tables['c'])
    show('d', tables['d'])


if __name__ == '__main__':
    main()
