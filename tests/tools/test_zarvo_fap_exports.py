#!/usr/bin/env python3
"""zarvo-fap's lip-sync formats as their readers take them: espeak-ng speaks a sentence
without lip closures and then one full of them; the cue files are parsed (json, an XML
parser, the TSV and Moho lines), the face-capture CSV checked column by column, the .glb
given to the Khronos validator, and the FAP file's visemes read.

Usage: test_zarvo_fap_exports.py ZARVO_FAP NODE_MODULES_DIR VALIDATE_MJS
"""
import csv
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

TOOL = NODE_MODULES = VALIDATE = None
PARTS = ["Look at the sea, she said.", "Papa, mama, Bob!"]
GAP = 14400  # 0.3 s of silence around and between


def sh(*cmd):
    return subprocess.run(cmd, check=True, capture_output=True, text=True).stdout


class Exports(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.wav = cls.path("speech.wav")
        pieces, at, cls.spans = [], GAP, []
        for k, text in enumerate(PARTS):
            sh("espeak-ng", "-w", cls.path("p.wav"), text)
            part = cls.path("p%d.wav" % k)
            sh("sox", cls.path("p.wav"), "-b", "16", part, "rate", "48000", "pad", "0.3", "0")
            n = int(sh("soxi", "-s", part))
            cls.spans.append((at / 48000, (at + n - GAP) / 48000))
            at += n
            pieces.append(part)
        sh("sox", *pieces, cls.wav, "pad", "0", "0.3")
        cls.samples = int(sh("soxi", "-s", cls.wav))

    @classmethod
    def path(cls, name):
        return os.path.join(cls.tmp.name, name)

    def out(self, fmt, *args, suffix=""):
        target = self.path(fmt + suffix)
        r = subprocess.run([TOOL, "--format", fmt, *args, self.wav, "-o", target],
                           capture_output=True, text=True)
        self.assertEqual((r.returncode, r.stderr), (0, ""))
        return target

    def test_cue_files(self):
        duration = round(self.samples / 48000, 2)
        with open(self.out("cues-json")) as f:
            doc = json.load(f)
        self.assertEqual(doc["metadata"], {"soundFile": self.wav, "duration": duration})
        cues = [(c["start"], c["end"], c["value"]) for c in doc["mouthCues"]]
        self.assertEqual(cues[0][0], 0)
        self.assertEqual(cues[-1][1], duration)
        for (s, e, v), nxt in zip(cues, cues[1:] + [None]):
            self.assertIn(v, "ABCDEFGHX")
            self.assertGreaterEqual(e - s, 0.04)  # 50 ms, less the rounding
            if nxt:
                self.assertEqual(e, nxt[0])  # no gap, no overlap
                self.assertNotEqual(v, nxt[2])
        xml = ET.parse(self.out("cues-xml")).getroot()
        self.assertEqual(xml.tag, "rhubarbResult")
        self.assertEqual(float(xml.find("metadata/duration").text), duration)
        self.assertEqual([(float(c.get("start")), float(c.get("end")), c.text)
                          for c in xml.find("mouthCues")], cues)
        with open(self.out("cues-tsv")) as f:
            lines = f.read().splitlines()
        for line in lines:
            self.assertRegex(line, r"^\d+\.\d\d\t[A-HX]$")
        self.assertEqual([(float(t), v) for t, v in (l.split("\t") for l in lines)],
                         [(s, v) for s, _, v in cues] + [(duration, "X")])
        with open(self.out("cues-dat", "--fps", "30")) as f:
            lines = f.read().splitlines()
        self.assertEqual(lines[0], "MohoSwitch1")
        frames = [(int(k), v) for k, v in (l.split(" ") for l in lines[1:])]
        self.assertEqual(frames[0][0], 1)
        self.assertEqual(frames[-1], (math.ceil(self.samples * 30 / 48000) + 1, "X"))
        # Each cue from the first frame at or after its start (cues are longer than a frame).
        self.assertEqual([v for _, v in frames[:-1]], [v for _, _, v in cues])
        for (k, _), (s, _, _) in zip(frames, cues):
            self.assertTrue(-0.006 < (k - 1) / 30 - s < 1 / 30 + 0.006, (k, s))
        # Lips closed somewhere in "papa, mama, Bob".
        closed = [(s, e) for s, e, v in cues if v == "A"]
        second = self.spans[1]
        self.assertTrue(any(s < second[1] and e > second[0] for s, e in closed), cues)
        basic = self.out("cues-tsv", "--shapes", "ABCDEF", suffix="6")
        with open(basic) as f:
            self.assertEqual(set(f.read()[:-5]) & set("GHX"), set())

    def test_face_capture_csv(self):
        with open(self.out("blendshapes-csv", "--fps", "30")) as f:
            rows = list(csv.reader(f))
        head = rows[0]
        self.assertEqual(len(head), 63)
        self.assertEqual(head[:3] + head[19:21] + head[-9:-6],
                         ["Timecode", "BlendShapeCount", "EyeBlinkLeft", "JawOpen",
                          "MouthClose", "HeadYaw", "HeadPitch", "HeadRoll"])
        self.assertEqual(len(rows) - 1, math.ceil(self.samples * 30 / 48000))
        mouth = {i for i, n in enumerate(head) if n.startswith(("Jaw", "Mouth"))}
        mouth -= {head.index(n) for n in ("JawForward", "JawLeft", "JawRight",
                                          "MouthDimpleLeft", "MouthDimpleRight")}
        self.assertEqual(len(mouth), 22)
        for k, row in enumerate(rows[1:]):
            s = k // 30
            self.assertEqual(row[0], "%02d:%02d:%02d:%02d.000" % (s // 3600, s // 60 % 60,
                                                                 s % 60, k % 30))
            self.assertEqual(len(row), 63)
            self.assertEqual(row[1], "61")
            for i in range(2, 63):
                # "-0.000000" too is refused: importers read it, but it says a sign nothing has
                self.assertTrue(0 <= float(row[i]) <= 1 and row[i][0] != "-" if i in mouth
                                else row[i] == "0")
        self.assertGreater(len({row[head.index("JawOpen")] for row in rows[1:]}), 20)

    def test_gltf_and_the_sound_beside(self):
        glb = self.out("gltf", "--audio-out", self.path("beside.wav"))
        self.assertEqual(int(sh("soxi", "-s", self.path("beside.wav"))), self.samples)
        self.assertEqual(sh("soxi", "-r", self.path("beside.wav")).strip(), "48000")
        tiny = self.path("tiny.raw")  # too short for one window: a head without animation
        with open(tiny, "wb") as f:
            f.write(bytes(400))
        subprocess.run([TOOL, "--format", "gltf", tiny, "-o", self.path("tiny.glb")], check=True)
        r = subprocess.run(["node", VALIDATE, NODE_MODULES, glb, self.path("tiny.glb")],
                           capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(r.stdout.count("0 errors, 0 warnings"), 2, r.stdout)
        # The articulated stream: its poses are the ones drawn (the designed FAPs of a window
        # the mesh cannot take are drawn, and written, held).
        glb = self.out("gltf", "--articulate", suffix="-articulated")
        table = self.path("faps.csv")
        subprocess.run([TOOL, "--articulate", self.wav, "-o", table], check=True)
        r = subprocess.run(["blender", "-b", "--factory-startup", "--python-exit-code", "1",
                            "--python", os.path.join(os.path.dirname(__file__),
                                                     "blender_import.py"), "--", glb, table],
                           capture_output=True, text=True,
                           # Blender's Python takes its library from the first python3 on
                           # the PATH: the system's, whose numpy the importer needs.
                           env=dict(os.environ, PATH="/usr/bin:" + os.environ["PATH"]))
        self.assertEqual(r.returncode, 0, r.stdout[-3000:] + r.stderr[-3000:])
        self.assertIn("jaw pivot as the live deformation puts it in all", r.stdout)

    def test_fap_visemes_and_errors(self):
        with open(self.out("fap", "--visemes")) as f:
            lines = f.read().splitlines()
        for mask, values in zip(lines[1::2], lines[2::2]):
            self.assertEqual(mask.split()[:3], ["1", "0", "1"])
            v = [int(t) for t in values.split()]
            self.assertEqual(len(v), 1 + 4 + 11)
            self.assertTrue(0 <= v[1] <= 14 and 0 <= v[2] <= 14 and 0 <= v[3] <= 63 and v[4] == 0)
        for args, fragment in [(["--format", "cues-tsv", "--shapes", "ABCDE"], "--shapes takes"),
                               (["--format", "cues-dat", "--fps", "120"], "from 24 to 100"),
                               (["--format", "cues-xml", "--fps", "30"], "--fps goes with"),
                               (["--visemes"], "--visemes goes with"),
                               (["--shapes", "ABCDEF"], "--shapes goes with"),
                               (["--format", "gltf", "--outputs", "visemes"], "own columns")]:
            r = subprocess.run([TOOL, *args, self.wav], capture_output=True, text=True)
            self.assertEqual(r.returncode, 2)
            self.assertIn(fragment, r.stderr)


if __name__ == "__main__":
    TOOL, NODE_MODULES, VALIDATE = (os.path.abspath(a) for a in sys.argv[1:4])
    del sys.argv[1:4]
    unittest.main(verbosity=1)
