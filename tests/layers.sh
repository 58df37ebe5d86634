#!/bin/sh
# What the build's per-layer include views cannot stop: a file no target
# compiles (a header nothing includes yet, the Windows files in the native
# build) including a later layer, and an include that goes around the views by
# a path of its own (with "..", or absolute). Fails naming each such include.
# Usage: layers.sh SRC_DIR LAYER...   (the layers in order, lowest first)
set -eu
src=${1:?usage: layers.sh SRC_DIR LAYER...}
src=${src%/}
shift
order="$*"

status=0
for dir in "$src"/*/; do
    folder=$(basename "$dir")
    case " $order " in
    *" $folder "*) ;;
    *) echo "src/$folder is in no layer: add it to ORVANE_LAYERS in cmake/layers.cmake"; status=1 ;;
    esac
done

find "$src" -mindepth 2 -type f -exec awk -v src="$src" -v order="$order" '
    BEGIN { n = split(order, layers, " "); for (i = 1; i <= n; i++) rank[layers[i]] = i }
    FNR == 1 {
        name = "src/" substr(FILENAME, length(src) + 2)
        split(name, parts, "/")
        own = (parts[2] in rank) ? rank[parts[2]] : 0
    }
    own && /^[ \t]*#[ \t]*include[ \t]*["<]/ {
        path = $0
        sub(/^[ \t]*#[ \t]*include[ \t]*["<]/, "", path)
        sub(/[">].*/, "", path)
        where = name ":" FNR " includes " path
        if (path ~ /^\//) { print where ": an absolute path goes around the layers"; bad = 1; next }
        if (("/" path "/") ~ /\/\.\.\//) { print where ": a path with .. goes around the layers"; bad = 1; next }
        # The folder a path names, once "." and empty steps are dropped; a
        # path of one step names a file beside the includer or on the path.
        k = split(path, steps, "/")
        m = 0
        for (j = 1; j <= k; j++) if (steps[j] != "" && steps[j] != ".") kept[++m] = steps[j]
        if (m >= 2 && (kept[1] in rank) && rank[kept[1]] > own) {
            print where ": " kept[1] "/ is a later layer"
            bad = 1
        }
    }
    END { exit bad }
' {} + || status=1
exit $status
