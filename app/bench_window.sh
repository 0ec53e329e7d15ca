#!/usr/bin/env bash
# What the window costs: the whole program orlexmon over the benchmark store of the check run
# (100,000 messages, made by bench_run into its --dir), against the headless orlexmon-run over the
# same store. Each measured run starts from an unscored store; the modes take turns so that load
# from elsewhere hits them alike, and each mode's median over REPEAT runs is reported, both as
# elapsed time and as processor time (user + system, the X server's share included), which other
# work on a shared machine disturbs far less.
#
#   app/bench_window.sh [BUILD_DIR] [REPEAT]     (defaults: build/release, 5)
#
# Modes: headless (orlexmon-run), window on Qt's offscreen platform, and window on an X server
# (Xvfb) when one can be started.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
repeat=${2:-5}
bench_dir=${ORLEXMON_BENCH_DIR:-/tmp/orlexmon-bench}

for program in orlexmon orlexmon-run orvan-host liborvanLib.so bench_run; do
  [ -e "$build/bin/$program" ] || { echo "bench_window: $build/bin/$program is missing" >&2; exit 2; }
done
if [ ! -e "$bench_dir/orvan.sqlite" ]; then
  "$build/bin/bench_run" --dir "$bench_dir" --repeat 1 >/dev/null
fi

work=$(mktemp -d /tmp/orlexmon-bench-window.XXXXXX)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp "$build"/bin/{orlexmon,orlexmon-run,orvan-host,liborvanLib.so} "$work/"
cp "$bench_dir/orvan.key" "$bench_dir/orvan.sqlite" "$work/"
export ORVAN_STORE="$work/orvan.sqlite"

modes=(headless offscreen)
if command -v Xvfb >/dev/null; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
  done
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
  kill -0 "$xvfb_pid" 2>/dev/null && modes+=(xvfb)
fi

# Runs one mode under /usr/bin/time; prints "elapsed cpu" in seconds.
run_mode() {
  local timing="$work/time.txt"
  local command
  case $1 in
    headless) command=("$work/orlexmon-run" --quiet) ;;
    offscreen) command=(env -u DISPLAY -u WAYLAND_DISPLAY "$work/orlexmon") ;;
    xvfb) command=(env -u WAYLAND_DISPLAY DISPLAY="$display" "$work/orlexmon") ;;
  esac
  local x_before=0 x_after=0
  [ "$1" = xvfb ] && x_before=$(x_ticks)
  /usr/bin/time -o "$timing" -f '%e %U %S' "${command[@]}" 2>/dev/null ||
    { echo "bench_window: $1 run failed" >&2; exit 1; }
  [ "$1" = xvfb ] && x_after=$(x_ticks)
  awk -v x="$(( x_after - x_before ))" -v hz="$(getconf CLK_TCK)" \
    '{printf "%s %.3f\n", $1, $2 + $3 + x / hz}' "$timing"
}
# Processor time the X server has used so far, in clock ticks.
x_ticks() { awk '{print $14 + $15}' "/proc/$xvfb_pid/stat"; }

declare -A wall cpu
for ((i = 1; i <= repeat; i++)); do
  for mode in "${modes[@]}"; do
    "$work/orvan-host" reset >/dev/null
    read -r elapsed used < <(run_mode "$mode")
    wall[$mode]+="$elapsed "
    cpu[$mode]+="$used "
  done
done
messages=$("$work/orvan-host" report | awk '{for (i = 1; i < NF; i++) if ($i == "scored") s += $(i + 1)} END {print s}')

median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
base_wall=$(echo "${wall[headless]}" | median)
base_cpu=$(echo "${cpu[headless]}" | median)
echo "$messages messages; median of $repeat runs per mode"
printf '%-10s %9s %11s %9s   %9s %11s %9s\n' mode elapsed "messages/s" "vs head" "cpu" "messages/s" "vs head"
for mode in "${modes[@]}"; do
  w=$(echo "${wall[$mode]}" | median)
  c=$(echo "${cpu[$mode]}" | median)
  printf '%-10s %8.2fs %11.0f %+8.1f%%   %8.2fs %11.0f %+8.1f%%\n' "$mode" \
    "$w" "$(echo "$messages / $w" | bc -l)" "$(echo "($w / $base_wall - 1) * 100" | bc -l)" \
    "$c" "$(echo "$messages / $c" | bc -l)" "$(echo "($c / $base_cpu - 1) * 100" | bc -l)"
done
