#!/usr/bin/env bash
# Remote commands end to end: the program runs on the emulated Q5 camera
# under a virtual display, and second starts of the same program hand it
# --capture, --zoom-mode, --fullscreen, --record-start, --record-stop,
# --stop and --play. Each second start ends at once without a window; the
# running window shows the command's effect: a picture file, the ZoomMode
# setting, a full-screen picture, a recording ffprobe reads, a picture that
# stops and plays again.
#
#   e2e_remote.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
for tool in ffprobe xprop; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done

session_prepare "$bin"
out="$SESSION_DIR/out/"
mkdir -p "$out"
ini="$SESSION_DIR/program/TovekCamera.INI"
session_write_ini "CaptruePath=$out" "RecordPath=$out" "DeviceSelect=34790"
session_start

REMOTE_RC=0
REMOTE_ERR=""
# remote ARGS...: a second start of the program with ARGS, as a script or a
# desktop shortcut starts it. Sets REMOTE_RC and REMOTE_ERR (its standard
# error); fails when it runs longer than 15 s, prints anything on its
# standard output, or opens a window.
remote() {
  local pid end
  (cd "$SESSION_DIR/home" &&
    exec env -u QT_QPA_PLATFORM HOME="$SESSION_DIR/home" XDG_RUNTIME_DIR="$SESSION_DIR/runtime" \
      "$SESSION_DIR/program/TovekCamera" "$@") >"$SESSION_DIR/remote.out" 2>"$SESSION_DIR/remote.err" &
  pid=$!
  end=$(($(date +%s) + 15))
  while kill -0 "$pid" 2>/dev/null; do
    if [ -n "$(xdotool search --pid "$pid" 2>/dev/null || true)" ]; then
      kill "$pid" 2>/dev/null || true
      session_fail "the second start '$*' opened a window"
    fi
    [ "$(date +%s)" -lt "$end" ] || session_fail "the second start '$*' still runs after 15 s"
    sleep 0.02
  done
  REMOTE_RC=0
  wait "$pid" || REMOTE_RC=$?
  REMOTE_ERR=$(cat "$SESSION_DIR/remote.err")
  [ ! -s "$SESSION_DIR/remote.out" ] || session_fail "'$*' printed: $(cat "$SESSION_DIR/remote.out")"
}

# remote_ok ARGS...: the running window took the command: status 0, silent.
remote_ok() {
  remote "$@"
  [ "$REMOTE_RC" = 0 ] || session_fail "'$*' ended with $REMOTE_RC: $REMOTE_ERR"
  [ -z "$REMOTE_ERR" ] || session_fail "'$*' said: $REMOTE_ERR"
}

# remote_refused ARGS...: the window could not carry it out now: status 3
# and one line saying so.
remote_refused() {
  remote "$@"
  [ "$REMOTE_RC" = 3 ] || session_fail "'$*' ended with $REMOTE_RC, not 3 (refused): $REMOTE_ERR"
  [ "$(wc -l <"$SESSION_DIR/remote.err")" = 1 ] || session_fail "'$*' said: $REMOTE_ERR"
}

ini_has() { tr -d '\r' <"$ini" | grep -x "$1" >/dev/null; }
count() { find "$out$1" -maxdepth 1 -name "*.$2" 2>/dev/null | wc -l; }
# has_files FOLDER EXTENSION N: N files in that output folder.
has_files() { [ "$(count "$1" "$2")" = "$3" ]; }

# The picture plays by itself at the first attach; until then Capture is
# disabled and the window says so.
end=$(($(date +%s) + 30))
until remote --capture && [ "$REMOTE_RC" = 0 ]; do
  [ "$REMOTE_RC" = 3 ] || session_fail "--capture ended with $REMOTE_RC: $REMOTE_ERR"
  [ "$(date +%s)" -lt "$end" ] || session_fail "Capture stayed disabled for 30 s"
  sleep 0.5
