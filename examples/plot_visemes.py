#!/usr/bin/env python3
"""plot_visemes.py: the jaw and the visemes of a recording, drawn into a PNG.

    python3 plot_visemes.py speech.wav speech.png

Reads 16-bit PCM WAV (the standard library's wave module); needs python3-zarvo,
python3-numpy and python3-matplotlib.
"""
import sys
import wave

import matplotlib
matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
import zarvo  # noqa: E402


def main(wav, png):
    with wave.open(wav) as w:
        if w.getsampwidth() != 2:
            sys.exit("plot_visemes.py: %s: 16-bit PCM WAV only" % wav)
        channels, rate = w.getnchannels(), w.getframerate()
        pcm = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
    frames = zarvo.analyze(pcm.reshape(-1, channels) if channels > 1 else pcm, rate, channels)
    t = frames["centre_seconds"]

    fig, (jaw, visemes) = plt.subplots(2, 1, sharex=True, figsize=(12, 6),
                                       gridspec_kw={"height_ratios": [1, 2]})
    jaw.plot(t, frames["blendshapes"][:, zarvo.BLENDSHAPES.index("jawOpen")], color="black")
    jaw.set_ylabel("jawOpen")
    jaw.set_ylim(0, 1)
    visemes.imshow(frames["visemes"].T, aspect="auto", origin="lower", cmap="magma",
                   extent=(t[0], t[-1], -0.5, len(zarvo.VISEMES) - 0.5), vmin=0, vmax=1)
    visemes.set_yticks(range(len(zarvo.VISEMES)), zarvo.VISEMES)
    visemes.set_xlabel("seconds")
    fig.suptitle(wav)
    fig.tight_layout()
    fig.savefig(png, dpi=100)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: plot_visemes.py RECORDING.wav OUT.png")
    main(sys.argv[1], sys.argv[2])
