#!/usr/bin/env bash
# CPU of the real program while it only watches an input: the input monitor, the
# spectrum and the level meter, window shown on the session's X display. Against
# parec of the same source into /dev/null. ROUNDS runs of each, in turns; the
# median and the spread.
#     spectrum-cpu.sh BUILD [SECONDS] [INPUT-WORD] [ROUNDS] [PROGRAM]
# INPUT-WORD picks the input by a word of its name (default: the sine source).
set -euo pipefail
BUILD=$(cd "$1" && pwd)
SECS=${2:-40}
WORD=${3:-sine}
ROUNDS=${4:-1}
PROGRAM=${5:-$BUILD/sonalto}
HZ=$(getconf CLK_TCK)
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

read -r DEVICE INPUT < <("$BUILD/bench/bench_tone_input" "$WORD")
DATA=$(mktemp -d "${TMPDIR:-/tmp}/sonalto-watch.XXXXXX")
trap 'rm -rf "$DATA"' EXIT
mkdir -p "$DATA/Sonalto" "$DATA/audio"
printf '[Audio]\nRecordDevice=%s\nInputChannel=%s\n[Other]\nAudioDir=%s/audio/\n' \
  "$DEVICE" "$INPUT" "$DATA" >"$DATA/Sonalto/Config.ini"

ours=() theirs=()
for _ in $(seq 1 "$ROUNDS"); do
  XDG_DATA_HOME="$DATA" "$PROGRAM" >/dev/null 2>&1 &
  PID=$!
  sleep 5 # start-up, and the sine source's first burst
  SOURCE=$(pactl list short source-outputs | awk -v want="$(pactl list short clients | awk '$3 ~ /sonalto/ { print $1 }' | head -1)" '$3 == want { print $2 }' | head -1)
  NAME=$(pactl list short sources | awk -v i="$SOURCE" '$1 == i { print $2 }')
  SOURCE_NAME=${NAME:-sonalto_tone}
  parec --device="$SOURCE_NAME" --format=s16le --rate=44100 --channels=2 >/dev/null &
  PAREC=$!
  sleep 1
  p0=$(ticks $PID)
  r0=$(ticks $PAREC)
  sleep "$SECS"
  p1=$(ticks $PID)
  r1=$(ticks $PAREC)
  kill $PID $PAREC
  wait $PID $PAREC 2>/dev/null || true
  ours+=("$(awk -v t=$((p1 - p0)) -v hz="$HZ" -v s="$SECS" 'BEGIN { printf "%.3f", 100 * t / hz / s }')")
  theirs+=("$(awk -v t=$((r1 - r0)) -v hz="$HZ" -v s="$SECS" 'BEGIN { printf "%.3f", 100 * t / hz / s }')")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%s (%s-%s)", v[int((NR + 1) / 2)], v[1], v[NR] }'; }
echo "input: ${NAME:-unknown}, ${SECS} s a run, % of a core, median (min-max) of $ROUNDS:"
echo "  program (monitor + spectrum + meter): $(median "${ours[@]}")   runs: ${ours[*]}"
echo "  parec of the same source:             $(median "${theirs[@]}")   runs: ${theirs[*]}"
