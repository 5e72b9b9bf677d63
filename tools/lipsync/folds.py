#!/usr/bin/python3
"""Which windows of real voices fold the head mesh, and where.

  folds.py CORPUS --tool build/tools/lipsync-frames [--data data] [--split fit|test|all]

Every distinct FAP vector (designed and articulated) of the corpus's real recordings is put
on the mesh the way the program moves it (each FAP moves its feature point's region, every
member by its raised-cosine weight; the moves add up, so a pose is one matrix product), and
a triangle folds when its posed normal turns against the neutral one; a corner triangle
spikes when it shows the front or the live view its back (speech_mesh.corner_views). Prints
the share of vectors that fold and that spike, per stream, and the triangles that fold most. Much faster than the mouth
checker's ray casting, and the same fold test.
"""

import argparse
import os
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import frames as fr  # noqa: E402
from speech_mesh import FAPS, SpeechMesh  # noqa: E402


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("corpus")
    ap.add_argument("--tool", required=True)
    ap.add_argument("--data", default=os.path.join(HERE, "..", "..", "data"))
    ap.add_argument("--split", default="all")
    ap.add_argument("--cache", default=os.path.join(tempfile.gettempdir(), "zarvo-lipsync-cache"))
    args = ap.parse_args()

    mesh = SpeechMesh(args.data)

    runner = fr.Runner(args.tool, args.cache)
    vectors = {"designed": set(), "articulated": set()}
    for rec in fr.load_index(args.corpus):
        if not fr.is_real(rec["source"]) or args.split not in ("all", rec["split"]):
            continue
        f = runner.frames(os.path.join(args.corpus, rec["audio"]))
        for stream, prefix in (("designed", "fap"), ("articulated", "art")):
            vectors[stream].update(map(tuple, f.block([prefix + str(k) for k in FAPS])
                                       .astype(int)))
    per_triangle = np.zeros(len(mesh.tris), int)
    view_tri, view_vec = mesh.corner_views()
    for stream, vs in vectors.items():
        vs = np.array(sorted(vs), dtype=float)
        folding = spiking = 0
        for i in range(0, len(vs), 2000):
            s = mesh.shares(vs[i:i + 2000])
            folding += int((s <= 0).any(axis=1).sum())
            per_triangle += (s <= 0).sum(axis=0)
            spiking += int((mesh.measures(vs[i:i + 2000], view_tri, view_vec) < 0).any(axis=1)
                           .sum())
        print("%-11s %7d distinct FAP vectors, %6d fold the mesh (%.2f %%), %6d show a corner"
              " triangle's back (%.2f %%)" % (stream, len(vs), folding,
                                               100.0 * folding / max(1, len(vs)), spiking,
                                               100.0 * spiking / max(1, len(vs))))
    print("triangles that fold most (triangle: vertices, vectors):")
    for t in np.argsort(-per_triangle)[:8]:
        if per_triangle[t]:
            print("  %3d: %s, %d" % (t, " ".join(map(str, mesh.tris[t])), per_triangle[t]))


if __name__ == "__main__":
    main()
