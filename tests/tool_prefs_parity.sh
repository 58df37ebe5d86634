#!/usr/bin/env bash
# orvane-tool prefs, expand and fold must print the same natively and under
# Wine; the settings files come with CR LF and with bare LF line ends.
# Usage: tool_prefs_parity.sh WINDOWS_TOOL NATIVE_TOOL
set -euo pipefail
windows_tool=$1 native_tool=$2
root=$(cd "$(dirname "$0")/.." && pwd)
[ -x "$native_tool" ] || { echo "native tool not built: $native_tool" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '0:5:2:D:/Shots/\nresizeScreenshotWindows=1\n' >"$work/lf.txt"
printf '0:5:2:D:/Shots/\r\nresizeScreenshotWindows=1\r\n' >"$work/crlf.txt"
printf '0\r\nResizeScreenshotWindows=1\r\n' >"$work/short.txt"
printf '1: 4abc:4294967296:C:/My:Odd/\r\n' >"$work/odd.txt"

status=0
compare() { # label, native output, windows output
    if [ "$2" = "$3" ]; then
        echo "same: $1"
    else
        printf 'DIFFERENT: %s\nnative:\n%s\nwindows:\n%s\n' "$1" "$2" "$3" >&2
        status=1
    fi
}
# The console of the Windows build ends its lines with CR LF.
windows() { "$root/scripts/wine-run" "$windows_tool" "$@" | tr -d '\r'; }

expected=$'closeScreenshotOnSave=0\nselectionColor=5\ndefaultFormat=2\nquickSaveLocation=D:/Shots/\nresizeScreenshotWindows=1'
compare "lf.txt as documented" "$expected" "$("$native_tool" prefs "$work/lf.txt")"
for f in lf crlf short odd; do
    compare "prefs $f.txt" "$("$native_tool" prefs "$work/$f.txt")" "$(windows prefs "Z:$work/$f.txt")"
done
compare "crlf.txt reads as lf.txt" "$expected" "$(windows prefs "Z:$work/crlf.txt")"
compare "expand" "$("$native_tool" expand Bob 'C:/Users/($User)/Desktop/')" \
    "$(windows expand Bob 'C:/Users/($User)/Desktop/')"
compare "fold" "$("$native_tool" fold Bob 'C:\Users\Bob\Pictures\Shots\')" \
    "$(windows fold Bob 'C:\Users\Bob\Pictures\Shots\')"
exit $status
