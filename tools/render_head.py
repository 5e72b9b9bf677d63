#!/usr/bin/env python3
"""Offline pictures of the head mesh, shaded the way the polygon model shades it.

Reads data/vertex.txt and data/face.txt (or the files given) and writes PNG pictures:
  head-front.png, head-45.png, head-profile.png   the head flat-shaded (the program's look)
                                                  and smooth-shaded ("Sima felület"), side
                                                  by side;
  mouth-sheet.png                                 the mouth in the live view at rest and in
                                                  six windows of the test sentences, from a
                                                  little open to wide open.
Pure Python 3 (standard library) plus ImageMagick's `convert` and `montage`.

Shading follows the program's fixed-function set-up: skin material on the front side
(ambient 0.5 from the global ambient, diffuse from one directional light fixed to the model
at (2, 0, 2), no highlight), the library's default grey material on back faces with
two-sided lighting, white background, and the program's perspective camera (eye 125 units
in front of the origin, frustum half-size d at distance 1). Flat: one normal per triangle;
smooth: the area-weighted vertex normals of the program's smooth variant, colours
interpolated across each triangle.

Usage: tools/render_head.py [--data DIR] [--out DIR] [--size N] [--only NAME]
"""

import argparse
import math
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_head_mesh as mesh  # noqa: E402
import mouthfit  # noqa: E402

SKIN = (0.9764, 0.7804, 0.6902)
FENY = 0.5                      # global ambient level at start
LIGHT_DIFFUSE = 0.5
BACK_AMBIENT = 0.2              # library default material, used on back faces
BACK_DIFFUSE = 0.8


def read_mesh(data_dir):
    with open(os.path.join(data_dir, "vertex.txt")) as f:
        nums = f.read().split()
    verts = [(float(nums[i + 1]), float(nums[i + 2]), float(nums[i + 3]))
             for i in range(0, len(nums), 4)]
    with open(os.path.join(data_dir, "face.txt")) as f:
        nums = f.read().split()
    faces = [(int(nums[i + 1]), int(nums[i + 2]), int(nums[i + 3]))
             for i in range(0, len(nums), 4)]
    return verts, faces


def posed(verts, regions, faps):
    """The mesh moved by one window's FAPs with the live moves and the program's weights."""
    return [tuple(p) for p in mouthfit.Weights(verts, regions).posed(verts, faps)]


# ---------------------------------------------------------------------------
# Rasteriser

def rot_x(deg):
    c, s = math.cos(math.radians(deg)), math.sin(math.radians(deg))
    return ((1, 0, 0), (0, c, -s), (0, s, c))


def rot_y(deg):
    c, s = math.cos(math.radians(deg)), math.sin(math.radians(deg))
    return ((c, 0, s), (0, 1, 0), (-s, 0, c))


def face_normal(verts, a, b, c):
    pa, pb, pc = verts[a], verts[b], verts[c]
    v1 = (pb[0] - pa[0], pb[1] - pa[1], pb[2] - pa[2])
    v2 = (pc[0] - pa[0], pc[1] - pa[1], pc[2] - pa[2])
    return (v1[1] * v2[2] - v1[2] * v2[1], v1[2] * v2[0] - v1[0] * v2[2],
            v1[0] * v2[1] - v1[1] * v2[0])


def unit(n):
    e = math.sqrt(n[0] ** 2 + n[1] ** 2 + n[2] ** 2)
    return (n[0] / e, n[1] / e, n[2] / e) if e > 0.0 else (0.0, 0.0, 1.0)


def vertex_normals(verts, faces):
    """Area-weighted mean of the adjacent face normals, as the smooth variant draws."""
    acc = [[0.0, 0.0, 0.0] for _ in verts]
    for t in faces:
        n = face_normal(verts, *t)
        for i in t:
            for k in range(3):
                acc[i][k] += n[k]
    return [unit(n) for n in acc]


def colour(n, light, front):
    """Lit colour (floats) of a surface with unit normal n seen from its front or back."""
    ndl = n[0] * light[0] + n[1] * light[1] + n[2] * light[2]
    if front:
        k = FENY + LIGHT_DIFFUSE * max(0.0, ndl)
        return tuple(min(1.0, s * k) for s in SKIN)
    g = min(1.0, BACK_AMBIENT * FENY + BACK_DIFFUSE * LIGHT_DIFFUSE * max(0.0, -ndl))
    return (g, g, g)


