#!/usr/bin/env bash
# Installs what is missing, builds the app, tests and benchmarks with sanitizers, runs the suite, and
# fuzzes the calendar item reader and the quick-add parser for a minute each (a finding fails the run).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --tests
cmake --preset test
cmake --build --preset test
ctest --preset test
FUZZ_BUILD_JOBS="${FUZZ_BUILD_JOBS:-4}" scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
