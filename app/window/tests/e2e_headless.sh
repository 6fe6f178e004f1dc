#!/usr/bin/env bash
# Scripted capture without a window, end to end: the real program from a
# program folder of its own, on the emulated cameras, with no display at
# all. A picture and a recording are read back with djpeg and ffprobe, which
# share no code with the program; the faults a script meets end with status
# 1 and one line on the standard error, and leave no file behind.
#
#   e2e_headless.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"

bin=$1
# No display: a failure's screen grab finds none and is skipped.
DISPLAY=${DISPLAY:-}
for tool in djpeg ffprobe; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done

session_prepare "$bin"
out="$SESSION_DIR/out"
mkdir -p "$out"

RC=0
OUT=""
ERR=""
SECONDS_TAKEN=""
# headless_start ARGS...: the program as a script runs it, without a
# display, in the background (HEADLESS_PID); headless_wait collects it.
HEADLESS_PID=""
HEADLESS_BEGAN=""
headless_start() {
  HEADLESS_BEGAN=$(session_now)
  (cd "$SESSION_DIR/home" &&
    exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TOVEK_SIMULATE HOME="$SESSION_DIR/home" \
      XDG_RUNTIME_DIR="$SESSION_DIR/runtime" timeout 60 "$SESSION_DIR/program/TovekCamera" "$@") \
    >"$SESSION_DIR/stdout" 2>"$SESSION_DIR/stderr" &
  HEADLESS_PID=$!
}
headless_wait() {
  RC=0
  wait "$HEADLESS_PID" || RC=$?
  SECONDS_TAKEN=$(awk -v a="$HEADLESS_BEGAN" -v b="$(session_now)" 'BEGIN { printf "%.2f", b - a }')
  OUT=$(cat "$SESSION_DIR/stdout")
  ERR=$(grep -v -e '^ALSA lib' -e '^AL lib' "$SESSION_DIR/stderr" || true)
}
# headless ARGS...: the same, waited for.
headless() {
  headless_start "$@"
  headless_wait
}

# expect_fault STATUS WHAT ARGS...: the run ends with STATUS, one line on
# the standard error naming WHAT, nothing on the standard output.
expect_fault() {
  local status=$1 what=$2
  shift 2
  headless "$@"
  [ "$RC" = "$status" ] || session_fail "'$*' ended with $RC, not $status: $OUT $ERR"
  [ -z "$OUT" ] || session_fail "'$*' printed a result: $OUT"
  grep -q -- "$what" <<<"$ERR" || session_fail "'$*' said: $ERR"
  # A failed run says why in one line; a wrong command line adds where help is.
  [ "$status" != 1 ] || [ "$(grep -c . <<<"$ERR")" = 1 ] || session_fail "'$*' said: $ERR"
  echo "fault as expected ($RC): $(head -n 1 <<<"$ERR")"
}

# jpeg_size FILE: "WIDTH HEIGHT" of a JPEG file as djpeg decodes it whole.
jpeg_size() {
  djpeg -pnm -outfile "$SESSION_DIR/decoded.pnm" "$1" || return 1
  head -c 20 "$SESSION_DIR/decoded.pnm" | sed -n 2p
}

# No stage folder or partial file is left beside the outputs.
expect_no_leftovers() {
  local left
  left=$(find "$out" -name '.tovek-stage-*' -o -name '*.part')
  [ -z "$left" ] || session_fail "left behind: $left"
}

# --- a picture of the emulated Q5 camera, the first in the catalogue --------
picture="$out/page one.jpg"
echo "old" >"$picture" # replaced whole
headless --simulate --headless --snapshot "$picture"
[ "$RC" = 0 ] || session_fail "--headless --snapshot ended with $RC: $ERR"
[ "$OUT" = "saved $picture 1024x768" ] || session_fail "result line: '$OUT'"
size=$(jpeg_size "$picture") || session_fail "djpeg cannot read $picture"
[ "$size" = "1024 768" ] || session_fail "djpeg reads a $size picture"
echo "snapshot: $OUT, written ${SECONDS_TAKEN} s after the start"
expect_no_leftovers

# --- the camera the Device menu chose: the emulated RVX camera ---------------
session_write_ini "DeviceSelect=34791"
headless --simulate --headless --snapshot "$out/rvx.jpg"
[ "$RC" = 0 ] || session_fail "RVX snapshot ended with $RC: $ERR"
[ "$(jpeg_size "$out/rvx.jpg")" = "1280 720" ] ||
  session_fail "the RVX picture is not 1280x720: $OUT"
echo "snapshot: $OUT"

