#!/usr/bin/python3
"""Pictures of the mouth at chosen phones of real recordings, designed against articulated.

  contact_sheet.py CORPUS --render build/zarvo-render -o docs/lipsync-sheet.png
                   [ID:PHONE:LABEL ...]

Each item names a recording of the corpus (its id), a phone of its alignment (the first of
that name) and the label under its pictures. The head is drawn by zarvo-render twice, with
--designed and without, and the frame at the phone's middle + 16 ms (the designed
smoothing's lag) is taken from each, cropped to the lower face; ImageMagick puts them in two rows.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

DEFAULT = [
    "asterisk-en/vm-nomore:m:\"more\" /m/",
    "asterisk-en/vm-onefor-full:uw:\"to\" /uw/",
    "asterisk-en/letters/t:iy:\"tee\" /iy/",
    "asterisk-en/letters/r:aa:\"are\" /aa/",
]
FPS = 200


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("corpus")
    ap.add_argument("--render", required=True)
    ap.add_argument("-o", "--out", required=True)
    ap.add_argument("items", nargs="*", default=DEFAULT)
    args = ap.parse_args()
    index = {}
    with open(os.path.join(args.corpus, "index.jsonl")) as f:
        for line in f:
            r = json.loads(line)
            index[r["id"]] = r
    scratch = tempfile.TemporaryDirectory(prefix="zarvo-sheet-")  # removed at exit
    tmp = scratch.name
    rows = {"designed": [], "articulated": []}
    labels = []
    for n, item in enumerate(args.items):
        rid, phone, label = item.split(":", 2)
        rec = index.get(rid) or sys.exit("contact_sheet.py: no recording %s" % rid)
        at = next((p for p in rec["phones"] if p[2] == phone), None)
        if at is None:
            sys.exit("contact_sheet.py: no /%s/ in %s" % (phone, rid))
        frame = int(round(((at[0] + at[1]) / 2 + 0.016) * FPS))
        for stream in rows:
            folder = os.path.join(tmp, "%s-%d" % (stream, n))
            os.makedirs(folder)
            cmd = [args.render, os.path.join(args.corpus, rec["audio"]), "-o",
                   os.path.join(folder, "%05d.png"), "--fps", str(FPS), "--size", "600x600",
                   "--camera", "front"]
            if stream == "designed":
                cmd.append("--designed")
            subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
            # The lower face: the mouth, the chin and the nose's tip.
            picture = os.path.join(folder, "mouth.png")
            subprocess.run(["convert", os.path.join(folder, "%05d.png" % frame), "-crop",
                            "300x270+150+310", "+repage", picture], check=True)
            rows[stream].append(picture)
        labels.append(label)
    cmd = ["montage"]
    for stream in ("designed", "articulated"):
        for path, label in zip(rows[stream], labels):
            cmd += ["-label", "%s, %s" % (label, stream), path]
    cmd += ["-tile", "%dx2" % len(labels), "-geometry", "+4+4", "-pointsize", "16", "-font", "DejaVu-Sans", args.out]
    subprocess.run(cmd, check=True)


if __name__ == "__main__":
    main()
