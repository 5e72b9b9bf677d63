#!/usr/bin/env python3
"""zarvo-stream as its users run it.

files: --json lines of a file (and of the same speech piped from espeak-ng) are the library's
       frames as zarvo-fap writes them; bad addresses, name sets and no input device end
       with one line and status 2; no receiver: it runs on and counts.
fed:   the microphone (zarvo-feeder) says "Aah" twice between pauses; liblo's oscdump
       receives the VMC and Zarvo bundles of every frame until Ctrl-C, which ends it with
       status 0 and a summary.

Usage: test_zarvo_stream.py files|fed STREAM FAP FEEDER FED.conf NODEVICE.conf
"""
import csv
import io
import json
import math
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time

MODE, STREAM, FAP, FEEDER, FED_CONF, NODEVICE_CONF = sys.argv[1:7]
failures = 0


def check(ok, what):
    global failures
    print(("ok: " if ok else "FAILED: ") + what)
    failures += 0 if ok else 1


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def stream(*args, **kw):
    return subprocess.run([STREAM, *args], capture_output=True, text=True, timeout=60, **kw)


def files(tmp):
    wav = os.path.join(tmp, "hello.wav")  # 22050 Hz: resampled on the way in
    subprocess.run(["espeak-ng", "-w", wav, "Hello, what a lovely day."], check=True)
    got = stream("--json", "--no-realtime", wav)
    check(got.returncode == 0, "--json FILE --no-realtime: status 0 (%s)" % got.stderr.strip())
    frames = [json.loads(line) for line in got.stdout.splitlines()]
    rows = list(csv.DictReader(io.StringIO(subprocess.run(
        [FAP, "--articulate", "--outputs", "faps,visemes,vowels,blendshapes,shape", wav],
        capture_output=True, text=True, check=True).stdout)))
    check(len(frames) == len(rows) > 100, "a line per frame (%d, %d)" % (len(frames), len(rows)))
    worst, wrong = 0.0, []
    for f, r in zip(frames, rows):
        if not (f["index"] == int(r["index"]) and f["vol"] == int(r["vol"]) and
                f["shape"] == r["shape"] and len(f["faps"]) == 11 and
                all(v == int(r["fap" + k]) for k, v in f["faps"].items())):
            wrong.append(r["index"])
        pairs = [(f["time"], r["time"]), (f["level"], r["level"])]
        pairs += [(v, r["viseme_" + k]) for k, v in f["visemes"].items()]
        pairs += [(v, r["vowel_" + k]) for k, v in f["vowels"].items()]
        pairs += [(v, r[k]) for k, v in f["blendshapes"].items()]
        if len(pairs) != 2 + 15 + 5 + 22:
            wrong.append(r["index"])
        worst = max(worst, max(abs(a - float(b)) for a, b in pairs))
    check(not wrong, "index, vol, shape, FAPs and every name as zarvo-fap's (wrong: %s)"
          % wrong[:5])
    # zarvo-fap writes 6 decimals: at most half the last one apart, and some rounding.
    check(worst <= 5.1e-7, "times, levels and weights as zarvo-fap's (%.2e)" % worst)
    # A synthesiser's WAV on standard input states a placeholder length (0x7FFFF000).
    tts = subprocess.run(["espeak-ng", "--stdout", "Hello, what a lovely day."],
                         capture_output=True, check=True).stdout
    piped = subprocess.run([STREAM, "--json", "--no-realtime", "-"], input=tts,
                           capture_output=True, timeout=60)
    check(piped.returncode == 0 and piped.stdout.decode() == got.stdout,
          "espeak-ng --stdout | zarvo-stream -: the same frames (%s)" % piped.stderr.strip())

    port = free_port()  # nobody listens
    quiet = stream("--vmc", "127.0.0.1:%d" % port, "--osc", "localhost:%d" % port,
                   "--no-realtime", wav)
    want = "zarvo-stream: %d frames, " % len(frames)
    check(quiet.returncode == 0 and quiet.stderr.startswith(want) and
          quiet.stderr.count(": %d bundles, 0 failed" % len(frames)) == 2,
          "no receiver: runs on and counts (%s)" % quiet.stderr.strip())

    rated = stream("--vmc", "127.0.0.1:%d" % port, "--names", "visemes", "--rate", "30",
                   "--no-realtime", wav)
    sent = re.search(r"\(visemes\): (\d+) bundles", rated.stderr)
    check(rated.returncode == 0 and sent and abs(int(sent[1]) - len(frames) * 30 / 93.75) <= 1,
          "--rate 30: a bundle for every 3.125 windows (%s)" % rated.stderr.strip())

    nodevice = dict(os.environ, ALSA_CONFIG_PATH=NODEVICE_CONF)
    for args, env, said in [
            (["--vmc", "nohost.invalid"], None, 'unknown host "nohost.invalid"'),
            (["--vmc", "127.0.0.1:70000"], None, 'bad port "70000"'),
            (["--osc", "127.0.0.1:x"], None, 'bad port "x"'),
            (["--osc", "127.0.0.1"], None, "needs a port"),
            (["--vmc", "127.0.0.1", "--names", "VRM1"], None, 'unknown name set "VRM1"'),
            (["--json", "--names", "vrm1"], None, "--names goes with --vmc"),
            (["--vmc", "127.0.0.1"], nodevice, "no audio input device"),
            (["--json", "--input-device", "usb"], nodevice, 'no input device matches "usb"')]:
        bad = stream(*args, *([wav] if env is None else []), env=env)
        check(bad.returncode == 2 and bad.stdout == "" and bad.stderr.count("\n") == 1 and
              said in bad.stderr, "%s: status 2, one line (%r)" % (" ".join(args), bad.stderr))


