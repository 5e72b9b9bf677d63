#!/usr/bin/env python3
"""zarvo-fap as a user runs it: common audio formats made with sox from espeak-ng speech,
the three output formats, output files, write errors and the inputs it must refuse.

Usage: test_zarvo_fap_cli.py PATH_TO_ZARVO_FAP PATH_TO_MAKE_SPEECH_SH
"""
import json
from fractions import Fraction
import os
import pty
import select
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

TOOL = None
MAKE_SPEECH = None
FAPS = [3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60]
RAW48 = ["-t", "raw", "-r", "48000", "-e", "floating-point", "-b", "32", "-c", "1"]


def run(*args, **kw):
    return subprocess.run([TOOL, *args], capture_output=True, **kw)


def without_time(row):
    """index, level, vol, FAPs: a row less its time, checked to be the window's centre."""
    assert abs(row[1] - 512 * (row[0] + 1) / 48000) < 5e-7, row[:2]
    return row[:1] + row[2:]


def csv_rows(text):
    lines = text.splitlines()
    assert lines[0].startswith("index,time,level,vol,fap3"), lines[0]
    return [without_time([float(v) if i in (1, 2) else int(v)
                          for i, v in enumerate(line.split(","))]) for line in lines[1:]]


def correlation(a, b):
    ma, mb = sum(a) / len(a), sum(b) / len(b)
    va = sum((x - ma) ** 2 for x in a)
    vb = sum((y - mb) ** 2 for y in b)
    return sum((x - ma) * (y - mb) for x, y in zip(a, b)) / (va * vb) ** 0.5


def window_for_frame(k, fps):
    """The frame rule, worked independently: nearest centre 512 (i + 1), ties earlier."""
    t = Fraction(k * 48000, fps)
    near = int(t / 512)
    return min(range(max(0, near - 3), near + 3), key=lambda i: (abs(512 * (i + 1) - t), i))


