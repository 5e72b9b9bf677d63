"""What the tests that drive the program in a real window share: checks that stop the
scenario, screenshots as pixels, and the program under test found by its window title.

The scripts run inside xvfb-run, so there is no window manager: the window gets the focus
from xdotool, never from the pointer.
"""
import os
import shutil
import subprocess
import tempfile
import time

TITLE = "MPEG-4 szabványos 'Zarvo' - 1.7v"
MENU_BAR = 25  # pixels of the menu bar above the OpenGL client area
SKIP = 77


class Failure(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)
    print("ok:", what)


def run(*args, timeout=20):
    return subprocess.run(args, check=True, capture_output=True, timeout=timeout).stdout


class Image:
    """A screenshot as RGB bytes, rows from the top; `when` is the time it was taken."""

    def __init__(self, data, when=None):
        parts = data.split(maxsplit=4)  # P6, width, height, maxval, pixels
        if parts[0] != b"P6":
            raise ValueError("not a binary PPM")
        self.width, self.height = int(parts[1]), int(parts[2])
        self.pixels = parts[4]
        self.data = data
        self.when = when

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


class Program:
    """The process started with `args` in `cwd` and its window, the one titled TITLE. As a
    context manager it stops the process on the way out unless it has ended."""

    def __init__(self, args, cwd):
        self.proc = subprocess.Popen(args, cwd=cwd)
        out = run("xdotool", "search", "--sync", "--name", "Zarvo", timeout=30)
        self.wid = None
        for wid in out.split():
            if run("xdotool", "getwindowname", wid).decode().rstrip("\n") == TITLE:
                self.wid = wid.decode()
        check(self.wid is not None, "a window titled exactly %r" % TITLE)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.stop()

    def stop(self):
        self.proc.kill()
        self.proc.wait()

    def focus(self):
        run("xdotool", "mousemove", "--window", self.wid, "300", "300")
        run("xdotool", "windowfocus", "--sync", self.wid)

    def grab(self):
        return Image(run("import", "-window", self.wid, "-depth", "8", "ppm:-"), time.time())

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


def with_mesh(data, prefix, body):
    """Calls body(cwd) in a scratch working directory holding copies of vertex.txt and
    face.txt from `data`, so the program's own files (log.txt) stay out of the source tree.
    Returns the exit status: SKIP without those files, 1 when a check or a command failed,
    else 0."""
    files = [os.path.join(data, f) for f in ("vertex.txt", "face.txt")]
    if not all(os.path.isfile(f) for f in files):
        print("skipped: no vertex.txt and face.txt in", data)
        return SKIP
    with tempfile.TemporaryDirectory(prefix=prefix) as cwd:
        for f in files:
            shutil.copy(f, cwd)
        try:
            body(cwd)
        except (Failure, subprocess.SubprocessError) as e:
            print("FAILED:", e)
            return 1
    return 0
