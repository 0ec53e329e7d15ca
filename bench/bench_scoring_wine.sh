#!/usr/bin/env bash
# The scoring benchmark of the Linux build and of the Windows build under Wine, over the very same
# corpus, side by side: how much of the scoring core's speed the Windows build keeps. Only our own
# implementation is run (the reference and grep are Linux's business); each side runs REPEAT
# times (default 3), in turns, and the best throughput of each counts, so that load from other
# work on the machine weighs as little as it can.
#
#   bench/bench_scoring_wine.sh [LINUX_BUILD [WINDOWS_BUILD]]   (default: build/release build/windows)
#
# Prints, per benchmark, MB/s on Linux, MB/s under Wine and Wine / Linux, then the geometric mean
# of the ratios of each kind of benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build/release}/bin/bench_scoring
windows=${2:-build/windows}/bin/bench_scoring.exe
repeat=${REPEAT:-3}
for program in "$linux" "$windows"; do
  [ -x "$program" ] || { echo "bench_scoring_wine: no $program (build bench_scoring)" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The corpus, by bench_scoring's own pipeline, once for both.
for f in /usr/share/man/ja/man*/*.gz; do zcat "$f"; done 2>/dev/null |
  grep -v "^[.']" | sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' | iconv -c -f UTF-8 -t CP932 \
  > "$work/corpus"
windows_work="Z:${work//\//\\}"  # the same directory as Wine names it

filter='/orlexmon/'
for run in $(seq "$repeat"); do
  echo "run $run of $repeat: Linux, then Wine (load average: $(cut -d' ' -f1-3 /proc/loadavg))" >&2
  BENCH_SCORING_CORPUS=$work/corpus "$linux" --benchmark_filter="$filter" \
      --benchmark_out="$work/linux-$run.json" --benchmark_out_format=json >/dev/null
  BENCH_SCORING_CORPUS="$windows_work\\corpus" cmake/wine-run.sh "$windows" \
      --benchmark_filter="$filter" --benchmark_out="$windows_work\\windows-$run.json" \
      --benchmark_out_format=json >/dev/null
done

# Each benchmark's "name" and then its "bytes_per_second", one a line: the best of each side.
awk '
  FNR == 1 { side = FILENAME ~ /windows-/ ? "wine" : "linux" }
  /"name":/ { name = $0; sub(/.*"name": *"/, "", name); sub(/".*/, "", name) }
  /"bytes_per_second":/ {
    rate = $0; sub(/.*: */, "", rate); sub(/,.*/, "", rate); rate += 0
    if (rate > best[side, name]) best[side, name] = rate
    names[name] = 1
  }
  END {
    for (name in names) {
      if (best["linux", name] > 0 && best["wine", name] > 0) {
        print name, best["linux", name], best["wine", name]
      }
    }
  }' "$work"/linux-*.json "$work"/windows-*.json | sort -V |
awk '
  BEGIN { printf "%-36s %12s %12s %10s\n", "benchmark", "Linux MB/s", "Wine MB/s", "Wine/Linux" }
  {
    printf "%-36s %12.1f %12.1f %10.2f\n", $1, $2 / 1e6, $3 / 1e6, $3 / $2
    kind = $1; sub(/\/.*/, "", kind)
    if (!(kind in count)) kinds[++k] = kind
    logsum[kind] += log($3 / $2); count[kind]++
    all += log($3 / $2); total++
  }
  END {
    printf "\ngeometric mean of Wine/Linux:\n"
    for (i = 1; i <= k; i++) {
      printf "  %-14s %5.2f  (%d benchmarks)\n", kinds[i], exp(logsum[kinds[i]] / count[kinds[i]]), count[kinds[i]]
    }
    printf "  %-14s %5.2f  (%d benchmarks)\n", "all", exp(all / total), total
  }'
