#!/usr/bin/env bash
# The running program per frame: TovekCamera on the emulated Q5 camera at
# 1920 x 1080, its pictures replayed from memory (TOVEK_SIM_Q5_REPLAY, so the
# camera's encoder is not counted), under a virtual display, the view fitting
# the picture into about 1280 x 720 and one annotation line drawn. The view's
# frame report (TOVEK_FRAME_REPORT) gives, a line a second, the frames handed
# to the view and painted, each painted frame's age since capture, the
# process's page faults and resident memory, and each thread's CPU time.
#
# Measured over a steady stretch while playing:
#   - CPU per frame of the program's own threads (every thread but the Q5
#     driver's reader, whose reads from the emulated camera stand for the USB
#     hardware), against
#     D = libjpeg-turbo decoding one such picture (present_bench --decode);
#   - the age of each frame when painted, in frame periods (1/16 s), at the
#     median and the 99th percentile;
#   - minor page faults per frame, over the stretch and in its median second;
# and then, while recording the same picture, the resident memory; then with
# the window minimised (unmapped, as a window manager iconifies it) and in a
# headless recording, the program's own CPU per camera frame, against
# D paced = the same decode once every 1/16 s (present_bench --decode-paced):
# nothing shows the pixels, so nothing should decode them.
#
#   program_bench.sh BIN_FOLDER [SECONDS]   (default 20 s a stretch)
# With TOVEK_BENCH_PERF=FILE, perf records the playing stretch into FILE
# (call graphs as TOVEK_BENCH_PERF_GRAPH says, default -g).
# Prints its details and GOAL lines (see bench/bench_util.h).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../testsupport/shell/program_session.sh
source "$here/../testsupport/shell/program_session.sh"
# Room for the window at its largest, its view 1280 x 720.
SESSION_SCREEN=1600x1200
session_require_display "$@"

bin=$(cd "$1" && pwd)
seconds=${2:-20}
period_ms=62.5 # the Q5 camera's 16 pictures a second
[ -x "$bin/present_bench" ] || session_fail "no $bin/present_bench (build with TOVEK_BENCH)"
d_ms=$("$bin/present_bench" --decode | awk '$1 == "D_MS" { print $2 }')
[ -n "$d_ms" ] || session_fail "D was not measured"
d_paced_ms=$("$bin/present_bench" --decode-paced | awk '$1 == "D_PACED_MS" { print $2 }')
[ -n "$d_paced_ms" ] || session_fail "D paced was not measured"

session_prepare "$bin"
report="$SESSION_DIR/frames.txt"
records="$SESSION_DIR/records/"
mkdir -p "$records"
# A window 1280 wide (its largest) and 838 high: below the menu bar and the
# command panel a view of 1280 x 720 while no panel stands at its right.
session_write_ini "RecordPath=$records" "AudioIndex=1" "DeviceSelect=34790" \
  "WindowPos=00000000000000000005000046030000" "ZoomMode=3"
export TOVEK_SIM_Q5_SIZE=1920x1080 TOVEK_SIM_Q5_REPLAY=16 TOVEK_FRAME_REPORT="$report"
session_start

# The value of field NAME on the report's last line.
last_field() { tail -n 1 "$report" | tr ' ' '\n' | awk -F= -v k="$1" '$1 == k { print $2 }'; }
painting() { [ -s "$report" ] && [ "$(last_field painted)" -gt 16 ]; }
session_until 60 "the picture plays" painting

session_measure_client_top
read -r _ _ width height < <(session_geometry)
session_click_panel graphic
sleep 1
session_click_tool line
top=$((SESSION_CLIENT_TOP + 80))
session_drag 60 $((top + 60)) $((width - 200)) $((height - 120))
# The graphic panel closes again; the line stays on the picture.
session_click_panel graphic

# A stretch of the report from now on: its first and last lines.
stretch() {
  sleep 3 # settled
  local from
  from=$(wc -l <"$report")
  sleep "$seconds"
  tail -n +"$((from + 1))" "$report" >"$SESSION_DIR/$1"
  [ "$(wc -l <"$SESSION_DIR/$1")" -ge 2 ] || session_fail "the frame report stopped"
}
if [ -n "${TOVEK_BENCH_PERF:-}" ]; then
  # A profile of the playing program into that file, for perf report.
  perf record -q ${TOVEK_BENCH_PERF_GRAPH:--g} -p "$SESSION_PID" -o "$TOVEK_BENCH_PERF" -- sleep "$seconds" >/dev/null 2>&1 &
fi
stretch playing.txt

