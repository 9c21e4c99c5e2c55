#!/usr/bin/env bash
# Builds the Windows program, the simulated library and one bench driver
# (block_bench by default, or the one named: soak, startup_bench, or the
# console program sim_calls), then runs it under Wine on a private virtual
# display; exits with the driver's status.
#   scripts/bench-e2e.sh [block_bench|soak|startup_bench|sim_calls]
#   BUILD_DIR  Windows build tree (default build/bench-win32, or -win64 where
#              32-bit programs cannot run)
set -euo pipefail
TZ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-2}
TARGET=${1:-block_bench}
export TZ_HEADLESS=1
# shellcheck source=wine-env.sh
source "$TZ_ROOT/scripts/wine-env.sh"
if [ "$TZ_WIN_PRESET" = win64 ]; then toolchain=mingw-x86_64; else toolchain=mingw-i686; fi
BUILD_DIR=${BUILD_DIR:-$TZ_ROOT/build/bench-$TZ_WIN_PRESET}

cmake -S "$TZ_ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$TZ_ROOT/cmake/$toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target "$TARGET"

tz_wine_start
trap tz_wine_stop EXIT
# Output to a file first: the wineserver started above keeps any pipe open.
out=$(mktemp)
status=0
wine "$BUILD_DIR/$TARGET.exe" >"$out" 2>&1 || status=$?
tr -d '\r' <"$out"
rm -f "$out"
exit "$status"
