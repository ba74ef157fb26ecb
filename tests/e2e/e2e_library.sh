#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The library in the real program under Xvfb: two folders added with --add-library, the window in
# library scope, a word typed into the filter box finds files of both folders (the Folder column tells
# them apart), and a click on a result plays it through the test command's sound server; Ctrl+D stars
# it, and the star goes out to a file with --export-tags and comes back in with --import-tags.
# Usage: e2e_library.sh <tonfolio binary>
set -euo pipefail

bin=$(realpath "$1")
source "$(dirname "$0")/e2e.sh"
e2e_need Xvfb xdotool sox pactl
pactl info >/dev/null 2>&1 || { echo "SKIP: no sound server"; exit 77; }

fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$work/c/LIB/Drums/Kicks" "$work/c/LIB/Pads" "$work/c/MORE/Synth Kicks" "$work/c/ELSEWHERE" \
    "$work/home/.config/tonfolio"
sox -n -r 22050 -c 1 -b 16 "$work/c/LIB/Drums/Kicks/Kick Hard.wav" synth 5 sine 60 vol 0.5
sox -n -r 22050 -c 1 -b 16 "$work/c/LIB/Pads/pad.wav" synth 1 sine 220 vol 0.5
sox -n -r 22050 -c 1 -b 16 "$work/c/MORE/Synth Kicks/zap.wav" synth 5 sine 90 vol 0.5
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export TONFOLIO_DRIVES="C=$work/c"
"$bin" --add-library 'C:\LIB' >/dev/null || fail "--add-library C:\\LIB"
"$bin" --add-library "$work/c/MORE" >/dev/null || fail "--add-library of a Linux path"
# Details view, library scope, the folder shown holding none of the files.
cat >"$work/home/.config/tonfolio/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Varnholt\Tonfolio]
"LastDir"="C:\\ELSEWHERE\\"
"DisplayFiles"=dword:00000004
"LibraryScope"=dword:00000001
REG

e2e_start_x
e2e_start_app "$work/c/ELSEWHERE" '^Tonfolio - ELSEWHERE$'
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"

streams() { pactl list sink-inputs short 2>/dev/null | grep -c . || true; }
before=$(streams)
# "kick" is in a file's name in one library folder and in a folder's name in the other; pad is neither.
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key ctrl+f
sleep 0.3
xdotool type --delay 50 kick
# The indexer runs at start; the results follow it. The first row plays on a click.
played=""
for _ in $(seq 60); do
    xdotool mousemove $((X + 260)) $((Y + 82)) click 1
    sleep 0.4
    if [ "$(streams)" -gt "$before" ]; then
        played=yes
        break
    fi
done
[ -n "$played" ] || fail "no library result played"
xdotool mousemove $((X + 260)) $((Y + 82)) click 3
# Ctrl+D stars the result played.
xdotool key ctrl+d
sleep 0.5
# The settings keep the scope.
e2e_close_with_alt_f4
grep -qxF '"LibraryScope"=dword:00000001' "$work/home/.config/tonfolio/settings.reg" || fail "scope not stored"
# Both folders were indexed by the window, the word found in either.
found=$("$bin" --find kick)
grep -q 'Kick Hard.wav$' <<<"$found" || fail "--find lacks the kick: $found"
grep -q 'zap.wav$' <<<"$found" || fail "--find lacks the file of the Synth Kicks folder: $found"
grep -q 'pad.wav' <<<"$found" && fail "--find found the pad: $found"
# The star is found by fav:, and moves out to a file and back in.
starred=$("$bin" --find fav:)
[ "$(grep -c . <<<"$starred")" = 1 ] && grep -qE '(Kick Hard|zap)\.wav$' <<<"$starred" || fail "--find fav: gave: $starred"
"$bin" --export-tags "$work/marks.csv" >/dev/null || fail "--export-tags"
grep -qF "$starred,1," "$work/marks.csv" || fail "the export lacks the star: $(cat "$work/marks.csv")"
rm -f "$XDG_DATA_HOME/tonfolio/library.sqlite"*
printf '"%s",1,"kick, hard",\nno path,1,,\n' "$work/c/LIB/Pads/pad.wav" >>"$work/marks.csv"
status=0
"$bin" --import-tags "$work/marks.csv" >/dev/null 2>"$work/import.err" || status=$?
[ "$status" = 1 ] && grep -q 'marks.csv:4: the path is not absolute' "$work/import.err" \
    || fail "--import-tags said $status: $(cat "$work/import.err")"
"$bin" --add-library "$work/c/LIB" >/dev/null && "$bin" --add-library "$work/c/MORE" >/dev/null \
    && "$bin" --index --no-measures >/dev/null 2>&1 || fail "indexing after the import"
[ "$("$bin" --find fav:)" = "$(printf '%s\n%s' "$starred" "$work/c/LIB/Pads/pad.wav" | LC_ALL=C sort)" ] \
    || fail "after the import fav: gave: $("$bin" --find fav:)"
echo PASS
