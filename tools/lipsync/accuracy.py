"""How well each aligner places phones, measured where the truth is known.

- pocketsphinx on espeak-ng English (exact phone times), given the synthesiser's own phone
  sequence: boundary error (median, 90th percentile) and the share of phones whose aligned
  middle lies inside the true phone; and given the dictionary's pronunciations, as for real
  speech: the share of true phones whose middle gets the right viseme.
- the warping aligner on espeak-ng speech in several languages, aligned against another
  voice, variant, tempo and pitch of the same sentence with a room's noise (-50 dBFS) added:
  the same figures.
- the warping aligner against pocketsphinx on real English (asterisk-en, ktuberling-en): the
  share of the recogniser's phones whose middle gets the same viseme from the warping. This is
  the figure that says what the warping does on real voices, where it is used.
"""

import os
import sys
import tempfile

import numpy as np

import align_dtw
import align_ps
import audio
import corpus
import sentences
import sources
import synth


def _boundaries(truth, aligned):
    """1:1 comparison of the phones (pauses left out): (start and end errors, middles inside)."""
    t = [p for p in truth if p[2] != "sil"]
    a = [p for p in aligned if p[2] != "sil"]
    if [p[2] for p in t] != [p[2] for p in a]:
        return None
    errs, inside = [], []
    for tp, ap in zip(t, a):
        errs += [ap[0] - tp[0], ap[1] - tp[1]]
        inside.append(tp[0] <= (ap[0] + ap[1]) / 2 < tp[1])
    return errs, inside


def _viseme_at(phones, t, lang):
    for a, b, n in phones:
        if a <= t < b:
            return synth.viseme_of(n, lang)
    return "sil"


def _viseme_agreement(ref, test, ref_lang, test_lang):
    """Share of ref's phones (pauses left out) whose middle has the same viseme in test."""
    hits = [synth.viseme_of(n, ref_lang) == _viseme_at(test, (a + b) / 2, test_lang)
            for a, b, n in ref if n != "sil"]
    return hits


def _summary(name, errs, inside, hits=None):
    e = np.abs(np.asarray(errs))
    line = "%s: %d phones, boundary error median %.1f ms, 90th percentile %.1f ms, " \
           "signed median %+.1f ms, middle inside the true phone %.1f %%" % (
               name, len(inside), 1000 * np.median(e), 1000 * np.percentile(e, 90),
               1000 * np.median(errs), 100 * np.mean(inside))
    if hits is not None:
        line += "; viseme at the true middle, dictionary pronunciations: %.1f %% (%d phones)" % (
            100 * np.mean(hits), len(hits))
    print(line, flush=True)


def pocketsphinx_on_espeak(count):
    errs, inside, hits, failed = [], [], [], 0
    speakers = [v + var for v in sentences.ENGLISH_VOICES for var in sentences.VARIANTS]
    with tempfile.TemporaryDirectory() as tmp:
        for k, text in enumerate(sentences.ENGLISH[:count]):
            voice = speakers[(k * 7) % len(speakers)]
            sp, truth = synth.speak(text, voice, "en", rate=120 + (k * 37) % 130,
                                    pitch=25 + (k * 23) % 55)
            w48, w16 = os.path.join(tmp, "x.wav"), os.path.join(tmp, "x16.wav")
            synth.write(sp, w48)
            audio.to_16k_int16(w48, w16)
            dur = len(sp.samples) / sp.rate
            words, cur = [], []
            for a, b, n in truth:
                if n == "sil":
                    if cur:
                        words.append([cur])
                    cur = []
                else:
                    cur.append(n)
            if cur:
                words.append([cur])
            segs = align_ps.align(w16, words)
            cmp = segs and _boundaries(truth, align_ps.cover(segs, dur))
            if not cmp:
                failed += 1
            else:
                errs += cmp[0]
                inside += cmp[1]
            segs = align_ps.align(w16, corpus.english_prons(text))
            if segs:
                hits += _viseme_agreement(truth, align_ps.cover(segs, dur), "en", "en")
    _summary("pocketsphinx on espeak-ng English (%d sentences, %d failed)" % (count, failed),
             errs, inside, hits)


def dtw_on_espeak(count):
    errs, inside, failed, n = [], [], 0, 0
    cases = [("en", t, "en-us") for t in sentences.ENGLISH[:count]]
    for lang in corpus.ESPEAK_LANGS:
        cases += [(lang, t, sentences.OTHER_VOICES[lang]) for t in sentences.OTHER[lang]]
    for k, (lang, text, voice) in enumerate(cases):
        _, ref_ph = synth.speak(text, voice, lang)
        var = sentences.VARIANTS[1 + k % (len(sentences.VARIANTS) - 1)]
        real, real_ph = synth.speak(text, voice + var, lang, rate=130 + (k * 41) % 110,
                                    pitch=25 + (k * 29) % 55)
        x = synth.at_16k(real)
        x = x + audio.room_noise(len(x), 16000, corpus.NOISE_DBFS, k)
        phones, _, why = corpus._dtw(x, {"transcript": text, "voice": voice, "lang": lang})
        n += 1
        cmp = phones and _boundaries(real_ph, phones)
        if not cmp:
            failed += 1
            continue
        errs += cmp[0]
        inside += cmp[1]
    _summary("warping on espeak-ng, another voice with room noise (%d sentences in %d languages, "
             "%d not comparable)" % (n, 1 + len(corpus.ESPEAK_LANGS), failed), errs, inside)


def dtw_vs_pocketsphinx(count):
    hits, n = {}, 0
    items = [it for it in sources.real("asterisk-en") if len(it["transcript"]) < 120][:count]
    items += sources.real("ktuberling-en")[:count // 2]
    with tempfile.TemporaryDirectory() as tmp:
        for it in items:
            w48, w16 = os.path.join(tmp, "x.wav"), os.path.join(tmp, "x16.wav")
            audio.convert(it["path"], w48, it["raw_format"])
            audio.to_16k_int16(w48, w16)
            x16, _ = audio.read_wav(w16)
            prons = corpus.english_prons(it["transcript"])
            segs = prons and align_ps.align(w16, prons)
            if not segs:
                continue
            ref = align_ps.cover(segs, len(x16) / 16000)
            phones, _, why = corpus._dtw(x16, dict(it, voice="en-us", lang="en"))
            if phones is None:
                continue
            n += 1
            hits.setdefault(it["source"], []).extend(_viseme_agreement(ref, phones, "en", "en"))
    for source, h in sorted(hits.items()):
        print("warping against pocketsphinx on real speech, %s: viseme at the recogniser's "
              "phone middle agrees for %.1f %% of %d phones" % (source, 100 * np.mean(h), len(h)),
              flush=True)
    allh = sum(hits.values(), [])
    print("   all: %.1f %% of %d phones in %d recordings" % (100 * np.mean(allh), len(allh), n))


def main(args):
    pocketsphinx_on_espeak(args.sentences)
    dtw_on_espeak(args.sentences)
    dtw_vs_pocketsphinx(args.sentences * 2)
    return 0


if __name__ == "__main__":
    sys.exit(corpus.main(["accuracy"] + sys.argv[1:]))
