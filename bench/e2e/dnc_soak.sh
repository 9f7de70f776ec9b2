#!/usr/bin/env bash
# A long run of wexal-dnc as a shop uses it: 16 machines, each an ncsim on a
# pseudo-terminal at 19200,8,N,1 paced at the line rate, for MINUTES minutes
# (default 10). Each machine goes round and round: it punches a program of
# its own (a new program number each time), asks for a program (REQ) and asks
# for a drip feed (DRIP). Meanwhile:
#   - machines 15 and 16 now and then put 5 to 8 s of random bytes on their
#     line instead of a program (noise_line, which heeds no DC4; the bytes
#     are kept in m15/ and m16/ noise*.bin);
#   - once a minute one machine's punch is cut in the middle, one minute by
#     killing its ncsim and removing the link (the port goes away; the machine
#     comes back a few seconds later and the server must reopen it), the next
#     by stopping its ncsim (the line goes quiet past ReceiveIdle): either way
#     the server must keep what came as .part and log why;
#   - SIGHUP every 30 s;
#   - in the middle the server's standard output (a FIFO) is not read for 20 s.
# Between two transfers a machine's ncsim ends and the next one makes the
# link anew, so every machine's port also goes away and comes back all the time.
# At the end SIGTERM, and the server must exit 0 within 5 s.
# Checks: every punch saved byte-exact (CR LF lines, a blank before every
# address after a number), every REQ and DRIP read in byte-exact by ncsim,
# nothing in the ReceiveDirs but those programs and the .part of the cut
# punches (each with a "受信　　中止" entry and its reason), no "受信　　完了"
# entry but for a punched program. Prints the server's CPU time (utime +
# stime) as a share of one core, its peak memory (VmHWM), the log entries by
# kind and the lines its output dropped. Exit status 0 when every check
# passed, 1 otherwise (the work folder is then kept for a look).
# Usage: bench/e2e/dnc_soak.sh [MINUTES]   (e.g. 2 for a short try)
set -uo pipefail
cd "$(dirname "$0")/../.."
cmake --build build --target wexal-dnc ncsim noise_line >/dev/null || exit 1

minutes=${1:-10}
case $minutes in '' | *[!0-9]*) echo "usage: $0 [MINUTES]" >&2; exit 2 ;; esac
duration=$((minutes * 60))
machines=16
noisy="15 16"
line=19200,8,N,1
work=$(mktemp -d /tmp/dnc_soak.XXXXXX)
dnc=
reader=
workers=()
failed=0
cleanup() {
  [ -n "$reader" ] && kill -CONT "$reader" 2>/dev/null
  [ -n "$dnc" ] && kill -KILL "$dnc" 2>/dev/null
  for p in "${workers[@]}"; do kill "$p" 2>/dev/null; done
  if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "work folder kept: $work" >&2; fi
}
trap cleanup EXIT
trap 'failed=1; exit 1' INT TERM
now() { date +%s; }

# A program: the file (LF lines), the text ncsim decodes when the server sends
# it, the tape a machine punches and the file the server saves of that tape.
# program NUMBER BYTES SEED FILE DECODED TAPE SAVED (an empty name: not wanted)
program() {
  awk -v num="$1" -v size="$2" -v seed="$3" -v file="$4" -v decoded="$5" -v tape="$6" -v saved="$7" '
    function out(name, text) { if (name != "") printf "%s", text > name }
    BEGIN {
      out(file, "%\nO" num "(SOAK)\n"); out(decoded, "\nO" num "(SOAK)\n")
      out(tape, "%\nO" num "(SOAK)\n"); out(saved, "O" num "(SOAK)\r\n")
      bytes = 16; n = 0
      while (bytes < size) {
        n++; x = (n * 7 + seed) % 997; y = (n + seed * 3) % 313; f = 100 + (n + seed) % 50 * 10
        text = sprintf("N%dG01X%d.125Y-%d.5F%d", n, x, y, f)
        out(file, text "\n"); out(decoded, text "\n"); out(tape, text "\n")
        out(saved, sprintf("N%d G01 X%d.125 Y-%d.5 F%d\r\n", n, x, y, f))
        bytes += length(text) + 1
      }
      out(file, "M30\n%\n"); out(decoded, "M30\n\n%"); out(tape, "M30\n%\n"); out(saved, "M30\r\n%\r\n")
    }'
}

