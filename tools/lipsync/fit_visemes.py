#!/usr/bin/python3
"""Fits the viseme recogniser and writes its constants (lipsync/viseme_model.h).

  fit_visemes.py CORPUS --tool build/tools/lipsync-frames [--out lipsync/viseme_model.h]
                 [--seed 1] [--epochs 40] [--hidden 64] (the defaults made the constants)

What it fits, mirrored exactly by lipsync/VisemeRecogniser.cpp:
  per window  the level above a running noise floor (a minimum that rises slowly) and below
              a running peak (a maximum that falls), both capped, and the 16 coefficients
              less their running mean over speech (so another microphone or gain shifts
              nothing once a second of speech has been heard; the mean starts from the
              corpus' own);
  network     the rows of kBefore windows before to kAfter windows after, one hidden layer
              of rectified units, a softmax over the 15 visemes;
  smoothing   each window's probabilities, raised to kSharpness, weigh the previous
              window's weights spread by kSpread, renormalised.
The target of window i is the phone under its centre less 16 ms (the designed analysis
lags by that much, and the articulation corrects the designed FAPs of the same window).
Every phone counts once, whatever its length (the figure is per phone). The fit uses the
recordings of the "fit" split only; a fifth of them (by recording) is held back to choose
the smoothing and to stop the training. Deterministic for a given seed.
"""

import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import frames as fr  # noqa: E402
import sources  # noqa: E402

TUXPAINT = ["tuxpaint-" + lang for lang in sources.TUXPAINT_VOICES]

BEFORE, AFTER = 8, 0       # windows of context (each window after costs 10.7 ms of latency)
LEVEL_LEAST = 0.0          # levels below (digital silence, -100) count as a very quiet room
PEAK_FALL = 0.2            # level units per window (the level is 20 log10 of the energy)
FLOOR_RISE = 0.05
SPEECH_ABOVE_FLOOR = 20.0
ABOVE_FLOOR_MOST = 60.0
MEAN_RATE = 0.01
MEAN_PRIOR = 0.0           # windows of speech the starting mean counts for (0: a fixed rate)
CHECK_WINDOWS = 120        # windows of the self-check written beside the constants
C0_PER_LEVEL = 0.0183      # how the first coefficient moves with the level (gain changes)


def features(level, cep, mean_init):
    """The per-window rows of one recording, as VisemeRecogniser::State::addWindow makes
    them."""
    n = len(level)
    out = np.empty((n, 18))
    mean = np.array(mean_init, dtype=float)
    peak = floor = 0.0
    heard = 0
    for t in range(n):
        lv = level[t] if np.isfinite(level[t]) else LEVEL_LEAST
        lv = max(lv, LEVEL_LEAST)
        if t == 0:
            peak = floor = lv
        else:
            peak = max(lv, peak - PEAK_FALL)
            floor = min(lv, floor + FLOOR_RISE)
        speech = lv > floor + SPEECH_ABOVE_FLOOR
        out[t, 0] = min(lv - floor, ABOVE_FLOOR_MOST)
        out[t, 1] = max(lv - peak, -ABOVE_FLOOR_MOST)
        # below the quietest room the spectrum says nothing: the mean stands in
        c = cep[t] if np.isfinite(level[t]) and level[t] >= LEVEL_LEAST else mean
        if speech:
            # The mean of what was heard so far (weighed against the starting mean as
            # MEAN_PRIOR windows) until that moves slower than the running rate.
            heard += 1
            rate = max(MEAN_RATE, 1.0 / (MEAN_PRIOR + heard)) if MEAN_PRIOR > 0 else MEAN_RATE
            mean += rate * (c - mean)
        out[t, 2:] = c - mean
    return out


def stack(rows):
    """Rows t - BEFORE .. t + AFTER side by side, the edges repeated."""
    n = len(rows)
    idx = np.clip(np.arange(n)[:, None] + np.arange(-BEFORE, AFTER + 1)[None, :], 0, n - 1)
    return rows[idx].reshape(n, -1)


def softmax(z):
    z = z - z.max(axis=1, keepdims=True)
    e = np.exp(z)
    return e / e.sum(axis=1, keepdims=True)


