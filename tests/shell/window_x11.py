#!/usr/bin/env python3
"""The program in a real window: started under a virtual X server (run this inside
xvfb-run), driven with xdotool, looked at through screenshots.

Usage: window_x11.py --zarvo BUILD/zarvo --close BUILD/x11_close --data DIR [--shots DIR]
DIR holds vertex.txt and face.txt; they are copied into a scratch working directory so
the program's own files (log.txt) stay out of the source tree. Without them the test is
skipped (exit status 77). --shots saves the screenshots named in SHOTS there.
"""
import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from x11_support import (MENU_BAR, Image, Program, check, is_skin, is_white,  # noqa: E402
                         run, with_mesh)


def is_blue(p):
    r, g, b = p
    return b > 90 and r < 40 and g < 40


def is_red(p):
    r, g, b = p
    return r > 70 and g < 40 and b < 40


def is_ink(p):
    return max(p) < 60


def ink_column(img, x, y0, y1):
    return any(is_ink(img.rgb(x, y)) for y in range(y0, y1))


def ink_row(img, y, x0, x1):
    return sum(is_ink(img.rgb(x, y)) for x in range(x0, x1)) >= 2


def ink_runs(flags, gap, min_length=1):
    """(first, last) of each run of True, runs closer than `gap` joined."""
    runs = []
    for i, f in enumerate(flags):
        if not f:
            continue
        if runs and i - runs[-1][1] <= gap:
            runs[-1][1] = i
        else:
            runs.append([i, i])
    return [(a, b) for a, b in runs if b - a + 1 >= min_length]


def menu_titles(img):
    """(first, last) column of each title on the menu bar, away from the window's border."""
    return ink_runs([2 <= x and ink_column(img, x, 2, MENU_BAR - 2) for x in range(560)], 8)


