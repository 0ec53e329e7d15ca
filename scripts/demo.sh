#!/usr/bin/env bash
# The main job on a fresh machine: installs what is missing, builds, and runs. For now that is the
# keyword-list tester, orlexmon-score, on the bundled sample keyword list and messages
# (tools/samples, code page 932); texts are shown converted to UTF-8 so that they can be read.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target orlexmon-score >/dev/null

# --- The keyword-list tester ---------------------------------------------------------------------
score=build/release/bin/orlexmon-score
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