class Net:
    def __init__(self, n_in, hidden, rng):
        self.W1 = rng.normal(0, np.sqrt(2.0 / n_in), (hidden, n_in))
        self.b1 = np.zeros(hidden)
        self.W2 = rng.normal(0, np.sqrt(1.0 / hidden), (15, hidden))
        self.b2 = np.zeros(15)

    def params(self):
        return [self.W1, self.b1, self.W2, self.b2]

    def forward(self, x):
        h = np.maximum(x @ self.W1.T + self.b1, 0.0)
        return h, h @ self.W2.T + self.b2

    def grads(self, x, y, w, l2):
        h, z = self.forward(x)
        p = softmax(z)
        p[np.arange(len(y)), y] -= 1.0
        g = p * w[:, None] / w.sum()
        gW2 = g.T @ h + l2 * self.W2
        gb2 = g.sum(axis=0)
        gh = (g @ self.W2) * (h > 0)
        gW1 = gh.T @ x + l2 * self.W1
        gb1 = gh.sum(axis=0)
        return [gW1, gb1, gW2, gb2]


def loss(net, x, y, w):
    _, z = net.forward(x)
    p = softmax(z)
    return -(w * np.log(p[np.arange(len(y)), y] + 1e-12)).sum() / w.sum()


def smooth(logits, sharp, spread):
    """The recogniser's causal smoothing over one recording's logits."""
    out = np.empty_like(logits)
    prev = np.full(15, 1.0 / 15)
    for t in range(len(logits)):
        p = np.exp(sharp * (logits[t] - logits[t].max()))
        prior = prev if t == 0 else (1.0 - spread) * prev + spread / 15.0
        if t == 0:
            prior = np.full(15, 1.0 / 15)
        q = p * prior
        prev = q / q.sum()
        out[t] = prev
    return out


def phone_accuracy(weights, recs_frames):
    hits = tot = 0
    for (rec, n), w in zip(recs_frames, weights):
        at = fr.phone_windows(rec["phones"], n)
        truth = np.array([fr.VISEME_INDEX[p[3]] for p in rec["phones"]])
        hits += (w[at].argmax(axis=1) == truth).sum()
        tot += len(truth)
    return hits / max(tot, 1)


def c_array(name, a, ctype="float", per_line=6):
    a = np.asarray(a)
    def fmt(v):
        s = "%.9g" % v
        if "e" not in s and "." not in s:
            s += ".0"
        return s + ("f" if ctype == "float" else "")
    if a.ndim == 1:
        body = ", ".join(fmt(v) for v in a)
        return "inline constexpr %s %s[%d] = {%s};\n" % (ctype, name, len(a), body)
    rows = []
    for r in a:
        rows.append("    {" + ", ".join(fmt(v) for v in r) + "}")
    return "inline constexpr %s %s[%d][%d] = {\n%s};\n" % (ctype, name, a.shape[0], a.shape[1],
                                                            ",\n".join(rows))


