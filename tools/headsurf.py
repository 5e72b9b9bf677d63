"""The head surface used by make_head_mesh.py and the preview tools.

The surface is star-shaped around an inner centre C and addressed through the chart of
directions seen from C. A direction w meets the surface at P(w) = C + r(w) w, where

    r(w) = base(w) + offset(w)

base(w) is the smooth union of a few ellipsoids and a neck cylinder (the far intersection
of the ray with each), a plain rounded head; offset(w) is a thin-plate spline over the
chart that makes the surface pass exactly through the face landmarks listed below (brow,
eyes, nose, cheeks, lips, chin), each an (x, y, z) point in model units. Landmarks with
x > 0 are mirrored, so the face is symmetric. Anchor landmarks on the skull, the ears and
the neck keep the base there.

Chart: stereographic projection from the pole N (straight down through the neck) onto
the plane through C; chart point (u, v) <-> direction w. It is conformal, so a Delaunay
triangulation of chart points is a good one on the sphere of directions. u grows with x;
counter-clockwise in the chart is counter-clockwise seen from outside the head.
"""

import math

C = (0.0, 10.0, -80.0)                     # inner centre of the rays
_n = (0.0, -1.0, -0.05)
_l = math.sqrt(sum(c * c for c in _n))
N = tuple(c / _l for c in _n)               # chart pole: the middle of the neck opening
E1 = (1.0, 0.0, 0.0)
E2 = (0.0, -N[2], N[1])


def direction(u, v):
    rho2 = u * u + v * v
    k = 1.0 / (rho2 + 1.0)
    return tuple((2.0 * (u * E1[i] + v * E2[i]) + (rho2 - 1.0) * N[i]) * k for i in range(3))


def chart(w):
    dn = w[0] * N[0] + w[1] * N[1] + w[2] * N[2]
    s = 1.0 - dn
    return ((w[0] * E1[0] + w[1] * E1[1] + w[2] * E1[2]) / s,
            (w[0] * E2[0] + w[1] * E2[1] + w[2] * E2[2]) / s)


def chart_radius_of_angle(alpha):
    """Chart radius of the directions at angle alpha (radians) from the pole."""
    return math.sin(alpha) / (1.0 - math.cos(alpha))


# ---------------------------------------------------------------------------
# Base: ellipsoids (centre, semi-axes, pitch in degrees about x) and the neck

class Ellipsoid:
    def __init__(self, centre, semi, pitch=0.0):
        self.c = centre
        self.a = semi
        t = math.radians(pitch)
        self.cp, self.sp = math.cos(t), math.sin(t)

    def _local(self, p):
        y, z = p[1], p[2]
        return (p[0], self.cp * y + self.sp * z, -self.sp * y + self.cp * z)

    def far(self, o, d):
        """Distance along the unit ray o + t d to the far side of the ellipsoid, or None."""
        oc = self._local((o[0] - self.c[0], o[1] - self.c[1], o[2] - self.c[2]))
        dl = self._local(d)
        A = B = Cq = 0.0
        for i in range(3):
            inv = 1.0 / (self.a[i] * self.a[i])
            A += dl[i] * dl[i] * inv
            B += 2.0 * oc[i] * dl[i] * inv
            Cq += oc[i] * oc[i] * inv
        Cq -= 1.0
        disc = B * B - 4.0 * A * Cq
        if disc < 0.0:
            return None
        t = (-B + math.sqrt(disc)) / (2.0 * A)
        return t if t > 0.0 else None


class Neck:
    """Vertical elliptic cylinder below y_top."""

    def __init__(self, x0, z0, ax, az, y_top):
        self.x0, self.z0, self.ax, self.az, self.y_top = x0, z0, ax, az, y_top

    def far(self, o, d):
        ox, oz = (o[0] - self.x0) / self.ax, (o[2] - self.z0) / self.az
        dx, dz = d[0] / self.ax, d[2] / self.az
        A = dx * dx + dz * dz
        if A < 1e-12:
            return None
        B = 2.0 * (ox * dx + oz * dz)
        Cq = ox * ox + oz * oz - 1.0
        disc = B * B - 4.0 * A * Cq
        if disc < 0.0:
            return None
        t = (-B + math.sqrt(disc)) / (2.0 * A)
        if t <= 0.0 or o[1] + t * d[1] > self.y_top:
            return None
        return t


def smax(a, b, k):
    """Polynomial smooth maximum: union of the two solids with a blend of width k."""
    h = max(k - abs(a - b), 0.0) / k
    return max(a, b) + h * h * k * 0.25


