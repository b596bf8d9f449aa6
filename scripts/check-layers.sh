#!/usr/bin/env bash
# Fails when a library source includes a header of a higher layer. The layers stand in the order
# platform, core, store, device, services, entry; a file may include its own layer and earlier
# ones. The public headers under include/ see only include/. The one named exception: the store's
# key-value table builds on the key-value base in device.
set -uo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
layers=(platform core store device services entry)
rank() {
    local i
    for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
    echo -1
}
allowed() {  # file include
    [ "$1" = src/store/ZarnPSqLiteKeyValueDao.cpp ] && [ "$2" = device/ZarnPBaseKeyValueDao.h ]
}
bad=0
while IFS= read -r file; do
    case "$file" in
        include/*) own=-2 ;;
        src/*) layer=${file#src/}; layer=${layer%%/*}; own=$(rank "$layer") ;;
        *) continue ;;
    esac
    while IFS= read -r inc; do
        top=${inc%%/*}
        if [ "$own" -eq -2 ]; then
            [ "$top" = zarn ] && continue
            echo "$file includes \"$inc\": public headers include only zarn/..."
            bad=1
            continue
        fi
        theirs=$(rank "$top")
        [ "$theirs" -lt 0 ] && continue
        if [ "$theirs" -gt "$own" ] && ! allowed "$file" "$inc"; then
            echo "$file includes \"$inc\": ${top} stands above ${layer}"
            bad=1
        fi
    done < <(sed -n -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(find include src -name '*.h' -o -name '*.cpp' | sort)
if [ "$bad" -eq 0 ]; then
    echo "layers: every include points down or across"
fi
exit "$bad"
