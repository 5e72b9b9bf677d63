#!/usr/bin/python3
"""A corpus of real and synthetic speech aligned to phones and visemes, for fitting and
measuring lip sync.

    tools/lipsync/corpus.py build --out DIR [--sources S ...] [--small] [--jobs N]
    tools/lipsync/corpus.py stats DIR
    tools/lipsync/corpus.py accuracy [--out FILE]

`build` writes DIR/index.jsonl, one JSON object per recording:

    {"id", "source", "lang", "speaker", "audio" (relative to DIR: 48000 Hz mono 32-bit float
     WAV, the recording's own level, pauses and noise), "source_rate", "duration",
     "transcript", "phones": [[start_s, end_s, phone, viseme], ...] (the whole recording,
     in order, pauses "sil"), "split": "fit" | "test", "aligner": "pocketsphinx" |
     "dtw-espeak" | "espeak-exact", "score"}

and DIR/rejected.jsonl (recordings left out and why). Phones are ARPAbet for English and
espeak-ng's IPA otherwise; visemes are `sil PP FF TH DD kk CH SS nn RR aa E ih oh ou`
(visemes.py has both tables). The build is deterministic: the same packages give the same
corpus. It runs at most --jobs (default 2) worker processes, niced.

Sources (`--sources`, default all that are installed): ktuberling-<en fr da es it pt fi sv
ro nl ca>, asterisk-<en fr es it ru>, klettres-en, tuxpaint-<en fr ru ro ca bg es be el da>
(real voices, sources.py), espeak-en,
espeak-noisy-en (the same renditions with a room's noise floor at -50 dBFS added),
espeak-<fr es it de ru nl pt sv> (synthetic, sentences.py), festival-en (Festival's three
English voices, two of them joined from a man's recorded diphones: festival.py), flite-en
(Flite's statistical voices of two more men and of slt: festival.py).

Aligners: English real speech by pocketsphinx forced alignment (align_ps.py); other languages
by warping the recording onto espeak-ng speaking its transcript (align_dtw.py); synthetic
speech has its phone times from the synthesiser (espeak-ng's phoneme events, Festival's
segments). `accuracy` measures both aligners where the truth is known, and the warping
against the recogniser on real English.

Split: by speaker where a source has several (espeak: its voices; sentences are split too, so
a test recording has an unseen voice saying an unseen sentence), otherwise by the transcript
(a word recorded twice stays on one side; Festival's three voices too); about 70 % fit, 30 %
test, from a hash.

Debian packages: ffmpeg sox espeak-ng (libespeak-ng1) pocketsphinx pocketsphinx-en-us
python3-numpy, festival festvox-kallpc16k festvox-kdlpc16k festvox-us-slt-hts libflite1, and
the sound packages: ktuberling-data asterisk-core-sounds-{en,fr,es,it,ru}
with their -g722 variants, klettres-data, tuxpaint-stamps-default.

Rebuild the corpus (about an hour on two cores) and the small set (seconds):
    nice tools/lipsync/corpus.py build --out /work/corpus
    tools/lipsync/corpus.py build --out /tmp/corpus-small --small
"""

import argparse
import hashlib
import json
import multiprocessing
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import numpy as np  # noqa: E402

import align_dtw  # noqa: E402
import align_ps  # noqa: E402
import audio  # noqa: E402
import festival  # noqa: E402
import sentences  # noqa: E402
import sources  # noqa: E402
import synth  # noqa: E402
import visemes  # noqa: E402

ESPEAK_LANGS = ["fr", "es", "it", "de", "ru", "nl", "pt", "sv"]
ALL_SOURCES = (sources.REAL_SOURCES + ["espeak-en", "espeak-noisy-en"]
               + ["espeak-" + l for l in ESPEAK_LANGS] + ["festival-en", "flite-en"])
