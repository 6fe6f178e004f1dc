#!/usr/bin/env bash
# The program on the emulated RVX camera at 2592 x 1944 (15 pictures a
# second, its pictures replayed from memory), the view fitting the picture
# into 1208 x 906 (at most 1296 x 972): the CPU of the program per frame
# handed to the view, against D paced = libjpeg-turbo decoding the camera's
# pictures at full size at its pace (bench/camera_pictures.cpp). The view
# shows a quarter of the camera's pixels, so the program should need less
# than a full decode of them.
#
#   rvx_2592.sh BIN_FOLDER [SECONDS]   (default 20 s)
set -euo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
session_require_display "$@"

bin=$(cd "$1" && pwd)
seconds=${2:-20}
program_baseline "$bin" 2592x1944 15
program_prepare "$bin"
export TOVEK_SIM_RVX_SIZE=2592x1944 TOVEK_SIM_RVX_REPLAY=$program_replayed
# The window at its largest, 1280 x 1024: below the menu bar and the command
# panel a view of 1280 x 906, the picture fitting into 1208 x 906.
program_start "DeviceSelect=34791" "WindowPos=00000000000000000005000000040000" "ZoomMode=3"
program_perf playing "$seconds"
program_stretch playing.txt "$seconds"
session_exit 30

echo "  playing:"
program_summary playing.txt mode=playing d_paced="$d_paced_ms" limit=0.75 \
  "row=Whole program per frame, 2592x1944 into 1208x906"
