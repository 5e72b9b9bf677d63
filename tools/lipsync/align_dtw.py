"""Alignment by example: a recording is matched frame by frame (dynamic time warping) to
espeak-ng speaking the same transcript, whose phone times are exact, and the synthetic
phone boundaries are carried over along the warping path.

Both sides are described the same way: log energies of 26 mel bands (100-7000 Hz, the band
a wideband telephone keeps), the first 5 cepstra with their mean and spread normalised over
the speech, and their deltas. Only speech is matched to speech: the recording is cut to its
speech by level, the synthetic side to its first and last phone, and what lies outside
becomes "sil". The warping path's local slope is kept between 1/2 and 2 (steps 1:1, 1:2,
2:1), which absorbs a speaker's tempo changes without letting one frame swallow a word; the
synthetic voice is first brought to the recording's overall tempo.
"""

import numpy as np

import audio

HOP_S = 0.01
WIN_S = 0.025
# The first five cepstra (level and the coarse spectral shape): finer detail is the speaker's
# more than the phone's, and a synthetic voice matches a real one worse with it (measured
# against the recogniser on real English: 13 cepstra 40 %, 8: 46 %, 5: 60 % of phones agree).
N_CEPS, C_FIRST = 5, 0
# Slopes between 1/2 and 2 (63 % agreement; up to 3: 60 %, up to 4: 53 %).
_STEPS = ((1, 1), (1, 2), (2, 1))


def _mel_matrix(rate, nfft, bands=26, lo=100.0, hi=7000.0):
    mel = lambda f: 2595 * np.log10(1 + f / 700.0)
    imel = lambda m: 700 * (10 ** (m / 2595.0) - 1)
    edges = imel(np.linspace(mel(lo), mel(hi), bands + 2))
    freqs = np.fft.rfftfreq(nfft, 1.0 / rate)
    m = np.zeros((bands, len(freqs)))
    for b in range(bands):
        l, c, r = edges[b], edges[b + 1], edges[b + 2]
        m[b] = np.clip(np.minimum((freqs - l) / (c - l), (r - freqs) / (r - c)), 0, None)
    return m


