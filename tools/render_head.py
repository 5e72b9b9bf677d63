#!/usr/bin/env python3
"""Offline pictures of the head mesh, shaded the way the polygon mode shades it.

Reads data/vertex.txt and data/face.txt (or the files given) and writes PNG pictures:
front, 45 degrees, profile, the jaw opened by moving FP 2.1 down 10 units, and the mouth
posed by extreme speech FAPs. Pure Python 3 (standard library) plus ImageMagick's
`convert` for the PPM -> PNG step.

Shading follows the program's fixed-function set-up: flat faces, skin material on the
front side (ambient 0.5 from the global ambient, diffuse from one directional light fixed
to the model at (2, 0, 2), no highlight), the library's default grey material on back
faces with two-sided lighting, white background, and the program's perspective camera
(eye 125 units in front of the origin, frustum half-size d at distance 1).

Usage: tools/render_head.py [--data DIR] [--out DIR] [--size N]
"""

import argparse
import math
import os
import re
import subprocess
import sys
import tempfile

SKIN = (0.9764, 0.7804, 0.6902)
FENY = 0.5                      # global ambient level at start
LIGHT_DIFFUSE = 0.5
BACK_AMBIENT = 0.2              # library default material, used on back faces
BACK_DIFFUSE = 0.8
PI_WEIGHTS = 3.1415926535898    # the value the weight formula uses for pi
MNS = 0.029
MW = 0.051


# ---------------------------------------------------------------------------
# Mesh files and region tables

def read_mesh(data_dir):
    verts = []
    with open(os.path.join(data_dir, "vertex.txt")) as f:
        nums = f.read().split()
    for i in range(0, len(nums), 4):
        verts.append((float(nums[i + 1]), float(nums[i + 2]), float(nums[i + 3])))
    faces = []
    with open(os.path.join(data_dir, "face.txt")) as f:
        nums = f.read().split()
    for i in range(0, len(nums), 4):
        faces.append((int(nums[i + 1]), int(nums[i + 2]), int(nums[i + 3])))
    return verts, faces


def read_regions(costav_cpp):
    """Pivot and vertex list of every region, keyed by FP code, from the C++ tables."""
    src = open(costav_cpp).read()
    pivots = {int(m.group(1)): int(m.group(2))
              for m in re.finditer(r"const int h(\d+)pivotindex\s*=\s*(\d+)\s*;", src)}
    lists = {int(m.group(1)): [int(x) for x in re.findall(r"\d+", m.group(3))]
             for m in re.finditer(r"const int h(\d+)index\[(\d+)\]\s*=\s*\{([^}]*)\}", src)}
    return {code: (pivots[code], lists[code]) for code in sorted(pivots)}


def region_weights(verts, pivot, members, spread):
    """Raised-cosine weights: 1 at the pivot, falling to 0 (spread 1) at the farthest member."""
    px, py, pz = verts[pivot]
    dist = []
    for v in members:
        x, y, z = verts[v]
        dist.append(math.sqrt((px - x) ** 2 + (py - y) ** 2 + (pz - z) ** 2))
    far = max(dist)
    if far == 0.0:
        return [0.0] * len(members)
    return [(1.0 - math.cos(PI_WEIGHTS * (1.0 - (dd / far) / spread))) / 2.0 for dd in dist]


def move(verts, regions, weights, code, amount, axis):
    """Moves feature point `code` by `amount` model units along axis 0/1/2, dragging its region."""
    _, members = regions[code]
    for v, w in zip(members, weights[code]):
        p = list(verts[v])
        p[axis] += w * amount
        verts[v] = tuple(p)


def all_weights(verts, regions):
    return {code: region_weights(verts, piv, mem, 8.0 if code == 802 else 1.0)
            for code, (piv, mem) in regions.items()}


# The live loop's eleven moves: (FAP number, FP code, FAP unit, axis, sign).
SPEECH_MOVES = [(3, 201, MNS, 1, -1), (51, 801, MNS, 1, -1), (52, 802, MNS, 1, 1),
                (53, 204, MW, 0, 1), (54, 205, MW, 0, -1), (55, 805, MNS, 1, -1),
                (56, 806, MNS, 1, -1), (57, 807, MNS, 1, 1), (58, 808, MNS, 1, 1),
                (59, 204, MNS, 1, 1), (60, 205, MNS, 1, 1)]


