"""The head surface used by make_head_mesh.py and the preview tools.

A smooth base head (the smooth union of a few ellipsoids and a neck cylinder) is star-
shaped around an inner centre C and addressed through the chart of directions seen
from C: chart point (u, v) -> direction w -> base point B(u, v) = C + base(w) w. The
face is a height field over the base: P(u, v) = B(u, v) + h(u, v) n(u, v), with n the
outward normal of the base. h is a thin-plate spline over the chart fitted so that the
surface passes through the face landmarks listed below (brow, eyes, nose, cheeks,
lips, chin), each an (x, y, z) point in model units; landmarks with x > 0 are mirrored,
so the face is symmetric. Anchor directions on the skull, the ears and the neck keep the
base there. Displacing along the base normal (not along the rays from C) lets the lips
and the eye sockets be steep without folding the chart.

Chart: stereographic projection from the pole N (straight down through the neck) onto
the plane through C. It is conformal, so a Delaunay triangulation of chart points is a
good one on the base. u grows with x; counter-clockwise in the chart is counter-
clockwise seen from outside the head.
"""

import math

C = (0.0, -10.0, -75.0)                    # inner centre of the rays
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
FACE = Ellipsoid((0.0, -6.0, -58.0), (63.0, 70.0, 58.0))
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
    (0.0, 96.0, -16.0), (0.0, 80.0, -6.0), (0.0, 64.0, -0.5), (0.0, 53.0, 2.5),
    (0.0, 46.0, 3.0), (0.0, 39.5, -1.5),
    (22.0, 88.0, -19.0), (22.0, 66.0, -4.0), (44.0, 66.0, -14.0), (60.0, 60.0, -32.0),
    (13.0, 48.0, 2.0), (26.0, 49.0, 3.0), (39.0, 50.5, 1.5), (51.0, 48.0, -4.0),
    (61.0, 44.0, -16.0), (13.0, 58.0, 1.0), (31.0, 58.0, -2.0), (47.0, 57.0, -9.0),
    # eye: lid crease under the brow, corners, upper lid margin, eyeball, lower lid, rim
    (19.5, 38.0, -6.5), (25.5, 32.5, -11.5), (54.0, 33.5, -14.0),
    (31.0, 40.2, -9.0), (40.0, 41.6, -9.5), (49.0, 40.2, -12.0),
    (32.0, 36.4, -6.0), (40.0, 37.4, -5.2), (48.0, 36.4, -7.5),
    (33.0, 33.4, -8.0), (39.5, 33.0, -6.6), (46.5, 33.4, -9.0),
    (32.0, 30.0, -8.2), (40.0, 29.0, -7.4), (48.0, 29.8, -9.6),
    (25.0, 24.0, -4.0), (39.5, 22.0, -4.0), (53.0, 23.0, -10.5),
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
    (21.0, -18.0, 0.0), (0.0, -12.5, 5.0), (10.0, -17.0, 3.6),
    # chin and jaw
    (0.0, -61.0, 4.8), (0.0, -66.0, 5.7), (0.0, -72.0, 4.6), (0.0, -78.0, -1.5),
    (0.0, -81.0, -8.0), (0.0, -80.0, -18.0), (0.0, -78.5, -30.0),
    (10.0, -64.0, 4.0), (17.0, -60.0, -0.5), (12.0, -72.0, 0.5), (20.0, -70.0, -5.5),
    (10.0, -79.5, -9.0), (22.0, -77.0, -16.0), (14.0, -78.5, -24.0),
    (31.0, -56.0, -9.0), (40.0, -54.0, -18.0), (28.0, -68.0, -14.0), (36.0, -66.0, -26.0),
    # ear: top of the rim, back of the rim, lobe, and where it joins the head in front
    (74.0, 35.0, -85.0), (80.0, 19.0, -97.0), (73.5, 2.0, -86.0), (69.0, 19.0, -76.0),
]


# The lips: rows along the borders (the same curves the lip layout follows), each
# curving back towards the corners. At rest (no FAP) the lips are parted by a lens that
# closes at the inner corners: the rest shape of a quiet window raises the lower lip and
# lowers the upper one, which brings them together. Across each lip the profile rises from
# the mouth line and stays nearly level up to the border: the rows of the lip layout are a
# few units apart and not in line, and a ridge between them would show, with flat shading,
# as a row of small spikes along the lip.
MOUTH_Y = -40.0
OUTER_X = 26.1     # outer lip corners (FP 8.3 / 8.4): MW * 1024 apart
CORNER_X = 19.5    # inner lip corners (FP 2.4 / 2.5)
LENS = 3.3         # half the opening between the lips at the middle, at rest


def lens(x):
    """Half the height of the opening between the lips at x (0 beyond the inner corners)."""
    t = 1.0 - (x / CORNER_X) ** 2
    return LENS * t ** 0.75 if t > 0.0 else 0.0


def upper_border(x):
    t = max(0.0, 1.0 - (x / OUTER_X) ** 2)
    return MOUTH_Y + 8.0 * t ** 0.6


def lower_border(x):
    t = max(0.0, 1.0 - (x / OUTER_X) ** 2)
    return MOUTH_Y - 8.5 * t ** 0.55