# --- a recording of ten seconds with sound -----------------------------------
session_write_ini "DeviceSelect=34790"
video="$out/lesson.avi"
headless --simulate --headless --record 10 --output "$video"
[ "$RC" = 0 ] || session_fail "--headless --record ended with $RC: $ERR"
[[ "$OUT" =~ ^recorded\ $video\ ([0-9]+\.[0-9])\ s$ ]] || session_fail "result line: '$OUT'"
probe() { ffprobe -v error "$@" "$video"; }
field() { sed -n "s/^$1=//p" <<<"$2" | head -n 1; }
v=$(probe -select_streams v -count_frames -of default=nw=1 \
  -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames) ||
  session_fail "ffprobe cannot read $video"
a=$(probe -select_streams a -of default=nw=1 -show_entries stream=codec_type,sample_rate)
[ "$(field codec_name "$v")" = mjpeg ] || session_fail "video stream: $v"
[ "$(field width "$v")x$(field height "$v")" = 1024x768 ] || session_fail "video stream: $v"
[ "$(field codec_type "$a")" = audio ] || session_fail "no sound in $video"
frames=$(field nb_read_frames "$v")
video_end=$(awk -v f="$frames" 'BEGIN { printf "%.2f", f / 16 }')
audio_end=$(probe -select_streams a -show_entries packet=pts_time,duration_time -of csv=p=0 |
  awk -F, 'END { printf "%.2f", $1 + $2 }')
echo "recording: $OUT: $frames frames (${video_end} s) and ${audio_end} s of sound, done ${SECONDS_TAKEN} s after the start"
awk -v v="$video_end" -v a="$audio_end" 'BEGIN { exit !(v >= 9 && v <= 11 && a >= 9 && a <= 11) }' ||
  session_fail "expected about 10 s of picture and sound"
expect_no_leftovers

# --- Ctrl+C, logout or shutdown: before the camera answers, and while recording
# (what was recorded is kept); the stage folder never stays behind ------------
staged() { compgen -G "$out/.tovek-stage-*$1" >/dev/null; }
for row in "TERM:starting:" "INT:recording:/Videos/*.avi" "HUP:recording:/Videos/*.avi"; do
  IFS=: read -r signal moment files <<<"$row"
  video="$out/interrupted.avi"
  headless_start --simulate --headless --record 30 --output "$video"
  session_until 20 "SIG$signal: a stage folder$files" staged "$files"
  [ "$moment" = starting ] || sleep 1
  # To the program itself: timeout, which runs it, would pass a signal on
  # twice (to the program and to its process group).
  program=$(cat /proc/"$HEADLESS_PID"/task/*/children 2>/dev/null | tr -s ' ' '\n' | head -n 1)
  [ -n "$program" ] || session_fail "SIG$signal: no program running"
  kill -s "$signal" "$program"
  headless_wait
  [ "$RC" = 1 ] || session_fail "SIG$signal while $moment: ended with $RC: $ERR"
  grep -q "Interrupted." <<<"$ERR" || session_fail "SIG$signal while $moment said: $ERR"
  if [ "$moment" = recording ]; then
    ffprobe -v error "$video" || session_fail "SIG$signal: ffprobe cannot read $video"
  fi
  rm -f "$video"
  expect_no_leftovers
  echo "SIG$signal while $moment: $ERR"
done

# --- what a script may get wrong, or the machine may lack ---------------------
expect_fault 1 "Cannot write" --simulate --headless --snapshot "$out/missing/a.jpg"
mkdir -p "$out/folder.jpg"
expect_fault 1 "Cannot write" --simulate --headless --snapshot "$out/folder.jpg"
expect_fault 2 "--record" --simulate --headless --record -5 --output "$out/x.avi"
expect_fault 2 "--headless" --simulate --headless
expect_fault 2 "--snapshot" --simulate --headless --snapshot
# The real devices of a build machine, which has no camera: nothing to take
# a picture of. (The catalogue names only the RVX camera, which is looked
# for at once; a Q5 camera is waited for.)
cp "$SESSION_DIR/program/DocumentDevice.ini" "$SESSION_DIR/catalogue.ini"
printf '[Device]\ncount=1\nDev01=RVXM4120\n' >"$SESSION_DIR/program/DocumentDevice.ini"
expect_fault 1 "No camera" --headless --snapshot "$out/none.jpg"
cp "$SESSION_DIR/catalogue.ini" "$SESSION_DIR/program/DocumentDevice.ini"
for f in "$out/missing/a.jpg" "$out/x.avi" "$out/none.jpg"; do
  [ ! -e "$f" ] || session_fail "$f was made by a run that failed"
done
expect_no_leftovers

# The settings file is read, never written, without a window.
before=$(md5sum <"$SESSION_DIR/program/TovekCamera.INI")
headless --simulate --headless --snapshot "$out/again.jpg"
[ "$RC" = 0 ] || session_fail "a second snapshot ended with $RC: $ERR"
[ "$(md5sum <"$SESSION_DIR/program/TovekCamera.INI")" = "$before" ] ||
  session_fail "--headless changed the settings file"
echo "PASS"
