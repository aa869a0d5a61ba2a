#!/usr/bin/env bash
# CPU of the simulator with the web sign on and idle: the real program under
# its own Xvfb and session bus, started with --web, measured for S seconds
# with no client and then with N WebSocket clients connected and idle
# (bench_websign --idle, a process of its own). Prints the CPU time the
# simulator used in each span (utime + stime from /proc) and its share of
# one core.
#
#   bench/websign_cpu.sh [build-dir] [clients] [seconds]   (build, 10, 20)
set -euo pipefail

build=${1:-build}
clients=${2:-10}
seconds=${3:-20}
program="$build/app/pendralumovista"
idle="$build/bench/bench_websign"
for binary in "$program" "$idle"; do
  [ -x "$binary" ] || { echo "missing $binary: cmake --build $build --target pendralumovista bench_websign" >&2; exit 2; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; exit 2; }
command -v dbus-run-session >/dev/null || { echo "dbus-run-session is not installed" >&2; exit 2; }

export LC_ALL=C
scratch=$(mktemp -d)
xvfb_pid=
session_pid=
cleanup() {
  [ -s "$scratch/pid" ] && kill "$(cat "$scratch/pid")" 2>/dev/null
  [ -n "$session_pid" ] && wait "$session_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$scratch/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$scratch/display" ] && break
  sleep 0.1
done
[ -s "$scratch/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$scratch/display")"
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$scratch"

# A free port: the kernel's choice for a socket bound to port 0.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# A session bus of its own, so that the program does not hand over to a
# simulator on the desktop of whoever runs this.
dbus-run-session -- sh -c "\"$program\" --web=$port > \"$scratch/out\" 2>&1 & echo \$! > \"$scratch/pid\"; wait" &
session_pid=$!
for _ in $(seq 100); do
  grep -q "Das Schild im Browser" "$scratch/out" 2>/dev/null && break
  sleep 0.1
done
grep -q "Das Schild im Browser" "$scratch/out" || { echo "the web sign did not start:" >&2; cat "$scratch/out" >&2; exit 1; }
pid=$(cat "$scratch/pid")

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
report() { # label ticks
  awk -v label="$1" -v t="$2" -v hz="$hz" -v s="$seconds" \
    'BEGIN { printf "%-28s %7.0f ms CPU in %d s, %.3f %% of one core\n", label, t * 1000 / hz, s, t * 100 / hz / s }'
}

sleep 2
before=$(ticks); sleep "$seconds"; after=$(ticks)
report "web sign on, no client" $((after - before))

"$idle" --idle "$port" "$clients" $((seconds + 4)) > "$scratch/clients" &
idle_pid=$!
sleep 2
before=$(ticks); sleep "$seconds"; after=$(ticks)
wait "$idle_pid" || { echo "the clients did not all connect:" >&2; cat "$scratch/clients" >&2; exit 1; }
report "web sign on, $clients clients idle" $((after - before))
cat "$scratch/clients"