mkdir -p "$work/home"
printf '[Setting]\nSpeed=%s\nCode=N\nSignal=Y\nStartChar=N\nEndChar=Y\nMask=*.NC\nR_Code=0\n[Options]\nAdd_No=N\n' \
  "$line" >"$work/home/Wexal.INI"
: >"$work/home/Machines.ini"
echo "[Ports]" >"$work/home/Ports.ini"
for i in $(seq 1 $machines); do
  mkdir -p "$work/send$i" "$work/recv$i" "$work/m$i"
  printf '[MC%d]\nPort=COM%d\nSendDir=%s\nReceiveDir=%s\nReceiveIdle=2\n' \
    "$i" "$i" "$work/send$i" "$work/recv$i" >>"$work/home/Machines.ini"
  echo "COM$i=$work/nc$i" >>"$work/home/Ports.ini"
  # O1000 is asked for with REQ (about 5 s of line), O1001 with DRIP (about 8 s).
  program 1000 $((1920 * 5)) "$i" "$work/send$i/O1000.NC" "$work/m$i/O1000.decoded" "" ""
  program 1001 $((1920 * 8)) $((i + 50)) "$work/send$i/O1001.NC" "$work/m$i/O1001.decoded" "" ""
done

# One machine, until the end of the run. Each transfer is a line of
# m<i>/runs: KIND NAME STATUS (ncsim's exit status).
worker() {
  local i=$1 end=$2 k=0 dir="$work/m$i" link="$work/nc$i" num size rc pid kind how
  local noisy_here=0
  for n in $noisy; do [ "$n" -eq "$i" ] && noisy_here=1; done
  while [ "$(now)" -lt "$end" ]; do
    k=$((k + 1))
    num=$((1000 + i * 500 + k))
    if [ -e "$work/cut$i" ]; then
      # A punch of about 30 s of line, cut after 10 s: the port opens within
      # the server's 3 s retry, so several seconds of program have come.
      how=$(cat "$work/cut$i")
      rm -f "$work/cut$i"
      program "$num" $((1920 * 30)) "$((i * 31 + k))" "" "" "$dir/O$num.tape" ""
      build/bin/ncsim punch "$dir/O$num.tape" --link "$link" --line "$line" --code iso \
        --report "$dir/k$k.rep" >/dev/null 2>&1 &
      pid=$!
      sleep 10
      if [ "$how" = quiet ]; then
        # Past ReceiveIdle=2 the server gives up and sends DC4, which ends
        # the punch once ncsim runs again.
        kill -STOP "$pid" 2>/dev/null
        sleep 4
        kill -CONT "$pid" 2>/dev/null
        sleep 2
      fi
      kill -TERM "$pid" 2>/dev/null
      wait "$pid"
      rc=$?
      rm -f "$link"
      echo "cut-$how O$num.NC $rc" >>"$dir/runs"
      sleep 4
      continue
    fi
    if [ "$noisy_here" -eq 1 ] && [ $((k % 3)) -eq 0 ]; then
      build/bin/noise_line "$link" 1920 $((5 + k % 4)) "$dir/noise$k.bin" >"$dir/noise$k" 2>&1
      echo "noise noise$k $?" >>"$dir/runs"
      sleep 1
      continue
    fi
    case $(((k + i) % 3)) in
      0)
        size=$((1920 * (4 + (i + k) % 6)))
        program "$num" "$size" "$((i * 31 + k))" "" "" "$dir/O$num.tape" "$dir/O$num.saved"
        build/bin/ncsim punch "$dir/O$num.tape" --link "$link" --line "$line" --code iso \
          --report "$dir/k$k.rep" >/dev/null 2>&1
        echo "punch O$num.NC $?" >>"$dir/runs"
        ;;
      1 | 2)
        if [ $(((k + i) % 3)) -eq 1 ]; then kind=REQ; num=1000; else kind=DRIP; num=1001; fi
        build/bin/ncsim request "O$num" $([ $kind = DRIP ] && echo --drip) --link "$link" \
          --line "$line" --code iso --dc1 --xoff-at 200 --xon-at 50 --text "$dir/got$k.nc" \
          --report "$dir/k$k.rep" >/dev/null 2>&1
        echo "$kind got$k.nc:O$num.decoded $?" >>"$dir/runs"
        ;;
    esac
    sleep 1
  done
}

