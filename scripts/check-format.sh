#!/usr/bin/env bash
# Fails when a tracked C++ source or header differs from .clang-format (clang-format 14). Prints
# each offending place; `clang-format -i FILE` fixes it.
set -uo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
tool=""
for candidate in clang-format-14 clang-format; do
    if command -v "$candidate" >/dev/null 2>&1; then
        tool=$candidate
        break
    fi
done
if [ -z "$tool" ]; then
    echo "format: clang-format 14 is not installed (scripts/install-deps.sh installs it)"
    exit 2
fi
if ! "$tool" --version | grep -q 'version 14\.'; then
    echo "format: $("$tool" --version) is not clang-format 14; its output may differ"
    exit 2
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -- '*.h' '*.cpp')
else
    mapfile -t files < <(find include src sim testing tests bench examples fuzz -name '*.h' -o -name '*.cpp' 2>/dev/null | sort)
fi
# Tracked files that a working tree has deleted are skipped.
present=()
for f in "${files[@]}"; do [ -f "$f" ] && present+=("$f"); done
if ! "$tool" --dry-run -Werror "${present[@]}"; then
    echo "format: the files above differ from .clang-format; run $tool -i on them"
    exit 1
fi
echo "format: ${#present[@]} files match .clang-format"
