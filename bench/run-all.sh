#!/usr/bin/env bash
# Runs every benchmark inside the private session (make bench). $1: the build
# folder. SONALTO_BENCH_SECONDS shortens the recordings (default 60 s each),
# SONALTO_STRESS_STARTS sets the starts per condition of the start-up stress.
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
SECS=${SONALTO_BENCH_SECONDS:-60}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/sonalto-bench.XXXXXX")
FEED=""
cleanup() {
  [ -n "$FEED" ] && kill "$FEED" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

if [ -x "$BUILD/bench/bench_duration_probe" ]; then
  echo "== duration probe"
  "$BUILD/bench/bench_duration_probe"
fi

if [ -x "$BUILD/bench/bench_settings_file" ]; then
  echo "== settings file of 100 MB: start-up reads and exit writes"
  "$BUILD/bench/bench_settings_file" 100
fi

# A 1 kHz tone played into the line-in feed for as long as the benchmarks run:
# the line-in is a clocked input that delivers in real time, unlike the bursty
# sine source.
bash "$(dirname "$0")/feed-tone.sh" &
FEED=$!
sleep 1

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
total_of() { awk '/ total cpu_s=/ { sub("cpu_s=", "", $3); print $3 }' "$1"; }
steady_of() { awk '/ steady cpu_s=/ { sub("cpu_s=", "", $3); print $3 }' "$1"; }

echo "== capture to WAV, ${SECS} s: our audio layer vs parecord (target <= 1.5x)"
python3 "$HERE/cpu_of.py" "$SECS" ours -- "$BUILD/bench/bench_capture_cpu" wav LineIn "$WORK/ours.wav" >"$WORK/a1" &
OURS=$!
python3 "$HERE/cpu_of.py" "$SECS" parecord -- parecord --device=sonalto_linein --rate=44100 \
  --channels=2 --format=s16le --file-format=wav "$WORK/parecord.wav" >"$WORK/a2"
wait "$OURS"
cat "$WORK/a1" "$WORK/a2"
echo "wav ratio ours/parecord = $(ratio "$(total_of "$WORK/a1")" "$(total_of "$WORK/a2")") (with start-up)," \
  "$(ratio "$(steady_of "$WORK/a1")" "$(steady_of "$WORK/a2")") (after warm-up)"

echo "== capture to MP3, ${SECS} s: our layer + lame vs parecord | lame (target <= 1.1x)"
mapfile -t LAME_ARGS < <("$BUILD/bench/bench_capture_cpu" lame-command "$WORK/parecord.mp3")
set -- "${LAME_ARGS[@]}"
# parecord cannot put a WAV header on a pipe: lame reads the same audio raw.
set -- "$1" -r -s 44.1 --bitwidth 16 --signed --little-endian "${@:2}"
python3 "$HERE/cpu_of.py" "$SECS" ours -- "$BUILD/bench/bench_capture_cpu" mp3 LineIn "$WORK/ours.mp3" >"$WORK/b1" &
OURS=$!
python3 "$HERE/cpu_of.py" "$SECS" pipeline -- parecord --device=sonalto_linein --rate=44100 \
  --channels=2 --format=s16le --raw '|' "$@" >"$WORK/b2"
wait "$OURS"
cat "$WORK/b1" "$WORK/b2"
echo "mp3 ratio ours/pipeline = $(ratio "$(total_of "$WORK/b1")" "$(total_of "$WORK/b2")") (with start-up)," \
  "$(ratio "$(steady_of "$WORK/b1")" "$(steady_of "$WORK/b2")") (after warm-up)"

echo "== the program recording ${SECS} s with its window shown (target <= 1 % of a core;"
echo "   encoder within 1.1x of the same encoder behind parecord)"
names=(mp3 wma ogg wav)
for format in 0 1 2 3; do
  mkdir -p "$WORK/p$format"
  if [ "$format" = 0 ]; then
    mapfile -t LAME_ARGS < <("$BUILD/bench/bench_capture_cpu" lame-command "$WORK/p$format/pipeline.mp3")
    set -- "${LAME_ARGS[@]}"
    set -- "$1" -r -s 44.1 --bitwidth 16 --signed --little-endian "${@:2}"
  elif [ "$format" = 2 ]; then
    set -- oggenc -Q -r -R 44100 -C 2 -B 16 -o "$WORK/p$format/pipeline.ogg" -
  else
    set --
  fi
  if [ $# -gt 0 ]; then
    # The pipeline starts with the program's measured window (after its start-up).
    (sleep 4; python3 "$HERE/cpu_of.py" "$SECS" pipeline -- parecord --device=sonalto_linein \
      --rate=44100 --channels=2 --format=s16le --raw '|' "$@" >"$WORK/c$format") &
    PIPELINE=$!
  fi
  "$BUILD/bench/bench_program_recording" "$BUILD/sonalto" "$format" "$SECS" "$WORK/p$format" \
    | tee "$WORK/p$format.out"
  if [ $# -gt 0 ]; then
    wait "$PIPELINE"
    cat "$WORK/c$format"
    enc=$(awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^encoder_cpu_s=/) { sub("encoder_cpu_s=", "", $i); print $i } }' "$WORK/p$format.out")
    alone=$(awk -v n="$1" '$2 == n { sub("cpu_s=", "", $3); print $3 }' "$WORK/c$format")
    echo "${names[$format]} encoder ratio program's/pipeline's = $(ratio "$enc" "$alone")"
  fi
done

# The same with the line-in playing a tone that changes every 100 ms, as speech
# would: the spectrum and the meter are drawn at every frame.
kill "$FEED" 2>/dev/null || true
wait "$FEED" 2>/dev/null || true
bash "$(dirname "$0")/feed-tone.sh" changing &
FEED=$!
sleep 1
echo "== the program recording ${SECS} s of a changing tone to WAV (target <= 1 % of a core)"
mkdir -p "$WORK/changing"
"$BUILD/bench/bench_program_recording" "$BUILD/sonalto" 3 "$SECS" "$WORK/changing"

echo "== the main window listing 1,000 recordings of all four formats (target <= 1 s)"
"$BUILD/bench/bench_list_refresh" "$BUILD/bench/recordings-1000" 1000

echo "== the main window on 10,000 recordings against an empty folder (stall <= 100 ms,"
echo "   every length in <= 3 s, RSS <= 80 MB)"
bash "$HERE/large-folder.sh" "$BUILD" "${SONALTO_LARGE_FOLDER_ROUNDS:-3}"

ROUNDS=${SONALTO_WATCH_ROUNDS:-3}
WATCH=${SONALTO_SPECTRUM_SECONDS:-30}
echo "== the program watching a silent input (the monitor of an output nobody plays to):"
echo "   monitor, spectrum and meter at 10 frames/s (target <= 0.5 % of a core)"
bash "$HERE/spectrum-cpu.sh" "$BUILD" "$WATCH" Headphones "$ROUNDS"
echo "== the program watching the changing tone on the line-in"
bash "$HERE/spectrum-cpu.sh" "$BUILD" "$WATCH" LineIn "$ROUNDS"
echo "== the program watching the sine source (bursty)"
bash "$HERE/spectrum-cpu.sh" "$BUILD" "$WATCH" sine "$ROUNDS"

if [ -n "${SONALTO_BENCH_LOAD_SECONDS:-}" ]; then
  echo "== ${SONALTO_BENCH_LOAD_SECONDS} s recorded while both cores are loaded (no lost audio)"
  bash "$HERE/load-test.sh" "$BUILD" "$SONALTO_BENCH_LOAD_SECONDS"
fi

echo "== start-up against an empty QMainWindow of the same Qt (target <= 1.2x)"
bash "$HERE/startup-ratio.sh" "$BUILD" "${SONALTO_STARTUP_RUNS:-11}"

# A shorter run than the 1,000 starts per condition the script makes by itself.
STRESS_STARTS=${SONALTO_STRESS_STARTS:-30}
echo "== start-up stress: ${STRESS_STARTS} starts per condition (target: every start shows its window and ends cleanly)"
SONALTO_STRESS_STARTS=$STRESS_STARTS bash "$HERE/startup-stress.sh" "$BUILD" ||
  echo "start-up stress: some starts failed; their logs are in $BUILD/startup-stress-logs"
