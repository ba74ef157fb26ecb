# Sourced by the test command: a private PulseAudio server with a null sink "tonfolio_null".
start_pulse() {
  export PULSE_RUNTIME_PATH=$(mktemp -d)
  export XDG_RUNTIME_DIR=$PULSE_RUNTIME_PATH
  export PULSE_SERVER=unix:$PULSE_RUNTIME_PATH/native
  pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit=yes --disable-shm=yes -n \
    --load="module-native-protocol-unix auth-anonymous=1 socket=$PULSE_RUNTIME_PATH/native" \
    --load="module-null-sink sink_name=tonfolio_null rate=44100 channels=2" \
    --load="module-always-sink" >"$PULSE_RUNTIME_PATH/log" 2>&1 &
  PULSE_PID=$!
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.1
  done
  pactl set-default-sink tonfolio_null >/dev/null 2>&1 || true
}
stop_pulse() {
  [[ -n "${PULSE_PID:-}" ]] && kill "$PULSE_PID" 2>/dev/null && wait "$PULSE_PID" 2>/dev/null || true
  [[ -n "${PULSE_RUNTIME_PATH:-}" ]] && rm -rf "$PULSE_RUNTIME_PATH"
  return 0
}
