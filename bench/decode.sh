#!/usr/bin/env bash
# Decoding a disc image through the engine against reading the bin with cat
# and ripping it with cd-paranoia; prints ratios (not a test).
#   bench/decode.sh BUILD_DIR [MINUTES]      (default build/test, a 74-minute image)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
minutes=${2:-74}
bench=$build/bin/bench_decode
cmake --build "$build" --target bench_decode >/dev/null
work=$(mktemp -d /tmp/quillmere-decode.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$bench" write "$work" "$minutes"
bytes=$(stat -c %s "$work/bench.bin")
cat "$work/bench.bin" >/dev/null # into the page cache, for every reader alike

wall() {
  local TIMEFORMAT='%R' t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
  echo "$t"
}
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", (s > 0 ? b / s / 1048576 : 0) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

cat_s=$(wall cat "$work/bench.bin")
read -r ours_bytes ours_s < <("$bench" read "$work/bench.cue" 20000)
[ "$ours_bytes" -eq "$bytes" ] || { echo "decode delivered $ours_bytes of $bytes bytes" >&2; exit 1; }
echo "image: $minutes minutes, $bytes bytes"
echo "cat:         ${cat_s}s ($(rate "$bytes" "$cat_s") MiB/s)"
echo "quillmere:   ${ours_s}s ($(rate "$bytes" "$ours_s") MiB/s), 20000-byte blocks"
echo "speed against cat: $(ratio "$cat_s" "$ours_s") (target >= 0.8)"
if command -v cd-paranoia >/dev/null; then
  paranoia_s=$(wall cd-paranoia -d "$work/bench.cue" -r -- "1-" "$work/paranoia.raw")
  rm -f "$work/paranoia.raw"
  echo "cd-paranoia: ${paranoia_s}s ($(rate "$bytes" "$paranoia_s") MiB/s)"
  echo "speed against cd-paranoia: $(ratio "$paranoia_s" "$ours_s")x (target >= 2)"
fi