SKULL = Ellipsoid((0.0, 30.0, -80.0), (70.0, 90.0, 92.0), pitch=-8.0)
FACE = Ellipsoid((0.0, 2.0, -52.0), (63.0, 62.0, 56.0))
JAW = Ellipsoid((0.0, -42.0, -58.0), (52.0, 34.0, 56.0), pitch=18.0)
NECK = Neck(0.0, -78.0, 39.0, 42.0, -40.0)
BASE = [(SKULL, 0.0), (FACE, 16.0), (JAW, 16.0), (NECK, 18.0)]


def base_radius(w):
    r = None
    for prim, k in BASE:
        t = prim.far(C, w)
        if t is None:
            continue
        r = t if r is None else smax(r, t, k)
    return r


# ---------------------------------------------------------------------------
# Face landmarks (x >= 0; x > 0 mirrored). z is towards the viewer.

LANDMARKS = [
    # forehead and brow ridge
    (0.0, 96.0, -16.0), (0.0, 80.0, -6.0), (0.0, 64.0, -0.5), (0.0, 53.0, 2.0),
    (0.0, 46.0, 2.5), (0.0, 39.5, -0.5),
    (22.0, 88.0, -19.0), (22.0, 66.0, -4.0), (44.0, 66.0, -14.0), (60.0, 60.0, -32.0),
    (13.0, 48.0, 1.0), (26.0, 49.0, 1.5), (39.0, 50.5, 0.0), (51.0, 48.0, -5.0),
    (61.0, 44.0, -16.0),
    # eye: socket under the brow, corners, lids, eyeball, rim below
    (26.0, 41.5, -5.0), (39.0, 43.5, -5.0), (51.0, 41.0, -9.5),
    (25.5, 32.5, -8.0), (31.5, 36.5, -4.5), (39.5, 37.8, -3.0), (47.5, 36.8, -5.5),
    (39.5, 33.0, -1.8), (33.5, 33.0, -3.5), (45.5, 33.0, -4.2),
    (31.5, 29.6, -5.0), (39.5, 28.4, -4.0), (47.5, 29.5, -7.0), (54.5, 33.2, -12.5),
    (25.0, 24.0, -3.5), (39.5, 21.5, -3.5), (53.0, 23.0, -10.5),
    # nose
    (0.0, 31.0, 3.0), (0.0, 20.0, 9.0), (0.0, 9.0, 15.5), (0.0, 1.5, 21.0),
    (0.0, -2.5, 22.5), (0.0, -6.5, 16.0), (0.0, -10.0, 5.0),
    (5.0, 31.0, -1.5), (7.0, 20.0, 2.5), (9.0, 9.0, 5.5), (9.5, 0.5, 9.5),
    (12.5, -4.0, 6.5), (10.0, -8.5, 5.5), (4.5, -7.8, 9.5), (5.0, -3.0, 17.0),
    (14.5, 6.0, 0.5), (17.5, -3.0, -0.5), (15.0, -10.5, 1.5),
    # cheeks
    (26.0, 12.0, -1.5), (40.0, 12.0, -5.5), (54.0, 10.0, -13.0), (64.0, 12.0, -28.0),
    (25.0, -4.0, -1.5), (38.0, -6.0, -6.0), (52.0, -10.0, -15.0), (62.0, -16.0, -28.0),
    (28.0, -24.0, -4.5), (40.0, -30.0, -10.5), (51.0, -38.0, -20.0),
    (21.0, -18.0, 0.0),
    # upper lip: philtrum, border, vermilion, mouth line
    (0.0, -15.0, 5.0), (0.0, -23.0, 4.0), (3.5, -15.0, 5.5), (3.5, -23.0, 5.0),
    (9.0, -17.0, 3.5), (13.0, -25.0, 2.0),
    (0.0, -31.0, 5.0), (4.0, -30.4, 5.5), (10.0, -31.6, 4.5), (16.0, -34.5, 2.5),
    (22.0, -38.0, -0.5),
    (0.0, -35.4, 6.2), (8.0, -35.6, 5.2), (15.0, -37.0, 3.0),
    (0.0, -40.0, 3.6), (8.0, -40.0, 3.0), (15.0, -40.0, 1.4), (20.5, -40.0, -1.2),
    (26.1, -40.3, -2.8),
    # lower lip, fold
    (0.0, -44.6, 6.4), (8.0, -44.4, 5.2), (15.0, -43.4, 2.4),
    (0.0, -50.0, 5.2), (8.0, -49.0, 4.3), (15.0, -47.0, 2.2), (21.0, -43.6, -0.4),
    (0.0, -55.2, 1.0), (10.0, -55.0, 0.4), (20.0, -52.0, -2.5), (27.0, -46.0, -4.0),
    # chin and jaw
    (0.0, -61.0, 4.0), (0.0, -66.0, 6.2), (0.0, -72.0, 4.0), (0.0, -78.0, -1.5),
    (0.0, -81.0, -8.0), (0.0, -80.0, -18.0), (0.0, -78.5, -30.0),
    (10.0, -64.0, 3.5), (17.0, -60.0, -0.5), (12.0, -72.0, 0.5), (20.0, -70.0, -5.5),
    (10.0, -79.5, -9.0), (22.0, -77.0, -16.0), (14.0, -78.5, -24.0),
    (31.0, -56.0, -9.0), (40.0, -54.0, -18.0), (28.0, -68.0, -14.0), (36.0, -66.0, -26.0),
]

