#!/usr/bin/env python3
"""Generates the head mesh: data/vertex.txt (347 vertices) and data/face.txt (632 triangles).

The feature-point region tables in model/costav.cpp address vertices by number, and the
program moves the mouth by moving those regions, each member by its raised-cosine weight,
which follows from where the members lie. So the mesh is built around the tables, and the
layout of the region vertices is what makes the mouth speak:

1. The 18 regions (pivot and vertex list) are parsed from model/costav.cpp. Every one of
   the 203 region vertices gets its membership set; vertices with the same set form a
   class (for example "in 2.6 and 8.5"). A class of the face's right side is the mirror
   image of the left one, so the face is symmetric.
2. The head surface (headsurf.py) is a smooth base head with the face sculpted on it by
   landmarks: brow, eye sockets and lids, nose, cheeks, lips, chin, ears. With no FAP the
   lips are parted by a lens that the rest shape of a quiet window closes; the lower lip
   and the chin have a shallow profile, so that skin sliding up or down keeps its depth.
3. The region vertices start from a template (rows of the lips along their shape, the
   corners, the chin and the jaw line) with every pivot at its MPEG-4 place. The layout
   is then fitted to speech (mouthfit.py): moved on the surface until no triangle folds
   in any pose of a set of poses (the rest shape, the corners of the range speech
   reaches, windows of the test sentences), the opening of open poses is an ellipse, every
   region stays the neighbourhood of its pivot and the vertices keep their spacing. The fit
   takes a few minutes; it runs with --search and its result, the chart coordinates of the
   region vertices, is kept in tools/head_layout.txt, which a normal run reads back.
   The inner lip rows are placed last, in every run: in each column the rest shape brings
   the upper and the lower row vertex together.
4. The other 144 vertices: the ring of the neck opening, feature vertices on the
   landmarks, vertices round the skull, a closed pocket behind the lips (dark through the
   open mouth), and a few spread by farthest-point sampling, never in the lower face,
   where everything moves with the mouth.
5. The triangles of the surface come from a Delaunay triangulation (Bowyer-Watson) in the
   stereographic chart of the base head. The inner lip rows are separate vertex rows;
   their contour is made part of the triangulation (constraint edges recovered by flips)
   and the triangles inside it are removed, which opens the mouth. Edges are then flipped
   where the triangles on the surface get better shaped, and where both choices are well
   shaped, towards the one that bends least. The neck ring is the convex hull of the
   chart; with the pocket, boundary edges = neck + mouth = 58.
6. Every requirement is checked (counts, winding, boundary, the pocket, pivots, the
   neighbourhood rule, proportions, the rest shape closing the lips, no fold in any pose of
   the fit); the files are written with fixed formatting, so a rerun reproduces them byte
   for byte.

Vertices that no region table uses are numbered in order, the points the proportions are
measured at first: vertex 1 is the nose base (the midline point under the nose), 5 and 9
the centres of the face's left (+x) and right eye.

Usage: tools/make_head_mesh.py [--out DIR] [--costav FILE] [--search] [--quiet]
Takes a few seconds; with --search a few minutes more.
"""

import argparse
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import headsurf as hs  # noqa: E402
import mouthfit  # noqa: E402

NV = 347
NF = 632
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# ---------------------------------------------------------------------------
# Anatomy (model units; x to the face's left, y up, z towards the viewer)

MOUTH_Y = hs.MOUTH_Y     # the mouth line
CORNER_X = hs.CORNER_X   # inner lip corners (FP 2.4 / 2.5)
OUTER_X = hs.OUTER_X     # outer lip corners (FP 8.3 / 8.4): MW * 1024 apart
NOSE_Y = -10.0           # nose base: MNS * 1024 above the mouth
EYE_Y = 33.0             # eye centres: ENS * 1024 above the nose base
EYE_X = 39.5             # eye centres: ES * 1024 apart


UPPER_FPS = {202, 206, 207, 801, 805, 806}
LOWER_FPS = {203, 208, 209, 802, 807, 808, 201, 210}


upper_border = hs.upper_border
lower_border = hs.lower_border


# ---------------------------------------------------------------------------
# Region tables

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
# Q4, 2.4 next to the corner. An upper and a lower row vertex share each column.
Q1, Q2, Q3, Q4, Q5, Q6, Q7 = 2.0, 4.0, 6.0, 8.2, 10.2, 12.2, 14.3

# Rows of the lips, as functions of x: the inner row, a third and two thirds of the way
# to the border, the border, then rows above (below) the border towards the nose (chin).
UPPER_ROWS = [0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0, 4.5, 9.0, 15.0]
LOWER_ROWS = [0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0, 3.5, 9.0, 14.0]


def row_y(row, x):
    side, k = row
    if k != int(k):
        lo = row_y((side, int(k)), x)
        return lo + (k - int(k)) * (row_y((side, int(k) + 1), x) - lo)
    if side == 'U':
        b, inner, f = upper_border(x), MOUTH_Y + hs.lens(x), UPPER_ROWS[k]
        return inner + f * (b - inner) if k <= 3 else b + f
    b, inner, f = lower_border(x), MOUTH_Y - hs.lens(x), LOWER_ROWS[k]
    return inner + f * (b - inner) if k <= 3 else b - f


def U(k):
    return ('U', k)


def L(k):
    return ('L', k)


