"""Fits the lip and chin layout of the head mesh to speech (used by make_head_mesh.py).

The program moves the mouth by FAPs: each moves one feature point's region along one axis,
every member by the FAP times its raised-cosine weight, and the weights follow from where
the members lie. So the layout of the region vertices decides how the mesh deforms; this
module moves them on the face until no triangle turns over in any pose of a set of poses
(the rest shape, the corners of the range speech reaches, a sample of real windows), while
every region stays the neighbourhood of its pivot and the vertices keep their spacing.

It minimises, by gradient steps on the face surface:
  folds        for every pose and every triangle that holds a region vertex, the posed
               face normal against the neutral one, s = n0 . n / |n0|^2 (1 when the
               triangle only moves, <= 0 when it turns over); penalty (margin - s)^2 below
               the margin. The gradient goes through the weights too: moving a vertex
               changes its own weight, and moving a pivot or a region's farthest member
               changes every weight of the region.
  neighbourhood  a vertex outside a region that lies nearer its pivot than the median
               member (times a margin) is pushed out.
  spacing      vertices nearer each other than a minimum distance are pushed apart.
The triangulation is redone between rounds of steps, so the topology follows the layout.
"""

import math
import random
import re

PI_WEIGHTS = 3.1415926535898   # the value the program's weight formula uses for pi

# The live moves: FAP, feature point, FAP unit, axis (0 x, 1 y), sign of the apply pass.
MOVES = [(3, 201, 0.029, 1, -1), (51, 801, 0.029, 1, -1), (52, 802, 0.029, 1, 1),
         (53, 204, 0.051, 0, 1), (54, 205, 0.051, 0, -1), (55, 805, 0.029, 1, -1),
         (56, 806, 0.029, 1, -1), (57, 807, 0.029, 1, 1), (58, 808, 0.029, 1, 1),
         (59, 204, 0.029, 1, 1), (60, 205, 0.029, 1, 1)]


def read_regions(path):
    """Pivot and vertex list of every region, keyed by FP code, from the C++ tables."""
    with open(path) as f:
        src = f.read()
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


def spread_of(code):
    return 8.0 if code == 802 else 1.0


class Weights:
    """Weights of every region for positions pos, with what their derivatives need."""

    def __init__(self, pos, regions):
        self.regions = regions
        self.w = {}
        self.data = {}
        for code, (piv, lst) in regions.items():
            s = spread_of(code)
            p = pos[piv]
            dist = [math.sqrt((pos[v][0] - p[0]) ** 2 + (pos[v][1] - p[1]) ** 2
                              + (pos[v][2] - p[2]) ** 2) for v in lst]
            far = max(range(len(lst)), key=lambda k: dist[k])
            big = dist[far]
            ws, ders = [], []
            for d in dist:
                arg = PI_WEIGHTS * (1.0 - (d / big) / s)
                ws.append((1.0 - math.cos(arg)) / 2.0)
                # dw/dt with t = d / big
                ders.append(-0.5 * math.sin(arg) * PI_WEIGHTS / s)
            self.w[code] = ws
            self.data[code] = (dist, far, big, ders)

    def posed(self, pos, faps):
        out = [None if p is None else list(p) for p in pos]
        for fap, code, unit, axis, sign in MOVES:
            a = sign * faps.get(fap, 0) * unit
            if a == 0.0:
                continue
            for v, w in zip(self.regions[code][1], self.w[code]):
                out[v][axis] += w * a
        return out

    def backprop(self, pos, faps, gpos, grad):
        """Adds to grad (per vertex, 3-D) the gradient of a function of the posed positions,
        given its gradient gpos there, with respect to the neutral positions."""
        for v, g in gpos.items():
            for k in range(3):
                grad[v][k] += g[k]
        for fap, code, unit, axis, sign in MOVES:
            a = sign * faps.get(fap, 0) * unit
            if a == 0.0:
                continue
            piv, lst = self.regions[code]
            dist, far, big, ders = self.data[code]
            p = pos[piv]
            pf = pos[lst[far]]
            uf = [(pf[k] - p[k]) / big for k in range(3)]
            for j, v in enumerate(lst):
                g = gpos.get(v)
                if g is None or g[axis] == 0.0 or v == piv:
                    continue
                c = a * g[axis] * ders[j]        # d(penalty)/dt for this member
                d = dist[j]
                u = [(pos[v][k] - p[k]) / d for k in range(3)]
                # t = d / big: dt = (du . dp) / big - d / big^2 dbig
                for k in range(3):
                    grad[v][k] += c * u[k] / big
                    grad[piv][k] -= c * u[k] / big
                    dfar = -c * d / (big * big) * uf[k]
                    grad[lst[far]][k] += dfar
                    grad[piv][k] -= dfar


