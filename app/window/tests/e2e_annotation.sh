#!/usr/bin/env bash
# A rectangle drawn over the live picture as a new user draws it, on the
# emulated Q5 camera in the "Actual Size" zoom (picture pixels sit one to one
# on the screen, shifted by the part of the picture that is cut off):
#   - the command panel's Graphic button shows the tool panel at the right;
#   - with its Rectangle tool, a drag of the mouse leaves a dark outline (the
#     default pen: black, one pixel) on the light page where the pointer went;
#   - a snapshot from the Capture button holds that outline at the same
#     picture pixels, read back with ffmpeg;
#   - the tool panel's Clear button takes the outline away again.
#
#   e2e_annotation.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
for tool in ffprobe od awk; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done

# The layout the program builds (window/MainLayout.h): the command panel
# 80 pixels high; below it the view, beside the right pane while the tool
# panel shows.
panel_height=80

# The rectangle, in picture pixels of the emulated page (1024 x 768): its
# edges run over the light page between the text, the three shapes and the
# ruler, so the outline shows dark on both of its sides.
rect_left=330 rect_top=385 rect_right=650 rect_bottom=622
# Brightness limits: the outline is darker than dark, the page brighter than
# light (a one-pixel black line stays below 100 in the JPEG file too).
dark=100 light=170

session_prepare "$bin"
pictures="$SESSION_DIR/pictures/"
session_write_ini "CaptruePath=$pictures" "RecordPath=$SESSION_DIR/" "AudioIndex=1" \
  "DeviceSelect=34790" "WindowPos=00000000000000000004000000030000" "ZoomMode=0"
session_start
session_wait_size 1024x768
session_measure_client_top
view_top=$((SESSION_CLIENT_TOP + panel_height))
read -r _ _ width height < <(session_geometry)
view_width=$((width - SESSION_RIGHT_PANE_WIDTH))
work=$SESSION_DIR/work
mkdir -p "$work"

bright() {
  local luma
  luma=$(session_luma 300 $((view_top + 300)) 300 200)
  ((luma > 150))
}
session_until 30 "the picture plays" bright
session_expect_main_window_only "once the picture plays"

# --- Graphic: the right pane with the tool panel takes the place of the
# picture's right part (the page's margin and dark border there).
pane_box="$((width - SESSION_RIGHT_PANE_WIDTH + 4)) $((view_top + 440)) 90 100"
# shellcheck disable=SC2086 # four numbers
pane_before=$(session_luma $pane_box)
session_click_panel graphic
pane_changed() {
  local now
  # shellcheck disable=SC2086 # four numbers
  now=$(session_luma $pane_box)
  ((now - pane_before > 25 || pane_before - now > 25))
}
session_until "$SESSION_REACTION_S" "the tool panel at the right after a click on Graphic" pane_changed