# Slots: (x, y or row, pivot). Row slots stay near their row (the inner rows exactly);
# ("dir", azimuth, elevation) is a direction seen from the inner centre, for a slot far
# round the jaw. The lower face moves a long way in speech (the lower lip up to 39 units,
# the chin up to 32), so everything below the mouth must move with it: the chin region
# reaches back along the jaw line, which keeps its weights high over the chin, and the
# lower-lip sides and the corners each have a member well away from their pivot for the
# same reason.
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
                       (Q7, U(0), None)],
    # the corner: in speech it moves down and in or out, a long way (up to 17 units; out
    # by up to 10 with the mouth half open). Its region lies above it, so that it moves away
    # from its own members, and along the mouth line outwards, where it goes when it moves
    # out; below it only the two members it shares with the lower-lip side, which moves
    # down faster still. The outer corner (8.3, which no FAP moves) keeps out of that way,
    # just above the mouth line.
    frozenset({204, 805}): [(CORNER_X - 3.0, MOUTH_Y + 4.5, None)],
    frozenset({204}): [(CORNER_X, MOUTH_Y, 11),
                       (CORNER_X + 2.0, MOUTH_Y - 0.5, None), (CORNER_X + 4.0, MOUTH_Y - 0.8, None),
                       (CORNER_X + 6.2, MOUTH_Y - 1.0, None), (CORNER_X + 8.5, MOUTH_Y - 1.2, None),
                       (CORNER_X + 11.0, MOUTH_Y - 1.3, None), (CORNER_X + 14.0, MOUTH_Y - 1.4, None),
                       (CORNER_X + 2.6, MOUTH_Y + 2.0, None), (CORNER_X + 4.2, MOUTH_Y + 1.4, None),
                       (CORNER_X + 2.4, MOUTH_Y + 4.0, None), (CORNER_X + 1.2, MOUTH_Y + 5.4, None),
                       (CORNER_X + 4.0, MOUTH_Y + 4.8, None), (CORNER_X + 2.0, MOUTH_Y + 6.6, None),
                       (CORNER_X + 1.4, MOUTH_Y + 8.6, None), (CORNER_X + 4.4, MOUTH_Y + 9.2, None)],
    frozenset({204, 807}): [(CORNER_X + 1.6, MOUTH_Y - 2.6, None), (CORNER_X + 0.4, MOUTH_Y - 4.6, None)],
    frozenset({803}): [(OUTER_X, MOUTH_Y + 6.0, 66), (OUTER_X - 2.0, MOUTH_Y + 7.7, None),
                       (OUTER_X + 2.2, MOUTH_Y + 8.1, None), (OUTER_X + 2.8, MOUTH_Y + 5.1, None),
                       (OUTER_X - 1.2, MOUTH_Y + 10.5, None), (OUTER_X + 1.4, MOUTH_Y + 11.5, None),
                       (OUTER_X + 5.2, MOUTH_Y + 8.0, None), (OUTER_X + 5.0, MOUTH_Y + 4.7, None),
                       (OUTER_X - 0.2, MOUTH_Y + 3.9, None)],
    # lower lip: 2.3 round its pivot, 2.8 beside it, 8.2 / 8.7 below to the chin
    frozenset({203, 802}): [(0.0, L(0), 203), (0.0, L(2), None), (0.0, L(3), 194),
                            (Q1, L(0), None), (Q2, L(0), None), (Q3, L(0), None),
                            (1.5, L(1), None), (4.5, L(1), None), (3.0, L(2), None)],
    frozenset({802}): [(3.8, L(3), None), (0.0, L(4), None), (3.1, L(4), None),
                       (6.2, L(4), None), (1.6, ('L', 4.3), None)],
    frozenset({208, 807}): [(Q5, L(0), 242), (Q4, L(0), None), (Q6, L(0), None),
                            (Q5 - 1.2, L(1), None), (Q5 + 1.3, L(1), None), (Q6 + 1.6, L(1), None),
                            (Q5 - 1.5, L(2), None), (Q5 + 1.5, L(2), None),
                            (Q5, L(3), 190), (Q6 + 0.8, L(3), None), (Q5 - 3.2, L(3), None)],
    frozenset({807}): [(Q5 - 1.8, L(4), None), (Q5 + 1.8, L(4), None), (Q7, L(0), None),
                       (Q5 + 5.5, ('L', 4.6), None), (CORNER_X + 3.0, MOUTH_Y - 5.5, None),
                       (33.0, -53.0, None)],
    frozenset({201, 210}): [(0.0, -67.5, 126), (0.0, -64.0, None), (3.9, -65.4, None),
                            (3.9, -69.6, None), (2.0, -71.6, None)],
    frozenset({201}): [(0.0, -80.0, 136), (0.0, -74.5, None),
                       (0.0, ("under", 6.0), None), (0.0, ("under", 12.0), None),
                       (8.3, -63.0, None), (8.8, -67.5, None), (7.6, -72.0, None),
                       (4.4, -75.6, None), (4.8, -79.4, None), (10.0, -77.0, None),
                       (12.8, -62.0, None), (13.2, -67.0, None), (12.8, -72.5, None),
                       (17.5, -64.0, None), (25.0, -72.0, None), (38.0, -62.0, None),
                       (5.0, ("under", 5.5), None), (72.0, ("dir", -30.0), None)],
}


# Members placed far from their pivot on purpose: the fit keeps them near their places.
ANCHOR_SLOTS = {(33.0, -53.0),
                (25.0, -72.0), (38.0, -62.0), (72.0, ("dir", -30.0))}


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
        self.kind = kind           # 'region', 'row', 'pivot', 'anchor', 'ring', 'feature',
                                   # 'skull', 'free', 'pocket'
        self.fps = frozenset()
        self.side = 0              # +1 upper lip, -1 lower lip, 0 neither
        self.mirror = None         # index of the mirror-image vertex
        self.mirror_id = None      # and its vertex number
        self.row_y = None          # 'U' or 'L' for the vertices of the inner lip rows
        self.tag = None            # name of a landmark the checks measure
        self.home = None           # where the template put it (the fit keeps far members near)

    def set_uv(self, uv):
        self.uv = uv
        self.p = hs.point(*uv)


