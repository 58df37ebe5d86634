#!/bin/sh
# Fails when a source folder includes a folder later in the order below (a
# layer may only use the layers before it), naming each such include.
# Usage: layers.sh SRC_DIR
set -eu
src=${1:?usage: layers.sh SRC_DIR}
order="output prefs state capture selection shots options app"

rank() {
    i=0
    for layer in $order; do
        [ "$layer" = "$1" ] && { echo $i; return; }
        i=$((i + 1))
    done
    echo -1
}

status=0
for dir in "$src"/*/; do
    folder=$(basename "$dir")
    own=$(rank "$folder")
    if [ "$own" -lt 0 ]; then
        echo "src/$folder is in no layer: add it to the order in $0"
        status=1
        continue
    fi
    for file in "$dir"*; do
        [ -f "$file" ] || continue
        for used in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z_]*\)\/.*".*/\1/p' "$file" | sort -u); do
            other=$(rank "$used")
            if [ "$other" -gt "$own" ]; then
                echo "src/$folder/$(basename "$file") includes $used/, a later layer"
                status=1
            fi
        done
    done
done
exit $status
