"""espeak-ng through its library: speech with the exact sample at which each phoneme starts.

The command-line program only reports phonemes as text; the library's phoneme events carry
the sample position inside the synthesised stream, which makes synthetic speech a corpus with
exact phone timing. Names are IPA (espeakINITIALIZE_PHONEME_IPA), the same names for every
language. One engine per process: the library keeps global state. Standard library only.
"""

import array
import ctypes
import ctypes.util

_AUDIO_OUTPUT_SYNCHRONOUS = 2
_PHONEME_EVENTS = 0x0001
_PHONEME_IPA = 0x0002
_CHARS_UTF8 = 1
_EVENT_LIST_TERMINATED = 0
_EVENT_PHONEME = 7
_PARAM = {"rate": 1, "volume": 2, "pitch": 3, "range": 4, "wordgap": 7}


class _EventId(ctypes.Union):
    _fields_ = [("number", ctypes.c_int), ("name", ctypes.c_char_p), ("string", ctypes.c_char * 8)]


class _Event(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("unique_identifier", ctypes.c_uint),
        ("text_position", ctypes.c_int),
        ("length", ctypes.c_int),
        ("audio_position", ctypes.c_int),
        ("sample", ctypes.c_int),
        ("user_data", ctypes.c_void_p),
        ("id", _EventId),
    ]


_Callback = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(ctypes.c_short), ctypes.c_int,
                             ctypes.POINTER(_Event))

_engine = None


class Speech:
    """samples: array("h") at `rate` Hz; phones: [(start_sample, end_sample, ipa)] covering
    the whole stream in order, pauses (and the lead-in before the first phoneme) as "sil"."""

    def __init__(self, samples, rate, phones):
        self.samples, self.rate, self.phones = samples, rate, phones


class Engine:
    def __init__(self):
        name = ctypes.util.find_library("espeak-ng") or "libespeak-ng.so.1"
        self.lib = ctypes.CDLL(name)
        self.rate = self.lib.espeak_Initialize(_AUDIO_OUTPUT_SYNCHRONOUS, 200, None,
                                               _PHONEME_EVENTS | _PHONEME_IPA)
        if self.rate <= 0:
            raise RuntimeError("espeak_Initialize failed")
        self._chunks = []
        self._events = []
        # Kept on self: the library calls it for as long as the engine lives.
        self._callback = _Callback(self._receive)
        self.lib.espeak_SetSynthCallback(self._callback)
        self.lib.espeak_SetVoiceByName.argtypes = [ctypes.c_char_p]
        self.lib.espeak_Synth.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_uint,
                                          ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                                          ctypes.c_void_p, ctypes.c_void_p]

    def _receive(self, wav, count, events):
        if wav and count > 0:
            self._chunks.append(ctypes.string_at(wav, 2 * count))
        i = 0
        while events[i].type != _EVENT_LIST_TERMINATED:
            e = events[i]
            if e.type == _EVENT_PHONEME:
                self._events.append((e.sample, e.id.string.decode("utf-8", "replace")))
            i += 1
        return 0

    def synth(self, text, voice, rate=None, pitch=None, pitch_range=None, wordgap=None):
        """Speaks `text` (UTF-8) with `voice` ("fr", "en-us+f3", ...). rate: words per minute
        (80..450), pitch and pitch_range 0..100; None leaves the voice's own."""
        if self.lib.espeak_SetVoiceByName(voice.encode()) != 0:
            raise ValueError("espeak-ng has no voice %r" % voice)
        # A voice change resets the parameters to the voice's defaults only for those it
        # sets, so every parameter is set on every call.
        for key, value, default in (("rate", rate, 175), ("pitch", pitch, 50),
                                    ("range", pitch_range, 50), ("wordgap", wordgap, 0),
                                    ("volume", None, 100)):
            self.lib.espeak_SetParameter(_PARAM[key], int(default if value is None else value), 0)
        self._chunks, self._events = [], []
        data = text.encode("utf-8") + b"\0"
        if self.lib.espeak_Synth(data, len(data), 0, 0, 0, _CHARS_UTF8, None, None) != 0:
            raise RuntimeError("espeak_Synth failed for %r" % text)
        samples = array.array("h", b"".join(self._chunks))
        return Speech(samples, self.rate, _segments(self._events, len(samples)))


def _segments(events, total):
    """Phoneme starts to contiguous segments. A phoneme event with an empty name starts a
    pause; several events at one sample keep the last (zero-length phonemes are dropped)."""
    segs = []
    # "(en)" marks a switch of language, a lone "ʲ" palatalises the phoneme before it: neither
    # starts a sound of its own.
    events = [(s, n) for s, n in events if not n.startswith("(") and n.strip() != "ʲ"]
    marks = [(0, "")] + [(min(max(s, 0), total), name) for s, name in events]
    for k, (start, name) in enumerate(marks):
        end = marks[k + 1][0] if k + 1 < len(marks) else total
        if end <= start:
            continue
        label = name.strip() or "sil"
        if segs and segs[-1][2] == "sil" and label == "sil":
            segs[-1] = (segs[-1][0], end, "sil")
        else:
            segs.append((start, end, label))
    return segs


def engine():
    global _engine
    if _engine is None:
        _engine = Engine()
    return _engine