def place_slot(x, y, bottom):
    if isinstance(y, tuple) and y[0] in ('U', 'L'):
        return locate(x, row_y(y, abs(x)))
    if isinstance(y, tuple) and y[0] == 'dir':
        # x is the azimuth (degrees, from the front towards the face's left)
        a, e = math.radians(x), math.radians(y[1])
        return hs.chart((math.sin(a) * math.cos(e), math.sin(e), math.cos(a) * math.cos(e)))
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
        elif (abs(x), y) in ANCHOR_SLOTS:
            kind = 'anchor'
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
            vx.row_y = lip_row[0]
        vx.home = vx.p
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
# Distances on the face and the neighbourhood rule

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


# ---------------------------------------------------------------------------
# The other vertices: opening ring, feature vertices, spread vertices

RING_ANGLE = math.radians(17.0)   # angular radius of the neck opening round the chart pole

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


def in_lower_face(p):
    """The lips, the chin and the jaw below the mouth: everything there moves with the mouth,
    so the free vertices (which never move) stay out."""
    return abs(p[0]) < 40.0 and -86.0 < p[1] < -28.0 and p[2] > -30.0


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
            if u * u + v * v < (0.93 * rad) ** 2 and u >= 0.0 \
                    and not in_lower_face(hs.point(u, v)):
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

# ---------------------------------------------------------------------------
# Poses: the FAP values the layout is fitted to and checked against

FAP_ORDER = (3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60)

# The rest shape: the FAPs of every quiet window.
REST_FAPS = dict(zip(FAP_ORDER, (-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75)))

# The range speech reaches (recorded voices and synthetic speech), FAP: (min, max).
FAP_RANGE = {3: (-140, 1020), 51: (-150, 105), 52: (-1250, 200), 53: (-260, 150),
             54: (-310, 160), 55: (-90, 195), 56: (-120, 270), 57: (-1037, 162),
             58: (-1137, 175), 59: (-510, 75), 60: (-510, 75)}
# Groups of FAPs that speech moves together, with the sign of each FAP towards the group's
# "high" end: the jaw, the lower lip and the corner raises (correlation over speech 0.96 to
# 1.00, high = open), the corner stretches (0.98), the upper lip.
FAP_GROUPS = [((3, 52, 57, 58, 59, 60), (1, -1, -1, -1, -1, -1)), ((53, 54), (1, 1)),
              ((51, 55, 56), (1, 1, 1))]


def box_corners(windows):
    """The corners of the range, combined as speech combines the FAPs: for each end of each
    group, the window that goes furthest towards it, with the group set to that end."""
    out = []
    for faps, signs in FAP_GROUPS:
        for end in (1, -1):
            base = max(windows, key=lambda w: sum(end * s * w[f] for f, s in zip(faps, signs)))
            corner = dict(base)
            for f, s in zip(faps, signs):
                corner[f] = FAP_RANGE[f][1] if end * s > 0 else FAP_RANGE[f][0]
            out.append(corner)
    return out


