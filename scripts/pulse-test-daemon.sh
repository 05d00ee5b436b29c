#!/usr/bin/env bash
# A private PulseAudio daemon with a null sink for the tests of the libpulse back-end; works as root
# and without a sound card. Usage: pulse-test-daemon.sh start|stop <runtime-dir>
set -euo pipefail
cmd=${1:?start or stop}
dir=${2:?runtime folder}

stop_daemon() {
  local pidfile="$dir/pulse/pid"
  [[ -f "$pidfile" ]] || return 0
  local pid
  pid=$(cat "$pidfile")
  if [[ "$pid" =~ ^[0-9]+$ ]] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$pidfile"
}

case "$cmd" in
  start)
    mkdir -p "$dir"
    chmod 700 "$dir"
    stop_daemon
    export XDG_RUNTIME_DIR="$dir"
    export HOME="$dir"
    unset PULSE_SERVER
    pulseaudio --daemonize=yes --exit-idle-time=-1 -n --use-pid-file=yes \
      --load="module-null-sink sink_name=kvr_null" --load=module-native-protocol-unix \
      --log-target=file:"$dir/pulse.log"
    for _ in $(seq 50); do
      [[ -S "$dir/pulse/native" ]] && exit 0
      sleep 0.1
    done
    echo "pulse-test-daemon: no socket in $dir/pulse" >&2
    exit 1
    ;;
  stop)
    stop_daemon
    ;;
  *)
    echo "usage: $0 start|stop <runtime-dir>" >&2
    exit 2
    ;;
esac
