#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset, clang) and runs each for a while, side by side, on
# a corpus seeded from the test fixtures and tests/fuzz/seeds: fuzz_calendaritem on calendar items
# (with a dictionary of the iCalendar grammar), fuzz_quickadd on quick-add lines. A crash, hang,
# sanitizer report or runaway allocation fails the run; the input that caused it is kept in
# build/fuzz/findings.
#
#   scripts/fuzz.sh [seconds per target, default 60] [corpus folder, default a fresh temporary one]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
corpus="${2:-}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "${FUZZ_BUILD_JOBS:-4}"

if [ -z "$corpus" ]; then
    corpus="$(mktemp -d)"
    trap 'rm -rf "$corpus"' EXIT
fi
mkdir -p "$corpus/calendaritem" "$corpus/quickadd" build/fuzz/findings
for f in $(find tests/core/calendar/fixtures tests/fuzz/seeds/calendaritem tests/fuzz/regressions/calendaritem \
    -name '*.ics'); do
    cp -n "$f" "$corpus/calendaritem/$(echo "$f" | tr '/' '_')"
done
cp -n tests/fuzz/seeds/quickadd/* "$corpus/quickadd/"

export ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TZ=Europe/Berlin LANG=C.UTF-8 LC_ALL=C.UTF-8
# -timeout: one input may take this long (a hang is a finding); -rss_limit_mb: no input may take more.
run() {
    local target="$1" dict="$2"
    build/fuzz/tests/fuzz/"$target" "$corpus/${target#fuzz_}" ${dict:+-dict="$dict"} \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 -detect_leaks=0 \
        -artifact_prefix="build/fuzz/findings/$target-" -print_final_stats=1 \
        >"build/fuzz/$target.log" 2>&1
}
status=0
run fuzz_calendaritem tests/fuzz/ical.dict & calendar=$!
run fuzz_quickadd "" & quickadd=$!
wait $calendar || { status=1; echo "fuzz_calendaritem found a fault:"; tail -40 build/fuzz/fuzz_calendaritem.log; }
wait $quickadd || { status=1; echo "fuzz_quickadd found a fault:"; tail -40 build/fuzz/fuzz_quickadd.log; }
for target in fuzz_calendaritem fuzz_quickadd; do
    grep -h "stat::number_of_executed_units\|stat::peak_rss_mb" "build/fuzz/$target.log" | sed "s/^/$target /"
done
exit $status
