#!/usr/bin/env bash
# The Wine session the end-to-end tests run in, for the host ctest:
#   wine-session.sh start STATE   start Xvfb (headless) and a persistent
#                                 wineserver; note DISPLAY and the Xvfb pid
#   wine-session.sh run STATE EXE ARGS...   run EXE under Wine in that session
#   wine-session.sh stop STATE    stop what start started
# When the caller already runs a session (scripts/test.sh exports
# TZ_E2E_SESSION=external with DISPLAY and WINEPREFIX set), start and stop do
# nothing and run uses the caller's environment.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
action=${1:?start, run or stop}
state=${2:?state file}
shift 2

external() { [ "${TZ_E2E_SESSION:-}" = external ]; }

case "$action" in
start)
  external && exit 0
  # shellcheck source=../../scripts/wine-env.sh
  source "$here/../../scripts/wine-env.sh"
  TZ_HEADLESS=1 tz_wine_start || exit 1
  mkdir -p "$(dirname "$state")"
  printf 'DISPLAY=%s\nXVFB_PID=%s\n' "$DISPLAY" "$TZ_XVFB_PID" >"$state"
  ;;
run)
  if ! external; then
    [ -f "$state" ] || { echo "no Wine session: run the e2e_wine_start test first" >&2; exit 1; }
    # shellcheck source=../../scripts/wine-env.sh
    source "$here/../../scripts/wine-env.sh"
    DISPLAY=$(sed -n 's/^DISPLAY=//p' "$state")
    export DISPLAY
  fi
  exec wine "$@"
  ;;
stop)
  external && exit 0
  # shellcheck source=../../scripts/wine-env.sh
  source "$here/../../scripts/wine-env.sh"
  if [ -f "$state" ]; then
    TZ_XVFB_PID=$(sed -n 's/^XVFB_PID=//p' "$state")
    rm -f "$state"
  fi
  tz_wine_stop
  ;;
*)
  echo "unknown action $action" >&2
  exit 2
  ;;
esac