# Extreme speech: jaw fully open, lips apart, corners a little stretched.
SPEECH_FAPS = {3: 1000, 51: -300, 52: -300, 55: -300, 56: -300, 57: -300, 58: -300,
               53: 50, 54: 50}
# A silent window: the jaw slightly raised, the lips pressed a little.
SILENT_FAPS = {3: -140, 51: 100, 52: 100, 55: 80, 56: 80, 57: 80, 58: 80, 53: 15, 54: 15,
               59: 30, 60: 30}


def apply_faps(verts, regions, faps):
    weights = all_weights(verts, regions)
    out = list(verts)
    for fap, code, unit, axis, sign in SPEECH_MOVES:
        move(out, regions, weights, code, sign * faps.get(fap, 0) * unit, axis)
    return out


# ---------------------------------------------------------------------------
# Rasteriser

def rot_x(deg):
    c, s = math.cos(math.radians(deg)), math.sin(math.radians(deg))
    return ((1, 0, 0), (0, c, -s), (0, s, c))


def rot_y(deg):
    c, s = math.cos(math.radians(deg)), math.sin(math.radians(deg))
    return ((c, 0, s), (0, 1, 0), (-s, 0, c))


def mat_mul(a, b):
    return tuple(tuple(sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3))
                 for i in range(3))


def render(verts, faces, size, rot=((1, 0, 0), (0, 1, 0), (0, 0, 1)), pan=(0.0, 0.0),
           d=0.7, centre=(0.0, 0.0, 0.0), light=(2.0, 0.0, 2.0)):
    """Returns rows of RGB byte triples. The model is turned by `rot` about `centre`, then
    panned and placed 125 units in front of the eye; the light is fixed to the model."""
    ln = math.sqrt(sum(c * c for c in light))
    lx, ly, lz = (c / ln for c in light)
    eye = []
    for x, y, z in verts:
        x, y, z = x - centre[0], y - centre[1], z - centre[2]
        ex = rot[0][0] * x + rot[0][1] * y + rot[0][2] * z + centre[0] + pan[0]
        ey = rot[1][0] * x + rot[1][1] * y + rot[1][2] * z + centre[1] + pan[1]
        ez = rot[2][0] * x + rot[2][1] * y + rot[2][2] * z + centre[2] - 125.0
        eye.append((ex, ey, ez))
    half = size / 2.0
    scr = []
    for ex, ey, ez in eye:
        w = -ez
        scr.append((half + half * ex / (w * d), half - half * ey / (w * d), 1.0 / w))
    zbuf = [0.0] * (size * size)       # stores 1/w; larger is nearer
    img = [(255, 255, 255)] * (size * size)
    for a, b, c in faces:
        pa, pb, pc = verts[a], verts[b], verts[c]
        v1 = (pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2])
        v2 = (pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2])
        n = (v1[1] * v2[2] - v1[2] * v2[1], v1[2] * v2[0] - v1[0] * v2[2],
             v1[0] * v2[1] - v1[1] * v2[0])
        e = math.sqrt(n[0] ** 2 + n[1] ** 2 + n[2] ** 2)
        if e == 0.0:
            continue
        ndl = (n[0] * lx + n[1] * ly + n[2] * lz) / e
        (x0, y0, w0), (x1, y1, w1), (x2, y2, w2) = scr[a], scr[b], scr[c]
        area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0)
        if area == 0.0:
            continue
        # Screen y grows downward, so a counter-clockwise triangle has negative area here.
        if area < 0.0:
            k = FENY + LIGHT_DIFFUSE * max(0.0, ndl)
            col = tuple(min(255, int(255.0 * min(1.0, s * k) + 0.5)) for s in SKIN)
        else:
            k = BACK_AMBIENT * FENY + BACK_DIFFUSE * LIGHT_DIFFUSE * max(0.0, -ndl)
            g = min(255, int(255.0 * min(1.0, k) + 0.5))
            col = (g, g, g)
        xmin = max(0, int(math.floor(min(x0, x1, x2))))
        xmax = min(size - 1, int(math.ceil(max(x0, x1, x2))))
        ymin = max(0, int(math.floor(min(y0, y1, y2))))
        ymax = min(size - 1, int(math.ceil(max(y0, y1, y2))))
        inv = 1.0 / area
        for py in range(ymin, ymax + 1):
            cy = py + 0.5
            row = py * size
            for px in range(xmin, xmax + 1):
                cx = px + 0.5
                b0 = ((x1 - cx) * (y2 - cy) - (x2 - cx) * (y1 - cy)) * inv
                b1 = ((x2 - cx) * (y0 - cy) - (x0 - cx) * (y2 - cy)) * inv
                b2 = 1.0 - b0 - b1
                if b0 < 0.0 or b1 < 0.0 or b2 < 0.0:
                    continue
                wz = b0 * w0 + b1 * w1 + b2 * w2
                if wz > zbuf[row + px]:
                    zbuf[row + px] = wz
                    img[row + px] = col
    return img


