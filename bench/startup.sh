#!/usr/bin/env bash
# Start-up to the first painted frame: the simulator (bench_startup) against
# two floors, a bare Qt window the size of the sign (bench_startup_bare) and
# the same window drawing one line of text in the compiled-in font
# (bench_startup_text). Each is started afresh N times under its own Xvfb,
# in turn, after one unrecorded warm-up run each. Prints the median and range
# of the wall time and the median peak resident memory of each, the ratios
# to both floors, and, when valgrind is installed, the instructions each one
# executes up to its first frame (callgrind, one run each).
#
#   bench/startup.sh [build-dir] [runs] [earlier-build-dir]
#     (defaults: build, 10). With an earlier build, its bench_startup runs in
#     the same rounds, so that the two versions are compared under the same
#     load. INSTRUCTIONS=0 skips callgrind.
set -euo pipefail

build=${1:-build}
runs=${2:-10}
earlier=${3:-}
names=(bare text program)
declare -A binary=(
  [bare]="$build/bench/bench_startup_bare"
  [text]="$build/bench/bench_startup_text"
  [program]="$build/bench/bench_startup"
)
declare -A label=([bare]="bare Qt window" [text]="text floor" [program]="Pendralumovista" [earlier]="earlier build")
if [ -n "$earlier" ]; then
  names+=(earlier)
  binary[earlier]="$earlier/bench/bench_startup"
fi
for name in "${names[@]}"; do
  [ -x "${binary[$name]}" ] || {
    echo "missing ${binary[$name]}: cmake --build <dir> --target bench_startup bench_startup_bare bench_startup_text" >&2
    exit 2
  }
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

# One run: prints the milliseconds from launch to the first frame and the
# peak resident memory in MiB.
measure() {
  local output
  output=$("$1" "$EPOCHREALTIME") || { echo "$1 failed" >&2; exit 1; }
  set -- $output
  [ "$1" = launch ] && [ "$5" = rss ] || { echo "unexpected output: $output" >&2; exit 1; }
  echo "$2 $6"
}

# Median, lowest and highest of the numbers in a column.
summary() {
  cut -d' ' -f"$1" | sort -n | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.1f %.1f %.1f\n", m, v[1], v[NR] }'
}

for name in "${names[@]}"; do
  measure "${binary[$name]}" >/dev/null
  : >"$scratch/$name"
done
for _ in $(seq "$runs"); do
  for name in "${names[@]}"; do
    measure "${binary[$name]}" >>"$scratch/$name"
  done
done

declare -A wall rss
echo "launch to first painted frame, $runs runs each, Xvfb $DISPLAY"
for name in "${names[@]}"; do
  read -r median low high < <(summary 1 <"$scratch/$name")
  read -r memory _ _ < <(summary 2 <"$scratch/$name")
  wall[$name]=$median
  rss[$name]=$memory
  printf "  %-16s median %6.1f ms  (%.1f .. %.1f)  peak RSS %.1f MiB\n" \
    "${label[$name]}:" "$median" "$low" "$high" "$memory"
done
for name in program ${earlier:+earlier}; do
  awk -v n="${label[$name]}" -v p="${wall[$name]}" -v b="${wall[bare]}" -v t="${wall[text]}" \
      -v pm="${rss[$name]}" -v tm="${rss[text]}" 'BEGIN {
    printf "  %s: wall %.2f x the bare window, %.2f x the text floor (%+.1f ms); RSS %+.1f MiB over the text floor\n",
      n, p / b, p / t, p - t, pm - tm }'
done

[ "${INSTRUCTIONS:-1}" != 0 ] && command -v valgrind >/dev/null || exit 0
# Instructions from the first one of the process to the first frame on the
# screen, counted by callgrind, which writes its counts up to the probe's
# marker function into a file of its own (".1"); what runs after the first
# frame and on the way out is not counted. One run each: the count hardly
# varies from run to run.
declare -A instructions
echo "instructions to first painted frame (valgrind --tool=callgrind)"
for name in "${names[@]}"; do
  out="$scratch/callgrind.$name"
  valgrind --tool=callgrind --dump-before=pendralumovista_first_frame --callgrind-out-file="$out" \
    "${binary[$name]}" >/dev/null 2>"$scratch/valgrind.log" || { cat "$scratch/valgrind.log" >&2; exit 1; }
  [ -s "$out.1" ] || { echo "callgrind found no first frame in ${binary[$name]}" >&2; exit 1; }
  instructions[$name]=$(awk '/^(summary|totals):/ { print $2; exit }' "$out.1")
  awk -v n="${label[$name]}:" -v i="${instructions[$name]}" 'BEGIN { printf "  %-16s %7.1f M\n", n, i / 1e6 }'
done
for name in program ${earlier:+earlier}; do
  awk -v n="${label[$name]}" -v p="${instructions[$name]}" -v b="${instructions[bare]}" -v t="${instructions[text]}" \
    'BEGIN { printf "  %s: %.2f x the bare window, %.2f x the text floor\n", n, p / b, p / t }'
done
