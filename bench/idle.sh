#!/usr/bin/env bash
# The window's cost while nothing happens: the demo disc loaded, nothing
# playing or ripping, the window shown on a private Xvfb. Prints the CPU time
# it takes over 10 s as a share of one core (target: at most 0.3%), beside
# the X server's own for scale (not a test).
#   bench/idle.sh [BUILD_DIR]      (default build/test)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
. "$root/bench/disc-image.sh"
bench_setup idle "$build"
unset QT_QPA_PLATFORM

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
"$program" >"$work/log" 2>&1 &
pid=$!
cleanup() { kill "$pid" "$xvfb" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

# Wait for the window: it catches SIGTERM (SigCgt bit 15) once it is up; then
# let start-up settle.
up() { grep -q "^SigCgt:" "/proc/$pid/status" && (( 0x$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status") >> 14 & 1 )); }
for _ in $(seq 400); do up && break; sleep 0.05; done
up || { cat "$work/log" >&2; echo "the window did not come up" >&2; exit 1; }
sleep 3

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
a=$(ticks "$pid"); x=$(ticks "$xvfb")
sleep 10
b=$(ticks "$pid"); y=$(ticks "$xvfb")
share() { awk -v t="$1" -v hz="$hz" 'BEGIN { printf "%.2f", 100 * t / (hz * 10) }'; }
echo "idle window: $(share $((b - a)))% of a core over 10 s (target <= 0.3%); Xvfb: $(share $((y - x)))%"
