#!/usr/bin/env bash
# Builds the Win32 program, the simulated library and soak.exe, then runs the
# soak (300 cycles of open, I/O block read and write-back, identity dialog,
# close in one tzdebug.exe) under Wine on a private virtual display. Exit
# status 1 when a figure grew by more than 5 %.
#   BUILD_DIR  Win32 build tree (default build/bench-win32)
set -euo pipefail
TZ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$TZ_ROOT/build/bench-win32}
JOBS=${JOBS:-2}

cmake -S "$TZ_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$TZ_ROOT/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target soak

export TZ_HEADLESS=1
# shellcheck source=wine-env.sh
source "$TZ_ROOT/scripts/wine-env.sh"
tz_wine_start
trap tz_wine_stop EXIT
# Output to a file first: the wineserver started above keeps any pipe open.
out=$(mktemp)
status=0
wine "$BUILD_DIR/soak.exe" >"$out" 2>&1 || status=$?
tr -d '\r' <"$out"
rm -f "$out"
exit "$status"
