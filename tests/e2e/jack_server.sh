#!/usr/bin/env bash
# Starts or stops the JACK server of the end-to-end tests:
#   jack_server.sh start|stop NAME STATE_DIR
# A dummy-driver server without realtime, under its own name (JACK_DEFAULT_SERVER=NAME), so
# it never meets a user's server. Long periods (85 ms): without realtime scheduling, a client
# that is late for a cycle loses that cycle's input, and a busy machine is late often. Its process id is kept in STATE_DIR; stop ends exactly that
# process, and start first stops one left over from an earlier run.
set -u
command=${1:?start or stop}
name=${2:?server name}
dir=${3:?state directory}
pidfile="$dir/jackd-$name.pid"
log="$dir/jackd-$name.log"

is_our_jackd() {
  [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q '^jackd '
}

stop() {
  [ -f "$pidfile" ] || return 0
  local pid
  pid=$(cat "$pidfile")
  if is_our_jackd "$pid"; then
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 50); do
      is_our_jackd "$pid" || break
      sleep 0.1
    done
    is_our_jackd "$pid" && kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$pidfile"
}

case "$command" in
  start)
    mkdir -p "$dir"
    stop
    JACK_DEFAULT_SERVER="$name" setsid jackd --no-realtime -d dummy -r 48000 -p 4096 \
      >"$log" 2>&1 </dev/null &
    echo $! >"$pidfile"
    if ! JACK_DEFAULT_SERVER="$name" jack_wait -s "$name" -w -t 10 >/dev/null 2>&1; then
      echo "jackd did not start; its log:" >&2
      cat "$log" >&2
      stop
      exit 1
    fi
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop NAME STATE_DIR" >&2
    exit 2
    ;;
esac
