#!/usr/bin/env python3
"""The whole program in a real window, with a recording for its microphone: started under
a virtual X server (run this inside xvfb-run) by zarvo-feeder on the fed ALSA device; Enter
starts the live mode, and screenshots taken while it runs must show the mouth moving with
the speech.

Usage: live_x11.py --zarvo BUILD/zarvo --feeder BUILD/tools/zarvo-feeder
                   --alsa-config tests/speech/alsa-fed.conf --raw SPEECH.raw --data DIR
                   [--shots DIR] [--gif FILE]
DIR holds vertex.txt and face.txt (copied into a scratch working directory, where the
program also writes log.txt); without them the test is skipped (exit status 77).
--shots keeps the screenshots there; --gif makes an animated picture of the run.
"""
import argparse
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from x11_support import (MENU_BAR, Program, check, is_skin, is_white, run,  # noqa: E402
                         with_mesh)


class Fed(Program):
    """zarvo started by zarvo-feeder: `args` runs the feeder, the program its child."""

    def __init__(self, args, cwd):
        super().__init__(args, cwd)
        self.focus()

    def stop(self):
        # SIGTERM, not SIGKILL: the feeder passes it on to the program and waits for it, so
        # the program is gone too when this returns.
        self.proc.terminate()
        self.proc.wait(timeout=10)


def head_box(img):
    """Bounding box (x0, y0, x1, y1) of the skin pixels of the client area."""
    xs, ys = [], []
    for y in range(MENU_BAR, img.height, 2):
        for x in range(0, img.width, 2):
            if is_skin(img.rgb(x, y)):
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs), max(ys)) if xs else None


def is_mouth(p):
    """What shows through the open mouth: the grey of the pocket's back, or background."""
    r, g, b = p
    return is_white(p) or (abs(r - g) < 12 and abs(g - b) < 12 and r < 200)


def mouth_opening(img):
    """Pixels enclosed by skin in their row that are not skin but the mouth's inside or
    background (every second row and column): the open mouth."""
    n = 0
    for y in range(MENU_BAR, img.height, 2):
        row = [img.rgb(x, y) for x in range(0, img.width, 2)]
        skin = [i for i, p in enumerate(row) if is_skin(p)]
        if len(skin) >= 2:
            n += sum(1 for p in row[skin[0]:skin[-1]] if is_mouth(p))
    return n


def scenario(p, cwd, shots, gif):
    neutral = p.settle()
    check(head_box(neutral) is not None, "the head is drawn before the live mode")

    # Enter starts the live mode; the window thread is then busy drawing live frames for
    # a second or two and answers no events, so keep grabbing until the picture rests.
    run("xdotool", "key", "Return")
    live = []
    start = time.time()
    still = 0
    while time.time() - start < 15:
        img = p.grab()
        if live and img.pixels == live[-1].pixels:
            still += 1
            if still >= 8 and len(live) > 1:
                break
            continue
        still = 0
        if img.pixels != neutral.pixels:
            live.append(img)
    print("%d different live pictures in %.1f s" % (len(live), live[-1].when - start if live else 0))

    if shots:
        os.makedirs(shots, exist_ok=True)
        for k, img in enumerate([neutral] + live):
            with open(os.path.join(shots, "live-%02d.ppm" % k), "wb") as f:
                f.write(img.data)
    if gif:
        with tempfile.TemporaryDirectory() as tmp:
            names = []
            for k, img in enumerate(live):
                name = os.path.join(tmp, "f%03d.ppm" % k)
                with open(name, "wb") as f:
                    f.write(img.data)
                names.append(name)
            # Real time between the grabs, cropped to the head, half size, 48 colours.
            cmd = ["convert", "-loop", "0"]
            for k, name in enumerate(names):
                nxt = live[k + 1].when if k + 1 < len(live) else live[k].when + 1.0
                cmd += ["-delay", str(max(2, round((nxt - live[k].when) * 100))), name]
            pad = 20
            bx0, by0, bx1, by1 = head_box(live[0]) or (0, MENU_BAR, live[0].width - 1, live[0].height - 1)
            crop = "%dx%d+%d+%d" % (bx1 - bx0 + 2 * pad, by1 - by0 + 2 * pad,
                                    max(0, bx0 - pad), max(0, by0 - pad))
            cmd += ["-crop", crop, "+repage", "-resize", "50%", "-fuzz", "3%",
                    "-layers", "OptimizeTransparency", "-colors", "48", gif]
            run(*cmd, timeout=120)
        print("wrote", gif)

    with open(os.path.join(cwd, "log.txt")) as f:
        check(f.read() == "...", "log.txt holds three full stops after one run")
    check(len(live) >= 5, "the picture changes all through the live run")

    # The mouth opens and closes with the speech: among the live frames some show it
    # wide open, others nearly closed.
    openings = [mouth_opening(img) for img in live]
    print("mouth opening (pixels of the mouth's inside, quarter sampled): neutral %d, "
          "live %s" % (mouth_opening(neutral), openings))
    check(max(openings) >= 200, "a live frame shows the mouth wide open")
    check(min(openings) * 4 <= max(openings), "another shows it nearly closed")
    swings = sum(1 for a, b in zip(openings, openings[1:]) if abs(a - b) >= 50)
    check(swings >= 4, "the mouth opens and closes several times")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zarvo", required=True)
    ap.add_argument("--feeder", required=True)
    ap.add_argument("--alsa-config", required=True)
    ap.add_argument("--raw", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--shots")
    ap.add_argument("--gif")
    a = ap.parse_args()
    args = [os.path.abspath(a.feeder), "--alsa-config", os.path.abspath(a.alsa_config),
            os.path.abspath(a.raw), "--", os.path.abspath(a.zarvo)]

    def body(cwd):
        with Fed(args, cwd) as p:
            scenario(p, cwd, a.shots, a.gif)

    return with_mesh(a.data, "zarvo-live-x11-", body)


if __name__ == "__main__":
    sys.exit(main())
