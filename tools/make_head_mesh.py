#!/usr/bin/env python3
"""Generates the head mesh: data/vertex.txt (347 vertices) and data/face.txt (632 triangles).

The feature-point region tables in model/costav.cpp address vertices by number, so the
mesh is built around them:

1. The 18 regions (pivot and vertex list) are parsed from model/costav.cpp. Every one of
   the 203 region vertices gets its membership set; vertices with the same set form a
   class (for example "in 2.6 and 8.5"). A class of the face's right side is the mirror
   image of the left one, so the face is symmetric.
2. The head surface (headsurf.py) is a smooth base head with the face sculpted on it by
   landmarks: brow, eye sockets and lids, nose, cheeks, lips, chin, ears.
3. The region vertices start from a template of the lip and chin area (rows of the lips
   along their shape, the inner lip rows on the mouth line, a ring round the chin boss)
   with every pivot at its place: 2.1 the lowest point of the chin, 2.10 the chin boss,
   2.2 / 2.3 the inner lip middles, 2.4 / 2.5 the inner corners, 8.1 / 8.2 the outer lip
   middles, 8.3 / 8.4 the outer corners, the others between. They are then relaxed on the
   surface: they repel each other to an even spacing, lip vertices are held near their
   rows, and every region pushes out the vertices that are not its members but lie
   nearer its pivot than the median of its members. Distances between the upper and the
   lower lip run round the mouth corners: the closed mouth is a slit in the surface.
4. The other 144 vertices: the ring of the neck opening, feature vertices on the
   landmarks, vertices round the skull, and a few spread by farthest-point sampling.
5. The triangles come from a Delaunay triangulation (Bowyer-Watson) in the stereographic
   chart of the base head. The inner lip rows are separate vertex rows; their contour is
   made part of the triangulation (constraint edges recovered by flips) and the triangles
   inside it are removed, which opens the mouth. Edges are then flipped where the
   triangles on the surface get better shaped, and where both choices are well shaped,
   towards the one that bends least. The neck ring is the convex hull of the chart, so
   the mesh is a disk with one hole: boundary edges = neck + mouth = 62.
6. Every requirement is checked (counts, winding, boundary, pivots, the neighbourhood
   rule, proportions, the deformation of the live moves); the files are written with
   fixed formatting, so a rerun reproduces them byte for byte.

Vertices that no region table uses are numbered in order, the points the proportions are
measured at first: vertex 1 is the nose base (the midline point under the nose), 5 and 9
the centres of the face's left (+x) and right eye.

Usage: tools/make_head_mesh.py [--out DIR] [--costav FILE] [--plot FILE] [--quiet]
Takes about half a minute.
"""

import argparse
import math
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import headsurf as hs  # noqa: E402

NV = 347
NF = 632
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# ---------------------------------------------------------------------------
# Anatomy (model units; x to the face's left, y up, z towards the viewer)

MOUTH_Y = -40.0          # the mouth line
ROW_GAP = 0.25           # inner upper / lower lip rows lie this far above / below it
CORNER_X = 20.5          # inner lip corners (FP 2.4 / 2.5)
OUTER_X = 26.1           # outer lip corners (FP 8.3 / 8.4): MW * 1024 apart
NOSE_Y = -10.0           # nose base: MNS * 1024 above the mouth
EYE_Y = 33.0             # eye centres: ENS * 1024 above the nose base
EYE_X = 39.5             # eye centres: ES * 1024 apart

CHIN_TOP = -63.0         # the chin region stays below this near the midline ...
CHIN_CLEAR_X = 12.0      # ... for |x| below this
LIP_SIDE_X = 12.0        # lower-lip side vertices below the lip stay outside this

UPPER_FPS = {202, 206, 207, 801, 805, 806}
LOWER_FPS = {203, 208, 209, 802, 807, 808, 201, 210}


upper_border = hs.upper_border
lower_border = hs.lower_border


# ---------------------------------------------------------------------------
# Region tables

def read_regions(path):
    src = open(path).read()
    pivots = {int(m.group(1)): int(m.group(2))
              for m in re.finditer(r"const int h(\d+)pivotindex\s*=\s*(\d+)\s*;", src)}
    lists = {}
    for m in re.finditer(r"const int h(\d+)index\[(\d+)\]\s*=\s*\{([^}]*)\}", src):
        vals = [int(x) for x in re.findall(r"\d+", m.group(3))]
        assert len(vals) == int(m.group(2)), "region %s: length mismatch" % m.group(1)
        lists[int(m.group(1))] = vals
    assert sorted(pivots) == sorted(lists) and len(pivots) == 18, "expected 18 regions"
    for code in pivots:
        assert pivots[code] in lists[code], "pivot of %d not in its list" % code
    return {code: (pivots[code], lists[code]) for code in sorted(pivots)}


def memberships(regions):
    mem = {}
    for code, (_, lst) in regions.items():
        for v in lst:
            mem.setdefault(v, set()).add(code)
    return mem


MIRROR_FP = {204: 205, 206: 207, 208: 209, 803: 804, 805: 806, 807: 808}
MIRROR_FP.update({b: a for a, b in list(MIRROR_FP.items())})


def mirror_set(s):
    return frozenset(MIRROR_FP.get(c, c) for c in s)


# ---------------------------------------------------------------------------
# Surface helpers

def locate(x, y, guess=None, z0=0.0):
    """Chart point whose surface point has the given x and y (the front of the face)."""
    if guess is None:
        w = (x - hs.C[0], y - hs.C[1], z0 - hs.C[2])
        lw = math.sqrt(sum(c * c for c in w))
        guess = hs.chart(tuple(c / lw for c in w))
    u, v = guess
    for _ in range(30):
        p = hs.point(u, v)
        ex, ey = p[0] - x, p[1] - y
        if abs(ex) < 1e-9 and abs(ey) < 1e-9:
            break
        h = 1e-5
        pu, pv = hs.point(u + h, v), hs.point(u, v + h)
        a, b = (pu[0] - p[0]) / h, (pv[0] - p[0]) / h
        c, d = (pu[1] - p[1]) / h, (pv[1] - p[1]) / h
        det = a * d - b * c
        du = (d * ex - b * ey) / det
        dv = (-c * ex + a * ey) / det
        s = 1.0
        lim = 0.05
        n = math.hypot(du, dv)
        if n > lim:
            s = lim / n
        u -= s * du
        v -= s * dv
    return (u, v)


def jacobian(u, v, p=None):
    h = 1e-5
    if p is None:
        p = hs.point(u, v)
    pu, pv = hs.point(u + h, v), hs.point(u, v + h)
    return p, [(pu[i] - p[i]) / h for i in range(3)], [(pv[i] - p[i]) / h for i in range(3)]


def chart_step(u, v, disp, p=None, jac=None):
    """Chart move whose surface move best matches the 3-D displacement disp (jac: the
    surface's partial derivatives at (u, v), if already known)."""
    if jac is None:
        p, ju, jv = jacobian(u, v, p)
    else:
        ju, jv = jac
    a = sum(c * c for c in ju)
    b = sum(ju[i] * jv[i] for i in range(3))
    c = sum(c * c for c in jv)
    ru = sum(ju[i] * disp[i] for i in range(3))
    rv = sum(jv[i] * disp[i] for i in range(3))
    det = a * c - b * b
    return ((c * ru - b * rv) / det, (-b * ru + a * rv) / det)


def dist(p, q):
    return math.sqrt((p[0] - q[0]) ** 2 + (p[1] - q[1]) ** 2 + (p[2] - q[2]) ** 2)


# ---------------------------------------------------------------------------
# Template of the region vertices (x >= 0 half; x == 0 is the midline).
# Each class (membership set) lists its slots as (x, y) in front view, (x, lip row), or
# (x, ("under", d)) for d units behind the chin bottom; a slot may name the pivot it must
# hold. Classes of the face's right side are the mirror images of the left ones (2.5 of
# 2.4, 2.7 of 2.6, ...); midline classes hold one vertex at x == 0 and mirrored pairs.

