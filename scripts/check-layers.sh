#!/bin/bash
# Checks the folders' layering: no folder includes a header of a folder that
# the README's Layout table places above it. Prints each such include and
# exits 1 when there is one.
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
mapfile -t order < <(sed -n '/^## Layout/,/^### /p' "$root/README.md" | grep -oE '^\| `[a-z_]+/`' | grep -oE '[a-z_]+')
if [ "${#order[@]}" -lt 2 ]; then
    echo "no Layout table in $root/README.md" >&2
    exit 1
fi
declare -A rank
for i in "${!order[@]}"; do rank[${order[$i]}]=$i; done
status=0
for folder in "${order[@]}"; do
    [ -d "$root/$folder" ] || continue
    while IFS=: read -r file line included; do
        target=${included%%/*}
        [ -n "${rank[$target]+set}" ] || continue
        if (( rank[$target] < rank[$folder] )); then
            echo "${file#"$root"/}:$line includes $included: $target/ is above $folder/ in the Layout table"
            status=1
        fi
    done < <(grep -rnoE '#include "[a-z_]+/[^"]+"' --include=*.h --include=*.cpp "$root/$folder" |
             sed -E 's/#include "//; s/"$//')
done
exit $status