# 64 windows of the sentences the tests speak (tests/speech/make-speech.sh and the English
# sentence of tests/tools/test_zarvo_fap_speech.py, through zarvo-fap), chosen by farthest-
# point sampling over the FAP ranges, the rest shape first. FAPs in FAP_ORDER.
SPEECH_SAMPLE = [
    (-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75),
    (1100, 105, -1350, -100, -120, 180, 255, -1125, -1237, -570, -585),
    (590, 0, -750, 160, 120, 0, 0, -625, -675, -135, -210),
    (460, 60, -500, -250, -280, 150, 195, -400, -462, -300, -240),
    (220, -105, -337, -40, -60, -30, -30, -262, -287, -75, -90),
    (740, 30, -925, -30, -70, 90, 135, -775, -850, -360, -390),
    (270, 60, -287, -50, -100, 75, 105, -237, -275, -135, -120),
    (740, 135, -875, -200, -270, 225, 300, -737, -812, -495, -480),
    (280, -15, -362, 150, 150, -45, -45, -300, -325, 0, -30),
    (510, 0, -625, -100, -150, 60, 90, -512, -575, -255, -255),
    (760, 45, -900, -190, -210, 150, 195, -737, -837, -420, -390),
    (130, 15, -162, 10, 0, 15, 15, -125, -137, -15, -30),
    (380, -15, -500, 10, -20, 15, 30, -412, -450, -135, -165),
    (270, -135, -425, 60, 80, -90, -105, -337, -362, 0, -45),
    (140, 30, -125, -170, -220, 90, 105, -87, -125, -120, -75),
    (970, 45, -1200, -90, -90, 135, 180, -1000, -1100, -480, -480),
    (70, 75, -37, -30, -70, 75, 90, -25, -50, -30, -15),
    (90, -75, -150, 20, 10, -45, -60, -112, -125, 30, 0),
    (450, 75, -500, -120, -180, 120, 165, -400, -462, -240, -225),
    (920, 105, -1100, -150, -180, 180, 255, -925, -1012, -510, -495),
    (540, 45, -662, 0, -50, 75, 105, -550, -600, -225, -255),
    (270, -15, -312, -60, -90, 15, 30, -237, -287, -90, -75),
    (400, -15, -525, 110, 80, -15, 0, -425, -462, -60, -120),
    (570, 75, -662, -170, -220, 150, 195, -550, -612, -345, -315),
    (600, 45, -737, -70, -140, 105, 150, -612, -675, -300, -330),
    (360, 15, -425, -140, -170, 75, 105, -337, -387, -210, -180),
    (460, -15, -587, 200, 180, -30, -30, -475, -525, -30, -90),
    (260, -75, -362, 60, 40, -45, -45, -287, -312, -15, -45),
    (830, 75, -1012, -100, -160, 135, 195, -837, -937, -435, -450),
    (380, -75, -512, 170, 160, -75, -75, -400, -450, 0, -30),
    (350, -30, -450, -90, -120, 30, 45, -362, -412, -180, -180),
    (-10, -30, 0, -10, -30, -15, -15, 0, 0, 30, 30),
    (860, 75, -1025, -230, -260, 195, 255, -837, -937, -510, -465),
    (170, -15, -225, 90, 70, -15, -15, -175, -187, 0, -15),
    (380, 60, -462, -30, -80, 90, 120, -387, -425, -195, -225),
    (520, 15, -650, 90, 40, 15, 45, -550, -587, -150, -210),
    (260, 15, -312, 30, -10, 30, 45, -262, -287, -75, -105),
    (630, 0, -800, -20, -70, 60, 90, -662, -725, -270, -300),
    (-10, 30, 37, 0, -50, 30, 45, 37, 37, 15, 0),
    (460, 0, -587, -30, -70, 45, 60, -475, -525, -210, -225),
    (320, -75, -462, 0, -30, -15, -15, -375, -400, -120, -150),
    (710, 30, -875, -110, -160, 120, 165, -725, -800, -375, -390),
    (150, 30, -150, -40, -80, 45, 60, -112, -137, -60, -60),
    (700, 90, -825, -210, -250, 180, 240, -687, -762, -435, -405),
    (280, 0, -300, -120, -160, 45, 75, -225, -275, -120, -90),
    (770, 105, -925, -130, -190, 180, 240, -787, -862, -450, -465),
    (120, -45, -175, -20, -40, 0, 0, -137, -150, -30, -45),
    (400, 30, -462, 0, -30, 60, 75, -387, -425, -150, -165),
    (470, 30, -537, -180, -210, 105, 150, -437, -500, -285, -240),
    (290, 60, -312, -110, -160, 105, 135, -262, -300, -180, -165),
    (140, -120, -237, -20, -20, -60, -75, -175, -200, 0, -15),
    (1000, 75, -1225, -120, -130, 165, 225, -1012, -1125, -525, -510),
    (140, 30, -125, -110, -150, 60, 90, -87, -125, -90, -60),
    (270, -60, -375, -70, -100, 0, 0, -287, -325, -120, -135),
    (830, 150, -975, -240, -310, 240, 315, -812, -912, -540, -525),
    (290, 0, -375, 110, 80, 0, 0, -300, -325, -30, -75),
    (500, 30, -600, -110, -140, 105, 135, -487, -550, -270, -255),
    (320, 15, -375, -60, -100, 60, 75, -300, -337, -150, -150),
    (630, 45, -762, -160, -190, 120, 165, -625, -700, -360, -330),
    (740, 75, -912, -50, -80, 120, 165, -762, -837, -375, -390),
    (0, 15, 12, 40, 0, 0, 0, 12, 0, 30, 15),
    (520, 15, -650, 20, 0, 45, 60, -537, -587, -195, -240),
    (620, 15, -750, -100, -100, 75, 105, -600, -675, -285, -270),
    (490, 0, -625, 160, 120, 0, 0, -500, -550, -75, -135),
]


# The corner stretches are the hardest moves for the mesh: the 8 windows of the same
# sentences (outside the sample above) that stretch the corners furthest out, and the 8
# furthest in.
STRETCH_SAMPLE = [
    (430, -15, -562, 190, 170, -30, -30, -450, -500, -30, -90),
    (390, -15, -512, 180, 170, -45, -45, -412, -450, 0, -60),
    (460, 0, -600, 190, 160, -30, -15, -487, -525, -45, -120),
    (420, -15, -537, 180, 160, -30, -30, -450, -475, -30, -90),
    (300, -15, -387, 160, 160, -45, -45, -312, -337, 0, -30),
    (480, 0, -612, 170, 150, -30, -15, -500, -550, -45, -120),
    (490, -15, -637, 170, 150, -30, -15, -525, -575, -75, -150),
    (360, -15, -475, 160, 150, -30, -30, -387, -412, -15, -75),
    (500, 60, -550, -270, -300, 165, 210, -437, -512, -330, -270),
    (810, 150, -950, -230, -300, 240, 315, -800, -887, -525, -510),
    (840, 135, -987, -230, -300, 240, 315, -825, -925, -540, -510),
    (480, 45, -537, -240, -260, 135, 180, -425, -500, -315, -255),
    (760, 135, -887, -210, -290, 225, 300, -750, -837, -510, -495),
    (790, 75, -925, -240, -260, 180, 240, -762, -862, -465, -420),
    (820, 75, -962, -240, -260, 180, 240, -787, -887, -480, -435),
    (790, 105, -925, -230, -260, 195, 255, -762, -862, -480, -435),
]


def fit_poses():
    """(FAPs, weight) of every pose the layout is fitted to."""
    windows = [dict(zip(FAP_ORDER, w)) for w in SPEECH_SAMPLE]
    out = [(REST_FAPS, 4.0)]
    out += [(f, 2.0) for f in box_corners(windows)]
    out += [(w, 1.0) for w in windows[1:]]
    out += [(dict(zip(FAP_ORDER, w)), 1.0) for w in STRETCH_SAMPLE]
    return out


# ---------------------------------------------------------------------------
# The inner lip rows: closed by the rest shape

REST_OVERLAP = 0.05   # the lips press this far into each other at rest (model units)


def row_pairs(rverts):
    """(upper, lower) row vertex of every column of the inner lip rows."""
    upper = sorted((v for v in rverts if v.row_y == 'U'), key=lambda v: v.p[0])
    lower = sorted((v for v in rverts if v.row_y == 'L'), key=lambda v: v.p[0])
    assert len(upper) == len(lower)
    return list(zip(upper, lower))


