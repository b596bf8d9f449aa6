#!/usr/bin/env bash
# Plants one include at a time into a copy of the sources and runs scripts/check-layers.sh on it:
# every spelling of an upward or outward include must fail naming the planted file, and the
# allowed ones must pass. Usage: check-layers-test.sh [SOURCE_DIR] [CHECK_SCRIPT]
set -uo pipefail
root=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
check=${2:-$root/scripts/check-layers.sh}
work=$(mktemp -d "${TMPDIR:-/tmp}/zarn-layers-XXXXXX")
trap 'rm -rf "$work"' EXIT
for d in include src sim testing examples tests schema; do cp -r "$root/$d" "$work/$d"; done
copy=$(cd "$work" && pwd -P)

store=src/store/ZarnPSqLiteEventDao.cpp
deep=src/store/dataupdate/ZarnPSqLiteCampaignDao.cpp
core=src/core/Format.cpp
public=include/zarn/ZarnBase.h
device=sim/Device.cpp
example=examples/zarn-sim.cpp
nl=$'\n'

# expect|file|lines to append (\n between lines)
cases=(
    "fail|$store|#include \"services/ZarnPEventService.h\""
    "fail|$store|#include \"../services/ZarnPEventService.h\""
    "fail|$deep|#include \"../../services/ZarnPEventService.h\""
    "fail|$core|#include <entry/ZarnPModule.h>"
    "fail|$core|#include \"./../entry/ZarnPModule.h\""
    "fail|$core|#include \"../store/../entry/ZarnPModule.h\""
    "fail|$store|#include <src/services/ZarnPEventService.h>"
    "fail|$store|#include \"$copy/src/services/ZarnPEventService.h\""
    "fail|$store|  #  include   \"../services/ZarnPEventService.h\"  // spaced"
    "fail|$store|/* a */ # /* b */ include \"../services/ZarnPEventService.h\""
    "fail|$store|%:include \"../services/ZarnPEventService.h\""
    "fail|$store|#include_next <services/ZarnPEventService.h>"
    "fail|$store|#include \\${nl}  \"../services/ZarnPEventService.h\""
    "fail|$store|#define ZARN_PLANTED \"../services/ZarnPEventService.h\"${nl}#include ZARN_PLANTED"
    "fail|$core|#include \"schema/dataupdate_generated.h\""
    "fail|$store|#include \"../../sim/Device.h\""
    "fail|$store|#include \"tests/support/TestEnvironment.h\""
    "fail|$public|#include \"../../src/core/Format.h\""
    "fail|$public|#include <core/Format.h>"
    "fail|$device|#include \"../src/core/Format.h\""
    "fail|$device|#include <store/ZarnPSqLiteEventDao.h>"
    "fail|$device|#include \"service/TestService.h\""
    "fail|$device|#include \"schema/dataupdate_generated.h\""
    "pass|$store|#include \"../core/Format.h\""
    "pass|$store|#include <core/Format.h>"
    "pass|$store|#include \"ZarnPSqLiteEventDao.h\""
    "pass|$deep|#include \"schema/dataupdate_generated.h\""
    "pass|$store|#include <vector>${nl}#include <sqlite3.h>${nl}#include \"flatbuffers/flatbuffers.h\""
    "pass|$store|// #include \"../services/ZarnPEventService.h\""
    "fail|$public|#include \"Value.h\""
    "fail|$device|#include \"../include/zarn/ZarnBase.h\""
    "pass|$public|#include \"zarn/Value.h\"${nl}#include <zarn/ZarnVersion.h>"
    "pass|$device|#include \"zarn/ZarnBase.h\"${nl}#include \"testing/RecordingConsole.h\""
    "pass|$example|#include \"sim/service/TestService.h\""
)

failures=0
if ! out=$(bash "$check" "$work" 2>&1); then
    echo "FAIL: the unplanted copy does not pass: $out"
    exit 1
fi
for c in "${cases[@]}"; do
    expect=${c%%|*}
    rest=${c#*|}
    file=${rest%%|*}
    lines=${rest#*|}
    cp "$work/$file" "$work/$file.orig"
    printf '%s\n' "$lines" >>"$work/$file"
    out=$(bash "$check" "$work" 2>&1)
    status=$?
    mv "$work/$file.orig" "$work/$file"
    shown=${lines//$nl/ ⏎ }
    if [ "$expect" = fail ]; then
        if [ $status -ne 0 ] && grep -q "^$file includes " <<<"$out"; then
            echo "ok    refused  $file: $shown"
        else
            echo "FAIL  passed   $file: $shown"
            failures=$((failures + 1))
        fi
    else
        if [ $status -eq 0 ]; then
            echo "ok    allowed  $file: $shown"
        else
            echo "FAIL  refused  $file: $shown: $out"
            failures=$((failures + 1))
        fi
    fi
done
echo "layer check: $((${#cases[@]} - failures)) of ${#cases[@]} planted includes judged right"
[ $failures -eq 0 ]