class Window(Program):
    def __init__(self, zarvo, cwd):
        super().__init__([zarvo], cwd)
        self.settle()
        self.focus()

    def save(self, path):
        run("import", "-window", self.wid, path)

    def origin(self):
        """The window's top-left corner on the screen."""
        out = run("xdotool", "getwindowgeometry", "--shell", self.wid).decode()
        g = dict(line.split("=", 1) for line in out.split())
        return int(g["X"]), int(g["Y"])

    def screen(self):
        return Image(run("import", "-window", "root", "-depth", "8", "ppm:-"))

    def click(self, x, y, button=1):
        """Clicks at (x, y) of the window; returns the settled picture."""
        run("xdotool", "mousemove", "--window", self.wid, str(x), str(y), "click", str(button))
        return self.settle()

    def drop_down(self, x0, x1, bottom):
        """Clicks the menu title spanning columns x0..x1 and returns the (first, last) rows
        of the items of its drop-down, counted from the menu bar's foot, looked for down to
        window row `bottom`."""
        run("xdotool", "mousemove", "--window", self.wid, str((x0 + x1) // 2), "12", "click", "1")
        time.sleep(0.5)
        wx, wy = self.origin()
        scr = self.screen()
        return ink_runs([ink_row(scr, wy + y, wx + x0 + 2, wx + x0 + 40)
                         for y in range(MENU_BAR, bottom)], 2, min_length=6)

    def click_item(self, x0, rows):
        """Clicks the drop-down item at `rows` of drop_down(x0, ...)."""
        y = MENU_BAR + (rows[0] + rows[1]) // 2
        run("xdotool", "mousemove", "--window", self.wid, str(x0 + 20), str(y), "click", "1")

    def choose(self, title, item):
        """Opens drop-down number `title` of the menu bar with the mouse and clicks its item
        number `item` (separators not counted)."""
        titles = menu_titles(self.grab())
        check(len(titles) == 5, "five menu titles on the menu bar")
        x0, x1 = titles[title]
        rows = self.drop_down(x0, x1, 600)
        check(item < len(rows), "drop-down %d shows item %d" % (title, item))
        self.click_item(x0, rows[item])
        return self.settle()

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


def client(img):
    """The client area's pixels (below the menu bar), for comparing pictures."""
    return img.pixels[MENU_BAR * img.width * 3:]


def head(img):
    """Counts of skin, red and blue pixels over the whole client area."""
    box = (0, MENU_BAR, img.width, img.height)
    return img.count(is_skin, *box), img.count(is_red, *box), img.count(is_blue, *box)


def shot(p, shots, name):
    if shots:
        p.save(os.path.join(shots, name))


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
    shot(p, shots, "window-polygon.png")
    polygon = client(img)
    menu_bar = img.pixels[:MENU_BAR * img.width * 3]
    skin0 = head(img)[0]

    # The menus, opened and chosen with the mouse.
    img = p.choose(3, 1)  # "&Nézet" -> "&Háló modell"
    skin, red, blue = head(img)
    check(skin == 0 and red > 2000, "the wire mesh replaces the shaded head (red %d)" % red)
    shot(p, shots, "window-wire.png")
    img = p.choose(3, 0)  # "&Vertex modell"
    skin, red, blue = head(img)
    # Of red only the x axis is left, 3 pixels wide.
    check(skin == 0 and blue > 300 and red < 3 * img.width // 2 + 50,
          "the point model shows blue points (blue %d, red %d)" % (blue, red))
    shot(p, shots, "window-points.png")
    img = p.choose(3, 2)  # "&Polygon modell"
    # Back faces keep the wire mode's grey from now on, so the reference picture for the
    # rest is this one.
    check(abs(head(img)[0] - skin0) < skin0 // 20, "the shaded head is back")
    polygon = client(img)

    # The help box: modal, closed with Enter.
    x0, x1 = menu_titles(p.grab())[4]
    rows = p.drop_down(x0, x1, 200)
    check(len(rows) == 2, "the help menu has the designed item and the new features")
    p.click_item(x0, rows[0])
    help_box = run("xdotool", "search", "--sync", "--name", "^Seg.*ts.*g$", timeout=10).split()[0]
    time.sleep(0.5)
    bar = p.grab().pixels[:MENU_BAR * 576 * 3]
    check(bar == menu_bar, "no menu title stays highlighted while the help box is open")
    check(run("xdotool", "getwindowname", help_box).decode().strip() == "Segítség",
          "the help box titled \"Segítség\" is open")
    time.sleep(0.5)
    if shots:
        run("import", "-window", help_box.decode(), os.path.join(shots, "window-help.png"))
    run("xdotool", "key", "Return")
    time.sleep(0.5)
    gone = subprocess.run(["xdotool", "search", "--name", "^Seg.*ts.*g$"], capture_output=True)
    check(gone.stdout.strip() == b"" and p.proc.poll() is None,
          "Enter closes the help box and the program goes on")
    p.settle()

    # The keypad with Num Lock on turns the head; keypad 5 resets the view.
    p.focus()
    p.key("Num_Lock")
    img = p.key("KP_4", "KP_4", "KP_4", "KP_4", "KP_4")
    check(client(img) != polygon, "keypad 4 with Num Lock on turns the head")
    img = p.key("KP_5")
    check(client(img) == polygon, "keypad 5 with Num Lock on resets the view")
    # With Num Lock off the same keys are cursor keys: with nothing selected Left and Up
    # move nothing and Clear is no command, so the view stays.
    p.key("Num_Lock")
    img = p.key("KP_Left", "KP_Left", "KP_Begin", "KP_Up")
    check(client(img) == polygon, "keypad 4, 5 and 8 with Num Lock off leave the view")
    # With FP 2.1 selected, the keypad without Num Lock moves the point exactly as the
    # arrow keys do.
    p.choose(2, 0)  # "&FP kijelölése" -> "&FP 2.1"
    box = run("xdotool", "search", "--sync", "--name", "^Pontv.*laszt.*s$", timeout=10)
    check(box.strip() != b"", "the point selection box is open")
    run("xdotool", "key", "Return")
    time.sleep(0.5)
    p.focus()
    arrows = client(p.key("Left", "Left", "Up", "Up", "Up"))
    check(arrows != polygon, "the arrow keys move FP 2.1")
    img = p.choose(3, 2)  # "&Polygon modell" rereads the mesh
    check(client(img) == polygon, "the polygon model shows the unmoved mesh again")
    run("xdotool", "mousemove", "--window", p.wid, "300", "300")
    keypad = client(p.key("KP_Left", "KP_Left", "KP_Up", "KP_Up", "KP_Up"))
    check(keypad == arrows, "keypad 4 and 8 with Num Lock off act as Left and Up")
    p.choose(3, 2)

    # A left click zooms in, a right click back out.
    img = p.click(cx, cy, 1)
    check(head(img)[0] > skin0 * 1.05, "a left click enlarges the head")
    img = p.click(cx, cy, 3)
    check(client(img) == polygon, "a right click undoes it")
    check(head(p.click(cx, cy, 4))[0] > skin0 * 1.05, "a notch of the wheel forward zooms in")
    check(client(p.click(cx, cy, 5)) == polygon, "a notch back undoes it")

    # A resize to a client area of 800 x 500 keeps the square at the bottom-left.
    run("xdotool", "windowsize", p.wid, "800", str(500 + MENU_BAR))
    img = p.settle()
    check(img.width == 800, "the window was resized")
    check(is_skin(img.rgb(250, MENU_BAR + 250)) and is_white(img.rgb(650, MENU_BAR + 250)),
          "the head sits in the 500-pixel square at the left")

    p.press("Escape")
    check(p.wait() == 0, "Escape ends the program with status 0")


def chooser_lists_speech(p):
    """"&Megnyitás…": GTK's chooser lists the working directory's speech files (row bands)."""
    x0, x1 = menu_titles(p.grab())[0]
    p.click_item(x0, p.drop_down(x0, x1, 300)[3])
    chooser = run("xdotool", "search", "--sync", "--onlyvisible", "--name", "^Besz.*sa$").split()[0]
    time.sleep(1.5)
    img = Image(run("import", "-window", chooser.decode(), "-depth", "8", "ppm:-"))
    col = [img.rgb(img.width // 2, y) for y in range(img.height)]
    y = next(y for y in range(img.height) if set(col[y:y + 40]) == {(255, 255, 255)}) - 1
    rows, n = 0, 1
    while col[y] != img.rgb(2, 2):
        y -= 1
        rows, n = (rows, n + 1) if col[y] == col[y + 1] else (rows + (n >= 10), 1)
    check(rows == 4, "the chooser lists the four speech files, no other (%d rows)" % rows)
    run("xdotool", "windowfocus", "--sync", chooser.decode(), "key", "Escape")


def close_box(p, closer):
    run(closer, p.wid)
    check(p.wait() == 0, "the close box ends the program with status 0")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zarvo", required=True)
    ap.add_argument("--close", required=True)
    ap.add_argument("--data", required=True)
    ap.add_argument("--shots")
    a = ap.parse_args()
    zarvo = os.path.abspath(a.zarvo)

    def body(cwd):
        with Window(zarvo, cwd) as p:
            scenario(p, a.shots)
        for name in ("a.wav", "B.WAV", "c.flac", "d.mp3"):  # beside the mesh files and log.txt
            run("sox", "-n", os.path.join(cwd, name), "synth", "0.2", "sine", "440")
        with Window(zarvo, cwd) as p:
            chooser_lists_speech(p)
            close_box(p, os.path.abspath(a.close))

    return with_mesh(a.data, "zarvo-x11-", body)


if __name__ == "__main__":
    sys.exit(main())