def cross(u, v):
    return (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])


def sub(a, b):
    return (a[0] - b[0], a[1] - b[1], a[2] - b[2])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def fold_scores(pos, posed, tris):
    """s = n0 . n / |n0|^2 of every triangle: its posed normal against the neutral one."""
    out = []
    for t in tris:
        a, b, c = pos[t[0]], pos[t[1]], pos[t[2]]
        n0 = cross(sub(b, a), sub(c, a))
        pa, pb, pc = posed[t[0]], posed[t[1]], posed[t[2]]
        out.append(dot(n0, cross(sub(pb, pa), sub(pc, pa))) / dot(n0, n0))
    return out


def shape_penalty(posed, shape, gpos):
    """The opening of an open pose as an ellipse: in every column of the inner lip rows the
    opening (upper row over lower row) at least `ratio` times the middle's, scaled by the
    ellipse through the two corners. Penalty (target - height)^2 per column; adds the
    gradient with respect to the posed rows to gpos."""
    pairs, (left, right), ratio, least = shape
    u0, l0 = pairs[0]
    mid = posed[u0][1] - posed[l0][1]
    if mid < least:
        return 0.0
    total = 0.0
    for u, l in pairs[1:]:
        x = posed[l][0]
        corner = posed[left][0] if x > 0.0 else posed[right][0]
        t = 1.0 - (x / corner) ** 2 if corner * x > 0.0 else 0.0
        if t <= 0.0:
            continue
        k = ratio * math.sqrt(t)
        e = k * mid - (posed[u][1] - posed[l][1])
        if e <= 0.0:
            continue
        total += e * e
        if gpos is None:
            continue
        # d/d(posed y) of e: -1 on the upper row, +1 on the lower, k on the middle's
        for v, c in ((u, -1.0), (l, 1.0), (u0, k), (l0, -k)):
            g = gpos.setdefault(v, [0.0, 0.0, 0.0])
            g[1] += 2.0 * e * c
    return total


