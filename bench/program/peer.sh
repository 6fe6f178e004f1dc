#!/usr/bin/env bash
# The peer: the same Motion-JPEG pictures as the 1920 x 1080 scene
# (bench/camera_pictures.cpp), 30 a second, through GStreamer's
# jpegdec ! videoconvert ! videoscale to 1280 x 720 BGRx, as viewers built on
# GStreamer show a camera; and GStreamer's own paced decode, jpegdec alone.
# Each runs in gst-launch-1.0, paced by the clock into fakesink; measured is
# the CPU of the whole process over a steady stretch, per frame.
#
#   peer.sh BIN_FOLDER [SECONDS]   (default 20 s)
# Prints "PEER_MS <ms>" and "PEER_DECODE_MS <ms>" beside its details.
set -euo pipefail
bin=$(cd "$1" && pwd)
seconds=${2:-20}
rate=30
command -v gst-launch-1.0 >/dev/null || { echo "peer.sh: gst-launch-1.0 is missing" >&2; exit 1; }
pictures=$(mktemp -d)
trap 'rm -rf "$pictures"' EXIT
"$bin/camera_pictures" write 1920x1080 "$pictures" 16

# CPU nanoseconds of process $1's threads, as the scheduler counts them.
cpu_ns() {
  local total=0 task
  for task in /proc/"$1"/task/*; do
    total=$((total + $(cut -d' ' -f1 "$task/schedstat" 2>/dev/null || echo 0)))
  done
  echo "$total"
}

# peer_ms NAME ELEMENTS...: CPU ms per frame of the pipeline from the
# pictures through ELEMENTS into a fakesink that keeps the clock's pace.
peer_ms() {
  local name=$1 pid t0 t1 c0 c1
  shift
  # shellcheck disable=SC2068 # the pipeline's words
  gst-launch-1.0 -q multifilesrc location="$pictures/picture-%02d.jpg" loop=true \
    caps="image/jpeg,width=1920,height=1080,framerate=$rate/1" ! jpegparse ! $@ \
    ! fakesink sync=true >"$pictures/$name.log" 2>&1 &
  pid=$!
  sleep 3 # plugins loaded, playing
  t0=$(date +%s.%N)
  c0=$(cpu_ns "$pid")
  sleep "$seconds"
  c1=$(cpu_ns "$pid")
  t1=$(date +%s.%N)
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v rate=$rate \
    'BEGIN { printf "%.4f\n", (c1 - c0) / 1e6 / ((t1 - t0) * rate) }'
}

peer=$(peer_ms peer jpegdec ! videoconvert ! videoscale \
  ! video/x-raw,format=BGRx,width=1280,height=720)
decode=$(peer_ms decode jpegdec)
echo "  GStreamer jpegdec ! videoconvert ! videoscale to 1280x720 BGRx: $peer ms CPU/frame"
echo "  GStreamer jpegdec alone, paced: $decode ms CPU/frame (peer $(awk -v p="$peer" -v d="$decode" 'BEGIN { printf "%.2f", p / d }') x that)"
echo "PEER_MS $peer"
echo "PEER_DECODE_MS $decode"
