#!/usr/bin/env bash
# Starts or stops the private PipeWire daemon of the end-to-end tests:
#   pipewire_server.sh start|stop RUNTIME_DIR
# RUNTIME_DIR (mode 700) is the daemon's XDG_RUNTIME_DIR, and so the tests': its socket never
# meets a user's daemon. The default configuration's Dummy-Driver runs the graph (1 024
# frames, 48 kHz); no session manager is needed. Ready once `pw-cli info 0` answers. The
# process id is kept beside the directory (server_process.sh).
set -u
action=${1:?start or stop}
dir=${2:?runtime directory}
. "$(dirname "${BASH_SOURCE[0]}")/server_process.sh"

server_prepare() {
  mkdir -p "$dir"
  chmod 700 "$dir"
  export XDG_RUNTIME_DIR="$dir"
}
server_ready() { pw-cli info 0; }
server_main "$action" "$dir.pid" "$dir.log" 100 "start|stop RUNTIME_DIR" pipewire
