#!/usr/bin/env bash
# Installs what is missing, builds Vorrindel and starts it; arguments pass through to the app.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/src/vorrindel "$@"
