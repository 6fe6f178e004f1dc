#!/usr/bin/env bash
# Plug soak: the real program on the emulated cameras, under a virtual
# display, driven by keys as a person would, while the emulated devices'
# control channel (tovek-sim) pulls and plugs the cameras.
#
# Every cycle visits the Q5 camera and then the RVX camera (so the device
# changes at every step). At each: choose it, play it until a snapshot proves
# frames arrive, then pull it at one of three moments -- mid-transfer, just
# after a snapshot was asked for, or while a recording runs (the moment turns
# with the cycle, differently for the two cameras, and the delay is random) --
# and plug it back: every third time within a second, while it is still the
# chosen camera, otherwise once the other camera is chosen.
#
# Checked as it goes: no window but the main one ever shows (no message box),
# the program answers within its time-outs (no hang) and keeps running (no
# crash), every snapshot is a whole JPEG picture, and every recording is
# finished -- ffprobe reads it without an error, with frames, as many as its
# header counts. Checked files are deleted, so a long run needs little disk.
#
# At the end: the program still plays (a fresh snapshot), and against a quiet
# point after a warm-up cycle, resident memory has grown by at most
# SOAK_RSS_BOUND_KB and as many threads and file descriptors are open. Then
# File > Exit must end it with status 0 and remove its control socket.
#
# Memory bound: the frame buffers are allocated once at their maximum, so a
# cycle must not grow memory at all; what may move is the allocator's pool.
# The recording queue's five 12.4 MB blocks are taken and freed on library
# threads that change with every run, and a freed block may stay in a
# thread's pool rather than return to the system. 64 MB allows that pool to
# hold five blocks, and still fails a leak of one frame (about 100 KB) a step
# within 320 cycles, or of one queue block within three.
#
#   soak.sh PROGRAM_FOLDER CYCLES [SEED]
set -euo pipefail
# shellcheck source=../../../testsupport/shell/program_session.sh
source "$(dirname "$0")/../../../testsupport/shell/program_session.sh"
session_require_display "$@"

bin=$1
cycles=$2
seed=${3:-$$}
SOAK_RSS_BOUND_KB=${SOAK_RSS_BOUND_KB:-65536}
# CI gives the soak a share of its time: no new cycle starts after this many
# seconds (0: no limit), and the summary says how many ran.
SOAK_MAX_SECONDS=${SOAK_MAX_SECONDS:-0}
for tool in ffprobe od; do
  command -v "$tool" >/dev/null || session_fail "$tool is missing (scripts/install-deps)"
done
[ -x "$bin/tovek-sim" ] || session_fail "no $bin/tovek-sim (build first)"
[[ "$cycles" =~ ^[0-9]+$ ]] && ((cycles > 0)) || session_fail "CYCLES must be a positive number"
RANDOM=$seed

# The shipped catalogue: the Q5 camera is Device item 34790, the RVX one 34791.
cameras=(q5 rvx)
device_ids=(34790 34791)
moments=(transfer snapshot recording)

session_prepare "$bin"
pictures="$SESSION_DIR/pictures/"
records="$SESSION_DIR/records/"
mkdir -p "$pictures" "$records"
ini="$SESSION_DIR/program/TovekCamera.INI"
session_write_ini "CaptruePath=$pictures" "RecordPath=$records" "AudioIndex=1" "DeviceSelect=34790"
session_start
current=0      # index of the chosen camera
checked_avi=0  # recordings read back
checked_jpeg=0 # snapshots read back
started_at=$(date +%s)

soak_alive() {
  kill -0 "$SESSION_PID" 2>/dev/null || session_fail "the program ended (crash?)"
}

# sim pull|plug NAME: through the control channel; the reply must be "ok".
sim() {
  local out
  out=$(XDG_RUNTIME_DIR="$SESSION_DIR/runtime" "$bin/tovek-sim" --pid "$SESSION_PID" "$1" "$2" 2>&1) ||
    session_fail "tovek-sim $1 $2: $out"
}

