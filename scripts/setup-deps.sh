#!/usr/bin/env bash
# Installs what building, running and testing tzdebug needs on Debian 12.
# Quick when everything is already there.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
pkg_ok() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

have cmake || need+=(cmake)
have g++ || need+=(g++)
have make || need+=(make)
have zip || need+=(zip)
# The package test reads the zip and its binaries' version blocks.
have python3 || need+=(python3)
# clang with libFuzzer and the sanitizer run-times, for the fuzz targets.
have clang++ || need+=(clang)
pkg_ok libclang-rt-14-dev || need+=(libclang-rt-14-dev)
# The one written style (.clang-format), checked by scripts/test.sh.
have clang-format || need+=(clang-format)
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
# The 64-bit build runs the tests where the kernel runs no 32-bit programs.
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
pkg_ok googletest || need+=(googletest)
pkg_ok libgtest-dev || need+=(libgtest-dev)
pkg_ok libbenchmark-dev || need+=(libbenchmark-dev)
# Header-only: argument parsing and JSON output of tzctl.
pkg_ok libcli11-dev || need+=(libcli11-dev)
pkg_ok nlohmann-json3-dev || need+=(nlohmann-json3-dev)
# The JUnit report is validated against the strict schema in a host test.
pkg_ok libxml2-dev || need+=(libxml2-dev)
# A real XML parser reads the selftest's JUnit report back in the host tests.
pkg_ok libtinyxml2-dev || need+=(libtinyxml2-dev)
# lspci reads cfg dump's output back, a second decoder beside cfg decode.
pkg_ok pciutils || need+=(pciutils)
have Xvfb || need+=(xvfb)
pkg_ok fonts-wqy-zenhei || need+=(fonts-wqy-zenhei)
# The dialogs' 宋体 is drawn with this Song face, whose metrics match it.
pkg_ok fonts-arphic-uming || need+=(fonts-arphic-uming)
# Wine's own fonts (Tahoma, Marlett for the caption buttons): only recommended.
pkg_ok fonts-wine || need+=(fonts-wine)
have import || need+=(imagemagick)
have xwininfo || need+=(x11-utils)
if ! pkg_ok wine32:i386 || ! have wine; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  need+=(wine wine32:i386 wine64)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
