#!/usr/bin/env bash
# The panels as a new user tries them on the emulated Q5 camera, with the
# mouse on the buttons (their places come from the window's geometry and the
# panels' layout, the menu bar's height from where the File menu opens):
#   - the command panel's Record button records, a second click stops it, and
#     ffprobe reads the one AVI file it left;
#   - Control shows the tool bar, whose Neg button inverts the picture on the
#     screen;
#   - Setting opens "Capture and record setting"; a picture folder typed into
#     it and saved takes the next snapshots, from the Capture button and from
#     Ctrl+E on the picture, into its "Images" folder.
#
#   e2e_panels.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
for tool in ffprobe od; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done

# The layout the program builds (window/MainLayout.h, widgets/ControlToolBar.h,
# widgets/SettingsDialog.h): the command panel 80 pixels high; the tool bar column under
# it, 138 pixels wide, with Neg, 32 pixels, at 83, 281; in the settings dialog
# the picture folder edit at 59, 31, 181 x 14 dialog units and the 38-pixel
# Save button at 254, 206 (x px = dlu * 6 / 4, y px = dlu * 13 / 8).
panel_height=80
tool_bar_width=138
neg_x=$((83 + 16)) neg_y=$((281 + 16))
edit_x=$(((59 + 181 / 2) * 6 / 4)) edit_y=$(((31 + 14 / 2) * 13 / 8))
save_x=$((254 * 6 / 4 + 19)) save_y=$((206 * 13 / 8 + 19))
setting_title="Capture and record setting"

session_prepare "$bin"
pictures="$SESSION_DIR/pictures/"
records="$SESSION_DIR/records/"
# A folder as a person types it: with a space, without the final separator,
# not there yet.
new_pictures="$SESSION_DIR/new pictures"
session_write_ini "CaptruePath=$pictures" "RecordPath=$records" "AudioIndex=1" \
  "DeviceSelect=34790" "WindowPos=00000000000000000004000000030000"
session_start
session_wait_size 1024x768
session_measure_client_top
top=$SESSION_CLIENT_TOP
read -r _ _ width height < <(session_geometry)

# A box in the middle of the video area (under the panel, right of the tool
# bar column when that shows, above the status bar).
view_box() {
  local left=$1
  local cx=$(((left + width) / 2)) cy=$(((top + panel_height + height - 24) / 2))
  echo $((cx - 150)) $((cy - 100)) 300 200
}
# The emulated page is mostly white: the picture plays once the box is bright.
bright() {
  local luma
  # shellcheck disable=SC2046 # four numbers
  luma=$(session_luma $(view_box 0))
  ((luma > 150))
}
session_until 30 "the picture plays" bright
session_expect_main_window_only "once the picture plays"

# --- Record, and Record again.
has_file() { compgen -G "$1" >/dev/null; }
session_click_panel record
session_until 10 "an AVI file in ${records}Videos after a click on Record" \
  has_file "${records}Videos/*.avi"