HUMAN_SYNTH_SOURCES = ("festival-en", "flite-en")  # voices built from human recordings
FESTIVAL_TEXTS = 300  # texts, each spoken by every Festival (and every Flite) voice
TEST_SHARE = 0.3
# Renditions per sentence (each a voice, variant, tempo and pitch of the sentence's side).
RENDITIONS = {"en": 5, "other": 3}
NOISE_DBFS = -50.0

# Plausibility of a real recording's alignment; outside these it is left out.
MIN_MEAN_PHONE_S, MAX_MEAN_PHONE_S, MAX_PHONE_S = 0.035, 0.30, 1.0
MAX_TEMPO_RATIO = 5.0  # recording's speech against the synthetic one's, either way
MAX_DTW_DISTANCE = 3.0  # mean frame distance along the path (features normalised: typical 0.8-1.5)
MAX_EDGE_GAP_S = 0.25  # aligned speech against the level's speech span, at each end


def _hash01(text):
    return int(hashlib.sha1(text.encode("utf-8")).hexdigest()[:8], 16) / 2.0 ** 32


def split_of(key):
    return "test" if _hash01(key) < TEST_SHARE else "fit"


# --- English words for the recogniser ------------------------------------------------------

_dictionary = None


def english_prons(text):
    """Each word's pronunciations (CMU dictionary; a word it lacks is spelt by espeak-ng's
    American English, mapped to ARPAbet). None if the text has no word."""
    global _dictionary
    if _dictionary is None:
        _dictionary = align_ps.Dictionary()
    out = []
    for word in align_ps.english_words(text):
        prons = _dictionary.lookup(word)
        if not prons:
            _, phones = synth.speak(word, "en-us", "en")
            prons = [[p[2] for p in phones if p[2] != "sil"]]
            if not prons[0]:
                continue
        out.append(prons)
    return out or None


# --- one recording ---------------------------------------------------------------------------

def _phones_out(phones, lang):
    return [[round(a, 4), round(b, 4), n, synth.viseme_of(n, lang)] for a, b, n in phones]


def _destination(item, out_dir):
    """The recording's audio path, relative to the corpus and absolute (its folder made)."""
    rel = os.path.join("audio", item["id"] + ".wav")
    dst = os.path.join(out_dir, rel)
    os.makedirs(os.path.dirname(dst), exist_ok=True)
    return rel, dst


def _real(item, out_dir):
    rel, dst = _destination(item, out_dir)
    rate = audio.convert(item["path"], dst, item["raw_format"])
    x, _ = audio.read_wav(dst)
    dur = len(x) / audio.RATE
    with tempfile.TemporaryDirectory() as tmp:
        w16 = os.path.join(tmp, "x16.wav")
        audio.to_16k_int16(dst, w16)
        x16, _ = audio.read_wav(w16)
        if item["lang"] == "en":
            prons = english_prons(item["transcript"])
            if prons is None:
                return None, "no words"
            segs = align_ps.align(w16, prons)
            if segs is None:
                return None, "no alignment"
            phones = align_ps.cover(segs, dur)
            aligner, score = "pocketsphinx", None
        else:
            phones, score, why = _dtw(x16, item)
            if phones is None:
                return None, why
            aligner = "dtw-espeak"
    why = _implausible(phones, x16)
    if why:
        return None, why
    rec = dict(id=item["id"], source=item["source"], lang=item["lang"], speaker=item["speaker"],
               audio=rel, source_rate=rate, duration=round(dur, 4),
               transcript=item["transcript"], phones=_phones_out(phones, item["lang"]),
               aligner=aligner)
    if score is not None:
        rec["score"] = round(score, 3)
    return rec, None


