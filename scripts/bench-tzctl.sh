#!/usr/bin/env bash
# tzctl under Wine, start to exit, measured side by side:
#   - `tzctl list` beside an empty console program built the same way;
#   - a 64 KiB `flash write` (unlock, erase, write, read back, compare) on the
#     simulated library.
# Prints the median of RUNS runs of each (default 11) and the ratio.
#   BUILD_DIR  Windows build tree (default build/win32, or build/win64 where
#              the kernel runs no 32-bit programs)
#   WINE       the wine command (default wine)
set -euo pipefail
TZ_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
own_session=0
if [ -z "${WINEPREFIX:-}" ]; then
  # shellcheck source=wine-env.sh
  source "$TZ_ROOT/scripts/wine-env.sh"
  own_session=1
fi
BUILD_DIR=${BUILD_DIR:-$TZ_ROOT/build/${TZ_WIN_PRESET:-win32}}
RUNS=${RUNS:-11}
WINE=${WINE:-wine}

if [ -z "${SKIP_BUILD:-}" ]; then
  cmake --preset "${TZ_WIN_PRESET:-win32}" >/dev/null
  cmake --build "$BUILD_DIR" -j"${JOBS:-2}" --target tzctl tz810dll empty_console
fi

if [ "$own_session" = 1 ]; then
  TZ_HEADLESS=1 tz_wine_start
  trap tz_wine_stop EXIT
fi
wineserver -p >/dev/null 2>&1 || true

work=$(mktemp -d)
trap 'rm -rf "$work"; [ "$(type -t tz_wine_stop)" = function ] && tz_wine_stop || true' EXIT
head -c 65536 /dev/urandom >"$work/image.bin"
export TZSIM_CONFIG="$work/none.cfg" TZSIM_STATE="$work/state.txt"
: >"$TZSIM_CONFIG"

# Milliseconds of one run of the command, start to exit.
time_ms() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

cd "$work"
"$WINE" "$BUILD_DIR/empty_console.exe" >/dev/null 2>&1 || true  # warm the session
empty=() list=() flash=()
for _ in $(seq "$RUNS"); do
  empty+=("$(time_ms "$WINE" "$BUILD_DIR/empty_console.exe")")
  list+=("$(time_ms "$WINE" "$BUILD_DIR/tzctl.exe" list)")
  flash+=("$(time_ms "$WINE" "$BUILD_DIR/tzctl.exe" flash write image.bin)")
done
e=$(printf '%s\n' "${empty[@]}" | median)
l=$(printf '%s\n' "${list[@]}" | median)
f=$(printf '%s\n' "${flash[@]}" | median)
echo "empty console program: $e ms (median of $RUNS)"
echo "tzctl list:            $l ms ($(awk -v l="$l" -v e="$e" 'BEGIN { printf "%.2f", l / e }')x the empty program)"
echo "tzctl flash write 64K: $f ms (erase, write, verify)"
