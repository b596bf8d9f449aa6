#!/usr/bin/env bash
# Fails when a library source includes a header of a higher layer. The layers stand in the order
# platform, core, store, device, services, entry; a file may include its own layer and earlier
# ones. The public headers under include/ see only include/. The simulated device (sim/ but for
# the test service in sim/service), the test doubles (testing/) and the example host are built
# as an app builds its host: they include the public headers and each other, never the
# library's sources; the device and the doubles never include the test service either.
# One awk process reads every file, so the check takes a fraction of a second.
set -uo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
find include src sim testing examples \( -name '*.h' -o -name '*.cpp' \) | sort | awk '
BEGIN {
    n = split("platform core store device services entry", names, " ")
    for (i = 1; i <= n; i++) rank[names[i]] = i - 1
    bad = 0
}
function rankOf(name) { return (name in rank) ? rank[name] : -1 }
{
    file = $0
    if (file ~ /^include\//) {
        own = -2
    } else if (file ~ /^(sim|testing|examples)\// && file !~ /^sim\/service\//) {
        own = -3
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
        if (own == -3) {
            if (inc ~ /^sim\/service\// && file !~ /^examples\//) {
                printf "%s includes \"%s\": the test service stands above the simulated device\n", file, inc
                bad = 1
            } else if (top != "zarn" && top != "sim" && top != "testing") {
                printf "%s includes \"%s\": a host includes only zarn/..., sim/... and testing/...\n", file, inc
                bad = 1
            }
            continue
        }
        theirs = rankOf(top)
        if (theirs < 0) continue
        if (theirs > own) {
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