def dump(path):
    """oscdump's lines grouped by bundle (the stamp it prints first): [[(path, types,
    args)]]."""
    bundles, stamp = [], None
    for line in open(path):
        words = line.split()
        if len(words) < 2:
            continue
        if words[0] != stamp:
            bundles.append([])
            stamp = words[0]
        types = words[2] if len(words) > 2 else ""
        bundles[-1].append((words[1], types, words[3:]))
    return bundles


def fed(tmp):
    wav, raw = os.path.join(tmp, "ah.wav"), os.path.join(tmp, "ah.raw")
    subprocess.run(["espeak-ng", "-w", wav, "Aah."], check=True)
    subprocess.run(["sox", wav, "-r", "48000", "-c", "1", "-b", "32", "-e", "floating-point",
                    "-t", "raw", raw, "pad", "0.6", "0.6", "repeat", "1"], check=True)
    seconds = os.path.getsize(raw) / 192000
    ports = [free_port(), free_port()]
    dumps = [os.path.join(tmp, "vmc.txt"), os.path.join(tmp, "zarvo.txt")]
    receivers = [subprocess.Popen(["oscdump", "-L", str(p)], stdout=open(d, "w"))
                 for p, d in zip(ports, dumps)]
    time.sleep(0.5)
    feeder = subprocess.Popen(
        [FEEDER, "--alsa-config", FED_CONF, raw, "--", STREAM, "--vmc", "127.0.0.1:%d" % ports[0],
         "--names", "vrm1", "--osc", "127.0.0.1:%d" % ports[1]],
        stderr=subprocess.PIPE, text=True)
    time.sleep(seconds + 1.0)
    with open("/proc/%d/task/%d/children" % (feeder.pid, feeder.pid)) as f:
        os.kill(int(f.read().split()[0]), signal.SIGINT)
    said = feeder.communicate(timeout=30)[1]
    time.sleep(0.3)
    for r in receivers:
        r.terminate()
        r.wait()
    print(said.strip())
    vmc, ours = dump(dumps[0]), dump(dumps[1])
    n = len(ours)
    check(feeder.returncode == 0 and
          said.endswith("; vmc 127.0.0.1:%d (vrm1): %d bundles, 0 failed; osc 127.0.0.1:%d: "
                        "%d bundles, 0 failed\n" % (ports[0], n, ports[1], n)) and
          said.startswith("zarvo-stream: %d frames" % n),
          "Ctrl-C: status 0, the summary counts every bundle received")
    check(len(vmc) == n > seconds * 90, "a VMC bundle per frame (%d, %d)" % (len(vmc), n))
    names = ["aa", "ih", "ou", "ee", "oh"]
    check(all([m[:2] for m in b] == [("/VMC/Ext/Blend/Val", "sf")] * 5 +
              [("/VMC/Ext/Blend/Apply", "")] and
              [m[2][0] for m in b[:5]] == ['"%s"' % v for v in names] and
              all(0 <= float(m[2][1]) <= 1 for m in b[:5]) for b in vmc),
          "VMC: /VMC/Ext/Blend/Val sf for aa ih ou ee oh, then /VMC/Ext/Blend/Apply")
    layout = [("/zarvo/faps", "d" + "i" * 11), ("/zarvo/visemes", "d" + "f" * 15),
              ("/zarvo/vowels", "d" + "f" * 5), ("/zarvo/blendshapes", "d" + "f" * 22),
              ("/zarvo/shape", "ds"), ("/zarvo/level", "df")]
    check(all([m[:2] for m in b] == layout for b in ours), "Zarvo: the six messages in order")
    times = [float(b[0][2][0]) for b in ours]
    check(all(all(m[2][0] == b[0][2][0] for m in b) for b in ours) and
          all(abs(t - 512 * (k + 1) / 48000) < 1e-5 for k, t in enumerate(times)),
          "each stamped with its window's centre, frame after frame")
    check(all(abs(sum(map(float, b[1][2][1:])) - 1) < 1e-4 and
              all(0 <= float(v) <= 1 for m in b[2:4] for v in m[2][1:]) and
              b[4][2][1].strip('"') in "ABCDEFGHX" and math.isfinite(float(b[5][2][1]))
              for b in ours), "visemes sum to 1, weights 0..1, a shape letter, a level")
    # The mouth: open in the two vowels, shut in the pauses around them.
    level = [float(b[5][2][1]) for b in ours]
    aa = [float(b[0][2][1]) for b in vmc]
    jaw = [float(b[3][2][1]) for b in ours]
    for name, w in [("aa", aa), ("jawOpen", jaw)]:
        opened = [k for k in range(1, n) if w[k] >= 0.5 > w[k - 1]]
        shut = [k for k in range(1, n) if w[k] < 0.1 <= w[k - 1]]
        loud = sorted(w[k] for k in range(n) if level[k] > 120)
        quiet = sorted(w[k] for k in range(n) if level[k] < 0)
        check(len(opened) == 2 and len(shut) == 2 and opened[0] < shut[0] < opened[1] < shut[1]
              and loud[len(loud) // 2] > 0.8 and quiet[len(quiet) // 2] < 0.05,
              "%s rises in each vowel, falls in the pauses (opens at %s, shuts at %s)"
              % (name, opened, shut))


with tempfile.TemporaryDirectory() as tmp:
    {"files": files, "fed": fed}[MODE](tmp)
sys.exit(1 if failures else 0)
