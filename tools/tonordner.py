#!/usr/bin/env python3
"""Makes the example recordings folder examples/tonordner/ for
pendralumovista-ansage --tonordner, with nothing but the libraries the
companion itself uses: the gong is three struck tones computed here and
written as FLAC, the words are said by espeak-ng's German voice in a
variant other than the companion's own (so that a listener hears which
parts come from the folder) and written as Ogg Vorbis, all by libsndfile.

    tools/tonordner.py [FOLDER]     (default: examples/tonordner)

Needs libespeak-ng1 and libsndfile1 (installed with the companion).
"""

import ctypes
import math
import os
import sys

RATE = 22050

# What is recorded: the file names follow the companion's rule (lower
# case, every run of other characters than letters and digits one "_").
# Two of the example tram line's sixteen names are recorded; the voice
# speaks the others.
WORDS = {
    "nächste_haltestelle.ogg": "nächste Haltestelle",
    "endstelle_bitte_aussteigen.ogg": "Endstelle. Bitte aussteigen",
    "hauptbahnhof.ogg": "Hauptbahnhof",
    "waldschänke.ogg": "Waldschänke",
}

# libsndfile's formats and commands (sndfile.h).
SF_FORMAT_FLAC, SF_FORMAT_OGG = 0x170000, 0x200000
SF_FORMAT_PCM_16, SF_FORMAT_VORBIS = 0x0002, 0x0060
SFM_WRITE = 0x20
SFC_SET_VBR_ENCODING_QUALITY = 0x1300


class SfInfo(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int), ("channels", ctypes.c_int),
                ("format", ctypes.c_int), ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


sndfile = ctypes.CDLL("libsndfile.so.1")
sndfile.sf_open.restype = ctypes.c_void_p
sndfile.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(SfInfo)]
sndfile.sf_command.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
sndfile.sf_write_short.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_short), ctypes.c_int64]
sndfile.sf_write_short.restype = ctypes.c_int64
sndfile.sf_close.argtypes = [ctypes.c_void_p]


def write(path, samples, format_):
    info = SfInfo(0, RATE, 1, format_, 0, 0)
    handle = sndfile.sf_open(path.encode(), SFM_WRITE, ctypes.byref(info))
    if not handle:
        sys.exit(f"tonordner.py: {path} lässt sich nicht schreiben")
    if format_ & SF_FORMAT_OGG:
        quality = ctypes.c_double(0.2)  # small files; speech stays clear
        sndfile.sf_command(handle, SFC_SET_VBR_ENCODING_QUALITY, ctypes.byref(quality), ctypes.sizeof(quality))
    data = (ctypes.c_short * len(samples))(*samples)
    written = sndfile.sf_write_short(handle, data, len(samples))
    sndfile.sf_close(handle)
    if written != len(samples):
        sys.exit(f"tonordner.py: {path} nur zum Teil geschrieben")


def gong():
    """Three struck tones rising (C5, E5, G5), each with a quiet octave."""
    samples = []
    for i in range(int(1.6 * RATE)):
        t = i / RATE
        value = 0.0
        for hertz, start in ((523.25, 0.0), (659.25, 0.3), (783.99, 0.6)):
            s = t - start
            if 0 <= s <= 1.0:
                envelope = min(1.0, s / 0.008) * math.exp(-3.5 * s) * (1.0 - s)
                value += envelope * (0.8 * math.sin(2 * math.pi * hertz * s) + 0.2 * math.sin(4 * math.pi * hertz * s))
        samples.append(int(round(value * 0.3 * 32767)))
    return samples


espeak = ctypes.CDLL("libespeak-ng.so.1")
SYNTH_CALLBACK = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(ctypes.c_short), ctypes.c_int, ctypes.c_void_p)
collected = []


@SYNTH_CALLBACK
def collect(samples, count, _events):
    if samples and count > 0:
        collected.extend(samples[:count])
    return 0


def spoken(text):
    collected.clear()
    utf8 = text.encode() + b"\0"
    POS_CHARACTER, CHARS_UTF8 = 1, 1
    if espeak.espeak_Synth(utf8, len(utf8), 0, POS_CHARACTER, 0, CHARS_UTF8, None, None) != 0:
        sys.exit(f"tonordner.py: espeak-ng spricht „{text}“ nicht")
    return list(collected)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "examples", "tonordner")
    os.makedirs(folder, exist_ok=True)
    AUDIO_OUTPUT_SYNCHRONOUS, DONT_EXIT = 2, 0x8000
    if espeak.espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, None, DONT_EXIT) != RATE:
        sys.exit("tonordner.py: espeak-ng fehlt oder spricht nicht mit 22050 Hz")
    espeak.espeak_SetSynthCallback(collect)
    # A woman's voice, the companion's own being the plain one.
    if espeak.espeak_SetVoiceByName(b"de+f2") != 0:
        sys.exit("tonordner.py: espeak-ng hat keine deutsche Stimme")
    write(os.path.join(folder, "gong.flac"), gong(), SF_FORMAT_FLAC | SF_FORMAT_PCM_16)
    for name, text in WORDS.items():
        write(os.path.join(folder, name), spoken(text), SF_FORMAT_OGG | SF_FORMAT_VORBIS)
    espeak.espeak_Terminate()


if __name__ == "__main__":
    main()
