#!/usr/bin/env bash
# Starts Sonalto. Without a desktop session (no DISPLAY and no WAYLAND_DISPLAY) it
# runs inside the project's own headless session: Xvfb plus a private PulseAudio
# server with a 1 kHz tone input and a null output; a screenshot of the main
# window is left in the build folder.
#
# Ctrl+C ends Sonalto as its Exit command does (a recording is finished and
# kept, the settings saved) with status 0. In a terminal the program runs as a
# job of its own, in the terminal's foreground: Ctrl+C reaches it alone, not
# make (which would report the interrupt and fail).
set -euo pipefail
BUILD_DIR=${1:-build}
BIN="$BUILD_DIR/sonalto"

if [ -t 0 ]; then
  set -m
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$BIN"
  exit $?
fi

echo "No desktop session found: starting Sonalto in a headless session"
echo "(Xvfb and a private PulseAudio server with a 1 kHz tone input and a null output)."
bash "$(dirname "$0")/session.sh" --keep-home --demo -- bash -c '
  BIN="$1"; SHOT="$2"
  "$BIN" &
  pid=$!
  for _ in $(seq 1 100); do
    win=$(xdotool search --name "^Sonalto" 2>/dev/null | head -n1 || true)
    [ -n "$win" ] && break
    sleep 0.1
  done
  sleep 2
  if [ -n "${win:-}" ] && import -window "$win" "$SHOT" 2>/dev/null; then
    echo "Screenshot of the main window: $SHOT"
  else
    import -window root "$SHOT" 2>/dev/null && echo "Screenshot of the screen: $SHOT"
  fi
  echo "Sonalto is running on display $DISPLAY (sound server $PULSE_SERVER); stop it with Ctrl+C."
  # The program itself hears Ctrl+C; a TERM for this script is passed on.
  trap "kill -TERM $pid 2>/dev/null" TERM
  trap "" INT
  while kill -0 $pid 2>/dev/null; do wait $pid || true; done
  wait $pid
' _ "$BIN" "$BUILD_DIR/screenshot.png"
exit $?
