#!/usr/bin/env bash
# `orvane-tool hdr-table` must print the same bytes natively and under Wine.
# Usage: hdr_table_parity.sh WINDOWS_TOOL NATIVE_TOOL
set -euo pipefail
windows_tool=$1 native_tool=$2
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

status=0
# The reference white, a common desktop level, and one that is no whole number.
for nits in 80 200 250.5; do
    "$native_tool" hdr-table "$nits" >"$work/native.txt"
    "$root/scripts/wine-run" "$windows_tool" hdr-table "$nits" >"$work/windows.txt"
    lines=$(wc -l <"$work/native.txt")
    if [ "$lines" -eq 31745 ] && cmp -s "$work/native.txt" "$work/windows.txt"; then
        echo "same bytes: hdr-table $nits ($lines lines)"
    else
        echo "DIFFERENT: hdr-table $nits" >&2
        diff "$work/native.txt" "$work/windows.txt" | head -5 >&2 || true
        status=1
    fi
done
exit $status