# Columns of the inner lip rows (x >= 0): 2.2 / 2.3 round the middle, 2.6 / 2.8 round
# Q4, 2.4 next to the corner.
Q1, Q2, Q3, Q4, Q5, Q6, Q7, Q8 = 2.0, 4.0, 6.0, 8.3, 10.5, 12.9, 15.6, 18.1


UR0 = MOUTH_Y + ROW_GAP
LR0 = MOUTH_Y - ROW_GAP

# Rows of the lips, as functions of x: the inner row, a third and two thirds of the way
# to the border, the border, then rows above (below) the border towards the nose (chin).
UPPER_ROWS = [0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0, 4.5, 9.0, 15.0]
LOWER_ROWS = [0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0, 4.5, 9.0, 14.0]


def row_y(row, x):
    side, k = row
    if k != int(k):
        lo = row_y((side, int(k)), x)
        return lo + (k - int(k)) * (row_y((side, int(k) + 1), x) - lo)
    if side == 'U':
        b = upper_border(x)
        if k == 0:
            return UR0
        f = UPPER_ROWS[k]
        return MOUTH_Y + f * (b - MOUTH_Y) if k <= 3 else b + f
    b = lower_border(x)
    if k == 0:
        return LR0
    f = LOWER_ROWS[k]
    return MOUTH_Y + f * (b - MOUTH_Y) if k <= 3 else b - f


def U(k):
    return ('U', k)


def L(k):
    return ('L', k)


# Slots: (x, y or row, pivot). Row slots stay near their row (the inner rows exactly).
TEMPLATE = {
    # upper lip: 2.2 round its pivot, 2.6 beside it, 8.1 / 8.5 reach up to the nose
    frozenset({202, 801}): [(0.0, U(0), 223), (0.0, U(2), None), (0.0, U(3), 184),
                            (Q1, U(0), None), (Q2, U(0), None), (Q3, U(0), None),
                            (1.5, U(1), None), (4.5, U(1), None), (3.0, U(2), None)],
    frozenset({801}): [(3.8, U(3), None), (0.0, U(4), None), (3.4, U(4), None),
                       (0.0, U(5), None), (3.8, U(5), None), (2.0, U(6), None)],
    frozenset({206, 805}): [(Q5, U(0), 10), (Q4, U(0), None), (Q6, U(0), None),
                            (Q5 - 1.2, U(1), None), (Q5 + 1.3, U(1), None), (Q5, U(3), 93)],
    frozenset({805}): [(Q5 - 1.5, U(2), None), (Q5 + 1.5, U(2), None), (Q6 + 1.2, U(3), None),
                       (Q5 - 1.4, U(4), None), (Q5 + 2.2, U(4), None), (Q5 + 0.4, U(5), None),
                       (Q5 + 1.0, U(6), None)],
    frozenset({204, 805}): [(Q7 - 0.2, U(2), None)],
    frozenset({204}): [(CORNER_X, MOUTH_Y, 11), (Q7, U(0), None), (Q7, L(0), None),
                       (Q8, U(0), None), (Q8, L(0), None),
                       (CORNER_X + 1.3, MOUTH_Y + 2.4, None), (CORNER_X + 1.3, MOUTH_Y - 2.4, None),
                       (CORNER_X - 0.3, MOUTH_Y + 4.6, None), (CORNER_X - 0.3, MOUTH_Y - 4.8, None),
                       (CORNER_X + 2.7, MOUTH_Y + 4.8, None), (CORNER_X + 2.7, MOUTH_Y - 5.0, None),
                       (CORNER_X + 1.2, MOUTH_Y + 7.8, None), (CORNER_X + 1.2, MOUTH_Y - 8.2, None),
                       (CORNER_X + 4.0, MOUTH_Y + 8.2, None), (CORNER_X + 4.0, MOUTH_Y - 8.6, None)],
    frozenset({204, 807}): [(Q7 - 0.4, L(2), None), (Q7 + 1.6, L(3), None)],
    frozenset({803}): [(OUTER_X, MOUTH_Y - 0.3, 66), (OUTER_X - 0.6, MOUTH_Y + 2.6, None),
                       (OUTER_X + 2.4, MOUTH_Y + 1.9, None), (OUTER_X + 3.0, MOUTH_Y - 1.4, None),
                       (OUTER_X + 1.2, MOUTH_Y - 3.3, None), (OUTER_X - 0.8, MOUTH_Y - 3.0, None),
                       (OUTER_X + 1.5, MOUTH_Y + 5.5, None), (OUTER_X + 5.5, MOUTH_Y + 0.5, None),
                       (OUTER_X + 2.0, MOUTH_Y - 6.5, None)],
    # lower lip: 2.3 round its pivot, 2.8 beside it, 8.2 / 8.7 reach down to the chin
    frozenset({203, 802}): [(0.0, L(0), 203), (0.0, L(2), None), (0.0, L(3), 194),
                            (Q1, L(0), None), (Q2, L(0), None), (Q3, L(0), None),
                            (1.5, L(1), None), (4.5, L(1), None), (3.0, L(2), None)],
    frozenset({802}): [(3.8, L(3), None), (0.0, L(4), None), (3.1, L(4), None),
                       (6.2, L(4), None), (1.6, ('L', 4.3), None)],
    frozenset({208, 807}): [(Q5, L(0), 242), (Q4, L(0), None), (Q6, L(0), None),
                            (Q5 - 1.2, L(1), None), (Q5 + 1.3, L(1), None), (Q6 + 1.6, L(1), None),
                            (Q5 - 1.5, L(2), None), (Q5 + 1.5, L(2), None),
                            (Q5, L(3), 190), (Q6 + 0.8, L(3), None), (Q5 - 3.2, L(3), None)],
    frozenset({807}): [(Q5 - 1.6, L(4), None), (Q5 + 2.0, L(4), None), (Q7 + 1.0, L(4), None),
                       (Q5 + 0.2, L(5), None), (Q7 - 0.8, L(5), None), (Q5 + 1.0, L(6), None)],
    frozenset({201, 210}): [(0.0, -67.5, 126), (0.0, -63.3, None), (3.9, -65.4, None),
                            (3.9, -69.6, None), (2.0, -71.6, None)],
    frozenset({201}): [(0.0, -80.0, 136), (0.0, -74.5, None),
                       (0.0, ("under", 6.0), None), (0.0, ("under", 12.0), None),
                       (8.5, -62.5, None), (8.8, -67.0, None), (7.6, -71.8, None),
                       (4.4, -75.6, None), (4.8, -79.4, None), (9.0, -77.5, None),
                       (12.3, -60.5, None), (13.0, -65.0, None), (12.6, -70.0, None),
                       (12.8, -74.5, None), (16.5, -62.0, None), (17.0, -68.5, None),
                       (5.0, ("under", 5.5), None), (10.0, ("under", 10.0), None)],
}


def solve_chart(target, comps, guess):
    """Chart point whose surface point matches target in the two coordinates comps."""
    i, j = comps
    u, v = guess
    for _ in range(40):
        p = hs.point(u, v)
        ex, ey = p[i] - target[0], p[j] - target[1]
        if abs(ex) < 1e-9 and abs(ey) < 1e-9:
            break
        h = 1e-5
        pu, pv = hs.point(u + h, v), hs.point(u, v + h)
        a, b = (pu[i] - p[i]) / h, (pv[i] - p[i]) / h
        c, d = (pu[j] - p[j]) / h, (pv[j] - p[j]) / h
        det = a * d - b * c
        du = (d * ex - b * ey) / det
        dv = (-c * ex + a * ey) / det
        n = math.hypot(du, dv)
        s = min(1.0, 0.05 / n) if n > 0 else 1.0
        u -= s * du
        v -= s * dv
    return (u, v)


