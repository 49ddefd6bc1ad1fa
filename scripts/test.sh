#!/usr/bin/env bash
# Installs what is missing, builds the app, tests and benchmarks with sanitizers, and runs the suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --tests
cmake --preset test
cmake --build --preset test
ctest --preset test
