#!/usr/bin/env bash
# Starts Sonalto. Without a desktop session (no DISPLAY and no WAYLAND_DISPLAY) it
# runs inside the project's own headless session: Xvfb plus a private PulseAudio
# server with a 1 kHz tone input and a null output; a screenshot of the main
# window is left in the build folder.
set -euo pipefail
BUILD_DIR=${1:-build}
BIN="$BUILD_DIR/sonalto"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$BIN"
fi

echo "No desktop session found: starting Sonalto in a headless session"
echo "(Xvfb and a private PulseAudio server with a 1 kHz tone input and a null output)."
exec bash "$(dirname "$0")/session.sh" --keep-home --demo -- bash -c '
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
  trap "kill $pid 2>/dev/null" INT TERM
  wait $pid
' _ "$BIN" "$BUILD_DIR/screenshot.png"
