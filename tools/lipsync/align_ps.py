"""Forced alignment of English speech to ARPAbet phones with pocketsphinx.

The recogniser is given a grammar that can only spell the transcript: every phone is a
"word" pronounced as itself, each word of the transcript is the choice of its dictionary
pronunciations, and a pause may stand between words (never inside one, so a stop's closure
stays with the stop). The backtrace then gives each phone's first and last 10 ms frame.
Fillers are switched off and the whole file is decoded (no voice-activity cut), so the
frames are the file's own.
"""

import os
import re
import subprocess
import tempfile

MODEL = "/usr/share/pocketsphinx/model/en-us"
PHONES = ("aa ae ah ao aw ay b ch d dh eh er ey f g hh ih iy jh k l m n ng ow oy p r s sh t th "
          "uh uw v w y z zh").split()
# Added to every boundary the recogniser reports. Its frames are 25.6 ms long, 10 ms apart:
# a boundary reported between frames k-1 and k lies, measured against exactly timed speech
# (`corpus.py accuracy`), this much later than k * 10 ms.
OFFSET_S = 0.01
# All but no pruning: the grammar has a single path (but for pauses and pronunciations), and a
# narrower beam loses it on fast speech, where phones are at their three-frame minimum.
BEAM = "1e-300"

_ONES = ("zero one two three four five six seven eight nine ten eleven twelve thirteen "
         "fourteen fifteen sixteen seventeen eighteen nineteen").split()
_TENS = "_ _ twenty thirty forty fifty sixty seventy eighty ninety".split()


def number_words(n):
    """0 <= n < 1000000 in English words."""
    if n < 20:
        return [_ONES[n]]
    if n < 100:
        return [_TENS[n // 10]] + ([_ONES[n % 10]] if n % 10 else [])
    if n < 1000:
        return [_ONES[n // 100], "hundred"] + (number_words(n % 100) if n % 100 else [])
    return number_words(n // 1000) + ["thousand"] + (number_words(n % 1000) if n % 1000 else [])


def english_words(text):
    """Transcript to lower-case dictionary words: bracketed notes dropped, numbers spelt,
    hyphens split, punctuation removed (apostrophes inside words kept)."""
    text = re.sub(r"\[[^\]]*\]", " ", text)
    text = text.replace("&", " and ").replace("%", " percent ")
    words = []
    for tok in re.split(r"[\s\-/]+", text.lower()):
        for part in re.findall(r"\d+|[a-z][a-z']*", tok):
            if part.isdigit():
                words += number_words(int(part)) if len(part) < 7 else [_ONES[int(d)] for d in part]
            else:
                part = part.strip("'")
                if part:
                    words.append(part)
    return words


class Dictionary:
    def __init__(self, path=os.path.join(MODEL, "cmudict-en-us.dict")):
        self.prons = {}
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                parts = line.split()
                if len(parts) < 2:
                    continue
                word = re.sub(r"\(\d+\)$", "", parts[0])
                phones = [p.lower().rstrip("012") for p in parts[1:]]
                self.prons.setdefault(word, [])
                if phones not in self.prons[word]:
                    self.prons[word].append(phones)

    def lookup(self, word):
        return self.prons.get(word)


def grammar(word_prons):
    """JSGF that spells the words: [sil] (pron | pron) [sil] (pron) ... [sil]."""
    items = ["[sil]"]
    for prons in word_prons:
        items.append("( " + " | ".join(" ".join(p) for p in prons) + " )")
        items.append("[sil]")
    return "#JSGF V1.0;\ngrammar utt;\npublic <utt> = " + " ".join(items) + " ;\n"


def align(wav16, word_prons, timeout=120):
    """Aligns a 16 kHz 16-bit WAV to the words (each a list of pronunciations, each a list
    of ARPAbet phones). Returns [(start_s, end_s, phone)] covering the file, pauses "sil";
    None when the recogniser finds no path through the grammar."""
    with tempfile.TemporaryDirectory() as tmp:
        gram, dic = os.path.join(tmp, "utt.jsgf"), os.path.join(tmp, "phones.dict")
        with open(gram, "w") as f:
            f.write(grammar(word_prons))
        with open(dic, "w") as f:
            f.write("".join("%s %s\n" % (p, p.upper()) for p in PHONES) + "sil SIL\n")
        log = os.path.join(tmp, "log.txt")
        cmd = ["pocketsphinx_continuous", "-hmm", os.path.join(MODEL, "en-us"), "-dict", dic,
               "-jsgf", gram, "-infile", wav16, "-time", "yes", "-fsgusefiller", "no",
               "-remove_silence", "no", "-beam", BEAM, "-pbeam", BEAM, "-wbeam", BEAM,
               "-logfn", log]
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    segs = []
    for line in r.stdout.decode(errors="replace").splitlines():
        parts = line.split()
        if len(parts) != 4:
            continue
        word, start, end = parts[0], parts[1], parts[2]
        if word == "(NULL)":
            continue
        try:
            start, end = float(start), float(end)
        except ValueError:
            continue
        name = "sil" if word in ("sil", "<s>", "</s>", "<sil>") else word
        if name != "sil" and name not in PHONES:
            continue
        segs.append((start, end + 0.01, name))
    expected_min = sum(min(len(p) for p in prons) for prons in word_prons)
    spoken = [s for s in segs if s[2] != "sil"]
    if len(spoken) < expected_min:
        return None
    return segs


def cover(segs, duration, offset=OFFSET_S):
    """Contiguous phones from 0 to duration: the offset applied, gaps and the ends filled with
    "sil", neighbouring pauses merged."""
    out = []
    t = 0.0
    for start, end, name in segs:
        start = min(max(start + offset, t), duration)
        end = min(max(end + offset, start), duration)
        if start > t + 1e-6:
            out.append([t, start, "sil"])
        if end > start:
            out.append([start, end, name])
        t = end
    if duration > t + 1e-6:
        out.append([t, duration, "sil"])
    merged = []
    for s in out:
        if merged and merged[-1][2] == "sil" and s[2] == "sil":
            merged[-1][1] = s[1]
        else:
            merged.append(s)
    # Adjacent phones meet exactly.
    for a, b in zip(merged, merged[1:]):
        b[0] = a[1]
    return [tuple(s) for s in merged]
