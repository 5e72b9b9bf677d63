"""Synthetic recordings with exact phones: espeak-ng speech written in the corpus format."""

import os
import tempfile

import numpy as np

import audio
import espeak
import visemes

_VOWELS = {"aa", "E", "ih", "oh", "ou", "sil"}


def _is_consonant(name):
    try:
        return visemes.ipa_viseme(name) not in _VOWELS
    except KeyError:
        return False


def phone_label(ipa_name, lang):
    """The corpus's phone name: ARPAbet for English, espeak-ng's IPA (stress marks off)
    elsewhere."""
    if ipa_name == "sil":
        return "sil"
    if lang == "en":
        return visemes.en_arpabet(ipa_name)
    return ipa_name.replace("ˈ", "").replace("ˌ", "")


def viseme_of(label, lang):
    if label == "sil":
        return "sil"
    return visemes.arpabet_viseme(label) if lang == "en" else visemes.ipa_viseme(label)


def speak(text, voice, lang, rate=None, pitch=None, pitch_range=None):
    """espeak-ng speech with its phones refined to the sound: (Speech, [(start_s, end_s,
    label)])."""
    sp = espeak.engine().synth(text, voice, rate=rate, pitch=pitch, pitch_range=pitch_range)
    sp.samples = np.frombuffer(sp.samples, np.int16)
    refine(sp, _is_consonant)
    phones = [(a / sp.rate, b / sp.rate, phone_label(n, lang)) for a, b, n in sp.phones]
    return sp, _merge_pauses(phones)


def refine(speech, is_consonant):
    """Moves the reported boundaries to where the sound is, in two places where espeak-ng's
    phoneme events and its audio part:
    - the closure of a stop (digital silence) is rendered before the stop's event, inside
      the phoneme before it: the stop starts where that silence starts;
    - a pause event can come before the previous phoneme's sound has ended, or stand for a
      pause that is not rendered at all (inside a sentence): within a pause, the frames still
      loud (within 30 dB of the speech) go to the phoneme before and after it.
    is_consonant(name) tells which phonemes can have a closure before them."""
    x = speech.samples.astype(np.float64)
    segs = [list(s) for s in speech.phones]
    min_zero, max_gap = int(0.003 * speech.rate), int(0.02 * speech.rate)
    for k in range(1, len(segs)):
        prev, cur = segs[k - 1], segs[k]
        if cur[2] == "sil" or prev[2] == "sil" or not is_consonant(cur[2]):
            continue
        nz = np.nonzero(x[max(prev[0], cur[0] - max_gap - min_zero * 20):cur[0]])[0]
        lo = max(prev[0], cur[0] - max_gap - min_zero * 20)
        # The last run of zeros that ends within max_gap of the event.
        zeros = np.nonzero(x[lo:cur[0]] == 0)[0] + lo
        if len(zeros) == 0 or cur[0] - zeros[-1] > max_gap:
            continue
        end = zeros[-1]
        start = end
        while start - 1 > prev[0] and x[start - 1] == 0:
            start -= 1
        if end - start + 1 >= min_zero and start - prev[0] > min_zero:
            prev[1] = cur[0] = start
    hop = max(1, int(0.005 * speech.rate))
    frames = [np.sqrt(np.mean(x[i:i + hop] ** 2)) for i in range(0, len(x) - hop + 1, hop)]
    if not frames:
        return speech
    db = 20 * np.log10(np.asarray(frames) + 1e-9)
    loud_level = np.percentile(db, 95) - 30
    for k, seg in enumerate(segs):
        if seg[2] != "sil":
            continue
        f0, f1 = -(-seg[0] // hop), min(len(db), seg[1] // hop)
        if f1 <= f0:
            continue
        loud = db[f0:f1] > loud_level
        has_prev = k > 0 and segs[k - 1][2] != "sil"
        has_next = k + 1 < len(segs) and segs[k + 1][2] != "sil"
        if loud.all():
            if has_prev and has_next:
                mid = (seg[0] + seg[1]) // 2
                segs[k - 1][1] = segs[k + 1][0] = mid
                seg[0] = seg[1] = mid
            continue
        quiet = np.nonzero(~loud)[0]
        if has_prev and quiet[0] > 0:
            segs[k - 1][1] = seg[0] = (f0 + quiet[0]) * hop
        if has_next and quiet[-1] < len(loud) - 1:
            segs[k + 1][0] = seg[1] = (f0 + quiet[-1] + 1) * hop
    speech.phones = [tuple(s) for s in segs if s[1] > s[0]]
    return speech


def _merge_pauses(phones):
    out = []
    for p in phones:
        if out and out[-1][2] == "sil" and p[2] == "sil":
            out[-1] = (out[-1][0], p[1], "sil")
        else:
            out.append(p)
    return out


def write(sp, dst):
    """The synthesiser's samples in the corpus format (48 kHz float) at dst."""
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "speech.wav")
        audio.write_wav_int16(raw, sp.samples, sp.rate)
        audio.to_corpus_format(raw, dst)


def at_16k(sp):
    """The synthesiser's samples at 16 kHz as floats (sox), for the aligners."""
    with tempfile.TemporaryDirectory() as tmp:
        raw, out = os.path.join(tmp, "speech.wav"), os.path.join(tmp, "speech16.wav")
        audio.write_wav_int16(raw, sp.samples, sp.rate)
        audio.to_16k_int16(raw, out)
        return audio.read_wav(out)[0]
