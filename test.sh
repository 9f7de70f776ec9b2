#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

wexal_install_packages "${WEXAL_WINDOWS_PACKAGES[@]}" "${WEXAL_TEST_PACKAGES[@]}"
wexal_build
# Before the Linux tests: their runs under Wine take the Windows server.
wexal_build_windows
QT_QPA_PLATFORM=offscreen ctest --preset default -j "$(nproc)"
ctest --preset windows
