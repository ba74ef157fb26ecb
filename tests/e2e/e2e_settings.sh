#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the real tonfolio under Xvfb on a temporary drive C: and settings folder, closes it with
# Alt+F4 and checks what it stored; then starts it again with other values and checks they were applied.
# Usage: e2e_settings.sh <tonfolio binary>
set -euo pipefail

bin=$(realpath "$1")
source "$(dirname "$0")/e2e.sh"
e2e_need Xvfb xdotool

fail() { echo "FAIL: $*"; [ -f "$settings" ] && cat "$settings"; exit 1; }

# A short PCM wave: 8 kHz, 8 bit, mono, 8 samples.
wav() { printf 'RIFF\054\000\000\000WAVEfmt \020\000\000\000\001\000\001\000\100\037\000\000\100\037\000\000\001\000\010\000data\010\000\000\000\200\200\200\200\200\200\200\200' >"$1"; }
mkdir -p "$work/c/SOUNDS/DRUMS" "$work/home/.config"
wav "$work/c/SOUNDS/Bell.WAV"
wav "$work/c/SOUNDS/DRUMS/kick.wav"
settings="$work/home/.config/tonfolio/settings.reg"

e2e_start_x

start() { e2e_start_app "$1" "^$2\$"; }


expect_line() { grep -qxF -- "$1" "$settings" || fail "settings lack the line $1"; }

# First start: no settings; the folder the program was started in is selected.
start "$work/c/SOUNDS" "Tonfolio - SOUNDS"
e2e_close_with_alt_f4
[ -f "$settings" ] || fail "no settings file"
expect_line 'REGEDIT4'
expect_line '[HKEY_CURRENT_USER\Software\Varnholt\Tonfolio]'
expect_line '"PlayLooped"=dword:00000000'
expect_line '"LastDir"="C:\\SOUNDS\\"'
expect_line '"DisplayFiles"=dword:00000002'
expect_line '"PlaySingle"=dword:00000001'
expect_line '"Left"=dword:000000ca'
expect_line '"Top"=dword:0000006c'
expect_line '"Height"=dword:00000237'
expect_line '"Width"=dword:00000339'

# Second start with other values: they are applied and come back on close.
cat >"$settings" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Varnholt\Tonfolio]
"PlayLooped"=dword:00000001
"LastDir"="C:\\SOUNDS\\DRUMS\\"
"DisplayFiles"=dword:00000004
"PlaySingle"=dword:00000000
"Left"=dword:00000032
"Top"=dword:0000003c
"Height"=dword:000001f4
"Width"=dword:000002bc
EOF
start "$work" "Tonfolio - DRUMS"
geometry=$(xdotool getwindowgeometry "$wid")
grep -q 'Position: 50,60' <<<"$geometry" || fail "window not at 50,60: $geometry"
grep -q 'Geometry: 700x500' <<<"$geometry" || fail "window not 700x500: $geometry"
e2e_close_with_alt_f4
expect_line '"PlayLooped"=dword:00000001'
expect_line '"LastDir"="C:\\SOUNDS\\DRUMS\\"'
expect_line '"DisplayFiles"=dword:00000004'
expect_line '"PlaySingle"=dword:00000000'
expect_line '"Left"=dword:00000032'
expect_line '"Top"=dword:0000003c'
expect_line '"Height"=dword:000001f4'
expect_line '"Width"=dword:000002bc'
echo "PASS"
