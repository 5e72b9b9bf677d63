#!/usr/bin/env python3
"""zarvo-fap on generated files: raw float32 and WAV variants that must all give the same
rows, and every kind of bad input, which must give exit 2, one stderr line, no stdout.

Usage: test_zarvo_fap.py PATH_TO_ZARVO_FAP
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import unittest

TOOL = None
HEADER = "index,time,level,vol,fap3,fap51,fap52,fap53,fap54,fap55,fap56,fap57,fap58,fap59,fap60"
# The model's rest shape against the neutral face: FAP 3, 51..60.
REST_FAPS = [-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75]
SILENT_LEVEL = -100.0  # the level of a window of exact digital silence

PCM_GUID_TAIL = bytes([0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71])


def chunk(tag, body, pad=True):
    data = tag + struct.pack("<I", len(body)) + body
    if pad and len(body) % 2:
        data += b"\0"
    return data


def fmt_body(code=3, channels=1, rate=48000, bits=32, block=None):
    block = channels * bits // 8 if block is None else block
    return struct.pack("<HHIIHH", code, channels, rate, rate * block, block, bits)


def ext_fmt_body(code, bits, valid=None, tail=PCM_GUID_TAIL):
    base = fmt_body(0xFFFE, 1, 48000, bits)
    valid = bits if valid is None else valid
    return base + struct.pack("<HHI", 22, valid, 4) + struct.pack("<I", code) + tail


def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def floats(samples):
    return struct.pack("<%df" % len(samples), *samples)


def int16s(samples):
    return struct.pack("<%dh" % len(samples), *samples)


def test_signal(n):
    """A loud, changing signal, already on the 16-bit grid so every variant is exact."""
    out = []
    for i in range(n):
        t = i / 48000.0
        v = 0.4 * math.sin(2 * math.pi * 200 * t) * (0.5 + 0.5 * math.sin(2 * math.pi * 4 * t))
        v += 0.2 * math.sin(2 * math.pi * 1300 * t)
        out.append(int(round(v * 32767)))
    return out


class Tool(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def file(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def run_tool(self, *args):
        return subprocess.run([TOOL, *args], capture_output=True, text=True)

    def rows(self, path):
        r = self.run_tool(path)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stderr, "")
        lines = r.stdout.splitlines()
        self.assertEqual(lines[0], HEADER)
        rows = [line.split(",") for line in lines[1:]]
        for k, row in enumerate(rows):
            self.assertEqual(len(row), 15)
            self.assertEqual(int(row[0]), k)
            self.assertEqual(row[1], "%.6f" % (512 * (k + 1) / 48000))  # the window's centre
        return r.stdout, [row[:1] + row[2:] for row in rows]

    def bad(self, path_or_args, fragment):
        args = path_or_args if isinstance(path_or_args, list) else [path_or_args]
        r = self.run_tool(*args)
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertEqual(r.stdout, "")
        self.assertEqual(r.stderr.count("\n"), 1, r.stderr)
        self.assertTrue(r.stderr.endswith("\n"))
        self.assertIn(fragment, r.stderr)


class GoodInput(Tool):
    def test_all_encodings_give_the_same_rows(self):
        n = 1024 + 9 * 512 + 100
        ints = test_signal(n)
        as_float = [v / 32768.0 for v in ints]
        raw = self.file("a.f32", floats(as_float))
        reference, rows = self.rows(raw)
        self.assertEqual(len(rows), 10)

        variants = {
            "float.wav": riff(chunk(b"fmt ", fmt_body()), chunk(b"data", floats(as_float))),
            "pcm16.wav": riff(chunk(b"fmt ", fmt_body(1, bits=16)), chunk(b"data", int16s(ints))),
            "ext_float.wav": riff(chunk(b"fmt ", ext_fmt_body(3, 32)), chunk(b"data", floats(as_float))),
            "ext_pcm.wav": riff(chunk(b"fmt ", ext_fmt_body(1, 16)), chunk(b"data", int16s(ints))),
            # Unknown chunks, one of odd length with its pad byte, data before fmt, and a
            # wrong RIFF size.
            "chunks.wav": b"RIFF" + struct.pack("<I", 12345) + b"WAVE"
            + chunk(b"LIST", b"INFOISFT\x05\0\0\0zarvo")
            + chunk(b"junk", b"abc")
            + chunk(b"data", int16s(ints))
            + chunk(b"fact", struct.pack("<I", n))
            + chunk(b"fmt ", fmt_body(1, bits=16)),
            # fmt with an 18-byte body (cbSize 0) and trailing chunks after data.
            "fmt18.wav": riff(chunk(b"fmt ", fmt_body() + b"\0\0"), chunk(b"data", floats(as_float)),
                              chunk(b"LIST", b"x" * 7)),
        }
        for name, data in variants.items():
            with self.subTest(name):
                out, _ = self.rows(self.file(name, data))
                self.assertEqual(out, reference)

    def test_odd_data_chunk_last_without_pad_byte(self):
        # A float data chunk is never odd, but an odd unknown chunk may end the file
        # without its pad byte; the data before it is intact.
        ints = test_signal(2048)
        data = riff(chunk(b"fmt ", fmt_body(1, bits=16)), chunk(b"data", int16s(ints)),
                    chunk(b"note", b"xyz", pad=False))
        _, rows = self.rows(self.file("tail.wav", data))
        self.assertEqual(len(rows), 3)

    def test_row_count_follows_the_live_windowing(self):
        for n, expected in [(0, 0), (1, 0), (1023, 0), (1024, 1), (1535, 1), (1536, 2), (4096, 7)]:
            with self.subTest(n=n):
                data = riff(chunk(b"fmt ", fmt_body()), chunk(b"data", floats([0.1] * n)))
                _, rows = self.rows(self.file("n.wav", data))
                self.assertEqual(len(rows), expected)

    def test_levels_and_gate(self):
        for value, level, vol in [(0.1, 120.206, 120), (0.01, 80.206, 80), (0.001, 40.206, 40)]:
            with self.subTest(value=value):
                _, rows = self.rows(self.file("c.f32", floats([value] * 2048)))
                for row in rows:
                    self.assertAlmostEqual(float(row[1]), level, places=3)
                    self.assertEqual(int(row[2]), vol)
                if value == 0.001:
                    for row in rows:
                        self.assertEqual([int(v) for v in row[3:]], REST_FAPS)

    def test_digital_silence_and_broken_samples(self):
        nan = struct.pack("<I", 0x7FC00000)
        inf = struct.pack("<f", float("inf"))
        for name, data in [("zero.f32", floats([0.0] * 4096)),
                           ("nan.f32", (floats([0.3] * 700) + nan) * 8),
                           ("inf.f32", (inf + floats([0.3] * 511)) * 8)]:
            with self.subTest(name):
                _, rows = self.rows(self.file(name, data))
                self.assertEqual(len(rows), 1 + (len(data) // 4 - 1024) // 512)
                for row in rows:
                    self.assertAlmostEqual(float(row[1]), SILENT_LEVEL, places=5)
                    self.assertEqual(int(row[2]), -100)
                    self.assertEqual([int(v) for v in row[3:]], REST_FAPS)

    def test_loud_changing_signal_moves_the_jaw(self):
        _, rows = self.rows(self.file("s.f32", floats([v / 32768.0 for v in test_signal(48000)])))
        jaw = {int(row[3]) for row in rows}
        self.assertGreater(len(jaw), 2)

    def test_other_sample_formats_are_read(self):
        # Rates, channel counts and sample formats other than 48 kHz mono 16-bit/float:
        # resampled, averaged and converted; the rows follow from the length in time.
        data = chunk(b"data", b"\0" * 24576)
        cases = {
            "44100 Hz": (fmt_body(rate=44100), 1 + (6687 - 1024) // 512),
            "2 channels": (fmt_body(channels=2), 1 + (3072 - 1024) // 512),
            "24-bit PCM": (fmt_body(1, bits=24), 1 + (8192 - 1024) // 512),
            "8-bit PCM": (fmt_body(1, bits=8), 1 + (24576 - 1024) // 512),
            "64-bit float": (fmt_body(3, bits=64), 1 + (3072 - 1024) // 512),
        }
        for name, (fmt, rows) in cases.items():
            with self.subTest(name):
                _, got = self.rows(self.file("fmt.wav", riff(chunk(b"fmt ", fmt), data)))
                self.assertIn(len(got), [rows, rows + 1] if name == "44100 Hz" else [rows])


class BadInput(Tool):
    def test_arguments(self):
        self.bad([], "usage")
        self.bad(["a", "b"], "usage")

    def test_unreadable(self):
        self.bad(os.path.join(self.dir.name, "missing.wav"), "cannot open")
        self.bad(self.dir.name, "read error")
        self.bad(self.file("empty.f32", b""), "empty file")
        self.bad(self.file("x.aiff", b"FORM\0\0\0\x20AIFF" + b"\0" * 30), "not a readable audio file")

    def test_truncated_raw(self):
        self.bad(self.file("odd.f32", floats([0.1] * 2000) + b"\1\2\3"), "truncated raw float32")

    def test_broken_wav(self):
        fmt = chunk(b"fmt ", fmt_body())
        data = chunk(b"data", floats([0.1] * 2000))
        cases = {
            "truncated WAV header": b"RIFF\x10\0\0\0WAV",
            "not WAVE": b"RIFF\x10\0\0\0AVI LIST\0\0\0\0",
            "truncated data chunk": riff(fmt, data)[:-5],
            "no data chunk": riff(fmt, chunk(b"LIST", b"abcd")),
            "no fmt chunk": riff(data),
            "truncated chunk header": riff(fmt, b"dat"),
            "fmt chunk too short": riff(chunk(b"fmt ", fmt_body()[:12]), data),
            "truncated fmt chunk": riff(fmt)[:-4],
            "whole number of 2-byte samples": riff(chunk(b"fmt ", fmt_body(1, bits=16)),
                                                   chunk(b"data", b"\0" * 2049)),
            # libsndfile's own words for what it cannot decode.
            "unimplemented format": riff(chunk(b"fmt ", ext_fmt_body(3, 32, tail=b"\1" * 12)), data),
            "Malformed 'fmt ' chunk": riff(chunk(b"fmt ", fmt_body(2, bits=4)), data),
            "valid bits": riff(chunk(b"fmt ", ext_fmt_body(1, 16, valid=24)), data),
            "EXTENSIBLE fmt chunk too short": riff(chunk(b"fmt ", fmt_body(0xFFFE)), data),
            "block align": riff(chunk(b"fmt ", fmt_body(block=8)), data),
            "not a readable audio file": b"RIFX" + riff(fmt, data)[4:],
        }
        for fragment, content in cases.items():
            with self.subTest(fragment):
                self.bad(self.file("bad.wav", content), fragment)


if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
