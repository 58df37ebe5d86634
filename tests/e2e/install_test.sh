#!/usr/bin/env bash
# The installer as `make package` makes it, in a Wine prefix made fresh for
# this run: silent install, the checks of orvane_install_check (which also
# starts and ends the installed orvane.exe), silent uninstall, checks again.
# Usage: install_test.sh BUILD_DIR INSTALL_CHECK_EXE
set -euo pipefail
build=$1
check=$2
root=$(cd "$(dirname "$0")/../.." && pwd)

export ORVANE_WINEPREFIX=$build/wineprefix-install
rm -rf "$ORVANE_WINEPREFIX" "$ORVANE_WINEPREFIX.lock"
work=$build/install-test
rm -rf "$work"
mkdir -p "$work"

step() { echo "== $*"; }
wine_run() { timeout 180 "$root/scripts/wine-run" "$@"; }

step "making the installer"
(cd "$build" && cpack -G NSIS --config CPackConfig.cmake -B "$work") >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log"; exit 1; }
setup=$(echo "$work"/Orvane-*-setup.exe)
[ -f "$setup" ] || { echo "no installer in $work" >&2; exit 1; }

# Catches an installer that takes any folder: C:\ lets every local account change what is in it.
for folder in 'C:\Orvane' 'C:\Users\Public\Orvane'; do
    step "a silent install into $folder is refused"
    status=0
    wine_run "$setup" /S "/D=$folder" || status=$?
    [ "$status" -eq 4 ] || { echo "exit code $status, not 4 (folder refused)" >&2; exit 1; }
    [ -z "$(find "$ORVANE_WINEPREFIX/drive_c" -iname orvane.exe)" ] \
        || { echo "the installer wrote into $folder" >&2; exit 1; }
done

step "silent install of $(basename "$setup") into a fresh prefix, starting with Windows"
wine_run "$setup" /S /AUTOSTART
step "what the install left"
wine_run "$check" --gtest_color=no --gtest_filter='InstalledOrvane.*'

step "silent uninstall"
wine_run 'C:\Program Files\Orvane\Uninstall.exe' /S
# The uninstaller goes on from a copy of itself in the temporary folder.
WINEPREFIX=$ORVANE_WINEPREFIX timeout 60 wineserver -w
step "what the uninstall left"
wine_run "$check" --gtest_color=no --gtest_filter='UninstalledOrvane.*'
