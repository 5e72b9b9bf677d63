#!/usr/bin/env python3
"""The Python module on a recording: its frames are the C library's (as zarvo-fap writes
them through it), whole or pushed in blocks, from int16 and stereo too; errors raise.

Usage: test_python.py ZARVO_FAP RECORDING.raw   (ZARVO_LIBRARY and PYTHONPATH set by ctest)
"""
import csv
import io
import subprocess
import sys
import unittest

import numpy as np
import zarvo

TOOL, RAW = sys.argv[1], sys.argv[2]


class Module(unittest.TestCase):
    def test_frames_are_the_c_librarys(self):
        x = np.fromfile(RAW, dtype="<f4")
        frames = zarvo.analyze(x, 48000)
        rows = list(csv.reader(io.StringIO(subprocess.run(
            [TOOL, "--articulate", "--outputs", "faps,visemes,vowels,blendshapes,shape", RAW],
            capture_output=True, text=True, check=True).stdout)))
        self.assertEqual(rows[0][4:], ["fap%d" % n for n in zarvo.FAPS] +
                         ["viseme_" + v for v in zarvo.VISEMES] +
                         ["vowel_" + v for v in zarvo.VOWELS] + zarvo.BLENDSHAPES + ["shape"])
        table = np.array([r[:-1] for r in rows[1:]], dtype=float)
        self.assertEqual(len(frames), len(table))
        np.testing.assert_array_equal(frames["index"], table[:, 0])
        np.testing.assert_allclose(frames["centre_seconds"], table[:, 1], atol=5e-7)
        np.testing.assert_allclose(frames["level"], table[:, 2], atol=5e-7)
        np.testing.assert_array_equal(frames["faps"], table[:, 4:15])
        weights = np.hstack([frames["visemes"], frames["vowels"], frames["blendshapes"]])
        np.testing.assert_allclose(weights, table[:, 15:], atol=5e-7)
        self.assertEqual([f.decode() for f in frames["shape"]], [r[-1] for r in rows[1:]])

        # In blocks, from int16 in two channels: the same frames.
        pcm = np.round(x * 20000).astype(np.int16)
        whole = zarvo.analyze(np.stack([pcm, pcm], axis=1), 48000, channels=2)
        with zarvo.Stream(48000, channels=2) as s:
            parts = [s.push(np.stack([pcm[a:a + 700]] * 2, axis=1))
                     for a in range(0, len(pcm), 700)]
            blocks = np.concatenate(parts + [s.flush()])
        self.assertTrue(len(whole) == len(blocks) and (whole == blocks).all())
        self.assertGreater(len(set(whole["shape"])), 3)

    def test_errors_raise(self):
        with self.assertRaises(zarvo.Error) as e:
            zarvo.Stream(7000)
        self.assertEqual(e.exception.code, -3)
        s = zarvo.Stream(16000)
        with self.assertRaises(zarvo.Error):
            s.push(np.array([0.1, np.nan], dtype=np.float32))
        with self.assertRaises(ValueError):
            s.push(np.zeros((10, 2), dtype=np.float32))
        ready = len(s.push(np.zeros(16000, dtype=np.float32)))
        self.assertEqual(ready + len(s.flush()), 1 + (48000 - 1024) // 512)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
