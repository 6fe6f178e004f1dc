# Summaries of one stretch of the view's frame report (view/FrameReport.h):
# its lines in, details and GOAL lines (bench/bench_util.h) out. The
# differences between the stretch's first and last lines count; the first
# line's ages belong to the second before it.
#
#   awk -f report.awk -v mode=MODE [-v NAME=VALUE ...] STRETCH
# mode=playing   CPU per frame handed to the view, as D paced = d_paced ms
#                (the row `row`, goal `limit`); with ages=1 also the age at
#                paint in frame periods of `period` ms, page faults, paints
# mode=hidden    CPU per camera frame (counted by the clock: nothing is
#                presented) as D paced (row `row`, goal `limit`)
# mode=resident  the most resident memory (row `row`, goal `limit` MB)
# Threads named in `hardware` (comma-separated) stand for the camera's
# hardware and are left out of the program's CPU, but listed.

function field(line, key,   n, i, kv) {
  n = split(line, kv, " ")
  for (i = 1; i <= n; i++) if (index(kv[i], key "=") == 1) return substr(kv[i], length(key) + 2)
  return ""
}
# CPU microseconds by thread name on line into cpu[].
function threads(line, cpu,   list, n, i, pair) {
  split("", cpu)
  n = split(field(line, "threads"), list, ",")
  for (i = 1; i <= n; i++) { split(list[i], pair, ":"); cpu[pair[1]] = pair[2] }
}
# Sorts values[1..n] in place (insertion: a few hundred values).
function sort_values(values, n,   i, j, v) {
  for (i = 2; i <= n; i++) { v = values[i]; for (j = i - 1; j >= 1 && values[j] > v; j--) values[j + 1] = values[j]; values[j + 1] = v }
}
# The program's own CPU ms per frame over the stretch, the hardware's into
# sim_ms, a line per thread into detail.
function own_ms(frames,   a, b, name, used, own, sim) {
  threads(lines[1], a); threads(lines[NR], b)
  own = 0; sim = 0; detail = ""
  for (name in b) {
    used = b[name] - (name in a ? a[name] : 0)
    if (index("," hardware ",", "," name ",")) sim += used; else own += used
    detail = detail sprintf("    %-22s %8.3f ms/frame\n", name, used / 1000 / frames)
  }
  sim_ms = sim / 1000 / frames
  return own / 1000 / frames
}
function goal(name, measured, most, unit) { printf "GOAL\t%s\t%.3f\t%.3f\t%s\n", name, measured, most, unit }

{ lines[NR] = $0 }

END {
  first = lines[1]; last = lines[NR]
  if (mode == "resident") {
    for (i = 1; i <= NR; i++) { rss = field(lines[i], "rss_kb") + 0; if (rss > most) most = rss }
    printf "  resident at most %.1f MB over %d lines\n", most / 1024, NR
    goal(row, most / 1024, limit, "MB")
    exit 0
  }
  wall = (field(last, "t_ms") - field(first, "t_ms")) / 1000
  presented = field(last, "presented") - field(first, "presented")
  if (mode == "hidden") {
    frames = wall * 1000 / period
    ms = own_ms(frames)
    printf "  %.0f camera frames, %d presented; own threads %.3f ms CPU/frame (D paced %.3f ms: %.3f x D paced)\n", frames, presented, ms, d_paced, ms / d_paced
    printf "%s", detail
    goal(row, ms / d_paced, limit, "x D paced")
    exit 0
  }
  frames = presented
  if (frames <= 0) { print "no frames in the stretch"; exit 1 }
  painted = field(last, "painted") - field(first, "painted")
  ms = own_ms(frames)
  printf "  %d frames in %.1f s (%.1f/s), %d painted, %d dropped, view %s\n", frames, wall, frames / wall, painted, field(last, "dropped") - field(first, "dropped"), field(last, "dest")
  printf "  own threads %.3f ms CPU/frame (D paced %.3f ms: %.3f x D paced); camera hardware %.3f ms/frame\n", ms, d_paced, ms / d_paced, sim_ms
  printf "PROGRAM_MS %.4f\n", ms
  printf "%s", detail
  if (painted > 0)
    printf "  of which painting in the view: %.3f ms per painted frame\n", (field(last, "paint_us") - field(first, "paint_us")) / 1000 / painted
  # Paint events by widget class (each line counts its own second).
  for (i = 2; i <= NR; i++) {
    list = field(lines[i], "paints")
    if (list == "" || list == "-") continue
    k = split(list, parts, ",")
    for (j = 1; j <= k; j++) { split(parts[j], pair, ":"); paints[pair[1]] += pair[2] }
  }
  for (name in paints) printf "    paints of %-22s %6.2f per frame\n", name, paints[name] / frames
  goal(row, ms / d_paced, limit, "x D paced")
  if (!ages) exit 0
  n = 0
  for (i = 2; i <= NR; i++) {
    list = field(lines[i], "ages_ms")
    if (list == "-") continue
    k = split(list, parts, ",")
    for (j = 1; j <= k; j++) age[++n] = parts[j] + 0
  }
  sort_values(age, n)
  median = n ? age[int((n + 1) / 2)] : 0
  p99 = n ? age[int(n * 0.99 + 0.999)] : 0
  # Steady state: the median second. A one-off event (a helper thread that
  # start-up left idle ending, say) falls into one second; a fault in every
  # frame shows in all of them.
  m = 0
  for (i = 2; i <= NR; i++) {
    shown = field(lines[i], "presented") - field(lines[i - 1], "presented")
    if (shown > 0) per_second[++m] = (field(lines[i], "minflt") - field(lines[i - 1], "minflt")) / shown
  }
  sort_values(per_second, m)
  faults = (field(last, "minflt") - field(first, "minflt")) / frames
  steady = m ? per_second[int((m + 1) / 2)] : faults
  printf "  age at paint: median %.1f ms, 99th percentile %.1f ms, of %d frames\n", median, p99, n
  printf "  page faults %.2f per frame over the stretch, %.2f in its median second; resident %d kB, peak %d kB\n", faults, steady, field(last, "rss_kb"), field(last, "hwm_kb")
  goal("Frame age at paint, median", median / period, 1, "frame periods")
  goal("Frame age at paint, 99th percentile", p99 / period, 2, "frame periods")
  goal("Page faults per frame, steady state", steady, 0, "faults")
}
