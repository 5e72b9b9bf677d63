#!/usr/bin/python3
"""How well the mouth reads, measured against what was spoken.

  check.py CORPUS --tool build/tools/lipsync-frames [--split test] [--sources a,b]
           [--mouth-check build/mouth-check --data data] [--require FILE] [--cache DIR]

For every recording of the corpus (tools/lipsync/frames.py) the program's frames are made
twice, designed and articulated, and each phone is looked at in the window whose centre is
nearest the phone's middle + 16 ms (the designed smoothing's lag). Figures, per source and
over all real voices, for both streams:

  closure     share of p b m at which the mouth is as closed as in silence: the opening
              fap3 - fap51 - fap52 within 60 FAP units of its median over the recording's
              pauses
  open>close  AUC of the opening, open vowels (aa ae ah ao aw ay) above close ones
              (iy ih uw uh)
  spread>rnd  AUC of the corner width fap53 + fap54, spread vowels (iy ey ih eh) above
              rounded ones (uw ow w uh oy)
  open>PP     AUC of the opening, open vowels above p b m
  visemes     share of phones whose window's strongest viseme is the phone's (articulated
              stream only; the designed one has none)

Other languages' vowels (IPA) fall into the same classes by their quality. With
--mouth-check the head's mouth is also measured over every recording's FAPs (rest, oval,
interior, folds, pocket), designed and articulated. --require FILE lists goals, one per line
"stream figure source >= value" (source "real" for all real voices); the exit status is 1
when one is missed.
"""

import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import frames as fr  # noqa: E402

OPEN = {"aa", "ae", "ah", "ao", "aw", "ay"}
CLOSE = {"iy", "ih", "uw", "uh"}
SPREAD = {"iy", "ey", "ih", "eh"}
ROUND = {"uw", "ow", "w", "uh", "oy"}
BILABIAL = {"p", "b", "m"}

# IPA vowels by quality: the first symbol of the phone decides (length and stress marks off).
IPA_OPEN = set("aɑæʌɐɒɔɶ")
IPA_CLOSE = set("iɪuʊyʏɨʉɯ")
IPA_SPREAD = set("iɪeɛ")
IPA_ROUND = set("uʊoyʏøœɵw")
IPA_BILABIAL = set("pbm")

FIGURES = ["closure", "open>close", "spread>rnd", "open>PP", "visemes"]


def phone_classes(phone, arpabet):
    """The classes (open, close, spread, round, bilabial) a phone belongs to."""
    p = phone.lower().rstrip("012")
    out = set()
    if arpabet:
        for name, group in (("open", OPEN), ("close", CLOSE), ("spread", SPREAD),
                            ("round", ROUND), ("bilabial", BILABIAL)):
            if p in group:
                out.add(name)
        return out
    p = phone.strip("ˈˌ'\",%")
    if not p:
        return out
    c = p[0]
    if len(p) > 1 and p[1] not in "ːˑ̃" and c in IPA_OPEN | IPA_CLOSE | IPA_SPREAD | IPA_ROUND:
        # a diphthong takes the class of where it starts only when it is open
        return {"open"} if c in IPA_OPEN else out
    for name, group in (("open", IPA_OPEN), ("close", IPA_CLOSE), ("spread", IPA_SPREAD),
                        ("round", IPA_ROUND), ("bilabial", IPA_BILABIAL)):
        if c in group and (name != "bilabial" or len(p) == 1):
            out.add(name)
    return out


def auc(pos, neg):
    """Probability that a random positive lies above a random negative (ties count half)."""
    pos, neg = np.asarray(pos, float), np.asarray(neg, float)
    if len(pos) == 0 or len(neg) == 0:
        return float("nan")
    allv = np.concatenate([pos, neg])
    order = allv.argsort(kind="mergesort")
    ranks = np.empty(len(allv))
    sv = allv[order]
    i = 0
    while i < len(sv):
        j = i
        while j + 1 < len(sv) and sv[j + 1] == sv[i]:
            j += 1
        ranks[order[i:j + 1]] = (i + j) / 2.0 + 1.0
        i = j + 1
    return (ranks[:len(pos)].sum() - len(pos) * (len(pos) + 1) / 2.0) / (len(pos) * len(neg))


class Tally:
    """What the figures of one stream over one set of recordings are made of."""

    def __init__(self):
        self.closed, self.bilabials = 0, 0
        self.opening = {"open": [], "close": [], "bilabial": []}
        self.width = {"spread": [], "round": []}
        self.hits, self.phones = 0, 0
        self.confusion = np.zeros((15, 15), dtype=int)

    def add(self, rec, f, prefix):
        phones = rec["phones"]
        n = len(f)
        if n == 0 or not phones:
            return
        arpabet = rec.get("aligner") == "pocketsphinx" or rec["lang"] == "en" and \
            rec.get("phoneset", "arpabet") == "arpabet"
        opening = f[prefix + "3"] - f[prefix + "51"] - f[prefix + "52"]
        width = f[prefix + "53"] + f[prefix + "54"]
        at = fr.phone_windows(phones, n)
        labels = fr.window_labels(phones, n)
        pauses = opening[labels == 0]
        rest = np.median(pauses) if len(pauses) else None
        strongest = f.block(["viseme_" + v for v in fr.VISEMES]).argmax(axis=1)
        for (start, end, phone, viseme), w in zip(phones, at):
            cls = phone_classes(phone, arpabet) if viseme != "sil" else set()
            if viseme == "PP" and rest is not None:
                self.bilabials += 1
                self.closed += abs(opening[w] - rest) <= 60
            for c in ("open", "close", "bilabial"):
                if c in cls or (c == "bilabial" and viseme == "PP"):
                    self.opening[c].append(opening[w])
            for c in ("spread", "round"):
                if c in cls:
                    self.width[c].append(width[w])
            truth = fr.VISEME_INDEX[viseme]
            self.phones += 1
            self.hits += strongest[w] == truth
            self.confusion[truth, strongest[w]] += 1

    def figures(self):
        return {
            "closure": self.closed / self.bilabials if self.bilabials else float("nan"),
            "open>close": auc(self.opening["open"], self.opening["close"]),
            "spread>rnd": auc(self.width["spread"], self.width["round"]),
            "open>PP": auc(self.opening["open"], self.opening["bilabial"]),
            "visemes": self.hits / self.phones if self.phones else float("nan"),
        }