def features(x, rate):
    """Cepstra (frames x 13) of a mono signal, one frame every 10 ms; frame k is centred at
    k * 10 ms + 12.5 ms."""
    hop, win, nfft = int(rate * HOP_S), int(rate * WIN_S), 512
    while nfft < win:
        nfft *= 2
    x = np.append(x[0], x[1:] - 0.97 * x[:-1])
    n = max(1, 1 + (len(x) - win) // hop)
    x = np.concatenate([x, np.zeros(win)])
    idx = np.arange(win)[None, :] + hop * np.arange(n)[:, None]
    spec = np.abs(np.fft.rfft(x[idx] * np.hamming(win), nfft)) ** 2
    bands = spec @ _mel_matrix(rate, nfft).T
    # A floor 70 dB under the loudest band: digital silence in the synthetic voice and a
    # room's noise then look alike.
    bands = np.log(np.maximum(bands, bands.max() * 1e-7 + 1e-12))
    k = np.arange(bands.shape[1])
    dct = np.cos(np.pi / bands.shape[1] * (k[None, :] + 0.5) * np.arange(13)[:, None])
    return (bands @ dct.T)[:, C_FIRST:N_CEPS]


def _normalise(c):
    c = (c - c.mean(0)) / (c.std(0) + 1e-6)
    pad = np.concatenate([c[:1], c[:1], c, c[-1:], c[-1:]])
    delta = (pad[3:-1] - pad[1:-3] + 2 * (pad[4:] - pad[:-4])) / 10.0
    return np.hstack([c, delta])


def dtw(a, b, band=None):
    """Path [(i, j)] through frames a (n x d) and b (m x d) from (0, 0) to (n-1, m-1)
    minimising the summed distance, with the slope-limited steps. band: cells farther than
    this from the straight diagonal are not considered (None: all)."""
    n, m = len(a), len(b)
    sq = (a * a).sum(1)[:, None] + (b * b).sum(1)[None, :] - 2 * a @ b.T
    cost = np.sqrt(np.maximum(sq, 0))
    if band is not None:
        i = np.arange(n)[:, None] * (m - 1) / max(1, n - 1)
        cost[np.abs(np.arange(m)[None, :] - i) > band] = np.inf
    inf = np.inf
    acc = np.full((n, m), inf)
    step = np.zeros((n, m), np.int8)
    acc[0, 0] = cost[0, 0]
    for i in range(n):
        best = np.full(m, inf)
        arg = np.zeros(m, np.int8)
        for s, (di, dj) in enumerate(_STEPS):
            if i - di < 0:
                continue
            prev = np.full(m, inf)
            prev[dj:] = acc[i - di, :m - dj]
            if di > 1:  # vertical run in column j: rows i-di+1..i
                run = cost[i - di + 1:i + 1].mean(0)
            elif dj > 1:  # horizontal run in row i: columns j-dj+1..j
                c = np.concatenate([[0.0], np.cumsum(np.where(np.isinf(cost[i]), 1e30, cost[i]))])
                run = np.full(m, inf)
                run[dj - 1:] = (c[dj:] - c[:m - dj + 1]) / dj
            else:
                run = cost[i]
            cand = prev + (di + dj) * run
            better = cand < best
            best[better], arg[better] = cand[better], s
        if i == 0:
            best[0] = cost[0, 0]
        acc[i], step[i] = best, arg
    if not np.isfinite(acc[n - 1, m - 1]):
        return None, inf
    path, i, j = [], n - 1, m - 1
    while True:
        path.append((i, j))
        if i == 0 and j == 0:
            break
        di, dj = _STEPS[step[i, j]]
        for k in range(1, max(di, dj)):
            path.append((i - k if di > 1 else i, j - k if dj > 1 else j))
        i, j = i - di, j - dj
    path.reverse()
    return path, acc[n - 1, m - 1] / (n + m)


def _warp(path):
    """Piecewise-linear map from b's frame index to a's (the mean a-frame per b-frame)."""
    js = {}
    for i, j in path:
        js.setdefault(j, []).append(i)
    keys = np.array(sorted(js))
    return keys, np.array([np.mean(js[j]) for j in keys])


def align(real, real_rate, synth, synth_rate, synth_phones):
    """Carries synth_phones [(start_s, end_s, label)] (covering the synthetic signal, pauses
    "sil") over to the real signal. Returns (phones covering the real signal, mean distance
    along the path), or (None, inf) when no path exists."""
    dur = len(real) / real_rate
    ra, rb = audio.speech_span(real, real_rate)
    spoken = [p for p in synth_phones if p[2] != "sil"]
    if not spoken or rb - ra < 0.05:
        return None, np.inf
    sa, sb = spoken[0][0], spoken[-1][1]
    fr = features(real, real_rate)
    fs = features(synth, synth_rate)
    to_frame = lambda t: int(round((t - WIN_S / 2) / HOP_S))
    r0, r1 = max(0, to_frame(ra)), min(len(fr), to_frame(rb) + 1)
    s0, s1 = max(0, to_frame(sa)), min(len(fs), to_frame(sb) + 1)
    if r1 - r0 < 3 or s1 - s0 < 3:
        return None, np.inf
    a, b = _normalise(fr[r0:r1]), _normalise(fs[s0:s1])
    band = max(30, int(0.25 * max(len(a), len(b))))
    path, dist = dtw(a, b, band)
    if path is None:
        return None, np.inf
    keys, vals = _warp(path)

    def carry(t):
        """Synthetic time to real time, through frame centres."""
        f = (t - WIN_S / 2) / HOP_S - s0
        g = np.interp(f, keys, vals) + r0
        return min(max(g * HOP_S + WIN_S / 2, ra), rb)

    out = [[0.0, ra, "sil"]] if ra > 0 else []
    for start, end, label in synth_phones:
        if end <= sa or start >= sb:
            continue
        a_t, b_t = carry(max(start, sa)), carry(min(end, sb))
        out.append([a_t, b_t, label])
    if rb < dur:
        out.append([rb, dur, "sil"])
    return _tidy(out, dur), dist


def _tidy(phones, dur):
    """Contiguous, in order, no phone shorter than 5 ms (it goes to its neighbour), pauses
    merged."""
    out = []
    for p in phones:
        if out:
            p[0] = out[-1][1]
        p[1] = max(p[1], p[0])
        if p[1] - p[0] < 0.005 and out:
            out[-1][1] = p[1]
            continue
        if out and out[-1][2] == "sil" and p[2] == "sil":
            out[-1][1] = p[1]
            continue
        out.append(p)
    if out:
        out[0][0], out[-1][1] = 0.0, dur
    return [tuple(p) for p in out if p[1] > p[0]]


def carve_pauses(phones, x, rate, min_s=0.2):
    """Pauses the recording makes but the transcript's synthesis did not: quiet runs of at
    least min_s inside the speech become "sil", cut out of the phones they fell in."""
    spoken = [p for p in phones if p[2] != "sil"]
    if not spoken:
        return phones
    runs = audio.quiet_runs(x, rate, spoken[0][0], spoken[-1][1], min_s)
    out = [list(p) for p in phones]
    for qa, qb in runs:
        nxt = []
        for p in out:
            if p[2] == "sil" or p[1] <= qa or p[0] >= qb:
                nxt.append(p)
                continue
            if p[0] < qa:
                nxt.append([p[0], qa, p[2]])
            nxt.append([max(p[0], qa), min(p[1], qb), "sil"])
            if p[1] > qb:
                nxt.append([qb, p[1], p[2]])
        out = nxt
    return _tidy(out, phones[-1][1])
