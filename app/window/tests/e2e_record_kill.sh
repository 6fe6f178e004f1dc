#!/usr/bin/env bash
# A recording cut off as a crash or a power loss cuts it: the program records
# on the emulated Q5 camera with sound, and is killed (SIGKILL) ten seconds
# in. ffprobe reads at least eight seconds of frames from the file as it was
# left; the next start repairs it (a notice names the file) and leaves every
# frame that was whole, counted by the header, and GStreamer plays it through.
#
#   e2e_record_kill.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
for tool in ffprobe gst-launch-1.0; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done
rate=16 # the Q5 family's frames per second

session_prepare "$bin"
records="$SESSION_DIR/records/"
mkdir -p "$records"
session_write_ini "RecordPath=$records" "AudioIndex=1" "DeviceSelect=34790"
session_start
session_menu_when_enabled s 30
until compgen -G "${records}Videos/*.avi" >/dev/null; do
  session_expect_main_window_only "after Start Record"
  sleep 0.1
done
sleep 10
kill -KILL "$SESSION_PID"
wait "$SESSION_PID" 2>/dev/null || true
SESSION_PID=""
SESSION_WIN=""

shopt -s nullglob
files=("$records"Videos/*.avi)
[ ${#files[@]} = 1 ] || session_fail "expected one file in ${records}Videos, found: ${files[*]:-none}"
file=${files[0]}
# video: frames the header counts, frames read
count() {
  ffprobe -v error -select_streams v -count_packets -of csv=p=0 \
    -show_entries stream=nb_frames,nb_read_packets "$file"
}
IFS=, read -r header_frames read_frames < <(count) || session_fail "ffprobe cannot read $file"
echo "killed after 10 s: the header counts $header_frames frames, ffprobe reads $read_frames"
((read_frames >= 8 * rate)) || session_fail "only $read_frames frames readable after 10 s at $rate/s"
((header_frames >= 8 * rate)) || session_fail "the header counts only $header_frames frames"

# The next start repairs the file and says so.
session_start
session_until 20 "the repair notice" grep -q "Repaired the unfinished recording $file" \
  "$SESSION_DIR/program.log"
session_exit 20
IFS=, read -r header_frames repaired_frames < <(count) || session_fail "ffprobe cannot read $file"
echo "repaired: the header counts $header_frames frames, ffprobe reads $repaired_frames"
[ "$header_frames" = "$repaired_frames" ] ||
  session_fail "after the repair the header counts $header_frames frames, the file holds $repaired_frames"
((repaired_frames >= read_frames)) || session_fail "the repair lost frames: $read_frames -> $repaired_frames"
played=$(timeout 60 gst-launch-1.0 -q filesrc location="$file" ! avidemux name=demux \
  demux.video_0 ! queue ! jpegdec ! fakesink demux.audio_0 ! queue ! fakesink 2>&1) ||
  session_fail "GStreamer cannot play the repaired file to its end: $played"
echo "PASS: $(basename "$file")"
