#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real tonfolio under Xvfb on a temporary drive C: and checks, on the test command's sound
# server, that a left click on a row starts a stream and a right click ends it.
# Usage: e2e_play.sh <tonfolio binary>
set -euo pipefail

bin=$(realpath "$1")
source "$(dirname "$0")/e2e.sh"
e2e_need Xvfb xdotool sox pactl
pactl info >/dev/null 2>&1 || { echo "SKIP: no sound server"; exit 77; }

fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/c/SOUNDS" "$work/home/.config"
sox -n -r 22050 -c 1 -b 16 "$work/c/SOUNDS/Tone.WAV" synth 5 sine 440 vol 0.5

e2e_start_x

streams() { pactl list sink-inputs short 2>/dev/null | grep -c . || true; }
# Waits until the number of playing streams satisfies the test in $1 (e.g. "-ge 1").
wait_streams() {
    for _ in $(seq 50); do
        [ "$(streams)" $1 ] && return 0
        sleep 0.1
    done
    return 1
}

e2e_start_app "$work/c/SOUNDS" '^Tonfolio - SOUNDS$'
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"
before=$(streams)

# The list starts in large icons; its first icon sits at the top left of the right pane.
xdotool mousemove $((X + 260)) $((Y + 80)) click 1
wait_streams "-gt $before" || fail "a left click on the row started no sound"
xdotool mousemove $((X + 260)) $((Y + 80)) click 3
wait_streams "-le $before" || fail "a right click did not stop the sound"
echo PASS
