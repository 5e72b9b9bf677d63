"""Zarvo's speech-to-face engine from Python: MPEG-4 mouth FAPs, 15 visemes, five vowels,
the jaw and mouth blendshapes and a cartoon mouth shape for every 10.7 ms of a voice.

    import numpy, zarvo
    frames = zarvo.analyze(samples, 16000)             # articulated FAPs, every output
    jaw = frames["blendshapes"][:, zarvo.BLENDSHAPES.index("jawOpen")]
    strongest = [zarvo.VISEMES[i] for i in frames["visemes"].argmax(axis=1)]

    stream = zarvo.Stream(48000, channels=2)            # live: push blocks as they come
    for frame in stream.push(block):                    # the frames that became ready
        draw(frame["faps"], frame["shape"])

A frame is a record of FRAME_DTYPE, the library's zarvo_frame: index, centre_sample,
centre_seconds, delay_ms, level, vol, articulated, faps (FAP numbers in FAPS), visemes
(names in VISEMES), vowels (VOWELS), blendshapes (BLENDSHAPES), shape (one of SHAPES, as
bytes). A module over libzarvo.so.1 (ctypes): nothing is compiled. The library is found by
the environment's ZARVO_LIBRARY (a path), else by its name, else beside this package's
installation. A Stream belongs to one thread at a time; different streams run in parallel.
"""
import ctypes
import ctypes.util
import os

import numpy as np

__all__ = ["analyze", "Stream", "Error", "FRAME_DTYPE", "FAPS", "VISEMES", "VOWELS",
           "BLENDSHAPES", "SHAPES", "OUTPUT_FAPS", "OUTPUT_VISEMES", "OUTPUT_VOWELS",
           "OUTPUT_BLENDSHAPES", "OUTPUT_SHAPE", "OUTPUT_ALL"]

OUTPUT_FAPS, OUTPUT_VISEMES, OUTPUT_VOWELS, OUTPUT_BLENDSHAPES, OUTPUT_SHAPE = 1, 2, 4, 8, 16
OUTPUT_ALL = 31
_FLAG_NONFINITE_AS_SILENCE = 1
SHAPES = "ABCDEFGHX"


def _load():
    here = os.path.dirname(os.path.abspath(__file__))
    # Installed as PREFIX/lib/python3*/dist-packages/zarvo beside PREFIX/lib/libzarvo.so.1.
    beside = os.path.normpath(os.path.join(here, "..", "..", "..", "libzarvo.so.1"))
    for name in (os.environ.get("ZARVO_LIBRARY"), "libzarvo.so.1",
                 ctypes.util.find_library("zarvo"), beside):
        if name:
            try:
                return ctypes.CDLL(name)
            except OSError:
                pass
    raise ImportError("libzarvo.so.1 not found (install libzarvo1, or set ZARVO_LIBRARY)")


_lib = _load()


class _Options(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("rate", ctypes.c_int32),
                ("channels", ctypes.c_int32), ("articulate", ctypes.c_int32),
                ("outputs", ctypes.c_uint32), ("flags", ctypes.c_uint32)]


class _Frame(ctypes.Structure):
    _fields_ = [("struct_size", ctypes.c_size_t), ("index", ctypes.c_int64),
                ("centre_sample", ctypes.c_double), ("centre_seconds", ctypes.c_double),
                ("delay_ms", ctypes.c_double), ("level", ctypes.c_double),
                ("vol", ctypes.c_int32), ("articulated", ctypes.c_int32),
                ("faps", ctypes.c_int32 * 11), ("visemes", ctypes.c_float * 15),
                ("vowels", ctypes.c_float * 5), ("blendshapes", ctypes.c_float * 22),
                ("shape", ctypes.c_char)]


FRAME_DTYPE = np.dtype(_Frame)

_lib.zarvo_strerror.restype = ctypes.c_char_p
_lib.zarvo_strerror.argtypes = [ctypes.c_int]
_lib.zarvo_options_init.argtypes = [ctypes.POINTER(_Options)]
_lib.zarvo_stream_create.restype = ctypes.c_void_p
_lib.zarvo_stream_create.argtypes = [ctypes.POINTER(_Options), ctypes.POINTER(ctypes.c_int)]
_lib.zarvo_stream_destroy.argtypes = [ctypes.c_void_p]
for _push in (_lib.zarvo_stream_push_float, _lib.zarvo_stream_push_int16):
    _push.restype = ctypes.c_int64
    _push.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int64]
_lib.zarvo_stream_pull.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
for _call in (_lib.zarvo_stream_flush, _lib.zarvo_stream_reset):
    _call.argtypes = [ctypes.c_void_p]
