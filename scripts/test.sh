#!/usr/bin/env bash
# Builds everything with address and undefined-behaviour sanitizers; builds the libFuzzer targets
# with clang and runs each for FUZZ_SECONDS (default 30; 0 skips); then runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"

fuzz_seconds=${FUZZ_SECONDS:-30}
if [ "$fuzz_seconds" -gt 0 ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs" --target fuzz_normalize fuzz_keyword_file fuzz_score
  for target in fuzz_normalize fuzz_keyword_file fuzz_score; do
    corpus=$(mktemp -d)
    echo "fuzzing $target for ${fuzz_seconds}s"
    (cd "$corpus" && "$OLDPWD/build/fuzz/bin/$target" -max_total_time="$fuzz_seconds" \
        -max_len=16384 -rss_limit_mb=4096 -print_final_stats=0 "$corpus" 2>"$corpus.log") || {
      tail -n 40 "$corpus.log"; echo "fuzz target $target failed" >&2; exit 1; }
    grep -E '^Done [0-9]+ runs' "$corpus.log" || true
    rm -rf "$corpus" "$corpus.log"
  done
fi

ctest --preset debug -j "$jobs"
