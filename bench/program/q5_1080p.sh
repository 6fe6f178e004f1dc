#!/usr/bin/env bash
# The program on the emulated Q5 camera at 1920 x 1080 (16 pictures a
# second), the view fitting the picture into 1280 x 720, one annotation line
# drawn. Measured against D paced = libjpeg-turbo decoding the camera's
# pictures at its pace (bench/camera_pictures.cpp), per frame:
#   - playing: the CPU of the program's own threads (every thread but the Q5
#     driver's reader, whose reads from the emulated camera stand for the USB
#     hardware); the age of each frame when painted, in frame periods, at the
#     median and the 99th percentile; minor page faults;
#   - recording the same picture: the resident memory;
#   - the window minimised (unmapped, as a window manager iconifies it) and a
#     headless recording: the program's CPU per camera frame (nothing shows
#     the pixels, so nothing should decode them).
#
#   q5_1080p.sh BIN_FOLDER [SECONDS]   (default 20 s a stretch)
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
session_require_display "$@"

bin=$(cd "$1" && pwd)
seconds=${2:-20}
period_ms=62.5
program_baseline "$bin" 1920x1080 16
program_prepare "$bin"
records="$SESSION_DIR/records/"
mkdir -p "$records"
export TOVEK_SIM_Q5_SIZE=1920x1080 TOVEK_SIM_Q5_REPLAY=$program_replayed
# A window 1280 wide (its largest) and 838 high: below the menu bar and the
# command panel a view of 1280 x 720 while no panel stands at its right.
program_start "RecordPath=$records" "AudioIndex=1" "DeviceSelect=34790" \
  "WindowPos=00000000000000000005000046030000" "ZoomMode=3"

session_measure_client_top
read -r _ _ width height < <(session_geometry)
session_click_panel graphic
sleep 1
session_click_tool line
top=$((SESSION_CLIENT_TOP + 80))
session_drag 60 $((top + 60)) $((width - 200)) $((height - 120))
# The graphic panel closes again; the line stays on the picture.
session_click_panel graphic

program_perf playing "$seconds"
program_stretch playing.txt "$seconds"
session_menu_when_enabled s 30
program_perf recording "$seconds"
program_stretch recording.txt "$seconds"
session_menu r || session_fail "Stop Record is disabled while recording"
xdotool windowunmap --sync "$SESSION_WIN"
program_perf minimised "$seconds"
program_stretch minimised.txt "$seconds"
painted_before=$(program_field painted)
xdotool windowmap --sync "$SESSION_WIN"
painted_more() { [ "$(program_field painted)" -gt "$painted_before" ]; }
session_until 30 "the picture shows again after the window came back" painted_more
session_exit 30

# CPU nanoseconds of process $1's own threads: all but the driver's reader
# (the scheduler's own count: 10 ms ticks would fall by chance on threads
# that run in short bursts).
own_ns() {
  local total=0 task
  for task in /proc/"$1"/task/*; do
    [ "$(cat "$task/comm" 2>/dev/null)" = tovek-q5-read ] && continue
    total=$((total + $(cut -d' ' -f1 "$task/schedstat" 2>/dev/null || echo 0)))
  done
  echo "$total"
}
# "NAME NANOSECONDS" a line, for each thread of process $1, so that the
# headless stretch can show where its CPU went.
thread_ns() {
  local task
  for task in /proc/"$1"/task/*; do
    echo "$(tr ' ' _ <"$task/comm" 2>/dev/null) $(cut -d' ' -f1 "$task/schedstat" 2>/dev/null || echo 0)"
  done
}
headless_video="$SESSION_DIR/headless.avi"
(cd "$SESSION_DIR/home" &&
  exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TOVEK_FRAME_REPORT \
    HOME="$SESSION_DIR/home" XDG_RUNTIME_DIR="$SESSION_DIR/runtime" \
    "$SESSION_DIR/program/TovekCamera" --simulate --headless --record $((seconds + 10)) \
    --output "$headless_video") >"$SESSION_DIR/headless.log" 2>&1 &
headless_pid=$!
sleep 5 # the camera plays and the recording runs
headless_t0=$(session_now)
headless_c0=$(own_ns "$headless_pid")
thread_ns "$headless_pid" >"$SESSION_DIR/headless_threads0.txt"
sleep "$seconds"
headless_c1=$(own_ns "$headless_pid")
thread_ns "$headless_pid" >"$SESSION_DIR/headless_threads1.txt"
headless_t1=$(session_now)
wait "$headless_pid" || session_fail "the headless recording failed: $(cat "$SESSION_DIR/headless.log")"
headless_frames=$(ffprobe -v error -select_streams v -count_frames -of csv=p=0 \
  -show_entries stream=nb_read_frames "$headless_video")
# The sound's end in the file, to set beside the picture's (frames / 16).
headless_sound=$(ffprobe -v error -select_streams a -show_entries packet=pts_time,duration_time \
  -of csv=p=0 "$headless_video" | awk -F, 'END { printf "%.2f", $1 + $2 }')

echo "  playing, one line drawn:"
program_summary playing.txt mode=playing ages=1 hardware=tovek-q5-read d_paced="$d_paced_ms" \
  period="$period_ms" limit=1.25 "row=Whole program per frame, 1920x1080 into 1280x720, one line"
echo "  while recording:"
program_summary recording.txt mode=resident limit=160 "row=Resident memory recording 1920x1080"
echo "  window minimised:"
program_summary minimised.txt mode=hidden hardware=tovek-q5-read d_paced="$d_paced_ms" \
  period="$period_ms" limit=0.1 "row=Window minimised, program per frame"
echo "  headless recording:"
awk -v c0="$headless_c0" -v c1="$headless_c1" -v t0="$headless_t0" -v t1="$headless_t1" \
  -v d_paced="$d_paced_ms" -v period="$period_ms" -v recorded="$headless_frames" \
  -v sound="$headless_sound" '
BEGIN {
  frames = (t1 - t0) * 1000 / period
  ms = (c1 - c0) / 1e6 / frames
  printf "  %.0f camera frames measured, %d in the file; own threads %.3f ms CPU/frame (%.3f x D paced)\n", frames, recorded, ms, ms / d_paced
  printf "  the file: %.2f s of picture, %.2f s of sound\n", recorded * period / 1000, sound
  printf "GOAL\tHeadless recording, program per frame\t%.3f\t0.100\tx D paced\n", ms / d_paced
}'
# Per thread (threads of one name summed), the dearest first.
awk -v t0="$headless_t0" -v t1="$headless_t1" -v period="$period_ms" '
NR == FNR { before[$1] += $2; next }
{ after[$1] += $2 }
END {
  frames = (t1 - t0) * 1000 / period
  for (name in after) {
    ms = (after[name] - before[name]) / 1e6 / frames
    if (ms > 0.0005) printf "    %-18s %.3f ms CPU/frame\n", name, ms
  }
}' "$SESSION_DIR/headless_threads0.txt" "$SESSION_DIR/headless_threads1.txt" | sort -k2 -n -r
