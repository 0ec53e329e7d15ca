#!/usr/bin/env bash
# Runs a Windows program under Wine, as the build's test runner: the 64-bit loader, a Wine prefix
# of the build's own (build/wine, made on first use), the Japanese locale (so that the ANSI code
# page is 932, as on the program's users' systems) and no Wine debug output.
#
#   cmake/wine-run.sh [--xvfb] PROGRAM.exe [ARGS...]
#
# --xvfb runs it on an X server of its own (Xvfb, 1024x768, 24 bits), as a program that opens
# windows needs: Wine makes no window without one. Such programs get a Wine prefix of their own
# (build/wine-x11), and a Wine session of their own that ends before their X server does: a
# session's desktop belongs to the X server it was made on, so a session made without a display,
# or on an X server that has gone, leaves later programs of it without windows. They must run one
# at a time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
xvfb=false
case ${1:-} in
  --xvfb)
    shift
    export WINEPREFIX=${WINEPREFIX:-$root/build/wine-x11}
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --on-xvfb "$@"
    ;;
  --on-xvfb) shift; xvfb=true ;;
esac
loader=${WINE_LOADER:-}
if [ -z "$loader" ]; then
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then loader=$candidate; break; fi
  done
fi
if [ -z "$loader" ]; then
  echo "wine-run.sh: no Wine loader found (scripts/deps.sh --windows installs wine64)" >&2
  exit 127
fi
export WINEPREFIX=${WINEPREFIX:-$root/build/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
if [ -d "$root/build/locale" ]; then export LOCPATH=$root/build/locale; fi
# The prefix's settings, made once (a stamp file marks them done).
settings=$WINEPREFIX/.orlexmon-settings
if [ ! -e "$settings" ]; then
  mkdir -p "$WINEPREFIX"
  "$loader" wineboot --init >/dev/null 2>&1 || true
  # The Japanese system's dialog fonts, as the IPA fonts (fonts-ipafont-gothic) that stand for
  # them here: the proportional one for the proportional face.
  replacements='HKCU\Software\Wine\Fonts\Replacements'
  "$loader" reg add "$replacements" /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1 || true
  "$loader" reg add "$replacements" /v 'ＭＳ ゴシック' /t REG_SZ /d IPAGothic /f >/dev/null 2>&1 || true
  # Windows framed and placed by Wine itself, as the system would, rather than left to a window
  # manager: Xvfb has none, and Wine would wait two seconds for one at each window shown or hidden.
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
  # Wine's own symbol font (fonts-wine), which draws the title bar's buttons, where this Wine
  # build looks for it.
  if [ -e /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  touch "$settings"
fi
$xvfb || exec "$loader" "$@"

# On the X server of its own: the session starts with the program and is over before it returns.
server=$(dirname "$loader")/wineserver
[ -x "$server" ] || server=wineserver
"$server" -w          # an earlier session (on an earlier X server) is over
"$server" -p0         # this one ends as soon as its last program does
status=0
"$loader" "$@" || status=$?
"$server" -w
exit "$status"
