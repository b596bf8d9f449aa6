#!/usr/bin/env bash
# Fails when a library source includes a header of a higher layer. The layers stand in the order
# platform, core, store, device, services, entry; a file may include its own layer and earlier
# ones. The public headers under include/ see only include/zarn. The simulated device (sim/ but
# for the test service in sim/service), the test doubles (testing/) and the example host are
# built as an app builds its host: they include the public headers and each other, never the
# library's sources; the device and the doubles never include the test service either.
# Every include is resolved to the file the compiler would take, whatever its spelling: quoted
# or angle-bracketed, relative to the including file ("../services/X.h") or to an include
# directory (src/, include/, the project root, the generated reader's folder), with `.` and `..`
# folded, `#include_next`, `%:include` and comments around the `#`; one that names no file of the
# tree is a system or package header. An include through a macro cannot be followed and is refused.
# One awk process reads every file, so the check takes a fraction of a second.
set -uo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
{
    # Every file an include could name, then the files whose includes are checked.
    find include src sim testing examples tests bench fuzz schema -type f 2>/dev/null | sed 's/^/known /'
    find include src sim testing examples -type f -regex '.*\.\(h\|hh\|hpp\|hxx\|inc\|ipp\|c\|cc\|cpp\|cxx\)' |
        sort | sed 's/^/check /'
} | awk -v here="$(pwd -P)" '
BEGIN {
    n = split("platform core store device services entry", names, " ")
    for (i = 1; i <= n; i++) rank[names[i]] = i - 1
    nroots = split("src/ include/ ", roots, " ")
    roots[++nroots] = ""
    bad = 0
}
function rankOf(name) { return (name in rank) ? rank[name] : -1 }
# Folds "." and ".." and doubled slashes; "" when the path climbs out of the tree.
function fold(p,    parts, out, n, i, k, res) {
    n = split(p, parts, "/"); k = 0
    for (i = 1; i <= n; i++) {
        if (parts[i] == "" || parts[i] == ".") continue
        if (parts[i] == "..") { if (k == 0) return ""; k--; continue }
        out[++k] = parts[i]
    }
    res = ""
    for (i = 1; i <= k; i++) res = res (i > 1 ? "/" : "") out[i]
    return res
}
# The tree file an include names, as the compiler searches: the including folder first for a
# quoted one, then each include directory; "" when it names no file of the tree (a system header).
function resolve(file, spelling, quoted,    dir, p, i) {
    if (substr(spelling, 1, length(here) + 1) == here "/") spelling = substr(spelling, length(here) + 2)
    else if (substr(spelling, 1, 1) == "/") return ""
    if (quoted) {
        dir = file; sub(/\/[^\/]*$/, "", dir)
        p = fold(dir "/" spelling)
        if (p in known) return p
    }
    for (i = 1; i <= nroots; i++) {
        p = fold(roots[i] spelling)
        if (p in known) return p
    }
    p = fold(spelling)
    if (p in generated) return "generated/" p
    return ""
}
# What a tree file is: a layer name, or public, host, service, example, tests, generated, other.
function kindOf(path,    top) {
    if (path ~ /^include\/zarn\//) return "public"
    if (path ~ /^generated\//) return "generated"
    if (path ~ /^sim\/service\//) return "service"
    if (path ~ /^(sim|testing)\//) return "host"
    if (path ~ /^examples\//) return "example"
    if (path ~ /^(tests|bench|fuzz)\//) return "tests"
    if (path ~ /^src\//) {
        top = substr(path, 5)
        if (top !~ /\//) return "other"
        sub(/\/.*/, "", top)
        return (top in rank) ? top : "other"
    }
    return "other"
}
# Drops blanks and whole block comments from the front of s.
function skipBlank(s,    e) {
    while (1) {
        sub(/^[ \t]+/, "", s)
        if (substr(s, 1, 2) != "/*") return s
        e = index(substr(s, 3), "*/")
        if (!e) return s
        s = substr(s, e + 4)
    }
}
function report(file, shown, why) {
    printf "%s includes %s: %s\n", file, shown, why
    bad = 1
}
function checkInclude(file, own, spelling, quoted,    shown, target, kind, theirs) {
    shown = quoted ? "\"" spelling "\"" : "<" spelling ">"
    target = resolve(file, spelling, quoted)
    if (target == "") return
    kind = kindOf(target)
    if (target == file) return
    # What an app sees is spelled as the app spells it, so the public headers and the hosts also
    # name the tree by zarn/..., sim/... and testing/... only.
    if (own == "public") {
        if (kind != "public" || spelling !~ /^zarn\//)
            report(file, shown, "public headers include only zarn/... (it is " target ")")
        return
    }
    if (own == "host" || own == "example") {
        if (kind == "service" && own == "host")
            report(file, shown, "the test service stands above the simulated device")
        else if ((kind != "public" && kind != "host" && kind != "service") || spelling !~ /^(zarn|sim|testing)\//)
            report(file, shown, "a host includes only zarn/..., sim/... and testing/... (it is " target ")")
        return
    }
    if (kind == "public") return
    if (kind == "generated") kind = "store"
    theirs = rankOf(kind)
    if (theirs < 0) {
        report(file, shown, "the library includes only its own layers and zarn/... (it is " target ")")
        return
    }
    if (theirs > rank[own]) report(file, shown, kind " stands above " own)
}
$1 == "known" {
    known[$2] = 1
    if ($2 ~ /^schema\/[^\/]+\.fbs$/) {
        gen = $2; sub(/\.fbs$/, "_generated.h", gen); generated[gen] = 1
    }
    next
}
$1 == "check" {
    file = $2
    if (file ~ /^include\//) own = "public"
    else if (file ~ /^sim\/service\//) next
    else if (file ~ /^(sim|testing)\//) own = "host"
    else if (file ~ /^examples\//) own = "example"
    else {
        own = kindOf(file)
        if (own == "other") { report(file, "nothing", "a library source stands in one of the layer folders"); next }
    }
    while ((getline line < file) > 0) {
        # A directive may go on over escaped line ends.
        while (line ~ /\\$/ && (getline more < file) > 0) line = substr(line, 1, length(line) - 1) more
        s = skipBlank(line)
        if (substr(s, 1, 1) == "#") s = substr(s, 2)
        else if (substr(s, 1, 2) == "%:") s = substr(s, 3)
        else continue
        s = skipBlank(s)
        if (s !~ /^(include_next|include|import)([^A-Za-z0-9_]|$)/) continue
        sub(/^(include_next|include|import)/, "", s)
        s = skipBlank(s)
        c = substr(s, 1, 1)
        if (c == "\"" && (e = index(substr(s, 2), "\"")) > 0) {
            checkInclude(file, own, substr(s, 2, e - 1), 1)
        } else if (c == "<" && (e = index(s, ">")) > 0) {
            checkInclude(file, own, substr(s, 2, e - 2), 0)
        } else {
            report(file, "through a macro (" s ")", "the check cannot follow it; spell the path")
        }
    }
    close(file)
}
END {
    if (!bad) print "layers: every include points down or across"
    exit bad
}'