# The server, its output into a FIFO read by cat (which is stopped a while).
mkfifo "$work/out.fifo"
cat "$work/out.fifo" >"$work/dnc.out" &
reader=$!
clk=$(getconf CLK_TCK)
start=$(date +%s.%N)
WEXAL_HOME="$work/home" build/bin/wexal-dnc >"$work/out.fifo" 2>"$work/dnc.err" &
dnc=$!
# The 20 s of output fit a pipe's usual 64 KB; in one page they hold the
# server's writer for real. python3 does that where it is (not on every
# Debian); without it the stall only shows the server is not slowed by it.
pipe_size=default
if command -v python3 >/dev/null; then
  pipe_size=$(python3 -c 'import fcntl, os, sys
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NONBLOCK)
print(fcntl.fcntl(fd, 1031, 4096))  # F_SETPIPE_SZ
os.close(fd)' "$work/out.fifo" 2>/dev/null) || pipe_size=default
fi
begin=$(now)
end=$((begin + duration))
for i in $(seq 1 $machines); do
  worker "$i" "$end" &
  workers+=($!)
done
echo "soak: $machines machines for $minutes min, work folder $work"

hups=0
cuts=0
stall_at=$((duration / 2 - 10))
stalled=0
cut_next=1
while [ "$(now)" -lt "$end" ]; do
  sleep 1
  t=$(($(now) - begin))
  kill -0 "$dnc" 2>/dev/null || { echo "FAIL: the server ended during the run" >&2; break; }
  if [ "$t" -ge $(((hups + 1) * 30)) ]; then
    kill -HUP "$dnc"
    hups=$((hups + 1))
  fi
  # A cut every minute, from 20 s on, machine after machine (not the noisy ones).
  if [ "$t" -ge $((20 + cuts * 60)) ] && [ "$t" -lt $((duration - 30)) ]; then
    [ $((cuts % 2)) -eq 0 ] && echo killed >"$work/cut$cut_next" || echo quiet >"$work/cut$cut_next"
    cuts=$((cuts + 1))
    cut_next=$((cut_next % 14 + 1))
  fi
  if [ "$stalled" -eq 0 ] && [ "$t" -ge "$stall_at" ]; then
    kill -STOP "$reader"
    stalled=1
    stall_began=$t
    stall_from=$(date '+%Y/%m/%d %H:%M:%S')
  elif [ "$stalled" -eq 1 ] && [ "$t" -ge $((stall_began + 20)) ]; then
    # Where the server's threads wait just before the output is read again.
    blocked=$(cat /proc/"$dnc"/task/*/wchan 2>/dev/null | tr '\0' '\n' | grep -c pipe_write)
    stall_to=$(date '+%Y/%m/%d %H:%M:%S')
    kill -CONT "$reader"
    stalled=2
  fi
done
[ "$stalled" -eq 1 ] && kill -CONT "$reader"
for p in "${workers[@]}"; do wait "$p"; done
workers=()
rm -f "$work"/cut*
# The last saves and entries come up to ReceiveIdle after the last byte.
sleep 3
ended_at=$(date +%s.%N)

failures=()
fail() { failures+=("$*"); }
if kill -0 "$dnc" 2>/dev/null; then
  read -r -a stat <"/proc/$dnc/stat"
  cpu_ticks=$((stat[13] + stat[14]))
  hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$dnc/status")
  threads=$(awk '/Threads/ { print $2 }' "/proc/$dnc/status")
  fds=$(ls "/proc/$dnc/fd" | wc -l)
  term_at=$(date +%s.%N)
  kill -TERM "$dnc"
  for _ in $(seq 200); do kill -0 "$dnc" 2>/dev/null || break; sleep 0.05; done
  gone_at=$(date +%s.%N)
  status=0
  if kill -0 "$dnc" 2>/dev/null; then
    fail "the server had not ended 10 s after SIGTERM"
    kill -KILL "$dnc"
  fi
  wait "$dnc" || status=$?
  dnc=
  exit_s=$(awk -v a="$term_at" -v b="$gone_at" 'BEGIN { printf "%.2f", b - a }')
  [ "$status" -eq 0 ] || fail "the server exited $status after SIGTERM"
  awk -v s="$exit_s" 'BEGIN { exit !(s > 5) }' && fail "the server took $exit_s s to exit after SIGTERM"
else
  cpu_ticks=0 hwm=0 threads=0 fds=0 exit_s=- status=-
  wait "$dnc"
  fail "the server was not running at the end (exit $?)"
  dnc=
fi
wait "$reader"
reader=

# Every transfer. The log is in Shift_JIS with CR LF lines, each entry
# ending in the machine's name: KIND　DATE TIME　FILE[（REASON）]　MACHINE.
log="$work/log.txt"
if [ -f "$work/home/Wexal.log" ]; then
  iconv -f CP932 -t UTF-8 "$work/home/Wexal.log" | tr -d '\r' >"$log"
else
  fail "no Wexal.log"
  : >"$log"
fi
declare -A expected=()
counts_punch=0 counts_req=0 counts_drip=0 counts_cut=0 counts_noise=0 noise_bytes=0
for i in $(seq 1 $machines); do
  dir="$work/m$i"
  [ -f "$dir/runs" ] || continue
  while read -r kind name rc; do
    case $kind in
      punch)
        counts_punch=$((counts_punch + 1))
        expected["recv$i/$name"]=1
        [ "$rc" -eq 0 ] || fail "MC$i punch $name: ncsim exit $rc"
        if [ ! -f "$work/recv$i/$name" ]; then
          fail "MC$i punch $name: not saved"
        elif ! cmp -s "$work/recv$i/$name" "$dir/${name%.NC}.saved"; then
          fail "MC$i punch $name: saved file differs from the tape"
        fi
        grep -q "^受信　　完了.*/recv$i/$name　MC$i\$" "$log" ||
          fail "MC$i punch $name: no 受信　　完了 entry"
        ;;
      REQ | DRIP)
        [ "$kind" = REQ ] && counts_req=$((counts_req + 1)) || counts_drip=$((counts_drip + 1))
        got=${name%%:*} want=${name#*:}
        [ "$rc" -eq 0 ] || fail "MC$i $kind ${want%.decoded} ($got): ncsim exit $rc"
        cmp -s "$dir/$got" "$dir/$want" ||
          fail "MC$i $kind ${want%.decoded} ($got): not what the server sends of the file"
        ;;
      cut-*)
        counts_cut=$((counts_cut + 1))
        expected["recv$i/$name.part"]=1
        [ -f "$work/recv$i/$name.part" ] || fail "MC$i punch $name cut (${kind#cut-}): no $name.part"
        grep -q "^受信　　中止.*/recv$i/$name（..*）　MC$i\$" "$log" ||
          fail "MC$i punch $name cut (${kind#cut-}): no 受信　　中止 entry with its reason"
        ;;
      noise)
        counts_noise=$((counts_noise + 1))
        [ "$rc" -eq 0 ] || fail "MC$i $name: the noise line was never opened by the server"
        noise_bytes=$((noise_bytes + $(cat "$dir/$name" 2>/dev/null || echo 0)))
        ;;
    esac
  done <"$dir/runs"