def _dtw(x16, item):
    """The recording warped onto espeak-ng speaking its transcript at the recording's tempo:
    espeak-ng's own rate first (80-450 words a minute), then, for words drawn out further (a
    word said alone to a child takes up to four times espeak-ng's time), the synthetic speech
    slowed by sox, its phone times scaled alike."""
    ra, rb = audio.speech_span(x16, 16000)
    sp, phones = synth.speak(item["transcript"], item["voice"], item["lang"])
    spoken = [p for p in phones if p[2] != "sil"]
    if not spoken:
        return None, None, "nothing to say"
    ratio = (spoken[-1][1] - spoken[0][0]) / max(rb - ra, 1e-3)
    if not 1 / MAX_TEMPO_RATIO < ratio < MAX_TEMPO_RATIO:
        return None, None, "tempo %.2f times the synthetic" % (1 / ratio)
    if abs(ratio - 1) > 0.08:
        sp, phones = synth.speak(item["transcript"], item["voice"], item["lang"],
                                 rate=int(np.clip(175 * ratio, 80, 450)))
    y = synth.at_16k(sp)
    spoken = [p for p in phones if p[2] != "sil"]
    slower = (rb - ra) / (spoken[-1][1] - spoken[0][0])
    if slower > 1.25:
        y = audio.tempo(y, 16000, 1 / slower)
        phones = [(a * slower, b * slower, n) for a, b, n in phones]
    aligned, dist = align_dtw.align(x16, 16000, y, 16000, phones)
    if aligned is None:
        return None, None, "no warping path"
    if dist > MAX_DTW_DISTANCE:
        return None, None, "warping distance %.2f" % dist
    return align_dtw.carve_pauses(aligned, x16, 16000), dist, None


def _implausible(phones, x16):
    spoken = [p for p in phones if p[2] != "sil"]
    if not spoken:
        return "no phones"
    mean = sum(b - a for a, b, _ in spoken) / len(spoken)
    # A word or letter said alone can hold one vowel long; several long phones in a row mean
    # the transcript lacks what was said.
    if mean < MIN_MEAN_PHONE_S or (len(spoken) >= 4 and mean > MAX_MEAN_PHONE_S):
        return "mean phone %.3f s" % mean
    if max(b - a for a, b, _ in spoken) > MAX_PHONE_S:
        return "a phone of %.2f s" % max(b - a for a, b, _ in spoken)
    ra, rb = audio.speech_span(x16, 16000)
    if abs(spoken[0][0] - ra) > MAX_EDGE_GAP_S or abs(spoken[-1][1] - rb) > MAX_EDGE_GAP_S:
        return "speech %.2f-%.2f s, phones %.2f-%.2f s" % (ra, rb, spoken[0][0], spoken[-1][1])
    return None


def _synthetic(item, out_dir):
    rel, dst = _destination(item, out_dir)
    sp, phones = synth.speak(item["transcript"], item["voice"], item["lang"], rate=item["rate"],
                             pitch=item["pitch"])
    synth.write(sp, dst)
    if item["noise"]:
        x, _ = audio.read_wav(dst)
        x = x + audio.room_noise(len(x), audio.RATE, NOISE_DBFS, int(_hash01(item["id"]) * 2 ** 31))
        audio.write_wav_float(dst, x)
    dur = len(sp.samples) / sp.rate
    rec = dict(id=item["id"], source=item["source"], lang=item["lang"], speaker=item["speaker"],
               audio=rel, source_rate=sp.rate, duration=round(dur, 4),
               transcript=item["transcript"], phones=_phones_out(phones, item["lang"]),
               aligner="espeak-exact", voice=item["voice"], rate=item["rate"],
               pitch=item["pitch"])
    return rec, None


def _festival(item, out_dir):
    rel, dst = _destination(item, out_dir)
    with tempfile.TemporaryDirectory() as tmp:
        raw = os.path.join(tmp, "speech.wav")
        speak = festival.flite_speak if item["source"] == "flite-en" else festival.speak
        phones = speak(item["transcript"], item["voice"], raw, item["stretch"])
        _, source_rate = audio.read_wav(raw)
        audio.to_corpus_format(raw, dst)
    x, _ = audio.read_wav(dst)
    dur = len(x) / audio.RATE
    # The last phone ends where the sound does (the segments may stop a few ms short).
    phones = [(a, min(b, dur), n) for a, b, n in phones if a < dur]
    if not phones or dur - phones[-1][1] > 0.05:
        return None, "phones end at %.3f s of %.3f s" % (phones[-1][1] if phones else 0, dur)
    phones[-1] = (phones[-1][0], dur, phones[-1][2])
    rec = dict(id=item["id"], source=item["source"], lang="en", speaker=item["voice"],
               audio=rel, source_rate=source_rate, duration=round(dur, 4),
               transcript=item["transcript"], phones=_phones_out(phones, "en"),
               aligner=item["source"].split("-")[0] + "-exact", voice=item["voice"],
               stretch=item["stretch"])
    return rec, None


