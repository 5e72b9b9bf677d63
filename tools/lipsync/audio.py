"""Audio files of the corpus: decoding (ffmpeg), rate conversion (sox), WAV reading and
writing, and the energy-based cut between pauses and speech.

Every recording is kept as the corpus stores it: 48000 Hz, mono, 32-bit float, at its own
level and with its own pauses and room noise. Nothing is normalised or padded.
"""

import os
import struct
import subprocess
import tempfile

import numpy as np

RATE = 48000


def _run(cmd):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if r.returncode != 0:
        raise RuntimeError("%s failed: %s" % (cmd[0], r.stderr.decode(errors="replace")[-500:]))
    return r.stdout


def convert(src, dst, raw_format=None):
    """Any recording to the corpus format: ffmpeg decodes (Vorbis, Opus, G.722, WAV) at the
    file's own rate, sox converts rate and width. raw_format names a headerless format
    ("g722"). Returns the rate the file was recorded at."""
    with tempfile.TemporaryDirectory() as tmp:
        mid = os.path.join(tmp, "decoded.wav")
        _run(["ffmpeg", "-v", "error", "-nostdin", "-y"] + (["-f", raw_format] if raw_format else [])
             + ["-i", src, "-map", "0:a:0", "-ac", "1", "-c:a", "pcm_f32le", mid])
        with open(mid, "rb") as f:
            head = f.read(4096)
        fmt = head.find(b"fmt ")
        rate = struct.unpack("<I", head[fmt + 12:fmt + 16])[0]
        to_corpus_format(mid, dst)
        return rate


def to_corpus_format(src, dst):
    # -V1: sox only warns; float output cannot clip, and its rate converter is the high one.
    _run(["sox", "-V1", "-R", src, "-r", str(RATE), "-c", "1", "-e", "floating-point", "-b", "32", dst])


def to_16k_int16(src, dst):
    """16 kHz 16-bit copy for the recogniser; -G lowers the gain only if it would clip, -D
    leaves out the dither so that the copy (and the alignment) is the same on every run."""
    _run(["sox", "-V1", "-R", "-G", src, "-D", "-r", "16000", "-c", "1", "-e", "signed-integer", "-b", "16", dst])