def chin_bottom():
    """Chart point of the lowest point of the chin on the midline."""
    lo, hi = locate(0.0, -70.0)[1], locate(0.0, -70.0)[1] - 0.5
    best = None
    n = 400
    for k in range(n + 1):
        v = lo + (hi - lo) * k / n
        y = hs.point(0.0, v)[1]
        if best is None or y < best[0]:
            best = (y, v)
    # refine by golden section around the best sample
    a, b = best[1] - (hi - lo) / n, best[1] + (hi - lo) / n
    for _ in range(60):
        m1, m2 = a + (b - a) * 0.382, a + (b - a) * 0.618
        if hs.point(0.0, m1)[1] < hs.point(0.0, m2)[1]:
            b = m2
        else:
            a = m1
    return (0.0, (a + b) / 2.0)


PIVOT_MIRROR = {11: 42, 10: 43, 242: 344, 66: 76, 93: 106, 190: 307}


class Vert:
    """One vertex under construction: chart point, surface point and its role."""

    def __init__(self, vid, uv, kind):
        self.id = vid              # final vertex number, or None until numbered
        self.uv = uv
        self.p = hs.point(*uv)
        self.kind = kind           # 'region', 'row', 'pivot', 'ring', 'feature', 'free'
        self.fps = frozenset()
        self.side = 0              # +1 upper lip, -1 lower lip, 0 neither
        self.mirror = None         # index of the mirror-image vertex
        self.row_y = None          # y of the inner lip row for row vertices
        self.tag = None            # name of a landmark the checks measure
        self.lip_row = None        # lip row the vertex is held near, ('U' or 'L', k)
        self.jac = None            # cached surface derivatives at uv, for the relaxation

    def set_uv(self, uv):
        self.uv = uv
        self.p = hs.point(*uv)


def place_slot(x, y, bottom):
    if isinstance(y, tuple) and y[0] in ('U', 'L'):
        return locate(x, row_y(y, abs(x)))
    if isinstance(y, tuple):
        # under the chin: `back` units behind the chin bottom, found along x and z
        back = y[1]
        pb = hs.point(*bottom)
        guess = (bottom[0] + 0.01 * x, bottom[1] - 0.01 * back)
        return solve_chart((x, pb[2] - back), (0, 2), guess)
    return locate(x, y)


def build_region_vertices(regions):
    """Vertices of the 203 region members at their template places, with mirror links."""
    mem = memberships(regions)
    by_class = {}
    for v, s in mem.items():
        by_class.setdefault(frozenset(s), []).append(v)
    bottom = chin_bottom()
    verts = []
    index = {}

    def add(vid, uv, fps, x, y):
        lip_row = y if isinstance(y, tuple) and y[0] in ('U', 'L') else None
        row = lip_row is not None and lip_row[1] == 0
        if vid in (11, 42) or any(regions[c][0] == vid for c in fps):
            kind = 'pivot'
        elif row:
            kind = 'row'
        else:
            kind = 'region'
        vx = Vert(vid, uv, kind)
        vx.fps = fps
        if fps & UPPER_FPS or (lip_row and lip_row[0] == 'U'):
            vx.side = 1
        elif fps & LOWER_FPS or (lip_row and lip_row[0] == 'L'):
            vx.side = -1
        elif isinstance(y, float) and abs(x) < CORNER_X and y != MOUTH_Y:
            vx.side = 1 if y > MOUTH_Y else -1
        if row:
            vx.row_y = UR0 if lip_row[0] == 'U' else LR0
        elif lip_row:
            vx.lip_row = lip_row
        index[vid] = len(verts)
        verts.append(vx)
        return len(verts) - 1

    done = set()
    for cls in sorted(by_class, key=lambda c: sorted(c)):
        if cls in done:
            continue
        mcls = mirror_set(cls)
        if cls not in TEMPLATE:
            # the template lists the face's left side; this is the mirror class
            cls, mcls = mcls, cls
        slots = TEMPLATE[cls]
        ids = sorted(by_class[cls])
        if mcls == cls:
            # midline class: x == 0 slots hold one vertex, the others a mirrored pair
            pivots = [p for x, y, p in slots if p is not None]
            rest = [v for v in ids if v not in pivots]
            need = sum(1 if x == 0.0 else 2 for x, y, p in slots)
            assert need == len(ids), "template of %s: %d slots, %d vertices" % (sorted(cls), need, len(ids))
            for x, y, p in slots:
                if x == 0.0:
                    vid = p if p is not None else rest.pop(0)
                    uv = bottom if vid == 136 else place_slot(0.0, y, bottom)
                    add(vid, uv, cls, 0.0, y)
            for x, y, p in slots:
                if x != 0.0:
                    a = add(rest.pop(0), place_slot(x, y, bottom), cls, x, y)
                    b = add(rest.pop(0), place_slot(-x, y, bottom), cls, -x, y)
                    verts[a].mirror, verts[b].mirror = b, a
            for i in range(len(verts)):
                if verts[i].mirror is None and verts[i].fps == cls:
                    verts[i].mirror = i
        else:
            # a class of the face's left side (x > 0) and its mirror image
            mids = sorted(by_class[mcls])
            pivots = [p for x, y, p in slots if p is not None]
            rest = [v for v in ids if v not in pivots]
            mrest = [v for v in mids if v not in (PIVOT_MIRROR.get(p) for p in pivots)]
            assert len(slots) == len(ids) == len(mids), "template of %s" % sorted(cls)
            for x, y, p in slots:
                if p is not None:
                    vid, mid = p, PIVOT_MIRROR[p]
                else:
                    vid, mid = rest.pop(0), mrest.pop(0)
                a = add(vid, place_slot(x, y, bottom), cls, x, y)
                b = add(mid, place_slot(-x, y, bottom), mcls, -x, y)
                verts[a].mirror, verts[b].mirror = b, a
        done.add(cls)
        done.add(mcls)
    assert len(verts) == 203 and len(index) == 203
    return verts, index


# ---------------------------------------------------------------------------
# Relaxation of the region vertices

def crosses_slit(a, b):
    """True if the straight way from a to b crosses the mouth slit (a and b on opposite lips)."""
    if a.side * b.side != -1:
        return False
    ya, yb = a.p[1] - MOUTH_Y, b.p[1] - MOUTH_Y
    if ya == yb:
        return False
    t = ya / (ya - yb)
    if t < 0.0 or t > 1.0:
        return False
    x = a.p[0] + (b.p[0] - a.p[0]) * t
    return abs(x) < CORNER_X


def surface_dist(a, b, corners):
    """Distance on the surface, approximated: straight unless the way crosses the slit, then
    round the nearer mouth corner."""
    if crosses_slit(a, b):
        return min(dist(a.p, c) + dist(c, b.p) for c in corners)
    return dist(a.p, b.p)


def spacing(p):
    """Target spacing of the region vertices around p (model units)."""
    x, y = p[0], p[1]
    if y < -58.0:
        return 6.5
    dc = min(math.hypot(x - CORNER_X, y - MOUTH_Y), math.hypot(x + CORNER_X, y - MOUTH_Y))
    if dc < 9.0:
        return 2.9 + 0.4 * dc / 9.0
    return 3.3