def process(job):
    item, out_dir = job
    try:
        if item["source"] in HUMAN_SYNTH_SOURCES:
            rec, why = _festival(item, out_dir)
        elif item["source"].startswith("espeak"):
            rec, why = _synthetic(item, out_dir)
        else:
            rec, why = _real(item, out_dir)
    except (RuntimeError, ValueError, KeyError, OSError) as e:
        rec, why = None, "%s: %s" % (type(e).__name__, e)
    if rec is None:
        path = os.path.join(out_dir, "audio", item["id"] + ".wav")
        if os.path.exists(path):
            os.remove(path)
    else:
        rec["split"] = item["split"]
    return item, rec, why


# --- what to build -------------------------------------------------------------------------

def espeak_items(source):
    """Synthetic renditions: sentences and voices are each split 70/30, and a sentence is
    spoken only by voices of its own side, at tempi and pitches picked by hash."""
    noise = source == "espeak-noisy-en"
    lang = source.rsplit("-", 1)[1]
    if lang == "en":
        texts = sentences.ENGLISH
        speakers = [v + var for v in sentences.ENGLISH_VOICES for var in sentences.VARIANTS]
        count = RENDITIONS["en"]
    else:
        texts = sentences.OTHER[lang]
        base = sentences.OTHER_VOICES[lang]
        speakers = [base + var for var in sentences.VARIANTS]
        count = RENDITIONS["other"]
    pools = {s: [v for v in speakers if split_of("espeak-%s/voice/%s" % (lang, v)) == s]
             for s in ("fit", "test")}
    items = []
    for k, text in enumerate(texts):
        side = split_of("espeak-%s/sentence/%s" % (lang, text))
        pool = pools[side] or speakers
        ranked = sorted(pool, key=lambda v: _hash01("%s|%s" % (text, v)))
        for voice in ranked[:count]:
            h = _hash01("%s|%s|tempo" % (text, voice))
            rate = int(120 + h * 130)
            pitch = int(25 + _hash01("%s|%s|pitch" % (text, voice)) * 55)
            rid = "%s/s%02d-%s-r%d-p%d" % (source, k, voice.replace("+", "_"), rate, pitch)
            items.append(dict(id=rid, source=source, lang=lang, speaker=voice, path=None,
                              raw_format=None, transcript=text, voice=voice, rate=rate,
                              pitch=pitch, noise=noise, split=side))
    return items


def festival_items(source):
    """Festival's three voices (or Flite's) each speak the English sentences and a hashed choice
    of Asterisk's prompts (their text only), at tempi picked by hash. Split by text: with three
    voices, a split by voice would leave one side without a voice."""
    texts = list(sentences.ENGLISH)
    if sources.available("asterisk-en"):
        prompts = sorted(set(sources.asterisk_transcripts("en").values()),
                         key=lambda t: _hash01("festival|" + t))
        texts += [t for t in prompts if 3 <= len(t.split()) <= 25][: FESTIVAL_TEXTS - len(texts)]
    items = []
    for text in texts:
        side = split_of("festival-en/sentence/%s" % text)
        for voice in festival.FLITE_VOICES if source == "flite-en" else festival.VOICES:
            stretch = round(0.85 + 0.45 * _hash01("%s|%s|tempo" % (text, voice)), 3)
            rid = "%s/%s-%s-%.3f" % (source, hashlib.sha1(text.encode()).hexdigest()[:10],
                                     voice, stretch)
            items.append(dict(id=rid, source=source, lang="en", speaker=voice, path=None,
                              raw_format=None, transcript=text, voice=voice, stretch=stretch,
                              split=side))
    return items


