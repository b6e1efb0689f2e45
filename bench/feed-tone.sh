#!/usr/bin/env bash
# Plays a 1 kHz tone into the private session's line-in feed in real time, with
# low latency, until killed. The line-in is a clocked input that delivers steady
# small blocks, unlike the bursty sine source.
#     feed-tone.sh [changing]
# "changing" plays instead a tone that moves to another pitch and loudness every
# 100 ms, as speech or music would: the spectrum and the level meter change at
# every frame.
set -euo pipefail
python3 -c '
import math, struct, sys
changing = len(sys.argv) > 1 and sys.argv[1] == "changing"
def segment(frequency, amplitude, frames):
    out = bytearray()
    for i in range(frames):
        v = int(amplitude * math.sin(2 * math.pi * frequency * i / 44100))
        out += struct.pack("<hh", v, v)
    return bytes(out)
if changing:
    # 100 ms segments: 20 pitches and loudnesses, then again.
    block = b"".join(segment(441 + 110.25 * (k % 10), 4000 + 1500 * (k * 7 % 9), 4410)
                     for k in range(20))
else:
    block = segment(1000, 16000, 441) * 100
try:
    while True:
        sys.stdout.buffer.write(block)
except BrokenPipeError:
    pass
' "${1:-steady}" | pacat --latency-msec=50 --playback --device=sonalto_linein_feed --format=s16le \
  --rate=44100 --channels=2 &
PLAYER=$!
# Killing this script stops the player; the generator then ends on its broken pipe.
trap 'kill "$PLAYER" 2>/dev/null || true' EXIT INT TERM
wait "$PLAYER"