# --- Where the picture lies. Across, the view's width fixes the cut
# (Actual Size centres the picture and cuts it equally on both sides); down,
# the status bar's height, which follows the font, so the rows are found by
# matching the screen with a snapshot: the average brightness of each row.
pictures_now() {
  shopt -s nullglob
  local p=("$pictures"Images/*.jpg)
  echo ${#p[@]}
}
session_click_panel capture
one_picture() { [ "$(pictures_now)" = 1 ]; }
session_until "$SESSION_REACTION_S" "a picture in ${pictures}Images after a click on Capture" one_picture
first_picture_time=$(session_now)
shopt -s nullglob
clean=("$pictures"Images/*.jpg)
shopt -u nullglob
size=$(ffprobe -v error -select_streams v -of csv=p=0 -show_entries stream=width,height "${clean[0]}")
[ "$size" = "1024,768" ] || session_fail "the snapshot's size: \"$size\", not the Q5's 1024,768"
image_width=1024 image_height=768
ffmpeg -loglevel error -y -i "${clean[0]}" -pix_fmt gray -f rawvideo "$work/clean.gray"
cut_x=$(awk -v iw="$image_width" -v w="$view_width" 'BEGIN { print int((iw + 0.5 - w) * 0.5) }')
rows=500

# row_profile FILE WIDTH HEIGHT X Y ROWS: the average brightness of ROWS rows
# view_width wide from X, Y of a grey picture, one number a line.
row_profile() {
  ffmpeg -loglevel error -f rawvideo -pix_fmt gray -video_size "$2x$3" -i "$1" \
    -vf "crop=$view_width:$6:$4:$5,scale=1:$6:flags=area" -f rawvideo - | od -An -tu1 -v |
    tr -s ' \n' '\n' | grep .
}
row_profile "$work/clean.gray" "$image_width" "$image_height" "$cut_x" 0 \
  "$image_height" >"$work/picture.rows"
cut_y=""
aligned() {
  session_grab_gray "$work/screen.gray"
  row_profile "$work/screen.gray" "$width" "$height" 0 "$view_top" $rows >"$work/screen.rows"
  local best
  best=$(awk -v rows=$rows 'NR == FNR { s[NR - 1] = $1; next } { p[FNR - 1] = $1; n = FNR }
    END {
      for (off = 0; off + rows <= n; off++) {
        sum = 0
        for (i = 0; i < rows; i++) { d = s[i] - p[off + i]; sum += d < 0 ? -d : d }
        if (off == 0 || sum < low) { low = sum; at = off }
      }
      printf "%d %.2f\n", at, low / rows
    }' "$work/screen.rows" "$work/picture.rows")
  local offset=${best% *} mismatch=${best#* }
  # Rows one off already differ by several steps of brightness at the text.
  awk -v m="$mismatch" 'BEGIN { exit !(m < 2) }' || return 1
  cut_y=$offset
}
session_until "$SESSION_REACTION_S" "the screen showing the snapshot's rows" aligned
psnr=$(ffmpeg -loglevel info -f rawvideo -pix_fmt gray -video_size "${width}x$height" \
  -i "$work/screen.gray" -f rawvideo -pix_fmt gray -video_size "${image_width}x$image_height" \
  -i "$work/clean.gray" \
  -lavfi "[0]crop=$view_width:$rows:0:${view_top}[a];[1]crop=$view_width:$rows:$cut_x:${cut_y}[b];[a][b]psnr" \
  -f null - 2>&1 | sed -n 's/.*average:\([0-9.inf]*\).*/\1/p')
awk -v p="$psnr" 'BEGIN { exit !(p == "inf" || p + 0 >= 30) }' ||
  session_fail "the screen is not the picture cut at $cut_x, $cut_y (PSNR $psnr dB)"
echo "Actual Size: picture pixel (x, y) shows at view ($((-cut_x)) + x, $((-cut_y)) + y), PSNR $psnr dB"

# Window point of a picture pixel.
win_x() { echo $(($1 - cut_x)); }
win_y() { echo $(($1 - cut_y + view_top)); }

# outline FILE WIDTH DX DY: checks the rectangle's outline in a grey picture
# whose pixel (x + DX, y + DY) shows picture pixel (x, y): dark on each edge,
# light 8 pixels inside and outside, at six places an edge (not at the
# corners and middles, where the selected rectangle's markers lie). Sets
# "why" to the first place that is not so.
why=""
outline() {
  local file=$1 w=$2 dx=$3 dy=$4 k x y spot min ex ey ix iy side
  why=""
  for k in 1 2 3 5 6 7; do
    x=$((rect_left + (rect_right - rect_left) * k / 8))
    y=$((rect_top + (rect_bottom - rect_top) * k / 8))
    # edge point, then the point inside and the point outside it
    for spot in "$rect_left $y 8 0" "$rect_right $y -8 0" "$x $rect_top 0 8" "$x $rect_bottom 0 -8"; do
      read -r ex ey ix iy <<<"$spot"
      read -r min _ < <(gray_box "$file" "$w" $((ex + dx)) $((ey + dy)))
      ((min < dark)) || {
        why="no outline at picture pixel $ex,$ey (darkest $min)"
        return 1
      }
      for side in 1 -1; do
        read -r min _ < <(gray_box "$file" "$w" $((ex + side * ix + dx)) $((ey + side * iy + dy)))
        ((min > light)) || {
          why="not light at picture pixel $((ex + side * ix)),$((ey + side * iy)) (darkest $min)"
          return 1
        }
      done
    done
  done
}
# no_outline FILE WIDTH DX DY: light wherever the outline was.
no_outline() {
  local file=$1 w=$2 dx=$3 dy=$4 k x y spot min ex ey
  why=""
  for k in 1 2 3 5 6 7; do
    x=$((rect_left + (rect_right - rect_left) * k / 8))
    y=$((rect_top + (rect_bottom - rect_top) * k / 8))
    for spot in "$rect_left $y" "$rect_right $y" "$x $rect_top" "$x $rect_bottom"; do
      read -r ex ey <<<"$spot"
      read -r min _ < <(gray_box "$file" "$w" $((ex + dx)) $((ey + dy)))
      ((min > light)) || {
        why="still dark at picture pixel $ex,$ey (darkest $min)"
        return 1
      }
    done
  done
}
# screen_shows SECONDS WHAT CHECK: waits for CHECK (outline or no_outline)
# to hold on the screen; fails with its last reason.
screen_shows() {
  local seconds=$1 what=$2 check=$3 end
  end=$(awk -v now="$(session_now)" -v s="$seconds" 'BEGIN { printf "%.3f", now + s }')
  while :; do
    session_grab_gray "$work/screen.gray"
    "$check" "$work/screen.gray" "$width" $((-cut_x)) $((view_top - cut_y)) && return 0
    awk -v now="$(session_now)" -v end="$end" 'BEGIN { exit !(now < end) }' ||
      session_fail "$what within $seconds s: $why"
    sleep 0.2
  done
}

# Nothing drawn yet: the page is light where the outline will go.
no_outline "$work/clean.gray" "$image_width" 0 0 || session_fail "before drawing: $why"

# --- The Rectangle tool and a drag over the page.
session_click_tool rectangle
session_drag "$(win_x $rect_left)" "$(win_y $rect_top)" "$(win_x $rect_right)" "$(win_y $rect_bottom)" 16
screen_shows 5 "the rectangle's outline on the screen" outline
echo "screen: the outline lies where the mouse dragged"
session_expect_main_window_only "after drawing"

# --- Capture: the snapshot holds the outline at the same picture pixels.
# (Snapshot names count seconds.)
while awk -v now="$(session_now)" -v t="$first_picture_time" 'BEGIN { exit !(now - t < 1.1) }'; do
  sleep 0.1
done
session_click_panel capture
two_pictures() { [ "$(pictures_now)" = 2 ]; }
session_until "$SESSION_REACTION_S" "a second picture in ${pictures}Images after a click on Capture" two_pictures
shopt -s nullglob
for picture in "$pictures"Images/*.jpg; do
  [ "$picture" = "${clean[0]}" ] || drawn=$picture
done
shopt -u nullglob
ffmpeg -loglevel error -y -i "$drawn" -pix_fmt gray -f rawvideo "$work/drawn.gray"
outline "$work/drawn.gray" "$image_width" 0 0 || session_fail "$(basename "$drawn"): $why"
echo "snapshot: $(basename "$drawn") has the outline at picture pixels" \
  "$rect_left,$rect_top to $rect_right,$rect_bottom"

# --- Clear takes it away.
session_click_tool clear
screen_shows 5 "the outline gone after a click on Clear" no_outline
echo "Clear: the outline is gone"
session_expect_main_window_only "after Clear"
session_exit 20
echo "PASS"
