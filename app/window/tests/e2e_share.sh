#!/usr/bin/env bash
# Sharing with the class end to end: the program plays the emulated Q5
# camera under a virtual display, a filled red rectangle is drawn over the
# picture with the tool panel, and a second start with --share starts
# sharing and prints the address with its token. Then, on 127.0.0.1 only:
#   - without the token, or with a wrong one, the answer is 403;
#   - headless Chromium, given the address, shows the live page: its
#     screenshot holds the camera's light page, and once the rectangle is
#     drawn in the window, far more red than before (the test page has a red
#     circle of its own);
#   - --share-stop ends it: nothing listens on the port any more;
#   - File > Share With Class starts it again with a new token: its dialog's
#     QR code (read by zbarimg) holds an address whose token opens the page
#     (and the old token no more), and choosing the item again ends it and
#     closes the dialog.
#
#   e2e_share.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
for tool in chromium curl ffmpeg od awk zbarimg; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done

session_prepare "$bin"
session_write_ini "CaptruePath=$SESSION_DIR/" "RecordPath=$SESSION_DIR/" "DeviceSelect=34790" \
  "WindowPos=00000000000000000004000000030000" "ZoomMode=4"
# Red (COLORREF 0x0000FF) filled rectangles, well seen after any scaling.
session_write_graphic_defaults "RectangleWidth=4" "RectangleColor=255" "RectangleBFill=1" \
  "RectFillColor=255"
session_start
session_measure_client_top
view_top=$((SESSION_CLIENT_TOP + 80))
bright() {
  local luma
  luma=$(session_luma 300 $((view_top + 200)) 200 200)
  ((luma > 150))
}
session_until 30 "the picture plays" bright

