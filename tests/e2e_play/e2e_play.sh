#!/usr/bin/env bash
# Starts the real tonfolio under Xvfb on a temporary drive C: and checks, on the test command's sound
# server, that a left click on a row starts a stream and a right click ends it.
# Usage: e2e_play.sh <tonfolio binary>
set -euo pipefail

bin=$(realpath "$1")
for tool in Xvfb xdotool sox pactl; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
pactl info >/dev/null 2>&1 || { echo "SKIP: no sound server"; exit 77; }

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/c/SOUNDS" "$work/home/.config"
sox -n -r 22050 -c 1 -b 16 "$work/c/SOUNDS/Tone.WAV" synth 5 sine 440 vol 0.5

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

streams() { pactl list sink-inputs short 2>/dev/null | grep -c . || true; }
# Waits until the number of playing streams satisfies the test in $1 (e.g. "-ge 1").
wait_streams() {
    for _ in $(seq 50); do
        [ "$(streams)" $1 ] && return 0
        sleep 0.1
    done
    return 1
}

(cd "$work/c/SOUNDS" && exec env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TONFOLIO_DRIVES="C=$work/c" \
    QT_QPA_PLATFORM=xcb "$bin") &
app_pid=$!
wid=""
for _ in $(seq 150); do
    wid=$(xdotool search --name '^Tonfolio - SOUNDS$' 2>/dev/null | head -1 || true)
    [ -n "$wid" ] && break
    kill -0 "$app_pid" 2>/dev/null || fail "the program ended at start"
    sleep 0.1
done
[ -n "$wid" ] || fail "no window for the folder"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"
before=$(streams)

# The list starts in large icons; its first icon sits at the top left of the right pane.
xdotool mousemove $((X + 260)) $((Y + 80)) click 1
wait_streams "-gt $before" || fail "a left click on the row started no sound"
xdotool mousemove $((X + 260)) $((Y + 80)) click 3
wait_streams "-le $before" || fail "a right click did not stop the sound"
echo PASS