def read_wav(path):
    """(samples as float64 in -1..1, rate) of a PCM 16-bit or float 32-bit WAV, first channel."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError("%s is not a WAV file" % path)
    pos, fmt, body = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        chunk = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            fmt = chunk
        elif cid == b"data":
            body = chunk
        pos += 8 + size + (size & 1)
    if fmt is None or body is None:
        raise ValueError("%s has no fmt or data chunk" % path)
    tag, channels, rate = struct.unpack("<HHI", fmt[:8])
    bits = struct.unpack("<H", fmt[14:16])[0]
    if tag == 0xFFFE:  # WAVE_FORMAT_EXTENSIBLE: the real tag opens the sub-format GUID
        tag = struct.unpack("<H", fmt[24:26])[0]
    if tag == 1 and bits == 16:
        x = np.frombuffer(body[:len(body) // 2 * 2], "<i2").astype(np.float64) / 32768.0
    elif tag == 3 and bits == 32:
        x = np.frombuffer(body[:len(body) // 4 * 4], "<f4").astype(np.float64)
    else:
        raise ValueError("%s: unsupported WAV format %d/%d bits" % (path, tag, bits))
    return x[::channels] if channels > 1 else x, rate


def write_wav_float(path, x, rate=RATE):
    """Mono 32-bit float WAV."""
    body = np.asarray(x, "<f4").tobytes()
    fmt = struct.pack("<HHIIHH", 3, 1, rate, rate * 4, 4, 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(body)) + body)


def write_wav_int16(path, x, rate):
    body = np.asarray(x, "<i2").tobytes()
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(body)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(body)) + body)


def tempo(x, rate, factor):
    """x played factor times as fast at the same pitch (sox tempo, tuned for speech); the
    length becomes len(x) / factor."""
    with tempfile.TemporaryDirectory() as tmp:
        src, dst = os.path.join(tmp, "in.wav"), os.path.join(tmp, "out.wav")
        write_wav_float(src, x, rate)
        _run(["sox", "-V1", "-R", src, "-e", "floating-point", "-b", "32", dst, "tempo", "-s",
              "%.4f" % factor])
        return read_wav(dst)[0]


def frame_db(x, rate, hop_s=0.01, win_s=0.02):
    """Level of each hop (dBFS, RMS over a window centred on the hop's middle)."""
    hop, win = int(round(rate * hop_s)), int(round(rate * win_s))
    n = max(1, len(x) // hop)
    pad = np.concatenate([np.zeros(win // 2), x, np.zeros(win)])
    c = np.concatenate([[0.0], np.cumsum(pad * pad)])
    starts = np.arange(n) * hop + hop // 2
    e = (c[starts + win] - c[starts]) / win
    return 10 * np.log10(e + 1e-12)


def speech_span(x, rate, hop_s=0.01):
    """(start_s, end_s) of the speech in a recording: the level is cut between the room's
    floor (a low percentile) and the speech's loud part, so that the recording's own noise
    decides, not a fixed level; the span is widened over the weak onset and decay (a
    fricative, a release) while the level stays clearly above the floor."""
    db = frame_db(x, rate, hop_s)
    floor, loud = np.percentile(db, 5), np.percentile(db, 98)
    if loud - floor < 15:
        return 0.0, len(x) / rate
    thr = floor + max(0.3 * (loud - floor), 12.0)
    above = db > thr
    # Ignore clicks: at least three hops in a row.
    run = np.convolve(above.astype(int), np.ones(3, int), "same") >= 3
    idx = np.nonzero(run)[0]
    if len(idx) == 0:
        return 0.0, len(x) / rate
    a, b = idx[0] - 1, idx[-1] + 1
    weak = floor + max(0.12 * (loud - floor), 6.0)
    lim = int(0.15 / hop_s)
    k = 0
    while a > 0 and db[a - 1] > weak and k < lim:
        a, k = a - 1, k + 1
    k = 0
    while b < len(db) - 1 and db[b + 1] > weak and k < lim:
        b, k = b + 1, k + 1
    return max(0, a) * hop_s, min(len(x) / rate, (b + 1) * hop_s)


def quiet_runs(x, rate, start_s, end_s, min_s, hop_s=0.01):
    """Runs of at least min_s inside [start_s, end_s) where the level stays near the floor:
    pauses inside speech. Returns [(start_s, end_s)]."""
    db = frame_db(x, rate, hop_s)
    floor, loud = np.percentile(db, 5), np.percentile(db, 98)
    thr = floor + max(0.15 * (loud - floor), 8.0)
    a, b = int(start_s / hop_s), min(len(db), int(end_s / hop_s))
    runs, i = [], a
    while i < b:
        if db[i] < thr:
            j = i
            while j < b and db[j] < thr:
                j += 1
            if (j - i) * hop_s >= min_s:
                runs.append((i * hop_s, j * hop_s))
            i = j
        else:
            i += 1
    return runs


def room_noise(n, rate, level_dbfs, seed):
    """Pink noise (3 dB less per octave, as a room's floor leans low) above 50 Hz, at an RMS
    of level_dbfs. Shaped in the frequency domain; deterministic for a seed."""
    rng = np.random.default_rng(seed)
    spec = np.fft.rfft(rng.standard_normal(n))
    f = np.fft.rfftfreq(n, 1.0 / rate)
    spec *= np.where(f > 50, 1.0 / np.sqrt(np.maximum(f, 50)), 0.0)
    out = np.fft.irfft(spec, n)
    return out * (10 ** (level_dbfs / 20) / np.sqrt(np.mean(out ** 2)))
