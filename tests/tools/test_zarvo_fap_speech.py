#!/usr/bin/env python3
"""zarvo-fap on real speech: espeak-ng speaks a sentence, sox resamples it to 48 kHz mono
(32-bit float and 16-bit PCM) with half a second of digital silence before and after.

Usage: test_zarvo_fap_speech.py PATH_TO_ZARVO_FAP
"""
import math
import os
import subprocess
import sys
import tempfile
import unittest

TOOL = None
TEXT = "Open your mouth wide and say: papa, mama, wow. The quick brown fox jumps over the lazy dog."
PAD = 24000  # samples of silence on each side (0.5 s)
REST_FAPS = [-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75]
SILENT_LEVEL = -100.0  # the level of a window of exact digital silence


def run(*cmd):
    subprocess.run(cmd, check=True, capture_output=True)


class Speech(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        d = cls.dir.name
        spoken = os.path.join(d, "spoken.wav")
        run("espeak-ng", "-w", spoken, TEXT)
        cls.files = {}
        for name, enc in [("float", ["-b", "32", "-e", "floating-point"]),
                          ("pcm16", ["-b", "16", "-e", "signed-integer"])]:
            path = os.path.join(d, name + ".wav")
            # Resample first, then pad, so the silence stays exact zeros; -D: no dither.
            run("sox", "-D", spoken, "-c", "1", *enc, path, "rate", "48000", "pad", "0.5", "0.5")
            n = int(subprocess.run(["soxi", "-s", path], check=True, capture_output=True,
                                   text=True).stdout)
            cls.files[name] = (path, n)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def analyse(self, name):
        path, n = self.files[name]
        r = subprocess.run([TOOL, path], capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stderr, "")
        lines = r.stdout.splitlines()
        # index, time (left out), level, vol, FAPs
        cells = [line.split(",") for line in lines[1:]]
        rows = [[int(c[0]), float(c[2])] + [int(v) for v in c[3:]] for c in cells]
        return n, rows

    def check(self, name):
        n, rows = self.analyse(name)
        self.assertGreater(n, 3 * PAD)
        self.assertEqual(len(rows), 1 + (n - 1024) // 512)
        for k, row in enumerate(rows):
            self.assertEqual(row[0], k)

        # Windows wholly inside the leading silence: exact digital silence, rest shape.
        lead = [row for k, row in enumerate(rows) if 512 * k + 1024 <= PAD]
        self.assertEqual(len(lead), 45)
        for row in lead:
            self.assertAlmostEqual(row[1], SILENT_LEVEL, places=5)
            self.assertEqual(row[2], -100)
            self.assertEqual(row[3:], REST_FAPS)

        # Trailing silence: once this window and the three before it are silent, the
        # smoothed shape is back at rest.
        tail = [row for k, row in enumerate(rows) if 512 * (k - 3) >= n - PAD]
        self.assertGreater(len(tail), 30)
        for row in tail:
            self.assertEqual(row[2], -100)
            self.assertEqual(row[3:], REST_FAPS)

        # While speaking the jaw moves: many different openings, some beyond rest.
        speech = [row for k, row in enumerate(rows) if 512 * k >= PAD and 512 * k + 1024 <= n - PAD]
        self.assertGreater(len(speech), 200)
        jaw = [row[3] for row in speech]
        self.assertGreater(len(set(jaw)), 10)
        self.assertGreater(sum(1 for v in jaw if v != -140), len(jaw) // 2)
        self.assertGreater(max(row[2] for row in speech), 100)
        loud = [row[3] for row in speech if row[2] >= 100]
        self.assertNotEqual(set(loud), {-140})
        return rows

    def test_float_wav(self):
        self.check("float")

    def test_pcm16_wav(self):
        rows16 = self.check("pcm16")
        rowsf = self.check("float")
        # Same audio, two encodings: the levels agree closely in the loud parts.
        for a, b in zip(rows16, rowsf):
            if b[2] >= 50:
                self.assertAlmostEqual(a[1], b[1], delta=0.05)


if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
