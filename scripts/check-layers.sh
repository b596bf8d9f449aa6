#!/usr/bin/env bash
# Fails when a library source includes a header of a higher layer. The layers stand in the order
# platform, core, store, device, services, entry; a file may include its own layer and earlier
# ones. The public headers under include/ see only include/. The one named exception: the store's
# key-value table builds on the key-value base in device.
# One awk process reads every file, so the check takes a fraction of a second.
set -uo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
find include src \( -name '*.h' -o -name '*.cpp' \) | sort | awk '
BEGIN {
    n = split("platform core store device services entry", names, " ")
    for (i = 1; i <= n; i++) rank[names[i]] = i - 1
    allowed["src/store/ZarnPSqLiteKeyValueDao.cpp device/ZarnPBaseKeyValueDao.h"] = 1
    bad = 0
}
function rankOf(name) { return (name in rank) ? rank[name] : -1 }
{
    file = $0
    if (file ~ /^include\//) {
        own = -2
    } else if (file ~ /^src\//) {
        layer = substr(file, 5); sub(/\/.*/, "", layer); own = rankOf(layer)
    } else {
        next
    }
    while ((getline line < file) > 0) {
        if (!match(line, /^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+"/)) continue
        inc = substr(line, 1, RLENGTH - 1); sub(/^[^"]*"/, "", inc)
        top = inc; sub(/\/.*/, "", top)
        if (own == -2) {
            if (top == "zarn") continue
            printf "%s includes \"%s\": public headers include only zarn/...\n", file, inc
            bad = 1
            continue
        }
        theirs = rankOf(top)
        if (theirs < 0) continue
        if (theirs > own && !((file " " inc) in allowed)) {
            printf "%s includes \"%s\": %s stands above %s\n", file, inc, top, layer
            bad = 1
        }
    }
    close(file)
}
END {
    if (!bad) print "layers: every include points down or across"
    exit bad
}'