session_menu_when_enabled s 30
stretch recording.txt
session_menu r || session_fail "Stop Record is disabled while recording"
xdotool windowunmap --sync "$SESSION_WIN"
stretch minimised.txt
painted_before=$(last_field painted)
xdotool windowmap --sync "$SESSION_WIN"
painted_more() { [ "$(last_field painted)" -gt "$painted_before" ]; }
session_until 30 "the picture shows again after the window came back" painted_more
session_exit 30

# CPU ticks of process $1's own threads: all but the driver's reader.
own_ticks() {
  local total reader=0 task
  total=$(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' /proc/"$1"/stat)
  for task in /proc/"$1"/task/*; do
    [ "$(cat "$task/comm" 2>/dev/null)" = tovek-q5-read ] &&
      reader=$((reader + $(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "$task/stat")))
  done
  echo $((total - reader))
}
headless_video="$SESSION_DIR/headless.avi"
(cd "$SESSION_DIR/home" &&
  exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u TOVEK_FRAME_REPORT \
    HOME="$SESSION_DIR/home" XDG_RUNTIME_DIR="$SESSION_DIR/runtime" \
    "$SESSION_DIR/program/TovekCamera" --simulate --headless --record $((seconds + 10)) \
    --output "$headless_video") >"$SESSION_DIR/headless.log" 2>&1 &
headless_pid=$!
sleep 5 # the camera plays and the recording runs
headless_t0=$(session_now)
headless_c0=$(own_ticks "$headless_pid")
sleep "$seconds"
headless_c1=$(own_ticks "$headless_pid")
headless_t1=$(session_now)
wait "$headless_pid" || session_fail "the headless recording failed: $(cat "$SESSION_DIR/headless.log")"
headless_frames=$(ffprobe -v error -select_streams v -count_frames -of csv=p=0 \
  -show_entries stream=nb_read_frames "$headless_video")

# The differences between the first and last lines of a stretch, and every
# age in between (the first line's ages belong to the second before it).
awk -v d_ms="$d_ms" -v period="$period_ms" '
function field(line, key,   n, i, kv) {
  n = split(line, kv, " ")
  for (i = 1; i <= n; i++) if (index(kv[i], key "=") == 1) return substr(kv[i], length(key) + 2)
  return ""
}
function threads(line, cpu,   list, n, i, pair) {
  split("", cpu)
  n = split(field(line, "threads"), list, ",")
  for (i = 1; i <= n; i++) { split(list[i], pair, ":"); cpu[pair[1]] = pair[2] }
}
# Sorts values[1..n] in place (insertion: a few hundred values).
function sort_values(values, n,   i, j, v) {
  for (i = 2; i <= n; i++) { v = values[i]; for (j = i - 1; j >= 1 && values[j] > v; j--) values[j + 1] = values[j]; values[j + 1] = v }
}
# The Q5 driver reading from the emulated camera: the USB hardware, not the program.
function hardware(name) { return name == "tovek-q5-read" }
{ lines[NR] = $0 }
END {
  first = lines[1]; last = lines[NR]
  frames = field(last, "presented") - field(first, "presented")
  painted = field(last, "painted") - field(first, "painted")
  dropped = field(last, "dropped") - field(first, "dropped")
  wall = (field(last, "t_ms") - field(first, "t_ms")) / 1000
  if (frames <= 0) { print "no frames in the stretch"; exit 1 }
  threads(first, a); threads(last, b)
  own = 0; sim = 0
  for (name in b) {
    used = b[name] - (name in a ? a[name] : 0)
    if (hardware(name)) sim += used; else own += used
    detail = detail sprintf("    %-22s %8.3f ms/frame\n", name, used / 1000 / frames)
  }
  n = 0
  for (i = 2; i <= NR; i++) {
    list = field(lines[i], "ages_ms")
    if (list == "-") continue
    k = split(list, parts, ",")
    for (j = 1; j <= k; j++) ages[++n] = parts[j] + 0
  }
  sort_values(ages, n) # for the percentiles
  median = n ? ages[int((n + 1) / 2)] : 0
  p99 = n ? ages[int(n * 0.99 + 0.999)] : 0
  faults = (field(last, "minflt") - field(first, "minflt")) / frames
  # Steady state: the median second. A one-off event (a helper thread that
  # start-up left idle ending, say) falls into one second; a fault in
  # every frame shows in all of them.
  m = 0
  for (i = 2; i <= NR; i++) {
    shown = field(lines[i], "presented") - field(lines[i - 1], "presented")
    if (shown > 0) per_second[++m] = (field(lines[i], "minflt") - field(lines[i - 1], "minflt")) / shown
  }
  sort_values(per_second, m)
  steady = m ? per_second[int((m + 1) / 2)] : faults
  paint = (field(last, "paint_us") - field(first, "paint_us")) / 1000 / painted
  printf "  %d frames in %.1f s (%.1f/s), %d painted, %d dropped, view %s\n", frames, wall, frames / wall, painted, dropped, field(last, "dest")
  printf "  own threads %.3f ms CPU/frame (D %.3f ms: %.2f x D); driver reads %.3f ms/frame\n", own / 1000 / frames, d_ms, own / 1000 / frames / d_ms, sim / 1000 / frames
  printf "%s", detail
  printf "  of which painting in the view: %.3f ms per painted frame\n", paint
  printf "  age at paint: median %.1f ms, 99th percentile %.1f ms, of %d frames\n", median, p99, n
  printf "  page faults %.2f per frame over the stretch, %.2f in its median second; resident %d kB, peak %d kB\n", faults, steady, field(last, "rss_kb"), field(last, "hwm_kb")
  # Paint events by widget class over the stretch (each line counts its own second).
  for (i = 2; i <= NR; i++) {
    list = field(lines[i], "paints")
    if (list == "" || list == "-") continue
    k = split(list, parts, ",")
    for (j = 1; j <= k; j++) { split(parts[j], pair, ":"); paints[pair[1]] += pair[2] }
  }
  for (name in paints) printf "    paints of %-22s %6.2f per frame\n", name, paints[name] / frames
  printf "GOAL\tWhole program per frame, 1920x1080, one line drawn\t%.3f\t1.500\tx D\n", own / 1000 / frames / d_ms
  printf "GOAL\tFrame age at paint, median\t%.3f\t1.000\tframe periods\n", median / period
  printf "GOAL\tFrame age at paint, 99th percentile\t%.3f\t2.000\tframe periods\n", p99 / period
  printf "GOAL\tPage faults per frame, steady state\t%.3f\t0.000\tfaults\n", steady
}' "$SESSION_DIR/playing.txt"

echo "  while recording:"
awk '
function field(line, key,   n, i, kv) {
  n = split(line, kv, " ")
  for (i = 1; i <= n; i++) if (index(kv[i], key "=") == 1) return substr(kv[i], length(key) + 2)
  return ""
}
{ rss = field($0, "rss_kb") + 0; if (rss > most) most = rss; frames = field($0, "presented") }
END {
  printf "  resident at most %.1f MB over %d lines\n", most / 1024, NR
  printf "GOAL\tResident memory recording 1920x1080\t%.1f\t160.0\tMB\n", most / 1024
}' "$SESSION_DIR/recording.txt"

echo "  window minimised:"
awk -v d_paced="$d_paced_ms" -v period="$period_ms" '
function field(line, key,   n, i, kv) {
  n = split(line, kv, " ")
  for (i = 1; i <= n; i++) if (index(kv[i], key "=") == 1) return substr(kv[i], length(key) + 2)
  return ""
}
function threads(line, cpu,   list, n, i, pair) {
  split("", cpu)
  n = split(field(line, "threads"), list, ",")
  for (i = 1; i <= n; i++) { split(list[i], pair, ":"); cpu[pair[1]] = pair[2] }
}
{ lines[NR] = $0 }
END {
  first = lines[1]; last = lines[NR]
  # Nothing is presented: the camera frames are counted by the clock.
  frames = (field(last, "t_ms") - field(first, "t_ms")) / period
  threads(first, a); threads(last, b)
  own = 0
  for (name in b) {
    used = b[name] - (name in a ? a[name] : 0)
    if (name != "tovek-q5-read") own += used
    detail = detail sprintf("    %-22s %8.3f ms/frame\n", name, used / 1000 / frames)
  }
  printf "  %.0f camera frames, %d presented; own threads %.3f ms CPU/frame (D paced %.3f ms: %.3f x D paced)\n", frames, field(last, "presented") - field(first, "presented"), own / 1000 / frames, d_paced, own / 1000 / frames / d_paced
  printf "%s", detail
  printf "GOAL\tWindow minimised, program per frame\t%.3f\t0.100\tx D paced\n", own / 1000 / frames / d_paced
}' "$SESSION_DIR/minimised.txt"

echo "  headless recording:"
awk -v c0="$headless_c0" -v c1="$headless_c1" -v t0="$headless_t0" -v t1="$headless_t1" \
  -v hz="$(getconf CLK_TCK)" -v d_paced="$d_paced_ms" -v period="$period_ms" -v recorded="$headless_frames" '
BEGIN {
  frames = (t1 - t0) * 1000 / period
  ms = (c1 - c0) * 1000 / hz / frames
  printf "  %.0f camera frames measured, %d in the file; own threads %.3f ms CPU/frame (%.3f x D paced)\n", frames, recorded, ms, ms / d_paced
  printf "GOAL\tHeadless recording, program per frame\t%.3f\t0.100\tx D paced\n", ms / d_paced
}'
