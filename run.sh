#!/usr/bin/env bash
# Installs what is missing, builds, and starts Wexal. When no machine is
# configured it starts ncsim on a pseudo-terminal as the machine. Without a
# display it runs the program under Xvfb, saves a screenshot of the main
# window and ends.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

wexal_install_packages
wexal_build

# The value of a key in an INI file (section and key in any case), or nothing.
ini_value() {
  [ -f "$1" ] || return 0
  awk -v section="$2" -v key="$3" '
    { sub(/\r$/, "") }
    /^[ \t]*\[/ { s = $0; gsub(/^[ \t]*\[|\][ \t]*$/, "", s); in_section = tolower(s) == tolower(section); next }
    in_section && index($0, "=") { k = substr($0, 1, index($0, "=") - 1); gsub(/^[ \t]+|[ \t]+$/, "", k)
      if (tolower(k) == tolower(key)) { print substr($0, index($0, "=") + 1); exit } }' "$1"
}

# Where Wexal keeps Wexal.INI and Ports.ini.
program_folder() {
  if [ -n "${WEXAL_HOME:-}" ]; then echo "$WEXAL_HOME"
  elif [ -w build/bin ]; then echo build/bin
  elif [ "${XDG_CONFIG_HOME:-}" = /* ]; then echo "$XDG_CONFIG_HOME/wexal"
  else echo "$HOME/.config/wexal"; fi
}

ncsim_loop_pid=""
# Without WEXAL_COMn and without the configured port's device there is no
# machine: ncsim plays one (reading programs in, ready with DC1), restarted
# after every transfer, and WEXAL_COMn points at its terminal.
start_machine_if_none() {
  env | grep -q '^WEXAL_COM[0-9]*=' && return 0
  local folder port number device speed link
  folder=$(program_folder)
  port=$(ini_value "$folder/Wexal.INI" Setting Port)
  port=${port:-COM1}
  number=${port:3}
  [[ "$number" =~ ^[0-9]+$ ]] || return 0
  device=$(ini_value "$folder/Ports.ini" Ports "COM$number")
  device=${device:-/dev/ttyS$((number - 1))}
  [ -e "$device" ] && return 0
  speed=$(ini_value "$folder/Wexal.INI" Setting Speed)
  speed=${speed:-4800,8,N,2}
  mkdir -p build/ncsim
  link="build/ncsim/COM$number"
  (
    child=""
    trap '[ -n "$child" ] && kill "$child" 2>/dev/null; exit 0' TERM
    while :; do
      build/bin/ncsim receive --link "$link" --line "$speed" --dc1 --xoff-at 200 --xon-at 50 \
        --idle-timeout 0 --raw build/ncsim/received.bin --text build/ncsim/received.nc \
        --report build/ncsim/report.txt >>build/ncsim/ncsim.log 2>&1 &
      child=$!
      wait "$child" || sleep 1
    done
  ) &
  ncsim_loop_pid=$!
  for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
  export "WEXAL_COM$number=$PWD/$link"
  echo "No machine on $port ($device): ncsim plays it on $PWD/$link; what it reads in goes to build/ncsim/."
}

wexal_pid=""
xvfb_pid=""
cleanup() {
  [ -n "$wexal_pid" ] && kill "$wexal_pid" 2>/dev/null && wait "$wexal_pid" 2>/dev/null
  [ -n "$ncsim_loop_pid" ] && kill "$ncsim_loop_pid" 2>/dev/null && wait "$ncsim_loop_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  return 0
}
trap cleanup EXIT

start_machine_if_none

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  status=0
  build/bin/Wexal "$@" || status=$?
  exit "$status"
fi

display=99
while [ -e "/tmp/.X${display}-lock" ]; do display=$((display + 1)); done
Xvfb ":${display}" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
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
