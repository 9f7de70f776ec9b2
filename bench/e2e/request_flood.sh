#!/usr/bin/env bash
# wexal-dnc against an NC that punches the same bad request ("O9999(REQ O4444)",
# a program that is not there) as fast as the server takes it, on a
# pseudo-terminal, for SECONDS. Prints the requests punched, the server's CPU
# time over the flood (utime + stime from /proc/<pid>/stat) as a share of one
# core, and the refusal entries and bytes the log gained.
# Usage: bench/e2e/request_flood.sh [SECONDS]   (default 10)
# DNC=/path/to/wexal-dnc measures another build of the server.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ -z "${DNC:-}" ]; then
  cmake --build build --target wexal-dnc >/dev/null
  DNC=build/bin/wexal-dnc
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
DNC="$DNC" WORK="$work" SECONDS_OF_FLOOD="${1:-10}" python3 - <<'PY'
import fcntl, os, select, signal, subprocess, time

dnc, work, seconds = os.environ["DNC"], os.environ["WORK"], float(os.environ["SECONDS_OF_FLOOD"])
home = os.path.join(work, "home"); send = os.path.join(work, "send")
os.makedirs(home); os.makedirs(send)
master, slave = os.openpty()
slave_name = os.ttyname(slave)
os.close(slave)
with open(os.path.join(home, "Wexal.INI"), "w") as f:
    f.write("[Setting]\nSpeed=19200,8,N,1\nCode=N\nSignal=Y\nStartChar=N\nEndChar=Y\nMask=*.NC\nR_Code=0\n")
with open(os.path.join(home, "Machines.ini"), "w") as f:
    f.write("[MC1]\nPort=COM1\nSendDir=%s\nReceiveDir=%s\n" % (send, send))
with open(os.path.join(home, "Ports.ini"), "w") as f:
    f.write("[Ports]\nCOM1=%s\n" % slave_name)
server = subprocess.Popen([dnc], env=dict(os.environ, WEXAL_HOME=home),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

def opened():
    fds = "/proc/%d/fd" % server.pid
    try:
        return any(os.readlink(os.path.join(fds, fd)) == slave_name for fd in os.listdir(fds))
    except OSError:
        return False

for _ in range(200):
    if opened(): break
    time.sleep(0.1)

def cpu():
    fields = open("/proc/%d/stat" % server.pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

def parity(text):
    return bytes(b | 0x80 if bin(b).count("1") % 2 else b for b in text.encode())

log = os.path.join(home, "Wexal.log")
tape = parity("%\nO9999(REQ O4444)\n%\n")
fcntl.fcntl(master, fcntl.F_SETFL, fcntl.fcntl(master, fcntl.F_GETFL) | os.O_NONBLOCK)
cpu0, start, punched, at = cpu(), time.monotonic(), 0, 0
while time.monotonic() - start < seconds:
    try:
        at += os.write(master, tape[at:])
        if at == len(tape): at, punched = 0, punched + 1
        continue
    except BlockingIOError:
        pass
    try:
        while os.read(master, 4096): pass
    except OSError:
        pass
    select.select([], [master], [], 0.02)
wall, used = time.monotonic() - start, cpu() - cpu0
entries = open(log, encoding="cp932", errors="replace").read().count("要求　　拒否") if os.path.exists(log) else 0
size = os.path.getsize(log) if os.path.exists(log) else 0
server.send_signal(signal.SIGTERM)
server.wait(10)
print("flood %.1f s: %d requests punched; server cpu %.2f s = %.1f%% of one core; "
      "log %d refusal entries, %d bytes" % (wall, punched, used, used / wall * 100, entries, size))
PY