def median(vals):
    s = sorted(vals)
    n = len(s)
    return s[n // 2] if n % 2 else 0.5 * (s[n // 2 - 1] + s[n // 2])


def region_check(verts, index, regions, corners, fixed_extra=()):
    """Per region: (median member distance, nearest non-member distance, its vertex)."""
    out = {}
    allv = list(verts) + list(fixed_extra)
    for code, (piv, lst) in regions.items():
        pv = verts[index[piv]]
        mset = set(lst)
        med = median([surface_dist(pv, verts[index[v]], corners) for v in lst])
        near, who = 1e9, None
        for w in allv:
            if w.id in mset:
                continue
            dd = surface_dist(pv, w, corners)
            if dd < near:
                near, who = dd, w.id
        out[code] = (med, near, who)
    return out


def relax_regions(verts, index, regions, iters, others=(), log=False):
    n = len(verts)
    margin = {code: 1.15 for code in regions}
    corner_idx = (index[11], index[42])
    for it in range(iters):
        corners = (verts[corner_idx[0]].p, verts[corner_idx[1]].p)
        force = [[0.0, 0.0, 0.0] for _ in range(n)]
        pts = [v.p for v in verts]
        hsp = [spacing(p) for p in pts]
        # repulsion to an even spacing (not across the slit: those are far apart)
        for i in range(n):
            pi = pts[i]
            for j in range(i + 1, n):
                pj = pts[j]
                dx, dy, dz = pi[0] - pj[0], pi[1] - pj[1], pi[2] - pj[2]
                s = 0.5 * (hsp[i] + hsp[j])
                if abs(dx) > s or abs(dy) > s:
                    continue
                d2 = dx * dx + dy * dy + dz * dz
                if d2 >= s * s or crosses_slit(verts[i], verts[j]):
                    continue
                d = math.sqrt(d2) + 1e-9
                f = 0.5 * (s - d) / d
                force[i][0] += f * dx
                force[i][1] += f * dy
                force[i][2] += f * dz
                force[j][0] -= f * dx
                force[j][1] -= f * dy
                force[j][2] -= f * dz
            for o in others:
                dx, dy, dz = pi[0] - o.p[0], pi[1] - o.p[1], pi[2] - o.p[2]
                s = hsp[i]
                d2 = dx * dx + dy * dy + dz * dz
                if d2 < s * s:
                    d = math.sqrt(d2) + 1e-9
                    f = (s - d) / d
                    force[i][0] += f * dx
                    force[i][1] += f * dy
                    force[i][2] += f * dz
        # every region pushes out the non-members nearer its pivot than its median member
        for code, (piv, lst) in regions.items():
            pv = verts[index[piv]]
            mset = set(lst)
            dm = [(surface_dist(pv, verts[index[v]], corners), index[v]) for v in lst]
            med = median([d for d, _ in dm])
            lim = margin[code] * med
            for j in range(n):
                w = verts[j]
                if w.id in mset:
                    continue
                dd = surface_dist(pv, w, corners)
                if dd < lim:
                    f = 0.6 * (lim - dd) / (dd + 1e-9)
                    for k in range(3):
                        force[j][k] += f * (w.p[k] - pv.p[k])
            # members past the median are drawn in a little, to keep each region compact
            # (not the chin, which spreads over the whole chin so that the jaw opens evenly)
            pull = 0.0 if code == 201 else 0.04
            for dd, j in dm:
                if dd > med:
                    f = -pull * (dd - med) / dd
                    for k in range(3):
                        force[j][k] += f * (verts[j].p[k] - pv.p[k])
        # lip vertices are held near their rows, so that the lips keep rows along their shape
        for i, v in enumerate(verts):
            if v.lip_row is not None:
                force[i][1] += 0.35 * (row_y(v.lip_row, abs(v.p[0])) - v.p[1])
        # row vertices keep an even spacing along their row
        for side in (1, -1):
            row = sorted((v.p[0], i) for i, v in enumerate(verts)
                         if (v.row_y is not None and v.side == side) or v.id in (11, 42))
            for k in range(1, len(row) - 1):
                mid = 0.5 * (row[k - 1][0] + row[k + 1][0])
                force[row[k][1]][0] += 0.3 * (mid - row[k][0])
        # move
        for i in range(n):
            v = verts[i]
            if v.kind == 'pivot':
                continue
            fx = force[i]
            m = math.sqrt(fx[0] ** 2 + fx[1] ** 2 + fx[2] ** 2)
            if m > 0.6:
                fx = [c * 0.6 / m for c in fx]
            if v.kind == 'row':
                x = v.p[0] + fx[0]
                x = max(-CORNER_X + 1.0, min(CORNER_X - 1.0, x))
                if v.mirror == i:
                    x = 0.0
                v.set_uv(locate(x, v.row_y, v.uv))
                continue
            # the surface derivatives change slowly: refresh them every few iterations
            if v.jac is None or it % 6 == 0:
                _, ju, jv = jacobian(v.uv[0], v.uv[1], v.p)
                v.jac = (ju, jv)
            du, dv = chart_step(v.uv[0], v.uv[1], fx, v.p, v.jac)
            nu, nv = v.uv[0] + du, v.uv[1] + dv
            old = v.uv
            v.set_uv((nu, nv))
            # the chin keeps clear of the lower lip, which FP 8.2 moves almost rigidly:
            # a lowered lip must not run over it
            if 201 in v.fps and abs(v.p[0]) < CHIN_CLEAR_X and v.p[1] > CHIN_TOP:
                v.set_uv(locate(v.p[0], CHIN_TOP, old))
            # ... and so do the lower-lip sides below it
            if (v.fps & {807, 808}) and 802 not in v.fps and v.p[1] < -51.0 \
                    and abs(v.p[0]) < LIP_SIDE_X:
                v.set_uv(locate(math.copysign(LIP_SIDE_X, v.p[0]), v.p[1], old))
            # lips keep to their side of the mouth line, clear of the row
            if v.side != 0 and abs(v.p[0]) < CORNER_X + 1.0:
                lim_y = MOUTH_Y + v.side * (ROW_GAP + 1.6)
                if (v.p[1] - lim_y) * v.side < 0.0:
                    v.set_uv(locate(v.p[0], lim_y, old))
        # mirror symmetry
        for i in range(n):
            j = verts[i].mirror
            if j is None or j < i:
                continue
            a, b = verts[i], verts[j]
            if j == i:
                if a.kind != 'pivot' and a.uv[0] != 0.0:
                    a.set_uv((0.0, a.uv[1]))
                continue
            u = 0.5 * (a.uv[0] - b.uv[0])
            vv = 0.5 * (a.uv[1] + b.uv[1])
            a.set_uv((u, vv))
            b.set_uv((-u, vv))
        if it % 20 == 19:
            # regions still short of room get a wider margin
            chk = region_check(verts, index, regions, corners, others)
            for c, (m, nr, w) in chk.items():
                if nr < 1.08 * m:
                    margin[c] = min(1.6, margin[c] + 0.05)
            if log:
                bad = [(c, round(m, 2), round(nr, 2), w) for c, (m, nr, w) in chk.items() if nr < m]
                print("iter %d: %d regions violate %s" % (it, len(bad), bad), file=sys.stderr)


def plot_layout(verts, path, box=(-42.0, 42.0, -92.0, -12.0), scale=10.0, extra=()):
    cols = {}
    palette = ["#e6194b", "#3cb44b", "#4363d8", "#f58231", "#911eb4", "#42d4f4", "#f032e6",
               "#808000", "#469990", "#9a6324", "#800000", "#000075", "#a9a9a9", "#bfef45",
               "#fabed4", "#ffd8b1", "#aaffc3", "#dcbeff", "#fffac8", "#000000"]
    x0, x1, y0, y1 = box
    w, h = (x1 - x0) * scale, (y1 - y0) * scale
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d">' % (w, h),
           '<rect width="100%%" height="100%%" fill="white"/>']
    for yy in range(int(y0), int(y1) + 1, 10):
        out.append('<line x1="0" y1="%f" x2="%f" y2="%f" stroke="#ddd"/>' % ((y1 - yy) * scale, w, (y1 - yy) * scale))
    for v in list(verts) + list(extra):
        key = tuple(sorted(v.fps)) if v.fps else (v.kind,)
        c = cols.setdefault(key, palette[len(cols) % len(palette)])
        sx, sy = (v.p[0] - x0) * scale, (y1 - v.p[1]) * scale
        r = 7 if v.kind == 'pivot' else 4
        out.append('<circle cx="%.1f" cy="%.1f" r="%d" fill="%s"/>' % (sx, sy, r, c))
        out.append('<text x="%.1f" y="%.1f" font-size="11" fill="black">%s</text>' % (sx + 5, sy - 3, v.id if v.id is not None else ""))
    y = 14
    for key, c in cols.items():
        out.append('<text x="5" y="%d" font-size="13" fill="%s">%s</text>' % (y, c, ",".join(str(k) for k in key)))
        y += 15
    out.append('</svg>')
    with open(path, "w") as f:
        f.write("\n".join(out))


