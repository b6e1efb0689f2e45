#!/usr/bin/env bash
# Runs a command inside a private session: its own PulseAudio server on a private
# socket (a 1 kHz tone input, a line-in fed through a null sink, two null outputs)
# and, when asked or when no display exists, its own Xvfb display with its own
# session bus. Nothing of the user's own sound server, display or bus is touched.
# Everything is torn down on exit.
#
#   scripts/session.sh [--xvfb] [--keep-home] [--demo] -- command args...
set -euo pipefail

want_xvfb=0
keep_home=0
demo=0
while [ $# -gt 0 ]; do
  case "$1" in
    --xvfb) want_xvfb=1; shift ;;
    --keep-home) keep_home=1; shift ;;
    --demo) demo=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done

SESSION_DIR=$(mktemp -d "${TMPDIR:-/tmp}/sonalto-session.XXXXXX")
# The servers run in sessions of their own: Ctrl+C in the terminal reaches the
# command (which ends in order, on its display and sound server) but not them;
# they are ended here once the command has ended.
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$SESSION_DIR"
}
trap cleanup EXIT INT TERM

# --- PulseAudio -------------------------------------------------------------
mkdir -p "$SESSION_DIR/pulse" "$SESSION_DIR/pulse-state"
cat > "$SESSION_DIR/pulse/default.pa" <<PA
load-module module-native-protocol-unix socket=$SESSION_DIR/pulse/native auth-anonymous=1
load-module module-null-sink sink_name=sonalto_out sink_properties=device.description=Speakers
load-module module-null-sink sink_name=sonalto_out2 sink_properties=device.description=Headphones
load-module module-null-sink sink_name=sonalto_linein_feed sink_properties=device.description=LineInFeed
load-module module-remap-source master=sonalto_linein_feed.monitor source_name=sonalto_linein source_properties=device.description=LineIn
load-module module-sine-source source_name=sonalto_tone frequency=1000 rate=44100
set-default-sink sonalto_out
set-default-source sonalto_tone
PA
export PULSE_RUNTIME_PATH="$SESSION_DIR/pulse"
export PULSE_STATE_PATH="$SESSION_DIR/pulse-state"
export PULSE_SERVER="unix:$SESSION_DIR/pulse/native"
unset PULSE_COOKIE
setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --disallow-exit=yes --log-target=file:"$SESSION_DIR/pulse.log" \
  -F "$SESSION_DIR/pulse/default.pa" >/dev/null 2>&1 &
PIDS+=($!)
for _ in $(seq 1 100); do
  if pactl info >/dev/null 2>&1; then break; fi
  sleep 0.1
done
if ! pactl info >/dev/null 2>&1; then
  echo "session: the private PulseAudio server did not start" >&2
  cat "$SESSION_DIR/pulse.log" >&2 || true
  exit 1
fi

# For a person trying the program, the line-in and the speakers' output mix
# carry a 1 kHz tone as well.
if [ "$demo" = 1 ]; then
  pactl load-module module-sine sink=sonalto_linein_feed frequency=1000 >/dev/null
  pactl load-module module-sine sink=sonalto_out frequency=1000 >/dev/null
fi

# --- X display ----------------------------------------------------------------
if [ "$want_xvfb" = 1 ] || { [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; }; then
  exec 5> "$SESSION_DIR/display"
  setsid Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  PIDS+=($!)
  for _ in $(seq 1 100); do
    [ -s "$SESSION_DIR/display" ] && break
    sleep 0.1
  done
  exec 5>&-
  export DISPLAY=":$(head -n1 "$SESSION_DIR/display")"
  unset WAYLAND_DISPLAY
  export SONALTO_SESSION_XVFB=1

  # The private display gets a private session bus: otherwise the first program
  # that asks for one (the tray icon does) starts a bus bound to the display,
  # which then outlives that program and changes what every later one finds.
  setsid dbus-daemon --session --nofork --nopidfile --address="unix:path=$SESSION_DIR/bus" \
    >/dev/null 2>&1 &
  PIDS+=($!)
  for _ in $(seq 1 100); do
    [ -S "$SESSION_DIR/bus" ] && break
    sleep 0.1
  done
  if [ ! -S "$SESSION_DIR/bus" ]; then
    echo "session: the private session bus did not start" >&2
    exit 1
  fi
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$SESSION_DIR/bus"
fi

# --- Private folders ----------------------------------------------------------
if [ "$keep_home" = 0 ]; then
  export HOME="$SESSION_DIR/home"
  mkdir -p "$HOME/Documents"
  export XDG_DATA_HOME="$HOME/.local/share"
  export XDG_CONFIG_HOME="$HOME/.config"
  export XDG_CACHE_HOME="$HOME/.cache"
  mkdir -p "$XDG_CONFIG_HOME"
  echo 'XDG_DOCUMENTS_DIR="$HOME/Documents"' > "$XDG_CONFIG_HOME/user-dirs.dirs"
fi
export TMPDIR="$SESSION_DIR/tmp"
mkdir -p "$TMPDIR"
export XDG_RUNTIME_DIR="$SESSION_DIR/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export SONALTO_TEST_SESSION="$SESSION_DIR"

set +e
"$@"
status=$?
set -e
exit $status
