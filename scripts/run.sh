#!/usr/bin/env bash
# Builds tzdebug for Windows and runs it under Wine on the simulated board
# (build/win32/TZ810DLL.DLL, a TZ820 at index 0 and a TZ810 at index 1).
# Uses the current display, or a virtual one (Xvfb) when there is none or
# TZ_HEADLESS=1. Exits with the program's exit code.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

scripts/setup-deps.sh
# shellcheck source=wine-env.sh
source scripts/wine-env.sh
cmake --preset "$TZ_WIN_PRESET" --log-level=WARNING >/dev/null
cmake --build --preset "$TZ_WIN_PRESET" -j2

tz_wine_start
# Only the virtual display is ours to stop; the wineserver stays up for
# whatever else runs in the prefix.
stop_display() {
  if [ -n "$TZ_XVFB_PID" ]; then kill "$TZ_XVFB_PID" 2>/dev/null || true; fi
}
trap stop_display EXIT

if [ -n "$TZ_XVFB_PID" ]; then
  echo "tzdebug is shown on the virtual display $DISPLAY (Xvfb, 1280x1024)."
  echo "  screenshot: DISPLAY=$DISPLAY import -window root shot.png"
  echo "  or watch it live with a VNC server, e.g. x11vnc -display $DISPLAY"
fi

# Started from its own folder, so the library beside it is the one loaded.
cd "build/$TZ_WIN_PRESET"
set +e
wine tzdebug.exe
rc=$?
set -e
echo "tzdebug exited with code $rc"
exit "$rc"