def contour_y(pts, x):
    """y of a polyline (points sorted by x) at x, or None outside it."""
    for (ax, ay), (bx, by) in zip(pts, pts[1:]):
        if ax <= x <= bx and bx > ax:
            return ay + (x - ax) / (bx - ax) * (by - ay)
    return None


def rest_clearance(rverts, regions):
    """In the rest shape: for every row vertex, the height of the upper contour over the
    lower one at its place (negative where the lips press into each other), by vertex."""
    pos = [None] * NV
    for v in rverts:
        pos[v.id] = v.p
    posed = mouthfit.Weights(pos, regions).posed(pos, REST_FAPS)
    rows = {s: sorted((posed[v.id][0], posed[v.id][1]) for v in rverts
                      if v.row_y == s or v.id in (11, 42)) for s in 'UL'}
    out = {}
    for v in rverts:
        if v.row_y is None:
            continue
        x = posed[v.id][0]
        yu, yl = contour_y(rows['U'], x), contour_y(rows['L'], x)
        if yu is not None and yl is not None:
            out[v.id] = yu - yl
    return out


def close_rows(rverts, regions, rounds=4):
    """Places the inner lip rows so that the rest shape brings them together: in every
    column the upper and the lower row vertex lie the same distance above and below the
    mouth line, as far apart as the rest shape moves them towards each other. The rest shape
    is a little stronger on the face's right (and pulls the right corner in); each column is
    closed where it stays most open, so the lips meet on both sides and press a little on
    the right."""
    pairs = row_pairs(rverts)
    by_id = {v.id: v for v in rverts}
    for _ in range(rounds):
        clear = rest_clearance(rverts, regions)
        for u, l in pairs:
            mu, ml = by_id[u.mirror_id], by_id[l.mirror_id]
            c = [clear[v.id] for v in (u, l, mu, ml) if v.id in clear]
            if not c:
                continue
            h = max(0.0, 0.5 * (u.p[1] - l.p[1]) - 0.5 * (max(c) + REST_OVERLAP))
            x = 0.0 if u.mirror_id == u.id else 0.5 * (u.p[0] + l.p[0])
            u.set_uv(locate(x, MOUTH_Y + h, u.uv))
            l.set_uv(locate(x, MOUTH_Y - h, l.uv))


ROW_ROOM = 1.7   # least distance between neighbouring columns of the inner rows
END_ROOM = 5.2   # and from the last column to the corner


def order_rows(rverts):
    """Keeps the columns of the inner rows in order along the mouth, at least ROW_ROOM apart
    and from the corners (the face's left half; the right mirrors it)."""
    pairs = [(u, l) for u, l in row_pairs(rverts) if u.p[0] > 1e-9]
    x = [0.5 * (u.p[0] + l.p[0]) for u, l in pairs]
    lo = 0.0
    for k in range(len(x)):
        hi = CORNER_X - END_ROOM - ROW_ROOM * (len(x) - 1 - k)
        x[k] = min(max(x[k], lo + ROW_ROOM), hi)
        lo = x[k]
    for (u, l), xk in zip(pairs, x):
        for v in (u, l):
            if abs(v.p[0] - xk) > 1e-12:
                v.set_uv(locate(xk, v.p[1], v.uv))

    for v in rverts:
        if v.row_y is not None and v.p[0] < -1e-9:
            m = v.mirror_id
            src = rverts_by_id(rverts, m)
            v.set_uv((-src.uv[0], src.uv[1]))


def rverts_by_id(rverts, vid):
    for v in rverts:
        if v.id == vid:
            return v
    raise KeyError(vid)


# ---------------------------------------------------------------------------
# The mouth pocket

# A closed pocket behind the lips, of vertices no region moves, seen through the open mouth
# from outside: its faces turn their front to the pocket's inside, so from the mouth one
# sees their back, which the polygon model lights with the library's dark default material.
# It must fill every ray through the open mouth of the live view, whose eye sees the mouth
# from above and, at the corners, from up to 12 degrees sideways: the rays spread out and
# down behind the lips. So its front reaches behind the corners as far as they stretch and
# slopes back and down to a groove at the jaw's sides, from which a tail runs down the
# throat, a few units inside it, so that looking down into a wide open mouth one sees its
# floor and not out through the neck; its back reaches down into the neck, where the
# throat's skin moves with the widest jaw moves. It stays inside the head in every pose
# (the skin slides over it) and out of the chin region's neighbourhood. The cross-section
# in order round the pocket (x, y, z of the face's left side): top front, groove, bottom
# front, tail, back.
POCKET = [(30.0, -34.0, -13.0), (34.0, -64.0, -30.0), (16.0, -80.0, -28.5),
          (10.0, -124.0, -60.5), (28.0, -106.0, -70.0)]
POCKET_GROOVE = 1                     # the reflex corner of the cross-section
POCKET_SKEW = 0.03                    # z grows by this much per unit of x
POCKET_INSIDE = (0.0, -75.0, -45.0)   # a point inside, from which every face is seen


def pocket_vertices():
    out = []
    for x, y, z in POCKET:
        for sx in (x, -x):
            # a slight turn about the vertical, so the slopes also face away from the light
            sz = z + POCKET_SKEW * sx
            v = Vert(None, hs.chart((sx, y - hs.C[1], sz - hs.C[2])), 'pocket')
            v.p = (sx, y, sz)
            out.append(v)
    return out


