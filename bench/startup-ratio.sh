#!/usr/bin/env bash
# Start-up of the program against an empty QMainWindow of the same Qt, side by
# side in one session: time from exec to the mapped window, several runs each,
# alternating, medians and their ratio (target <= 1.2x).
#     startup-ratio.sh BUILD [RUNS]
#
# A desktop session has a D-Bus session bus. Without one (a bare Xvfb), the first
# D-Bus user of a process - Qt's accessibility bridge, as soon as a control gets
# an accessible name - starts dbus-launch to find or start a bus, at every start:
# a cost no desktop user pays, and one the empty window never meets. So the pair
# is measured under a session bus of its own (the target), then once more
# without one.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
RUNS=${2:-7}
if [ -z "${SONALTO_STARTUP_INNER:-}" ]; then
  if command -v dbus-run-session >/dev/null; then
    echo "-- with a session bus, as on a desktop (target <= 1.2x)"
    # (the bus daemon warns that it may not raise its file limit: not our concern)
    SONALTO_STARTUP_INNER=1 dbus-run-session -- bash "$0" "$BUILD" "$RUNS" 2> >(grep -v "fd limit" >&2)
    echo "-- without a session bus (D-Bus autolaunched at every start)"
  fi
  (unset DBUS_SESSION_BUS_ADDRESS; SONALTO_STARTUP_INNER=1 bash "$0" "$BUILD" "$RUNS")
  exit
fi
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
awk -v o="$o" -v e="$e" 'BEGIN { printf "start-up ratio sonalto/empty = %.2f\n", o / e }'