def fold_penalty(pos, regions, tris, poses, margin, grad=None, shape=None):
    """Sum over poses and triangles of (margin - s)^2 where s < margin; adds its gradient to
    grad. Returns (penalty, poses with a fold, most folds in one pose)."""
    wts = Weights(pos, regions)
    total, folded, worst = 0.0, 0, 0
    for faps, weight in poses:
        posed = wts.posed(pos, faps)
        gpos = {}
        nf = 0
        for t in tris:
            a, b, c = pos[t[0]], pos[t[1]], pos[t[2]]
            n0 = cross(sub(b, a), sub(c, a))
            l0 = dot(n0, n0)
            pa, pb, pc = posed[t[0]], posed[t[1]], posed[t[2]]
            eb, ec = sub(pb, pa), sub(pc, pa)
            n1 = cross(eb, ec)
            s = dot(n0, n1) / l0
            if s < 0.0:
                nf += 1
            if s >= margin:
                continue
            e = margin - s
            total += weight * e * e
            if grad is None:
                continue
            k = -2.0 * weight * e / l0
            # d s / d posed vertices (n0 held), then d s / d neutral vertices through n0
            gb, gc = cross(ec, n0), cross(n0, eb)
            # through n0: s = n0.n1/|n0|^2, d/dn0 = n1/l0 - 2 s n0/l0
            dn0 = [n1[i] / l0 - 2.0 * s * n0[i] / l0 for i in range(3)]
            eb0, ec0 = sub(b, a), sub(c, a)
            hb, hc = cross(ec0, dn0), cross(dn0, eb0)
            for v, g in ((t[1], gb), (t[2], gc)):
                acc = gpos.setdefault(v, [0.0, 0.0, 0.0])
                for i in range(3):
                    acc[i] += k * g[i]
            acc = gpos.setdefault(t[0], [0.0, 0.0, 0.0])
            for i in range(3):
                acc[i] -= k * (gb[i] + gc[i])
            kk = -2.0 * weight * e
            for i in range(3):
                grad[t[1]][i] += kk * hb[i]
                grad[t[2]][i] += kk * hc[i]
                grad[t[0]][i] -= kk * (hb[i] + hc[i])
        if shape is not None:
            total += weight * shape_penalty(posed, shape, gpos if grad is not None else None)
        if grad is not None and gpos:
            wts.backprop(pos, faps, gpos, grad)
        folded += nf > 0
        worst = max(worst, nf)
    return total, folded, worst


def spacing_penalty(pos, movable, near, grad):
    """Vertex pairs closer than `near`: penalty (near - d)^2 each."""
    total = 0.0
    mv = set(movable)
    n = len(pos)
    for i in movable:
        pi = pos[i]
        for j in range(n):
            if j == i or (j in mv and j < i) or pos[j] is None:
                continue
            pj = pos[j]
            dx, dy, dz = pi[0] - pj[0], pi[1] - pj[1], pi[2] - pj[2]
            if abs(dx) > near or abs(dy) > near:
                continue
            d = math.sqrt(dx * dx + dy * dy + dz * dz)
            if d >= near or d == 0.0:
                continue
            e = near - d
            total += e * e
            f = -2.0 * e / d
            for k, c in enumerate((dx, dy, dz)):
                grad[i][k] += f * c
                grad[j][k] -= f * c
    return total


