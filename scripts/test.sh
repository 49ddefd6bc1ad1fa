#!/usr/bin/env bash
# Installs what is missing, then builds and runs the suite twice: with AddressSanitizer and
# UndefinedBehaviorSanitizer (with the benchmarks), and as a plain optimised build, where memory is
# reused at once and timing is the app's own, so faults that the sanitizers' bookkeeping hides show.
# Last, it fuzzes the calendar item reader and the quick-add parser for a minute each (a finding
# fails the run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --tests
cmake --preset test
cmake --build --preset test
ctest --preset test
cmake --preset plain
cmake --build --preset plain
ctest --preset plain
FUZZ_BUILD_JOBS="${FUZZ_BUILD_JOBS:-4}" scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
