#!/usr/bin/env python3
"""The program in a real window: started under a virtual X server (run this inside
xvfb-run), driven with xdotool, looked at through screenshots.

Usage: window_x11.py --zarvo BUILD/zarvo --data DIR [--shots DIR]
DIR holds vertex.txt and face.txt; they are copied into a scratch working directory so
the program's own files (log.txt) stay out of the source tree. Without them the test is
skipped (exit status 77). --shots saves the screenshots named in SHOTS there.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

TITLE = "MPEG-4 szabványos 'Zarvo' - 1.7v"
MENU_BAR = 25  # pixels of the menu bar above the OpenGL client area
SKIP = 77


class Image:
    """A screenshot as RGB bytes, rows from the top."""

    def __init__(self, data):
        parts = data.split(maxsplit=4)  # P6, width, height, maxval, pixels
        if parts[0] != b"P6":
            raise ValueError("not a binary PPM")
        self.width, self.height = int(parts[1]), int(parts[2])
        self.pixels = parts[4]

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def count(self, test, x0, y0, x1, y1):
        return sum(1 for y in range(y0, y1) for x in range(x0, x1) if test(self.rgb(x, y)))


def is_white(p):
    return p == (255, 255, 255)


def is_skin(p):
    r, g, b = p
    return r > g > b and r - b > 30 and 90 < r < 250


def is_blue(p):
    r, g, b = p
    return b > 90 and r < 40 and g < 40


def is_red(p):
    r, g, b = p
    return r > 70 and g < 40 and b < 40


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what)


def run(*args, timeout=20):
    return subprocess.run(args, check=True, capture_output=True, timeout=timeout).stdout


class Program:
    def __init__(self, zarvo, cwd):
        self.proc = subprocess.Popen([zarvo], cwd=cwd)
        out = run("xdotool", "search", "--sync", "--name", "Zarvo", timeout=30)
        self.wid = None
        for wid in out.split():
            if run("xdotool", "getwindowname", wid).decode().rstrip("\n") == TITLE:
                self.wid = wid.decode()
        check(self.wid is not None, "a window titled exactly %r" % TITLE)
        self.settle()
        # Without a window manager the pointer decides nothing; give the window the focus.
        run("xdotool", "mousemove", "--window", self.wid, "300", "300")
        run("xdotool", "windowfocus", "--sync", self.wid)

    def grab(self):
        return Image(run("import", "-window", self.wid, "-depth", "8", "ppm:-"))

    def settle(self, timeout=10.0):
        """Waits until two screenshots a moment apart agree; returns the last."""
        last = self.grab()
        end = time.time() + timeout
        while time.time() < end:
            time.sleep(0.3)
            now = self.grab()
            if now.pixels == last.pixels:
                return now
            last = now
        return last

    def save(self, path):
        run("import", "-window", self.wid, path)

    def key(self, *keys):
        """Presses the keys in turn; returns the settled picture."""
        self.press(*keys)
        return self.settle()

    def press(self, *keys):
        run("xdotool", "key", "--delay", "80", *keys)

    def wait(self, timeout=15):
        return self.proc.wait(timeout=timeout)


def viewport(img):
    """Centre and half side of the square drawing area at the client's bottom-left."""
    client_h = img.height - MENU_BAR
    side = min(img.width, client_h)
    return side // 2, MENU_BAR + client_h - side // 2, side // 2


def scenario(p, shots):
    img = p.settle()
    cx, cy, half = viewport(img)
    check(img.width == 576 and img.height == 720, "window of 576 x 720 pixels")
    box = (cx - 40, cy - 40, cx + 40, cy + 40)
    check(img.count(is_skin, *box) > 0.8 * 80 * 80, "shaded skin in the middle")
    check(img.count(is_white, 0, MENU_BAR + 2, 40, MENU_BAR + 42) == 40 * 40,
          "white background at the top-left of the client area")
    lit = [img.rgb(x, cy) for x in range(cx - 100, cx + 101, 10)]
    check(len(set(lit)) > 3, "the shading varies across the face")
    if shots:
        p.save(os.path.join(shots, "window-polygon.png"))

    p.press("Escape")
    check(p.wait() == 0, "Escape ends the program with status 0")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zarvo", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--shots")
    a = ap.parse_args()
    files = [os.path.join(a.data, f) for f in ("vertex.txt", "face.txt")]
    if not all(os.path.isfile(f) for f in files):
        print("skipped: no vertex.txt and face.txt in", a.data)
        return SKIP
    with tempfile.TemporaryDirectory(prefix="zarvo-x11-") as cwd:
        for f in files:
            shutil.copy(f, cwd)
        p = None
        try:
            p = Program(os.path.abspath(a.zarvo), cwd)
            scenario(p, a.shots)
        except (Failure, subprocess.SubprocessError) as e:
            print("FAILED:", e)
            return 1
        finally:
            if p and p.proc.poll() is None:
                p.proc.kill()
                p.proc.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