def items_of(source):
    if source in HUMAN_SYNTH_SOURCES:
        return festival_items(source)
    if source.startswith("espeak"):
        return espeak_items(source)
    items = sources.real(source)
    for it in items:
        # One speaker per real source: whole transcripts go to one side.
        it["split"] = split_of("%s/%s" % (source, it["transcript"].strip().lower()))
    return items


SMALL = {"ktuberling-en": 4, "asterisk-en": 4, "espeak-en": 1}


def small_items():
    """A few of each side: the shortest English words, prompts and synthetic sentences."""
    out = []
    for source, per_side in SMALL.items():
        items = sorted((it for it in items_of(source) if len(it["transcript"]) >= 6),
                       key=lambda it: (len(it["transcript"]), it["id"]))
        for side in ("fit", "test"):
            out += [it for it in items if it["split"] == side][:per_side]
    return out


# --- commands ------------------------------------------------------------------------------

def _init_worker():
    # Niced to 10 unless the caller already did.
    try:
        os.nice(max(0, 10 - os.nice(0)))
    except OSError:
        pass


def build(args):
    out_dir = os.path.abspath(args.out)
    os.makedirs(out_dir, exist_ok=True)
    if args.small:
        items = small_items()
    else:
        chosen = args.sources or ALL_SOURCES
        unknown = [s for s in chosen if s not in ALL_SOURCES]
        if unknown:
            sys.exit("unknown sources: %s (known: %s)" % (" ".join(unknown), " ".join(ALL_SOURCES)))
        items = []
        for s in chosen:
            installed = (festival.available() if s == "festival-en"
                         else festival.flite_available() if s == "flite-en"
                         else s.startswith("espeak") or sources.available(s))
            if not installed:
                print("%s: package not installed, skipped" % s, file=sys.stderr)
                continue
            items += items_of(s)
    # Finished recordings are logged as they come, so that an interrupted build goes on where
    # it stopped (a recording whose audio is missing is made again).
    progress = os.path.join(out_dir, "progress.jsonl")
    done = {}
    if os.path.exists(progress) and not args.small:
        with open(progress, encoding="utf-8") as f:
            for line in f:
                try:
                    entry = json.loads(line)
                except ValueError:
                    continue
                rec = entry.get("record")
                if rec is None or os.path.exists(os.path.join(out_dir, rec["audio"])):
                    done[entry["id"]] = entry
    wanted = {it["id"] for it in items}
    records = [e["record"] for i, e in done.items() if i in wanted and e["record"]]
    rejected = [e["rejected"] for i, e in done.items() if i in wanted and e["rejected"]]
    # Sources take turns, so that a build stopped early still has some of each.
    queues = {}
    for it in items:
        if it["id"] not in done:
            queues.setdefault(it["source"], []).append(it)
    jobs = []
    for k in range(max((len(q) for q in queues.values()), default=0)):
        jobs += [(q[k], out_dir) for q in queues.values() if k < len(q)]
    with open(os.devnull if args.small else progress, "a", encoding="utf-8") as log, \
            multiprocessing.Pool(max(1, min(args.jobs, 2)), initializer=_init_worker) as pool:
        for n, (item, rec, why) in enumerate(pool.imap_unordered(process, jobs, chunksize=2)):
            rej = None
            if rec is not None:
                records.append(rec)
            else:
                rej = {"id": item["id"], "source": item["source"],
                       "transcript": item["transcript"], "reason": why}
                rejected.append(rej)
            log.write(json.dumps({"id": item["id"], "record": rec, "rejected": rej},
                                 ensure_ascii=False) + "\n")
            log.flush()
            if (n + 1) % 50 == 0:
                print("%d/%d" % (n + 1, len(jobs)), file=sys.stderr, flush=True)
    records.sort(key=lambda r: r["id"])
    rejected.sort(key=lambda r: r["id"])
    with open(os.path.join(out_dir, "index.jsonl"), "w", encoding="utf-8") as f:
        for r in records:
            f.write(json.dumps(r, ensure_ascii=False) + "\n")
    with open(os.path.join(out_dir, "rejected.jsonl"), "w", encoding="utf-8") as f:
        for r in rejected:
            f.write(json.dumps(r, ensure_ascii=False) + "\n")
    print("%d recordings, %d left out (rejected.jsonl)" % (len(records), len(rejected)))
    return 0 if records else 1


