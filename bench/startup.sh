#!/usr/bin/env bash
# Start-up to the first painted frame: the simulator (bench_startup) against
# a bare Qt window the size of the sign (bench_startup_bare), each started
# afresh N times under its own Xvfb, alternating, after one unrecorded warm-up
# run each. Prints the median and range of each and the ratio of the medians.
#
#   bench/startup.sh [build-dir] [runs]     (defaults: build, 10)
set -euo pipefail

build=${1:-build}
runs=${2:-10}
program="$build/bench/bench_startup"
bare="$build/bench/bench_startup_bare"
for binary in "$program" "$bare"; do
  [ -x "$binary" ] || { echo "missing $binary: cmake --build $build --target bench_startup bench_startup_bare" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; exit 2; }

# The launch time is passed as seconds with a decimal point.
export LC_ALL=C
scratch=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

# -displayfd: the server picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$scratch/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
[ -s "$scratch/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$scratch/display")"
export QT_QPA_PLATFORM=xcb
# Qt warns on every start without one.
export XDG_RUNTIME_DIR="$scratch"

# One run: prints the milliseconds from launch to the first frame.
measure() {
  local output
  output=$("$1" "$EPOCHREALTIME") || { echo "$1 failed" >&2; exit 1; }
  set -- $output
  [ "$1" = launch ] || { echo "unexpected output: $output" >&2; exit 1; }
  echo "$2"
}

summary() {
  sort -n | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.1f %.1f %.1f\n", m, v[1], v[NR] }'
}

measure "$bare" >/dev/null
measure "$program" >/dev/null
: >"$scratch/bare"
: >"$scratch/program"
for _ in $(seq "$runs"); do
  measure "$bare" >>"$scratch/bare"
  measure "$program" >>"$scratch/program"
done

read -r bare_median bare_min bare_max < <(summary <"$scratch/bare")
read -r program_median program_min program_max < <(summary <"$scratch/program")
echo "launch to first painted frame, $runs runs each, Xvfb $DISPLAY"
printf "  bare Qt window:  median %6.1f ms  (%.1f .. %.1f)\n" "$bare_median" "$bare_min" "$bare_max"
printf "  Pendralumovista: median %6.1f ms  (%.1f .. %.1f)\n" "$program_median" "$program_min" "$program_max"
awk -v p="$program_median" -v b="$bare_median" \
  'BEGIN { printf "  ratio %.2f, our own code %.1f ms\n", p / b, p - b }'