# ---------------------------------------------------------------------------
# The other vertices: opening ring, feature vertices, spread vertices

RING_ANGLE = math.radians(23.0)   # angular radius of the neck opening round the chart pole

# Feature vertices: landmarks of the surface (x >= 0; x > 0 mirrored) that shape the face.
FEATURES = [
    # midline: forehead, glabella, nasion, bridge, tip, columella, nose base, philtrum top
    (0.0, 80.0), (0.0, 64.0), (0.0, 46.0), (0.0, 39.5), (0.0, 20.0), (0.0, 9.0),
    (0.0, -2.5), (0.0, -6.5), (0.0, -10.0),
    # nose: bridge side, ala, ala base, nostril, tip side, nose-cheek fold
    (7.0, 20.0), (9.5, 0.5), (12.5, -4.0), (10.0, -8.5), (4.5, -7.8), (5.0, -3.0),
    (14.5, 6.0),
    # eye: corners, lid crease, upper lid margin, eyeball, lower lid, bridge and socket
    (25.5, 32.5), (54.0, 33.5), (31.0, 40.2), (40.0, 41.6), (49.0, 40.2),
    (32.0, 36.4), (40.0, 37.4), (48.0, 36.4), (33.0, 33.4), (39.5, 33.0), (46.5, 33.4),
    (32.0, 30.0), (40.0, 29.0), (48.0, 29.8), (5.0, 31.0), (19.5, 38.0),
    # brow ridge and the rim below the eye
    (13.0, 48.0), (26.0, 49.0), (39.0, 50.5), (51.0, 48.0),
    (25.0, 24.0), (39.5, 22.0), (53.0, 23.0),
    # forehead
    (22.0, 66.0), (44.0, 66.0),
    # cheeks and jaw
    (26.0, 12.0), (40.0, 12.0), (25.0, -4.0), (38.0, -6.0), (28.0, -24.0), (21.0, -18.0),
    (31.0, -56.0), (28.0, -68.0),
    # ear
    (74.0, 35.0), (80.0, 19.0), (73.5, 2.0),
]

# Skull vertices, as directions seen from the inner centre: (azimuth from the front about
# the vertical, elevation), degrees; azimuths other than 0 and 180 are mirrored. They give
# the crown, the back of the head and the sides an even, round outline.
SKULL = [(0.0, 84.0), (180.0, 62.0), (180.0, 25.0), (180.0, -12.0),
         (45.0, 58.0), (90.0, 48.0), (135.0, 45.0), (135.0, 5.0), (95.0, -25.0),
         (90.0, 72.0)]


def landmark(x, y):
    for lx, ly, lz in hs.LANDMARKS:
        if lx == abs(x) and ly == y:
            return (x, ly, lz)
    raise KeyError("no landmark at %s, %s" % (x, y))


def chart_of_point(p):
    return hs.project_to_base(p)[0]


def ring_vertices(count):
    """Opening vertices: evenly round the chart circle, mirror-symmetric."""
    rad = hs.chart_radius_of_angle(RING_ANGLE)
    out = []
    for i in range(count):
        a = -math.pi / 2.0 + 2.0 * math.pi * (i + 0.5) / count
        out.append(Vert(None, (rad * math.cos(a), rad * math.sin(a)), 'ring'))
    return out


def skull_vertices():
    out = []
    for az, el in SKULL:
        for a in ((az, -az) if az not in (0.0, 180.0) else (az,)):
            ar, er = math.radians(a), math.radians(el)
            w = (math.sin(ar) * math.cos(er), math.sin(er), math.cos(ar) * math.cos(er))
            out.append(Vert(None, hs.chart(w), 'skull'))
    return out


def feature_vertices():
    out = []
    tags = {(0.0, NOSE_Y): "nose base", (EYE_X, EYE_Y): "left eye", (-EYE_X, EYE_Y): "right eye"}
    for x, y in FEATURES:
        for sx in ((x, -x) if x != 0.0 else (x,)):
            v = Vert(None, chart_of_point(landmark(sx, y)), 'feature')
            v.tag = tags.get((sx, y))
            out.append(v)
    return out


def free_density(p):
    """Wanted spacing of the spread vertices at p: fine on the face, coarse at the back."""
    x, y, z = p
    front = min(1.0, max(0.0, (z + 80.0) / 70.0))
    back = min(1.0, max(0.0, (-z - 100.0) / 50.0))
    return 24.0 - 10.0 * front + 20.0 * back


def spread_vertices(count, fixed, regions_verts):
    """Farthest-point sampling over a chart grid, spacing scaled by free_density."""
    rad = hs.chart_radius_of_angle(RING_ANGLE)
    cand = []
    n = 90
    for i in range(n + 1):
        for j in range(n + 1):
            u = -rad + 2.0 * rad * i / n
            v = -rad + 2.0 * rad * j / n
            if u * u + v * v < (0.93 * rad) ** 2 and u >= 0.0:
                cand.append((u, v))
    cpts = [hs.point(u, v) for u, v in cand]
    dens = [free_density(p) for p in cpts]
    best = [1e18] * len(cand)
    anchors = [v.p for v in fixed] + [v.p for v in regions_verts]
    for a in anchors:
        for k, p in enumerate(cpts):
            d = dist(a, p) / dens[k]
            if d < best[k]:
                best[k] = d
    out = []
    while len(out) < count:
        k = max(range(len(cand)), key=lambda t: best[t])
        u, v = cand[k]
        new = [Vert(None, (u, v), 'free')]
        if abs(u) > 1e-9:
            new.append(Vert(None, (-u, v), 'free'))
        if len(out) + len(new) > count:
            # one vertex left: it goes on the midline
            mids = [t for t in range(len(cand)) if abs(cand[t][0]) < 1e-9]
            k = max(mids, key=lambda t: best[t])
            new = [Vert(None, cand[k], 'free')]
        for w in new:
            out.append(w)
            for t, p in enumerate(cpts):
                d = min(dist(w.p, p), dist(w.p, (-p[0], p[1], p[2]))) / dens[t]
                if d < best[t]:
                    best[t] = d
    return out


# ---------------------------------------------------------------------------
# Triangulation

def delaunay(pts):
    """Bowyer-Watson triangulation of 2-D points; counter-clockwise index triples."""
    minx = min(p[0] for p in pts)
    maxx = max(p[0] for p in pts)
    miny = min(p[1] for p in pts)
    maxy = max(p[1] for p in pts)
    span = max(maxx - minx, maxy - miny)
    cx, cy = (minx + maxx) / 2.0, (miny + maxy) / 2.0
    big = 1000.0 * span
    work = list(pts) + [(cx - big, cy - big), (cx + big, cy - big), (cx, cy + big)]
    n = len(pts)

    def circ(t):
        (ax, ay), (bx, by), (qx, qy) = work[t[0]], work[t[1]], work[t[2]]
        d = 2.0 * (ax * (by - qy) + bx * (qy - ay) + qx * (ay - by))
        ux = ((ax * ax + ay * ay) * (by - qy) + (bx * bx + by * by) * (qy - ay)
              + (qx * qx + qy * qy) * (ay - by)) / d
        uy = ((ax * ax + ay * ay) * (qx - bx) + (bx * bx + by * by) * (ax - qx)
              + (qx * qx + qy * qy) * (bx - ax)) / d
        return (ux, uy, (ax - ux) ** 2 + (ay - uy) ** 2)

    tris = {(n, n + 1, n + 2): circ((n, n + 1, n + 2))}
    for i in range(n):
        px, py = work[i]
        bad = [t for t, (ux, uy, r2) in tris.items() if (px - ux) ** 2 + (py - uy) ** 2 < r2]
        edges = {}
        for t in bad:
            for e in ((t[0], t[1]), (t[1], t[2]), (t[2], t[0])):
                key = (min(e), max(e))
                edges[key] = None if key in edges else e
        for t in bad:
            del tris[t]
        for e in edges.values():
            if e is None:
                continue
            t = (e[0], e[1], i)
            tris[t] = circ(t)
    out = []
    for t in tris:
        if max(t) >= n:
            continue
        (ax, ay), (bx, by), (qx, qy) = pts[t[0]], pts[t[1]], pts[t[2]]
        area = (bx - ax) * (qy - ay) - (qx - ax) * (by - ay)
        out.append(t if area > 0 else (t[0], t[2], t[1]))
    return out


