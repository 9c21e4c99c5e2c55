#!/usr/bin/env bash
# Builds the Win32 program, the simulated library and block_bench.exe, then
# runs the block benchmark under Wine on a private virtual display.
#   BUILD_DIR  Windows build tree (default build/bench-win32, or -win64 where
#              32-bit programs cannot run)
set -euo pipefail
TZ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-2}
export TZ_HEADLESS=1
# shellcheck source=wine-env.sh
source "$TZ_ROOT/scripts/wine-env.sh"
if [ "$TZ_WIN_PRESET" = win64 ]; then toolchain=mingw-x86_64; else toolchain=mingw-i686; fi
BUILD_DIR=${BUILD_DIR:-$TZ_ROOT/build/bench-$TZ_WIN_PRESET}

cmake -S "$TZ_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$TZ_ROOT/cmake/$toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target block_bench

tz_wine_start
trap tz_wine_stop EXIT
# Output to a file first: the wineserver started above keeps any pipe open.
out=$(mktemp)
status=0
wine "$BUILD_DIR/block_bench.exe" >"$out" 2>&1 || status=$?
tr -d '\r' <"$out"
rm -f "$out"
exit "$status"
