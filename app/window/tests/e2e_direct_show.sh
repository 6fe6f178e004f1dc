#!/usr/bin/env bash
# The live picture drawn by the X server straight from the blocks the decoder
# wrote, on the emulated Q5 camera fitted into the window:
#   - the view's surface, a child window, covers the picture, and the frame
#     report counts the frames drawn that way;
#   - the screen there shows the camera's picture: it matches a snapshot
#     shrunk to the same size (a wrong place, stride or colour order would
#     not);
#   - a line dragged with the mouse over the surface reaches the annotation
#     editor: it is in the next snapshot and on the screen;
#   - minimised and restored, the picture goes on the same way.
#
#   e2e_direct_show.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
for tool in ffmpeg xwininfo od awk; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done

session_prepare "$bin"
pictures="$SESSION_DIR/pictures/"
report="$SESSION_DIR/frames.txt"
work="$SESSION_DIR/work"
mkdir -p "$work"
session_write_ini "CaptruePath=$pictures" "DeviceSelect=34790" "ZoomMode=3" \
  "WindowPos=00000000000000000004000000030000"
export TOVEK_FRAME_REPORT=$report
session_start
session_wait_size 1024x768
session_measure_client_top

field() { tail -n 1 "$report" 2>/dev/null | tr ' ' '\n' | awk -F= -v k="$1" '$1 == k { print $2 }'; }
direct_beyond() { local n; n=$(field direct); [ -n "$n" ] && [ "$n" -gt "$1" ]; }
session_until 30 "frames drawn by the X server" direct_beyond 16

# The surface: the main window's child as large as the frames.
dest=$(field dest)
surface=$(xwininfo -children -id "$SESSION_WIN" | awk -v d="$dest" '
  $0 ~ "^ +0x" { for (i = 1; i <= NF; i++) if ($i ~ "^" d "[+]") { split($i, g, "+"); print g[2], g[3] } }')
[ -n "$surface" ] || session_fail "no child window of $dest over the picture"
read -r sx sy <<<"$surface"
sw=${dest%x*} sh=${dest#*x}
echo "surface ${sw}x${sh} at $sx,$sy"

shopt -s nullglob
snapshots() {
  local p=("$pictures"Images/*.jpg)
  echo ${#p[@]}
}
# snapshot N: clicks Capture and waits for the Nth picture; prints its path.
snapshot() {
  session_click_panel capture
  has() { [ "$(snapshots)" -ge "$1" ]; }
  session_until "$SESSION_REACTION_S" "snapshot $1" has "$1"
  local p=("$pictures"Images/*.jpg)
  ls -t "${p[@]}" | head -n 1
}
# small FILE OUT: FILE's brightness at the surface's size, then shrunk to
# 256 x 192, one byte a pixel.
small() {
  ffmpeg -loglevel error -y -i "$1" -vf "scale=$sw:$sh:flags=area,format=gray,scale=256:192:flags=area" \
    -f rawvideo "$2"
}
# screen OUT: the surface's part of the screen, the same way.
screen() {
  local full=$work/screen.gray w h
  session_grab_gray "$full"
  read -r _ _ w h < <(session_geometry)
  ffmpeg -loglevel error -y -f rawvideo -pix_fmt gray -video_size "${w}x${h}" -i "$full" \
    -vf "crop=$sw:$sh:$sx:$sy,scale=256:192:flags=area" -f rawvideo "$1"
}
# mean_difference A B: the mean absolute difference of two such pictures.
mean_difference() {
  paste <(od -An -tu1 -v "$1" | tr -s ' ' '\n' | grep .) \
    <(od -An -tu1 -v "$2" | tr -s ' ' '\n' | grep .) |
    awk '{ d = $1 - $2; s += d < 0 ? -d : d; n++ } END { printf "%.1f\n", n ? s / n : 999 }'
}
matches_screen() {
  screen "$work/screen.small"
  local d
  d=$(mean_difference "$work/screen.small" "$1")
  echo "screen against snapshot: mean difference $d"
  awk -v d="$d" 'BEGIN { exit !(d < 8) }'
}

first=$(snapshot 1)
small "$first" "$work/first.small"
session_until "$SESSION_REACTION_S" "the screen showing the picture" matches_screen "$work/first.small"

# A line across the page's text, dragged over the surface.
session_click_panel graphic
session_click_tool line
session_click_panel graphic
session_until 10 "the surface back after the panel closed" direct_beyond "$(field direct)"
session_drag $((sx + sw / 5)) $((sy + sh / 4)) $((sx + sw * 4 / 5)) $((sy + sh / 3)) 16
second=$(snapshot 2)
small "$second" "$work/second.small"
line=$(mean_difference "$work/first.small" "$work/second.small")
echo "the line changed the snapshot by $line on average"
awk -v d="$line" 'BEGIN { exit !(d > 0.3) }' ||
  session_fail "the line dragged over the surface is not in the snapshot (difference $line)"
session_until "$SESSION_REACTION_S" "the screen showing the line" matches_screen "$work/second.small"

# Minimised and back: new frames go the same way.
xdotool windowminimize --sync "$SESSION_WIN" 2>/dev/null || xdotool windowunmap --sync "$SESSION_WIN"
sleep 1
xdotool windowmap --sync "$SESSION_WIN"
session_until 10 "frames drawn by the X server after the window came back" direct_beyond "$(field direct)"
session_until "$SESSION_REACTION_S" "the screen showing the picture again" matches_screen "$work/second.small"
session_expect_main_window_only "at the end"
session_exit 20
echo "PASS"
