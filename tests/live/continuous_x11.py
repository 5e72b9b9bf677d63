#!/usr/bin/env python3
"""The continuous mode and the designed run in the real window (run inside xvfb-run), the
microphone fed with the speech recording by zarvo-feeder:
- "&Folyamatos élő mód" from the File menu: the picture keeps changing while the window is
  resized (the head is drawn in the new square) and the menu shows the item checked; Space
  stops it;
- a burst of Enter presses during a designed run gives one run (log.txt: three full stops);
- `zarvo --live --vmc`: the first Escape stops the mode, the second ends the program (status
  0); oscdump received the frames drawn as VMC bundles;
- `zarvo FILE`: the head speaking a WAV while the speaker (zarvo-feeder --sink) plays exactly
  its samples; "&Megnyitás…" opens the file chooser, and cancelling it plays nothing.

Usage: continuous_x11.py --zarvo BUILD/zarvo --feeder BUILD/tools/zarvo-feeder
                   --alsa-config tests/speech/alsa-fed.conf --play-config tests/live/alsa-play.conf
                   --raw SPEECH.raw --data DIR [--shots DIR]
"""
import argparse
import os
import socket
import subprocess
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, ".."))
sys.path.insert(0, os.path.join(here, "..", "shell"))
sys.path.insert(0, os.path.join(here, "..", "speech"))
from x11_support import MENU_BAR, Program, check, is_skin, run, with_mesh  # noqa: E402
from live_x11 import mouth_opening  # noqa: E402  (tests/speech: the designed run's test)
from window_x11 import Window, menu_titles  # noqa: E402


class Fed(Window):
    """zarvo under zarvo-feeder; the window helpers of the viewer's own test."""

    def __init__(self, args, cwd, settle=True):
        Program.__init__(self, args, cwd)
        if settle:
            self.settle()
        self.focus()

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)

    def changing(self, seconds=1.5):
        """Distinct pictures grabbed over `seconds`."""
        seen = set()
        end = time.time() + seconds
        while time.time() < end:
            seen.add(self.grab().pixels)
        return len(seen)

    def file_menu(self):
        """Opens "&Fájl" and returns (x0, rows of its items) with a grab of the screen."""
        x0, x1 = menu_titles(self.grab())[0]
        rows = self.drop_down(x0, x1, 300)
        return x0, rows, self.screen()


def skin_box(img):
    xs, ys = [], []
    for y in range(MENU_BAR, img.height, 3):
        for x in range(0, img.width, 3):
            if is_skin(img.rgb(x, y)):
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs), max(ys)) if xs else None


def item_strip(scr, p, x0, rows):
    """Pixels of the left end of the third item's row (the continuous mode) of the open
    File menu, where a check item shows its box."""
    wx, wy = p.origin()
    out = b""
    for y in range(wy + MENU_BAR + rows[2][0], wy + MENU_BAR + rows[2][1] + 1):
        i = (y * scr.width + wx + x0) * 3
        out += scr.pixels[i:i + 30 * 3]
    return out


def continuous(p, cwd, shots):
    x0, rows, _ = p.file_menu()
    check(len(rows) == 4, "File menu: four items (%d)" % len(rows))
    p.click_item(x0, rows[2])  # "&Folyamatos élő mód"
    time.sleep(0.5)
    check(p.changing() >= 5, "the continuous mode draws the speech frame after frame")

    # A resize while it runs: the head goes on in the new square at the bottom left.
    run("xdotool", "windowsize", p.wid, "800", str(500 + MENU_BAR))
    time.sleep(0.7)
    img = p.grab()
    check(img.width == 800 and img.height == 500 + MENU_BAR, "the window took the new size")
    box = skin_box(img)
    check(box is not None and box[2] < 500, "the head is drawn in the 500 x 500 square")
    grabs = [p.grab() for _ in range(25)]
    check(len(set(g.pixels for g in grabs)) >= 5, "and keeps speaking after the resize")
    if shots:  # the widest-open mouth of the grabs
        os.makedirs(shots, exist_ok=True)
        best = max(grabs, key=mouth_opening)
        with open(os.path.join(shots, "live-continuous.ppm"), "wb") as f:
            f.write(best.data)
        run("convert", os.path.join(shots, "live-continuous.ppm"),
            os.path.join(shots, "live-continuous.png"))

    # The File menu shows the item checked while the mode runs, unchecked after Space.
    x0, rows, scr = p.file_menu()
    checked = item_strip(scr, p, x0, rows)
    if shots:
        wx, wy = p.origin()
        run("import", "-window", "root", "-crop", "400x150+%d+%d" % (wx, wy),
            os.path.join(shots, "live-continuous-menu.png"))
    run("xdotool", "key", "Escape")  # closes the drop-down only
    time.sleep(0.3)
    check(p.proc.poll() is None, "Escape on the open menu did not end the program")
    p.focus()
    run("xdotool", "key", "space")
    time.sleep(0.5)
    check(p.changing(1.0) == 1, "Space stopped the mode: the picture rests")
    x0, rows, scr = p.file_menu()
    check(item_strip(scr, p, x0, rows) != checked, "the check mark went with the mode")
    run("xdotool", "key", "Escape")
    time.sleep(0.3)
    p.focus()


