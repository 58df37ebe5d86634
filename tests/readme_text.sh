#!/bin/sh
# README.txt of the downloads against README.md: every heading and every table
# row of its user part is there, in order, and no Markdown mark or developer
# section is. Usage: readme_text.sh CMAKE SOURCE_DIR OUTPUT_FILE
set -eu
cmake=$1 root=$2 out=$3
"$cmake" -DREADME="$root/README.md" -DFRAME="$root/package/README.txt.in" -DOUT="$out" -DPROJECT_VERSION=9.8.7 \
    -P "$root/package/readme_text.cmake"
text=$(mktemp)
trap 'rm -f "$text"' EXIT
tr -d '\r' <"$out" >"$text"
# The headings and the first cells of the table rows (not the heading row),
# without their marks.
awk '/^<!-- end of the user part/ { exit }
     /^\|/ { if (table++ >= 2 && match($0, /^\| *[^|]*[^ |]/)) print substr($0, RSTART + 2, RLENGTH - 2); next }
     { table = 0 }
     /^##+ / { sub(/^##+ /, ""); print }' "$root/README.md" | sed 's/\*\*//g; s/`//g; s/^ *//' |
    awk -v text="$text" '
        BEGIN { while ((getline line < text) > 0) lines[++count] = line; at = 1 }
        { while (at <= count && index(lines[at], $0) == 0) at++
          if (at > count) { print "README.txt lacks, or has out of order: " $0; failed = 1; exit 1 } }
        END { exit failed }'
if grep -n -e '](' -e '\*\*' -e '`' -e '^ *|' -e '!\[' -e '<!--' "$text"; then
    echo "README.txt holds Markdown marks (above)"
    exit 1
fi
grep -q '^Orvane 9\.8\.7: ' "$text" || { echo "README.txt does not name the version"; exit 1; }
if grep -q '^Building and testing' "$text"; then
    echo "README.txt holds the developer part"
    exit 1
fi
