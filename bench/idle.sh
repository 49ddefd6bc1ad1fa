#!/usr/bin/env bash
# The app's cost while idle: the real app under its own Xvfb, collapsed, with no accounts, measured
# over a while (60 s by default), three times: with an empty calendar folder, with the 10,000 items of
# the benchmarks (bench/TenThousandItems.h, written by `bench_localcalendars --write-items`), as a
# user with years of calendars has, and with the empty folder again beside a system tray (Debian's
# trayer) that holds the app's icon. Prints, for each, the CPU time used in that span (as a share of
# one core), how often the app's main thread was woken (its context switches, also per minute), its
# resident memory at the end and the most it held.
#
#   bench/idle.sh [path/to/vorrindel] [seconds] [path/to/bench_localcalendars]
#
# Defaults: the release build, 60 s, and the benchmark of the test build (it only writes the folder).
# Measure a release build (scripts/run.sh makes one): the test build carries the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build/release/src/vorrindel}
seconds=${2:-60}
writer=${3:-build/test/bench/bench_localcalendars}
[ -x "$binary" ] || { echo "no app at $binary (build the release preset first)" >&2; exit 1; }
[ -x "$writer" ] || { echo "no bench_localcalendars at $writer (build with -DVORRINDEL_BENCH=ON)" >&2; exit 1; }

command -v trayer >/dev/null || { echo "no trayer (scripts/deps.sh --tests)" >&2; exit 1; }

tmp=$(mktemp -d)
app=""
xvfb=""
tray=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$tray" ] && kill "$tray" 2>/dev/null || true
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
unset QT_QPA_PLATFORM

mkdir -p "$tmp/empty/calendars" "$tmp/items"
"$writer" --write-items "$tmp/items/calendars"

# One run of the app in a home of its own over the calendar folder of `$1/calendars`; with a third
# argument, beside a tray along the top right (no session bus, so the icon goes into that tray).
measure() {
    local home=$1 label=$2 withTray=${3:-}
    mkdir -p "$home/runtime"
    chmod 700 "$home/runtime"
    if [ -n "$withTray" ]; then
        trayer --edge top --align right --height 32 --widthtype request --transparent false >/dev/null 2>&1 &
        tray=$!
    fi
    HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_STATE_HOME="$home/state" \
        XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime" VORRINDEL_CALENDARS="$home/calendars" \
        DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "$binary" >/dev/null 2>&1 &
    app=$!

    for _ in $(seq 100); do xdotool search --name '^Vorrindel panel$' >/dev/null 2>&1 && break; sleep 0.1; done
    sleep 5 # start-up's own work (the first load of the calendars included) settles

    local ticks cpu0 wake0 cpu1 wake1 rss peak
    ticks=$(getconf CLK_TCK)
    cpu() { awk '{ print $14 + $15 }' "/proc/$app/stat"; }
    wakeups() { awk '/^(non)?voluntary_ctxt_switches/ { n += $2 } END { print n }' "/proc/$app/status"; }
    cpu0=$(cpu)
    wake0=$(wakeups)
    sleep "$seconds"
    cpu1=$(cpu)
    wake1=$(wakeups)
    rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$app/status")
    peak=$(awk '/^VmHWM/ { print $2 }' "/proc/$app/status")
    kill "$app"
    wait "$app" 2>/dev/null || true
    app=""
    if [ -n "$tray" ]; then
        kill "$tray"
        wait "$tray" 2>/dev/null || true
        tray=""
    fi

    awk -v l="$label" -v c=$((cpu1 - cpu0)) -v t="$ticks" -v s="$seconds" -v w=$((wake1 - wake0)) -v r="$rss" \
        -v p="$peak" 'BEGIN {
        printf "%s, idle over %d s: CPU %.3f s (%.3f %% of one core), %d wake-ups (%.2f per s, %.0f per min), " \
               "resident memory %.1f MiB (at most %.1f MiB)\n", l, s, c / t, 100 * c / t / s, w, w / s,
               60 * w / s, r / 1024, p / 1024
    }'
}

measure "$tmp/empty" "empty calendar folder"
measure "$tmp/items" "10,000 calendar items"
mkdir -p "$tmp/tray/calendars"
measure "$tmp/tray" "empty calendar folder, with a tray" tray
