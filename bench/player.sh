#!/usr/bin/env bash
# The whole program playing the demo disc's first track.
#   bench/player.sh BUILD_DIR [SECONDS]     (default build/test, 20 seconds)
# Prints the CPU the program uses while playing, as a share of one core
# (target: under 3 % on a null sink), and the time from the start of playback
# until the first sample reached the sink (recorded from its monitor) and until
# the stream's position moved. Uses the sound server if one answers (scripts/test.sh's
# private one will do), else the silent real-time output, where nothing is heard.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/test}" && pwd)
seconds=${2:-20}
cmake --build "$build" --target bench_player >/dev/null
work=$(mktemp -d /tmp/quillmere-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/run"
# A private runtime folder, so a running Quillmere does not stop this one; the
# sound server is still found where it was.
if [ -z "${PULSE_SERVER:-}" ] && [ -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ]; then
  export PULSE_SERVER=unix:$XDG_RUNTIME_DIR/pulse/native
fi
export XDG_RUNTIME_DIR=$work/run QUILLMERE_LOCK_DIR=$work/run XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export XDG_CACHE_HOME=$work/cache QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
if [ "${QUILLMERE_AUDIO_OUTPUT:-pulse}" = pulse ] && pactl info >/dev/null 2>&1; then output=pulse; else output=null; export QUILLMERE_AUDIO_OUTPUT=null; fi
read -r heard moved cpu < <("$build/bin/bench_player" "$build/bin" "$seconds")
if [ "$heard" = -1.0 ]; then heard="(not heard: no monitor)"; else heard="$heard ms"; fi
echo "play ${seconds}s on $output: cpu ${cpu}% of one core (target < 3)," \
  "first sample at the sink after $heard, position moved after ${moved} ms"