done
session_until "$SESSION_REACTION_S" "a picture after --capture" has_files Images jpg 1
echo "--capture: $(basename "$(find "${out}Images" -name '*.jpg')")"

# The zoom mode the window stores the moment it changes: how long from the
# second start's beginning (its own start-up included) to the window's
# change, and to the second start's end.
for n in 3 1 5; do
  began=$(session_now)
  remote_ok --zoom-mode "$n" &
  bg=$!
  end=$(($(date +%s) + 5))
  until ini_has "ZoomMode=$((n - 1))"; do
    [ "$(date +%s)" -lt "$end" ] || session_fail "ZoomMode=$((n - 1)) after --zoom-mode $n within 5 s"
    sleep 0.01
  done
  changed=$(session_now)
  wait "$bg" || session_fail "--zoom-mode $n failed"
  awk -v a="$began" -v b="$changed" -v c="$(session_now)" -v n="$n" 'BEGIN {
    printf "--zoom-mode %d: the window changed after %.0f ms; the second start ended after %.0f ms\n",
      n, (b - a) * 1000, (c - a) * 1000 }'
done

# Full screen: the picture becomes a window of its own that asks for the
# whole screen (without a window manager nobody grants the size), and the
# same command ends it.
full_screen_shown() {
  local w
  for w in $(session_windows); do
    [ "$w" != "$SESSION_WIN" ] && xprop -id "$w" _NET_WM_STATE 2>/dev/null |
      grep -q _NET_WM_STATE_FULLSCREEN && return 0
  done
  return 1
}
remote_ok --fullscreen
session_until "$SESSION_REACTION_S" "a full-screen picture after --fullscreen" full_screen_shown
remote_ok --fullscreen
session_until "$SESSION_REACTION_S" "the full-screen picture gone after the second --fullscreen" eval '! full_screen_shown'

# A recording of about three seconds, started and stopped from outside.
remote_ok --record-start
session_until "$SESSION_REACTION_S" "an AVI file after --record-start" has_files Videos avi 1
remote_refused --record-start # it records already
sleep 3
remote_ok --record-stop
file=$(find "${out}Videos" -name '*.avi')
# The command runs after its answer, and the recorder then writes the
# file's index: wait until the size holds for a second (a recording that
# went on would grow by a frame many times a second), then check it holds.
last_size=-1
avi_settled() {
  local now
  now=$(stat -c %s "$file")
  [ "$now" = "$last_size" ] && return 0
  last_size=$now
  sleep 1
  return 1
}
session_until "$SESSION_REACTION_S" "the AVI file done after --record-stop" avi_settled
size=$(stat -c %s "$file")
sleep 1
[ "$(stat -c %s "$file")" = "$size" ] || session_fail "the AVI file still grows after --record-stop"
frames=$(ffprobe -v error -select_streams v -count_frames -show_entries stream=nb_read_frames \
  -of csv=p=0 "$file") || session_fail "ffprobe cannot read $file"
echo "--record-start/--record-stop: $frames frames"
((frames >= 16 * 2 && frames <= 16 * 5)) || session_fail "$frames frames for about 3 s at 16 per second"

# Stop, then nothing to capture; Play, and captures work again.
remote_ok --stop
remote_refused --capture
remote_refused --fullscreen
sleep 1
[ "$(count Images jpg)" = 1 ] || session_fail "a picture was taken while stopped"
remote_ok --play --capture
session_until "$SESSION_REACTION_S" "a second picture after --play --capture" has_files Images jpg 2

# A wrong command line reaches nobody.
remote --zoom-mode 6
[ "$REMOTE_RC" = 2 ] || session_fail "--zoom-mode 6 ended with $REMOTE_RC, not 2"
grep -q -- "--zoom-mode" <<<"$REMOTE_ERR" || session_fail "--zoom-mode 6 said: $REMOTE_ERR"

session_expect_main_window_only "after the remote commands"
session_exit 20
echo "PASS"