# second ARGS...: a second start of the program; its standard output in
# $SESSION_DIR/second.out.
second() {
  (cd "$SESSION_DIR/home" &&
    exec timeout 15 env -u QT_QPA_PLATFORM HOME="$SESSION_DIR/home" \
      XDG_RUNTIME_DIR="$SESSION_DIR/runtime" "$SESSION_DIR/program/TovekCamera" "$@") \
    >"$SESSION_DIR/second.out" 2>"$SESSION_DIR/second.err" ||
    session_fail "'$*' failed: $(cat "$SESSION_DIR/second.err")"
}
second --share
url=$(head -n 1 "$SESSION_DIR/second.out")
[[ $url =~ ^http://([0-9.]+):([0-9]+)/([0-9a-f]{32})/$ ]] ||
  session_fail "--share printed \"$url\", not an address with a token"
port=${BASH_REMATCH[2]} token=${BASH_REMATCH[3]}
# The tests speak to the loopback address only.
local_url="http://127.0.0.1:$port/$token/"

status() { curl -s -o "$SESSION_DIR/body" -w '%{http_code}' --max-time 5 "$1" || true; }
# A token one digit off: its last digit changed, whatever that digit is.
if [ "${token: -1}" = 0 ]; then near=${token%?}1; else near=${token%?}0; fi
for wrong in "http://127.0.0.1:$port/" "http://127.0.0.1:$port/stream.mjpg" \
  "http://127.0.0.1:$port/layer.png" "http://127.0.0.1:$port/$near/layer.png" \
  "http://127.0.0.1:$port/$near/" "http://127.0.0.1:$port/$token"x/; do
  [ "$(status "$wrong")" = 403 ] || session_fail "$wrong answered $(status "$wrong"), not 403"
  [ ! -s "$SESSION_DIR/body" ] || session_fail "$wrong answered more than its status"
done
[ "$(status "$local_url")" = 200 ] || session_fail "the address with its token did not answer 200"

# The browser's view of the page, as a pupil's laptop shows it: sets red
# and light, its counts of red and light pixels.
shot=$SESSION_DIR/browser.png
red=0 light=0
browser_view() {
  rm -f "$shot"
  timeout 60 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
    --user-data-dir="$SESSION_DIR/chromium" --window-size=800,600 \
    --virtual-time-budget=3000 --screenshot="$shot" "$local_url" >/dev/null 2>&1 || true
  [ -s "$shot" ] || return 1
  # Red pixels (the rectangle) and light ones (the page) of the screenshot.
  read -r red light < <(ffmpeg -loglevel error -i "$shot" -f rawvideo -pix_fmt rgb24 - |
    od -An -tu1 -v | tr -s ' \n' '\n' | grep . |
    awk '{ c[n++ % 3] = $1 } n % 3 == 0 {
           if (c[0] > 180 && c[1] < 80 && c[2] < 80) r++
           if (c[0] > 170 && c[1] > 170 && c[2] > 170) l++ }
         END { print r + 0, l + 0 }')
  echo "browser: $red red, $light light pixels"
}
# shellcheck disable=SC2317 # reached through session_until
shows_picture() { browser_view && ((light > 20000)); }
session_until 60 "the browser shows the camera's picture" shows_picture
red_before=$red

# The rectangle, over the middle of the picture.
session_click_panel graphic
sleep 0.5
session_click_tool rectangle
session_drag 250 $((view_top + 150)) 550 $((view_top + 400))

# shellcheck disable=SC2317 # reached through session_until
shows_rectangle() { browser_view && ((red > red_before + 20000 && light > 20000)); }
session_until 60 "the browser shows the red rectangle drawn in the window" shows_rectangle
cp "$shot" "${TOVEK_SHARE_SHOT:-/dev/null}" 2>/dev/null || true
# The ink comes as its own stream of PNG layers over the camera's picture.
curl -s -D "$SESSION_DIR/layer.head" -o /dev/null --max-time 2 "${local_url}layer.png" || true
grep -qi '^content-type: multipart/x-mixed-replace' "$SESSION_DIR/layer.head" ||
  session_fail "the layer stream is not multipart/x-mixed-replace"

second --share-stop
refused() { ! curl -s -o /dev/null --max-time 2 "$local_url"; }
session_until 10 "nothing listens once sharing stopped" refused

# The menu: the dialog with its QR code.
session_menu h || session_fail "File > Share With Class is disabled"
qr_url=""
# shellcheck disable=SC2317 # reached through session_until
qr_readable() {
  session_screenshot_screen "$SESSION_DIR/dialog.png"
  qr_url=$(zbarimg -q --raw "$SESSION_DIR/dialog.png" 2>/dev/null | head -n 1 || true)
  [[ $qr_url =~ ^http://([0-9.]+):([0-9]+)/([0-9a-f]{32})/$ ]]
}
session_until 20 "the share dialog's QR code holds an address with a token" qr_readable
[ "${BASH_REMATCH[3]}" != "$token" ] || session_fail "sharing again kept the old token"
local_url="http://127.0.0.1:${BASH_REMATCH[2]}/${BASH_REMATCH[3]}/"
[ "$(status "$local_url")" = 200 ] || session_fail "the QR code's token did not open the page"
[ "$(status "http://127.0.0.1:$port/$token/")" != 200 ] || session_fail "the old token still opens it"
[ -n "$(xdotool search --onlyvisible --pid "$SESSION_PID" --name "Share With Class")" ] ||
  session_fail "no window \"Share With Class\""
# The item again, with the dialog open: sharing ends and the dialog closes.
xdotool windowfocus --sync "$SESSION_WIN" key alt+f
session_wait_menus open 10 || session_fail "Alt+F did not open the File menu"
xdotool key h
# shellcheck disable=SC2317 # reached through session_until
only_main() { [ "$(session_windows | wc -l)" = 1 ]; }
session_until "$SESSION_REACTION_S" "the dialog closes when sharing ends" only_main
session_until 10 "nothing listens once File > Share With Class ended it" refused
session_exit 30
echo "e2e_share: ok"