def pocket_triangles(pocket):
    """The pocket's triangles, wound so that every normal points into it."""
    ids = [v.id for v in pocket]        # the cross-section in order, left (+x) then right
    left, right = ids[0::2], ids[1::2]
    n = len(left)
    pos = {v.id: v.p for v in pocket}
    tris = []
    for k in range(n):
        a, b, c, d = left[k], left[(k + 1) % n], right[(k + 1) % n], right[k]
        tris += [(a, b, c), (a, c, d)]
    # the end caps: a fan from the groove, the one reflex corner
    for side in (left, right):
        g = POCKET_GROOVE
        for k in range(1, n - 1):
            tris.append((side[g], side[(g + k) % n], side[(g + k + 1) % n]))
    out = []
    for t in tris:
        nrm = tri_normal(*(pos[i] for i in t))
        c = [sum(pos[i][k] for i in t) / 3.0 for k in range(3)]
        inward = sum(nrm[k] * (POCKET_INSIDE[k] - c[k]) for k in range(3)) > 0.0
        out.append(t if inward else (t[0], t[2], t[1]))
    return out


# ---------------------------------------------------------------------------
# The layout of the region vertices: fitted once (--search), then read back

LAYOUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "head_layout.txt")
SEARCH_NOTE = ["Found from the template by mouthfit.fit (40 rounds of 25 steps) and mouthfit.polish;",
               "see make_head_mesh.py --search."]


def read_layout(path):
    out = {}
    with open(path) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            vid, u, v = line.split()
            out[int(vid)] = (float(u), float(v))
    return out


def write_layout(rverts, path, note):
    with open(path, "w", newline="\n") as f:
        f.write("# Chart coordinates (u, v) of the 203 region vertices, by vertex number, as\n"
                "# tools/make_head_mesh.py --search fitted them; the generator reads them back.\n")
        for line in note:
            f.write("# %s\n" % line)
        for v in sorted(rverts, key=lambda v: v.id):
            f.write("%d %.9f %.9f\n" % (v.id, v.uv[0], v.uv[1]))


# ---------------------------------------------------------------------------
# Assembly

def other_vertices(rverts):
    """Ring, feature and skull, pocket and free vertices for a region layout."""
    k = sum(1 for v in rverts if is_contour(v))
    # a disk with the mouth and the neck open and a closed pocket: 58 boundary edges
    ring = ring_vertices(58 - k)
    feats = feature_vertices() + skull_vertices()
    pocket = pocket_vertices()
    nfree = NV - len(rverts) - len(ring) - len(feats) - len(pocket)
    assert nfree >= 0, "too many fixed vertices"
    free = spread_vertices(nfree, ring + feats, rverts)
    return ring, feats, free, pocket


def number(rverts, ring, feats, free, pocket):
    """Region vertices keep their table numbers, the others take the rest in order, the
    measured landmarks first (nose base 1, left eye 5, right eye 9)."""
    used = {v.id for v in rverts}
    unused = [i for i in range(NV) if i not in used]
    rest = ring + feats + free + pocket
    first = [v for t in LANDMARK_ORDER for v in rest if v.tag == t]
    rest = first + [v for v in rest if v.tag not in LANDMARK_ORDER]
    for v, vid in zip(rest, unused):
        v.id = vid
    assert [v.id for v in first] == [1, 5, 9]


def triangulate(verts):
    """Triangles of the head surface (vertex ids), from its chart: Delaunay, the mouth cut
    out, then flips for shape on the surface."""
    pts2 = triangulation_points(verts)
    tris = delaunay(pts2)
    loop = mouth_loop(verts)
    tris = insert_constraints(tris, pts2, list(zip(loop, loop[1:] + loop[:1])))
    tris = remove_mouth(tris, pts2, loop, verts)
    pos3 = [v.p for v in verts]
    tris = flip_on_surface(tris, pos3, pts2)
    tris = flip_for_smoothness(tris, pos3, pts2)
    return [(verts[a].id, verts[b].id, verts[c].id) for a, b, c in tris]


def link_mirrors(rverts):
    for v in rverts:
        v.mirror_id = rverts[v.mirror].id


def build(costav, search=False, log=False):
    regions = mouthfit.read_regions(costav)
    rverts, index = build_region_vertices(regions)
    link_mirrors(rverts)
    if search:
        close_rows(rverts, regions)
        fit_layout(rverts, index, regions, log)
        write_layout(rverts, LAYOUT, SEARCH_NOTE)
    else:
        layout = read_layout(LAYOUT)
        assert sorted(layout) == sorted(v.id for v in rverts), "layout does not match the tables"
        for v in rverts:
            v.set_uv(layout[v.id])
    close_rows(rverts, regions)
    ring, feats, free, pocket = other_vertices(rverts)
    number(rverts, ring, feats, free, pocket)
    surface = rverts + ring + feats + free
    tris = triangulate(surface) + pocket_triangles(pocket)
    vout = sorted(surface + pocket, key=lambda v: v.id)
    assert [v.id for v in vout] == list(range(NV))
    return regions, rverts, vout, tris


def zone_of(v):
    """Where a region vertex may go in the fit: (|x| from, to, y from, to) in front view.
    The far members stay near their places, the others in their part of the face."""
    if v.kind == 'anchor':
        x, y = abs(v.home[0]), v.home[1]
        return (x - 2.0, x + 2.0, y - 2.0, y + 2.0)
    if v.fps & {202, 206, 801, 805, 207, 806}:
        return (0.0, CORNER_X + 4.0, MOUTH_Y + 0.5, -16.0)
    if v.fps & {204, 205}:
        if v.home[1] > MOUTH_Y + 1.0 and not v.fps & {805, 806}:
            # above the corner only outwards: inwards the corner would drag them across
            # the end of the upper lip when it moves in
            return (CORNER_X + 1.8, CORNER_X + 16.0, MOUTH_Y + 1.0, MOUTH_Y + 11.0)
        if v.home[1] < MOUTH_Y - 1.0:
            # right below the corner only outwards too, for the end of the lower lip
            return (CORNER_X + 0.2, CORNER_X + 16.0, MOUTH_Y - 16.0, MOUTH_Y - 1.0)
        return (CORNER_X - 8.0, CORNER_X + 16.0, MOUTH_Y - 16.0, MOUTH_Y + 11.0)
    if v.fps & {203, 208, 209, 802, 807, 808}:
        return (0.0, CORNER_X + 2.0, MOUTH_Y - 20.0, MOUTH_Y - 0.5)
    if v.fps & {201, 210} and v.p[2] > -10.0:
        return (0.0, 22.0, -86.0, MOUTH_Y - 18.0)
    return None


