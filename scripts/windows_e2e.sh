#!/usr/bin/env bash
# End to end under Wine: orlexmon.exe over the bundled orvanLib.dll, on Xvfb with the Japanese
# locale, against the Linux program over the same store.
#
# A demo store and keyword list made by the Linux `orvan-host demo` go into two directories:
# the Linux orlexmon runs over one, orlexmon.exe (beside orvanLib.dll) over the other, and both
# must end with status 0 and store the very same scores. Then the Windows program's other ends:
# no orvanLib.dll beside it (status 3, one line on standard error), an empty keyword list
# (status 1, nothing stored), and a store that cannot be used (status 4, one line).
#
#   scripts/windows_e2e.sh [LINUX_BUILD [WINDOWS_BUILD]]   (default: build/debug build/windows)
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build/debug}/bin
windows=${2:-build/windows}/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "windows_e2e: $*" >&2; exit 1; }

scores() {  # every message's score columns, in order
  sqlite3 "$1/orvan.sqlite" "SELECT position, score_state, points, hits FROM messages ORDER BY position"
}

mkdir -p "$work/linux" "$work/windows"
"$linux/orvan-host" --store "$work/linux/orvan.sqlite" demo --keywords "$work/linux/orvan.key" \
    >/dev/null
cp "$work/linux/orvan.sqlite" "$work/linux/orvan.key" "$work/windows/"
cp "$linux/orlexmon" "$linux/liborvanLib.so" "$work/linux/"
cp "$windows/orlexmon.exe" "$windows/orvanLib.dll" "$work/windows/"
before=$(scores "$work/windows")

# Linux, off-screen.
status=0
(cd "$work/linux" && env -u DISPLAY -u WAYLAND_DISPLAY -u ORVAN_STORE ./orlexmon) || status=$?
[ "$status" -eq 0 ] || fail "the Linux program ended with $status"

run_windows() {  # runs orlexmon.exe in $work/windows on Xvfb; sets $status and $errors
  status=0
  env -u ORVAN_STORE cmake/wine-run.sh --xvfb "$work/windows/orlexmon.exe" \
      2>"$work/stderr.txt" || status=$?
  errors=$(cat "$work/stderr.txt")
}

run_windows
[ "$status" -eq 0 ] || fail "orlexmon.exe ended with $status: $errors"
[ "$(scores "$work/windows")" != "$before" ] || fail "orlexmon.exe stored nothing"
[ "$(scores "$work/windows")" = "$(scores "$work/linux")" ] ||
  fail "orlexmon.exe stored other scores than the Linux program"
echo "windows_e2e: orlexmon.exe stored the same scores as the Linux program (status 0)"

# An empty keyword list: the window closes at once, status 1, nothing stored.
cp "$work/linux/orvan.sqlite" "$work/windows/orvan.sqlite"
rm -f "$work/windows/orvan.sqlite-wal" "$work/windows/orvan.sqlite-shm"
sqlite3 "$work/windows/orvan.sqlite" "UPDATE messages SET score_state = -1, points = 0, hits = NULL"
unscored=$(scores "$work/windows")
: > "$work/windows/orvan.key"
run_windows
[ "$status" -eq 1 ] || fail "with an empty keyword list orlexmon.exe ended with $status"
[ "$(scores "$work/windows")" = "$unscored" ] || fail "with an empty keyword list a score was stored"
echo "windows_e2e: an empty keyword list ends orlexmon.exe with 1 and stores nothing"

# A store that cannot be used (a file of 0 bytes): a host failure, status 4 and one line saying
# why, through orvanLib.dll's failure operation; the file stays 0 bytes.
: > "$work/windows/orvan.sqlite"
echo "abc" > "$work/windows/orvan.key"
run_windows
[ "$status" -eq 4 ] || fail "with a store of 0 bytes orlexmon.exe ended with $status"
# (Xvfb may add a line of its own when it shuts down.)
[ "$(printf '%s\n' "$errors" | grep -c '^orlexmon:')" -eq 1 ] &&
  [[ $errors == *"cannot be used: not an orvan store"* ]] ||
  fail "with a store of 0 bytes the error output was: $errors"
errors=$(printf '%s\n' "$errors" | grep '^orlexmon:')
[ ! -s "$work/windows/orvan.sqlite" ] || fail "the store of 0 bytes was written"
echo "windows_e2e: a store that cannot be used ends orlexmon.exe with 4: $errors"

# No host library beside the program: status 3 and one line naming it.
rm "$work/windows/orvanLib.dll"
run_windows
[ "$status" -eq 3 ] || fail "without orvanLib.dll orlexmon.exe ended with $status"
[ "$(printf '%s\n' "$errors" | grep -c .)" -eq 1 ] && [[ $errors == *orvanLib.dll* ]] ||
  fail "without orvanLib.dll the error output was: $errors"
echo "windows_e2e: without orvanLib.dll orlexmon.exe ends with 3: $errors"
