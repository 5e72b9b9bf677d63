"""Festival's English voices: speech with the time at which each phone ends.

Two of the voices join diphones cut from a man's recorded speech (kal_diphone and
ked_diphone, packages festvox-kallpc16k and festvox-kdlpc16k); the third is a statistical
voice trained on a woman's recordings (cmu_us_slt_arctic_hts, festvox-us-slt-hts). Their
spectra come from human vocal tracts, unlike espeak-ng's formant synthesis, and Festival
says exactly where each phone lies (utt.save.segs). One process per utterance: Festival
keeps its state in one Scheme interpreter.
"""

import os
import subprocess
import tempfile

VOICES = ["kal_diphone", "ked_diphone", "cmu_us_slt_arctic_hts"]

# Festival's US phone set against the CMU dictionary's (the rest are the same names).
_TO_ARPABET = {"pau": "sil", "h#": "sil", "ax": "ah", "axr": "er", "dx": "d", "el": "l",
               "em": "m", "en": "n", "nx": "n"}


def available():
    return os.path.exists("/usr/bin/festival")


def _scheme_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def speak(text, voice, dst_wav, stretch=1.0):
    """Speaks `text` with `voice` into dst_wav (the voice's own rate, 16-bit) and returns its
    phones [(start_s, end_s, arpabet)] covering the whole file, pauses as "sil". stretch
    lengthens every phone (1.2: a fifth slower)."""
    if voice not in VOICES:
        raise ValueError("unknown Festival voice %r" % voice)
    with tempfile.TemporaryDirectory() as tmp:
        segs = os.path.join(tmp, "x.segs")
        script = os.path.join(tmp, "x.scm")
        with open(script, "w", encoding="utf-8") as f:
            f.write("(voice_%s)\n(Parameter.set 'Duration_Stretch %.3f)\n"
                    "(set! utt (Utterance Text %s))\n(utt.synth utt)\n"
                    "(utt.save.wave utt %s 'riff)\n(utt.save.segs utt %s)\n"
                    % (voice, stretch, _scheme_string(text), _scheme_string(dst_wav),
                       _scheme_string(segs)))
        r = subprocess.run(["festival", "-b", script], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=120)
        if r.returncode != 0 or not os.path.exists(segs):
            raise RuntimeError("festival failed: %s" % r.stderr.decode(errors="replace")[-300:])
        ends = []
        with open(segs, encoding="utf-8") as f:
            for line in f:
                parts = line.split()
                if len(parts) == 3 and parts[0] != "#":
                    ends.append((float(parts[0]), parts[2]))
    phones, start = [], 0.0
    for end, name in ends:
        label = _TO_ARPABET.get(name, name)
        if end <= start:
            continue
        if phones and label == "sil" and phones[-1][2] == "sil":
            phones[-1] = (phones[-1][0], end, "sil")
        else:
            phones.append((start, end, label))
        start = end
    return phones