def fit_layout(rverts, index, regions, log):
    """--search: moves the region vertices until no pose folds the mesh."""
    fixed = {136, 126, 223, 203, 184, 194, 11, 42, 66, 76, 93, 106, 190, 307}
    current = {}

    def prepare():
        # the other vertices and the triangles exactly as the final build makes them
        ring, feats, free, pocket = other_vertices(rverts)
        number(rverts, ring, feats, free, pocket)
        surface = rverts + ring + feats + free
        current.clear()
        current.update((v.id, v) for v in surface)
        return surface, triangulate(surface)

    def step(grad, size):
        """Moves every free region vertex down its gradient on the surface, the mirror pairs
        together, then restores the rows and the lips' sides."""
        for v in rverts:
            if v.id in fixed:
                continue
            g = grad[v.id]
            m = rverts[v.mirror]
            gm = grad[m.id]
            g = [0.5 * (g[0] - gm[0]), 0.5 * (g[1] + gm[1]), 0.5 * (g[2] + gm[2])] \
                if m is not v else [0.0, g[1], g[2]]
            length = math.sqrt(sum(c * c for c in g))
            if length == 0.0:
                continue
            disp = [-c * min(size, size * length) / length for c in g]
            if v.row_y is not None:
                disp[1] = 0.0
            old = v.uv
            du, dv = chart_step(v.uv[0], v.uv[1], disp, v.p)
            v.set_uv((v.uv[0] + du, v.uv[1] + dv))
            if v.side != 0 and abs(v.p[0]) < CORNER_X + 1.0 and v.row_y is None:
                lim_y = MOUTH_Y + v.side * (hs.lens(abs(v.p[0])) + 1.0)
                if (v.p[1] - lim_y) * v.side < 0.0:
                    v.set_uv(locate(v.p[0], lim_y, old))
        for i, v in enumerate(rverts):
            j = v.mirror
            if j < i:
                continue
            if j == i:
                if v.id not in fixed and v.uv[0] != 0.0:
                    v.set_uv((0.0, v.uv[1]))
                continue
            a, b = v, rverts[j]
            u = 0.5 * (a.uv[0] - b.uv[0])
            vv = 0.5 * (a.uv[1] + b.uv[1])
            a.set_uv((u, vv))
            b.set_uv((-u, vv))
        order_rows(rverts)
        close_rows(rverts, regions, rounds=1)

    def crosses(a, b):
        return crosses_slit(current[a], current[b])

    # the opening as an ellipse: the row pairs from the middle out, the inner corners
    pairs = sorted(((u.id, l.id) for u, l in row_pairs(rverts)), key=lambda p: abs(
        rverts[index[p[0]]].p[0]))
    shape = (pairs, (11, 42), 0.8, 6.0)
    zones = {v.id: zone_of(v) for v in rverts if v.row_y is None and zone_of(v) is not None}
    poses = fit_poses()
    mouthfit.fit(regions, prepare, step, poses, crosses, shape, zones, rounds=40, iters=25,
                 log=log)

    # the last folds: small random moves of the vertices of the triangles that still fold
    by_vid = {v.id: v for v in rverts}

    def nudge(vid, disp):
        v = by_vid[vid]
        m = rverts[v.mirror]
        if v.row_y is not None:
            disp = [disp[0], 0.0, 0.0]
        for w, d in ((v, disp), (m, [-disp[0], disp[1], disp[2]])):
            if w is v or m is not v:
                du, dv = chart_step(w.uv[0], w.uv[1], d, w.p)
                w.set_uv((w.uv[0] + du, w.uv[1] + dv))
            if m is v:
                w.set_uv((0.0, w.uv[1]))
                break
        order_rows(rverts)
        close_rows(rverts, regions, rounds=1)

    def snapshot():
        return [v.uv for v in rverts]

    def restore(saved):
        for v, uv in zip(rverts, saved):
            if v.uv != uv:
                v.set_uv(uv)

    movable = {v.id for v in rverts if v.id not in fixed}
    mouthfit.polish(regions, prepare, nudge, snapshot, restore, poses, movable, log=log)


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


def deform(pos, regions, faps):
    """The positions posed by the live moves of a FAP set, with the program's weights."""
    return mouthfit.Weights(pos, regions).posed(pos, faps)


def flipped_triangles(before, after, faces):
    bad = 0
    for a, b, c in faces:
        n0 = tri_normal(before[a], before[b], before[c])
        n1 = tri_normal(after[a], after[b], after[c])
        if n0[0] * n1[0] + n0[1] * n1[1] + n0[2] * n1[2] <= 0.0:
            bad += 1
    return bad


