#!/usr/bin/env bash
# Static analysis of src/: clang-tidy (checks in .clang-tidy) over every
# translation unit of src/ in BUILD's compile_commands.json (default: build),
# two at a time, then cppcheck (suppressions in cppcheck.supp). Exits 1 on
# any finding. BUILD must have been configured (cmake writes the database);
# the Qt units also need its generated headers, so build it first.
#
#     scripts/lint.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build}
db="$build/compile_commands.json"
if [ ! -f "$db" ]; then
    echo "lint: $db is missing; configure and build $build with cmake first" >&2
    exit 2
fi
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
if [ -z "$tidy" ] || ! command -v cppcheck >/dev/null; then
    echo "lint: clang-tidy and cppcheck are needed (apt-get install clang-tidy cppcheck)" >&2
    exit 2
fi
jobs=2

# The project's own sources; whatever moc and rcc generate lies in the build
# folder and is not ours to judge.
# The editor's and the command line's units, which read Qt's and CLI11's
# headers, go first, so that the two jobs end together on the small ones of
# the core.
mapfile -t units < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$db" | grep "^$root/src/" | sort -u |
    awk '{ print (/\/src\/(codec|tables|file)\//) ? 1 : 0, $0 }' | sort -s -k1,1n | cut -d' ' -f2-)
if [ ${#units[@]} -eq 0 ]; then
    echo "lint: $db names no file under $root/src" >&2
    exit 2
fi

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
status=0

start=$SECONDS
# Each unit's diagnostics go to a log of its own, so that the two jobs'
# lines do not interleave; only units with findings are shown.
printf '%s\n' "${units[@]}" |
    LOGS=$logs TIDY=$tidy BUILD=$build xargs -P"$jobs" -I{} sh -c \
        'log="$LOGS/$(echo "$1" | tr / _).log"
         "$TIDY" -p "$BUILD" --quiet "$1" >"$log" 2>&1 && rm -f "$log"
         exit 0' sh {}
for log in "$logs"/*.log; do
    [ -e "$log" ] || continue
    grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$log" || true
    status=1
done
echo "clang-tidy: ${#units[@]} files, $((SECONDS - start)) s$([ $status -eq 0 ] || echo ", findings above")"

start=$SECONDS
# cppcheck takes the same database but reads only src/; Qt's and the
# standard library's headers stay unread (their macros come from --library=qt).
cppcheck_status=0
cppcheck --project="$db" --file-filter="src/*" \
    --enable=warning,performance,portability,style --std=c++20 --library=qt \
    --inline-suppr --suppressions-list=cppcheck.supp --error-exitcode=1 \
    --quiet -j"$jobs" || cppcheck_status=1
echo "cppcheck: $((SECONDS - start)) s$([ $cppcheck_status -eq 0 ] || echo ", findings above")"
[ $cppcheck_status -eq 0 ] || status=1
exit $status