def load(path):
    if os.path.isdir(path):
        path = os.path.join(path, "index.jsonl")
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def problems(rec, base):
    """What is wrong with a record: phones not covering the recording in order, an unknown
    viseme, audio missing or not in the corpus format."""
    out = []
    ph = rec["phones"]
    if not ph or ph[0][0] != 0 or abs(ph[-1][1] - rec["duration"]) > 1e-3:
        out.append("phones do not span 0..duration")
    if any(a[1] != b[0] for a, b in zip(ph, ph[1:])) or any(p[1] <= p[0] for p in ph):
        out.append("phones not contiguous and in order")
    if any(p[3] not in visemes.VISEMES for p in ph):
        out.append("unknown viseme")
    path = os.path.join(base, rec["audio"])
    try:
        with open(path, "rb") as f:
            head = f.read(64)
        if head[20:22] != b"\x03\x00" or head[22:24] != b"\x01\x00" or \
                int.from_bytes(head[24:28], "little") != audio.RATE:
            out.append("audio not 48 kHz mono float")
    except OSError:
        out.append("audio missing")
    return out


def stats(args):
    recs = load(args.dir)
    base = args.dir if os.path.isdir(args.dir) else os.path.dirname(args.dir)
    bad = [(r["id"], p) for r in recs for p in problems(r, base)]
    for rid, p in bad[:20]:
        print("%s: %s" % (rid, p))
    by = {}
    for r in recs:
        by.setdefault(r["source"], []).append(r)
    rows = []
    for source in sorted(by):
        rs = by[source]
        counts = {v: 0 for v in visemes.VISEMES}
        for r in rs:
            for p in r["phones"]:
                counts[p[3]] += 1
        split = {s: sum(1 for r in rs if r["split"] == s) for s in ("fit", "test")}
        minutes = {s: sum(r["duration"] for r in rs if r["split"] == s) / 60 for s in ("fit", "test")}
        aligners = sorted({r["aligner"] for r in rs})
        print("%s: %d recordings (fit %d, test %d), %.1f min (fit %.1f, test %.1f), "
              "%d speakers, aligner %s" % (source, len(rs), split["fit"], split["test"],
                                           sum(minutes.values()), minutes["fit"], minutes["test"],
                                           len({r["speaker"] for r in rs}), ", ".join(aligners)))
        print("   " + " ".join("%s %d" % (v, counts[v]) for v in visemes.VISEMES))
        rows.append((source, len(rs), sum(minutes.values())))
    print("total: %d recordings, %.1f min; %d problems" % (sum(r[1] for r in rows),
                                                          sum(r[2] for r in rows), len(bad)))
    return 1 if bad else 0


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = ap.add_subparsers(dest="command", required=True)
    b = sub.add_parser("build", help="build the corpus")
    b.add_argument("--out", required=True)
    b.add_argument("--sources", nargs="+")
    b.add_argument("--small", action="store_true", help="a few recordings, for a quick test")
    b.add_argument("--jobs", type=int, default=2)
    s = sub.add_parser("stats", help="recordings, minutes, phones per viseme, per source")
    s.add_argument("dir")
    a = sub.add_parser("accuracy", help="each aligner measured where the truth is known")
    a.add_argument("--sentences", type=int, default=20)
    args = ap.parse_args(argv)
    if args.command == "build":
        return build(args)
    if args.command == "stats":
        return stats(args)
    import accuracy
    return accuracy.main(args)


if __name__ == "__main__":
    sys.exit(main())
