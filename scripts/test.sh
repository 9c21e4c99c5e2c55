#!/usr/bin/env bash
# Builds everything and runs every test: the host unit tests and the
# end-to-end tests, which drive the real tzdebug.exe under Wine on a virtual
# display. One ctest run covers both; the last line printed is the count of
# passed and failed tests, and the exit status is ctest's.
#
#   scripts/test.sh [extra ctest arguments, e.g. -R Shell]
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${TZ_JOBS:-2}

step() { printf '\n=== %s\n' "$*"; }
fail() {
  echo "$*" >&2
  echo "0 passed, 1 failed"
  exit 1
}

step "dependencies"
scripts/setup-deps.sh || fail "installing the dependencies failed"

step "host build (unit tests)"
cmake --preset host >/dev/null || fail "configuring the host build failed"
cmake --build --preset host -j "$jobs" || fail "the host build failed"

step "win32 build (tzdebug.exe, TZ810DLL.DLL, e2e_tests.exe)"
cmake --preset win32 >/dev/null || fail "configuring the win32 build failed"
cmake --build --preset win32 -j "$jobs" || fail "the win32 build failed"

# shellcheck source=wine-env.sh
source scripts/wine-env.sh
if [ "$TZ_WIN_PRESET" = win64 ]; then
  step "win64 build (this kernel runs no 32-bit programs: the end-to-end tests run the 64-bit build)"
  cmake --preset win64 >/dev/null || fail "configuring the win64 build failed"
  cmake --build --preset win64 -j "$jobs" || fail "the win64 build failed"
fi
cmake --preset host -DTZ_E2E_WIN32_DIR="$PWD/build/$TZ_WIN_PRESET" >/dev/null ||
  fail "configuring the host build failed"

step "ThreadSanitizer (interrupt routine and the simulator's interrupt thread)"
# Counted as one more test in the summary below.
tsan_status=1
if cmake --preset host-tsan >/dev/null && cmake --build --preset host-tsan -j "$jobs" --target unit_tests; then
  build/host-tsan/tests/unit_tests --gtest_filter='*Interrupt*' --gtest_color=no
  tsan_status=$?
fi

step "Wine session"
TZ_HEADLESS=1 tz_wine_start || fail "Wine could not be started"
trap tz_wine_stop EXIT
# The end-to-end tests use this session instead of starting their own.
export TZ_E2E_SESSION=external

step "tests"
log=$(mktemp)
ctest --test-dir build/host --output-on-failure "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}

tz_wine_stop
trap - EXIT

summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
rm -f "$log"
if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
  failed=${BASH_REMATCH[1]}
  total=${BASH_REMATCH[2]}
  total=$((total + 1))
  if [ "$tsan_status" -ne 0 ]; then
    failed=$((failed + 1))
    [ "$status" -eq 0 ] && status=1
  fi
  echo "$((total - failed)) passed, $failed failed"
else
  [ "$status" -eq 0 ] && status=1
  echo "0 passed, 1 failed"
fi
exit "$status"
