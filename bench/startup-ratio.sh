#!/usr/bin/env bash
# Start-up of the program against an empty QMainWindow of the same Qt, side by
# side in one session: time from exec to the mapped window, several runs each,
# alternating, medians and their ratio (target <= 1.5x).
#     startup-ratio.sh BUILD [RUNS]
set -euo pipefail
BUILD=$(cd "$1" && pwd)
RUNS=${2:-7}
WAIT="$BUILD/bench/bench_window_wait"
ours=()
empty=()
# One run of each first, not counted: files and libraries come into the cache.
"$WAIT" "$BUILD/bench/bench_empty_window" >/dev/null
"$WAIT" "$BUILD/sonalto" >/dev/null
for _ in $(seq 1 "$RUNS"); do
  empty+=("$("$WAIT" "$BUILD/bench/bench_empty_window")")
  ours+=("$("$WAIT" "$BUILD/sonalto")")
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
e=$(median "${empty[@]}")
o=$(median "${ours[@]}")
echo "empty QMainWindow: ${empty[*]} (median $e s)"
echo "sonalto:           ${ours[*]} (median $o s)"
awk -v o="$o" -v e="$e" 'BEGIN { printf "start-up ratio sonalto/empty = %.2f (target <= 1.5)\n", o / e }'