def rule_penalty(pos, regions, crosses, grad, margin=1.04):
    """Outsiders nearer a region's pivot than margin times its median member (straight
    distances; pairs whose way crosses the mouth are far on the face and left out)."""
    total = 0.0
    for code, (piv, lst) in regions.items():
        p = pos[piv]
        members = set(lst)
        d = sorted((math.dist(p, pos[v]), v) for v in lst)
        n = len(d)
        mids = [d[n // 2]] if n % 2 else [d[n // 2 - 1], d[n // 2]]
        med = sum(x for x, _ in mids) / len(mids)
        lim = margin * med
        for v, q in enumerate(pos):
            if q is None or v in members:
                continue
            if abs(q[0] - p[0]) > lim or abs(q[1] - p[1]) > lim:
                continue
            dd = math.dist(p, q)
            if dd >= lim or crosses(piv, v):
                continue
            e = lim - dd
            total += e * e
            for k in range(3):
                g = -2.0 * e * (q[k] - p[k]) / dd
                grad[v][k] += g
                grad[piv][k] -= g
            # ... and draws the median member in
            for dm, m in mids:
                for k in range(3):
                    g = 2.0 * e * margin / len(mids) * (pos[m][k] - p[k]) / dm
                    grad[m][k] += g
                    grad[piv][k] -= g
    return total


def zone_penalty(pos, zones, grad):
    """Each vertex stays in its zone, a box (x0, x1, y0, y1) of the front view (|x| for the
    face's halves), so the lips and the chin keep their places: the squared distance outside."""
    total = 0.0
    for v, (x0, x1, y0, y1) in zones.items():
        p = pos[v]
        ax = abs(p[0])
        for k, lo, hi, c in ((0, x0, x1, ax), (1, y0, y1, p[1])):
            e = lo - c if c < lo else (c - hi if c > hi else 0.0)
            if e <= 0.0:
                continue
            total += e * e
            sign = -1.0 if c < lo else 1.0
            if k == 0 and p[0] < 0.0:
                sign = -sign
            grad[v][k] += 2.0 * e * sign
    return total


def fit(regions, prepare, step, poses, crosses, shape=None, zones=None, rounds=14, iters=20,
        margin=0.2, near=2.4, size=0.25, log=False):
    """Moves the region vertices (through step(grad, size), which knows how they may move)
    until no pose folds the mesh; prepare() gives the current vertices and triangles, and is
    called again every round, after the layout moved."""
    members = set()
    for piv, lst in regions.values():
        members.update(lst)
    movable = sorted(members)
    for r in range(rounds):
        verts, tris = prepare()
        size_of = max(v.id for v in verts) + 1
        tris = [t for t in tris if any(i in members for i in t)]
        for it in range(iters):
            pos = [None] * size_of
            for v in verts:
                pos[v.id] = v.p
            grad = [[0.0, 0.0, 0.0] for _ in range(size_of)]
            fp, folded, worst = fold_penalty(pos, regions, tris, poses, margin, grad, shape)
            sgrad = [[0.0, 0.0, 0.0] for _ in range(size_of)]
            sp = spacing_penalty(pos, movable, near, sgrad)
            rp = rule_penalty(pos, regions, crosses, sgrad)
            tp = zone_penalty(pos, zones, sgrad) if zones else 0.0
            for i in range(size_of):
                for k in range(3):
                    grad[i][k] += 8.0 * sgrad[i][k]
            step(grad, size * (0.3 + 0.7 * (1.0 - r / rounds)))
        if log:
            print("round %d: fold penalty %.2f, %d poses fold (at most %d triangles), "
                  "spacing %.2f, neighbourhood %.2f, zones %.2f" % (r, fp, folded, worst, sp, rp,
                                                                      tp), flush=True)


def folding(pos, regions, tris, poses):
    """Vertices of the triangles that turn over in some pose, and the number of such
    (pose, triangle) pairs."""
    wts = Weights(pos, regions)
    verts, count = set(), 0
    for faps, _ in poses:
        posed = wts.posed(pos, faps)
        for t, s in zip(tris, fold_scores(pos, posed, tris)):
            if s <= 0.0:
                verts.update(t)
                count += 1
    return verts, count


def polish(regions, prepare, nudge, snapshot, restore, poses, movable, trials=300,
           margin=0.2, seed=1, log=False):
    """Last folds: tries small random moves of the vertices of the triangles that still turn
    over, one vertex at a time, and keeps a move when fewer (pose, triangle) pairs fold, or
    as many with a lower penalty. Deterministic for a given seed."""
    rng = random.Random(seed)
    verts, tris = prepare()
    members = set()
    for piv, lst in regions.values():
        members.update(lst)
    tris = [t for t in tris if any(i in members for i in t)]
    by_id = {v.id: v for v in verts}
    size_of = max(by_id) + 1

    def score():
        pos = [None] * size_of
        for v in verts:
            pos[v.id] = v.p
        bad, count = folding(pos, regions, tris, poses)
        return count, fold_penalty(pos, regions, tris, poses, margin)[0], bad

    best = score()
    for trial in range(trials):
        if best[0] == 0:
            break
        candidates = sorted(best[2] & movable)
        if not candidates:
            break
        vid = rng.choice(candidates)
        disp = [rng.gauss(0.0, 0.5), rng.gauss(0.0, 0.5), 0.0]
        saved = snapshot()
        nudge(vid, disp)
        now = score()
        if (now[0], now[1]) < (best[0], best[1]):
            best = now
            if log:
                print("polish %d: vertex %d moved, %d folds, penalty %.2f"
                      % (trial, vid, now[0], now[1]), flush=True)
        else:
            restore(saved)
    return best[0]
