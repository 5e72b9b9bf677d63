#!/usr/bin/env python3
"""How long zarvo-stream takes from the microphone to the network: the fed device
(zarvo-feeder, tests/speech/alsa-fed.conf) plays the speech recording over and over as the
microphone, zarvo-stream sends Zarvo's OSC namespace to a UDP socket here, and for every
datagram the time from the feeder putting the window's last chunk into the device to the
datagram's arrival is taken (both on the steady clock, CLOCK_MONOTONIC).

That span holds the device, the analysis (the visemes and the articulated FAPs look at past
windows only, so nothing waits for a later one) and the send. The sound a frame describes is
centred half a window (10.7 ms) before its window's last sample; that figure is printed too.

Usage: tools/stream-latency.py [--build DIR] [--seconds S] [-- zarvo-stream options]
"""
import argparse
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def frame_time(datagram):
    """The window centre (seconds) stamped on the first message of a /zarvo bundle."""
    at = datagram.find(b"/zarvo/")
    if at < 0:
        return None
    path_end = datagram.index(b"\0", at)
    tags = (path_end + 4) & ~3
    tags_end = datagram.index(b"\0", tags)
    return struct.unpack(">d", datagram[(tags_end + 4) & ~3:][:8])[0]


def percentile(values, q):
    s = sorted(values)
    return s[int(q * (len(s) - 1) + 0.5)]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(root, "build"))
    ap.add_argument("--seconds", type=float, default=30)
    ap.add_argument("extra", nargs="*", help="more zarvo-stream options (after --)")
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(a.build, "tests", "speech", "speech.raw")
        if not os.path.exists(raw):
            subprocess.run([os.path.join(root, "tests", "speech", "make-speech.sh"), raw],
                           check=True)
        speech = open(raw, "rb").read()
        long_raw = os.path.join(tmp, "long.raw")
        with open(long_raw, "wb") as f:
            f.write(speech * (int(a.seconds * 192000 / len(speech)) + 2))
        sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        sock.bind(("127.0.0.1", 0))
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
        sock.settimeout(0.5)
        log = os.path.join(tmp, "chunks")
        cmd = [os.path.join(a.build, "tools", "zarvo-feeder"), "--alsa-config",
               os.path.join(root, "tests", "speech", "alsa-fed.conf"), "--log", log, long_raw,
               "--", os.path.join(a.build, "zarvo-stream"),
               "--osc", "127.0.0.1:%d" % sock.getsockname()[1]] + a.extra
        feeder = subprocess.Popen(cmd, stderr=subprocess.PIPE, text=True)
        arrivals = []
        end = time.monotonic() + a.seconds
        while time.monotonic() < end:
            try:
                data = sock.recv(65536)
            except socket.timeout:
                continue
            arrivals.append((time.monotonic_ns(), frame_time(data)))
        # Ctrl-C to zarvo-stream alone: the feeder stops feeding once it is asked to end,
        # and a capture device that stops delivering holds up the closing of the stream.
        with open("/proc/%d/task/%d/children" % (feeder.pid, feeder.pid)) as f:
            os.kill(int(f.read().split()[0]), signal.SIGINT)
        summary = feeder.communicate(timeout=20)[1].strip()
        chunks = {}
        for line in open(log):
            index, ns = line.split()
            chunks[int(index)] = int(ns)
    # Window i ends at sample 512 i + 1024: chunk i + 1 of the recording completes it. The
    # first two chunks wait in the device before capture starts.
    spans = []
    for ns, t in arrivals:
        if t is None:
            continue
        chunk = round(t * 48000 / 512)
        if chunk >= 2 and chunk in chunks:
            spans.append((ns - chunks[chunk]) / 1e6)
    if not spans:
        print("no frames arrived; zarvo-stream said: %s" % summary, file=sys.stderr)
        return 1
    print("zarvo-stream: %s" % summary.replace("zarvo-stream: ", ""))
    print("window's last sample -> datagram: median %.1f ms, 95th percentile %.1f ms, "
          "max %.1f ms (%d frames)" % (percentile(spans, 0.5), percentile(spans, 0.95),
                                        max(spans), len(spans)))
    print("window's centre -> datagram:      median %.1f ms, 95th percentile %.1f ms"
          % (percentile(spans, 0.5) + 10.67, percentile(spans, 0.95) + 10.67))
    return 0


if __name__ == "__main__":
    sys.exit(main())
