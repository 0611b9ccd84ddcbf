#!/usr/bin/env bash
# Figures of the monitor on the kernel's ALSA sequencer, run inside the guest
# (scripts/alsa-burst and scripts/alsa-compare start it there):
#   alsa_figures.sh BUILD burst N...      N note-ons and a 1 002-byte sysex at full speed:
#                                         shown / reported / sent, the pool figures around it
#   alsa_figures.sh BUILD compare RATE N  N note-ons at RATE per second into tessaly and
#                                         aseqdump at once: lost by each, CPU per 100 000,
#                                         and the run time of each thread of both
#   alsa_figures.sh BUILD idle SECONDS    CPU of tessaly --console on a silent port
#   alsa_figures.sh BUILD idle-host SECONDS
#                                         on the host, not in the guest (no ALSA there): CPU of
#                                         tessaly --console with no MIDI server at all (no port
#                                         open) and on a silent JACK port of a jackd of its own
#                                         (the end-to-end server's settings: 85 ms periods), both
#                                         at once, for SECONDS each
# Every wait is for a condition (a line, a quiet output), never a fixed sleep.
set -euo pipefail
build=$(cd "${1:?build directory}" && pwd)
mode=${2:?burst, compare, idle or idle-host}
shift 2
work=$(mktemp -d)
sender_pid="" monitor_pid="" dump_pid="" bare_pid="" jack_server=""
cleanup() {
  for pid in $monitor_pid $dump_pid $sender_pid $bare_pid; do kill "$pid" 2>/dev/null || true; done
  if [ -n "$jack_server" ]; then
    bash "$(dirname "$0")/jack_server.sh" stop "$jack_server" "$work/jack" || true
    # What the server leaves in /dev/shm carries its name.
    rm -f /dev/shm/jack_"$jack_server"_* /dev/shm/jack_sem.*_"$jack_server"_*
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# wait_for FILE EXTENDED-REGEX SECONDS
wait_for() {
  local end=$((SECONDS + $3))
  until grep -qE "$2" "$1" 2>/dev/null; do
    [ $SECONDS -lt $end ] || { echo "timed out waiting for /$2/ in $1" >&2; return 1; }
    sleep 0.05
  done
}
# settle FILE...: until none of them has grown for 3 s
settle() {
  local before="" now
  while :; do
    now=$(cat "$@" | wc -c)
    [ "$now" = "$before" ] && return 0
    before=$now
    sleep 3
  done
}
# thread_times PID: "TID NAME RUN-NS" for every thread of a process (schedstat: the run time the
# scheduler counted, finer than the ticks of /proc/PID/stat)
thread_times() {
  local task
  for task in /proc/"$1"/task/*; do
    echo "$(basename "$task") $(tr ' ' _ <"$task/comm") $(cut -d' ' -f1 "$task/schedstat")"
  done 2>/dev/null | sort
}
# thread_split LABEL PID BEFORE AFTER N: the run time of each thread between two thread_times,
# per 100 000 events (threads that ran under 1 ms are left out), and their sum
thread_split() {
  join "$3" "$4" | awk -v l="$1" -v main="$2" -v n="$5" '
    { ns = $5 - $3; total += ns
      if (ns > 1e6) parts = parts sprintf(" %s %.3f", ($1 == main ? "main" : $2 "-" $1), ns / 1e9 * 100000 / n) }
    END { printf "threads %s, run s per 100 000 events:%s; total %.3f\n", l, parts, total / 1e9 * 100000 / n }'
}
cpu_seconds() { # utime + stime of a process, in seconds
  awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$1/stat"
}
# idle_line LABEL CPU0 CPU1 START END: the share of a core between two readings
idle_line() {
  awk -v l="$1" -v c0="$2" -v c1="$3" -v s="$4" -v e="$5" 'BEGIN {
    printf "idle %s: %.2f CPU s in %.1f s = %.3f %% of a core\n", l, c1 - c0, e - s, (c1 - c0) * 100 / (e - s) }'
}

start_sender() {
  mkfifo "$work/sender.in"
  "$build/tests/e2e/alsa_sender" --name "$1" <"$work/sender.in" >"$work/sender.out" &
  sender_pid=$!
  exec 3>"$work/sender.in"
  wait_for "$work/sender.out" '^ready$' 30
  port=$("$build/tessaly" --list-ports | awk -F'\t' -v n="$1" 'index($2, n) && $2 !~ /^Tessaly/ { print $1 }')
  alsa_port=$(aconnect -l | awk -v n="$1" '/^client/ && index($0, "'"'"'" n "'"'"'") { sub(":", "", $2); print $2 ":0" }')
}
start_monitor() {
  "$build/tessaly" --console --report --port "$port" >"$work/monitor.out" 2>&1 &
  monitor_pid=$!
  wait_for "$work/monitor.out" 'midiInAddBuffer' 60
}
stop_monitor() {
  kill -TERM "$monitor_pid"
  wait "$monitor_pid" || true
  monitor_pid=""
}
# The note-on lines shown, and the losses said (lines, and the counts they give).
shown_notes() { grep -c $'^midi\t.*643C90 Chan 01 NOTE_ON' "$work/monitor.out" || true; }
loss_lines() { grep -cE $'^(msg|sysex)\t.*(OVERRUN|overrun|overflow|lost)' "$work/monitor.out" || true; }
loss_count() {
  grep -E $'^(msg|sysex)\t.*(OVERRUN|overrun|overflow|lost)' "$work/monitor.out" |
    grep -oE '[0-9]+ (events )?(lost|events)' | awk '{ s += $1 } END { print s + 0 }'
}
# The pool lines of the clients named like $1 in /proc/asound/seq/clients.
pools() {
  awk -v n="$1" '/^Client/ { show = index($0, n) > 0 } show' /proc/asound/seq/clients
}

sysex="F0 09 11$(printf ' 42%.0s' $(seq 998)) F7"

case "$mode" in
  burst)
    for n in "$@"; do
      start_sender "e2e-burst-$n"
      start_monitor
      before=$(pools Tessaly; pools "e2e-burst-$n")
      echo "flood $((n + 1)) 100000000 90 3C 64 / $((n + 1)) $sysex" >&3
      wait_for "$work/sender.out" '^sent ' 600
      settle "$work/monitor.out"
      after=$(pools Tessaly; pools "e2e-burst-$n")
      stop_monitor
      notes=$(shown_notes)
      sysexes=$(grep -c $'^sysex\tBBBB' "$work/monitor.out" || true)
      echo "== burst of $n note-ons and a 1 002-byte sysex"
      echo "sender: $(grep '^sent ' "$work/sender.out") (dropped: refused by the kernel)"
      echo "shown $((notes + sysexes)) ($notes note-ons, $sysexes sysex), reported lost $(loss_count) in $(loss_lines) lines, sent $((n + 1))"
      grep $'^service\t' "$work/monitor.out" || echo "no service line"
      echo "-- /proc/asound/seq/clients before"
      echo "$before"
      echo "-- after"
      echo "$after"
      exec 3>&-
      wait "$sender_pid" || true
      sender_pid=""
      rm -f "$work/sender.in" "$work/sender.out"
    done
    ;;
  compare)
    rate=${1:?rate} n=${2:?count}
    start_sender "e2e-compare"
    start_monitor
    aseqdump -p "$alsa_port" >"$work/dump.out" 2>&1 &
    dump_pid=$!
    # Subscribed when the sender's port lists two receivers (aseqdump's output is buffered).
    end=$((SECONDS + 30))
    until aconnect -l | grep -A2 "'e2e-compare'" | grep -q 'Connecting To:.*,'; do
      [ $SECONDS -lt $end ] || { echo "aseqdump did not subscribe" >&2; exit 1; }
      sleep 0.05
    done
    tessaly_cpu0=$(cpu_seconds "$monitor_pid")
    dump_cpu0=$(cpu_seconds "$dump_pid")
    thread_times "$monitor_pid" >"$work/tessaly.before"
    thread_times "$dump_pid" >"$work/dump.before"
    echo "flood $n $rate 90 3C 64" >&3
    wait_for "$work/sender.out" '^sent ' 3600
    settle "$work/monitor.out" "$work/dump.out"
    tessaly_cpu=$(awk -v a="$tessaly_cpu0" -v b="$(cpu_seconds "$monitor_pid")" 'BEGIN { print b - a }')
    dump_cpu=$(awk -v a="$dump_cpu0" -v b="$(cpu_seconds "$dump_pid")" 'BEGIN { print b - a }')
    thread_times "$monitor_pid" >"$work/tessaly.after"
    thread_times "$dump_pid" >"$work/dump.after"
    tessaly_pid=$monitor_pid dumped_pid=$dump_pid
    stop_monitor
    kill "$dump_pid"
    wait "$dump_pid" 2>/dev/null || true
    dump_pid=""
    notes=$(shown_notes)
    dumped=$(grep -c 'Note on' "$work/dump.out" || true)
    echo "== $n note-ons at $rate/s, tessaly and aseqdump on the same port"
    echo "sender: $(grep '^sent ' "$work/sender.out")"
    echo "tessaly:  shown $notes, lost $((n - notes)) (reported $(loss_count) in $(loss_lines) lines), CPU $tessaly_cpu s"
    echo "aseqdump: shown $dumped, lost $((n - dumped)), CPU $dump_cpu s"
    awk -v t="$tessaly_cpu" -v d="$dump_cpu" -v n="$n" 'BEGIN {
      printf "CPU s per 100 000 events: tessaly %.3f, aseqdump %.3f, ratio tessaly/aseqdump %s\n",
        t * 100000 / n, d * 100000 / n, (d > 0 ? sprintf("%.2f", t / d) : "n/a (aseqdump 0)") }'
    thread_split tessaly "$tessaly_pid" "$work/tessaly.before" "$work/tessaly.after" "$n"
    thread_split aseqdump "$dumped_pid" "$work/dump.before" "$work/dump.after" "$n"
    ;;
  idle)
    seconds=${1:?seconds}
    start_sender "e2e-idle"
    start_monitor
    cpu0=$(cpu_seconds "$monitor_pid")
    start=$(date +%s.%N)
    sleep "$seconds"  # the measurement itself: a silent port for this long
    cpu=$(cpu_seconds "$monitor_pid")
    end=$(date +%s.%N)
    stop_monitor
    awk -v c0="$cpu0" -v c1="$cpu" -v s="$start" -v e="$end" 'BEGIN {
      printf "idle on a silent ALSA port: %.2f CPU s in %.1f s of guest time = %.3f %% of a core (emulated)\n",
        c1 - c0, e - s, (c1 - c0) * 100 / (e - s) }'
    ;;
  idle-host)
    seconds=${1:?seconds}
    # No server: a name no server has; the port asked for does not exist, so nothing opens and
    # what is left is the process's own work (timer, drain, looking for a server).
    JACK_DEFAULT_SERVER="tessaly-none-$$" "$build/tessaly" --console --port 99 >"$work/bare.out" 2>&1 &
    bare_pid=$!
    jack_server="tessaly-idle-$$"
    export JACK_DEFAULT_SERVER=$jack_server
    bash "$(dirname "$0")/jack_server.sh" start "$jack_server" "$work/jack" >/dev/null
    mkfifo "$work/sender.in"
    "$build/tests/e2e/jack_sender" --name e2e-idle <"$work/sender.in" >"$work/sender.out" &
    sender_pid=$!
    exec 3>"$work/sender.in"
    wait_for "$work/sender.out" '^ready$' 30
    port=$("$build/tessaly" --list-ports | awk -F'\t' 'index($2, "e2e-idle") { print $1 }')
    start_monitor
    wait_for "$work/bare.out" 'midiInAddBuffer' 30
    bare0=$(cpu_seconds "$bare_pid") cpu0=$(cpu_seconds "$monitor_pid")
    start=$(date +%s.%N)
    sleep "$seconds"  # the measurement itself
    bare1=$(cpu_seconds "$bare_pid") cpu1=$(cpu_seconds "$monitor_pid")
    end=$(date +%s.%N)
    stop_monitor
    idle_line "with no MIDI server (host)" "$bare0" "$bare1" "$start" "$end"
    idle_line "on a silent JACK port, 85 ms periods (host)" "$cpu0" "$cpu1" "$start" "$end"
    ;;
  *)
    echo "usage: alsa_figures.sh BUILD burst N... | compare RATE N | idle SECONDS | idle-host SECONDS" >&2
    exit 2
    ;;
esac