def mouth_push(p, side):
    """Opens the closed mouth for the triangulation: lips pushed apart into a lens (y units)."""
    x, y = p[0], p[1]
    if side == 0 or abs(x) >= CORNER_X:
        return 0.0
    lens = 1.2 * math.sqrt(1.0 - (x / CORNER_X) ** 2)
    fall = max(0.0, 1.0 - abs(y - MOUTH_Y) / 5.0)
    return side * lens * fall


def triangulation_points(verts):
    """Chart points for the Delaunay step: the mouth opened, and a tiny deterministic shear so
    that mirror-symmetric quadruples are not exactly co-circular."""
    _, ju, jv = jacobian(*locate(0.0, MOUTH_Y))
    dvdy = 1.0 / jv[1]
    out = []
    for v in verts:
        u, w = v.uv
        w += mouth_push(v.p, v.side) * dvdy
        out.append((u + 1e-6 * w * w, w + 1e-6 * u))
    return out


def mouth_loop(verts):
    """The mouth contour in order: upper row from the right corner to the left one, then
    the lower row back (counter-clockwise seen from the front, round the hole)."""
    right = [i for i, v in enumerate(verts) if v.id == 42][0]
    left = [i for i, v in enumerate(verts) if v.id == 11][0]
    upper = sorted((i for i, v in enumerate(verts) if v.row_y is not None and v.side == 1),
                   key=lambda i: verts[i].p[0])
    lower = sorted((i for i, v in enumerate(verts) if v.row_y is not None and v.side == -1),
                   key=lambda i: -verts[i].p[0])
    return [right] + upper + [left] + lower


def segments_cross(p1, p2, q1, q2):
    def orient(a, b, c):
        return (b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1])
    d1, d2 = orient(q1, q2, p1), orient(q1, q2, p2)
    d3, d4 = orient(p1, p2, q1), orient(p1, p2, q2)
    return d1 * d2 < 0.0 and d3 * d4 < 0.0


def insert_constraints(tris, pts, cons):
    """Makes every constraint edge an edge of the triangulation by flipping the edges that
    cross it (each flip only inside a convex quadrilateral)."""
    tris = [tuple(t) for t in tris]
    for a, b in cons:
        for _ in range(1000):
            edges = {}
            for k, t in enumerate(tris):
                for e in ((t[0], t[1]), (t[1], t[2]), (t[2], t[0])):
                    edges[e] = k
            if (a, b) in edges or (b, a) in edges:
                break
            crossing = [(p, q) for (p, q) in edges if p < q and (q, p) in edges
                        and a not in (p, q) and b not in (p, q)
                        and segments_cross(pts[a], pts[b], pts[p], pts[q])]
            assert crossing, "constraint %d-%d cannot be recovered" % (a, b)
            done = False
            for p, q in crossing:
                k1, k2 = edges[(p, q)], edges[(q, p)]
                c = [x for x in tris[k1] if x not in (p, q)][0]
                d = [x for x in tris[k2] if x not in (p, q)][0]
                # flip p-q to c-d if the quadrilateral p, d, q, c is convex
                def area(x, y, z):
                    return (pts[y][0] - pts[x][0]) * (pts[z][1] - pts[x][1]) - \
                           (pts[z][0] - pts[x][0]) * (pts[y][1] - pts[x][1])
                if area(p, d, c) > 0.0 and area(d, q, c) > 0.0:
                    tris[k1] = (p, d, c)
                    tris[k2] = (d, q, c)
                    done = True
                    break
            assert done, "no convex flip for constraint %d-%d" % (a, b)
    return tris


def edge_owners(tris):
    """Maps each directed edge (a, b) of the triangles to the index of the triangle that
    holds it in that direction."""
    owner = {}
    for k, (a, b, c) in enumerate(tris):
        owner[(a, b)] = k
        owner[(b, c)] = k
        owner[(c, a)] = k
    return owner


def chart_area2(pos2, a, b, c):
    """Twice the signed area of triangle a, b, c in the 2-D chart (positive: counter-clockwise)."""
    return (pos2[b][0] - pos2[a][0]) * (pos2[c][1] - pos2[a][1]) - \
           (pos2[c][0] - pos2[a][0]) * (pos2[b][1] - pos2[a][1])


def remove_mouth(tris, pts, loop, verts):
    """Removes the triangles inside the mouth contour (flood fill from the middle of the
    mouth, stopped by the contour edges)."""
    cons = set()
    for a, b in zip(loop, loop[1:] + loop[:1]):
        cons.add((a, b))
        cons.add((b, a))
    top = [i for i, v in enumerate(verts) if v.id == 223][0]
    bot = [i for i, v in enumerate(verts) if v.id == 203][0]
    mx = 0.5 * (pts[top][0] + pts[bot][0])
    my = 0.5 * (pts[top][1] + pts[bot][1])

    def inside(t, x, y):
        (ax, ay), (bx, by), (cx, cy) = pts[t[0]], pts[t[1]], pts[t[2]]
        d1 = (bx - ax) * (y - ay) - (by - ay) * (x - ax)
        d2 = (cx - bx) * (y - by) - (cy - by) * (x - bx)
        d3 = (ax - cx) * (y - cy) - (ay - cy) * (x - cx)
        return d1 >= 0.0 and d2 >= 0.0 and d3 >= 0.0

    # the middle of the mouth may lie on the edge 223-203: either triangle will do
    seed = [k for k, t in enumerate(tris) if inside(t, mx, my)][:1]
    assert seed, "mouth seed not found"
    owner = edge_owners(tris)
    gone = set()
    stack = seed
    while stack:
        k = stack.pop()
        if k in gone:
            continue
        gone.add(k)
        t = tris[k]
        for e in ((t[0], t[1]), (t[1], t[2]), (t[2], t[0])):
            if e in cons:
                continue
            o = owner.get((e[1], e[0]))
            assert o is not None, "mouth fill escaped to the outer boundary"
            stack.append(o)
    return [t for k, t in enumerate(tris) if k not in gone]


def is_contour(v):
    return v.row_y is not None or v.id in (11, 42)


def angle_at(p, a, b):
    ux, uy, uz = a[0] - p[0], a[1] - p[1], a[2] - p[2]
    vx, vy, vz = b[0] - p[0], b[1] - p[1], b[2] - p[2]
    c = (ux * vx + uy * vy + uz * vz) / math.sqrt((ux * ux + uy * uy + uz * uz) * (vx * vx + vy * vy + vz * vz))
    return math.acos(max(-1.0, min(1.0, c)))


def flip_on_surface(tris, pos3, pos2, max_rounds=50):
    """Flips interior edges whose two triangles are not Delaunay on the surface, as long as
    the quadrilateral stays convex in the chart (the mesh stays embedded)."""
    def area2(a, b, c):
        return chart_area2(pos2, a, b, c)

    tris = [tuple(t) for t in tris]
    for _ in range(max_rounds):
        owner = edge_owners(tris)
        flipped = False
        seen = set()
        for (a, b) in sorted(owner):
            if (a, b) not in owner or (b, a) not in owner or (min(a, b), max(a, b)) in seen:
                continue
            seen.add((min(a, b), max(a, b)))
            k1, k2 = owner[(a, b)], owner[(b, a)]
            t1, t2 = tris[k1], tris[k2]
            c = [x for x in t1 if x not in (a, b)][0]
            d = [x for x in t2 if x not in (a, b)][0]
            if (c, d) in owner or (d, c) in owner:
                continue
            alpha = angle_at(pos3[c], pos3[a], pos3[b])
            beta = angle_at(pos3[d], pos3[a], pos3[b])
            if alpha + beta <= math.pi + 1e-9:
                continue
            if area2(a, d, c) <= 0.0 or area2(d, b, c) <= 0.0:
                continue
            tris[k1] = (a, d, c)
            tris[k2] = (d, b, c)
            for e in ((a, b), (b, c), (c, a), (b, a), (a, d), (d, b)):
                owner.pop(e, None)
            for k, t in ((k1, tris[k1]), (k2, tris[k2])):
                owner[(t[0], t[1])] = k
                owner[(t[1], t[2])] = k
                owner[(t[2], t[0])] = k
            flipped = True
        if not flipped:
            break
    return tris


