#!/usr/bin/env bash
# Records the line-in (fed a 1 kHz tone in real time) to WAV for a long time while
# two busy loops load both cores, then checks that no audio was lost: the file's
# length against the recorded wall time, and the tone without a break.
#   bench/load-test.sh BUILD-DIR [SECONDS]   (inside scripts/session.sh; default 600 s)
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
SECS=${2:-600}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/sonalto-load.XXXXXX")
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

bash "$(dirname "$0")/feed-tone.sh" &
PIDS+=($!)
sleep 2
for _ in 1 2; do
  sh -c 'while :; do :; done' &
  PIDS+=($!)
done

"$BUILD/bench/bench_capture_cpu" wav LineIn "$WORK/load.wav" >"$WORK/out" &
REC=$!
sleep "$SECS"
kill -INT "$REC"
wait "$REC"
cat "$WORK/out"
python3 - "$WORK/load.wav" "$(sed -n 's/.*recorded_wall_s=\([0-9.]*\).*/\1/p' "$WORK/out")" <<'PY'
import struct, sys
path, wall = sys.argv[1], float(sys.argv[2])
blob = open(path, "rb").read()
fmt = blob.index(b"fmt ")
channels, rate = struct.unpack_from("<HI", blob, fmt + 10)
data = blob.index(b"data")
size = struct.unpack_from("<I", blob, data + 4)[0]
pcm = blob[data + 8:data + 8 + size]
frames = len(pcm) // (2 * channels)
length = frames / rate
# The tone's steepest step is 2*pi*1000/44100*16000 = 2280; a lost block shows
# as a larger jump. The first 2 s may still hold the feed's start.
left = struct.unpack("<%dh" % (frames * channels), pcm[:frames * 2 * channels])[0::channels]
worst, breaks = 0, 0
for i in range(2 * rate + 1, len(left)):
    step = abs(left[i] - left[i - 1])
    worst = max(worst, step)
    if step > 2400:
        breaks += 1
print(f"file_s={length:.3f} recorded_wall_s={wall:.3f} difference_ms={(length - wall) * 1000:.1f}")
print(f"largest_step={worst} breaks={breaks}")
print("PASS" if abs(length - wall) <= 0.05 and breaks == 0 else "FAIL")
PY
