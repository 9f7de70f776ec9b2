# Shared by run.sh and test.sh: installs what a fresh Debian 12 machine lacks
# and configures the build once. Sourced, not run.

WEXAL_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth libx11-dev libxtst-dev fonts-ipafont-gothic
  ser2net
  qt6-translations-l10n
  dpkg-dev file man-db shared-mime-info
  lintian desktop-file-utils appstream xdg-utils libfile-mimeinfo-perl
)

# The Windows build of the DNC server and Wine to test it: test.sh's alone,
# so that run.sh does not fetch Wine for a user who only wants the window.
WEXAL_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 googletest)

# The compiler cache: test.sh builds from clean clones again and again (CI
# clones afresh each time); run.sh builds once and goes without. GNU diff and
# patch check ncrev's diff on real programs.
WEXAL_TEST_PACKAGES=(ccache diffutils patch)

wexal_missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || echo "$pkg"
  done
}

# Installs what is missing of WEXAL_PACKAGES and of the packages given.
wexal_install_packages() {
  local missing
  missing=$(wexal_missing_packages "${WEXAL_PACKAGES[@]}" "$@")
  [ -z "$missing" ] && return 0
  echo "Installing: $(echo $missing)"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

wexal_build() {
  if [ ! -f build/build.ninja ]; then
    cmake --preset default
  fi
  cmake --build --preset default
}

# The Windows executables (wexal-dnc.exe, ncpath.exe and the core tests),
# cross-built with MinGW-w64 and run under Wine.
wexal_build_windows() {
  if [ ! -f build-windows/build.ninja ]; then
    cmake --preset windows
  fi
  cmake --build --preset windows
}
