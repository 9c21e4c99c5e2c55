#!/usr/bin/env bash
# Renders docs/main-dialog.png: the main dialog after opening the simulated
# TZ820 at index 0, on a private virtual display.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
out=${1:-$root/docs/main-dialog.png}
caption="DEBUG TZ810/820"

scripts/setup-deps.sh
# shellcheck source=wine-env.sh
source scripts/wine-env.sh
cmake --preset "$TZ_WIN_PRESET" --log-level=WARNING >/dev/null
cmake --build --preset "$TZ_WIN_PRESET" -j2

# The default simulated bench, nothing carried over from other runs.
unset TZSIM_CONFIG TZSIM_TRACE TZSIM_POWER_CYCLE
export TZSIM_STATE="$root/build/screenshot.state"
rm -f "$TZSIM_STATE"
export TZ_HEADLESS=1
# A prefix of its own: there Wine draws the window frames and captions
# itself (no window manager runs on the virtual display), and stopping it
# afterwards cannot disturb anything running in the main prefix.
export WINEPREFIX="$root/build/wineprefix-shot-$TZ_WIN_PRESET"
tz_wine_start
if [ ! -f "$WINEPREFIX/.tz-decorated-n" ]; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  touch "$WINEPREFIX/.tz-decorated-n"
fi

app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  tz_wine_stop
}
trap cleanup EXIT

cd "build/$TZ_WIN_PRESET"
wine tzdebug.exe &
app_pid=$!

poke() { wine tzpoke.exe "$@"; }
poke wait "$caption" 60000 >/dev/null
sleep 1                       # let the dialog's queue settle once shown
poke command "$caption" 1140  # 打开设备
sleep 2                       # open, information panel, flash identification

xid=$(xwininfo -root -tree | grep -F "\"$caption\"" | awk '{print $1}' | head -n 1)
if [ -z "$xid" ]; then
  echo "no X window with the caption \"$caption\"" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
import -window "$xid" "$out"
echo "wrote $out"

poke command "$caption" 1142  # 退出
wait "$app_pid" || true
app_pid=""
