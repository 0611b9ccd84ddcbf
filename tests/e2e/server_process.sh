# shellcheck shell=bash
# Sourced by jack_server.sh and pipewire_server.sh: a test server run in the background, whose
# process id is kept in a file, so that stop ends exactly that process (SIGTERM, then SIGKILL
# after 5 s) and start first stops one left over from an earlier run.
#   server_start PIDFILE LOG TRIES COMMAND...: starts COMMAND, then calls the caller's
#     `server_ready` until it succeeds, TRIES times at most, 0.1 s apart; when it never does,
#     prints the log, stops the server and fails.
#   server_stop PIDFILE PROGRAM: PROGRAM, the first word of the command, tells ours from a
#     process that took the id since.
#   server_main ACTION PIDFILE LOG TRIES USAGE COMMAND...: the whole script: start (the caller's
#     `server_prepare` first, then server_start; exit 1 when it fails), stop, or else USAGE on
#     standard error and exit 2.

server_is_ours() {  # PID PROGRAM
  [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q "^$2 "
}

server_stop() {
  [ -f "$1" ] || return 0
  local pid
  pid=$(cat "$1")
  if server_is_ours "$pid" "$2"; then
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 50); do
      server_is_ours "$pid" "$2" || break
      sleep 0.1
    done
    server_is_ours "$pid" "$2" && kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$1"
}

server_start() {
  local pidfile=$1 log=$2 tries=$3
  shift 3
  server_stop "$pidfile" "$1"
  setsid "$@" >"$log" 2>&1 </dev/null &
  echo $! >"$pidfile"
  for _ in $(seq "$tries"); do
    server_ready >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "$1 did not start; its log:" >&2
  cat "$log" >&2
  server_stop "$pidfile" "$1"
  return 1
}

server_main() {
  local action=$1 pidfile=$2 log=$3 tries=$4 usage=$5
  shift 5
  case "$action" in
    start)
      server_prepare
      server_start "$pidfile" "$log" "$tries" "$@" || exit 1
      ;;
    stop)
      server_stop "$pidfile" "$1"
      ;;
    *)
      echo "usage: $0 $usage" >&2
      exit 2
      ;;
  esac
}