def render(verts, faces, size, rot=((1, 0, 0), (0, 1, 0), (0, 0, 1)), pan=(0.0, 0.0),
           d=0.7, centre=(0.0, 0.0, 0.0), smooth=False, light=(2.0, 0.0, 2.0)):
    """Returns a list of RGB byte triples, rows from the top. The model is turned by `rot`
    about `centre`, then panned and placed 125 units in front of the eye; the light is fixed
    to the model."""
    light = unit(light)
    scr = []
    for x, y, z in verts:
        x, y, z = x - centre[0], y - centre[1], z - centre[2]
        ex = rot[0][0] * x + rot[0][1] * y + rot[0][2] * z + centre[0] + pan[0]
        ey = rot[1][0] * x + rot[1][1] * y + rot[1][2] * z + centre[1] + pan[1]
        w = 125.0 - (rot[2][0] * x + rot[2][1] * y + rot[2][2] * z + centre[2])
        half = size / 2.0
        scr.append((half + half * ex / (w * d), half - half * ey / (w * d), 1.0 / w))
    normals = vertex_normals(verts, faces) if smooth else None
    zbuf = [0.0] * (size * size)       # stores 1/w; larger is nearer
    img = [(1.0, 1.0, 1.0)] * (size * size)
    for a, b, c in faces:
        (x0, y0, w0), (x1, y1, w1), (x2, y2, w2) = scr[a], scr[b], scr[c]
        area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0)
        if area == 0.0:
            continue
        # Screen y grows downward, so a counter-clockwise triangle has negative area here.
        front = area < 0.0
        if smooth:
            cols = [colour(normals[i], light, front) for i in (a, b, c)]
        else:
            flat = colour(unit(face_normal(verts, a, b, c)), light, front)
            cols = [flat, flat, flat]
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
                    img[row + px] = tuple(b0 * cols[0][k] + b1 * cols[1][k] + b2 * cols[2][k]
                                          for k in range(3))
    return [tuple(min(255, int(255.0 * c + 0.5)) for c in px) for px in img]


def write_png(img, size, path, out_size, crop=None):
    """img (size x size) to path, scaled to out_size; crop (w, h, x, y) after scaling."""
    with tempfile.NamedTemporaryFile(suffix=".ppm", delete=False) as f:
        f.write(b"P6\n%d %d\n255\n" % (size, size))
        f.write(bytes(c for px in img for c in px))
        tmp = f.name
    try:
        cmd = ["convert", tmp, "-filter", "Box", "-resize", "%dx%d" % (out_size, out_size)]
        if crop:
            cmd += ["-crop", "%dx%d+%d+%d" % crop, "+repage"]
        subprocess.run(cmd + ["-strip", path], check=True)
    finally:
        os.unlink(tmp)


# ---------------------------------------------------------------------------

def opening(verts, regions, faps):
    p = posed(verts, regions, faps)
    return p[223][1] - p[203][1]


def sheet_windows(verts, regions, count=6):
    """`count` windows of the test sentences (the generator's sample) whose openings are
    spread evenly from a little open to the widest."""
    windows = [dict(zip(mesh.FAP_ORDER, w)) for w in mesh.SPEECH_SAMPLE]
    sized = sorted((opening(verts, regions, w), k) for k, w in enumerate(windows))
    sized = [(o, k) for o, k in sized if o > 3.0]
    lo, hi = sized[0][0], sized[-1][0]
    out = []
    for i in range(count):
        target = lo + (hi - lo) * i / (count - 1)
        o, k = min(sized, key=lambda s: abs(s[0] - target))
        out.append((o, windows[k]))
    return out


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
    regions = mouthfit.read_regions(args.costav)
    os.makedirs(args.out, exist_ok=True)
    ss = 2
    big = args.size * ss
    scratch = tempfile.TemporaryDirectory()  # removed at exit
    tmp = scratch.name

    # The head turns about the middle of its skull for the side views, so that it stays
    # in the picture; the front view uses the program's own pose.
    zs = [v[2] for v in verts]
    mid = (0.0, 0.0, (min(zs) + max(zs)) / 2.0)
    views = [("head-front", rot_y(0), (0.0, 0.0, 0.0)), ("head-45", rot_y(-45), mid),
             ("head-profile", rot_y(-90), mid)]
    for name, rot, centre in views:
        if args.only and args.only not in name:
            continue
        parts = []
        for smooth in (False, True):
            part = os.path.join(tmp, "%s-%d.png" % (name, smooth))
            write_png(render(verts, faces, big, rot=rot, centre=centre, smooth=smooth), big,
                      part, args.size)
            parts.append(part)
        path = os.path.join(args.out, name + ".png")
        subprocess.run(["convert"] + parts + ["+append", "-strip", path], check=True)
        print("wrote", path)

    if not args.only or args.only in "mouth-sheet":
        # the live view: turned 20 degrees about x, panned up 42, zoomed in; the lower face
        tiles = []
        shots = [(0.0, mesh.REST_FAPS, "rest")] + [
            (o, w, "open %.0f" % o) for o, w in sheet_windows(verts, regions)]
        side = args.size
        crop = (int(side * 0.5), int(side * 0.46), int(side * 0.25), int(side * 0.3))
        for k, (_, faps, label) in enumerate(shots):
            img = render(posed(verts, regions, faps), faces, big, rot=rot_x(20.0),
                         pan=(0.0, 42.0), d=0.51)
            tile = os.path.join(tmp, "sheet-%d.png" % k)
            write_png(img, big, tile, side, crop)
            tiles.append((tile, label))
        path = os.path.join(args.out, "mouth-sheet.png")
        cmd = ["montage"]
        for tile, label in tiles:
            cmd += ["-label", label, tile]
        cmd += ["-tile", "%dx1" % len(tiles), "-geometry", "+2+2", "-font", "DejaVu-Sans",
                "-pointsize", "14",
                "-strip", path]
        subprocess.run(cmd, check=True)
        print("wrote", path)
    for f in os.listdir(tmp):
        os.unlink(os.path.join(tmp, f))
    os.rmdir(tmp)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
