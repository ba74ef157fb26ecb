#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real tonfolio in a window 640 pixels wide, used as a screen reader user does: through the
# accessibility bus (AT-SPI) for the toolbar and the slider, and the keyboard for the filter box and a
# rename; a header click orders the rows. What the window shows is read back through the same bus.
# Usage: e2e_access.sh <tonfolio binary>
set -euo pipefail

bin=$(realpath "$1")
# A private session bus, which carries the accessibility bus's address.
if [ -z "${TONFOLIO_E2E_PRIVATE_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null || { echo "SKIP: dbus-run-session missing"; exit 77; }
    TONFOLIO_E2E_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/e2e.sh"
e2e_need Xvfb xdotool sox
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "SKIP: at-spi-bus-launcher missing"; exit 77; }
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "SKIP: python3-pyatspi missing"; exit 77; }
reader() { /usr/bin/python3 "$(dirname "$0")/accessreader.py" "$@"; }

fail() { echo "FAIL: $*"; exit 1; }
expect() { # expect WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"
}

mkdir -p "$work/c/SOUNDS" "$work/home/.config/tonfolio"
seconds=1
for name in "Café Kick.wav" "kick 808.wav" "pad.wav" "snare_hit_medium.wav"; do
    sox -n -r 8000 -c 1 -b 8 "$work/c/SOUNDS/$name" synth "$seconds" sine 440 vol 0.1
    seconds=$((seconds + 1))
done
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Varnholt\\Tonfolio]\n"Left"=dword:00000000\n"Top"=dword:00000000\n"Width"=dword:00000280\n"Height"=dword:000001f4\n"PlayLooped"=dword:00000001\n"PreviewVolume"=dword:00000028\n' \
    >"$work/home/.config/tonfolio/settings.reg"

e2e_start_x
"$launcher" --launch-immediately >/dev/null 2>&1 &
bus_launcher=$!
trap 'kill "$bus_launcher" 2>/dev/null || true; e2e_cleanup' EXIT
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
e2e_start_app "$work/c/SOUNDS" '^Tonfolio - SOUNDS$'
reader wait || fail "the window cannot be read through the accessibility bus"

# The slider is named and tells its value.
expect "preview volume" 40 "$(reader value slider 'Preview volume')"

# The view buttons, pressed as a screen reader does, change the view; the one down stays down.
expect "view at start" icons "$(reader view)"
reader press "check box" Details
sleep 0.3
expect "view after Details" details "$(reader view)"
reader press "check box" Details
sleep 0.3
expect "view after Details again" details "$(reader view)"
[[ $(reader state "check box" Details) == *checked* ]] || fail "Details was released"
# The waveform toggle shows the strip; Loop, toggled off, is stored as off.
reader press "check box" Waveform
sleep 0.3
[[ $(reader state filler Waveform) == *showing* ]] || fail "the waveform toggle did not show the strip"
reader press "check box" Loop
sleep 0.3
[[ $(reader state "check box" Loop) != *checked* ]] || fail "Loop stayed down"

# The filter box: reached with Ctrl+F in a window 640 wide, it keeps the focus while words are typed.
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key ctrl+f
xdotool type --delay 40 "kick cafe"
sleep 0.5
[[ $(reader state text Filter) == *focused* ]] || fail "the filter box lost the focus"
expect "rows for 'kick cafe'" "café kick.wav" "$(reader rows)"
expect "count" "1 of 4 shown" "$(reader names label)"
xdotool type --delay 40 " bpm:abc"
sleep 0.5
expect "rows with an unreadable condition" "café kick.wav" "$(reader rows)"
[[ $(reader description text Filter) == *bpm:abc* ]] || fail "the box does not say why bpm:abc is left out"
xdotool key Escape
sleep 0.3
expect "rows after Escape" 4 "$(reader rows | grep -c .)"
expect "count after Escape" "" "$(reader names label)"

# A click on the Length header orders the rows by length, a second click the other way round.
read -r x y < <(reader centre "table column header" Length)
xdotool mousemove "$x" "$y" click 1
sleep 0.3
xdotool mousemove "$x" "$y" click 1
sleep 0.3
expect "rows by length, longest first" "snare_hit_medium.wav|pad.wav|kick 808.wav|café kick.wav" \
    "$(reader rows | paste -sd '|')"

# Rename with F2: the row shows at once the name the file now has. Escape in the empty box goes to the list.
xdotool key Escape
sleep 0.3
xdotool key Home F2
sleep 0.3
xdotool key ctrl+a
xdotool type --delay 40 "Lead pitch A5.wav"
xdotool key Return
sleep 0.5
[ -f "$work/c/SOUNDS/lead pitch a5.wav" ] || fail "the file was not renamed to lower case: $(ls "$work/c/SOUNDS")"
expect "rows after the rename" "lead pitch a5.wav|pad.wav|kick 808.wav|café kick.wav" "$(reader rows | paste -sd '|')"

e2e_close_with_alt_f4
settings=$(cat "$work/home/.config/tonfolio/settings.reg")
grep -q '"PlayLooped"=dword:00000000' <<<"$settings" || fail "Loop toggled off was not stored"
grep -q '"SortColumn"=dword:00000002' <<<"$settings" || fail "the order by length was not stored"
grep -q '"SortDescending"=dword:00000001' <<<"$settings" || fail "the descending order was not stored"
echo PASS
