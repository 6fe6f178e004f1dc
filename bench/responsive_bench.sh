#!/usr/bin/env bash
# Whether the window stays responsive: TovekCamera on the emulated cameras
# under a virtual display, with its user-interface heartbeat on
# (TOVEK_STALL_REPORT, app/window/src/StallWatch.h).
#
#   - Launch to first picture painted, on each emulated camera: from starting
#     the program to the first camera frame its view painted, the median of
#     RUNS fresh starts.
#   - The user-interface thread's longest stall while the user plays, stops
#     (also twice quickly in a row), and the camera is pulled and plugged
#     back (tovek-sim), on both cameras: the latest the heartbeat came.
#
#   responsive_bench.sh BIN_FOLDER [RUNS]   (default 3 starts a camera)
# Prints its details and GOAL lines (see bench/bench_util.h).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../testsupport/shell/program_session.sh
source "$here/../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$(cd "$1" && pwd)
runs=${2:-3}
[ -x "$bin/tovek-sim" ] || session_fail "no $bin/tovek-sim (build first)"

now_ms() { date +%s%3N; }

# The shipped catalogue: the Q5 camera is Device item 34790, the RVX one 34791.
declare -A device_ids=([q5]=34790 [rvx]=34791)

# start CAMERA: a fresh session on that camera, its heartbeat into
# $stalls; sets started_ms to the moment just before the program starts.
start() {
  session_prepare "$bin"
  stalls="$SESSION_DIR/stalls.txt"
  session_write_ini "DeviceSelect=${device_ids[$1]}" "ResumeAfterReplug=1"
  export TOVEK_STALL_REPORT="$stalls"
  started_ms=$(now_ms)
  session_start
}

first_paint() { awk '$1 == "first_paint" { print $2; exit }' "$stalls" 2>/dev/null; }
painted() { [ -n "$(first_paint)" ]; }

# The longest stall (ms) the heartbeat wrote from wall-clock ms $1 on.
longest_since() { awk -v from="$1" '$1 == "late" && $2 >= from && $3 > m { m = $3 } END { print m + 0 }' "$stalls"; }

sim() {
  local out
  out=$(XDG_RUNTIME_DIR="$SESSION_DIR/runtime" "$bin/tovek-sim" --pid "$SESSION_PID" "$@" 2>&1) ||
    session_fail "tovek-sim $*: $out"
}

# Time for what a step started (a settle, an open) to finish: what counts
# is how late the heartbeat came meanwhile, not when the picture returned.
settle() { sleep "$1"; }

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A launch
worst_stall=0
for camera in q5 rvx; do
  times=()
  for ((run = 1; run <= runs; run++)); do
    start "$camera"
    session_until 30 "the $camera picture painted" painted
    times+=($(($(first_paint) - started_ms)))
    echo "$camera start $run: first picture painted after ${times[-1]} ms"
    if ((run == runs)); then
      # The user's steps, then the camera pulled and plugged back; each
      # followed by time for what it started to finish.
      xdotool windowfocus --sync "$SESSION_WIN"
      from=$(now_ms)
      session_ctrl_key t
      settle 1.5
      session_ctrl_key p
      settle 2.5
      session_ctrl_key t
      session_ctrl_key p
      settle 2.5
      session_ctrl_key t
      session_ctrl_key p
      session_ctrl_key t
      settle 2.5
      session_ctrl_key p
      settle 2.5
      sim pull "$camera"
      settle 1.5
      sim plug "$camera"
      settle 3
      stall=$(longest_since "$from")
      echo "$camera: longest stall during Play, Stop, pull and plug: $stall ms"
      grep '^late' "$stalls" | awk -v from="$from" '$2 >= from && $3 >= 20' | sed 's/^/  /' || true
      ((stall > worst_stall)) && worst_stall=$stall
    fi
    session_exit 30
    session_cleanup
  done
  launch[$camera]=$(printf '%s\n' "${times[@]}" | median)
done

printf "GOAL\tLaunch to first picture painted, emulated Q5\t%.3f\t0.800\ts\n" \
  "$(awk -v ms="${launch[q5]}" 'BEGIN { print ms / 1000 }')"
printf "GOAL\tLaunch to first picture painted, emulated RVX\t%.3f\t0.800\ts\n" \
  "$(awk -v ms="${launch[rvx]}" 'BEGIN { print ms / 1000 }')"
printf "GOAL\tUI thread's longest stall during Play, Stop, pull and plug\t%.3f\t50.000\tms\n" \
  "$worst_stall"
