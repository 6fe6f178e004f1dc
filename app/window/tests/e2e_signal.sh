#!/usr/bin/env bash
# SIGTERM, SIGINT and SIGHUP (shutdown, Ctrl+C in a terminal, logout) end the
# program as File > Exit does, without its question. For each signal, a fresh
# program on the emulated Q5 camera records for a few seconds and is sent the
# signal; then it must have ended with status 0, left one finished recording
# (ffprobe counts as many frames as the header and index say, for the time it
# recorded), an INI file with its settings, and no control socket.
#
#   e2e_signal.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
command -v ffprobe >/dev/null || session_fail "ffprobe is missing (scripts/install-deps)"
rate=16 # the Q5 family's frame rate
record_seconds=3

# signal:what is open when it comes:what it stands for
signals=(
  "TERM:main:shutdown or kill"
  "INT:main:Ctrl+C in a terminal"
  "HUP:main:logout"
  "TERM:question:shutdown while File > Exit asks whether to stop recording"
)

for row in "${signals[@]}"; do
  IFS=: read -r signal open meaning <<<"$row"
  session_prepare "$bin"
  records="$SESSION_DIR/records/"
  mkdir -p "$records"
  session_write_ini "RecordPath=$records" "AudioIndex=1" "DeviceSelect=34790"
  session_start
  pid=$SESSION_PID
  socket="$SESSION_DIR/runtime/tovek-sim-$pid.sock"
  [ -S "$socket" ] || session_fail "SIG$signal: the program has no control socket $socket"

  session_menu_when_enabled s 30
  started=$SESSION_KEY_TIME
  until compgen -G "${records}Videos/*.avi" >/dev/null; do
    session_expect_main_window_only "SIG$signal: after Start Record"
    awk -v s="$started" -v now="$(session_now)" 'BEGIN { exit !(now < s + 10) }' ||
      session_fail "SIG$signal: no AVI file 10 s after Start Record"
    sleep 0.1
  done
  sleep "$record_seconds"
  if [ "$open" = question ]; then
    session_menu x || session_fail "File > Exit is disabled"
    session_until "$SESSION_REACTION_S" "the question \"Video is recording! Sure to exit?\"" \
      test "$(session_windows | wc -l)" -gt 1
  fi
  stopped=$(session_now)
  kill -s "$signal" "$pid"

  end=$(($(date +%s) + 20))
  while kill -0 "$pid" 2>/dev/null; do
    [ "$(date +%s)" -lt "$end" ] || session_fail "SIG$signal: the program still runs 20 s after the signal"
    sleep 0.1
  done
  rc=0
  wait "$pid" || rc=$?
  SESSION_PID=""
  [ "$rc" = 0 ] || session_fail "SIG$signal: the program ended with status $rc, not as File > Exit does"
  [ ! -e "$socket" ] || session_fail "SIG$signal: the control socket is left behind"

  files=("$records"Videos/*.avi)
  [ ${#files[@]} = 1 ] || session_fail "SIG$signal: expected one recording, found ${#files[@]}"
  out=$(ffprobe -v error -select_streams v:0 -count_frames \
    -show_entries stream=nb_frames,nb_read_frames -of default=nw=1 "${files[0]}" 2>&1) ||
    session_fail "SIG$signal: ffprobe cannot read the recording: $out"
  frames=$(sed -n 's/^nb_read_frames=//p' <<<"$out")
  header=$(sed -n 's/^nb_frames=//p' <<<"$out")
  [ -n "$frames" ] && [ "$frames" = "$header" ] ||
    session_fail "SIG$signal: the header counts ${header:-no} frames, the file holds ${frames:-none}"
  seconds=$(awk -v a="$started" -v b="$stopped" 'BEGIN { printf "%.2f", b - a }')
  awk -v f="$frames" -v r="$rate" -v s="$seconds" 'BEGIN { exit !(f >= r * (s - 1.5) && f <= r * (s + 1)) }' ||
    session_fail "SIG$signal: $frames frames for ${seconds} s of recording at $rate per second"

  ini="$SESSION_DIR/program/TovekCamera.INI"
  for key in RecordPath AudioIndex DeviceSelect MessageBoxString ShowLogo; do
    grep -q "^$key=" "$ini" || session_fail "SIG$signal: the INI file lost $key: $(cat "$ini")"
  done
  echo "SIG$signal ($meaning): ended with 0, $frames frames for ${seconds} s, INI kept, socket removed"
  session_cleanup
done
echo "PASS"