# A random pause of MIN to MAX milliseconds.
pause_ms() {
  local ms=$(($1 + RANDOM % ($2 - $1 + 1)))
  sleep "$(awk -v ms="$ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
}

focus() { xdotool windowfocus --sync "$SESSION_WIN"; }

ini_device() { sed -n 's/^DeviceSelect=//p' "$ini" | tr -d '\r'; }

# choose INDEX: the camera's item of the Device menu. The menu has no
# mnemonic, so a click on its title opens it (the menu bar's titles stand
# where DEVICE_MENU_X says under the fonts of the virtual display), and a
# click on the item chooses it once the menu shows: its items, as many as the
# catalogue names (DEVICE_ITEMS), share its height. The items are disabled
# while a picture plays or a detach is still on its way (the menu then stays
# open), so it tries until the program writes the choice into its INI file.
DEVICE_MENU_X=277 DEVICE_MENU_Y=9 DEVICE_ITEMS=${#device_ids[@]}
choose() {
  local index=$1 id=${device_ids[$1]} end=$(($(date +%s) + 30)) popup height
  until [ "$(ini_device)" = "$id" ]; do
    soak_alive
    [ "$(date +%s)" -lt "$end" ] || session_fail "the Device menu did not choose ${cameras[$index]} in 30 s"
    session_expect_main_window_only "before choosing ${cameras[$index]}"
    trace "  Device menu"
    session_click "$DEVICE_MENU_X" "$DEVICE_MENU_Y"
    session_wait_menus open 10 || session_fail "a click on Device did not open the Device menu"
    popup=$(session_windows | grep -vx "$SESSION_WIN" | head -n 1)
    # A window of the program that is gone again by now (a tool tip, a menu
    # closed by a device change) is no menu to click: close and try again.
    height=$(xdotool getwindowgeometry --shell "$popup" 2>/dev/null | sed -n 's/^HEIGHT=//p') || height=
    if [ -z "$height" ]; then
      xdotool key Escape Escape
      session_wait_menus closed 5 || true
      continue
    fi
    session_click_in "$popup" 20 $((height * (2 * index + 1) / (2 * DEVICE_ITEMS)))
    session_wait_menus closed 5 || {
      xdotool key Escape Escape
      session_wait_menus closed 5 || session_fail "the Device menu does not close"
    }
  done
  current=$index
}

# Reads back every snapshot in the picture folder (a JPEG picture from its
# start marker to its end marker) and deletes it. Prints how many.
check_snapshots() {
  local f n=0
  for f in "$pictures"Images/*.jpg; do
    [ -e "$f" ] || continue
    [ "$(od -An -tx1 -N2 "$f" | tr -d ' ')" = ffd8 ] &&
      [ "$(od -An -tx1 -j $(($(stat -c %s "$f") - 2)) -N2 "$f" | tr -d ' ')" = ffd9 ] ||
      session_fail "snapshot $(basename "$f") is not a whole JPEG picture"
    rm -f "$f"
    n=$((n + 1))
  done
  echo "$n"
}

# Reads back every recording: ffprobe without an error, frames, as many as
# the header says (the file was finished). Deletes it; adds to checked_avi.
check_recordings() {
  local f out err frames header
  for f in "$records"Videos/*.avi; do
    [ -e "$f" ] || continue
    err=$(mktemp)
    out=$(ffprobe -v error -select_streams v:0 -count_frames \
      -show_entries stream=nb_frames,nb_read_frames -of default=nw=1 "$f" 2>"$err") || true
    frames=$(sed -n 's/^nb_read_frames=//p' <<<"$out")
    header=$(sed -n 's/^nb_frames=//p' <<<"$out")
    if [ -s "$err" ] || [ -z "$frames" ] || [ "$frames" = 0 ] || [ "$frames" != "$header" ]; then
      cp "$f" "$SESSION_DIR/" 2>/dev/null || true
      session_fail "recording $(basename "$f"): ffprobe read ${frames:-no} frames, the header counts ${header:-none}: $(head -c 300 "$err")"
    fi
    rm -f "$err" "$f"
    checked_avi=$((checked_avi + 1))
  done
}

# play: the picture plays once a snapshot asked for arrives (it is taken from
# the next frame). Play is disabled until the camera's attach arrives, so
# Ctrl+P is pressed again until then.
play() {
  local end=$(($(date +%s) + 30)) n wait_end
  checked_jpeg=$((checked_jpeg + $(check_snapshots)))
  while :; do
    soak_alive
    [ "$(date +%s)" -lt "$end" ] || session_fail "${cameras[$current]} shows no picture 30 s after Play"
    session_expect_main_window_only "before playing ${cameras[$current]}"
    trace "  Ctrl+P, Ctrl+E"
    focus
    session_ctrl_key p
    session_ctrl_key e
    wait_end=$(($(date +%s) + 4))
    while [ "$(date +%s)" -lt "$wait_end" ]; do
      n=$(check_snapshots)
      if ((n > 0)); then
        checked_jpeg=$((checked_jpeg + n))
        return 0
      fi
      sleep 0.1
    done
  done
}

# Waits for the first recording file to appear.
wait_recording() {
  local end=$(($(date +%s) + 10))
  until compgen -G "${records}Videos/*.avi" >/dev/null; do
    session_expect_main_window_only "after Start Record"
    [ "$(date +%s)" -lt "$end" ] || session_fail "no recording file 10 s after Start Record"
    sleep 0.1
  done
}

# SOAK_TRACE=1 prints when each part of a step begins.
trace() { [ -z "${SOAK_TRACE:-}" ] || echo "$(date +%T.%N | cut -c1-12) $*"; }

# The camera pulled at the end of the last step and not plugged back yet.
unplugged=""
plug_unplugged() {
  if [ -n "$unplugged" ]; then
    sim plug "$unplugged"
    unplugged=""
  fi
}

# step INDEX MOMENT CYCLE: one camera's turn.
step() {
  local index=$1 moment=$2 cycle=$3 name=${cameras[$1]}
  trace "step $name $moment"
  [ "$current" = "$index" ] || choose "$index"
  trace chosen
  # Plugged while the other camera is chosen.
  plug_unplugged
  # Files of the step before are finished once its camera is torn down.
  check_recordings
  play
  trace playing
  case "$moment" in
    transfer) pause_ms 0 800 ;;
    snapshot)
      focus
      session_ctrl_key e
      pause_ms 0 120
      ;;
    recording)
      session_menu_when_enabled s 20
      wait_recording
      pause_ms 200 1500
      ;;
  esac
  trace pull
  sim pull "$name"
  # Every third time the camera comes back while still chosen (the program
  # reopens it); otherwise once the other camera is chosen.
  if (((cycle + index) % 3 == 0)); then
    pause_ms 0 1200
    trace plug
    sim plug "$name"
  else
    unplugged=$name
  fi
  soak_alive
}

rss_kb() { sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$SESSION_PID/status"; }
threads() { ls "/proc/$SESSION_PID/task" | wc -l; }
fds() { ls "/proc/$SESSION_PID/fd" | wc -l; }
# The quiet point: the Q5 camera plays, a snapshot came, and threads and
# descriptors have stayed the same, and memory within 1 MB, for half a second
# (at most 10 s are given). Sets RSS, THREADS and FDS.
quiet_point() {
  local end=$(($(date +%s) + 10)) now rss_now threads_now fds_now
  [ "$current" = 0 ] || choose 0
  plug_unplugged
  check_recordings
  play
  RSS=$(rss_kb) THREADS=$(threads) FDS=$(fds)
  while :; do
    sleep 0.5
    soak_alive
    now="$(rss_kb) $(threads) $(fds)"
    read -r rss_now threads_now fds_now <<<"$now"
    if [ "$threads_now" = "$THREADS" ] && [ "$fds_now" = "$FDS" ] &&
      ((rss_now - RSS < 1024 && RSS - rss_now < 1024)); then
      break
    fi
    RSS=$rss_now THREADS=$threads_now FDS=$fds_now
    [ "$(date +%s)" -lt "$end" ] || break
  done
  RSS=$rss_now THREADS=$threads_now FDS=$fds_now
  # What the descriptors and threads are, for a failure to show the difference.
  fd_list >"$SESSION_DIR/fds.$1"
  cat /proc/"$SESSION_PID"/task/*/comm | sort | uniq -c >"$SESSION_DIR/threads.$1"
}
fd_list() {
  local fd
  for fd in /proc/"$SESSION_PID"/fd/*; do
    readlink "$fd" || true
  done | sed 's/[0-9]\+/N/g' | sort | uniq -c
}

echo "soak: seed $seed, $cycles cycles"
# Warm-up: every moment on both cameras once, so whatever starts once and
# stays (pools, plug-in registries, the audio source) is in the baseline.
for m in 0 1 2; do
  step 0 "${moments[$m]}" "$m"
  step 1 "${moments[$m]}" "$m"
done
quiet_point start
rss0=$RSS threads0=$THREADS fds0=$FDS
echo "soak: start: RSS ${rss0} kB, ${threads0} threads, ${fds0} fds"

ran=0
cycles_started_at=$(date +%s.%N)
for ((c = 1; c <= cycles; c++)); do
  if ((SOAK_MAX_SECONDS > 0 && $(date +%s) - started_at >= SOAK_MAX_SECONDS)); then
    echo "soak: time limit of $SOAK_MAX_SECONDS s reached after $ran of $cycles cycles"
    break
  fi
  ran=$c
  step 0 "${moments[$((c % 3))]}" "$c"
  step 1 "${moments[$(((c + 1) % 3))]}" "$c"
  if ((c % 25 == 0)); then
    echo "soak: cycle $c: RSS $(rss_kb) kB, $(threads) threads, $(fds) fds," \
      "$checked_avi recordings and $checked_jpeg snapshots checked, $(($(date +%s) - started_at)) s"
  fi
done

per_cycle=$(awk -v a="$cycles_started_at" -v b="$(date +%s.%N)" -v n="$ran" \
  'BEGIN { printf "%.1f", (n > 0 ? (b - a) / n : 0) }')
quiet_point end
rss1=$RSS threads1=$THREADS fds1=$FDS
check_recordings
checked_jpeg=$((checked_jpeg + $(check_snapshots)))
socket=$SESSION_DIR/runtime/tovek-sim-$SESSION_PID.sock
session_exit 30
[ ! -e "$socket" ] || session_fail "the control socket $socket is left behind"

summary="soak: $ran cycles, RSS ${rss0} -> ${rss1} kB, threads ${threads0} -> ${threads1},"
summary+=" fds ${fds0} -> ${fds1}, files checked: $checked_avi recordings, $checked_jpeg snapshots,"
summary+=" $(($(date +%s) - started_at)) s, $per_cycle s a cycle"
echo "$summary"
((rss1 - rss0 <= SOAK_RSS_BOUND_KB)) ||
  session_fail "resident memory grew by $((rss1 - rss0)) kB (bound $SOAK_RSS_BOUND_KB kB)"
[ "$threads1" = "$threads0" ] ||
  session_fail "threads left over: $threads0 at the start, $threads1 at the end:" \
    "$(diff "$SESSION_DIR/threads.start" "$SESSION_DIR/threads.end")"
[ "$fds1" = "$fds0" ] ||
  session_fail "file descriptors left over: $fds0 at the start, $fds1 at the end:" \
    "$(diff "$SESSION_DIR/fds.start" "$SESSION_DIR/fds.end")"
echo "PASS"
