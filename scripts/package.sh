#!/usr/bin/env bash
# Builds the Windows release (preset win32) and packs it as
#   dist/tzdebug-<version>-win32.zip
# which unpacks into one folder, tzdebug-<version>/, holding tzdebug.exe,
# tzctl.exe, readme.txt, the user guide, the simulated TZ810DLL.DLL with an
# example tzsim.ini in a folder of its own, simulator/, so that on a bench PC
# the vendor's library beside the program is the one that loads, and the
# tracing TZ810DLL.DLL with its how-to in trace/, for the same reason. The
# binaries are stripped copies; the build folder keeps its symbols. The texts
# get Windows line ends, and a byte-order mark where they hold more than
# ASCII, so that any Notepad reads them. The version is the one in the VERSION
# file at the top of the repository (which also fills every binary's version
# block). Prints the path of the package.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

version=$(tr -d ' \t\r\n' <VERSION)
if ! [[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]]; then
  echo "VERSION must read MAJOR.MINOR.PATCH, not '$version'" >&2
  exit 1
fi

if ! command -v zip >/dev/null 2>&1 || ! command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
  scripts/setup-deps.sh
fi

cmake --preset win32 --log-level=WARNING >/dev/null
cmake --build --preset win32 -j "${TZ_JOBS:-2}" --target tzdebug tzctl tz810dll tztrace_dll

# A text for Windows: CRLF line ends, and a byte-order mark when it is not plain ASCII.
windows_text() {
  if LC_ALL=C grep -q '[^ -~]' <(tr -d '\r\n\t' <"$1"); then
    printf '\xef\xbb\xbf'
  fi
  sed -e "s/@VERSION@/$version/g" -e 's/\r*$/\r/' "$1"
}

top="tzdebug-$version"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dir="$stage/$top"
mkdir -p "$dir/simulator" "$dir/trace"
cp build/win32/tzdebug.exe build/win32/tzctl.exe "$dir/"
cp build/win32/TZ810DLL.DLL "$dir/simulator/"
cp build/win32/trace/TZ810DLL.DLL "$dir/trace/"
i686-w64-mingw32-strip "$dir/tzdebug.exe" "$dir/tzctl.exe" "$dir/simulator/TZ810DLL.DLL" \
  "$dir/trace/TZ810DLL.DLL"
windows_text docs/readme.txt >"$dir/readme.txt"
windows_text docs/user-guide.md >"$dir/user-guide.md"
windows_text sim/tzsim.ini >"$dir/simulator/tzsim.ini"
windows_text trace/how-to.txt >"$dir/trace/how-to.txt"

mkdir -p dist
package="$root/dist/$top-win32.zip"
rm -f "$package"
# -X: no Unix extra fields, so the package depends only on its content.
(cd "$stage" && zip -q -X -r "$package" "$top")
echo "$package"