def burst_of_enter(p, cwd):
    with open(os.path.join(cwd, "log.txt")) as f:
        before = f.read()
    run("xdotool", "key", "Return")
    time.sleep(0.3)
    # Held down for a while: twenty more presses while the run blocks the window.
    run("xdotool", "key", "--repeat", "20", "--delay", "20", "Return")
    time.sleep(1.0)
    p.settle(timeout=20)
    time.sleep(2.0)  # a replayed press would start another run by now
    with open(os.path.join(cwd, "log.txt")) as f:
        after = f.read()
    check(after == before + "...", "one designed run for the burst (log %r)" % after)


def chooser_opens_and_cancels(p):
    x0, rows, _ = p.file_menu()
    p.click_item(x0, rows[3])  # "&Megnyitás…"
    chooser = run("xdotool", "search", "--sync", "--onlyvisible", "--name", "^Besz.*lej.*sa$",
                  timeout=15)
    check(chooser.strip() != b"", "the file chooser opens with its caption")
    time.sleep(1.0)
    run("xdotool", "windowfocus", "--sync", chooser.split()[0].decode())
    run("xdotool", "key", "Escape")
    for _ in range(20):
        time.sleep(0.3)
        if not subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Besz.*lej.*sa$"],
                              capture_output=True).stdout.strip():
            break
    check(p.proc.poll() is None and p.changing(1.0) == 1,
          "cancelled, nothing plays and the program goes on")


def played_file(p, cwd, raw, wav):
    check(p.changing(2.0) >= 5, "zarvo FILE: the head speaks the file")
    p.settle(timeout=15)
    with open(raw, "rb") as f:
        want = f.read()
    played = os.path.join(cwd, "played.raw")
    size = -1
    for _ in range(30):  # until the device has taken the last samples
        time.sleep(0.2)
        if os.path.getsize(played) == size and size >= len(want):
            break
        size = os.path.getsize(played)
    with open(played, "rb") as f:
        got = f.read()
    start = 0
    while start + 4 <= len(got) and got[start:start + 4] == b"\0\0\0\0" and want[:4] != b"\0\0\0\0":
        start += 4
    same = got[start:start + len(want)] == want
    if not same:
        first = next((i for i in range(0, min(len(want), len(got) - start), 4)
                      if got[start + i:start + i + 4] != want[i:i + 4]), None)
        print("played %d bytes after %d of silence; first difference at byte %s of %d"
              % (len(got) - start, start, first, len(want)))
    check(same, "the speaker played the file's samples")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zarvo", required=True)
    ap.add_argument("--feeder", required=True)
    ap.add_argument("--alsa-config", required=True)
    ap.add_argument("--play-config", required=True)
    ap.add_argument("--raw", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--shots")
    a = ap.parse_args()
    fed = [os.path.abspath(a.feeder), "--alsa-config", os.path.abspath(a.alsa_config),
           os.path.abspath(a.raw), "--"]

    def body(cwd):
        with Fed(fed + [os.path.abspath(a.zarvo)], cwd) as p:
            continuous(p, cwd, a.shots)
            burst_of_enter(p, cwd)
            run("xdotool", "key", "Escape")
            check(p.wait() == 0, "Escape ends the program with status 0")
        # --vmc: liblo's oscdump receives a bundle for each frame drawn.
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        dumped = os.path.join(cwd, "vmc.txt")
        oscdump = subprocess.Popen(["oscdump", "-L", str(port)], stdout=open(dumped, "w"))
        time.sleep(0.5)
        with Fed(fed + [os.path.abspath(a.zarvo), "--live", "--vmc", "127.0.0.1:%d" % port],
                 cwd, settle=False) as p:
            check(p.changing() >= 5, "zarvo --live starts speaking by itself")
            run("xdotool", "key", "Escape")
            time.sleep(0.5)
            check(p.proc.poll() is None and p.changing(1.0) == 1,
                  "the first Escape stops the mode, the window stays")
            run("xdotool", "key", "Escape")
            check(p.wait() == 0, "the second Escape ends the program with status 0")
        oscdump.terminate()
        oscdump.wait()
        lines = [line.split()[1:] for line in open(dumped)]
        applied = lines.count(["/VMC/Ext/Blend/Apply"])
        check(applied > 100 and [line[:3] for line in lines[:6]] ==
              [["/VMC/Ext/Blend/Val", "sf", '"%s"' % n] for n in "AIUEO"] +
              [["/VMC/Ext/Blend/Apply"]],
              "--vmc: the frames drawn went out as VMC bundles (%d)" % applied)
        wav = os.path.join(cwd, "speech.wav")
        run("sox", "-t", "raw", "-r", "48000", "-c", "1", "-b", "32", "-e", "floating-point",
            os.path.abspath(a.raw), "-b", "32", "-e", "floating-point", wav)
        play = [os.path.abspath(a.feeder), "--alsa-config", os.path.abspath(a.play_config),
                "--sink", os.path.join(cwd, "played.raw"), "-", "--", os.path.abspath(a.zarvo)]
        with Fed(play + [wav], cwd, settle=False) as p:
            played_file(p, cwd, os.path.abspath(a.raw), wav)
            chooser_opens_and_cancels(p)

    return with_mesh(a.data, "zarvo-continuous-x11-", body)


if __name__ == "__main__":
    sys.exit(main())
