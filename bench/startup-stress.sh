#!/usr/bin/env bash
# Starts the program many times under each condition below and counts the starts
# that show no window or do not end cleanly (see StartupStressBench.cpp). Each
# start is ended with SIGTERM a random 0 to 1 s after its window appeared.
#
#   startup-stress.sh BUILD
#
#   SONALTO_STRESS_STARTS       starts per condition (default 1000)
#   SONALTO_STRESS_CONDITIONS   which conditions, in this order (default all):
#     nocapture   a sound server with a null sink only and no capture source
#     nodevices   a sound server without any sink or source
#     noserver    no sound server at all
#     onecore     every thread of the program on one processor
#     restart     each start right after the previous one has exited
#     a11y        accessibility on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1), the
#                 session bus starting the AT-SPI bus
#     nobus       accessibility on, no session bus at all
#     autolaunch  no session bus address: D-Bus finds or starts one per display
#     overlap     each start while the previous copy is still exiting
#   SONALTO_STRESS_LOGS         where the logs of failed starts are kept
#                               (default BUILD/startup-stress-logs)
#
# Output: a line per failed start, then per condition one line
#   result condition=NAME starts=N windows=W no_window=X bad_exit=Y hung=Z
# The exit status is 1 when any start failed.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
HERE=$(cd "$(dirname "$0")" && pwd)
if [ -z "${SONALTO_TEST_SESSION:-}" ]; then
  exec bash "$HERE/../scripts/session.sh" --xvfb -- bash "$0" "$BUILD"
fi
STARTS=${SONALTO_STRESS_STARTS:-1000}
CONDITIONS=${SONALTO_STRESS_CONDITIONS:-nocapture nodevices noserver restart onecore a11y nobus autolaunch overlap}
LOGS=${SONALTO_STRESS_LOGS:-$BUILD/startup-stress-logs}
rm -rf "$LOGS"
mkdir -p "$LOGS"
STRESS="$BUILD/bench/bench_startup_stress"
PROGRAM="$BUILD/sonalto"

SERVER_PID=""
cleanup() {
  if [ -n "$SERVER_PID" ]; then
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# A second sound server on a socket of its own, with a null sink (argument
# "sink") or nothing at all.
start_bare_server() {
  local dir="$TMPDIR/bare-pulse-$1"
  mkdir -p "$dir/state"
  echo "load-module module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
    > "$dir/default.pa"
  if [ "$1" = sink ]; then
    echo "load-module module-null-sink sink_name=bare_out sink_properties=device.description=Speakers" \
      >> "$dir/default.pa"
  fi
  PULSE_RUNTIME_PATH="$dir" PULSE_STATE_PATH="$dir/state" \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disallow-exit=yes \
    --log-target=file:"$dir/log" -F "$dir/default.pa" >/dev/null 2>&1 &
  SERVER_PID=$!
  BARE_SERVER="unix:$dir/native"
  for _ in $(seq 1 100); do
    PULSE_SERVER=$BARE_SERVER pactl info >/dev/null 2>&1 && return
    sleep 0.1
  done
  echo "startup-stress: the bare sound server did not start" >&2
  exit 1
}

failed=0
results=()
for condition in $CONDITIONS; do
  args=(--starts "$STARTS" --max-delay-ms 1000 --label "$condition" --logs "$LOGS/$condition")
  envs=()
  wrap=()
  case "$condition" in
    nocapture)
      start_bare_server sink
      envs=(PULSE_SERVER="$BARE_SERVER")
      ;;
    nodevices)
      start_bare_server none
      envs=(PULSE_SERVER="$BARE_SERVER")
      ;;
    noserver) envs=(PULSE_SERVER="unix:$TMPDIR/no-sound-server") ;;
    onecore) wrap=(taskset -c 0) ;;
    restart) ;;
    a11y) envs=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1) ;;
    nobus)
      envs=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 DBUS_SESSION_BUS_ADDRESS="unix:path=$TMPDIR/no-bus")
      ;;
    autolaunch) envs=(-u DBUS_SESSION_BUS_ADDRESS) ;;
    overlap) args+=(--overlap) ;;
    *)
      echo "startup-stress: unknown condition $condition" >&2
      exit 2
      ;;
  esac
  echo "== $condition: $STARTS starts"
  set +e
  env "${envs[@]}" "$STRESS" "${args[@]}" -- "${wrap[@]}" "$PROGRAM" | tee "$LOGS/$condition.out"
  [ "${PIPESTATUS[0]}" = 0 ] || failed=1
  set -e
  results+=("$(grep '^result ' "$LOGS/$condition.out")")
  if [ -n "$SERVER_PID" ]; then
    cleanup
    SERVER_PID=""
  fi
done

# The program's own backtraces name addresses in its executable: add the
# functions and lines.
for log in "$LOGS"/*/start-*.err; do
  [ -e "$log" ] || continue
  addresses=$(grep -o "$(basename "$PROGRAM")(+0x[0-9a-f]*)" "$log" | grep -o '0x[0-9a-f]*' || true)
  if [ -n "$addresses" ]; then
    {
      echo "-- resolved:"
      # shellcheck disable=SC2086
      addr2line -f -C -p -e "$PROGRAM" $addresses
    } >> "$log"
  fi
done

echo "== summary"
printf '%s\n' "${results[@]}"
exit "$failed"
