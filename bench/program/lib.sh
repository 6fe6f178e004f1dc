# shellcheck shell=bash
# Sourced by the whole-program scenes (bench/program/*.sh): the running
# program under a virtual display on an emulated camera whose pictures are
# replayed from memory, measured through the view's frame report
# (TOVEK_FRAME_REPORT: a line a second of running totals).
#
# A scene script is called as  SCENE.sh BIN_FOLDER SECONDS  and prints its
# details and GOAL lines (bench/bench_util.h).

program_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../testsupport/shell/program_session.sh
source "$program_here/../../testsupport/shell/program_session.sh"
# Room for the window at its largest.
# shellcheck disable=SC2034 # read by program_session.sh
SESSION_SCREEN=1600x1200
program_replayed=16 # pictures the emulated cameras replay

# program_baseline BIN WIDTHxHEIGHT RATE: sets d_ms and d_paced_ms, decoding
# the very pictures the camera replays (bench/camera_pictures.cpp).
program_baseline() {
  local out
  [ -x "$1/camera_pictures" ] || session_fail "no $1/camera_pictures (build with TOVEK_BENCH)"
  out=$("$1/camera_pictures" decode "$2" "$3" "$program_replayed") || session_fail "D was not measured"
  d_ms=$(awk '$1 == "D_MS" { print $2 }' <<<"$out")
  d_paced_ms=$(awk '$1 == "D_PACED_MS" { print $2 }' <<<"$out")
  echo "  D $d_ms ms, D paced $d_paced_ms ms ($2 at $3/s)"
}

# The value of field NAME on the report's last line.
program_field() { tail -n 1 "$program_report" | tr ' ' '\n' | awk -F= -v k="$1" '$1 == k { print $2 }'; }
program_painting() { [ -s "$program_report" ] && [ "$(program_field painted)" -gt 16 ]; }

# program_prepare BIN: a new session (SESSION_DIR) for the program in BIN.
program_prepare() {
  session_prepare "$1"
  program_report="$SESSION_DIR/frames.txt"
}

# program_start INI_LINE...: the program started with those settings and
# the frame report, and its picture playing.
program_start() {
  session_write_ini "$@"
  export TOVEK_FRAME_REPORT="$program_report"
  session_start
  session_until 60 "the picture plays" program_painting
}

# program_stretch NAME SECONDS: after a few seconds to settle, the report's
# lines of the next SECONDS into $SESSION_DIR/NAME.
program_stretch() {
  sleep 3
  local from
  from=$(wc -l <"$program_report")
  sleep "$2"
  tail -n +"$((from + 1))" "$program_report" >"$SESSION_DIR/$1"
  [ "$(wc -l <"$SESSION_DIR/$1")" -ge 2 ] || session_fail "the frame report stopped"
}

# program_summary STRETCH NAME=VALUE...: report.awk over that stretch.
program_summary() {
  local stretch=$1 args=() kv
  shift
  for kv in "$@"; do args+=(-v "$kv"); done
  awk -f "$program_here/report.awk" "${args[@]}" "$SESSION_DIR/$stretch"
}

# program_perf STRETCH SECONDS: with TOVEK_BENCH_PERF=FILE, perf records the
# program for SECONDS into FILE (call graphs as TOVEK_BENCH_PERF_GRAPH says,
# default -g), for perf report, when STRETCH is the one
# TOVEK_BENCH_PERF_STRETCH names (default: playing).
program_perf() {
  [ -n "${TOVEK_BENCH_PERF:-}" ] && [ "$1" = "${TOVEK_BENCH_PERF_STRETCH:-playing}" ] || return 0
  shift
  # shellcheck disable=SC2086 # the options' words
  perf record -q ${TOVEK_BENCH_PERF_GRAPH:--g} -p "$SESSION_PID" -o "$TOVEK_BENCH_PERF" -- sleep "$1" >/dev/null 2>&1 &
}
