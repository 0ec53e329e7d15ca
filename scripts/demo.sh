#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds, creates the demo host store
# and the demo keyword list "orvan.key" beside the program, runs orlexmon over them (in a window
# when there is a display, on Qt's off-screen platform otherwise) and prints the host's report.
# Then shows the keyword-list tester, orlexmon-score, on the bundled samples.
#
#   scripts/demo.sh [release|debug]      (default: release)
set -euo pipefail
cd "$(dirname "$0")/.."
config=${1:-release}
case $config in
  release | debug) ;;
  *) echo "usage: scripts/demo.sh [release|debug]" >&2; exit 2 ;;
esac
scripts/deps.sh
cmake --preset "$config" >/dev/null
cmake --build --preset "$config" --target orlexmon orvan-host orvanLib orlexmon-score >/dev/null
bin=build/$config/bin

# --- The check run over the demo host ------------------------------------------------------------
# The demo store (orvan.sqlite) and keyword list (orvan.key) go beside the program, where the host
# library and the program look for them.
unset ORVAN_STORE
"$bin/orvan-host" demo --force
echo "== Keyword list $bin/orvan.key:"
iconv -f CP932 -t UTF-8 < "$bin/orvan.key" | sed 's/^/    /'
echo "== Before the run (orvan-host report):"
"$bin/orvan-host" report | sed 's/^/    /'
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "== Running orlexmon in a window ..."
else
  echo "== Running orlexmon (no display: on the off-screen platform) ..."
fi
status=0
"$bin/orlexmon" || status=$?
case $status in
  0) echo "   orlexmon ended with 0: every user checked (全ユーザー完了)" ;;
  1) echo "   orlexmon ended with 1: the run did not finish (no keyword, a folder not opened, or closed by the operator)" ;;
  4) echo "   orlexmon ended with 4: a host failure (its line above says which)" ;;
  *) echo "   orlexmon ended with $status" ;;
esac
echo "== After the run (orvan-host report):"
"$bin/orvan-host" report | sed 's/^/    /'
echo

# --- The keyword-list tester ---------------------------------------------------------------------
score=$bin/orlexmon-score
samples=tools/samples
utf8() { iconv -f CP932 -t UTF-8; }

echo "== Keyword list $samples/orvan.key, as written (keyword<TAB>weight):"
utf8 < "$samples/orvan.key" | sed 's/^/    /'
echo "== ... and as loaded (orlexmon-score --keywords: weight<TAB>normalized keyword):"
"$score" --keywords "$samples/orvan.key" | utf8 | sed 's/^/    /'
for text in "$samples"/*.txt; do
  echo "== Message $text:"
  utf8 < "$text" | sed 's/^/    /'
  echo "   normalized:"
  "$score" --normalize "$text" | utf8 | sed 's/^/    /'
  printf '   hits<TAB>points<TAB>file: '
  "$score" "$samples/orvan.key" "$text"
done
