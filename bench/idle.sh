#!/usr/bin/env bash
# The app's cost while idle: the real app under its own Xvfb, collapsed, with an empty calendar
# folder and no accounts, measured over a while (60 s by default). Prints the CPU time used in that
# span (as a share of one core), how often the process was woken, and its resident memory.
#
#   bench/idle.sh [path/to/vorrindel] [seconds]      (default: the release build, 60 s)
#
# Measure a release build (scripts/run.sh makes one): the test build carries the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build/release/src/vorrindel}
seconds=${2:-60}
[ -x "$binary" ] || { echo "no app at $binary (build the release preset first)" >&2; exit 1; }

tmp=$(mktemp -d)
app=""
xvfb=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to the file.
Xvfb -displayfd 3 -screen 0 1512x982x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$tmp/display")"

mkdir -p "$tmp/calendars" "$tmp/runtime"
chmod 700 "$tmp/runtime"
export HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_STATE_HOME="$tmp/state" \
       XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/runtime" VORRINDEL_CALENDARS="$tmp/calendars"
unset QT_QPA_PLATFORM
"$binary" >/dev/null 2>&1 &
app=$!

for _ in $(seq 100); do xdotool search --name '^Vorrindel panel$' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 5 # start-up's own work settles

ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
wakeups() { awk '/^(non)?voluntary_ctxt_switches/ { n += $2 } END { print n }' "/proc/$app/status"; }
cpu0=$(cpu)
wake0=$(wakeups)
sleep "$seconds"
cpu1=$(cpu)
wake1=$(wakeups)
rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$app/status")

awk -v c=$((cpu1 - cpu0)) -v t="$ticks" -v s="$seconds" -v w=$((wake1 - wake0)) -v r="$rss" 'BEGIN {
    printf "idle over %d s: CPU %.3f s (%.3f %% of one core), %d wake-ups (%.2f per s), resident memory %.1f MB\n",
           s, c / t, 100 * c / t / s, w, w / s, r / 1024
}'
