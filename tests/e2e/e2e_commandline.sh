#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real tonfolio as a shell or a file manager does: --help and --version without a display,
# a name that does not exist, a folder and a wave file as argument, and a second start that hands its
# file to the running window over the session bus (a private one), or opens its own window without a bus.
# Usage: e2e_commandline.sh <tonfolio binary>
set -euo pipefail

bin=$(realpath "$1")
# A private session bus: no window of the desktop the tests run in can take the handed-over names.
if [ -z "${TONFOLIO_E2E_PRIVATE_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null || { echo "SKIP: dbus-run-session missing"; exit 77; }
    TONFOLIO_E2E_PRIVATE_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
source "$(dirname "$0")/e2e.sh"
e2e_need Xvfb xdotool

settings="$work/home/.config/tonfolio/settings.reg"
fail() { echo "FAIL: $*"; [ -f "$work/err" ] && cat "$work/err"; exit 1; }

# --help and --version print and end without a display.
text_only() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 10 "$bin" "$@" 2>&1; }
for option in --version -v; do
    out=$(text_only "$option") || fail "$option ended with status $?: $out"
    [[ $out =~ ^Tonfolio\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$option printed: $out"
done
out=$(text_only --help) || fail "--help ended with status $?: $out"
grep -q '^Usage: .*\[PATH\]' <<<"$out" && grep -q -- '--play' <<<"$out" || fail "--help printed: $out"

# A short PCM wave: 8 kHz, 8 bit, mono, 8 samples.
wav() { printf 'RIFF\054\000\000\000WAVEfmt \020\000\000\000\001\000\001\000\100\037\000\000\100\037\000\000\001\000\010\000data\010\000\000\000\200\200\200\200\200\200\200\200' >"$1"; }
mkdir -p "$work/c/SOUNDS/DRUMS" "$work/home/.config"
wav "$work/c/SOUNDS/DRUMS/kick.wav"
if command -v sox >/dev/null; then
    sox -n -r 22050 -c 1 -b 16 "$work/c/SOUNDS/Bell.WAV" synth 3 sine 440 vol 0.5
else
    wav "$work/c/SOUNDS/Bell.WAV"
fi

e2e_start_x
app_env=(env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
         TONFOLIO_DRIVES="C=$work/c" QT_QPA_PLATFORM=xcb)
windows() { xdotool search --onlyvisible --name '^Tonfolio' 2>/dev/null | grep -c . || true; }
title() { xdotool getwindowname "$1" 2>/dev/null || true; }
wait_title() {
    for _ in $(seq 100); do [ "$(title "$1")" = "$2" ] && return 0; sleep 0.1; done
    fail "window title is '$(title "$1")', expected '$2'"
}
streams() { pactl list sink-inputs short 2>/dev/null | grep -c . || true; }
sound=0
pactl info >/dev/null 2>&1 && sound=1

# A name that does not exist: a message, and the usual start in the current folder.
e2e_start_app "$work/c/SOUNDS/DRUMS" '^Tonfolio - DRUMS$' missing.wav 2>"$work/err"
grep -q 'missing.wav: no such file or folder' "$work/err" || fail "no message about missing.wav"

# A second start with a wave file (relative to its own folder) hands it to the running window and ends;
# with --play the window plays it.
before=$(streams)
(cd "$work/c/SOUNDS/DRUMS" && exec "${app_env[@]}" timeout 20 "$bin" --play ../Bell.WAV) \
    || fail "the second start ended with status $?"
wait_title "$wid" "Tonfolio - SOUNDS"
[ "$(windows)" = 1 ] || fail "$(windows) windows after the hand-over, expected 1"
if [ "$sound" = 1 ]; then
    for _ in $(seq 50); do [ "$(streams)" -gt "$before" ] && break; sleep 0.1; done
    [ "$(streams)" -gt "$before" ] || fail "the handed-over wave was not played"
fi

# While a dialog of the window is open, a handed-over folder waits for it to close.
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key F1
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Info$' >/dev/null 2>&1 && break; sleep 0.1; done
about=$(xdotool search --onlyvisible --name '^Info$' 2>/dev/null | head -1) || true
[ -n "$about" ] || fail "F1 showed no about box"
(cd "$work" && exec "${app_env[@]}" timeout 20 "$bin" c/SOUNDS/DRUMS) &
handing=$!
sleep 1
[ "$(title "$wid")" = "Tonfolio - SOUNDS" ] || fail "the folder changed under the open about box"
xdotool windowfocus --sync "$about" 2>/dev/null || true
xdotool key Escape
wait "$handing" || fail "the start that waited for the about box ended with status $?"
wait_title "$wid" "Tonfolio - DRUMS"
e2e_close_with_alt_f4
grep -qxF '"LastDir"="C:\\SOUNDS\\DRUMS\\"' "$settings" || fail "the handed-over folder was not the window's: $(cat "$settings")"

# A folder as argument wins over the stored last folder.
e2e_start_app "$work" '^Tonfolio - SOUNDS$' "$work/c/SOUNDS"
first_pid=$app_pid first_wid=$wid
trap 'kill "$first_pid" 2>/dev/null || true; e2e_cleanup' EXIT
# Without a session bus each start is its own window; a name that is not UTF-8 is taken as its bytes.
latin1=$(printf 'caf\351.wav')
cp "$work/c/SOUNDS/Bell.WAV" "$work/c/SOUNDS/DRUMS/$latin1"
before=$(streams)
DBUS_SESSION_BUS_ADDRESS=disabled: e2e_start_app "$work" '^Tonfolio - DRUMS$' --play "c/SOUNDS/DRUMS/$latin1"
[ "$(windows)" = 2 ] || fail "$(windows) windows without a session bus, expected 2"
if [ "$sound" = 1 ]; then
    for _ in $(seq 50); do [ "$(streams)" -gt "$before" ] && break; sleep 0.1; done
    [ "$(streams)" -gt "$before" ] || fail "the wave with a Latin-1 name was not played"
fi
[ "$(title "$first_wid")" = "Tonfolio - SOUNDS" ] || fail "the first window changed to '$(title "$first_wid")'"
kill "$app_pid"; wait "$app_pid" 2>/dev/null || true

# A window started without an argument while another holds the bus name takes the name over when
# that one ends, and later starts hand their paths to it.
e2e_start_app "$work" '^Tonfolio - DRUMS$'
kill "$first_pid"; wait "$first_pid" 2>/dev/null || true
(cd "$work" && exec "${app_env[@]}" timeout 20 "$bin" 'C:\SOUNDS\Bell.WAV') || fail "the third start ended with status $?"
wait_title "$wid" "Tonfolio - SOUNDS"
[ "$(windows)" = 1 ] || fail "$(windows) windows after the hand-over to the second window, expected 1"

# A folder made after the window read its parent (a sample pack just unpacked) is handed over as a file
# manager's "Open with" does, and shown.
mkdir -p "$work/c/SOUNDS/NEW"
cp "$work/c/SOUNDS/DRUMS/kick.wav" "$work/c/SOUNDS/NEW/"
(cd "$work" && exec "${app_env[@]}" timeout 20 "$bin" c/SOUNDS/NEW) || fail "handing over a new folder ended with status $?"
wait_title "$wid" "Tonfolio - NEW"
# Paths refused end with status 1 and leave the window as it is: a file that is not a wave, a missing one.
echo text >"$work/c/SOUNDS/notes.txt"
for refused in c/SOUNDS/notes.txt c/SOUNDS/gone.wav; do
    status=0
    (cd "$work" && exec "${app_env[@]}" timeout 20 "$bin" "$refused") 2>"$work/err" || status=$?
    [ "$status" = 1 ] || fail "the refused $refused ended with status $status"
    [ "$(title "$wid")" = "Tonfolio - NEW" ] || fail "the refused $refused changed the window to '$(title "$wid")'"
done
[ "$(windows)" = 1 ] || fail "$(windows) windows after the refused paths, expected 1"

# Edit > Show in File Manager asks the desktop's file manager on the session bus to show the file.
/usr/bin/python3 "$(dirname "$0")/buspeers.py" filemanager "$work/shown" >"$work/filemanager" &
filemanager=$!
trap 'kill "$filemanager" 2>/dev/null || true; e2e_cleanup' EXIT
for _ in $(seq 50); do grep -q ready "$work/filemanager" && break; sleep 0.1; done
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key ctrl+f Escape alt+e m # to the list, which selects its first row, then the menu item
for _ in $(seq 50); do [ -s "$work/shown" ] && break; sleep 0.1; done
[ "$(cat "$work/shown" 2>/dev/null)" = "file://$work/c/SOUNDS/NEW/kick.wav" ] \
    || fail "the file manager was asked to show '$(cat "$work/shown" 2>/dev/null)'"
kill "$filemanager"

# A flood of Open calls while the about box is open: every call but the latest is answered at once, and
# closing the box shows the latest alone.
xdotool key F1
for _ in $(seq 50); do xdotool search --onlyvisible --name '^Info$' >/dev/null 2>&1 && break; sleep 0.1; done
about=$(xdotool search --onlyvisible --name '^Info$' 2>/dev/null | head -1) || true
[ -n "$about" ] || fail "F1 showed no about box"
uris=()
for _ in $(seq 2000); do uris+=("file://$work/c/SOUNDS"); done
uris+=("file://$work/c/SOUNDS/DRUMS")
/usr/bin/python3 "$(dirname "$0")/buspeers.py" flood "${uris[@]}" >"$work/flood" &
flood=$!
for _ in $(seq 100); do grep -q '^passed over' "$work/flood" && break; sleep 0.1; done
grep -qx 'passed over 2000' "$work/flood" || fail "the calls passed over were not answered at once: $(cat "$work/flood")"
[ "$(title "$wid")" = "Tonfolio - NEW" ] || fail "the folder changed under the open about box"
xdotool windowfocus --sync "$about" 2>/dev/null || true
xdotool key Escape
wait "$flood" || fail "the flood of calls ended with status $?"
[ "$(tail -n1 "$work/flood")" = shown ] || fail "the latest call was answered: $(tail -n1 "$work/flood")"
wait_title "$wid" "Tonfolio - DRUMS"
echo PASS
