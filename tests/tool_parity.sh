#!/usr/bin/env bash
# The developer tool must write the same bytes natively and under Wine.
# Usage: tool_parity.sh WINDOWS_TOOL NATIVE_TOOL PICTURE_DIR
set -euo pipefail
windows_tool=$1 native_tool=$2 corpus=$3
root=$(cd "$(dirname "$0")/.." && pwd)
# 77: ctest's skip code (SKIP_RETURN_CODE), so that the windows preset alone passes.
if [ -z "$native_tool" ]; then
    echo "skipped: no native orvane-tool given (CMake variable ORVANE_NATIVE_TOOL)"
    exit 77
fi
if [ ! -x "$native_tool" ]; then
    echo "skipped: the native orvane-tool is not built: $native_tool (cmake --build --preset native)"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A small PPM as well as the generated desktop PNG: both readers are exercised.
printf 'P6\n# parity\n3 2\n255\n' >"$work/in.ppm"
printf '\377\000\000\000\377\000\000\000\377\377\377\377\000\000\000\200\200\200' >>"$work/in.ppm"

status=0
for input in "$corpus/desktop_1920x1080.png" "$work/in.ppm"; do
    for ext in jpg png bmp; do
        "$native_tool" save "$input" "$work/native.$ext"
        "$root/scripts/wine-run" "$windows_tool" save "Z:$input" "Z:$work/windows.$ext"
        if cmp -s "$work/native.$ext" "$work/windows.$ext"; then
            echo "same bytes: $(basename "$input") -> .$ext"
        else
            echo "DIFFERENT: $(basename "$input") -> .$ext" >&2
            status=1
        fi
    done
done
# Catches a save that writes nothing yet exits 0: each tool must fail with
# one line saying why, for a missing folder and for a name with no format.
for case in "$work/missing/x.png 1" "$work/noext 3"; do
    set -- $case
    for tool in native windows; do
        if [ $tool = native ]; then
            "$native_tool" save "$work/in.ppm" "$1" "$2" 2>"$work/err" && code=0 || code=$?
        else
            "$root/scripts/wine-run" "$windows_tool" save "Z:$work/in.ppm" "Z:$1" "$2" 2>"$work/err" && code=0 || code=$?
        fi
        reason=$(grep -c '^orvane-tool: nothing written: ' "$work/err" || true)
        if [ "$code" -ne 3 ] || [ "$reason" -ne 1 ]; then
            echo "WRONG: $tool save to $(basename "$1") with format $2 exited $code, said: $(cat "$work/err")" >&2
            status=1
        fi
    done
done
exit $status