session_expect_main_window_only "after a click on Record"
sleep 3
session_click_panel record
shopt -s nullglob
videos=("$records"Videos/*.avi)
[ ${#videos[@]} = 1 ] || session_fail "expected one AVI file, found: ${videos[*]}"
video=${videos[0]}
# Stopped: the file is closed, with its header counting what it holds, and
# grows no more.
closed() {
  local v
  v=$(ffprobe -v error -select_streams v -count_frames -of default=nw=1:nk=1 \
    -show_entries stream=nb_frames,nb_read_frames "$video" 2>/dev/null | xargs) || return 1
  [[ "$v" =~ ^([0-9]+)\ ([0-9]+)$ ]] && ((BASH_REMATCH[1] > 0)) &&
    [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[2]}" ]
}
session_until 10 "a closed AVI file after the second click on Record" closed
size=$(stat -c %s "$video")
sleep 1
[ "$(stat -c %s "$video")" = "$size" ] || session_fail "$video still grows after the second click on Record"
codec=$(ffprobe -v error -select_streams v -of csv=p=0 -show_entries stream=codec_name,width,height "$video")
[ "$codec" = "mjpeg,1024,768" ] || session_fail "the recording's video stream: $codec"
frames=$(ffprobe -v error -select_streams v -of csv=p=0 -show_entries stream=nb_frames "$video")
echo "Record: $(basename "$video"), $frames frames"

# --- Control shows the tool bar; its Neg button inverts the picture.
column_box="10 $((top + panel_height + 20)) 100 300"
# shellcheck disable=SC2086 # four numbers
column_before=$(session_luma $column_box)
session_click_panel control
column_changed() {
  local now
  # shellcheck disable=SC2086 # four numbers
  now=$(session_luma $column_box)
  ((now - column_before > 40 || column_before - now > 40))
}
session_until "$SESSION_REACTION_S" "the tool bar column after a click on Control" column_changed
# shellcheck disable=SC2046 # four numbers
before=$(session_luma $(view_box $tool_bar_width))
((before > 150)) || session_fail "the picture beside the tool bar is dark ($before) before Neg"
session_click $neg_x $((top + panel_height + neg_y))
inverted() {
  # shellcheck disable=SC2046 # four numbers
  after=$(session_luma $(view_box $tool_bar_width))
  local sum=$((before + after))
  ((before - after > 80 && sum > 225 && sum < 285))
}
after=""
for _ in $(seq 25); do
  inverted && break
  sleep 0.2
done
inverted || session_fail "the picture's brightness went from $before to $after after a click on Neg"
echo "Neg: the picture's brightness went from $before to $after"
session_expect_main_window_only "after Neg"

# --- Setting: a new picture folder, typed and saved.
session_click_panel setting
dialog_open() { [ -n "$(session_window_named "$setting_title")" ]; }
# Opening lists the sound sources and compressors, which takes a moment.
session_until 15 "\"$setting_title\" after a click on Setting" dialog_open
dialog=$(session_window_named "$setting_title")
xdotool windowfocus --sync "$dialog"
session_click_in "$dialog" $edit_x $edit_y
xdotool key ctrl+a
xdotool type --delay 10 "$new_pictures"
session_click_in "$dialog" $save_x $save_y
dialog_closed() { ! dialog_open; }
session_until "$SESSION_REACTION_S" "\"$setting_title\" closed after a click on Save" dialog_closed
ini=$SESSION_DIR/program/TovekCamera.INI
stored=$(sed -n 's/^CaptruePath=//p' "$ini" | tr -d '\r')
# Stored with its closing separator, so that the next start keeps it.
[ "$stored" = "$new_pictures/" ] || session_fail "Save stored CaptruePath=\"$stored\", typed \"$new_pictures\""

# --- The next snapshots land in the new folder.
images="$new_pictures/Images/"
session_click_panel capture
session_until "$SESSION_REACTION_S" "a picture in $images after a click on Capture" has_file "${images}*.jpg"
# Ctrl+E on the picture, a second later so that the name differs.
sleep 1.1
session_click $(((tool_bar_width + width) / 2)) $(((top + panel_height + height) / 2))
xdotool windowfocus --sync "$SESSION_WIN"
session_ctrl_key e
two_pictures() {
  local p=("$images"*.jpg)
  [ ${#p[@]} = 2 ]
}
session_until "$SESSION_REACTION_S" "a second picture in $images after Ctrl+E" two_pictures
old=("$pictures"Images/*)
[ ${#old[@]} = 0 ] || session_fail "pictures still land in the old folder: ${old[*]}"
session_expect_main_window_only "after the snapshots"
session_exit 20

for picture in "$images"*.jpg; do
  shape=$(ffprobe -v error -of csv=p=0 -show_entries stream=codec_name,width,height "$picture")
  [ "$shape" = "mjpeg,1024,768" ] || session_fail "$(basename "$picture"): $shape"
  # Taken after Neg: the page is dark in the file too.
  luma=$(ffmpeg -loglevel error -i "$picture" -frames:v 1 -vf "format=gray,scale=1:1:flags=area" \
    -f rawvideo - | od -An -tu1 | tr -d ' \n')
  ((luma < 255 - 150)) || session_fail "$(basename "$picture") is not the negative picture (brightness $luma)"
  echo "snapshot: $(basename "$picture"), brightness $luma"
done
echo "PASS"
