"""The head mesh as the live loop moves it by the eleven speech FAPs, for numpy.

Each FAP moves its feature point's region along one axis, every member by the FAP times its
raised-cosine weight (mouthfit.Weights, as the program computes them); the moves add up. A
triangle's share s = n0 . n / |n0|^2 of its neutral normal n0 (1 when it only moves, <= 0
when it has turned over) is what folds.py counts and the articulation's guard keeps above
its bound. A triangle can also turn its back to the camera while s stays positive: at the
mouth's corners, drawn far in, skin triangles stand on edge and then show their backs (a
dark spike at the corner). For the corner triangles (CORNER_X, CORNER_Y) that face a view
(their neutral normal within acos(FACING) of it) the share of their neutral area facing that
view, v . n / v . n0, measures it (corner_views).
"""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.dirname(HERE))
import mouthfit  # noqa: E402

FAPS = [3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60]
# The views (towards the camera, model axes): the front, and the live framing's turn of 20
# degrees about x, which shows the mouth a little from above.
VIEWS = [(0.0, 0.0, 1.0), (0.0, np.sin(np.radians(20.0)), np.cos(np.radians(20.0)))]
FACING = 0.3
# Where a triangle's centre lies to count as one of a mouth corner's, model units: |x| in
# CORNER_X, y in CORNER_Y. (Between the corners the lips' own surfaces tilt as they open and
# close, hidden in the lips' shadow or behind the other lip.)
CORNER_X = (14.0, 40.0)
CORNER_Y = (-60.0, -20.0)


class SpeechMesh:
    """data/'s vertex.txt and face.txt with the moves of the speech FAPs.

    neutral (vertices, 3), tris (triangles, 3), axis[k] the axis FAPS[k] moves along,
    move (11, vertices) model units per FAP unit along it, normal (triangles, 3) the neutral
    normals over their squared lengths."""

    def __init__(self, data):
        pos = {}
        with open(os.path.join(data, "vertex.txt")) as f:
            for line in f:
                v = line.split()
                pos[int(v[0])] = [float(x) for x in v[1:4]]
        self.neutral = np.array([pos[i] for i in range(len(pos))])
        with open(os.path.join(data, "face.txt")) as f:
            self.tris = np.array([[int(x) for x in line.split()[1:4]] for line in f])
        regions = mouthfit.read_regions(os.path.join(ROOT, "model", "costav.cpp"))
        weights = mouthfit.Weights([pos[i] for i in range(len(pos))], regions)
        self.axis = [None] * len(FAPS)
        self.move = np.zeros((len(FAPS), len(pos)))
        for fap, code, unit, ax, sign in mouthfit.MOVES:
            k = FAPS.index(fap)
            assert self.axis[k] in (None, ax), "FAP %d moves along two axes" % fap
            self.axis[k] = ax
            for v, w in zip(regions[code][1], weights.w[code]):
                self.move[k, v] += sign * unit * w
        a, b, c = (self.neutral[self.tris[:, k]] for k in range(3))
        n0 = np.cross(b - a, c - a)
        self.normal = n0 / (n0 * n0).sum(axis=1)[:, None]

    def corner_views(self):
        """The view measures: triangles tri and vectors vec, the measure being vec . n."""
        a, b, c = (self.neutral[self.tris[:, k]] for k in range(3))
        n0 = np.cross(b - a, c - a)
        centre = (a + b + c) / 3.0
        x = np.abs(centre[:, 0])
        corner = ((x > CORNER_X[0]) & (x < CORNER_X[1]) & (centre[:, 1] > CORNER_Y[0])
                  & (centre[:, 1] < CORNER_Y[1]))
        tri, vec = [], []
        for v in map(np.array, VIEWS):
            for t in np.nonzero(corner & (n0 @ v > FACING * np.linalg.norm(n0, axis=1)))[0]:
                tri.append(t)
                vec.append(v / (n0[t] @ v))
        return np.array(tri), np.array(vec)

    def shares(self, faps):
        """s of every triangle (poses, triangles) for FAP vectors faps (poses, 11)."""
        return self.measures(faps, np.arange(len(self.tris)), self.normal)

    def measures(self, faps, tri, vec):
        """vec[r] . n of triangle tri[r]'s posed normal n, (poses, rows), for FAP vectors
        faps (poses, 11)."""
        q = np.repeat(self.neutral[None], len(faps), axis=0)
        for k in range(len(FAPS)):
            q[:, :, self.axis[k]] += faps[:, k:k + 1] * self.move[k][None]
        qa, qb, qc = (q[:, self.tris[tri, k]] for k in range(3))
        return np.einsum("td,ntd->nt", vec, np.cross(qb - qa, qc - qa))
