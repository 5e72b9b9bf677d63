#!/usr/bin/python3
"""Writes lipsync/mesh_guard.h: the part of the head mesh the articulation keeps from folding.

  make_mesh_guard.py [--data data] [--out lipsync/mesh_guard.h]

The program moves the mouth by FAPs: each FAP moves one feature point's region along one
axis, every member by the FAP times its raised-cosine weight, so a vertex's posed position is
its neutral one plus a sum of per-FAP moves. A triangle folds when its posed normal turns
against the neutral one; s = n0 . n / |n0|^2 measures it (1 when it only moves, <= 0 when it
has turned over). The header holds, for the triangles that can come near folding anywhere in
the articulation's box of FAP values, their corners' neutral positions, per-FAP moves and
scaled neutral normals, so that the articulation can measure s for its own poses.

A triangle is taken when s falls below KEEP_BELOW at any of the box's corners or at any of
SAMPLES random points of the box (seed 1); the others stay far from folding in the whole box.

A corner triangle's share facing a view (speech_mesh.corner_views: where it would show the
camera its back, a spike) is a measure of its own, scaled (VIEW_LEAST) and taken on the same
rule. Each measure is a row of the header: a triangle's corners and a vector m, the measure
being m . n for the posed normal n.
Rerun after the mesh or the box changes; the data tests check that the header matches.
"""

import argparse
import os
import re
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
from speech_mesh import SpeechMesh  # noqa: E402
KEEP_BELOW = 0.5
GUARD_LEAST = 0.1  # kMeshLeast
SAMPLES = 200000
# A view's share is held at VIEW_LEAST where s is held at the guard's bound (0.1): a corner
# triangle may come close to edge-on, but not show its back. The row's vector is scaled so
# that the guard's one bound serves both.
VIEW_LEAST = 0.02


def box():
    with open(os.path.join(ROOT, "lipsync", "Articulation.cpp")) as f:
        src = f.read()
    out = []
    for name in ("kArticulatedLeast", "kArticulatedMost"):
        m = re.search(name + r"\[11\]\s*=\s*\{([^}]*)\}", src)
        out.append([int(x) for x in re.findall(r"-?\d+", m.group(1))])
    return np.array(out[0], float), np.array(out[1], float)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--data", default=os.path.join(ROOT, "data"))
    ap.add_argument("--out", default=os.path.join(ROOT, "lipsync", "mesh_guard.h"))
    args = ap.parse_args()

    mesh = SpeechMesh(args.data)
    neutral, tris, move = mesh.neutral, mesh.tris, mesh.move

    least, most = box()
    rng = np.random.default_rng(1)
    corners = np.array([[most[k] if (i >> k) & 1 else least[k] for k in range(11)]
                        for i in range(1 << 11)])
    poses = np.concatenate([corners, least + rng.random((SAMPLES, 11)) * (most - least)])
    # The measures: s of every triangle, then the corner triangles' shares facing a view.
    rows = [(t, mesh.normal[t]) for t in range(len(tris))]
    view_tri, view_vec = mesh.corner_views()
    rows += [(t, GUARD_LEAST / VIEW_LEAST * v) for t, v in zip(view_tri, view_vec)]
    tri = np.array([t for t, _ in rows])
    vec = np.array([m for _, m in rows])
    lowest = np.full(len(rows), np.inf)
    for i in range(0, len(poses), 4000):
        lowest = np.minimum(lowest, mesh.measures(poses[i:i + 4000], tri, vec).min(axis=0))
    kept = [r for r in range(len(rows)) if lowest[r] < KEEP_BELOW]
    kept_tris = sorted({int(tri[r]) for r in kept})
    verts = sorted({int(v) for t in kept_tris for v in tris[t]})
    local = {v: i for i, v in enumerate(verts)}
    local_tri = {t: i for i, t in enumerate(kept_tris)}

    def num(x):
        return repr(float(x))

    lines = [
        "// The triangles of the head mesh that can come near folding or turning their backs to",
        "// the camera in the articulation's box of FAP values, written by",
        "// tools/lipsync/make_mesh_guard.py from data/ (%d measures of %d triangles, the lowest"
        % (len(kept), len(kept_tris)),
        "// in the box sample %.3f); rerun it after the mesh changes." % min(lowest[kept]),
        "#pragma once",
        "",
        "// clang-format off",
        "namespace lipsync::mesh {",
        "",
        "// Axis (0 x, 1 y, 2 z) each FAP of kSpeechFaps' order moves its region along.",
        "inline constexpr int kAxis[11] = {%s};" % ", ".join(str(x) for x in mesh.axis),
        "inline constexpr int kVertices = %d;" % len(verts),
        "// Mesh vertex number, neutral position (model units), move per FAP unit of each FAP.",
        "inline constexpr int kVertex[kVertices] = {%s};" % ", ".join(map(str, verts)),
        "inline constexpr double kNeutral[kVertices][3] = {",
    ]
    lines += ["    {%s}," % ", ".join(num(x) for x in neutral[v]) for v in verts]
    lines += ["};", "inline constexpr double kMove[kVertices][11] = {"]
    lines += ["    {%s}," % ", ".join(num(move[k, v]) for k in range(11)) for v in verts]
    lines += [
        "};",
        "inline constexpr int kTriangles = %d;" % len(kept_tris),
        "// Corners (indices into the vertex tables above).",
        "inline constexpr int kCorner[kTriangles][3] = {",
    ]
    lines += ["    {%s}," % ", ".join(str(local[int(v)]) for v in tris[t]) for t in kept_tris]
    lines += [
        "};",
        "inline constexpr int kMeasures = %d;" % len(kept),
        "// Per measure, its triangle (an index into kCorner) and the vector whose dot product",
        "// with the triangle's posed normal is the measure: the neutral normal over its squared",
        "// length (s), or a view over its dot product with the neutral normal (the share of the",
        "// neutral area facing that view), scaled.",
        "inline constexpr int kMeasureTriangle[kMeasures] = {%s};"
        % ", ".join(str(local_tri[int(tri[r])]) for r in kept),
        "inline constexpr double kMeasure[kMeasures][3] = {",
    ]
    lines += ["    {%s}," % ", ".join(num(x) for x in vec[r]) for r in kept]
    lines += ["};", "", "}  // namespace lipsync::mesh", "// clang-format on", ""]
    with open(args.out, "w") as f:
        f.write("\n".join(lines))
    print("%d measures, %d vertices -> %s" % (len(kept), len(verts), args.out))


if __name__ == "__main__":
    main()