# Anchors: directions (azimuth about y from +z, elevation) where the base is kept.
ANCHORS = ([(az, el) for az in (80.0, 100.0, 130.0, 160.0, 180.0) for el in (-30.0, 0.0, 30.0)]
           + [(az, 55.0) for az in (0.0, 40.0, 90.0, 140.0, 180.0)]
           + [(0.0, 80.0)]
           + [(az, -55.0) for az in (60.0, 90.0, 130.0, 180.0)])


def _dir_of_point(p):
    w = (p[0] - C[0], p[1] - C[1], p[2] - C[2])
    lw = math.sqrt(sum(c * c for c in w))
    return tuple(c / lw for c in w), lw


def _solve(a, b):
    """Gaussian elimination with partial pivoting (a is modified)."""
    n = len(b)
    for col in range(n):
        piv = max(range(col, n), key=lambda r: abs(a[r][col]))
        a[col], a[piv] = a[piv], a[col]
        b[col], b[piv] = b[piv], b[col]
        inv = 1.0 / a[col][col]
        for r in range(col + 1, n):
            f = a[r][col] * inv
            if f != 0.0:
                row, prow = a[r], a[col]
                for k in range(col, n):
                    row[k] -= f * prow[k]
                b[r] -= f * b[col]
    x = [0.0] * n
    for r in range(n - 1, -1, -1):
        s = b[r] - sum(a[r][k] * x[k] for k in range(r + 1, n))
        x[r] = s / a[r][r]
    return x


def _phi(r2):
    return 0.5 * r2 * math.log(r2) if r2 > 1e-300 else 0.0


def _fit():
    pts, vals = [], []
    for x, y, z in LANDMARKS:
        for sx in ((1.0, -1.0) if x != 0.0 else (1.0,)):
            w, r = _dir_of_point((sx * x, y, z))
            pts.append(chart(w))
            vals.append(r - base_radius(w))
    for az, el in ANCHORS:
        for sa in ((1.0, -1.0) if az not in (0.0, 180.0) else (1.0,)):
            a, e = math.radians(sa * az), math.radians(el)
            w = (math.sin(a) * math.cos(e), math.sin(e), math.cos(a) * math.cos(e))
            pts.append(chart(w))
            vals.append(0.0)
    n = len(pts)
    lam = 1e-8
    a = [[0.0] * (n + 3) for _ in range(n + 3)]
    for i in range(n):
        for j in range(n):
            dx, dy = pts[i][0] - pts[j][0], pts[i][1] - pts[j][1]
            a[i][j] = _phi(dx * dx + dy * dy)
        a[i][i] += lam
        a[i][n], a[i][n + 1], a[i][n + 2] = 1.0, pts[i][0], pts[i][1]
        a[n][i], a[n + 1][i], a[n + 2][i] = 1.0, pts[i][0], pts[i][1]
    sol = _solve(a, vals + [0.0, 0.0, 0.0])
    return pts, sol[:n], sol[n:]


_TPS_PTS, _TPS_W, _TPS_A = _fit()


def offset(u, v):
    s = _TPS_A[0] + _TPS_A[1] * u + _TPS_A[2] * v
    for (pu, pv), w in zip(_TPS_PTS, _TPS_W):
        dx, dy = u - pu, v - pv
        r2 = dx * dx + dy * dy
        if r2 > 1e-300:
            s += w * 0.5 * r2 * math.log(r2)
    return s


def point(u, v):
    w = direction(u, v)
    r = base_radius(w) + offset(u, v)
    return (C[0] + r * w[0], C[1] + r * w[1], C[2] + r * w[2])
