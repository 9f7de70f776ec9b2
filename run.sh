#!/usr/bin/env bash
# Installs what is missing, builds, and starts Wexal. Without a display it runs
# the program under Xvfb, saves a screenshot of the main window and ends.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

wexal_install_packages
wexal_build

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/Wexal "$@"
fi

display=99
while [ -e "/tmp/.X${display}-lock" ]; do display=$((display + 1)); done
Xvfb ":${display}" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  [ -n "${wexal_pid:-}" ] && kill "$wexal_pid" 2>/dev/null && wait "$wexal_pid" 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":${display}"
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display}" ] && break; sleep 0.1; done

build/bin/Wexal "$@" &
wexal_pid=$!
sleep 3
if ! kill -0 "$wexal_pid" 2>/dev/null; then
  echo "Wexal ended before its window could be captured (another instance running?)."
  exit 1
fi
build/bin/xshot build/screenshot.png
echo "No display here: Wexal ran under Xvfb; its window is in build/screenshot.png"