def unit_normal(p, q, r):
    n = tri_normal(p, q, r)
    ln = math.sqrt(n[0] ** 2 + n[1] ** 2 + n[2] ** 2)
    return (n[0] / ln, n[1] / ln, n[2] / ln)


def min_angle(p, q, r):
    return min(angle_at(p, q, r), angle_at(q, r, p), angle_at(r, p, q))


def flip_for_smoothness(tris, pos3, pos2, min_deg=20.0, rounds=20):
    """Where both diagonals of a quadrilateral give triangles with angles of at least
    min_deg, keeps the one whose two triangles bend least, so that edges run along ridges
    and creases and flat shading shows no sawtooth."""
    lim = math.radians(min_deg)

    def area2(a, b, c):
        return chart_area2(pos2, a, b, c)

    def bend(t1, t2):
        n1 = unit_normal(*(pos3[i] for i in t1))
        n2 = unit_normal(*(pos3[i] for i in t2))
        return 1.0 - (n1[0] * n2[0] + n1[1] * n2[1] + n1[2] * n2[2])

    tris = [tuple(t) for t in tris]
    for _ in range(rounds):
        owner = edge_owners(tris)
        flipped = False
        for (a, b) in sorted(owner):
            if a > b or (a, b) not in owner or (b, a) not in owner:
                continue
            k1, k2 = owner[(a, b)], owner[(b, a)]
            t1, t2 = tris[k1], tris[k2]
            c = [x for x in t1 if x not in (a, b)][0]
            d = [x for x in t2 if x not in (a, b)][0]
            if (c, d) in owner or (d, c) in owner:
                continue
            if area2(a, d, c) <= 0.0 or area2(d, b, c) <= 0.0:
                continue
            n1, n2 = (a, d, c), (d, b, c)
            if min(min_angle(*(pos3[i] for i in n1)), min_angle(*(pos3[i] for i in n2))) < lim:
                continue
            if bend(n1, n2) >= bend(t1, t2) - 1e-3:
                continue
            tris[k1], tris[k2] = n1, n2
            for e in ((a, b), (b, c), (c, a), (b, a), (a, d), (d, b)):
                owner.pop(e, None)
            for k, t in ((k1, n1), (k2, n2)):
                owner[(t[0], t[1])] = k
                owner[(t[1], t[2])] = k
                owner[(t[2], t[0])] = k
            flipped = True
        if not flipped:
            break
    return tris


LANDMARK_ORDER = ("nose base", "left eye", "right eye")


def build(costav, log=False):
    regions = read_regions(costav)
    rverts, index = build_region_vertices(regions)
    relax_regions(rverts, index, regions, 240, log=log)
    k = sum(1 for v in rverts if is_contour(v))
    ring = ring_vertices(62 - k)
    feats = feature_vertices() + skull_vertices()
    nfree = NV - len(rverts) - len(ring) - len(feats)
    assert nfree >= 0, "too many fixed vertices"
    free = spread_vertices(nfree, ring + feats, rverts)
    verts = rverts + ring + feats + free
    assert len(verts) == NV
    # numbering: region vertices keep their table numbers, the others take the rest in
    # order, the measured landmarks first (nose base 1, left eye 5, right eye 9)
    unused = [i for i in range(NV) if i not in index]
    rest = ring + feats + free
    first = [v for t in LANDMARK_ORDER for v in rest if v.tag == t]
    rest = first + [v for v in rest if v.tag not in LANDMARK_ORDER]
    for v, vid in zip(rest, unused):
        v.id = vid
    assert [v.id for v in first] == [1, 5, 9]
    pts2 = triangulation_points(verts)
    tris = delaunay(pts2)
    loop = mouth_loop(verts)
    tris = insert_constraints(tris, pts2, list(zip(loop, loop[1:] + loop[:1])))
    tris = remove_mouth(tris, pts2, loop, verts)
    pos3 = [v.p for v in verts]
    tris = flip_on_surface(tris, pos3, pts2)
    tris = flip_for_smoothness(tris, pos3, pts2)
    # renumber to vertex ids
    order = sorted(range(NV), key=lambda i: verts[i].id)
    vout = [verts[i] for i in order]
    where = {i: verts[i].id for i in range(NV)}
    fout = [(where[a], where[b], where[c]) for a, b, c in tris]
    return regions, vout, fout


# ---------------------------------------------------------------------------
# Checks

def boundary_loops(faces):
    directed = set()
    for a, b, c in faces:
        for e in ((a, b), (b, c), (c, a)):
            assert e not in directed, "edge %s used twice in the same direction" % (e,)
            directed.add(e)
    bnd = [(a, b) for (a, b) in directed if (b, a) not in directed]
    nxt = {}
    for a, b in bnd:
        assert a not in nxt, "boundary pinched at vertex %d" % a
        nxt[a] = b
    loops = []
    left = set(nxt)
    while left:
        s = min(left)
        loop = [s]
        left.discard(s)
        x = nxt[s]
        while x != s:
            loop.append(x)
            left.discard(x)
            x = nxt[x]
        loops.append(loop)
    return bnd, loops


def tri_normal(p, q, r):
    v1 = (q[0] - p[0], q[1] - p[1], q[2] - p[2])
    v2 = (r[0] - p[0], r[1] - p[1], r[2] - p[2])
    return (v1[1] * v2[2] - v1[2] * v2[1], v1[2] * v2[0] - v1[0] * v2[2],
            v1[0] * v2[1] - v1[1] * v2[0])


def weights_of(pos, regions):
    """Raised-cosine region weights, as the program computes them."""
    out = {}
    for code, (piv, lst) in regions.items():
        s = 8.0 if code == 802 else 1.0
        d = [dist(pos[piv], pos[v]) for v in lst]
        far = max(d)
        out[code] = [(1.0 - math.cos(3.1415926535898 * (1.0 - (x / far) / s))) / 2.0 for x in d]
    return out


SPEECH = [(3, 201, 0.029, 1, -1), (51, 801, 0.029, 1, -1), (52, 802, 0.029, 1, 1),
          (53, 204, 0.051, 0, 1), (54, 205, 0.051, 0, -1), (55, 805, 0.029, 1, -1),
          (56, 806, 0.029, 1, -1), (57, 807, 0.029, 1, 1), (58, 808, 0.029, 1, 1),
          (59, 204, 0.029, 1, 1), (60, 205, 0.029, 1, 1)]


def deform(pos, regions, faps):
    w = weights_of(pos, regions)
    out = [list(p) for p in pos]
    for fap, code, unit, axis, sign in SPEECH:
        amount = sign * faps.get(fap, 0) * unit
        for v, wt in zip(regions[code][1], w[code]):
            out[v][axis] += wt * amount
    return [tuple(p) for p in out]


def flipped_triangles(before, after, faces):
    bad = 0
    for a, b, c in faces:
        n0 = tri_normal(before[a], before[b], before[c])
        n1 = tri_normal(after[a], after[b], after[c])
        if n0[0] * n1[0] + n0[1] * n1[1] + n0[2] * n1[2] <= 0.0:
            bad += 1
    return bad


