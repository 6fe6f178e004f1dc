#!/usr/bin/env bash
# A pipeline in another process (gst-launch-1.0) on the emulated Q5 camera:
# it plays when that process loads the emulated devices' plugin by file, with
# GStreamer's registry cache cold and again warm, and it never plays without
# it, even with TOVEK_SIMULATE set and the plugin's folder on the plugin path
# (the plugin scanner then loads it, the pipeline's process does not).
#
#   gst_launch_test.sh ELEMENT_PLUGIN_FOLDER SIM_PLUGIN_FILE
set -euo pipefail

plugins=$1
sim_plugin=$2
command -v gst-launch-1.0 >/dev/null || { echo "gst-launch-1.0 is missing (scripts/install-deps)" >&2; exit 1; }
[ -f "$sim_plugin" ] || { echo "no $sim_plugin" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A registry of its own: the first run scans as on a fresh machine.
export GST_REGISTRY=$work/registry.bin
unset TOVEK_SIMULATE
pictures=(tovekcamerasrc num-buffers=3 ! jpegdec ! fakesink)

for registry in cold warm; do
  if ! GST_PLUGIN_PATH=$plugins timeout 120 gst-launch-1.0 -q \
    --gst-plugin-load="$sim_plugin" "${pictures[@]}" >"$work/$registry.log" 2>&1; then
    cat "$work/$registry.log" >&2
    echo "FAIL: with the plugin loaded (registry $registry) the pipeline did not play" >&2
    exit 1
  fi
done

# Without a camera the element waits for one to be plugged: a pipeline that
# has not played after its 10-second search for a camera and as long again
# never will.
status=0
TOVEK_SIMULATE=1 GST_PLUGIN_PATH=$plugins:$(dirname "$sim_plugin") timeout 25 \
  gst-launch-1.0 -q "${pictures[@]}" >"$work/without.log" 2>&1 || status=$?
if [ "$status" = 0 ]; then
  cat "$work/without.log" >&2
  echo "FAIL: the pipeline played on the emulated camera without the plugin loaded" >&2
  exit 1
fi
echo "plays with the plugin loaded (registry cold and warm), not without it (status $status)"
