# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the end-to-end scripts, after they define fail(): a work folder removed on every way out,
# a private X server, and the real program started on a temporary drive C: with its window awaited.
# Needs bin (the program); sets work, DISPLAY, app_pid and wid.

# Skips the test (exit 77) when a tool is missing.
e2e_need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
    done
}

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
e2e_cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap e2e_cleanup EXIT

# A display number of its own, away from the low numbers desktops and other test runs take, and a
# server that ends or does not answer is replaced by another one on another number: servers started
# at the same moment by parallel runs must never share a display. The server that answers must be this
# one, as its lock file tells: another run's server on the same number, which this one then lost to,
# may end at any moment.
e2e_start_x() {
    local attempt n
    for attempt in 1 2 3 4 5 6; do
        n=$((200 + (RANDOM + $$ * 7) % 3000))
        [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null &
        xvfb_pid=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do
            kill -0 "$xvfb_pid" 2>/dev/null || break
            xdotool getdisplaygeometry >/dev/null 2>&1 && [ -S "/tmp/.X11-unix/X$n" ] &&
                [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xvfb_pid" ] && return 0
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    done
    fail "Xvfb did not start"
}

# Starts the program in folder $1 with C: at $work/c and its home in $work/home, and waits for a window
# whose title matches the pattern $2. Further arguments go to the program.
e2e_start_app() {
    # A server started on the same number by another run, and failing there, can take this server's
    # socket away with it: no program could connect any more, so this run moves to a new server.
    if [ -n "$xvfb_pid" ] && [ ! -S "/tmp/.X11-unix/X${DISPLAY#:}" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        e2e_start_x
    fi
    (cd "$1" && exec env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        XDG_DATA_HOME="$work/home/.local/share" TONFOLIO_DRIVES="C=$work/c" QT_QPA_PLATFORM=xcb "$bin" "${@:3}") &
    app_pid=$!
    wid=""
    for _ in $(seq 150); do
        wid=$(xdotool search --name "$2" 2>/dev/null | head -1 || true)
        [ -n "$wid" ] && return 0
        kill -0 "$app_pid" 2>/dev/null || fail "the program ended at start"
        sleep 0.1
    done
    fail "no window titled '$2' (windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | tr '\n' '|'))"
}

# Closes the program's window with Alt+F4, as a user would, and waits for the program to end. With no
# window manager the focus may not have reached a window that is still starting (a sanitized build on a
# busy machine) when the key goes out, so the key is pressed again, once focused, until the program ends.
e2e_close_with_alt_f4() {
    local attempt
    for attempt in 1 2 3 4; do
        xdotool windowfocus --sync "$wid" 2>/dev/null || true
        sleep 0.3
        xdotool key alt+F4
        for _ in $(seq 50); do
            kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid" || true; app_pid=""; return 0; }
            sleep 0.1
        done
    done
    fail "Alt+F4 did not close the window"
}