def main():
    global BEFORE, AFTER, MEAN_PRIOR
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("corpus")
    ap.add_argument("--tool", required=True)
    ap.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "..",
                                                  "lipsync", "viseme_model.h"))
    ap.add_argument("--cache", default=os.path.join(tempfile.gettempdir(), "zarvo-lipsync-cache"))
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--epochs", type=int, default=40)
    ap.add_argument("--hidden", type=int, default=64)
    ap.add_argument("--l2", type=float, default=1e-4)
    ap.add_argument("--gain-db", type=float, default=12.0,
                    help="random gain change (+-dB) applied to each training recording")
    ap.add_argument("--channel", type=float, default=0.0,
                    help="random offset of coefficients 1-15 applied to each training recording "
                         "(a microphone's or room's colouring), in standard deviations of the "
                         "recordings' own mean coefficients")
    ap.add_argument("--speaker-power", type=float, default=0.0,
                    help="each speaker's phones weighed by their count to the minus this power "
                         "(0: every phone alike, 1: every speaker alike), so that one voice "
                         "with many recordings does not become the voice the fit knows")
    ap.add_argument("--pp-weight", type=float, default=2.0,
                    help="weight of p, b, m phones against the others")
    # The constants were fitted before Tux Paint's voices joined the corpus: they are the
    # voices the recogniser has never heard (check.py --split all --sources tuxpaint-...).
    ap.add_argument("--leave-out", default=",".join(TUXPAINT),
                    help="sources (comma-separated) kept out of the fit, to measure unseen voices")
    ap.add_argument("--perturb", default="0.9,1.1",
                    help="speed factors (comma-separated) for extra copies of the real voices "
                         "and the Festival and Flite voices")
    ap.add_argument("--warped-weight", type=float, default=0.1,
                    help="weight of recordings aligned by warping against espeak-ng (noisier)")
    ap.add_argument("--warped-vowel-weight", type=float, default=None,
                    help="the same for their vowels and pauses (default: --warped-weight)")
    ap.add_argument("--mean-prior", type=float, default=MEAN_PRIOR,
                    help="windows of speech the corpus' mean counts for at the start of a "
                         "stream (0: the running mean moves at its fixed rate from the start)")
    ap.add_argument("--before", type=int, default=8)
    ap.add_argument("--after", type=int, default=0)
    ap.add_argument("--report", action="store_true",
                    help="also print the per-phone figures over the test split's real voices")
    args = ap.parse_args()
    BEFORE, AFTER, MEAN_PRIOR = args.before, args.after, args.mean_prior
    if args.warped_vowel_weight is None:
        args.warped_vowel_weight = args.warped_weight
    rng = np.random.default_rng(args.seed)

    runner = fr.Runner(args.tool, args.cache)
    left_out = set(filter(None, args.leave_out.split(",")))
    recs = [r for r in fr.load_index(args.corpus)
            if r["split"] == "fit" and r["source"] not in left_out]
    recs.sort(key=lambda r: r["id"])
    raw = []
    for r in recs:
        f = runner.frames(os.path.join(args.corpus, r["audio"]), designed=True)
        raw.append((r, f["level"].copy(), f.block(["c%d" % i for i in range(16)]).copy()))
    # The running mean starts from the corpus' mean over loud windows.
    allc = np.concatenate([c[lv > np.percentile(lv, 50)] for _, lv, c in raw if len(lv)])
    mean_init = allc.mean(axis=0)
    # How far one recording's mean coefficients lie from another's (voice and channel).
    chan_sd = np.std([c[lv > np.percentile(lv, 50)].mean(axis=0) for _, lv, c in raw
                      if len(lv) > 4], axis=0)

    order = rng.permutation(len(raw))
    held = set(order[: max(1, len(raw) // 5)].tolist())
    sets = {"train": [], "held": []}
    for k, (r, lv, c) in enumerate(raw):
        sets["held" if k in held else "train"].append((r, lv, c))

    # Other voices from the real ones and the Festival and Flite ones: sped up or slowed down
    # (sox), which moves the pitch and the formants as a shorter or longer vocal tract would;
    # the phones keep their places on the new time line. espeak-ng has its own voices and variants.
    for factor in [float(x) for x in filter(None, args.perturb.split(","))]:
        extra = []
        for r, _, _ in sets["train"]:
            if r["source"].startswith("espeak") or "perturbed" in r:
                continue
            src = os.path.join(args.corpus, r["audio"])
            dst = os.path.join(args.cache, "perturbed",
                               "%s-%.3f.wav" % (r["id"].replace("/", "_"), factor))
            if not os.path.exists(dst):
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                tmp = "%s.%d.tmp.wav" % (dst, os.getpid())  # fits may share the cache
                subprocess.run(["sox", "-D", src, tmp, "speed", str(factor)],
                               check=True)
                os.replace(tmp, dst)
            f = runner.frames(dst, designed=True)
            q = dict(r, perturbed=factor,
                     phones=[[a / factor, b / factor, p, v] for a, b, p, v in r["phones"]])
            extra.append((q, f["level"].copy(), f.block(["c%d" % i for i in range(16)]).copy()))
        sets["train"] += extra
        print("%d recordings at speed %.2f" % (len(extra), factor), flush=True)

    phones_of = {}
    for r, _, _ in raw:
        key = (r["source"], r["speaker"])
        phones_of[key] = phones_of.get(key, 0) + len(r["phones"])

    def build(items, augment):
        xs, ys, ws, meta = [], [], [], []
        for r, lv, c in items:
            if len(lv) == 0:
                continue
            lv, c = lv.copy(), c.copy()
            if augment:
                g = rng.uniform(-args.gain_db, args.gain_db)
                loud = lv > -100.0
                lv[loud] += 2.0 * g
                c[loud, 0] += C0_PER_LEVEL * 2.0 * g
                if args.channel > 0:
                    c[loud, 1:] += rng.normal(0.0, args.channel * chan_sd[1:])
            x = stack(features(lv, c, mean_init))
            y = fr.window_labels(r["phones"], len(lv))
            # every phone counts once: each window by the share of its phone it is
            t = fr.centre(np.arange(len(lv))) - fr.LAG
            w = np.zeros(len(lv))
            for p in r["phones"]:
                inside = (t >= p[0]) & (t < p[1])
                if inside.any():
                    w[inside] = 1.0 / inside.sum()
            w[y == fr.VISEME_INDEX["PP"]] *= args.pp_weight
            if args.speaker_power:
                w *= phones_of[(r["source"], r["speaker"])] ** -args.speaker_power
            if r.get("aligner") == "dtw-espeak":
                # warping places long vowels and pauses far better than short consonants
                vowel = np.isin(y, [fr.VISEME_INDEX[v] for v in ("sil", "aa", "E", "ih", "oh", "ou")])
                w *= np.where(vowel, args.warped_vowel_weight, args.warped_weight)
            keep = y >= 0
            xs.append(x[keep])
            ys.append(y[keep])
            ws.append(w[keep])
            meta.append((r, len(lv), x))
        return np.concatenate(xs), np.concatenate(ys), np.concatenate(ws), meta

    xt, yt, wt, _ = build(sets["train"], augment=True)
    xh, yh, wh, hmeta = build(sets["held"], augment=False)
    mu, sd = xt.mean(axis=0), xt.std(axis=0) + 1e-6
    norm = lambda x: (x - mu) / sd  # noqa: E731
    xtn, xhn = norm(xt), norm(xh)
    n_in = xt.shape[1]
    del xt, xh  # only their normalised copies are needed from here (half the memory)
    print("train windows %d, held %d, inputs %d" % (len(yt), len(yh), n_in), flush=True)

    net = Net(n_in, args.hidden, rng)
    m = [np.zeros_like(p) for p in net.params()]
    v = [np.zeros_like(p) for p in net.params()]
    step, lr, batch = 0, 2e-3, 512
    best, best_params = 1e9, None
    for epoch in range(args.epochs):
        perm = rng.permutation(len(yt))
        for s in range(0, len(perm), batch):
            b = perm[s:s + batch]
            gs = net.grads(xtn[b], yt[b], wt[b], args.l2)
            step += 1
            for p, g, mm, vv in zip(net.params(), gs, m, v):
                mm *= 0.9
                mm += 0.1 * g
                vv *= 0.999
                vv += 0.001 * g * g
                p -= lr * (mm / (1 - 0.9 ** step)) / (np.sqrt(vv / (1 - 0.999 ** step)) + 1e-8)
        lh = loss(net, xhn, yh, wh)
        if lh < best:
            best, best_params = lh, [p.copy() for p in net.params()]
        print("epoch %d: held-back loss %.4f" % (epoch, lh), flush=True)
        lr *= 0.93
    net.W1, net.b1, net.W2, net.b2 = best_params

    # The smoothing, chosen on the held-back recordings by the per-phone figure.
    logits = [net.forward(norm(x))[1] for _, _, x in hmeta]
    metas = [(r, n) for r, n, _ in hmeta]
    raw_acc = phone_accuracy(logits, metas)
    best_s = (raw_acc, 1.0, 1.0)
    for sharp in (0.5, 0.7, 1.0):
        for spread in (0.1, 0.2, 0.35, 0.5, 0.7):
            acc = phone_accuracy([smooth(z, sharp, spread) for z in logits], metas)
            if acc > best_s[0]:
                best_s = (acc, sharp, spread)
    print("held-back phone accuracy: raw %.3f, smoothed %.3f (sharpness %.2f, spread %.2f)"
          % (raw_acc, best_s[0], best_s[1], best_s[2]))

    if args.report:
        test = [r for r in fr.load_index(args.corpus)
                if (r["split"] == "test" or r["source"] in left_out)
                and fr.is_real(r["source"])]
        by_source = {}
        for r in test:
            f = runner.frames(os.path.join(args.corpus, r["audio"]), designed=True)
            if len(f) == 0:
                continue
            x = stack(features(f["level"], f.block(["c%d" % i for i in range(16)]), mean_init))
            w = smooth(net.forward(norm(x))[1], best_s[1], best_s[2])
            at = fr.phone_windows(r["phones"], len(f))
            truth = np.array([fr.VISEME_INDEX[p[3]] for p in r["phones"]])
            got = w[at].argmax(axis=1)
            closed = w[at][:, 0] + w[at][:, 1]
            t = by_source.setdefault(r["source"], [0, 0, 0, 0])
            t[0] += (got == truth).sum()
            t[1] += len(truth)
            pp = truth == 1
            t[2] += (closed[pp] > 0.5).sum()
            t[3] += pp.sum()
        tot = np.array(list(by_source.values())).sum(axis=0)
        for name, t in sorted(by_source.items()) + [("real", tot)]:
            print("test %-16s phones %5d  visemes %.3f  p/b/m with sil+PP > 0.5: %.3f"
                  % (name, t[1], t[0] / max(t[1], 1), t[2] / max(t[3], 1)))

    # A stretch of a held-back recording with the weights the script gives it, so a test can
    # prove that the program computes what was fitted.
    check_rec, check_lv, check_c = max(sets["held"], key=lambda item: len(item[1]))
    check_n = min(CHECK_WINDOWS, len(check_lv))
    check_lv, check_c = check_lv[:check_n], check_c[:check_n]
    check_w = smooth(net.forward(norm(stack(features(check_lv, check_c, mean_init))))[1],
                     best_s[1], best_s[2])

    # The normalisation folded into the first layer: W1 (x - mu) / sd + b1.
    W1 = net.W1 / sd[None, :]
    b1 = net.b1 - W1 @ mu
    with open(args.out, "w") as out:
        out.write("// The viseme recogniser's constants, written by tools/lipsync/fit_visemes.py "
                  "(seed %d,\n// %d fitting recordings); rerun it to reproduce them. "
                  "Held-back phone accuracy %.3f.\n" % (args.seed, len(recs), best_s[0]))
        out.write("#pragma once\n\n// clang-format off\nnamespace lipsync::model {\n\n")
        out.write("inline constexpr int kBefore = %d;\n" % BEFORE)
        out.write("inline constexpr int kAfter = %d;\n" % AFTER)
        out.write("inline constexpr int kFeatures = 18;\n")
        out.write("inline constexpr int kHidden = %d;\n" % args.hidden)
        for name, val in (("kLevelLeast", LEVEL_LEAST), ("kPeakFall", PEAK_FALL),
                          ("kFloorRise", FLOOR_RISE), ("kSpeechAboveFloor", SPEECH_ABOVE_FLOOR),
                          ("kAboveFloorMost", ABOVE_FLOOR_MOST), ("kMeanRate", MEAN_RATE),
                          ("kMeanPrior", MEAN_PRIOR)):
            out.write("inline constexpr double %s = %r;\n" % (name, val))
        out.write(c_array("kMeanInit", mean_init, "double"))
        out.write("inline constexpr float kSharpness = %rf;\n" % best_s[1])
        out.write("inline constexpr float kSpread = %rf;\n" % best_s[2])
        out.write(c_array("kW1", W1.T))  # input by input
        out.write(c_array("kB1", b1))
        out.write(c_array("kW2", net.W2))
        out.write(c_array("kB2", net.b2))
        out.write("\n// The self-check: %d windows of %s (level, coefficients) and their weights.\n"
                  % (check_n, check_rec["id"]))
        out.write(c_array("kCheckLevel", check_lv, "double"))
        out.write(c_array("kCheckCepstra", check_c, "double"))
        out.write(c_array("kCheckWeights", check_w))
        out.write("\n}  // namespace lipsync::model\n// clang-format on\n")
    print("wrote", os.path.normpath(args.out))


if __name__ == "__main__":
    main()