class Cli(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        d = cls.tmp.name
        cls.raw = os.path.join(d, "speech.raw")
        subprocess.run(["sh", MAKE_SPEECH, cls.raw], check=True, capture_output=True)
        r = run(cls.raw, text=True)
        assert r.returncode == 0, r.stderr
        cls.reference = csv_rows(r.stdout)
        cls.reference_csv = r.stdout

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.tmp.name, name)

    def sox(self, name, *out_args):
        path = self.path(name)
        if not os.path.exists(path):
            subprocess.run(["sox", *RAW48, self.raw, "-D", *out_args, path], check=True,
                           capture_output=True)
        return path

    def assert_bad(self, r, status, fragment):
        self.assertEqual(r.returncode, status, r.stderr)
        err = r.stderr.decode() if isinstance(r.stderr, bytes) else r.stderr
        self.assertEqual(err.count("\n"), 1, err)
        self.assertIn(fragment, err)

    def test_common_formats_follow_the_48k_analysis(self):
        # (file, sox output options, lag in windows): every format gives the jaw movement of
        # the 48 kHz original; MP3 decodes with its codec delay (about 1100 samples) in front.
        cases = [("s.flac", [], 0), ("s.ogg", ["-r", "44100", "-c", "2"], 0),
                 ("s.mp3", ["-r", "44100"], 2), ("s44.wav", ["-b", "16", "-r", "44100"], 0),
                 ("st.wav", ["-b", "16", "-c", "2"], 0), ("s24.wav", ["-b", "24"], 0),
                 ("s32.wav", ["-b", "32", "-e", "signed-integer"], 0),
                 ("s22.aiff", ["-b", "16", "-r", "22050"], 0)]
        speech = [i for i, row in enumerate(self.reference) if row[2] >= 50]
        self.assertGreater(len(speech), 150)
        for name, opts, lag in cases:
            with self.subTest(name):
                r = run(self.sox(name, *opts), text=True)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(r.stderr, "")
                rows = csv_rows(r.stdout)
                self.assertLessEqual(abs(len(rows) - len(self.reference)), 4 if lag else 1)
                jaw = correlation([self.reference[i][3] for i in speech],
                                  [rows[i + lag][3] for i in speech])
                self.assertGreaterEqual(jaw, 0.95)
        # A pipe: sox writes a WAV of unknown length to standard input.
        sox = subprocess.Popen(["sox", *RAW48, self.raw, "-t", "wav", "-"], stdout=subprocess.PIPE)
        r = subprocess.run([TOOL, "-"], stdin=sox.stdout, capture_output=True, text=True)
        sox.wait()
        sox.stdout.close()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout, self.reference_csv)
        # sox decoding an MP3 into a pipe states the length it estimates, 1152 samples more
        # than there are: from a pipe that is the input's end, from a file a cut.
        streamed = subprocess.run(["sox", self.sox("p.mp3"), "-t", "wav", "-"], check=True,
                                  capture_output=True).stdout
        cut = self.path("streamed.wav")
        with open(cut, "wb") as f:
            f.write(streamed)
        r = subprocess.run([TOOL, "-"], input=streamed, capture_output=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stderr.decode(), "zarvo-fap: -: note: the WAV data ends 2304 bytes "
                         "(0.024 s) before its declared length; read as the end of a streamed "
                         "input\n")
        self.assertEqual(len(csv_rows(r.stdout.decode())), ((len(streamed) - 44) // 2 - 1024) // 512 + 1)
        self.assert_bad(run(cut), 2, "truncated data chunk: header declares 605952 bytes, file holds 603648")

    def test_output_formats_and_files(self):
        d = self.path("out")
        os.makedirs(d, exist_ok=True)
        wav = self.sox("o.wav", "-b", "32", "-e", "floating-point")
        # JSON: the same rows as the CSV.
        r = run(wav, "--format", "json", text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        doc = json.loads(r.stdout)
        self.assertEqual((doc["sample_rate"], doc["hop"], doc["window"], doc["faps"]),
                         (48000, 512, 1024, FAPS))
        self.assertEqual(doc["columns"][:4], ["index", "time", "level", "vol"])
        self.assertEqual([without_time(row) for row in doc["rows"]], self.reference)
        # FAP file to -o FILE at 30 fps: header, 68-token masks, values by the frame rule.
        out = os.path.join(d, "speech.fap")
        r = run(wav, "--format=fap", "--fps", "30", "-o", out, text=True)
        self.assertEqual((r.returncode, r.stdout, r.stderr), (0, "", ""))
        with open(out) as f:
            lines = f.read().splitlines()
        samples = os.path.getsize(self.raw) // 4
        frames = -(-samples * 30 // 48000)
        self.assertEqual(lines[0], "2.1 o 30 %d" % frames)
        self.assertEqual(len(lines), 1 + 2 * frames)
        mask = ["1" if k in FAPS else "0" for k in range(1, 69)]
        for k in range(frames):
            self.assertEqual(lines[1 + 2 * k].split(), mask)
            i = min(window_for_frame(k, 30), len(self.reference) - 1)
            self.assertEqual([int(v) for v in lines[2 + 2 * k].split()],
                             [k] + self.reference[i][3:], k)
        self.assertEqual(os.listdir(d), ["speech.fap"])
        # Several inputs into a directory, one file each, named after the input.
        r = run(wav, self.raw, "-o", d + "/", text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(sorted(os.listdir(d)), ["o.csv", "speech.csv", "speech.fap"])
        with open(os.path.join(d, "speech.csv")) as f:
            self.assertEqual(f.read(), self.reference_csv)
        umask = os.umask(0)
        os.umask(umask)
        self.assertEqual(stat.S_IMODE(os.stat(os.path.join(d, "o.csv")).st_mode), 0o666 & ~umask)
        self.assertRegex(run("--version", text=True).stdout, r"^zarvo-fap \d+\.\d+\n$")
        for args, fragment in [(["--fps", "30", wav], "--fps goes with --format fap"),
                               (["-j", "0", wav], "-j takes a whole number"),
                               (["--fps", "25.5", wav], "--fps takes a whole number"),
                               (["--fps", "0", wav], "--fps"), (["--format", "xml", wav], "format"),
                               ([wav, self.raw], "several inputs need -o DIR/"),
                               ([wav, wav, "-o", d], "would both write o.csv"),
                               ([wav, "-o", wav], "would replace its own input")]:
            with self.subTest(args):
                self.assert_bad(run(*args, text=True), 2, fragment)

    def test_write_errors_stop_at_once(self):
        wav = self.sox("o.wav", "-b", "32", "-e", "floating-point")
        with open("/dev/full", "w") as full:
            r = subprocess.run([TOOL, wav], stdout=full, stderr=subprocess.PIPE, text=True)
        self.assert_bad(r, 1, "cannot write standard output: No space left on device")
        # A reader that goes away: the next write fails with a broken pipe.
        zero = self.path("long.f32")
        with open(zero, "wb") as f:
            f.truncate(4 * 48000 * 600)  # ten minutes of digital silence, sparse
        p = subprocess.Popen([TOOL, zero], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        p.stdout.read(100)
        p.stdout.close()
        self.assertEqual(p.wait(timeout=60), 1)
        err = p.stderr.read().decode()
        p.stderr.close()
        self.assertEqual(err, "zarvo-fap: cannot write standard output: Broken pipe\n")
        r = run(wav, "-o", self.path("no/such/dir/x.csv"), text=True)
        self.assert_bad(r, 1, "cannot create: No such file or directory")

    def test_a_signal_leaves_nothing(self):
        # An endless input, stopped by each of the signals once its output file is being
        # written: the tool ends by the signal and its temporary file is gone with it.
        d = self.path("signalled")
        os.makedirs(d, exist_ok=True)
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(sig):
                p = subprocess.Popen([TOOL, "--raw", "--max-seconds", "0", "/dev/zero",
                                      "-o", os.path.join(d, "out.csv")],
                                     stderr=subprocess.PIPE)
                for _ in range(6000):  # hang guard: a minute of polls
                    if os.listdir(d) or p.poll() is not None:
                        break
                    time.sleep(0.01)
                self.assertIsNone(p.poll())  # /dev/zero never ends: only a signal stops it
                self.assertTrue(os.listdir(d)[0].startswith(".out.csv."))
                p.send_signal(sig)
                self.assertEqual(p.wait(timeout=60), -sig)
                self.assertEqual(p.stderr.read(), b"")
                p.stderr.close()
                self.assertEqual(os.listdir(d), [])

    def test_bad_input_leaves_nothing(self):
        d = self.path("bad")
        os.makedirs(d, exist_ok=True)
        with open(self.sox("c.flac"), "rb") as f:
            flac = f.read()
        cut = os.path.join(d, "cut.flac")
        with open(cut, "wb") as f:
            f.write(flac[:len(flac) // 2])
        text = os.path.join(d, "notes.txt")
        with open(text, "w") as f:
            f.write("this is not audio\n" * 100)
        fifo = os.path.join(d, "fifo")
        os.mkfifo(fifo)
        cases = [([text], "not a readable audio file (Format not recognised"),
                 ([cut], "truncated: the header announces"),
                 ([self.path("missing.wav")], "cannot open: No such file"),
                 ([d], "read error: Is a directory"),
                 (["/proc/self/mem"], "read error: Input/output error"),
                 ([os.path.join(d, "empty.wav")], "empty file"),
                 (["--raw", "--max-seconds", "60", "/dev/zero"], "longer than the limit of 60 s"),
                 ([fifo], "nothing arrived within 5 s (a FIFO without a writer?)")]
        open(os.path.join(d, "empty.wav"), "w").close()
        before = sorted(os.listdir(d))
        for args, fragment in cases:
            with self.subTest(args):
                out = os.path.join(d, "out.fap")
                # The FIFO without a writer is given up after its wait; the timeout only
                # guards against a hang.
                r = run(*args, "--format", "fap", "-o", out, text=True, timeout=60)
                self.assert_bad(r, 2, fragment)
                self.assertIn(args[-1], r.stderr)
                self.assertEqual(sorted(os.listdir(d)), before)
        # A bad input among good ones: the others are written, the status tells.
        r = run(text, self.raw, "-o", d, text=True)
        self.assert_bad(r, 2, "notes.txt: not a readable audio file")
        self.assertEqual(sorted(os.listdir(d)), sorted(before + ["speech.csv"]))

    def test_progress_bar_only_on_a_terminal(self):
        zero = self.path("longer.f32")
        with open(zero, "wb") as f:
            f.truncate(4 * 48000 * 1800)  # half an hour: long enough to be drawn
        out = self.path("progress.csv")
        dir_out = self.path("progress/")
        os.makedirs(dir_out, exist_ok=True)
        master, slave = pty.openpty()
        p = subprocess.Popen([TOOL, self.raw, zero, "-o", dir_out], stderr=slave)
        os.close(slave)
        seen = b""
        while True:
            ready, _, _ = select.select([master], [], [], 60)
            try:
                chunk = os.read(master, 4096) if ready else b""
            except OSError:
                chunk = b""
            if not chunk:
                break
            seen += chunk
        self.assertEqual(p.wait(timeout=60), 0)
        os.close(master)
        text = seen.decode()
        self.assertIn("file 2 of 2  longer ", text)
        self.assertIn("% ", text)
        self.assertIn("of 1800.0 s", text)
        self.assertIn("\u00d7 real time", text)
        self.assertTrue(text.endswith("\r\x1b[K"), repr(text[-20:]))
        r = run(zero, "-o", out, text=True)
        self.assertEqual((r.returncode, r.stderr), (0, ""))


if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv.pop(1))
    MAKE_SPEECH = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
