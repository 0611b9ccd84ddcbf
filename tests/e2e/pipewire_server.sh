#!/usr/bin/env bash
# Starts or stops the private PipeWire daemon of the end-to-end tests:
#   pipewire_server.sh start|stop RUNTIME_DIR
# RUNTIME_DIR (mode 700) is the daemon's XDG_RUNTIME_DIR, and so the tests': its socket never
# meets a user's daemon. The default configuration's Dummy-Driver runs the graph (1 024
# frames, 48 kHz); no session manager is needed. Ready once `pw-cli info 0` answers. The
# process id is kept beside the directory; stop ends exactly that process (SIGTERM), and
# start first stops one left over from an earlier run.
set -u
command=${1:?start or stop}
dir=${2:?runtime directory}
pidfile="$dir.pid"
log="$dir.log"

is_our_pipewire() {
  [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q '^pipewire '
}

stop() {
  [ -f "$pidfile" ] || return 0
  local pid
  pid=$(cat "$pidfile")
  if is_our_pipewire "$pid"; then
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 50); do
      is_our_pipewire "$pid" || break
      sleep 0.1
    done
    is_our_pipewire "$pid" && kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$pidfile"
}

case "$command" in
  start)
    stop
    mkdir -p "$dir"
    chmod 700 "$dir"
    XDG_RUNTIME_DIR="$dir" setsid pipewire >"$log" 2>&1 </dev/null &
    echo $! >"$pidfile"
    for _ in $(seq 100); do
      XDG_RUNTIME_DIR="$dir" pw-cli info 0 >/dev/null 2>&1 && exit 0
      sleep 0.1
    done
    echo "pipewire did not start; its log:" >&2
    cat "$log" >&2
    stop
    exit 1
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop RUNTIME_DIR" >&2
    exit 2
    ;;
esac
