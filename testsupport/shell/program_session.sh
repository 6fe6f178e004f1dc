# shellcheck shell=bash
# Sourced by the end-to-end tests and scripts/screenshots: runs the real
# TovekCamera as a user does -- from a program folder of its own, on the
# emulated devices, under a virtual X display -- and drives it through its
# menus with the keyboard (xdotool), as a person types.
#
# A session owns one throw-away folder:
#   program/  the program and what it reads beside itself (libraries, device
#             catalogue, language files, skins, its INI file)
#   home/     HOME, so the documents folder and caches stay inside
#   runtime/  XDG_RUNTIME_DIR, so the single-instance lock is the session's own
# The folder and a program still running are removed on exit, unless a check
# failed: then both the folder (with a screenshot) and the reason are kept.

# Screen of the virtual display: room for the largest window the program takes.
SESSION_SCREEN=1280x1024

SESSION_DIR=""
SESSION_PID=""
SESSION_WIN=""
SESSION_KEEP=0
SESSION_KEY_TIME=""
SESSION_CLIENT_TOP=""

# Runs the calling script again under a virtual display of its own
# (with-display) unless it already runs there (call it before changing the
# working folder).
session_require_display() {
  if [ -n "${TOVEK_SESSION_DISPLAY:-}" ]; then
    return 0
  fi
  local tool
  for tool in Xvfb xdotool xwininfo ffmpeg; do
    command -v "$tool" >/dev/null 2>&1 || {
      echo "$(basename "$0"): $tool is missing (scripts/install-deps installs it)" >&2
      exit 1
    }
  done
  export TOVEK_SESSION_DISPLAY=1
  exec "$(dirname "${BASH_SOURCE[0]}")/with-display" "${SESSION_SCREEN}x24" "$(readlink -f "$0")" "$@"
}

session_now() { date +%s.%N; }

# What a CI log needs to tell a hang from a lost key when the screenshot stays
# behind on the machine: the program's windows and where each of its threads
# stands.
session_describe_program() {
  local w info
  echo "--- the program's visible windows:"
  for w in $(session_windows); do
    info=$(xwininfo -id "$w" 2>/dev/null || true)
    printf '  %s "%s"%s\n' "$w" "$(xdotool getwindowname "$w" 2>/dev/null)" \
      "$([[ "$info" == *"Override Redirect State: yes"* ]] && echo " (menu or tip)")"
  done
  if command -v gdb >/dev/null 2>&1; then
    echo "--- its threads:"
    # One short line a frame, the C library's and the standard library's
    # waiting frames left out.
    timeout 60 gdb -p "$SESSION_PID" -batch -nx -ex "thread apply all bt 30" 2>/dev/null |
      sed -nE -e 's/^(Thread [0-9]+) .*"(.*)"\).*/\1 "\2"/p' \
        -e 's/^(#[0-9]+) +(0x[0-9a-f]+ in )?([^ (]+).*/  \1 \3/p' |
      grep -vE '^  #[0-9]+ (_|std::|0x)' | cut -c1-160 | head -n 200
  fi
}

# Prints a failure, keeps the folder with a picture of the screen, ends the
# script.
session_fail() {
  echo "FAIL: $*" >&2
  SESSION_KEEP=1
  if [ -n "$SESSION_PID" ] && ! kill -0 "$SESSION_PID" 2>/dev/null; then
    local rc=0
    wait "$SESSION_PID" 2>/dev/null || rc=$?
    echo "The program is no longer running (exit status $rc)." >&2
    SESSION_PID=""
  fi
  if [ -n "$SESSION_PID" ]; then
    session_describe_program >&2 || true
  fi
  if [ -n "$SESSION_DIR" ]; then
    session_screenshot_screen "$SESSION_DIR/failure.png" || true
    if [ -s "$SESSION_DIR/program.log" ]; then
      echo "--- program output:" >&2
      tail -n 40 "$SESSION_DIR/program.log" >&2
    fi
    echo "kept: $SESSION_DIR (failure.png shows the screen)" >&2
  fi
  exit 1
}

