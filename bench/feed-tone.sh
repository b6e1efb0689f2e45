#!/usr/bin/env bash
# Plays a 1 kHz tone into the private session's line-in feed in real time, with
# low latency, until killed. The line-in is a clocked input that delivers steady
# small blocks, unlike the bursty sine source.
set -euo pipefail
python3 -c '
import math, struct, sys
period = bytearray()
for i in range(441):
    v = int(16000 * math.sin(2 * math.pi * 1000 * i / 44100))
    period += struct.pack("<hh", v, v)
block = bytes(period) * 100
try:
    while True:
        sys.stdout.buffer.write(block)
except BrokenPipeError:
    pass
' | pacat --latency-msec=50 --playback --device=sonalto_linein_feed --format=s16le \
  --rate=44100 --channels=2 &
PLAYER=$!
# Killing this script stops the player; the generator then ends on its broken pipe.
trap 'kill "$PLAYER" 2>/dev/null || true' EXIT INT TERM
wait "$PLAYER"
