# Sourced by the run, test and screenshot scripts: a 32-bit Wine prefix of
# the project's own and a display to show windows on.
#   TZ_HEADLESS=1  always use a private virtual display (Xvfb), even when
#                  DISPLAY is set.
# Leaves DISPLAY, WINEPREFIX, WINEARCH, WINEDEBUG and WINEDLLOVERRIDES set,
# and TZ_XVFB_PID when it started Xvfb (stop it with tz_wine_stop).
# TZ_WIN_PRESET names the Windows build to run here (see below).

TZ_ROOT=${TZ_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# The program ships as a 32-bit build (preset win32). Some Linux kernels run
# no 32-bit programs at all (ia32 emulation off), and then Wine's 32-bit
# loader cannot start. There the same sources built for 64-bit Windows
# (preset win64) run under Wine's 64-bit loader in a 64-bit prefix instead.
if [ -z "${TZ_WIN_PRESET:-}" ]; then
  if [ -x /usr/lib/wine/wine64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    TZ_WIN_PRESET=win64
  else
    TZ_WIN_PRESET=win32
  fi
fi
export TZ_WIN_PRESET
if [ "$TZ_WIN_PRESET" = win64 ]; then
  export WINEARCH=win64
  export WINEPREFIX=${TZ_WINEPREFIX:-$TZ_ROOT/build/wineprefix64}
  export WINELOADER=/usr/lib/wine/wine64
  # `wine` in every script and tool below means the 64-bit loader.
  mkdir -p "$TZ_ROOT/build/wine64-bin"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$TZ_ROOT/build/wine64-bin/wine"
  chmod +x "$TZ_ROOT/build/wine64-bin/wine"
  case ":$PATH:" in *":$TZ_ROOT/build/wine64-bin:"*) ;; *) export PATH="$TZ_ROOT/build/wine64-bin:$PATH" ;; esac
else
  export WINEARCH=win32
  export WINEPREFIX=${TZ_WINEPREFIX:-$TZ_ROOT/build/wineprefix}
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
TZ_XVFB_PID=""

# Xvfb picks a free display itself and writes its number once it accepts
# connections, so two test runs at once never share or race for one.
tz_start_xvfb() {
  local ready i
  ready=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
  TZ_XVFB_PID=$!
  for i in $(seq 1 100); do
    if [ -s "$ready" ]; then
      export DISPLAY=":$(head -n 1 "$ready")"
      rm -f "$ready"
      return 0
    fi
    kill -0 "$TZ_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$ready"
  echo "could not start Xvfb" >&2
  return 1
}

tz_wine_start() {
  if [ "${TZ_HEADLESS:-0}" = 1 ] || [ -z "${DISPLAY:-}" ]; then
    tz_start_xvfb || return 1
  fi
  # The prefix is made once, while a display is up (a prefix made without
  # one shows no program windows later).
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Keep one wineserver alive for the whole run: every start is then quick.
  wineserver -p >/dev/null 2>&1 || true
  # Bring the session's own processes up now: a program that is the first in
  # a new session was seen to hang at its exit while they start.
  timeout 120 wine cmd /c exit 0 >/dev/null 2>&1 || true
  tz_wine_fonts
  if [ -n "$TZ_XVFB_PID" ]; then tz_wine_managed N; else tz_wine_managed Y; fi
}

# On our own Xvfb there is no window manager, and hiding or destroying a
# window that Wine's X11 driver "manages" waits two seconds for one that never
# answers: there tzdebug.exe's windows are left unmanaged (an application
# default of the prefix). On a desktop they are managed as usual. The mark
# file spares a registry call at every start.
tz_wine_managed() {
  local mark="$WINEPREFIX/.tz-unmanaged"
  local key='HKCU\Software\Wine\AppDefaults\tzdebug.exe'
  if [ "$1" = N ] && [ ! -f "$mark" ]; then
    wine reg add "$key\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 && touch "$mark"
  elif [ "$1" = Y ] && [ -f "$mark" ]; then
    wine reg delete "$key" /f >/dev/null 2>&1
    rm -f "$mark"
  fi
}

# The dialogs ask for 宋体, which Linux does not have, and Wine creates a
# dialog's font with the default character set, so without help it falls
# back to a font with no Chinese glyphs. Map 宋体 (and SimSun) onto AR PL
# UMing CN, a Song face with the metrics the templates were laid out for (a
# Hei face is wider and taller: the main dialog grows past a 768-line screen
# and labels wrap). Captions, menus and message boxes are drawn with the
# prefix's window-metrics fonts, Tahoma by default, which has no Chinese
# glyphs ("□□" for 提示): they get WenQuanYi Zen Hei at 13 pixels, drawn
# from its outlines (at 12 pixels its embedded bitmaps are used, jagged and
# cut off at the top; the "Sharp" face is all bitmaps). The same face is
# linked behind the system fonts for any other text. Done once per prefix; the
# mark's number goes up whenever this changes, so older prefixes are brought
# up to date.
tz_wine_fonts() {
  local mark="$WINEPREFIX/.tz-fonts-4"
  [ -f "$mark" ] && return 0
  # Wine's own fonts (Tahoma, Marlett for the caption buttons), also for a
  # prefix made before they were installed.
  if [ -d /usr/share/wine/fonts ]; then
    cp -n /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  local reg font
  reg=$(mktemp --suffix=.reg)
  {
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
      '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
      '"宋体"="AR PL UMing CN"' \
      '"SimSun"="AR PL UMing CN"' '' \
      '[HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics]'
    for font in CaptionFont:700 SmCaptionFont:700 MenuFont:400 StatusFont:400 MessageFont:400 IconFont:400; do
      printf '"%s"=hex:%s\r\n' "${font%%:*}" "$(tz_logfont -13 "${font##*:}" "WenQuanYi Zen Hei")"
    done
    printf '\r\n'
  } | iconv -f UTF-8 -t UTF-16 >"$reg"
  wine regedit /S "$reg" >/dev/null 2>&1 || true
  rm -f "$reg"
  local face
  for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'wqy-zenhei.ttc,WenQuanYi Zen Hei' /f >/dev/null 2>&1 || true
  done
  touch "$mark"
}

# A LOGFONTW as a .reg file's hex bytes: HEIGHT in pixels (negative: the
# characters' height), WEIGHT, the GB2312 character set, antialiased, FACE.
tz_logfont() {
  local le='s/(..)(..)(..)(..)/\4,\3,\2,\1/' face i
  face=$(printf '%s' "$3" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ' ')
  read -ra face <<<"$face"
  printf '%s,00,00,00,00,00,00,00,00,00,00,00,00,%s,00,00,00,86,00,00,04,00' \
    "$(printf '%08x' $(($1 & 0xffffffff)) | sed -E "$le")" "$(printf '%08x' "$2" | sed -E "$le")"
  for ((i = 0; i < 64; i++)); do printf ',%s' "${face[i]:-00}"; done
}

tz_wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$TZ_XVFB_PID" ]; then
    kill "$TZ_XVFB_PID" 2>/dev/null || true
    wait "$TZ_XVFB_PID" 2>/dev/null || true
  fi
}