session_cleanup() {
  trap - EXIT
  if [ -n "$SESSION_PID" ] && kill -0 "$SESSION_PID" 2>/dev/null; then
    kill "$SESSION_PID" 2>/dev/null || true
    wait "$SESSION_PID" 2>/dev/null || true
  fi
  if [ -n "$SESSION_DIR" ] && [ "$SESSION_KEEP" = 0 ]; then
    rm -rf "$SESSION_DIR"
  fi
  SESSION_DIR=""
  SESSION_PID=""
  SESSION_WIN=""
  SESSION_CLIENT_TOP=""
}

# session_prepare BIN: a new session folder with a copy of the program folder
# BIN (build/bin): the program, its libraries and the plugin beside them, the
# device catalogue, the language files and the skins. Test programs stay out.
session_prepare() {
  local bin=$1
  [ -x "$bin/TovekCamera" ] || session_fail "no program at $bin/TovekCamera (build first)"
  SESSION_DIR=$(mktemp -d "${TMPDIR:-/tmp}/tovek.XXXXXX")
  trap session_cleanup EXIT
  mkdir -p "$SESSION_DIR/program" "$SESSION_DIR/home" "$SESSION_DIR/runtime"
  chmod 700 "$SESSION_DIR/runtime"
  local f
  for f in "$bin"/TovekCamera "$bin"/*.so "$bin"/*.lng "$bin"/DocumentDevice.ini; do
    [ -e "$f" ] && cp "$f" "$SESSION_DIR/program/"
  done
  for f in Skin icons; do
    [ -d "$bin/$f" ] && cp -r "$bin/$f" "$SESSION_DIR/program/"
  done
  return 0
}

# session_write_ini KEY=VALUE...: the program's INI file, section TovekCamera.
session_write_ini() {
  {
    echo "[TovekCamera]"
    printf '%s\n' "$@"
  } >"$SESSION_DIR/program/TovekCamera.INI"
}

# The visible windows of the program, one id a line (the main window, open
# menus, message boxes).
session_windows() {
  # Top-level windows only: the video view's surface is a window of its own
  # inside the main window.
  local w
  for w in $(xdotool search --onlyvisible --pid "$SESSION_PID" 2>/dev/null); do
    xwininfo -id "$w" -tree 2>/dev/null | grep '^  Parent window id: .*(the root window)' >/dev/null &&
      echo "$w"
  done
  true
}

# Starts the program with --simulate, as scripts/run does on a machine without
# a camera, and waits for its main window.
session_start() {
  (cd "$SESSION_DIR/home" &&
    exec env -u QT_QPA_PLATFORM HOME="$SESSION_DIR/home" \
      XDG_RUNTIME_DIR="$SESSION_DIR/runtime" \
      "$SESSION_DIR/program/TovekCamera" --simulate) >"$SESSION_DIR/program.log" 2>&1 &
  SESSION_PID=$!
  local end=$(($(date +%s) + 30))
  while [ -z "$SESSION_WIN" ]; do
    kill -0 "$SESSION_PID" 2>/dev/null || session_fail "the program ended before its window opened"
    [ "$(date +%s)" -lt "$end" ] || session_fail "no window within 30 s"
    SESSION_WIN=$(session_windows | head -n 1)
    [ -n "$SESSION_WIN" ] || sleep 0.2
  done
}

# The number of open menus of the program: its visible windows that bypass the
# window manager (override-redirect), which message boxes do not. Qt's window
# type hints are no help: a menu opened a second time carries only "normal".
session_menu_count() {
  local w info n=0
  for w in $(session_windows); do
    info=$(xwininfo -id "$w" 2>/dev/null || true)
    [[ "$info" == *"Override Redirect State: yes"* ]] && n=$((n + 1))
  done
  echo "$n"
}

# session_wait_menus open|closed SECONDS: waits up to SECONDS for a menu to
# open, or for every menu to close.
session_wait_menus() {
  local want=$1 seconds=$2
  local end n
  end=$(awk -v now="$(session_now)" -v s="$seconds" 'BEGIN { printf "%.3f", now + s }')
  while :; do
    n=$(session_menu_count)
    if [ "$want" = open ]; then ((n > 0)) && return 0; else ((n == 0)) && return 0; fi
    awk -v now="$(session_now)" -v end="$end" 'BEGIN { exit !(now < end) }' || return 1
    sleep 0.1
  done
}

# session_menu KEY: File menu item KEY by its mnemonic: Alt+F opens "&File",
# KEY chooses the item. Returns 1, with the menu closed again, when the item
# does not take the key (it is disabled: the menu stays open). SESSION_KEY_TIME
# is the moment the item's key was pressed. Whatever the item opens (a message
# box) is left to the caller.
#
# Without a window manager nobody gives the window the keyboard, so the
# session does, as a click would.
session_menu() {
  local key=$1
  session_expect_main_window_only "before File menu item '$key'"
  xdotool windowfocus --sync "$SESSION_WIN"
  xdotool key alt+f
  # The interface thread may be busy for a second (starting the picture).
  session_wait_menus open 10 || session_fail "Alt+F did not open the File menu"
  # shellcheck disable=SC2034 # read by the calling script
  SESSION_KEY_TIME=$(session_now)
  xdotool key "$key"
  if session_wait_menus closed 5; then
    return 0
  fi
  xdotool key Escape
  session_wait_menus closed 5 || session_fail "the File menu does not close"
  return 1
}

# session_menu_when_enabled KEY SECONDS: chooses the item once it is enabled.
session_menu_when_enabled() {
  local key=$1 seconds=$2
  local end=$(($(date +%s) + seconds))
  until session_menu "$key"; do
    [ "$(date +%s)" -lt "$end" ] || session_fail "File menu item '$key' stayed disabled for $seconds s"
    sleep 0.5
  done
}

# Fails when anything but the main window shows (a message box).
session_expect_main_window_only() {
  local w names=""
  for w in $(session_windows); do
    [ "$w" = "$SESSION_WIN" ] || names+=" \"$(xdotool getwindowname "$w" 2>/dev/null)\""
  done
  [ -z "$names" ] || session_fail "$1: a window is open besides the main window:$names"
}

# session_exit SECONDS: File > Exit; waits for the process to end with 0.
session_exit() {
  local seconds=$1 rc=0
  session_menu x || session_fail "File > Exit is disabled"
  local end=$(($(date +%s) + seconds))
  while kill -0 "$SESSION_PID" 2>/dev/null; do
    if [ "$(date +%s)" -ge "$end" ]; then
      session_expect_main_window_only "after File > Exit"
      session_fail "the program still runs $seconds s after File > Exit"
    fi
    sleep 0.2
  done
  wait "$SESSION_PID" || rc=$?
  SESSION_PID=""
  [ "$rc" = 0 ] || session_fail "the program ended with status $rc"
}

# Prints X Y WIDTH HEIGHT of the main window.
session_geometry() {
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$SESSION_WIN" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
  echo "$X $Y $WIDTH $HEIGHT"
}

# session_screenshot FILE: the main window as a PNG file.
session_screenshot() {
  local x y w h
  read -r x y w h < <(session_geometry)
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "${w}x${h}" \
    -i "$DISPLAY+$x,$y" -frames:v 1 "$1"
}

session_screenshot_screen() {
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "$SESSION_SCREEN" \
    -i "$DISPLAY" -frames:v 1 "$1"
}

# How long the program may take to show what a click or a key asked for: a
# hang detector, not a speed goal. The reaction itself takes well under a
# second; a machine busy with a build beside the tests stretches it.
SESSION_REACTION_S=10

# session_until SECONDS WHAT COMMAND...: runs COMMAND every 0.2 s until it
# succeeds; fails the session with "WHAT within SECONDS s" when it never does.
session_until() {
  local seconds=$1 what=$2
  shift 2
  local end
  end=$(awk -v now="$(session_now)" -v s="$seconds" 'BEGIN { printf "%.3f", now + s }')
  until "$@"; do
    awk -v now="$(session_now)" -v end="$end" 'BEGIN { exit !(now < end) }' ||
      session_fail "$what within $seconds s"
    sleep 0.2
  done
}

# Sets SESSION_CLIENT_TOP to the top of the client area (the bottom of the
# menu bar) in window coordinates. The File menu opens just below the bar, so
# its place measures the bar as the X server sees it. SESSION_FILE_KEY is the
# File menu's letter in the program's language ("d" for "&Datei"; "f").
session_measure_client_top() {
  session_expect_main_window_only "before measuring the menu bar"
  xdotool windowfocus --sync "$SESSION_WIN"
  xdotool key "alt+${SESSION_FILE_KEY:-f}"
  session_wait_menus open 10 || session_fail "Alt+${SESSION_FILE_KEY:-f} did not open the File menu"
  local w menu_y="" Y
  for w in $(session_windows); do
    [ "$w" = "$SESSION_WIN" ] && continue
    eval "$(xdotool getwindowgeometry --shell "$w" | grep -E '^Y=')"
    menu_y=$Y
  done
  xdotool key Escape
  session_wait_menus closed 5 || session_fail "the File menu does not close"
  local y
  read -r _ y _ _ < <(session_geometry)
  SESSION_CLIENT_TOP=$((menu_y - y))
}

# Where the pointer rests between clicks: off the window, so no button shows
# its hover face or tool-tip in a screen grab.
SESSION_POINTER_REST="1270 1010"

# session_click_in WINDOW X Y: a left click at X, Y of WINDOW, as a person
# clicks; the pointer then goes back to rest.
session_click_in() {
  local win=$1 x=$2 y=$3 X Y
  eval "$(xdotool getwindowgeometry --shell "$win" | grep -E '^(X|Y)=')"
  xdotool mousemove --sync $((X + x)) $((Y + y)) click 1
  # shellcheck disable=SC2086 # two numbers
  xdotool mousemove --sync $SESSION_POINTER_REST
}

# session_click X Y: a left click at X, Y of the main window.
session_click() { session_click_in "$SESSION_WIN" "$1" "$2"; }

# session_luma X Y WIDTH HEIGHT: the mean brightness (0 to 255) of that
# rectangle of the main window on the screen, as ffmpeg measures it.
session_luma() {
  local wx wy
  read -r wx wy _ _ < <(session_geometry)
  ffmpeg -loglevel error -f x11grab -draw_mouse 0 -video_size "$3x$4" \
    -i "$DISPLAY+$((wx + $1)),$((wy + $2))" -frames:v 1 \
    -vf "format=gray,scale=1:1:flags=area" -f rawvideo - | od -An -tu1 | tr -d ' \n'
}

# session_window_named NAME: the id of the program's visible window with that
# title; nothing when none shows.
session_window_named() {
  local w
  for w in $(session_windows); do
    if [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ]; then
      echo "$w"
      return 0
    fi
  done
}

# session_wait_size WIDTHxHEIGHT: waits for the main window to take the size
# its INI asks for.
session_wait_size() {
  local want=$1 w h
  local end=$(($(date +%s) + 10))
  while :; do
    read -r _ _ w h < <(session_geometry)
    [ "${w}x${h}" = "$want" ] && return 0
    [ "$(date +%s)" -lt "$end" ] || session_fail "the window is ${w}x${h}, not $want"
    sleep 0.2
  done
}

# session_ctrl_key KEY: Ctrl+KEY as a person types it: KEY goes up while Ctrl
# is still held. (xdotool key ctrl+KEY lets go of Ctrl first, and the
# program's Ctrl commands act on the key's release with Ctrl down.)
session_ctrl_key() {
  xdotool keydown ctrl keydown "$1" keyup "$1" keyup ctrl
}

# The command panel across the top of the client area (app/widgets/include/widgets/CommandPanel.h):
# its buttons, 64 pixels, stand at x = 30 + 80 i, y = 5.
SESSION_PANEL_BUTTONS=(capture record control graphic setting)

# session_click_panel NAME: a click on the command panel's button NAME (one of
# SESSION_PANEL_BUTTONS).
session_click_panel() {
  local i
  for i in "${!SESSION_PANEL_BUTTONS[@]}"; do
    [ "${SESSION_PANEL_BUTTONS[$i]}" = "$1" ] || continue
    [ -n "$SESSION_CLIENT_TOP" ] || session_measure_client_top
    session_click $((30 + 80 * i + 32)) $((SESSION_CLIENT_TOP + 5 + 32))
    return 0
  done
  session_fail "no button \"$1\" on the command panel"
}

# session_write_graphic_defaults KEY=VALUE...: adds section GraphicDefault
# (the defaults of new shapes) to the INI file session_write_ini made.
session_write_graphic_defaults() {
  {
    echo "[GraphicDefault]"
    printf '%s\n' "$@"
  } >>"$SESSION_DIR/program/TovekCamera.INI"
}

# The annotation tool panel (app/widgets/src/GraphicPanel.cpp) in the right pane,
# which is 98 pixels wide at the window's right edge and starts under the
# command panel: its 32-pixel buttons stand in two columns at x = 6 and 34
# dialog units, at these heights in dialog units (x px = dlu * 6 / 4,
# y px = dlu * 13 / 8); the quick palette's swatches below them.
SESSION_RIGHT_PANE_WIDTH=98
SESSION_TOOL_BUTTONS=(select:6:8 text:34:8 line:6:32 arrow:34:32 rectangle:6:56
  circle:34:56 curve:6:80 highlighter:34:80 eraser:6:104 delete:34:104 clear:6:128
  property:34:128 defaultset:6:152)

# session_click_tool NAME: a click on the tool panel's button NAME (one of
# SESSION_TOOL_BUTTONS).
session_click_tool() {
  local entry width rest
  [ -n "$SESSION_CLIENT_TOP" ] || session_measure_client_top
  read -r _ _ width _ < <(session_geometry)
  for entry in "${SESSION_TOOL_BUTTONS[@]}"; do
    [ "${entry%%:*}" = "$1" ] || continue
    rest=${entry#*:}
    session_click $((width - SESSION_RIGHT_PANE_WIDTH + ${rest%%:*} * 6 / 4 + 16)) \
      $((SESSION_CLIENT_TOP + 80 + ${rest#*:} * 13 / 8 + 16))
    return 0
  done
  session_fail "no button \"$1\" on the tool panel"
}

# session_drag_path X Y X Y...: drags with the left button through these
# points of the main window: press at the first, a move to each next one,
# release at the last; the pointer then goes back to rest.
session_drag_path() {
  local X Y
  eval "$(xdotool getwindowgeometry --shell "$SESSION_WIN" | grep -E '^(X|Y)=')"
  xdotool mousemove --sync $((X + $1)) $((Y + $2)) mousedown 1
  shift 2
  while [ $# -ge 2 ]; do
    xdotool mousemove --sync $((X + $1)) $((Y + $2))
    sleep 0.02
    shift 2
  done
  xdotool mouseup 1
  # shellcheck disable=SC2086 # two numbers
  xdotool mousemove --sync $SESSION_POINTER_REST
}

# session_drag X1 Y1 X2 Y2 [STEPS]: a straight drag from X1, Y1 to X2, Y2 of
# the main window as a hand makes it: press, a first move of a pixel, STEPS
# (default 12) moves along the way, release.
session_drag() {
  local x1=$1 y1=$2 x2=$3 y2=$4 steps=${5:-12} k
  local points=("$x1" "$y1" $((x1 + (x2 > x1 ? 1 : -1))) $((y1 + (y2 > y1 ? 1 : -1))))
  for ((k = 1; k <= steps; k++)); do
    points+=($((x1 + (x2 - x1) * k / steps)) $((y1 + (y2 - y1) * k / steps)))
  done
  session_drag_path "${points[@]}"
}

# session_grab_gray FILE: the main window as it shows now, one byte of
# brightness (0 to 255) a pixel, rows top to bottom, no header.
session_grab_gray() {
  local x y w h
  read -r x y w h < <(session_geometry)
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "${w}x${h}" \
    -i "$DISPLAY+$x,$y" -frames:v 1 -pix_fmt gray -f rawvideo "$1"
}

# gray_box FILE WIDTH X Y: the darkest and the brightest pixel of the 5 x 5
# box around X, Y of a grey picture WIDTH pixels wide (session_grab_gray,
# or ffmpeg's -pix_fmt gray -f rawvideo), as "MIN MAX".
gray_box() {
  local file=$1 width=$2 x=$3 y=$4 row
  for ((row = y - 2; row <= y + 2; row++)); do
    od -An -tu1 -v -j $((row * width + x - 2)) -N 5 "$file"
  done | tr -s ' \n' '\n' | awk 'NF { if (n++ == 0 || $1 < lo) lo = $1; if ($1 > hi) hi = $1 }
    END { print lo + 0, hi + 0 }'
}
