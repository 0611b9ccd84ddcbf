#!/usr/bin/env bash
# Starts or stops the JACK server of the end-to-end tests:
#   jack_server.sh start|stop NAME STATE_DIR
# A dummy-driver server without realtime, under its own name (JACK_DEFAULT_SERVER=NAME), so
# it never meets a user's server. Long periods (85 ms): without realtime scheduling, a client
# that is late for a cycle loses that cycle's input, and a busy machine is late often. Its
# process id is kept in STATE_DIR (server_process.sh). Ready once jack_wait sees it (10 s).
set -u
action=${1:?start or stop}
name=${2:?server name}
dir=${3:?state directory}
. "$(dirname "${BASH_SOURCE[0]}")/server_process.sh"

server_prepare() {
  mkdir -p "$dir"
  export JACK_DEFAULT_SERVER="$name"
}
server_ready() { jack_wait -s "$name" -w -t 10; }
server_main "$action" "$dir/jackd-$name.pid" "$dir/jackd-$name.log" 1 "start|stop NAME STATE_DIR" \
  jackd --no-realtime -d dummy -r 48000 -p 4096
