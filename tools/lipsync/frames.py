"""What the fitting and checking scripts share: the corpus index, the frames the program
makes of a recording (lipsync-frames, cached), and the phone under each window.

A corpus is a folder with index.jsonl, one recording per line:
  {"id", "source", "lang", "speaker", "audio" (path relative to the folder), "transcript",
   "phones": [[start_s, end_s, phone, viseme], ...] covering the recording, "split": "fit"|"test",
   "aligner"}
"""

import hashlib
import json
import os
import subprocess

import numpy as np

VISEMES = ["sil", "PP", "FF", "TH", "DD", "kk", "CH", "SS", "nn", "RR", "aa", "E", "ih", "oh", "ou"]
VISEME_INDEX = {v: i for i, v in enumerate(VISEMES)}

RATE = 48000
HOP = 512
# The analysed FAPs lag the sound by the four-window smoothing: a window's frame shows the
# phone 16 ms before its centre.
LAG = 0.016


def centre(i):
    """Time of window i's centre in seconds (window i covers samples [512 i, 512 i + 1024))."""
    return HOP * (np.asarray(i) + 1.0) / RATE


def is_real(source):
    """Recorded human speech, not synthetic."""
    return not source.startswith(("espeak", "festival", "flite"))


def load_index(corpus):
    with open(os.path.join(corpus, "index.jsonl"), encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


class Frames:
    """The columns of lipsync-frames' output for one recording, by name."""

    def __init__(self, array, names):
        self.a = array
        self.col = {n: k for k, n in enumerate(names)}

    def __len__(self):
        return self.a.shape[0]

    def __getitem__(self, name):
        return self.a[:, self.col[name]]

    def block(self, names):
        return self.a[:, [self.col[n] for n in names]]


class Runner:
    """Runs lipsync-frames over recordings, caching each result by the tool's identity, the
    audio file and the mode (designed or articulated)."""

    def __init__(self, tool, cache):
        self.tool = tool
        self.cache = cache
        os.makedirs(cache, exist_ok=True)
        self.names = subprocess.run([tool, "--columns"], check=True, capture_output=True,
                                    text=True).stdout.split()
        st = os.stat(tool)
        self.stamp = "%s-%d-%d" % (os.path.realpath(tool), st.st_size, int(st.st_mtime))

    def frames(self, audio, designed=False):
        st = os.stat(audio)
        key = hashlib.sha1(("%s|%s|%d|%d|%d" % (self.stamp, os.path.realpath(audio), st.st_size,
                                                 int(st.st_mtime), designed)).encode()).hexdigest()
        path = os.path.join(self.cache, key + ".npy")
        if not os.path.exists(path):
            tmp = "%s.%d.tmp.npy" % (path, os.getpid())
            cmd = [self.tool] + (["--designed"] if designed else []) + ["-o", tmp,
                                                                       audio]
            subprocess.run(cmd, check=True)
            os.replace(tmp, path)
        return Frames(np.load(path), self.names)


def window_labels(phones, n, lag=LAG):
    """Viseme index of the phone under each of n windows, at its centre minus the lag; -1
    where no phone covers that time."""
    t = centre(np.arange(n)) - lag
    out = np.full(n, -1, dtype=int)
    for start, end, _phone, viseme in phones:
        out[(t >= start) & (t < end)] = VISEME_INDEX[viseme]
    return out


def phone_windows(phones, n, lag=LAG):
    """For every phone, the window whose centre is nearest the phone's middle plus the lag
    (clamped to the recording's windows)."""
    mids = np.array([(p[0] + p[1]) / 2.0 for p in phones]) + lag
    idx = np.rint(mids * RATE / HOP - 1.0).astype(int)
    return np.clip(idx, 0, max(n - 1, 0))
