#!/usr/bin/env bash
# Builds every target of each preset it uses and runs every test: the host unit tests, under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the end-to-end tests,
# which drive the real tzdebug.exe under Wine on a virtual display, in one
# ctest run; beside it the format check, the interrupt tests under
# ThreadSanitizer and the fuzz targets, each counted as one test.
# Builds already configured and up to date are left as they are. The last
# line printed is the count of passed and failed tests, and the exit status
# is ctest's unless one of those extra runs failed.
#
#   scripts/test.sh [extra ctest arguments, e.g. -R TzDebug]
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${TZ_JOBS:-2}

step() { printf '\n=== %s (at %d s)\n' "$*" "$SECONDS"; }
fail() {
  echo "$*" >&2
  [ -n "${fuzz_pid:-}" ] && kill "$fuzz_pid" 2>/dev/null
  echo "0 passed, 1 failed"
  exit 1
}

# Configures a preset unless its build folder is already configured and no
# newer than the presets (a changed CMakeLists.txt reconfigures itself in the
# build step). A stale folder starts from a fresh cache, since a preset may
# have changed its compiler.
configure() {
  local preset=$1 dir=build/$1 fresh=()
  shift
  if [ -f "$dir/CMakeCache.txt" ]; then
    if [ "$dir/CMakeCache.txt" -nt CMakePresets.json ] &&
      { [ $# -eq 0 ] || grep -qxF "${1#-D}" <(sed 's/:[A-Z]*=/=/' "$dir/CMakeCache.txt"); }; then
      return 0
    fi
    fresh=(--fresh)
  fi
  cmake --preset "$preset" "${fresh[@]}" "$@" >/dev/null
}

step "dependencies"
scripts/setup-deps.sh || fail "installing the dependencies failed"

# shellcheck source=wine-env.sh
source scripts/wine-env.sh
# With ctest arguments only the tests they select run: no format check,
# sanitizer or fuzz runs, and no build that those tests do not run.
whole=1
[ $# -gt 0 ] && whole=0

format_status=0
if [ "$whole" = 1 ]; then
  step "format (clang-format, the root .clang-format)"
  # Counted as one more test in the summary below.
  git ls-files -z '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | xargs -0 clang-format --dry-run -Werror
  format_status=$?
  [ "$format_status" -eq 0 ] && echo "every tracked C/C++ file is in format"
fi

# The unit tests are built once, under AddressSanitizer and
# UndefinedBehaviorSanitizer, so that every run of them is also a sanitizer
# run; ctest runs them and the end-to-end tests from this build's folder. The
# same build, by clang, links the fuzz targets.
step "host build under ASan and UBSan (unit tests, fuzz targets; the end-to-end tests run the $TZ_WIN_PRESET build)"
configure host-asan -DTZ_E2E_WIN32_DIR="$PWD/build/$TZ_WIN_PRESET" ||
  fail "configuring the host build failed"
cmake --build --preset host-asan -j "$jobs" || fail "the host build failed"

# Every preset configured here is built whole, benchmarks and tools too, so
# nothing in the tree stops building unnoticed. The build that ships is only
# compiled where it cannot run here.
if [ "$whole" = 1 ] || [ "$TZ_WIN_PRESET" = win32 ]; then
  step "win32 build (everything)"
  configure win32 || fail "configuring the win32 build failed"
  cmake --build --preset win32 -j "$jobs" || fail "the win32 build failed"
fi
if [ "$TZ_WIN_PRESET" = win64 ]; then
  step "win64 build, everything (this kernel runs no 32-bit programs: the end-to-end tests run the 64-bit build)"
  configure win64 || fail "configuring the win64 build failed"
  cmake --build --preset win64 -j "$jobs" || fail "the win64 build failed"
fi

tsan_status=0 fuzz_targets=() fuzz_failed=0 fuzz_pid=""
if [ "$whole" = 1 ]; then
  step "ThreadSanitizer build, everything; its run: the interrupt routine and the simulator's interrupt thread"
  # Counted as one more test in the summary below.
  tsan_status=1
  if configure host-tsan && cmake --build --preset host-tsan -j "$jobs"; then
    build/host-tsan/tests/irq_tests --gtest_color=no --gtest_brief=1
    tsan_status=$?
  fi

  step "fuzz targets (libFuzzer, built above), run beside the end-to-end tests"
  fuzz_targets=(hextext sim_files tzctl_parse identity)
  # Each target is one more test in the summary, run for TZ_FUZZ_SECONDS
  # from its seed corpus while the end-to-end tests mostly wait on Wine.
  # New inputs go to a scratch corpus in build/fuzz/; a crash or a broken
  # property leaves its input in build/fuzz/found/ (keep it in the target's
  # seed corpus once fixed).
  mkdir -p build/fuzz/found
  for t in "${fuzz_targets[@]}"; do
    rm -f "build/fuzz/$t.failed"
    mkdir -p "build/fuzz/corpus/$t"
  done
  (
    for t in "${fuzz_targets[@]}"; do
      build/host-asan/tests/fuzz/${t}_fuzz -max_total_time="${TZ_FUZZ_SECONDS:-10}" -print_final_stats=0 \
        -artifact_prefix="build/fuzz/found/$t-" "build/fuzz/corpus/$t" "tests/fuzz/corpus/$t" \
        >"build/fuzz/$t.log" 2>&1 || touch "build/fuzz/$t.failed"
    done
  ) &
  fuzz_pid=$!
fi

step "Wine session"
TZ_HEADLESS=1 tz_wine_start || fail "Wine could not be started"
trap tz_wine_stop EXIT
# The end-to-end tests use this session instead of starting their own.
export TZ_E2E_SESSION=external

step "tests"
log=$(mktemp)
# Any sanitizer report fails the unit test that made it.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/host-asan --output-on-failure "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}

tz_wine_stop
trap - EXIT

if [ -n "$fuzz_pid" ]; then
  step "fuzz targets (${TZ_FUZZ_SECONDS:-10} s each)"
  wait "$fuzz_pid"
  for t in "${fuzz_targets[@]}"; do
    if [ -f "build/fuzz/$t.failed" ]; then
      tail -n 40 "build/fuzz/$t.log"
      echo "fuzz target $t failed (build/fuzz/$t.log)"
      fuzz_failed=$((fuzz_failed + 1))
    else
      echo "fuzz target $t: $(grep -Eo 'Done [0-9]+ runs.*' "build/fuzz/$t.log" | tail -n 1)"
    fi
  done
fi

summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
rm -f "$log"
if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
  failed=${BASH_REMATCH[1]}
  total=${BASH_REMATCH[2]}
  [ "$whole" = 1 ] && total=$((total + 2 + ${#fuzz_targets[@]}))
  failed=$((failed + fuzz_failed + (format_status != 0) + (tsan_status != 0)))
  if [ "$format_status" -ne 0 ] || [ "$tsan_status" -ne 0 ] || [ "$fuzz_failed" -ne 0 ]; then
    [ "$status" -eq 0 ] && status=1
  fi
  echo "$((total - failed)) passed, $failed failed"
else
  [ "$status" -eq 0 ] && status=1
  echo "0 passed, 1 failed"
fi
exit "$status"
