#!/usr/bin/env python3
"""The smooth-shaded polygon model in a real window (run inside xvfb-run): started with
--smooth, the head is smooth-shaded and "&Sima felület" in the "&Nézet" menu is ticked;
choosing the item with the mouse turns both off, choosing it again back on.

Usage: smooth_x11.py --zarvo BUILD/zarvo --data DIR [--shots DIR]
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, os.path.join(HERE, "..", "shell"))
from x11_support import MENU_BAR, Program, check, is_skin, run, with_mesh  # noqa: E402
from window_x11 import Window, is_ink, menu_titles, viewport  # noqa: E402

SMOOTH_ITEM = 3  # items of the drop-down, separators not counted


class SmoothWindow(Window):
    def __init__(self, zarvo, cwd):
        Program.__init__(self, [zarvo, "--smooth"], cwd)
        self.settle()
        self.focus()


def shades(img):
    """Distinct skin colours in the middle of the head: a handful of facets when flat, a
    gradient when smooth."""
    cx, cy, _ = viewport(img)
    return len({img.rgb(x, y) for y in range(cy - 60, cy + 60) for x in range(cx - 60, cx + 60)
                if is_skin(img.rgb(x, y))})


def check_box_ink(p, shots, name):
    """Opens "&Nézet", counts the dark pixels of the box left of the smooth item's text and
    closes the drop-down again without choosing."""
    x0, x1 = menu_titles(p.grab())[3]
    rows = p.drop_down(x0, x1, 300)
    check(len(rows) == 6, "the view menu shows six items")
    wx, wy = p.origin()
    scr = p.screen()
    top, bottom = (MENU_BAR + r for r in rows[SMOOTH_ITEM])
    ink = scr.count(is_ink, wx + x0, wy + top, wx + x0 + 16, wy + bottom + 1)
    if shots:
        run("import", "-window", "root", "-crop", "400x200+%d+%d" % (wx, wy),
            os.path.join(shots, name))
    p.press("Escape")
    p.settle()
    return ink


def scenario(p, shots):
    smooth = shades(p.settle())
    ticked = check_box_ink(p, shots, "smooth-menu-on.png")
    img = p.choose(3, SMOOTH_ITEM)
    flat = shades(img)
    check(smooth > 4 * flat, "started with --smooth the head is smooth-shaded (%d shades, "
          "flat %d)" % (smooth, flat))
    plain = check_box_ink(p, shots, "smooth-menu-off.png")
    check(ticked > plain + 4, "the item is ticked while smooth (%d dark pixels, %d without)"
          % (ticked, plain))
    img = p.choose(3, SMOOTH_ITEM)
    check(shades(img) > 4 * flat, "choosing the item again turns smooth shading back on")
    check(check_box_ink(p, None, None) == ticked, "and ticks the item again")
    p.press("Escape")
    check(p.wait() == 0, "Escape ends the program with status 0")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zarvo", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--shots")
    a = ap.parse_args()
    zarvo = os.path.abspath(a.zarvo)

    def body(cwd):
        with SmoothWindow(zarvo, cwd) as p:
            scenario(p, a.shots)

    return with_mesh(a.data, "zarvo-smooth-", body)


if __name__ == "__main__":
    sys.exit(main())
