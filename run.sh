#!/usr/bin/env bash
# Installs what is missing, builds, and starts Wexal. Until a port is bound on
# purpose (WEXAL_COMn, or Ports.ini) it plays a demo: ncsim on a pseudo-terminal is the machine on
# COM1 and build/demo holds sample programs and the demo's own settings; with a
# display F1 sends, without one a program goes out headlessly and what the
# machine received is printed. With a real port and no display it runs the
# program under Xvfb, saves a screenshot of the main window and ends.
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

# The demo plays the machine with ncsim unless a port was bound on purpose: a
# WEXAL_COMn in the environment, or an entry for the configured port in
# Ports.ini. A PC's onboard /dev/ttyS0 is no such choice: nothing may answer
# there. WEXAL_DEMO=1 plays the demo in any case. The demo keeps its own
# program folder, so an operator's settings are never touched.
wants_demo() {
  [ "${WEXAL_DEMO:-0}" = 1 ] && return 0
  local bound
  bound=$(env | grep -m1 '^WEXAL_COM[0-9]*=' || true)
  if [ -n "$bound" ]; then
    echo "Using the port bound by ${bound%%=*} (${bound#*=}). WEXAL_DEMO=1 ./run.sh plays a machine instead."
    return 1
  fi
  local folder port device
  folder=$(program_folder)
  port=$(ini_value "$folder/Wexal.INI" Setting Port)
  port=${port:-COM1}
  device=$(ini_value "$folder/Ports.ini" Ports "${port^^}")
  if [ -n "$device" ]; then
    echo "Using $port as Ports.ini binds it ($device). WEXAL_DEMO=1 ./run.sh plays a machine instead."
    return 1
  fi
  echo "No port is bound: ncsim plays the machine on $port (demo)."
  echo "To use a real port, bind it in $folder/Ports.ini ([Ports] then $port=/dev/ttyS0)"
  echo "or start with WEXAL_${port^^}=/dev/ttyUSB0 ./run.sh (the port must open for you: group dialout)."
  return 0
}

demo=build/demo
# A few small NC programs and settings of the demo's own, made here at run time.
prepare_demo() {
  mkdir -p "$demo/nc" "$demo/home" "$demo/machine"
  # Long enough (about 700 bytes) that the machine, taking in 200 bytes a
  # second from a 4800 baud line that brings 436, holds the sender with XOFF
  # and releases it with XON.
  {
    printf '%%\r\nO1000(DEMO FACE MILL)\r\nG90G54G00X0Y0\r\nS1200M03\r\nG43Z50.H01\r\nG01Z-1.F200\r\n'
    for y in $(seq 0 5 95); do printf 'G01X100.Y%d.F400\r\nG01X0Y%d.\r\n' "$y" "$((y + 5))"; done
    printf 'G00Z50.\r\nM30\r\n%%\r\n'
  } >"$demo/nc/O1000.NC"
  printf '%%\nO2000(DEMO DRILL)\nG90G54G00X10.Y10.\nS800M03\nG81Z-12.R2.F80\nX30.\nX50.\nG80\nM30\n%%\n' \
    >"$demo/nc/O2000.NC"
  printf '%%\r\nO3000(DEMO TURN)\r\nG50S2000\r\nG96S180M03\r\nG00X42.Z2.\r\nG01Z-30.F0.2\r\nX50.\r\nG00X100.Z100.\r\nM30\r\n%%\r\n' \
    >"$demo/nc/O3000.NC"
  [ -f "$demo/home/Wexal.INI" ] ||
    printf '[Setting]\r\nDirPath=%s\r\nPort=COM1\r\nSpeed=4800,8,N,2\r\nSignal=Y\r\nCode=N\r\n' \
      "$PWD/$demo/nc" >"$demo/home/Wexal.INI"
  export WEXAL_HOME="$PWD/$demo/home"
}

# The machine takes bytes in slower than the line brings them, so its buffer
# fills and it says XOFF at 200 bytes and XON at 50.
machine_args=(receive --line 4800,8,N,2 --drain 200 --dc1 --xoff-at 200 --xon-at 50)

ncsim_loop_pid=""
# With a display: ncsim reads every program sent with F1, restarted after
# each transfer, on build/demo/machine/COM1.
start_demo_machine() {
  local link="$demo/machine/COM1"
  (
    child=""
    trap '[ -n "$child" ] && kill "$child" 2>/dev/null; exit 0' TERM
    while :; do
      build/bin/ncsim "${machine_args[@]}" --link "$link" --idle-timeout 0 \
        --raw "$demo/machine/received.bin" --text "$demo/machine/received.nc" \
        --report "$demo/machine/report.txt" >>"$demo/machine/ncsim.log" 2>&1 &
      child=$!
      wait "$child" || sleep 1
    done
  ) &
  ncsim_loop_pid=$!
  for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
  export WEXAL_COM1="$PWD/$link"
  echo "ncsim plays the machine on $PWD/$link. Press F1 on a program in $PWD/$demo/nc;"
  echo "what the machine read in goes to $PWD/$demo/machine/received.nc (report.txt beside it)."
}

# ncsim's report in a line: what it read, parity errors, and its XOFF and XON.
report_line() {
  [ -f "$1" ] || { echo "(no report)"; return 0; }
  local key
  for key in end_reason bytes_received parity_errors xoff_sent xon_sent max_buffer_fill; do
    printf '%s=%s ' "$key" "$(sed -n "s/^$key=//p" "$1")"
  done
  echo
}

# Without a display: one program sent through the command-line start, headless.
headless_demo() {
  local link="$demo/machine/COM1" sim status=0
  rm -f "$demo/machine/received.nc" "$demo/machine/report.txt"
  build/bin/ncsim "${machine_args[@]}" --link "$link" --idle-timeout 30 \
    --text "$demo/machine/received.nc" --report "$demo/machine/report.txt" \
    >"$demo/machine/ncsim.log" 2>&1 &
  sim=$!
  for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
  echo "No display: sending $demo/nc/O1000.NC to ncsim with Wexal S=... END (offscreen)."
  QT_QPA_PLATFORM=offscreen WEXAL_COM1="$PWD/$link" \
    build/bin/Wexal "S=$PWD/$demo/nc/O1000.NC" END || status=$?
  wait "$sim" || true
  echo "--- the machine received ($demo/machine/received.nc):"
  cat "$demo/machine/received.nc" 2>/dev/null || echo "(nothing)"
  echo
  echo "--- the machine's report ($demo/machine/report.txt):"
  report_line "$demo/machine/report.txt"
  echo "--- the transfer log ($demo/home/Wexal.log), last line:"
  iconv -f CP932 -t UTF-8 "$demo/home/Wexal.log" 2>/dev/null | tail -n 1 || true
  echo "Wexal ended with exit status $status (0 completed, 1 aborted, 2 could not start)."
  exit "$status"
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

has_display=false
{ [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && has_display=true
if wants_demo; then
  prepare_demo
  $has_display || headless_demo
  start_demo_machine
fi

if $has_display; then
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
