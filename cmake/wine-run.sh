#!/usr/bin/env bash
# Runs a Windows program under Wine, as the build's test runner: the 64-bit loader, a Wine prefix
# of the build's own (build/wine, made on first use), the Japanese locale (so that the ANSI code
# page is 932, as on the program's users' systems) and no Wine debug output.
#
#   cmake/wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
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
if [ ! -d "$WINEPREFIX" ]; then
  mkdir -p "$WINEPREFIX"
  "$loader" wineboot --init >/dev/null 2>&1 || true
  # The Japanese system's dialog fonts, as the IPA fonts (fonts-ipafont-gothic) that stand for
  # them here: the proportional one for the proportional face.
  replacements='HKCU\Software\Wine\Fonts\Replacements'
  "$loader" reg add "$replacements" /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1 || true
  "$loader" reg add "$replacements" /v 'ＭＳ ゴシック' /t REG_SZ /d IPAGothic /f >/dev/null 2>&1 || true
fi
exec "$loader" "$@"
