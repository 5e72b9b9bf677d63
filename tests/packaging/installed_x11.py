#!/usr/bin/env python3
"""The program as installed: from a DESTDIR installation (--destdir) or from the Debian
package unpacked (--deb), started from an unrelated folder under a virtual X server (run
this inside xvfb-run). It finds the installed mesh and draws the head, and so does the
installed zarvo-render; and the installed mesh is the one they read (a broken installed
vertex.txt is named on standard error, so it was read before the source tree's copy).
--build-tree: the program in the build tree, started from an unrelated folder, draws the
head from the source tree's data/.

Usage: installed_x11.py --build BUILD_DIR (--destdir | --deb | --build-tree)
"""
import argparse
import math
import os
import select
import struct
import subprocess
import sys
import tempfile
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from x11_support import MENU_BAR, Failure, Program, check, is_skin, run  # noqa: E402

FILES = ["usr/bin/zarvo", "usr/bin/zarvo-fap", "usr/bin/zarvo-render",
         "usr/share/zarvo/vertex.txt", "usr/share/zarvo/face.txt",
         "usr/share/applications/zarvo.desktop", "usr/share/icons/hicolor/256x256/apps/zarvo.png",
         "usr/share/man/man1/zarvo.1.gz", "usr/share/man/man1/zarvo-fap.1.gz",
         "usr/share/man/man1/zarvo-render.1.gz"]
# Libraries the programs link, as the package must declare them, and the font.
DEPENDS = ["libfltk1.3", "libopengl0", "libglx0", "libportaudio2", "libsndfile1", "libsoxr0",
           "libavcodec", "libosmesa6", "libstdc++6", "fonts-dejavu-core"]


def install(build, tmp):
    root = os.path.join(tmp, "destdir")
    subprocess.run(["cmake", "--install", build, "--prefix", "/usr"], check=True,
                   capture_output=True, timeout=120, env=dict(os.environ, DESTDIR=root))
    return root


def package(build, tmp):
    """Builds the package in tmp, checks its file list and dependencies, unpacks it."""
    run("cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-G", "DEB", "-B", tmp,
        timeout=300)
    debs = [f for f in os.listdir(tmp) if f.endswith(".deb")]
    check(len(debs) == 1, "one package built: %s" % debs)
    deb = os.path.join(tmp, debs[0])
    listing = run("dpkg-deb", "-c", deb).decode()
    for f in FILES:
        check(" ./%s\n" % f in listing or listing.endswith(" ./" + f), "the package holds " + f)
    depends = run("dpkg-deb", "-f", deb, "Depends").decode()
    print("Depends:", depends.strip())
    for name in DEPENDS:
        check(name in depends, "the package depends on " + name)
    root = os.path.join(tmp, "root")
    run("dpkg-deb", "-x", deb, root)
    return root


def head_drawn(zarvo, cwd):
    with Program([zarvo], cwd) as p:
        img = p.settle()
        client = (0, MENU_BAR, img.width, img.height)
        skin = img.count(is_skin, *client)
        check(skin > img.width * (img.height - MENU_BAR) // 8,
              "the installed program draws the head from %s (%d skin pixels)" % (cwd, skin))
        p.stop()


def render(root, cwd):
    """Runs the installed zarvo-render on a tenth of a second of a tone, writing PNG frames
    in cwd; returns its exit status and standard error."""
    wav = os.path.join(cwd, "tone.wav")
    with wave.open(wav, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(48000)
        w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(i / 20)))
                               for i in range(4800)))
    frames = os.path.join(cwd, "frames")
    os.makedirs(frames, exist_ok=True)
    p = subprocess.run([os.path.join(root, "usr/bin/zarvo-render"), wav, "--size", "64x64",
                        "--fps", "10", "-o", os.path.join(frames, "%03d.png")], cwd=cwd,
                       capture_output=True, timeout=60)
    return p.returncode, p.stderr.decode()


def first_error_line(zarvo, cwd, timeout=20):
    proc = subprocess.Popen([zarvo], cwd=cwd, stderr=subprocess.PIPE)
    try:
        ready, _, _ = select.select([proc.stderr], [], [], timeout)
        return proc.stderr.readline().decode() if ready else ""
    finally:
        proc.kill()
        proc.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    how = ap.add_mutually_exclusive_group(required=True)
    how.add_argument("--destdir", action="store_true")
    how.add_argument("--deb", action="store_true")
    how.add_argument("--build-tree", action="store_true")
    a = ap.parse_args()
    with tempfile.TemporaryDirectory(prefix="zarvo-installed-") as tmp:
        try:
            if a.build_tree:
                head_drawn(os.path.join(a.build, "zarvo"), tmp)
                return 0
            root = package(a.build, tmp) if a.deb else install(a.build, tmp)
            for f in FILES:
                check(os.path.isfile(os.path.join(root, f)), "installed: " + f)
            zarvo = os.path.join(root, "usr/bin/zarvo")
            elsewhere = os.path.join(tmp, "elsewhere")
            os.mkdir(elsewhere)
            head_drawn(zarvo, elsewhere)
            status, err = render(root, elsewhere)
            check(status == 0 and os.listdir(os.path.join(elsewhere, "frames")),
                  "the installed zarvo-render draws frames from %s: %s" % (elsewhere, err))

            mesh = os.path.join(root, "usr/share/zarvo/vertex.txt")
            with open(mesh, "a") as f:
                f.write("\n")
            lines = open(mesh).read().split("\n")
            lines[0] = "0 1e200 0 0"
            with open(mesh, "w") as f:
                f.write("\n".join(lines))
            line = first_error_line(zarvo, elsewhere)
            check(line.startswith("zarvo: %s refused" % os.path.realpath(mesh)),
                  "the installed mesh is the one read: %r" % line)
            status, err = render(root, elsewhere)
            check(status == 2 and os.path.realpath(mesh) + " refused" in err,
                  "zarvo-render reads the installed mesh too: %r" % err)
        except (Failure, subprocess.SubprocessError, OSError) as e:
            print("FAILED:", e)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
