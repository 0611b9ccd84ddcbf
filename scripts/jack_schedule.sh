# Sourced by the benchmark and soak scripts: how to schedule their JACK server.
#
# Without realtime scheduling a JACK client that is late for a cycle (on a busy machine, any
# scheduling hiccup) loses that cycle's input before any monitor sees it, which hides what the
# monitor itself does. Where this user may use SCHED_FIFO (root, or an rtprio limit), the server
# runs realtime and gives its clients' process threads realtime priority too, as on a desktop
# set up for audio. TESSALY_JACK_REALTIME=0 forces the plain scheduling.

# Prints the jackd options for the scheduling to use.
tessaly_jackd_schedule() {
  if [ "${TESSALY_JACK_REALTIME:-1}" != 0 ] && chrt -f 1 true 2>/dev/null; then
    echo "-R -P 70"
  else
    echo "--no-realtime"
  fi
}

# Prints a line naming the scheduling, for the figures.
tessaly_jackd_schedule_note() {
  case "$1" in
    -R*) echo "JACK server: realtime (SCHED_FIFO priority 70; client process threads realtime)" ;;
    *) echo "JACK server: no realtime scheduling (a late client loses that cycle's input)" ;;
  esac
}
