#!/usr/bin/env bash
# The running program per frame, each scene in bench/program/ under a
# virtual display of its own, against D paced = libjpeg-turbo decoding the
# scene camera's own pictures at its pace in the same run:
#   q5_1080p.sh  1920 x 1080 into 1280 x 720, one line drawn; frame age,
#                page faults, resident memory while recording; the window
#                minimised and a headless recording
#   rvx_2592.sh  2592 x 1944 into 1280 x 960
#   peer.sh      the same 1080p pictures through GStreamer's jpegdec !
#                videoconvert ! videoscale: the first scene's CPU per frame
#                against it is a row of its own
#
#   program_bench.sh BIN_FOLDER [SECONDS]   (default 20 s a stretch)
# With TOVEK_BENCH_PERF=FILE, perf records a stretch (TOVEK_BENCH_PERF_STRETCH:
# playing, the default, recording or minimised) of the scene TOVEK_BENCH_SCENE
# names (default q5_1080p) into FILE (call graphs as TOVEK_BENCH_PERF_GRAPH
# says, default -g).
# Prints the scenes' details and GOAL lines (see bench/bench_util.h).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$1" && pwd)
seconds=${2:-20}
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

failed=0
for scene in q5_1080p rvx_2592 peer; do
  echo "$scene:"
  perf=
  [ "$scene" = "${TOVEK_BENCH_SCENE:-q5_1080p}" ] && perf=${TOVEK_BENCH_PERF:-}
  if ! TOVEK_BENCH_PERF=$perf "$here/program/$scene.sh" "$bin" "$seconds" >"$logs/$scene" 2>&1; then
    echo "  $scene failed" >&2
    failed=1
  fi
  cat "$logs/$scene"
done

value() { awk -v k="$1" '$1 == k { print $2 }' "$logs/$2"; }
program_ms=$(value PROGRAM_MS q5_1080p)
peer_ms=$(value PEER_MS peer)
peer_decode_ms=$(value PEER_DECODE_MS peer)
if [ -n "$program_ms" ] && [ -n "$peer_ms" ]; then
  awk -v p="$program_ms" -v g="$peer_ms" -v d="$peer_decode_ms" 'BEGIN {
    printf "whole program / peer: %.3f ms / %.3f ms CPU per 1080p frame; the peer is %.2f x its own paced jpegdec\n", p, g, g / d
    printf "GOAL\tWhole program / peer, 1920x1080 into 1280x720\t%.3f\t0.600\tx peer\n", p / g
  }'
fi
exit "$failed"
