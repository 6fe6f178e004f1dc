#!/usr/bin/env bash
# Whether the window stays responsive: TovekCamera on the emulated cameras
# under a virtual display, with its user-interface heartbeat on
# (TOVEK_STALL_REPORT, app/window/src/StallWatch.h).
#
#   - Launch to first picture painted, on each emulated camera: from starting
#     the program to the first camera frame its view painted, the median of
#     RUNS starts as a user makes them day to day, from one program folder
#     and home. A first start before them fills GStreamer's plugin registry
#     (a fresh home has none: its scan takes about half a second more); it
#     is printed, not counted.
#   - The user-interface thread's longest stall while the user plays, stops
#     (also twice and three times quickly in a row), and the camera is pulled
#     and plugged back (tovek-sim), on both cameras: the latest the heartbeat
#     came within STEP_MS of each step (what a step starts -- the settle, the
#     open, the picture's return -- is over by then; later heartbeats measure
#     a shared machine rather than the step).
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

STEP_MS=1500

# start: starts the session's program anew, its heartbeat into a new
# $stalls; sets started_ms to the moment just before the program starts.
start() {
  stalls="$SESSION_DIR/stalls-$(now_ms).txt"
  export TOVEK_STALL_REPORT="$stalls"
  SESSION_WIN=""
  started_ms=$(now_ms)
  session_start
}

first_paint() { awk '$1 == "first_paint" { print $2; exit }' "$stalls" 2>/dev/null; }
painted() { [ -n "$(first_paint)" ]; }

# step KEYS...: the steps' keys pressed at once (ctrl+KEY each); the step's
# time is kept in $steps.
step() {
  now_ms >>"$steps"
  local key
  for key in "$@"; do session_ctrl_key "$key"; done
}
# The longest stall (ms) the heartbeat wrote within STEP_MS of a step.
longest_in_steps() {
  awk -v span="$STEP_MS" 'FNR == NR { t[++n] = $1; next }
    $1 == "late" { for (i = 1; i <= n; i++) if ($2 >= t[i] && $2 <= t[i] + span && $3 > m) m = $3 }
    END { print m + 0 }' "$steps" "$stalls"
}

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
  session_prepare "$bin"
  session_write_ini "DeviceSelect=${device_ids[$camera]}" "ResumeAfterReplug=1"
  steps="$SESSION_DIR/steps.txt"
  times=()
  for ((run = 0; run <= runs; run++)); do
    start
    session_until 30 "the $camera picture painted" painted
    ms=$(($(first_paint) - started_ms))
    if ((run == 0)); then
      echo "$camera first start (GStreamer's registry made): first picture painted after $ms ms"
    else
      times+=("$ms")
      echo "$camera start $run: first picture painted after $ms ms"
    fi
    if ((run == runs)); then
      # The user's steps, then the camera pulled and plugged back; each
      # followed by time for what it started to finish.
      xdotool windowfocus --sync "$SESSION_WIN"
      : >"$steps"
      step t
      settle 1.5
      step p
      settle 2.5
      step t p
      settle 2.5
      step t p t
      settle 2.5
      step p
      settle 2.5
      now_ms >>"$steps"
      sim pull "$camera"
      settle 1.5
      now_ms >>"$steps"
      sim plug "$camera"
      settle 3
      stall=$(longest_in_steps)
      echo "$camera: longest stall during Play, Stop, pull and plug: $stall ms"
      ((stall > worst_stall)) && worst_stall=$stall
    fi
    session_exit 30
  done
  session_cleanup
  launch[$camera]=$(printf '%s\n' "${times[@]}" | median)
done

printf "GOAL\tLaunch to first picture painted, emulated Q5\t%.3f\t0.800\ts\n" \
  "$(awk -v ms="${launch[q5]}" 'BEGIN { print ms / 1000 }')"
printf "GOAL\tLaunch to first picture painted, emulated RVX\t%.3f\t0.800\ts\n" \
  "$(awk -v ms="${launch[rvx]}" 'BEGIN { print ms / 1000 }')"
printf "GOAL\tUI thread's longest stall during Play, Stop, pull and plug\t%.3f\t50.000\tms\n" \
  "$worst_stall"
