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
import re
import select
import struct
import subprocess
import sys
import tempfile
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from x11_support import MENU_BAR, Failure, Program, check, is_skin, run  # noqa: E402

FILES = ["usr/bin/zarvo", "usr/bin/zarvo-fap", "usr/bin/zarvo-render", "usr/bin/zarvo-stream",
         "usr/share/zarvo/vertex.txt", "usr/share/zarvo/face.txt",
         "usr/share/applications/zarvo.desktop", "usr/share/icons/hicolor/256x256/apps/zarvo.png",
         "usr/share/man/man1/zarvo.1.gz", "usr/share/man/man1/zarvo-fap.1.gz",
         "usr/share/man/man1/zarvo-render.1.gz", "usr/share/man/man1/zarvo-stream.1.gz"]
# What each package holds besides, and what it must depend on: the libraries the programs
# link and the font; the library's own.
PACKAGES = {"zarvo": FILES,
            "libzarvo1": ["usr/lib/libzarvo.so.1"],
            "libzarvo-dev": ["usr/include/zarvo/zarvo.h", "usr/lib/libzarvo.so", "usr/lib/libzarvo.a",
                             "usr/lib/pkgconfig/zarvo.pc", "usr/lib/cmake/Zarvo/ZarvoConfig.cmake"],
            "python3-zarvo": ["usr/lib/python3/dist-packages/zarvo/__init__.py"]}
DEPENDS = {"zarvo": ["libzarvo1 (= ", "libfltk1.3", "libopengl0", "libglx0", "libportaudio2",
                     "libsndfile1", "libsoxr0", "libavcodec", "libosmesa6", "libstdc++6",
                     "liblo7", "fonts-dejavu-core"],
           "libzarvo1": ["libsoxr0", "libstdc++6"],
           "libzarvo-dev": ["libzarvo1 (= "],
           "python3-zarvo": ["python3-numpy", "libzarvo1 (= "]}


def install(build, tmp):
    root = os.path.join(tmp, "destdir")
    subprocess.run(["cmake", "--install", build, "--prefix", "/usr"], check=True,
                   capture_output=True, timeout=120, env=dict(os.environ, DESTDIR=root))
    return root


def package(build, tmp):
    """Builds the packages in tmp, checks their file lists and dependencies, unpacks the
    program's and the library's."""
    run("cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-G", "DEB", "-B", tmp,
        timeout=300)
    debs = sorted(f for f in os.listdir(tmp) if f.endswith(".deb"))
    check([d.split("_")[0] for d in debs] == sorted(PACKAGES), "the packages built: %s" % debs)
    root = os.path.join(tmp, "root")
    for deb in (os.path.join(tmp, d) for d in debs):
        name = os.path.basename(deb).split("_")[0]
        listing = run("dpkg-deb", "-c", deb).decode()
        for f in PACKAGES[name]:
            check(re.search(r" \./%s( -> \S+)?$" % re.escape(f), listing, re.M), name + " holds " + f)
        depends = run("dpkg-deb", "-f", deb, "Depends").decode()
        print(name, "Depends:", depends.strip())
        for d in DEPENDS.get(name, []):
            check(d in depends, name + " depends on " + d)
        if name in ("zarvo", "libzarvo1"):
            run("dpkg-deb", "-x", deb, root)
    lib = os.path.join(tmp, next(d for d in debs if d.startswith("libzarvo1_")))
    check("libzarvo 1 libzarvo1 (>= " in run("dpkg-deb", "-I", lib, "shlibs").decode(),
          "libzarvo1 declares its soname")
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
