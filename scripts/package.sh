#!/usr/bin/env bash
# Builds the Windows release (preset win32) and packs it as
#   dist/tzdebug-<version>-win32.zip
# holding tzdebug.exe, tzctl.exe, the user guide, the simulated TZ810DLL.DLL in a
# folder of its own, simulator/, so that on a bench PC the vendor's library
# beside the program is the one that loads, and the tracing TZ810DLL.DLL with
# its how-to in trace/, for the same reason. The version is the one in the
# VERSION file at the top of the repository (which also fills the program's
# version block). Prints the path of the package.
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
cmake --build --preset win32 -j2 --target tzdebug tzctl tz810dll tztrace_dll

name="tzdebug-$version-win32"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/simulator" "$stage/trace"
cp build/win32/tzdebug.exe build/win32/tzctl.exe "$stage/"
cp build/win32/TZ810DLL.DLL "$stage/simulator/"
cp build/win32/trace/TZ810DLL.DLL "$stage/trace/"
# Windows line ends, so the guide reads well in any editor there.
sed 's/\r*$/\r/' docs/user-guide.md >"$stage/user-guide.md"
sed 's/\r*$/\r/' trace/how-to.txt >"$stage/trace/how-to.txt"

mkdir -p dist
package="$root/dist/$name.zip"
rm -f "$package"
# -X: no Unix extra fields, so the package depends only on its content.
(cd "$stage" && zip -q -X -r "$package" tzdebug.exe tzctl.exe user-guide.md simulator trace)
echo "$package"
