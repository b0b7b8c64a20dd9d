#!/usr/bin/env bash
# Sound and encoding speed against peer tools on the same audio; prints ratios.
#   bench/audio.sh BUILD_DIR [SECONDS]      (default build/test, 60 seconds of audio)
# Playback needs a sound server (scripts/test.sh's private one will do, or
# PULSE_SERVER); without one that part is skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
seconds=${2:-60}
bench=$build/bin/bench_audio
cmake --build "$build" --target bench_audio >/dev/null
work=$(mktemp -d /tmp/quillmere-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Music-like material: two tones with a slow sweep and some noise.
ffmpeg -v error -f lavfi -i "aevalsrc=0.3*sin(2*PI*(220+40*sin(t/3))*t)+0.2*sin(2*PI*660*t)+0.05*(random(0)-0.5):s=44100:c=stereo:d=$seconds" \
  -f s16le -ac 2 -ar 44100 "$work/in.raw"
ffmpeg -v error -f s16le -ac 2 -ar 44100 -i "$work/in.raw" "$work/in.wav"

# Runs a peer and prints "wall cpu" seconds (children included). Our side
# times its own work; loading its libraries is not playback or encoding.
measure() {
  local TIMEFORMAT='%R %U %S' t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<<"$t"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

if pactl info >/dev/null 2>&1; then
  # CPU time on this machine varies from run to run by a third: each side
  # plays three times, turn about, and the medians are compared.
  median() { sort -g | sed -n 2p; }
  ours=() peer=()
  for _ in 1 2 3; do
    read -r _ t < <("$bench" play "$work/in.raw"); ours+=("$t")
    read -r _ t < <(measure paplay --raw --format=s16le --rate=44100 --channels=2 "$work/in.raw"); peer+=("$t")
  done
  o=$(printf '%s\n' "${ours[@]}" | median)
  p=$(printf '%s\n' "${peer[@]}" | median)
  share=$(awk -v c="$o" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * c / s }')
  echo "play ${seconds}s (median of 3): cpu quillmere ${o}s (${ours[*]}), paplay ${p}s (${peer[*]}), ratio $(ratio "$o" "$p") (target <= 2); ${share}% of one core (target < 1)"
else
  echo "play: skipped (no sound server)"
fi

read -r ours _ < <("$bench" wma "$work/in.raw" "$work/ours.wma")
read -r peer _ < <(measure ffmpeg -v error -y -f s16le -ac 2 -ar 44100 -i "$work/in.raw" -c:a wmav2 -b:a 128k "$work/peer.wma")
echo "wma encode ${seconds}s: quillmere ${ours}s, ffmpeg ${peer}s, ratio $(ratio "$ours" "$peer") (target <= 1.1)"

read -r ours _ < <("$bench" pipe "$work/in.raw" "$work/ours.mp3")
read -r peer _ < <(measure lame -b 128 "$work/in.wav" "$work/peer.mp3")
echo "encoder pipe ${seconds}s: quillmere+lame ${ours}s, lame alone ${peer}s, ratio $(ratio "$ours" "$peer") (target <= 1.05)"