_lib.zarvo_stream_set_articulate.argtypes = [ctypes.c_void_p, ctypes.c_int]
for _name in (_lib.zarvo_viseme_name, _lib.zarvo_vowel_name, _lib.zarvo_blendshape_name):
    _name.restype = ctypes.c_char_p
    _name.argtypes = [ctypes.c_int]

FAPS = [_lib.zarvo_fap_number(i) for i in range(11)]
VISEMES = [_lib.zarvo_viseme_name(i).decode() for i in range(15)]
VOWELS = [_lib.zarvo_vowel_name(i).decode() for i in range(5)]
BLENDSHAPES = [_lib.zarvo_blendshape_name(i).decode() for i in range(22)]
_lib.zarvo_version_string.restype = ctypes.c_char_p
__version__ = _lib.zarvo_version_string().decode()


class Error(Exception):
    """A libzarvo error: `code` is the library's negative code, the text its description."""

    def __init__(self, code):
        super().__init__(_lib.zarvo_strerror(code).decode())
        self.code = code


def _check(result):
    if result < 0:
        raise Error(result)
    return result


class Stream:
    """One voice: rate in Hz (8000..192000), channels interleaved and averaged; articulate:
    the articulated FAPs instead of the designed ones; outputs: OUTPUT_* bits;
    nonfinite_as_silence: NaN and infinite samples analysed as digital silence instead of
    refused. Allocates everything here; push, pull and flush allocate nothing in the
    library."""

    def __init__(self, rate=48000, channels=1, articulate=True, outputs=OUTPUT_ALL,
                 nonfinite_as_silence=False):
        options = _Options()
        _lib.zarvo_options_init(ctypes.byref(options))
        options.rate, options.channels = rate, channels
        options.articulate, options.outputs = int(bool(articulate)), outputs
        options.flags = _FLAG_NONFINITE_AS_SILENCE if nonfinite_as_silence else 0
        error = ctypes.c_int(0)
        self._s = _lib.zarvo_stream_create(ctypes.byref(options), ctypes.byref(error))
        if not self._s:
            raise Error(error.value)
        self.channels = channels
        self._buffer = np.zeros(128, FRAME_DTYPE)
        self._buffer["struct_size"] = FRAME_DTYPE.itemsize

    def _pull(self):
        """Every frame ready, as a new array."""
        parts = []
        while True:
            n = 0
            while n < len(self._buffer) and _check(_lib.zarvo_stream_pull(
                    self._s, self._buffer.ctypes.data + n * FRAME_DTYPE.itemsize)):
                n += 1
            parts.append(self._buffer[:n].copy())
            if n < len(self._buffer):
                return np.concatenate(parts)

    def push(self, samples):
        """Pushes samples (frames,) or (frames, channels): int16, or floats (taken as
        float32, full scale 1.0). Returns the frames that became ready."""
        a = np.asarray(samples)
        if a.dtype != np.int16:
            a = a.astype(np.float32, copy=False)
        a = np.ascontiguousarray(a)
        if a.ndim != (1 if self.channels == 1 else 2) or (a.ndim == 2 and
                                                           a.shape[1] != self.channels):
            raise ValueError("samples must be shaped (frames,) for one channel or "
                             "(frames, %d)" % self.channels)
        push = _lib.zarvo_stream_push_int16 if a.dtype == np.int16 else \
            _lib.zarvo_stream_push_float
        frames, done, parts = len(a), 0, []
        while True:
            took = _check(push(self._s, a.ctypes.data + done * a.strides[0], frames - done))
            done += took
            parts.append(self._pull())
            if done == frames:
                return np.concatenate(parts)

    def flush(self):
        """The end of the input: returns the frames it still held."""
        _check(_lib.zarvo_stream_flush(self._s))
        return self._pull()

    def reset(self):
        """Forgets the input and the frames not taken: a new utterance starts at index 0."""
        _check(_lib.zarvo_stream_reset(self._s))

    def set_articulate(self, articulate):
        _check(_lib.zarvo_stream_set_articulate(self._s, int(bool(articulate))))

    def __iter__(self):
        """The frames ready now, one record at a time."""
        return iter(self._pull())

    def close(self):
        if getattr(self, "_s", None):
            _lib.zarvo_stream_destroy(self._s)
            self._s = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()


def analyze(samples, rate, channels=1, articulate=True, outputs=OUTPUT_ALL):
    """Every frame of a whole recording (shaped as for Stream.push) as a numpy structured
    array of FRAME_DTYPE, one record per 10.7 ms window."""
    a = np.asarray(samples)
    with Stream(rate, channels, articulate, outputs) as s:
        parts = [s.push(a[at:at + rate]) for at in range(0, len(a), rate)]
        parts.append(s.flush())
    return np.concatenate(parts)