def write_png(img, size, path, out_size):
    with tempfile.NamedTemporaryFile(suffix=".ppm", delete=False) as f:
        f.write(b"P6\n%d %d\n255\n" % (size, size))
        f.write(bytes(c for px in img for c in px))
        tmp = f.name
    try:
        subprocess.run(["convert", tmp, "-filter", "Box", "-resize",
                        "%dx%d" % (out_size, out_size), "-strip", path], check=True)
    finally:
        os.unlink(tmp)


# ---------------------------------------------------------------------------

VIEWS = {
    # name: (rotation, pan, d, centre of the turn)
    "front": (rot_y(0), (0.0, 0.0), 0.7, (0.0, 0.0, 0.0)),
}


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--data", default=os.path.join(root, "data"))
    ap.add_argument("--out", default=os.path.join(root, "docs"))
    ap.add_argument("--costav", default=os.path.join(root, "model", "costav.cpp"))
    ap.add_argument("--size", type=int, default=480)
    ap.add_argument("--only", default="")
    args = ap.parse_args(argv)
    verts, faces = read_mesh(args.data)
    regions = read_regions(args.costav)
    os.makedirs(args.out, exist_ok=True)
    ss = 2
    big = args.size * ss

    # The head turns about the middle of its skull for the side views, so that it stays
    # in the picture; the front views use the program's own pose.
    ys = [v[1] for v in verts]
    zs = [v[2] for v in verts]
    mid = (0.0, 0.0, (min(zs) + max(zs)) / 2.0)

    jaw = list(verts)
    weights = all_weights(verts, regions)
    move(jaw, regions, weights, 201, -10.0, 1)

    speech = apply_faps(verts, regions, SPEECH_FAPS)
    silent = apply_faps(verts, regions, SILENT_FAPS)
    live = mat_mul(rot_x(20.0), rot_y(0.0))
    three_q = mat_mul(rot_x(10.0), rot_y(-25.0))
    shots = [
        # name, poses side by side, rotation, pan, zoom d, centre of the turn
        ("head-front", [verts], rot_y(0), (0.0, 0.0), 0.7, (0.0, 0.0, 0.0)),
        ("head-45", [verts], rot_y(-45), (0.0, 0.0), 0.7, mid),
        ("head-profile", [verts], rot_y(-90), (0.0, 0.0), 0.7, mid),
        ("head-jaw-open", [verts, jaw], three_q, (-4.0, 34.0), 0.55, (0.0, 0.0, 0.0)),
        ("head-speech", [speech], live, (0.0, 42.0), 0.51, (0.0, 0.0, 0.0)),
        ("head-silent", [silent], live, (0.0, 42.0), 0.51, (0.0, 0.0, 0.0)),
    ]
    for name, poses, rot, pan, dd, centre in shots:
        if args.only and args.only not in name:
            continue
        parts = []
        for k, vv in enumerate(poses):
            img = render(vv, faces, big, rot=rot, pan=pan, d=dd, centre=centre)
            part = os.path.join(args.out, "%s.part%d.png" % (name, k))
            write_png(img, big, part, args.size)
            parts.append(part)
        path = os.path.join(args.out, name + ".png")
        if len(parts) == 1:
            os.replace(parts[0], path)
        else:
            subprocess.run(["convert"] + parts + ["+append", "-strip", path], check=True)
            for p in parts:
                os.unlink(p)
        print("wrote", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
