#!/usr/bin/env bash
# Starts the program at each screen scale under its own large Xvfb, takes a
# screenshot of the sign and the control unit as they open, and prints per
# scale what scale_report finds: the dots' sizes and outline widths (one
# value each when every dot looks the same) and the share of the control
# unit's device columns that only repeat their left neighbour.
#
#   bench/scales.sh [build-dir] [scale...]
#     (defaults: build, and 1 1.25 1.5 1.75 2 2.5 3). SHOTS=dir keeps the
#     screenshots there as scale-N.png.
set -euo pipefail

build=${1:-build}
shift || true
scales=("$@")
[ ${#scales[@]} -gt 0 ] || scales=(1 1.25 1.5 1.75 2 2.5 3)
program=$build/app/pendralumovista
report=$build/bench/scale_report
for file in "$program" "$report"; do
  [ -x "$file" ] || { echo "missing $file: cmake --build $build --target pendralumovista scale_report" >&2; exit 2; }
done
for tool in Xvfb xwininfo xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

scratch=$(mktemp -d)
xvfb_pid= program_pid=
stop() {
  local pid
  for pid in $program_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  program_pid= xvfb_pid=
}
trap 'stop; rm -rf "$scratch"' EXIT

sign="Pendralumovista – Anzeige" unit=Pendralumovista
# "X Y W H" of a mapped window, in device pixels. Mapped only: Qt's hidden
# helper windows carry the program's name, the control unit's title, too.
window_rect() {
  local id
  id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
  [ -n "$id" ] || return 1
  xwininfo -id "$id" 2>/dev/null | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
    /Width:/ { w = $2 } /Height:/ { h = $2 } END { if (w) print x, y, w, h; else exit 1 }'
}

for scale in "${scales[@]}"; do
  : >"$scratch/display"
  # -displayfd: the server picks a free display and writes its number.
  Xvfb -displayfd 3 -screen 0 3840x2160x24 -nolisten tcp -noreset 3>"$scratch/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$scratch/display")"
  # Without the session bus: on the desktop's, a simulator already running
  # would take the start over and this one would end at once.
  XDG_RUNTIME_DIR=$scratch QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale DBUS_SESSION_BUS_ADDRESS=disabled: \
    "$program" >/dev/null 2>&1 &
  program_pid=$!
  for _ in $(seq 100); do window_rect "$sign" >/dev/null && window_rect "$unit" >/dev/null && break; sleep 0.1; done
  if ! window_rect "$sign" >/dev/null || ! window_rect "$unit" >/dev/null; then
    echo "scale $scale: the program did not open its windows" >&2
    exit 1
  fi
  # Both windows are painted well within this; nothing changes on them
  # afterwards but the hidden clock.
  sleep 2
  shot=$scratch/scale-$scale.png
  import -window root "$shot"
  echo "scale $scale:"
  "$report" "$shot" $(window_rect "$sign") $(window_rect "$unit")
  [ -n "${SHOTS:-}" ] && mkdir -p "$SHOTS" && cp "$shot" "$SHOTS/"
  stop
done
