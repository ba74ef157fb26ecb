#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real tonfolio under Xvfb on a temporary drive C:, drags a wave's icon from the list onto
# a folder of the tree with xdotool and checks that the file moved there; then drags another with
# Ctrl held and checks that it was copied. Then, started again on two folders whose names differ only
# in case, it deletes the wave listed in each and checks that each time that folder's file, and not
# its namesake in the other folder, went to the trash.
# Usage: e2e_drag.sh <tonfolio binary>
set -euo pipefail

bin=$(realpath "$1")
source "$(dirname "$0")/e2e.sh"
e2e_need Xvfb xdotool


fail() { echo "FAIL: $*"; find "$work/c" | sort; exit 1; }

# A short PCM wave: 8 kHz, 8 bit, mono, 8 samples.
wav() { printf 'RIFF\054\000\000\000WAVEfmt \020\000\000\000\001\000\001\000\100\037\000\000\100\037\000\000\001\000\010\000data\010\000\000\000\200\200\200\200\200\200\200\200' >"$1"; }

# The listed folder SRC sorts after twenty sibling folders that fill the tree below the drive's
# node, so a drop anywhere in the middle of the tree lands on one of them, whatever a row's height.
mkdir -p "$work/c/SRC" "$work/home/.config/tonfolio"
for i in $(seq -w 1 20); do mkdir "$work/c/F$i"; done
wav "$work/c/SRC/bell.wav"
wav "$work/c/SRC/gong.wav"
cat >"$work/home/.config/tonfolio/settings.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Varnholt\Tonfolio]
"LastDir"="C:\\SRC\\"
"DisplayFiles"=dword:00000002
"Left"=dword:00000000
"Top"=dword:00000000
"Height"=dword:00000258
"Width"=dword:00000320
EOF

e2e_start_x

e2e_start_app "$work/c/SRC" '^Tonfolio - '
sleep 1

eval "$(xdotool getwindowgeometry --shell "$wid")"
# Large icons: the first wave's icon sits at the top left of the list, right of the 200 pixel tree.
icon_x=$((X + 250))
icon_y=$((Y + 90))
# The middle of the tree, among the folders.
folder_x=$((X + 60))
folder_y=$((Y + 260))

# Presses on the first icon, moves in steps (so the drag starts) onto the tree and lets go; with
# "ctrl", Ctrl is held from the third step on (held at the press, it would toggle the selection).
drag_first_icon() {
    xdotool mousemove --sync "$icon_x" "$icon_y"
    sleep 0.3
    xdotool mousedown 1
    sleep 0.2
    local step
    for step in 1 2 3 4 5 6 7 8 9 10; do
        [ "$step" = 3 ] && [ "${1:-}" = ctrl ] && xdotool keydown ctrl
        xdotool mousemove $((icon_x - step * (icon_x - folder_x) / 10)) $((icon_y + step * (folder_y - icon_y) / 10))
        sleep 0.1
    done
    sleep 0.3
    xdotool mouseup 1
    [ "${1:-}" = ctrl ] && xdotool keyup ctrl
    sleep 1
}

landed() { find "$work/c"/F* -name "$1" | wc -l; }

# Without Ctrl: the wave moves into the folder under the pointer.
drag_first_icon
[ -e "$work/c/SRC/bell.wav" ] && fail "bell.wav is still in the listed folder after the move"
[ "$(landed bell.wav)" = 1 ] || fail "bell.wav did not arrive in one folder"

# With Ctrl held: the next wave (now the first icon) is copied and stays.
drag_first_icon ctrl
[ -e "$work/c/SRC/gong.wav" ] || fail "gong.wav left the listed folder on a copy"
[ "$(landed gong.wav)" = 1 ] || fail "gong.wav was not copied into one folder"
cmp -s "$work/c/SRC/gong.wav" "$(find "$work/c"/F* -name gong.wav)" || fail "the copy differs"

# Music and music are two folders, each with its own a.wav; the tree shows Music first.
kill "$app_pid"
wait "$app_pid" 2>/dev/null || true
app_pid=""
rm -rf "$work/c"/*
mkdir -p "$work/c/Music" "$work/c/music"
wav "$work/c/Music/a.wav"
wav "$work/c/music/a.wav"
printf 'only in the lower-case folder' >>"$work/c/music/a.wav"
cp "$work/c/Music/a.wav" "$work/upper.wav"
cp "$work/c/music/a.wav" "$work/lower.wav"
sed -i 's/^"LastDir"=.*/"LastDir"="C:\\\\Music\\\\"/' "$work/home/.config/tonfolio/settings.reg"
e2e_start_app "$work/c" '^Tonfolio - MUSIC$'
sleep 1
eval "$(xdotool getwindowgeometry --shell "$wid")"
trash="$work/home/.local/share/Trash/files"
in_trash() { for f in "$trash"/*; do cmp -s "$f" "$1" && return 0; done; return 1; }

# The tree lists C:, Music and music, one row each below the toolbar: a click on a folder's row
# selects it (C: first, as a click on the selected row would edit its name). Tab enters the list,
# which selects its first row; Delete asks, Return answers Yes.
delete_wave_of_row() {
    xdotool mousemove --sync $((X + 80)) $((Y + 63)) click 1
    sleep 1
    xdotool mousemove --sync $((X + 80)) $((Y + $1)) click 1
    sleep 1
    xdotool key Tab
    sleep 0.5
    xdotool key Delete
    sleep 1
    xdotool key Return
    sleep 1
}

delete_wave_of_row 81 # Music
in_trash "$work/upper.wav" || fail "Music/a.wav is not in the trash"
[ -e "$work/c/Music/a.wav" ] && fail "Music/a.wav is still there"
cmp -s "$work/c/music/a.wav" "$work/lower.wav" || fail "music/a.wav was touched"

delete_wave_of_row 99 # music
in_trash "$work/lower.wav" || fail "music/a.wav is not in the trash"
[ -e "$work/c/music/a.wav" ] && fail "music/a.wav is still there"
echo "PASS"
