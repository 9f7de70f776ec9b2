#!/usr/bin/env bash
# Builds the Debian package, checks it as Debian's tools do, installs it on
# this machine, sends a program with the installed commands, asks the desktop
# for the file types, and removes it again, leaving nothing behind.
# Needs root (dpkg); ends with 77 (skipped) without it.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing a package needs root"
  exit 77
fi
if dpkg-query -W -f='${Status}' wexal 2>/dev/null | grep -q 'install ok installed'; then
  echo "skipped: a wexal package is installed here already, and this test would remove it"
  exit 77
fi

fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
installed=0
cleanup() {
  [ "$installed" = 1 ] && dpkg -r wexal >/dev/null 2>&1
  kill "${machine:-}" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

cmake --build "$build" --target package >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^project(Wexal .*VERSION \([0-9.]*\)).*/\1/p' "$source/CMakeLists.txt")
deb="$build/wexal_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb"

# Debian's checks: no lintian error and no hardening left out, clean desktop
# entry, metainfo and manual pages.
lintian --allow-root --fail-on error -I --pedantic "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log"; fail "lintian reports errors"; }
! grep 'hardening-' "$work/lintian.log" || fail "lintian: binaries not hardened"
dpkg-deb -x "$deb" "$work/root"
desktop=$(desktop-file-validate "$work"/root/usr/share/applications/*.desktop 2>&1) || true
[ -z "$desktop" ] || fail "desktop-file-validate: $desktop"
appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.metainfo.xml || fail "appstream"
for page in "$work"/root/usr/share/man/man1/*.1.gz "$work"/root/usr/share/man/man8/*.8.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no computed Qt dependency"
dpkg-deb -f "$deb" Depends | grep -q 'qt6-translations-l10n' || fail "no qt6-translations-l10n dependency"
dpkg-deb -f "$deb" Suggests | grep -q 'ser2net' || fail "ser2net not suggested"

dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
installed=1
touch "$work/installed.stamp"

# The DNC server's service is installed, not enabled, and has its user.
[ -f /usr/lib/systemd/system/wexal-dnc.service ] || fail "no wexal-dnc.service"
[ -f /usr/lib/sysusers.d/wexal-dnc.conf ] || fail "no sysusers file for wexal-dnc"
enabled=$(find /etc/systemd/system -name 'wexal-dnc*' 2>/dev/null | head)
[ -z "$enabled" ] || fail "wexal-dnc enabled by the package: $enabled"
if command -v systemd-sysusers >/dev/null; then
  getent passwd wexal-dnc >/dev/null || fail "no user wexal-dnc after dpkg -i"
fi
if [ -x /usr/bin/wexal-dnc ] && command -v systemd-analyze >/dev/null; then
  systemd-analyze verify /usr/lib/systemd/system/wexal-dnc.service || fail "systemd-analyze verify"
fi

# A send through the installed commands, as root, without a display: the
# files go to $XDG_CONFIG_HOME/wexal, never beside /usr/bin/wexal.
# A runtime folder of its own: the lock is shared by every Wexal of a user,
# and one running elsewhere on this machine must not stop this run.
export XDG_CONFIG_HOME="$work/config" HOME="$work" XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY WEXAL_HOME
mkdir -p "$XDG_CONFIG_HOME/wexal"
printf '[Setting]\r\nPort=COM1\r\nSpeed=9600,8,N,2\r\nCode=N\r\nSignal=Y\r\n' >"$XDG_CONFIG_HOME/wexal/Wexal.INI"
printf '%%\nO1000(PACKAGE)\nG90G00X0Y0\nG01X100.F300\nM30\n%%\n' >"$work/O1000.nc"
/usr/bin/wexal-ncsim receive --link "$work/nc1" --line none --dc1 --code iso --text "$work/in.nc" \
  --report "$work/report.txt" --idle-timeout 20 >"$work/ncsim.out" 2>&1 &
machine=$!
for _ in $(seq 50); do [ -e "$work/nc1" ] && break; sleep 0.1; done
status=0
WEXAL_COM1="$work/nc1" /usr/bin/wexal "S=$work/O1000.nc" END 2>"$work/wexal.err" || status=$?
wait "$machine" || true
cat "$work/wexal.err"
[ "$status" = 0 ] || fail "wexal ended with $status"
# In ISO code the leading % is the tape's start and the end % its last byte.
printf '\nO1000(PACKAGE)\nG90G00X0Y0\nG01X100.F300\nM30\n\n%%' | cmp - "$work/in.nc" ||
  fail "the machine did not receive the program byte for byte"
grep -qx 'parity_errors=0' "$work/report.txt" || fail "parity errors: $(cat "$work/report.txt")"
iconv -f CP932 -t UTF-8 "$XDG_CONFIG_HOME/wexal/Wexal.log" | grep -q '完了' || fail "no 完了 in Wexal.log"
# The toolpath printer, installed under its Debian name.
/usr/bin/wexal-ncpath "$work/O1000.nc" >"$work/path.txt" || fail "wexal-ncpath ended with $?"
grep -q '^# moves 2$' "$work/path.txt" || fail "wexal-ncpath: $(cat "$work/path.txt")"
# The revisions, installed under their Debian name: a restore keeps what it
# replaces, and the list shows it.
cp "$work/O1000.nc" "$work/sent.nc"
printf 'O1000(OLD)\nM30\n' >"$work/old.nc"
kept=$(/usr/bin/wexal-ncrev restore "$work/O1000.nc" "$work/old.nc") || fail "wexal-ncrev restore ended with $?"
cmp -s "$work/old.nc" "$work/O1000.nc" || fail "wexal-ncrev did not put old.nc back"
cmp -s "$work/sent.nc" "$kept" || fail "wexal-ncrev kept no revision of what it replaced: $kept"
/usr/bin/wexal-ncrev list "$work/O1000.nc" >"$work/revisions.txt" || fail "wexal-ncrev list ended with $?"
[ "$(cut -f 2- "$work/revisions.txt")" = "$(printf 'Wexal\t%s\t%s' "$(wc -c <"$work/sent.nc")" "$kept")" ] ||
  fail "wexal-ncrev list: $(cat "$work/revisions.txt")"
written=$(find /usr -newer "$work/installed.stamp" \( -type f -o -type l \) | head)
[ -z "$written" ] || fail "written under /usr: $written"

# A user outside the port's group is told which group opens it.
/usr/bin/wexal-ncsim receive --link "$work/nc2" --line none --idle-timeout 5 >"$work/ncsim2.out" 2>&1 &
machine=$!
for _ in $(seq 50); do [ -e "$work/nc2" ] && break; sleep 0.1; done
tty=$(readlink -f "$work/nc2")
chown root:dialout "$tty" && chmod 660 "$tty"
mkdir -m 1777 "$work/shared"
install -d -m 700 -o nobody "$work/shared/runtime"
status=0
setpriv --reuid=nobody --regid=nogroup --clear-groups env XDG_CONFIG_HOME="$work/shared" \
  HOME="$work/shared" XDG_RUNTIME_DIR="$work/shared/runtime" WEXAL_COM1="$tty" \
  /usr/bin/wexal "S=$work/O1000.nc" END 2>"$work/denied.err" || status=$?
kill "$machine" 2>/dev/null || true
cat "$work/denied.err"
[ "$status" = 2 ] || fail "a refused port ended with $status, not 2"
grep -q "COM1のポートが開きません。!!" "$work/denied.err" || fail "no port message"
grep -q "グループ「dialout」に入る必要があります（sudo adduser nobody dialout）。その後、ログインし直してください。" \
  "$work/denied.err" || fail "no advice on the group"

# The file types, as the desktop's tools read the shared-mime-info database.
printf 'CDF\001\000\000\000\000\000\000\000\012' >"$work/climate.nc"
printf '\211HDF\r\n\032\n\000\000' >"$work/ocean.nc"
while read -r name expected; do
  [ -f "$work/$name" ] || cp "$work/O1000.nc" "$work/$name"
  got=$(xdg-mime query filetype "$work/$name")
  [ "$got" = "$expected" ] || fail "$name is $got, not $expected"
done <<TYPES
O1000.nc text/x.gcode
O2000.NC text/x.gcode
climate.nc application/x-netcdf
ocean.nc application/x-netcdf
$(sed -n 's/^set(WEXAL_NC_PROGRAM_EXTENSIONS \(.*\))/\1/p' "$source/packaging/nc_programs.cmake" |
    tr ' ' '\n' | sed 's/.*/PART.& text\/x.gcode/')
TYPES

# Removed, nothing of it is left and *.nc is NetCDF again.
files=$(dpkg-query -L wexal | while read -r f; do [ -f "$f" ] && echo "$f"; done)
dpkg -r wexal >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r"; }
installed=0
for f in $files; do [ ! -e "$f" ] || fail "left behind: $f"; done
! dpkg-query -W -f='${Status}' wexal 2>/dev/null | grep -qE ' (installed|config-files)$' ||
  fail "dpkg still lists wexal"
[ "$(xdg-mime query filetype "$work/O1000.nc")" = application/x-netcdf ] || fail "*.nc still G-code"
echo "package test passed"
