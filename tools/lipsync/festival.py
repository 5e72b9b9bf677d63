"""Festival's English voices and Flite's: speech with the time at which each phone ends.

Two of the voices join diphones cut from a man's recorded speech (kal_diphone and
ked_diphone, packages festvox-kallpc16k and festvox-kdlpc16k); the third is a statistical
voice trained on a woman's recordings (cmu_us_slt_arctic_hts, festvox-us-slt-hts). Their
spectra come from human vocal tracts, unlike espeak-ng's formant synthesis, and Festival
says exactly where each phone lies (utt.save.segs). One process per utterance: Festival
keeps its state in one Scheme interpreter.

Flite, Festival's small C sibling (libflite1), brings two more men, statistical voices trained
on their recordings: awb (Scottish) and rms (American); and slt's recordings in another model.
It runs in this process through its C interface, each voice loaded once.
"""

import ctypes
import os
import subprocess
import tempfile

VOICES = ["kal_diphone", "ked_diphone", "cmu_us_slt_arctic_hts"]
FLITE_VOICES = ["cmu_us_awb", "cmu_us_rms", "cmu_us_slt"]

# Festival's US phone set against the CMU dictionary's (the rest are the same names).
_TO_ARPABET = {"pau": "sil", "h#": "sil", "ax": "ah", "axr": "er", "dx": "d", "el": "l",
               "em": "m", "en": "n", "nx": "n"}


def available():
    return os.path.exists("/usr/bin/festival")


def flite_available():
    try:
        _flite_voice(FLITE_VOICES[0])
    except OSError:
        return False
    return True


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
    return _phones(ends)


def _phones(ends):
    """[(end_s, phone)] in Festival's phone set to [(start_s, end_s, arpabet)], joined pauses."""
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


_flite = None
_flite_voices = {}


def _flite_voice(voice):
    global _flite
    if voice not in FLITE_VOICES:
        raise ValueError("unknown Flite voice %r" % voice)
    if _flite is None:
        lib = ctypes.CDLL("libflite.so.1", mode=ctypes.RTLD_GLOBAL)
        for name in ("libflite_usenglish.so.1", "libflite_cmulex.so.1"):
            ctypes.CDLL(name, mode=ctypes.RTLD_GLOBAL)
        ptr, s = ctypes.c_void_p, ctypes.c_char_p
        for fn, res, args in (("flite_synth_text", ptr, [s, ptr]),
                              ("utt_relation", ptr, [ptr, s]), ("relation_head", ptr, [ptr]),
                              ("item_next", ptr, [ptr]), ("item_feat_string", s, [ptr, s]),
                              ("item_feat_float", ctypes.c_float, [ptr, s]),
                              ("utt_wave", ptr, [ptr]),
                              ("cst_wave_save_riff", ctypes.c_int, [ptr, s]),
                              ("flite_feat_set_float", None, [ptr, s, ctypes.c_float]),
                              ("delete_utterance", None, [ptr])):
            getattr(lib, fn).restype = res
            getattr(lib, fn).argtypes = args
        lib.flite_init()
        _flite = lib
    if voice not in _flite_voices:
        lib = ctypes.CDLL("libflite_%s.so.1" % voice, mode=ctypes.RTLD_GLOBAL)
        register = getattr(lib, "register_" + voice)
        register.restype, register.argtypes = ctypes.c_void_p, [ctypes.c_char_p]
        _flite_voices[voice] = register(None)
    return _flite_voices[voice]


def flite_speak(text, voice, dst_wav, stretch=1.0):
    """As speak(), with one of Flite's voices (16000 Hz)."""
    v = _flite_voice(voice)
    # cst_voice: {const char *name; cst_features *features; ...}
    features = ctypes.cast(v, ctypes.POINTER(ctypes.c_void_p))[1]
    _flite.flite_feat_set_float(features, b"duration_stretch", stretch)
    utt = _flite.flite_synth_text(text.encode("utf-8"), v)
    if not utt:
        raise RuntimeError("flite could not speak %r" % text)
    try:
        if _flite.cst_wave_save_riff(_flite.utt_wave(utt), dst_wav.encode()) != 0:
            raise RuntimeError("flite could not write " + dst_wav)
        ends, seg = [], _flite.relation_head(_flite.utt_relation(utt, b"Segment"))
        while seg:
            ends.append((_flite.item_feat_float(seg, b"end"),
                         _flite.item_feat_string(seg, b"name").decode()))
            seg = _flite.item_next(seg)
    finally:
        _flite.delete_utterance(utt)
    return _phones(ends)