def check(verts, faces, regions):
    """Asserts every requirement on the finished mesh; returns the figures for the summary."""
    pos = [v.p for v in verts]
    assert len(pos) == NV and len(faces) == NF, "counts %d %d" % (len(pos), len(faces))
    assert all(v.id == i for i, v in enumerate(verts))
    used = set()
    keys = set()
    for t in faces:
        assert len(set(t)) == 3 and all(0 <= i < NV for i in t), "bad triangle %s" % (t,)
        key = tuple(sorted(t))
        assert key not in keys, "duplicate triangle %s" % (t,)
        keys.add(key)
        used.update(t)
        n = tri_normal(*(pos[i] for i in t))
        area = 0.5 * math.sqrt(n[0] ** 2 + n[1] ** 2 + n[2] ** 2)
        assert area > 0.05, "degenerate triangle %s (area %g)" % (t, area)
        # the face normal must agree with the outward normal of the smooth surface
        cu = sum(verts[i].uv[0] for i in t) / 3.0
        cv = sum(verts[i].uv[1] for i in t) / 3.0
        _, ju, jv = jacobian(cu, cv)
        sn = (ju[1] * jv[2] - ju[2] * jv[1], ju[2] * jv[0] - ju[0] * jv[2], ju[0] * jv[1] - ju[1] * jv[0])
        assert n[0] * sn[0] + n[1] * sn[1] + n[2] * sn[2] > 0.0, "inward triangle %s" % (t,)
    assert used == set(range(NV)), "unused vertices"
    bnd, loops = boundary_loops(faces)
    assert len(bnd) == 62 and len(loops) == 2, "boundary %d in %d loops" % (len(bnd), len(loops))
    mouth = [l for l in loops if 223 in l]
    assert len(mouth) == 1 and 203 in mouth[0] and 11 in mouth[0] and 42 in mouth[0]
    # every interior edge is used once in each direction (consistent winding)
    directed = {(t[i], t[(i + 1) % 3]) for t in faces for i in range(3)}
    assert len(directed) == 3 * NF

    # pivots where they belong
    def p(i):
        return pos[i]
    for a in (136, 126, 223, 203, 184, 194):
        assert abs(p(a)[0]) < 1e-9, "pivot %d off the midline" % a
    near136 = [i for i in range(NV) if dist(p(i), p(136)) < 30.0]
    assert min(near136, key=lambda i: p(i)[1]) == 136, "136 is not the lowest chin point"
    assert p(126)[1] > p(136)[1] + 8.0 and p(126)[2] > p(136)[2], "126 is not the chin boss"
    assert p(184)[1] > p(223)[1] > p(203)[1] > p(194)[1], "lip middles out of order"
    for left, right in ((11, 42), (10, 43), (242, 344), (66, 76), (93, 106), (190, 307)):
        assert p(left)[0] > 0.0 > p(right)[0], "pivot %d / %d on the wrong side" % (left, right)
        assert abs(p(left)[0] + p(right)[0]) < 1e-6 and abs(p(left)[1] - p(right)[1]) < 1e-6
    assert 0.0 < p(10)[0] < p(11)[0] < p(66)[0] and 0.0 < p(242)[0] < p(11)[0]
    assert p(93)[1] > p(10)[1] and p(190)[1] < p(242)[1]
    assert p(93)[0] > 0.0 and p(190)[0] > 0.0

    # every region is the neighbourhood of its pivot on the surface
    index = {v.id: i for i, v in enumerate(verts)}
    rep = region_check(verts, index, regions, (p(11), p(42)))
    bad = ["%d: vertex %d at %.2f, median member at %.2f" % (code, who, near, med)
           for code, (med, near, who) in rep.items() if near < med]
    assert not bad, "regions not the neighbourhood of their pivot: " + "; ".join(bad)

    # proportions (FAP units times 1024)
    mouth_c = [(p(223)[k] + p(203)[k]) / 2.0 for k in range(3)]
    tagged = {v.tag: v.p for v in verts if v.tag}
    nose = tagged["nose base"]
    eyes = [tagged["left eye"], tagged["right eye"]]
    figures = {
        "mouth width (8.3-8.4)": dist(p(66), p(76)),
        "inner lip corners (2.4-2.5)": dist(p(11), p(42)),
        "mouth-nose": nose[1] - mouth_c[1],
        "eye-nose": eyes[0][1] - nose[1],
        "eye separation": dist(eyes[0], eyes[1]),
        "mouth height": mouth_c[1],
    }
    want = {"mouth width (8.3-8.4)": 0.051 * 1024, "mouth-nose": 0.029 * 1024,
            "eye-nose": 0.042 * 1024, "eye separation": 0.077 * 1024}
    for k, target in want.items():
        assert abs(figures[k] - target) < 0.03 * target, "%s %.2f, want %.2f" % (k, figures[k], target)
    assert abs(figures["mouth height"] + 40.0) < 2.0

    # deformation: jaw down 10 units, extreme speech, silence
    jaw = deform(pos, regions, {3: 10.0 / 0.029})
    figures["flips, jaw down 10"] = flipped_triangles(pos, jaw, faces)
    assert figures["flips, jaw down 10"] == 0, "jaw opening folds the mesh"
    silent = deform(pos, regions, {3: -140, 51: 100, 52: 100, 55: 80, 56: 80, 57: 80,
                                   58: 80, 53: 15, 54: 15, 59: 30, 60: 30})
    figures["flips, silent window"] = flipped_triangles(pos, silent, faces)
    assert figures["flips, silent window"] == 0, "a silent window folds the mesh"
    speech = deform(pos, regions, SPEECH_POSE)
    figures["flips, extreme speech"] = flipped_triangles(pos, speech, faces)
    assert figures["flips, extreme speech"] == 0, "the extreme speech pose folds the mesh"
    gap = speech[223][1] - speech[203][1]
    figures["mouth opening, speech"] = gap
    assert gap > 10.0, "the speech pose does not open the mouth"
    figures["regions"] = rep
    return figures


# FAP values of the extreme speech pose drawn in docs/head-speech.png.
SPEECH_POSE = {3: 1000, 51: -300, 52: -300, 55: -300, 56: -300, 57: -300, 58: -300,
               53: 50, 54: 50}


# ---------------------------------------------------------------------------

def write_files(verts, faces, out_dir):
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "vertex.txt"), "w", newline="\n") as f:
        for v in verts:
            x, y, z = (0.0 if abs(c) < 5e-5 else c for c in v.p)
            f.write("%d %.4f %.4f %.4f\n" % (v.id, x, y, z))
    with open(os.path.join(out_dir, "face.txt"), "w", newline="\n") as f:
        for j, (a, b, c) in enumerate(faces):
            f.write("%d %d %d %d\n" % (j, a, b, c))


def round_positions(verts):
    """The positions as written to the file, so that the checks see what the program reads."""
    for v in verts:
        v.p = tuple(float("%.4f" % (0.0 if abs(c) < 5e-5 else c)) for c in v.p)


def main(argv):
    ap = argparse.ArgumentParser(description="Generates data/vertex.txt and data/face.txt.")
    ap.add_argument("--out", default=os.path.join(ROOT, "data"), help="output directory")
    ap.add_argument("--costav", default=os.path.join(ROOT, "model", "costav.cpp"),
                    help="C++ file with the region tables")
    ap.add_argument("--plot", default=None, help="write an SVG of the lip and chin layout")
    ap.add_argument("--quiet", action="store_true")
    args = ap.parse_args(argv)
    regions, verts, faces = build(args.costav)
    round_positions(verts)
    figures = check(verts, faces, regions)
    if args.plot:
        plot_layout(verts, args.plot)
    write_files(verts, faces, args.out)
    if not args.quiet:
        bnd, loops = boundary_loops(faces)
        mouth = [l for l in loops if 223 in l][0]
        print("vertices %d, triangles %d, boundary edges %d (neck %d, mouth %d)"
              % (len(verts), len(faces), len(bnd), len(bnd) - len(mouth), len(mouth)))
        for k, v in figures.items():
            if k != "regions":
                print("%-28s %s" % (k, ("%.2f" % v) if isinstance(v, float) else v))
        print("region  median  nearest outsider")
        for code, (med, near, who) in figures["regions"].items():
            print("  %d.%d  %6.2f  %6.2f (vertex %d)" % (code // 100, code % 100, med, near, who))
        print("wrote", os.path.join(args.out, "vertex.txt"), "and", os.path.join(args.out, "face.txt"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