done
for i in $(seq 1 $machines); do
  for f in "$work/recv$i"/* "$work/recv$i"/.[!.]*; do
    [ -e "$f" ] || continue
    [ -n "${expected["recv$i/${f##*/}"]:-}" ] || fail "MC$i: unexpected ${f##*/} in ReceiveDir"
  done
done
while IFS= read -r entry; do
  path=${entry%　*}
  path=${path##*　}
  rel=${path#"$work"/}
  [ -n "${expected["$rel"]:-}" ] && [[ $rel != *.part ]] ||
    fail "a 受信　　完了 entry for what was not a punched program: $entry"
done < <(grep '^受信　　完了' "$log")
grep -q '時間内に停止できませんでした' "$work/dnc.out" && fail "a machine did not stop in time"
dropped=$(sed -n 's/.*出力が止まっていた間の \([0-9]*\) 行を省きました.*/\1/p' "$work/dnc.out" |
  awk '{ s += $1; n++ } END { printf "%d lines in %d notes", s, n }')
reloads=$(grep -c '設定を読み直しました' "$work/dnc.out")
dropped_lines=${dropped%% *}
[ $((reloads + dropped_lines)) -ge "$hups" ] ||
  fail "$hups SIGHUPs but only $reloads reloads said (and $dropped_lines lines dropped)"
# Machines go on while nobody reads the output: transfers that ended then.
during=$(awk -v from="${stall_from:-}" -v to="${stall_to:-}" '
  /^(受信|送信)　　完了/ && match($0, /[0-9][0-9][0-9][0-9]\/[0-9][0-9]\/[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]/) {
    t = substr($0, RSTART, 19); if (t > from && t <= to) n++ }
  END { print n + 0 }' "$log")
[ "${stalled:-0}" -eq 2 ] && [ "$during" -gt 0 ] ||
  fail "no transfer ended while the server's output was not read ($stall_from to $stall_to)"
[ "$counts_punch" -gt 0 ] && [ "$counts_req" -gt 0 ] && [ "$counts_drip" -gt 0 ] ||
  fail "a kind of transfer never ran"

echo
echo "transfers: $counts_punch punches, $counts_req REQ, $counts_drip DRIP, $counts_cut cut punches," \
  "$counts_noise noise bursts ($noise_bytes bytes); $hups SIGHUPs; stdout stalled 20 s at $stall_at s"
echo "log entries by kind:"
grep '[0-9][0-9][0-9][0-9]/[0-9][0-9]/[0-9][0-9] ' "$log" | sed 's/　*[0-9][0-9][0-9][0-9]\/.*//' |
  sort | uniq -c | sed 's/^/  /'
sed -n 's/^雑音　　破棄　[^　]*　/  noise entry: /p' "$log"
echo "server output: $(wc -l <"$work/dnc.out") lines, dropped $dropped; $reloads reloads said;" \
  "FIFO of $pipe_size bytes; at the stall's end ${blocked:-?} server thread(s) in pipe_write," \
  "$during transfers ended during it"
awk -v t="$cpu_ticks" -v clk="$clk" -v s="$start" -v e="$ended_at" -v h="$hwm" -v x="$exit_s" \
  -v st="$status" -v th="$threads" -v fd="$fds" \
  'BEGIN { wall = e - s; cpu = t / clk
    printf "server: wall %.1f s, cpu %.2f s = %.2f%% of one core, peak RSS %.1f MB, %d threads, %d fds at the end; exit %s in %s s after SIGTERM\n",
      wall, cpu, cpu / wall * 100, h / 1024, th, fd, st, x }'
if [ "${#failures[@]}" -gt 0 ]; then
  failed=1
  echo "FAILED (${#failures[@]}):"
  printf '  %s\n' "${failures[@]}"
  exit 1
fi
echo "all checks passed"