def _lip_landmarks():
    out = []
    for x in (0.0, 3.0, 6.0, 9.0, 12.0, 15.0, 18.0):
        back = 0.012 * x * x
        ub, lb = upper_border(x), lower_border(x)
        ui, li = MOUTH_Y + lens(x), MOUTH_Y - lens(x)
        out += [(x, ub + 15.0, 4.4 - back), (x, ub + 7.0, 4.8 - back), (x, ub, 5.8 - back),
                (x, ui + (ub - ui) * 2.0 / 3.0, 5.9 - back),
                (x, ui + (ub - ui) / 3.0, 4.9 - back), (x, ui, 3.0 - back),
                (x, li, 3.0 - back), (x, li + (lb - li) / 3.0, 4.8 - back),
                (x, li + (lb - li) * 2.0 / 3.0, 5.7 - back), (x, lb, 5.6 - back),
                (x, lb - 5.0, 4.3 - back)]
    out += [(CORNER_X, MOUTH_Y, -4.0), (OUTER_X, MOUTH_Y - 0.3, -6.0), (22.0, -35.5, -3.0),
            (22.0, -45.0, -3.8), (31.0, -40.0, -8.0), (28.5, -33.0, -6.0),
            (28.5, -47.5, -7.5), (21.0, -52.0, -4.5)]
    return out


LANDMARKS += _lip_landmarks()

# Anchors: directions (azimuth about y from +z, elevation) where the base is kept.
ANCHORS = ([(az, el) for az in (130.0, 160.0, 180.0) for el in (-30.0, 0.0, 30.0)]
           + [(80.0, -30.0), (100.0, -30.0), (75.0, 50.0), (105.0, 50.0)]
           + [(az, 55.0) for az in (0.0, 40.0, 90.0, 140.0, 180.0)]
           + [(0.0, 80.0)]
           + [(az, -55.0) for az in (60.0, 90.0, 130.0, 180.0)])


def base_point(u, v):
    w = direction(u, v)
    r = base_radius(w)
    return (C[0] + r * w[0], C[1] + r * w[1], C[2] + r * w[2])


def _frame(u, v, h=1e-5):
    b = base_point(u, v)
    bu, bv = base_point(u + h, v), base_point(u, v + h)
    ju = [(bu[i] - b[i]) / h for i in range(3)]
    jv = [(bv[i] - b[i]) / h for i in range(3)]
    return b, ju, jv


def base_normal(u, v):
    b, ju, jv = _frame(u, v)
    n = (ju[1] * jv[2] - ju[2] * jv[1], ju[2] * jv[0] - ju[0] * jv[2], ju[0] * jv[1] - ju[1] * jv[0])
    ln = math.sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2])
    return b, (n[0] / ln, n[1] / ln, n[2] / ln)


def smoothstep(e0, e1, x):
    t = min(1.0, max(0.0, (x - e0) / (e1 - e0)))
    return t * t * (3.0 - 2.0 * t)


def displacement(u, v):
    """Base point and the direction the face height is measured along there: straight
    towards the viewer where the base faces forward, the base normal where it turns away."""
    b, n = base_normal(u, v)
    f = smoothstep(0.3, 0.75, n[2])
    d = ((1.0 - f) * n[0], (1.0 - f) * n[1], (1.0 - f) * n[2] + f)
    ld = math.sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2])
    return b, (d[0] / ld, d[1] / ld, d[2] / ld)


def project_to_base(p):
    """Chart point (u, v) and height h with p = B(u, v) + h d(u, v)."""
    w = (p[0] - C[0], p[1] - C[1], p[2] - C[2])
    lw = math.sqrt(sum(c * c for c in w))
    u, v = chart(tuple(c / lw for c in w))
    b, d = displacement(u, v)
    h = sum((p[i] - b[i]) * d[i] for i in range(3))
    for _ in range(60):
        b, d = displacement(u, v)
        f0 = [b[i] + h * d[i] - p[i] for i in range(3)]
        if max(abs(c) for c in f0) < 1e-10:
            break
        e = 1e-6
        bu, du_ = displacement(u + e, v)
        bv, dv_ = displacement(u, v + e)
        cu = [(bu[i] + h * du_[i] - b[i] - h * d[i]) / e for i in range(3)]
        cv = [(bv[i] + h * dv_[i] - b[i] - h * d[i]) / e for i in range(3)]
        m = [[cu[i], cv[i], d[i]] for i in range(3)]
        x = _solve(m, [-c for c in f0])
        step = max(abs(x[0]), abs(x[1]))
        s = 1.0 if step < 0.05 else 0.05 / step
        u, v, h = u + s * x[0], v + s * x[1], h + s * x[2]
    return (u, v), h


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
            uv, h = project_to_base((sx * x, y, z))
            pts.append(uv)
            vals.append(h)
    for az, el in ANCHORS:
        for sa in ((1.0, -1.0) if az not in (0.0, 180.0) else (1.0,)):
            a, e = math.radians(sa * az), math.radians(el)
            w = (math.sin(a) * math.cos(e), math.sin(e), math.cos(a) * math.cos(e))
            pts.append(chart(w))
            vals.append(0.0)
    n = len(pts)
    lam = 1e-6
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
_TPS = [(pu, pv, 0.5 * w) for (pu, pv), w in zip(_TPS_PTS, _TPS_W)]


def offset(u, v, _log=math.log):
    s = 0.0
    for pu, pv, w in _TPS:
        dx, dy = u - pu, v - pv
        r2 = dx * dx + dy * dy
        if r2 > 1e-300:
            s += w * r2 * _log(r2)
    return s + _TPS_A[0] + _TPS_A[1] * u + _TPS_A[2] * v


def point(u, v):
    b, d = displacement(u, v)
    h = offset(u, v)
    return (b[0] + h * d[0], b[1] + h * d[1], b[2] + h * d[2])
