#!/usr/bin/env bash
# Builds everything with address and undefined-behaviour sanitizers; builds the libFuzzer targets
# with clang and runs each for FUZZ_SECONDS (default 30; 0 skips); builds the Windows programs
# with MinGW-w64 and runs their tests and the end-to-end runs under Wine, and builds the 32-bit
# Windows programs (WINDOWS=0 skips the Windows stage); then runs every Linux test.
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

if [ "${WINDOWS:-1}" != 0 ]; then
  started=$(date +%s)
  scripts/deps.sh --windows
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs"
  # The Wine prefixes (one for programs with windows), made once.
  cmake/wine-run.sh wineboot --init >/dev/null 2>&1 || true
  cmake/wine-run.sh --xvfb wineboot --init >/dev/null 2>&1 || true
  ctest --preset windows -j "$jobs"
  scripts/windows_e2e.sh build/debug build/windows
  # 32-bit Windows: compiled and linked only (this machine runs no 32-bit programs).
  cmake --preset windows-x86 >/dev/null
  cmake --build --preset windows-x86 -j "$jobs"
  echo "Windows stage: $(($(date +%s) - started)) s"
fi

ctest --preset debug -j "$jobs"
