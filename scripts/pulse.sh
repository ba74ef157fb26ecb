# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the test command: a private PulseAudio server with a null sink "tonfolio_null".
# Everything it keeps (socket, state, cookie, log) lives in one temporary folder, so it neither
# meets a desktop's server nor leaves files in the home folder; it also runs as root.
start_pulse() {
  export PULSE_RUNTIME_PATH=$(mktemp -d)
  export XDG_RUNTIME_DIR=$PULSE_RUNTIME_PATH
  export PULSE_STATE_PATH=$PULSE_RUNTIME_PATH/state
  export PULSE_COOKIE=$PULSE_RUNTIME_PATH/cookie
  export PULSE_SERVER=unix:$PULSE_RUNTIME_PATH/native
  mkdir -p "$PULSE_STATE_PATH"
  pulseaudio --daemonize=no --system=no --use-pid-file=no --exit-idle-time=-1 --disallow-exit=yes \
    --disable-shm=yes --log-target=stderr -n \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native" \
    --load="module-null-sink sink_name=tonfolio_null rate=44100 channels=2" \
    --load="module-always-sink" >"$PULSE_RUNTIME_PATH/log" 2>&1 &
  PULSE_PID=$!
  local ok=0
  for _ in $(seq 100); do
    if pactl info >/dev/null 2>&1; then ok=1; break; fi
    kill -0 "$PULSE_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [[ $ok != 1 ]]; then
    echo "pulse.sh: the sound server did not start; its log:" >&2
    cat "$PULSE_RUNTIME_PATH/log" >&2
    # The tests that need it fail on their own; the others still run.
    return 0
  fi
  pactl set-default-sink tonfolio_null >/dev/null 2>&1 || true
  pactl set-default-source tonfolio_null.monitor >/dev/null 2>&1 || true
}
stop_pulse() {
  [[ -n "${PULSE_PID:-}" ]] && kill "$PULSE_PID" 2>/dev/null && wait "$PULSE_PID" 2>/dev/null || true
  [[ -n "${PULSE_RUNTIME_PATH:-}" ]] && rm -rf "$PULSE_RUNTIME_PATH"
  unset PULSE_PID PULSE_SERVER PULSE_RUNTIME_PATH PULSE_STATE_PATH PULSE_COOKIE
  return 0
}