def mouth_figures(checker, data, csvs, articulated):
    """mouth-check's output over the given FAP files (run in the mesh folder)."""
    r = subprocess.run([os.path.abspath(checker)] + (["--articulated"] if articulated else [])
                       + csvs, cwd=data, capture_output=True, text=True)
    return r.returncode, r.stdout.strip()


def write_csv(path, f, prefix):
    cols = ["index", "level", "vol"] + [prefix + str(k) for k in (3, 51, 52, 53, 54, 55, 56,
                                                                    57, 58, 59, 60)]
    with open(path, "w") as out:
        out.write("index,level,vol,fap3,fap51,fap52,fap53,fap54,fap55,fap56,fap57,fap58,fap59,"
                  "fap60\n")
        for row in f.block(cols):
            out.write("%d,%.6f,%d,%s\n" % (row[0], row[1], row[2],
                                           ",".join("%d" % v for v in row[3:])))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("corpus")
    ap.add_argument("--tool", required=True)
    ap.add_argument("--split", default="test", help="fit, test or all")
    ap.add_argument("--sources", default="")
    ap.add_argument("--cache", default=os.path.join(tempfile.gettempdir(), "zarvo-lipsync-cache"))
    ap.add_argument("--mouth-check")
    ap.add_argument("--data")
    ap.add_argument("--require")
    ap.add_argument("--confusion", action="store_true")
    args = ap.parse_args()

    runner = fr.Runner(args.tool, args.cache)
    recs = [r for r in fr.load_index(args.corpus)
            if args.split == "all" or r["split"] == args.split]
    if args.sources:
        keep = set(args.sources.split(","))
        recs = [r for r in recs if r["source"] in keep]
    if not recs:
        sys.exit("check.py: no recordings")
    tallies = {}
    csvs = {"designed": [], "articulated": []}
    scratch = tempfile.TemporaryDirectory(prefix="zarvo-check-")  # removed at exit
    tmp = scratch.name
    for k, rec in enumerate(recs):
        audio = os.path.join(args.corpus, rec["audio"])
        f = runner.frames(audio)
        for stream, prefix in (("designed", "fap"), ("articulated", "art")):
            for group in (rec["source"], "real" if fr.is_real(rec["source"]) else "synthetic",
                          "all"):
                tallies.setdefault((stream, group), Tally()).add(rec, f, prefix)
            if args.mouth_check and fr.is_real(rec["source"]):
                path = os.path.join(tmp, "%s-%d.csv" % (stream, k))
                write_csv(path, f, prefix)
                csvs[stream].append(path)

    groups = sorted({g for _, g in tallies}, key=lambda g: (g in ("real", "synthetic", "all"), g))
    print("%-22s %-11s %6s" % ("source", "stream", "phones") +
          "".join("%12s" % x for x in FIGURES))
    results = {}
    for g in groups:
        for stream in ("designed", "articulated"):
            t = tallies[(stream, g)]
            figs = t.figures()
            if stream == "designed":
                figs["visemes"] = float("nan")
            results[(stream, g)] = figs
            print("%-22s %-11s %6d" % (g, stream, t.phones) +
                  "".join("%12.3f" % figs[x] for x in FIGURES))
    if args.confusion:
        for g in ("real", "synthetic"):
            if ("articulated", g) not in tallies:
                continue
            c = tallies[("articulated", g)].confusion
            print("\nviseme confusion, %s voices (rows: spoken, columns: strongest; %% of row)" % g)
            print("%5s" % "" + "".join("%5s" % v for v in fr.VISEMES) + "  phones")
            for i, v in enumerate(fr.VISEMES):
                row = c[i]
                tot = row.sum()
                print("%5s" % v + "".join("%5.0f" % (100.0 * x / tot if tot else 0) for x in row)
                      + "  %6d" % tot)
    status = 0
    if args.mouth_check:
        for stream in ("designed", "articulated"):
            if not csvs[stream]:
                continue
            code, text = mouth_figures(args.mouth_check, args.data, csvs[stream],
                                       stream == "articulated")
            print("\nmouth over real voices, %s (%d recordings): %s" %
                  (stream, len(csvs[stream]), "all goals met" if code == 0 else "GOAL MISSED"))
            print(text)
            if stream == "articulated" and code != 0:
                status = 1
    if args.require:
        with open(args.require) as f:
            for line in f:
                line = line.split("#")[0].split()
                if not line:
                    continue
                stream, fig, group, op, value = line
                got = results.get((stream, group), {}).get(fig, float("nan"))
                ok = got >= float(value) if op == ">=" else got <= float(value)
                if not ok:
                    print("missed: %s %s %s %s %s (got %.3f)" % (stream, fig, group, op, value,
                                                                got))
                    status = 1
    sys.exit(status)


if __name__ == "__main__":
    main()