def inside_head(p, pos, faces):
    """True if p lies inside the head: a ray from it towards the viewer crosses the surface
    an odd number of times."""
    crossings = 0
    for t in faces:
        a, b, c = (pos[i] for i in t)
        det = (b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1])
        if det == 0.0:
            continue
        s = ((p[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (p[1] - a[1])) / det
        r = ((b[0] - a[0]) * (p[1] - a[1]) - (p[0] - a[0]) * (b[1] - a[1])) / det
        if s < 0.0 or r < 0.0 or s + r > 1.0:
            continue
        if a[2] + s * (b[2] - a[2]) + r * (c[2] - a[2]) > p[2]:
            crossings += 1
    return crossings % 2 == 1


def check(verts, faces, regions, pocket_ids):
    """Asserts every requirement on the finished mesh; returns the figures for the summary."""
    pos = [v.p for v in verts]
    assert len(pos) == NV and len(faces) == NF, "counts %d %d" % (len(pos), len(faces))
    assert all(v.id == i for i, v in enumerate(verts))
    used = set()
    keys = set()
    surface = []
    for t in faces:
        assert len(set(t)) == 3 and all(0 <= i < NV for i in t), "bad triangle %s" % (t,)
        key = tuple(sorted(t))
        assert key not in keys, "duplicate triangle %s" % (t,)
        keys.add(key)
        used.update(t)
        n = tri_normal(*(pos[i] for i in t))
        area = 0.5 * math.sqrt(n[0] ** 2 + n[1] ** 2 + n[2] ** 2)
        assert area > 0.05, "degenerate triangle %s (area %g)" % (t, area)
        if t[0] in pocket_ids:
            # the pocket's faces turn their front to its inside
            c = [sum(pos[i][k] for i in t) / 3.0 for k in range(3)]
            assert sum(n[k] * (POCKET_INSIDE[k] - c[k]) for k in range(3)) > 0.0, \
                "pocket triangle %s faces out" % (t,)
            continue
        surface.append(t)
        # the face normal must agree with the outward normal of the smooth surface
        cu = sum(verts[i].uv[0] for i in t) / 3.0
        cv = sum(verts[i].uv[1] for i in t) / 3.0
        _, ju, jv = jacobian(cu, cv)
        sn = (ju[1] * jv[2] - ju[2] * jv[1], ju[2] * jv[0] - ju[0] * jv[2], ju[0] * jv[1] - ju[1] * jv[0])
        assert n[0] * sn[0] + n[1] * sn[1] + n[2] * sn[2] > 0.0, "inward triangle %s" % (t,)
    assert used == set(range(NV)), "unused vertices"
    bnd, loops = boundary_loops(faces)
    assert len(bnd) == 58 and len(loops) == 2, "boundary %d in %d loops" % (len(bnd), len(loops))
    mouth = [l for l in loops if 223 in l]
    assert len(mouth) == 1 and 203 in mouth[0] and 11 in mouth[0] and 42 in mouth[0]
    # every interior edge is used once in each direction (consistent winding)
    directed = {(t[i], t[(i + 1) % 3]) for t in faces for i in range(3)}
    assert len(directed) == 3 * NF
    for i in pocket_ids:
        assert inside_head(pos[i], pos, surface), "pocket vertex %d outside the head" % i

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
        "lips apart at rest (no FAP)": p(223)[1] - p(203)[1],
    }
    want = {"mouth width (8.3-8.4)": 0.051 * 1024, "mouth-nose": 0.029 * 1024,
            "eye-nose": 0.042 * 1024, "eye separation": 0.077 * 1024}
    for k, target in want.items():
        assert abs(figures[k] - target) < 0.03 * target, "%s %.2f, want %.2f" % (k, figures[k], target)
    assert abs(figures["mouth height"] + 40.0) < 2.0

    # the rest shape closes the lips without crossing them
    clear = rest_clearance(verts, regions)
    figures["lips at rest: most open"] = max(clear.values())
    figures["lips at rest: deepest overlap"] = -min(clear.values())
    assert max(clear.values()) <= 0.0 and min(clear.values()) > -0.5, "the rest shape %s" % clear

    # no fold in any pose of the fit, nor in the extreme pose of the pictures
    folds = [flipped_triangles(pos, deform(pos, regions, f), faces) for f, _ in fit_poses()]
    figures["poses folding (of %d)" % len(folds)] = sum(1 for n in folds if n)
    assert not any(folds), "a pose folds the mesh"
    speech = deform(pos, regions, SPEECH_POSE)
    assert flipped_triangles(pos, speech, faces) == 0, "the extreme speech pose folds the mesh"
    figures["mouth opening, extreme pose"] = speech[223][1] - speech[203][1]
    figures["regions"] = rep
    return figures


# The widest open window of the sample: the summary tells how far it opens the mouth.
SPEECH_POSE = dict(zip(FAP_ORDER, SPEECH_SAMPLE[1]))


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
    ap.add_argument("--search", action="store_true",
                    help="fit the lip and chin layout afresh (a few minutes) and write it to "
                         "tools/head_layout.txt before building")
    ap.add_argument("--quiet", action="store_true")
    args = ap.parse_args(argv)
    regions, rverts, verts, faces = build(args.costav, search=args.search, log=not args.quiet)
    round_positions(verts)
    pocket = {v.id for v in verts if v.kind == 'pocket'}
    figures = check(verts, faces, regions, pocket)
    write_files(verts, faces, args.out)
    if not args.quiet:
        bnd, loops = boundary_loops(faces)
        mouth = [l for l in loops if 223 in l][0]
        print("vertices %d, triangles %d (pocket %d), boundary edges %d (neck %d, mouth %d)"
              % (len(verts), len(faces), sum(1 for t in faces if t[0] in pocket), len(bnd),
                 len(bnd) - len(mouth), len(mouth)))
        for k, v in figures.items():
            if k != "regions":
                print("%-32s %s" % (k, ("%.2f" % v) if isinstance(v, float) else v))
        print("region  median  nearest outsider")
        for code, (med, near, who) in figures["regions"].items():
            print("  %d.%d  %6.2f  %6.2f (vertex %d)" % (code // 100, code % 100, med, near, who))
        print("wrote", os.path.join(args.out, "vertex.txt"), "and", os.path.join(args.out, "face.txt"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
