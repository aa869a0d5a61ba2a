#!/usr/bin/env bash
# Takes the picture shown at the top of README.md, from the real program
# running under a virtual X server: it loads the example tram line through
# the menu and the file dialog, enters line 7 towards "Waldschänke", steps
# down two stops and photographs the sign and the control unit where they
# opened. The help window is left closed: it opens over the control unit.
#
#   tools/screenshot.sh [BINARY] [OUTPUT]
#     BINARY  the built program (default: build/app/pendralumovista)
#     OUTPUT  the PNG to write   (default: docs/screenshot.png)
#   QT_SCALE_FACTOR=2 tools/screenshot.sh build/app/pendralumovista docs/screenshot-2x.png
#     the same on a screen scaled to 200 % (docs/screenshot-2x.png)
#
# Needs Xvfb, xdotool, xwininfo (x11-utils) and ImageMagick; ./build.sh test
# installs them.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$repo/build/app/pendralumovista}
output=${2:-$repo/docs/screenshot.png}
stops=$repo/examples/linie-7-tram.txt

fail() { echo "screenshot: $*" >&2; exit 1; }

for tool in Xvfb xdotool xwininfo import convert; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
[ -x "$binary" ] || fail "no program at $binary (build it first)"
[ -r "$stops" ] || fail "cannot read $stops"

scratch=$(mktemp -d)
xvfb_pid=
program_pid=
cleanup() {
  if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

# Retries a command every 0.1 s for up to $1 seconds.
wait_for() {
  local seconds=$1; shift
  local tries=$((seconds * 10))
  until "$@"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.1
  done
}

# The windows are placed and clicked in the program's own pixels; the
# screen's device pixels are that many times as many.
scale=${QT_SCALE_FACTOR:-1}
device() { awk -v v="$1" -v s="$scale" 'BEGIN { printf "%d", v * s + 0.5 }'; }
screen_width=$(device 1280) screen_height=$(device 800)

# -displayfd lets the server pick a free display and tell us its number.
Xvfb -displayfd 3 -screen 0 "${screen_width}x${screen_height}x24" -nolisten tcp -noreset 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
wait_for 15 test -s "$scratch/display" || fail "Xvfb did not start: $(cat "$scratch/xvfb.log")"
DISPLAY=:$(head -n 1 "$scratch/display")
export DISPLAY

# A bus address that leads nowhere: the picture is taken of this program,
# never handed over to a simulator already running on the desktop.
QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=disabled: "$binary" >"$scratch/program.log" 2>&1 &
program_pid=$!

# Mapped windows only: Qt's hidden helper windows carry the program's name too.
mapped_window() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
window_exists() { [ -n "$(mapped_window "$1")" ]; }
# "X Y" of a window's top-left corner on the screen.
window_origin() {
  xwininfo -id "$(mapped_window "$1")" | awk '/Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 } END { print x, y }'
}
dialog_open() { [ -n "$(xdotool search --name "^$1\$" 2>/dev/null)" ]; }

wait_for 15 window_exists Pendralumovista || fail "the control unit did not appear: $(cat "$scratch/program.log")"
read -r unit_x unit_y < <(window_origin Pendralumovista)

# The screen pixel at X Y as "r,g,b".
pixel() {
  import -window root -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
    sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p' | head -n 1
}
display_is_painted() {
  local rgb green
  rgb=$(pixel $((unit_x + $(device 80))) $((unit_y + $(device 60))))
  green=${rgb#*,}; green=${green%,*}
  [ -n "$green" ] && [ "$green" -gt 200 ]
}
wait_for 15 display_is_painted || fail "the control unit's display was not painted"

# A click on the control unit, at a point of its picture.
click() {
  xdotool mousemove $((unit_x + $(device "$1"))) $((unit_y + $(device "$2"))) click 1
  sleep 0.3
}
menu_key() { click 61 209; }
soft_key_top() { click 35 66; }
soft_key_middle() { click 35 107; }
soft_key_bottom() { click 35 148; }
down_arrow() { click 334 151; }

# Types into the dialog of that title, which must take the keyboard, and
# confirms it with Return.
answer() {
  local title=$1 text=$2
  wait_for 10 dialog_open "$title" || fail "no dialog \"$title\""
  sleep 0.5
  xdotool type --delay 30 "$text"
  xdotool key Return
  wait_for 10 bash -c "! xwininfo -name '$title' >/dev/null 2>&1" || fail "dialog \"$title\" stayed open"
  sleep 0.3
}

menu_key
soft_key_middle            # "Haltestellensatz laden"
answer "Öffnen" "$stops"
soft_key_top               # "Linie / Ziel"
answer Liniennummer 7
answer Richtung/Ziel "Waldschänke"
menu_key                   # back to the standard view: stop lines, route strip, clock
down_arrow
down_arrow                 # stop 2: the sign shows its name
xdotool mousemove $((screen_width - 1)) $((screen_height - 1)) # the pointer out of the picture
sleep 1.5

# One picture of the whole screen; the two windows are cut out of it and set
# on a plain background at the places where they opened (without a window
# manager nothing moves them), with a margin around the group.
read -r sign_x sign_y < <(window_origin "Pendralumovista – Anzeige")
sign_width=$(device 926) sign_height=$(device 113) unit_width=$(device 516) unit_height=$(device 250)
import -window root "$scratch/root.png"
margin=$(device 16)
left=$((unit_x < sign_x ? unit_x : sign_x))
right=$((sign_x + sign_width))
[ $((unit_x + unit_width)) -gt "$right" ] && right=$((unit_x + unit_width))
width=$((right - left + 2 * margin))
height=$((unit_y + unit_height - sign_y + 2 * margin))
place() { # WIDTH HEIGHT X Y
  printf '%s\n' "(" "$scratch/root.png" -crop "$1x$2+$3+$4" +repage ")" \
    -geometry "+$(($3 - left + margin))+$(($4 - sign_y + margin))" -composite
}
mapfile -t layers < <(
  place "$sign_width" "$sign_height" "$sign_x" "$sign_y"
  place "$unit_width" "$unit_height" "$unit_x" "$unit_y"
)
mkdir -p "$(dirname "$output")"
convert -size "${width}x${height}" xc:'#5c6670' "${layers[@]}" -strip "$output"

# "Schließen" ends the program.
# (An ended child stays a zombie until it is waited for, so kill -0 would
# still find it.)
program_ended() {
  local state
  state=$(ps -o stat= -p "$program_pid" 2>/dev/null) || return 0
  [[ $state == Z* ]]
}
click 300 215
wait_for 10 program_ended || fail "the program did not end on \"Schließen\""
wait "$program_pid" || fail "the program ended with an error: $(cat "$scratch/program.log")"
program_pid=
echo "screenshot: wrote $output"
