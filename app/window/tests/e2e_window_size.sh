#!/usr/bin/env bash
# The main window opens at a size a user can work with whatever WindowPos
# holds: at least 800 x 600 and at most 1280 x 1024, where the INI places it
# when its title strip is on the screen, else at the default place. The INI
# the program writes at exit keeps to the same limits.
#
#   e2e_window_size.sh PROGRAM_FOLDER
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1

# WindowPos as the program writes it: left, top, right, bottom, each a
# little-endian 32-bit integer, as 32 hex digits.
window_pos() {
  local v
  for v in "$@"; do
    printf '%02X%02X%02X%02X' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255))
  done
}

# Reads WindowPos back from the INI: "left top right bottom".
read_window_pos() {
  local hex
  hex=$(sed -n 's/^WindowPos=//p' "$1" | tr -d '\r')
  [ ${#hex} = 32 ] || return 1
  local i out=()
  for i in 0 8 16 24; do
    local b=${hex:i:8}
    local v=$((16#${b:6:2}${b:4:2}${b:2:2}${b:0:2}))
    ((v >= 2147483648)) && v=$((v - 4294967296))
    out+=("$v")
  done
  echo "${out[*]}"
}

# case: name, WindowPos value ("" for none), expected x and y
check_case() {
  local name=$1 pos=$2 want_x=$3 want_y=$4
  session_prepare "$bin"
  if [ -n "$pos" ]; then
    session_write_ini "WindowPos=$pos"
  else
    session_write_ini
  fi
  session_start
  # The size settles once the window has been shown and laid out.
  local x y w h
  local end=$(($(date +%s) + 10))
  while :; do
    read -r x y w h < <(session_geometry)
    ((w >= 800 && h >= 600)) || [ "$(date +%s)" -ge "$end" ] || {
      sleep 0.2
      continue
    }
    break
  done
  echo "$name: window at $x,$y, ${w}x${h}"
  ((w >= 800 && h >= 600)) || session_fail "$name: the window opens at ${w}x${h}, below 800x600"
  ((w <= 1280 && h <= 1024)) || session_fail "$name: the window opens at ${w}x${h}, above 1280x1024"
  [ "$x,$y" = "$want_x,$want_y" ] || session_fail "$name: the window opens at $x,$y, not $want_x,$want_y"
  session_exit 20
  local rect
  rect=$(read_window_pos "$SESSION_DIR/program/TovekCamera.INI") ||
    session_fail "$name: no WindowPos in the INI after exit: $(cat "$SESSION_DIR/program/TovekCamera.INI")"
  local l t r b
  read -r l t r b <<<"$rect"
  ((r - l >= 800 && b - t >= 600 && r - l <= 1280 && b - t <= 1024)) ||
    session_fail "$name: the INI keeps WindowPos $l,$t,$r,$b"
  session_cleanup
}

check_case "no WindowPos" "" 0 0
check_case "smaller than the least size" "$(window_pos 100 50 400 250)" 100 50
check_case "larger than the screen" "$(window_pos 0 0 1600 1200)" 0 0
check_case "title strip off the screen" "$(window_pos 3000 3000 3800 3600)" 0 0
echo "PASS"
