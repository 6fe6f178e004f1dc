#!/usr/bin/env bash
# Page mode as a teacher uses it, on the emulated Q5 camera: the desk scene
# (a page lying at an angle on a dark desk, tovek-sim scene desk), F6, then
# Ctrl+E. The snapshot, read back by ffmpeg, which shares no code with the
# program, is the page alone: upright, at the page's aspect (A4, taller than
# wide, unlike the camera's 4:3 picture), paper out to its four corners.
# After F8 (a quarter turn to the right) the page lies on its side.
#
#   e2e_page_mode.sh PROGRAM_FOLDER [SCREENSHOT]   (the snapshot is copied
#   beside SCREENSHOT as NAME-snapshot.jpg)
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
screenshot=${2:-}
command -v ffprobe >/dev/null || session_fail "ffprobe is missing (scripts/install-deps)"
[ -x "$bin/tovek-sim" ] || session_fail "no $bin/tovek-sim (build first)"

session_prepare "$bin"
pictures="$SESSION_DIR/pictures/"
images="${pictures}Images/"
session_write_ini "CaptruePath=$pictures" "DeviceSelect=34790"
session_start

sim() { XDG_RUNTIME_DIR="$SESSION_DIR/runtime" "$bin/tovek-sim" --pid "$SESSION_PID" "$@" >/dev/null 2>&1; }
session_until "$SESSION_REACTION_S" "tovek-sim scene desk answered" sim scene desk

shopt -s nullglob
count() {
  local p=("$images"*.jpg)
  echo ${#p[@]}
}
# size FILE: "WIDTH HEIGHT" of a picture, as ffprobe reads it.
size() {
  ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$1" |
    tr x ' '
}

# A snapshot a second until the picture plays (Capture is enabled only then).
end=$(($(date +%s) + 30))
until (($(count) > 0)); do
  [ "$(date +%s)" -lt "$end" ] || session_fail "no picture in $images 30 s after start"
  xdotool windowfocus --sync "$SESSION_WIN"
  session_ctrl_key e
  sleep 1
done
files=("$images"*.jpg)
read -r w h < <(size "${files[-1]}")
[ "$w $h" = "1024 768" ] || session_fail "before page mode the snapshot is $w x $h"

# F6, then a snapshot a second until one is the flattened page, taller than
# wide: the page is found within a second of page mode starting, so the
# first may still be the camera's picture.
xdotool windowfocus --sync "$SESSION_WIN"
xdotool key F6
end=$(($(date +%s) + 20))
snapshot=
while [ -z "$snapshot" ]; do
  [ "$(date +%s)" -lt "$end" ] || session_fail "no snapshot of the page alone 20 s after F6"
  sleep 1.1 # names go by the second
  before=$(count)
  xdotool windowfocus --sync "$SESSION_WIN"
  session_ctrl_key e
  more() { (($(count) > before)); }
  session_until "$SESSION_REACTION_S" "a snapshot after Ctrl+E" more
  files=("$images"*.jpg)
  read -r w h < <(size "${files[-1]}")
  ((h <= w)) || snapshot=${files[-1]}
done
# F8 turns the picture a quarter to the right: the page turns with it.
sleep 1.1
before=$(count)
xdotool windowfocus --sync "$SESSION_WIN"
xdotool key F8
session_ctrl_key e
session_until "$SESSION_REACTION_S" "a snapshot after F8 and Ctrl+E" more
files=("$images"*.jpg)
turned=${files[-1]}
if [ -n "$screenshot" ]; then
  session_screenshot "$screenshot"
  cp "$snapshot" "${screenshot%.*}-snapshot.jpg"
fi
session_exit 20

read -r w h < <(size "$snapshot")
# A4: 1.414 high for 1 wide, within 3 %.
awk -v w="$w" -v h="$h" 'BEGIN { r = h / w; exit !(r > 1.37 && r < 1.46) }' ||
  session_fail "the page is $w x $h, not at A4's aspect"
read -r tw th < <(size "$turned")
awk -v w="$tw" -v h="$th" 'BEGIN { r = w / h; exit !(r > 1.37 && r < 1.46) }' ||
  session_fail "turned a quarter, the page is $tw x $th, not on its side at A4's aspect"
gray="$SESSION_DIR/page.gray"
ffmpeg -loglevel error -y -i "$snapshot" -pix_fmt gray -f rawvideo "$gray"
# Paper at each corner (the desk is below 100), a little inside.
inset=12
for point in "$inset $inset" "$((w - inset)) $inset" "$inset $((h - inset))" "$((w - inset)) $((h - inset))"; do
  read -r x y <<<"$point"
  read -r lo hi < <(gray_box "$gray" "$w" "$x" "$y")
  ((lo > 150)) || session_fail "desk, not paper, at $x,$y of the $w x $h page (darkest $lo)"
done
echo "page: $(basename "$snapshot"), $w x $h"
echo "PASS"
