#!/usr/bin/env bash
# The scenarios on desks of dummy monitors (scripts/with-desk), each desk with
# a Wine prefix of its own: a prefix's desktop belongs to one display.
# Usage: desk_test.sh WINE_RUN E2E_TESTS BUILD_DIR
set -euo pipefail
wine_run=$1 tests=$2 build=$3
here=$(cd "$(dirname "$0")" && pwd)
desk=$here/../../scripts/with-desk
status=0

ORVANE_WINEPREFIX=$build/wineprefix-desk "$desk" "$wine_run" "$tests" --gtest_color=no \
    --gtest_filter='CaptureProgram.*:*DragSelection*:*CacheFormat*:*CaptureKeys*:*SmallSelection*:ScreenshotWindowUse.*:*ScreenshotDragOut*' || status=1

# Server-side fills reach the screen whole, unlike a Wine window's drawing.
cc -O2 -o "$build/flicker" "$here/flicker.c" -lX11
export ORVANE_DESK=modes ORVANE_WINEPREFIX=$build/wineprefix-desk-modes ORVANE_FLICKER_AREA="700 100 400 600"
"$desk" sh -c '"$1" $ORVANE_FLICKER_AREA & trap "kill $!" EXIT; shift; "$@"' flicker "$build/flicker" \
    "$wine_run" "$tests" --gtest_color=no --gtest_filter='DeskModes.*:DeskFlicker.*' || status=1
exit $status
