#!/usr/bin/env bash
# Runs the real program under Valgrind's memcheck on a virtual X server and
# drives a short operator session with xdotool: load a stop data set through
# the file dialog, step with the arrows, call a stop by number, press
# "Endstelle", enter line and destination in the two input boxes, switch
# "Anzeige" off and on, start "Auto" and close with "Schließen". Fails when
# memcheck reports any error (invalid read or write, use of an uninitialised
# value, a definitely lost block) or when the session does not run through.
#
#   valgrind_session.sh PATH_TO_RELEASE_BINARY
#
# Needs Xvfb, xdotool, xwininfo, xclip, valgrind and ImageMagick's import.
# Bounded in time: the whole run is given up after SESSION_TIMEOUT seconds
# (default 360).
set -euo pipefail

binary=${1:?usage: $0 PATH_TO_BINARY}
[ -x "$binary" ] || { echo "not an executable: $binary" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
suppressions="$here/valgrind.supp"
timeout_seconds=${SESSION_TIMEOUT:-360}

for tool in Xvfb xdotool xwininfo xclip valgrind import; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

started=$SECONDS
deadline=$((SECONDS + timeout_seconds))
work=$(mktemp -d)
xvfb_pid=
valgrind_pid=
log=

cleanup() {
    # Only the two processes this script started, by their ids.
    if [ -n "$valgrind_pid" ] && kill -0 "$valgrind_pid" 2>/dev/null; then
        kill -KILL "$valgrind_pid" 2>/dev/null || true
        wait "$valgrind_pid" 2>/dev/null || true
    fi
    if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
        kill -TERM "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "FAIL: $*" >&2
    # With SESSION_ARTIFACTS set, keep a screenshot and the logs there.
    if [ -n "${SESSION_ARTIFACTS:-}" ]; then
        mkdir -p "$SESSION_ARTIFACTS"
        command -v import >/dev/null && [ -n "${DISPLAY:-}" ] &&
            timeout 20 import -window root "$SESSION_ARTIFACTS/screen.png" 2>/dev/null || true
        cp "$work"/*.log "$work"/program.out "$SESSION_ARTIFACTS"/ 2>/dev/null || true
    fi
    if [ -n "$log" ] && [ -s "$log" ]; then
        echo "---- tail of the valgrind log ----" >&2
        tail -n 60 "$log" >&2
    fi
    exit 1
}

step() { echo "[$((SECONDS - started))s] $*"; }

# Polls a command until it succeeds, within `seconds` and the overall deadline.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local until=$((SECONDS + seconds))
    [ "$until" -gt "$deadline" ] && until=$deadline
    while ! "$@" >/dev/null 2>&1; do
        if [ -n "$valgrind_pid" ] && ! kill -0 "$valgrind_pid" 2>/dev/null; then
            fail "the program ended while waiting for $what"
        fi
        [ "$SECONDS" -ge "$until" ] && fail "timed out waiting for $what"
        sleep 0.5
    done
}

# ---- the virtual X server, on a display it picks itself ----
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
display_known() { grep -qE '^[0-9]+$' "$work/display"; }
wait_for 15 "Xvfb to report its display" display_known
export DISPLAY=":$(head -n 1 "$work/display")"
step "Xvfb on $DISPLAY"

# ---- the stop data set, Windows-1252 ----
stops="$work/linie7.txt"
printf 'Hauptbahnhof\r\nM\xfcllerstra\xdfe\r\nAm Markt\r\nRathaus S\xfcd\r\n' >"$stops"

# ---- the program under memcheck ----
# The program must reach the X server, not the offscreen platform that the
# other tests use. The environment keeps library machinery out of the way
# that memcheck cannot judge and that is no part of the program:
#  - no OpenGL integration, so no graphics driver library is loaded;
#  - a session bus address that leads nowhere: without any, the D-Bus
#    library forks a helper to start a bus and waits for it, which under
#    memcheck blocks the program for a minute or more; should anything
#    fork all the same, the child's report is silenced;
#  - no regular-expression JIT (the file dialog's name filters): code
#    generated at run time has no symbols and cannot be suppressed by name.
# Valgrind replaces env in place, so its pid is the program's and the log of
# the program is valgrind.<pid>.log.
env -u QT_QPA_PLATFORM -u ASAN_OPTIONS -u LSAN_OPTIONS \
    QT_XCB_GL_INTEGRATION=none QT_ENABLE_REGEXP_JIT=0 \
    DBUS_SESSION_BUS_ADDRESS=disabled: NO_AT_BRIDGE=1 \
    valgrind --tool=memcheck --error-exitcode=99 \
    --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite \
    --track-origins=yes --num-callers=40 --child-silent-after-fork=yes \
    --suppressions="$suppressions" --log-file="$work/valgrind.%p.log" \
    "$binary" >"$work/program.out" 2>&1 &
valgrind_pid=$!
log="$work/valgrind.$valgrind_pid.log"
step "valgrind started (pid $valgrind_pid)"

# The control unit is the mapped window with the program's name; Qt's hidden
# helper windows carry that name too.
control_unit() { xdotool search --onlyvisible --name '^Pendralumovista$' 2>/dev/null | head -n 1; }
control_unit_mapped() { [ -n "$(control_unit)" ]; }
wait_for 120 "the control unit window" control_unit_mapped
origin_x=$(xwininfo -id "$(control_unit)" | awk '/Absolute upper-left X/ {print $4}')
origin_y=$(xwininfo -id "$(control_unit)" | awk '/Absolute upper-left Y/ {print $4}')
step "control unit at $origin_x,$origin_y"

# A click on a point of the control unit. A second click on the same key
# comes only once the double-click interval (Qt's 400 ms, doubled here) has
# passed, so that two clicks on one key count as two; a click on another
# key need not wait, as the program takes its events in order.
now_ms() { echo $(($(date +%s%N) / 1000000)); }
last_point=
last_click_ms=0
click() {
    local point="$1,$2"
    if [ "$point" = "$last_point" ]; then
        local left=$((last_click_ms + 800 - $(now_ms)))
        [ "$left" -gt 0 ] && sleep "$(printf '%d.%03d' $((left / 1000)) $((left % 1000)))"
    fi
    xdotool mousemove $((origin_x + $1)) $((origin_y + $2)) click 1
    last_point=$point
    last_click_ms=$(now_ms)
}
menu() { click 61 209; }
soft_top() { click 35 66; }
soft_middle() { click 35 107; }
arrow_up() { click 332 72; }
arrow_down() { click 334 151; }
key_c() { click 385 168; }
key_1() { click 385 45; }
key_m() { click 466 168; }
terminus() { click 240 209; }
display_switch() { click 121 209; }
auto_key() { click 180 209; }
close_key() { click 300 215; }

dialog_open() { xdotool search --name "^$1\$"; }
dialog_gone() { ! xdotool search --name "^$1\$"; }
has_focus() { [ "$(xdotool getwindowfocus getwindowname)" = "$1" ]; }

# Types into the modal dialog with this title once it is up and has the
# keyboard focus, confirms with Return and waits until it has gone.
# True once the dialog has gone, false if it is still there after `seconds`.
wait_gone() {
    local seconds=$1 title=$2 until=$((SECONDS + $1))
    while ! dialog_gone "$title" >/dev/null 2>&1; do
        [ "$SECONDS" -ge "$until" ] && return 1
        [ "$SECONDS" -ge "$deadline" ] && fail "out of time waiting for the dialog \"$title\" to close"
        sleep 0.5
    done
}

# After it, the command given (a state the dialog's answer brings about,
# polled), or with none a fixed pause.
answer_dialog() {
    local title=$1 text=$2
    shift 2
    wait_for 90 "the dialog \"$title\"" dialog_open "$title"
    wait_for 60 "the dialog \"$title\" to take the keyboard focus" has_focus "$title"
    sleep 2 # the slowed-down program puts the focus into the edit field last
    xdotool type --delay 60 "$text"
    sleep 1
    xdotool key Return
    # The file dialog may have opened its completion list for the typed
    # path; the first Return then only takes the completion, so press it
    # again while the dialog is still there.
    local tries=0
    until wait_gone 20 "$title"; do
        tries=$((tries + 1))
        [ "$tries" -ge 3 ] && fail "timed out waiting for the dialog \"$title\" to close"
        xdotool key Return
    done
    # The window goes before the modal loop has returned; a click that came
    # in between would be refused by the still-blocked control unit. A state
    # that only the program's handling of the answer brings about, after
    # the modal loop, shows that it has returned; where there is none to
    # see, a pause.
    if [ $# -gt 0 ]; then
        wait_for 60 "$* after the dialog \"$title\"" "$@"
    else
        sleep 5
    fi
}

clipboard_is() { [ "$(timeout 20 xclip -o -selection clipboard -t UTF8_STRING)" = "$1" ]; }
expect_clipboard() { wait_for 60 "the clipboard to read \"$1\"" clipboard_is "$1"; }

# The first key once the program has painted its control unit: the lime of
# its display (ImageMagick's import reads the pixel).
pixel_green() {
    import -window root -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\2/p' | head -n 1
}
display_painted() {
    local green
    green=$(pixel_green $((origin_x + 80)) $((origin_y + 60)))
    [ -n "$green" ] && [ "$green" -gt 200 ]
}
wait_for 120 "the control unit's display to be painted" display_painted

# Some dot of the sign lit (the sign window at its place, as the end-to-end
# test checks it): dark while line and destination are typed, lit once the
# program has taken them.
sign_lit() {
    [ "$(import -window root -crop 926x113+57+0 +repage -depth 8 txt:- 2>/dev/null | grep -c '#00FF00')" -gt 0 ]
}

step "menu, load the stop data set"
menu
soft_middle
answer_dialog "Öffnen" "$stops"
menu

step "two stops down"
arrow_down
arrow_down
expect_clipboard "nächste Haltestelle: Am Markt"

step "stop number 1"
key_c
key_1
key_m
expect_clipboard "nächste Haltestelle: Müllerstraße"

step "Endstelle"
terminus
expect_clipboard "nächste Haltestelle: Rathaus Süd"

step "line and destination"
menu
soft_top
answer_dialog Liniennummer 7 dialog_open Richtung/Ziel
answer_dialog Richtung/Ziel "Hauptbahnhof Nord Ausstieg" sign_lit
menu

step "Anzeige off and on, then a stop up"
display_switch
display_switch
arrow_up
# Only announced when the display switch is on again.
expect_clipboard "nächste Haltestelle: Am Markt"

step "Auto on, then Schließen"
auto_key
close_key

step "waiting for valgrind to finish"
while kill -0 "$valgrind_pid" 2>/dev/null; do
    [ "$SECONDS" -ge "$deadline" ] && fail "the program did not end after Schließen"
    sleep 1
done
set +e
wait "$valgrind_pid"
status=$?
set -e
valgrind_pid=
step "valgrind exited with $status"

[ -s "$log" ] || fail "valgrind wrote no log"
echo "---- valgrind summary ----"
sed -n '/HEAP SUMMARY/,$p' "$log" | sed 's/^==[0-9]*== //'

[ "$status" -eq 0 ] || fail "valgrind exit status $status (99: memcheck found errors)"
grep -q 'ERROR SUMMARY: 0 errors' "$log" || fail "memcheck reported errors"
if grep -q 'definitely lost:' "$log"; then
    grep -q 'definitely lost: 0 bytes' "$log" || fail "memory definitely lost"
fi
step "PASS: no memcheck errors, nothing definitely lost"
