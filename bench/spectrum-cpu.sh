#!/usr/bin/env bash
# CPU of the real program while it only watches the tone input: the input monitor
# plus the spectrum drawn 20 times a second, window shown on the session's X
# display. Against parec of the same source into /dev/null.
#     spectrum-cpu.sh BUILD [SECONDS]
set -euo pipefail
BUILD=$(cd "$1" && pwd)
SECS=${2:-40}
HZ=$(getconf CLK_TCK)
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

read -r DEVICE INPUT < <("$BUILD/bench/bench_tone_input")
CONF_DIR="${XDG_DATA_HOME:-$HOME/.local/share}/Sonalto"
mkdir -p "$CONF_DIR"
SAVED=""
if [ -f "$CONF_DIR/Config.ini" ]; then
  SAVED=$(mktemp)
  cp "$CONF_DIR/Config.ini" "$SAVED"
fi
printf '[Audio]\nRecordDevice=%s\nInputChannel=%s\n' "$DEVICE" "$INPUT" >"$CONF_DIR/Config.ini"

"$BUILD/sonalto" >/dev/null 2>&1 &
PID=$!
parec --device=sonalto_tone --format=s16le --rate=44100 --channels=2 >/dev/null &
PAREC=$!
sleep 5 # start-up, and the sine source's first burst
p0=$(ticks $PID)
r0=$(ticks $PAREC)
sleep "$SECS"
p1=$(ticks $PID)
r1=$(ticks $PAREC)
kill $PID $PAREC
wait $PID $PAREC 2>/dev/null || true
if [ -n "$SAVED" ]; then mv "$SAVED" "$CONF_DIR/Config.ini"; else rm -f "$CONF_DIR/Config.ini"; fi

awk -v p=$((p1 - p0)) -v r=$((r1 - r0)) -v hz="$HZ" -v s="$SECS" 'BEGIN {
  printf "program (monitor + spectrum, %d s): %.3f %% of a core (target < 1 %%)\n", s, 100 * p / hz / s
  printf "parec of the same source:          %.3f %% of a core\n", 100 * r / hz / s
}'
