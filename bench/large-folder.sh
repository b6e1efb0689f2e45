#!/usr/bin/env bash
# The main window on a folder of 10,000 recordings against the same window on an
# empty folder, in turns: in the benchmark program (stalls, time to every length,
# memory), then the real program's resident memory once it has listed the folder.
#     large-folder.sh BUILD [ROUNDS] [COUNT]
set -euo pipefail
BUILD=$(cd "$1" && pwd)
ROUNDS=${2:-3}
COUNT=${3:-10000}
BENCH="$BUILD/bench/bench_large_folder"
FOLDER="$BUILD/bench/large-folder"
OUT=$(mktemp -d "${TMPDIR:-/tmp}/sonalto-large.XXXXXX")
trap 'rm -rf "$OUT"' EXIT

"$BENCH" "$FOLDER" "$COUNT" >/dev/null # makes the folders and warms the file cache
"$BENCH" "$FOLDER" 0 >/dev/null
for r in $(seq 1 "$ROUNDS"); do
  "$BENCH" "$FOLDER" 0 >"$OUT/empty$r"
  "$BENCH" "$FOLDER" "$COUNT" >"$OUT/full$r"
done
# "median (min-max)" of a value over the rounds of one kind.
summary() {
  local key=$1 kind=$2 values=()
  for r in $(seq 1 "$ROUNDS"); do
    values+=("$(grep -o "$key=[0-9.]*" "$OUT/$kind$r" | cut -d= -f2)")
  done
  printf '%s\n' "${values[@]}" | sort -g | awk '{ v[NR] = $1 } END {
    printf "%s (%s-%s)", v[int((NR + 1) / 2)], v[1], v[NR] }'
}
head -1 "$OUT/full$ROUNDS"
for kind in empty full; do
  if [ $kind = empty ]; then echo "empty folder, medians (min-max) of $ROUNDS runs:"
  else echo "$COUNT files, medians (min-max) of $ROUNDS runs:"; fi
  echo "  start:  window built $(summary start_built_ms $kind) ms, first paint $(summary start_paint_ms $kind) ms"
  echo "          every length $(summary start_lengths_ms $kind) ms after the first paint (target <= 3000)"
  echo "          longest stall after the first paint $(summary start_stall_ms $kind) ms (target <= 100)"
  echo "          RSS $(summary start_rss_mib $kind) MiB (peak $(summary start_peak_mib $kind)), 1 s later $(summary settled_rss_mib $kind) MiB (target <= 80)"
  echo "  rescan: the call $(summary rescan_call_ms $kind) ms, every length $(summary rescan_lengths_ms $kind) ms"
  echo "          longest stall $(summary rescan_stall_ms $kind) ms, RSS $(summary rescan_rss_mib $kind) MiB (peak $(summary rescan_peak_mib $kind))"
done

# The real program, as a user starts it, on the same folders.
rss_of_program() {
  local data="$OUT/data-$1"
  mkdir -p "$data/Sonalto"
  printf '[Other]\nAudioDir=%s/\n' "$2" >"$data/Sonalto/Config.ini"
  XDG_DATA_HOME="$data" "$BUILD/sonalto" >/dev/null 2>&1 &
  local pid=$!
  sleep "${SONALTO_LARGE_FOLDER_WAIT:-8}"
  awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}
empty=() full=()
for r in $(seq 1 "$ROUNDS"); do
  empty+=("$(rss_of_program e$r "$FOLDER-0")")
  full+=("$(rss_of_program f$r "$FOLDER-$COUNT")")
done
echo "the program's RSS 8 s after start: empty folder ${empty[*]} MiB," \
  "$COUNT files ${full[*]} MiB (target <= 80)"
