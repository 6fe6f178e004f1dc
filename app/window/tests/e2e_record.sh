#!/usr/bin/env bash
# Recording end to end, as a user does it: the program starts on the emulated
# camera the catalogue's entry names, File > Start Record, ten seconds, File >
# Stop Record, File > Exit. Then ffprobe and GStreamer, which share no code
# with the program, read the one AVI file it left. With "minimised" the
# window is unmapped (as a window manager iconifies it) while it records:
# the view is handed no picture meanwhile, and the file is just as complete.
#
#   e2e_record.sh PROGRAM_FOLDER q5|rvx [minimised]
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
camera=$2
minimised=${3:-}
for tool in ffprobe gst-discoverer-1.0 gst-launch-1.0; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done

# The shipped DocumentDevice.ini lists the Q5 camera first and the RVX one
# second; each records at its family's nominal rate.
case "$camera" in
  q5) select=34790 width=1024 height=768 rate=16 ;;
  rvx) select=34791 width=1280 height=720 rate=30 ;;
  *)
    echo "usage: $0 PROGRAM_FOLDER q5|rvx" >&2
    exit 2
    ;;
esac
record_seconds=10
audio_rate=22050 # the simulated microphone

session_prepare "$bin"
records="$SESSION_DIR/records/"
mkdir -p "$records"
session_write_ini "RecordPath=$records" "AudioIndex=1" "DeviceSelect=$select"
report="$SESSION_DIR/frames.txt"
export TOVEK_FRAME_REPORT="$report" # a line a second: frames handed to the view
presented() { tail -n 1 "$report" | tr ' ' '\n' | sed -n 's/^presented=//p'; }
session_start

# Start Record is enabled once the picture plays (by itself, at the first
# attach after start-up).
session_menu_when_enabled s 30
started=$SESSION_KEY_TIME
# The file is there once the command is through (a message box instead says
# why not).
until compgen -G "${records}Videos/*.avi" >/dev/null; do
  session_expect_main_window_only "after Start Record"
  awk -v s="$started" -v now="$(session_now)" 'BEGIN { exit !(now < s + 10) }' ||
    session_fail "no AVI file in ${records}Videos 10 s after Start Record"
  sleep 0.1
done
if [ -n "$minimised" ]; then
  xdotool windowunmap --sync "$SESSION_WIN"
  sleep 2 # a report line written after the last picture shown
  hidden_from=$(presented)
  sleep $((record_seconds - 4))
  hidden_to=$(presented)
  xdotool windowmap --sync "$SESSION_WIN"
  [ "$hidden_from" = "$hidden_to" ] ||
    session_fail "the view was handed $((hidden_to - hidden_from)) pictures while minimised"
  shown_again() { [ "$(presented)" -gt "$hidden_to" ]; }
  session_until 10 "a picture after the window came back" shown_again
else
  sleep "$record_seconds"
fi
session_menu r || session_fail "Stop Record is disabled while recording"
stopped=$SESSION_KEY_TIME
session_expect_main_window_only "after Stop Record"
session_exit 20

# Exactly one file, named after the local time the recording started.
shopt -s nullglob
files=("$records"Videos/*)
[ ${#files[@]} = 1 ] || session_fail "expected one file in ${records}Videos, found: ${files[*]:-none}"
file=${files[0]}
name=$(basename "$file")
[[ "$name" =~ ^([0-9]{4})\.([0-9]{2})\.([0-9]{2})-([0-9]{2})H([0-9]{2})M([0-9]{2})s\.avi$ ]] ||
  session_fail "file name $name is not YYYY.MM.DD-HHhMMmSSs.avi"
r=("${BASH_REMATCH[@]}")
named=$(date -d "${r[1]}-${r[2]}-${r[3]} ${r[4]}:${r[5]}:${r[6]}" +%s)
awk -v n="$named" -v s="$started" 'BEGIN { exit !(n >= int(s) - 1 && n <= s + 3) }' ||
  session_fail "$name does not carry the start time $(date -d "@${started%.*}" +%T)"

# ffprobe: the streams, their formats, the header's frame count against the
# frames read, the audio's length from its packets.
probe() { ffprobe -v error "$@" "$file"; }
field() { sed -n "s/^$1=//p" <<<"$2" | head -n 1; }
video=$(probe -select_streams v -count_frames -of default=nw=1 \
  -show_entries stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_frames,nb_read_frames)
audio=$(probe -select_streams a -of default=nw=1 -show_entries stream=codec_type,sample_rate,nb_frames)
[ "$(probe -show_entries stream=index -of csv=p=0 | wc -l)" = 2 ] ||
  session_fail "expected two streams: $(probe -show_entries stream=codec_type -of csv=p=0 | xargs)"
if [ "$(field codec_name "$video")" != mjpeg ] || [ "$(field codec_tag_string "$video")" != MJPG ]; then
  session_fail "the video stream is not Motion-JPEG: $video"
fi
[ "$(field width "$video")x$(field height "$video")" = "${width}x${height}" ] ||
  session_fail "video is $(field width "$video")x$(field height "$video"), the camera ${width}x${height}"
[ "$(field r_frame_rate "$video")" = "$rate/1" ] || session_fail "video rate $(field r_frame_rate "$video")"
frames=$(field nb_read_frames "$video")
[ "$frames" = "$(field nb_frames "$video")" ] ||
  session_fail "the header counts $(field nb_frames "$video") frames, the file holds $frames"
[ "$(field sample_rate "$audio")" = "$audio_rate" ] || session_fail "audio stream: $audio"
audio_end=$(probe -select_streams a -show_entries packet=pts_time,duration_time -of csv=p=0 |
  awk -F, 'END { printf "%.3f", $1 + $2 }')

seconds=$(awk -v a="$started" -v b="$stopped" 'BEGIN { printf "%.3f", b - a }')
video_end=$(awk -v f="$frames" -v r="$rate" 'BEGIN { printf "%.3f", f / r }')
echo "recorded ${seconds} s: $frames frames (${video_end} s) at $rate/s, ${audio_end} s of sound"
# The test's clock runs from its click to its click; on a busy machine the
# program may see each click a little later, hence the wider lower margin.
awk -v f="$frames" -v r="$rate" -v s="$seconds" 'BEGIN { exit !(f >= r * (s - 1.5) && f <= r * (s + 1)) }' ||
  session_fail "$frames frames for ${seconds} s at $rate per second"
awk -v a="$audio_end" -v v="$video_end" 'BEGIN { d = a - v; exit !(d <= 1 && d >= -1) }' ||
  session_fail "sound lasts ${audio_end} s, the picture ${video_end} s"

# GStreamer: its AVI demuxer finds the same streams, and every frame and every
# sound buffer passes through it and a JPEG decoder to the end.
discovered=$(gst-discoverer-1.0 -v "$file" 2>&1) || session_fail "gst-discoverer-1.0: $discovered"
grep -Eq "video #[0-9]+: image/jpeg.*width=\(int\)$width, height=\(int\)$height" <<<"$discovered" ||
  session_fail "GStreamer finds no ${width}x${height} JPEG video: $discovered"
grep -Eq "audio #[0-9]+: audio/.*rate=\(int\)$audio_rate" <<<"$discovered" ||
  session_fail "GStreamer finds no $audio_rate Hz audio: $discovered"
played=$(timeout 60 gst-launch-1.0 -q filesrc location="$file" ! avidemux name=demux \
  demux.video_0 ! queue ! jpegdec ! fakesink demux.audio_0 ! queue ! fakesink 2>&1) ||
  session_fail "GStreamer cannot play the file to its end: $played"
echo "PASS: $name"
