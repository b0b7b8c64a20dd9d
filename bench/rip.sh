#!/usr/bin/env bash
# Ripping a disc image to WAV with "quillmere rip" against copying the bin and
# ripping it with cd-paranoia; prints speeds and ratios (not a test).
#   bench/rip.sh BUILD_DIR [MINUTES]      (default build/test, a 74-minute image)
# Every side reads the bin from the page cache, ends with its files on disk
# (fsync) and is timed from start to exit, the fastest of three runs. The copy
# is dd's, through memory like a ripper's (cp hands the copy to the kernel).
# Our whole run also holds start-up and the rip job's one-second start; they
# are timed on a one-second disc and shown apart. The rip must match the bin
# byte for byte, so it cannot be fast by being wrong. Last, the checksums the
# rip computes as it reads (copy CRC, AccurateRip v1 and v2) are timed alone
# over the same bytes, as a share of the rip's time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
minutes=${2:-74}
. "$root/bench/disc-image.sh"
bench_setup rip "$build"
make_image $((minutes * 60)) 260
bytes=$(stat -c %s "$work/disc.bin")

# Seconds of wall time; a failed command shows what it said and stops the run.
wall() {
  local TIMEFORMAT='%R' t
  if ! t=$( { time "$@" >"$work/log" 2>&1; } 2>&1 ); then
    cat "$work/log" >&2
    echo "failed: $*" >&2
    return 1
  fi
  echo "$t"
}
speed() { # bytes seconds -> "x real time, MB/s"
  awk -v b="$1" -v s="$2" 'BEGIN { if (s <= 0) s = 0.001; printf "%.0fx real time, %.0f MB/s", b / 176400 / s, b / 1e6 / s }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a - b }'; }
# Before each side: the bin in the page cache, the last side's files gone and
# nothing of theirs still being written back.
fresh() {
  rm -rf "$work/out"
  mkdir "$work/out"
  sync -f "$work"
  cat "$work/disc.bin" >/dev/null
}
copy() { dd if="$work/disc.bin" of="$work/out/copy.bin" bs=1M conv=fsync status=none; }
paranoia() { (cd "$work/out" && cd-paranoia -q -B -d "$work/disc.cue" -w -- "1-" && sync ./*.wav); }
ours() { "$program" rip --image "$1" --tracks all --format wav --out "$work/out" && sync "$work"/out/*.WAV; }

# Start-up, the job's start and the exit: a disc of one second.
dd if="$work/disc.bin" of="$work/tiny.bin" bs=2352 count=75 status=none
printf 'FILE "tiny.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' >"$work/tiny.cue"

echo "image: $minutes minutes, $tracks tracks, $bytes bytes"

# Three runs of each side in a row, each on a fresh start; the fastest counts.
# (On ext4 the first large write after another side's files were deleted can
# be slowed by the freeing; a side's later runs follow only its own.)
fastest() {
  local best= t
  for _ in 1 2 3; do
    fresh
    t=$(wall "$@")
    best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (b == "" || a < b ? a : b) }')
  done
  echo "$best"
}
copy_s=$(fastest copy)
paranoia_s=
if command -v cd-paranoia >/dev/null; then
  paranoia_s=$(fastest paranoia)
  got=$(find "$work/out" -name '*.wav' | wc -l)
  [ "$got" -eq "$tracks" ] || { echo "cd-paranoia wrote $got of $tracks tracks" >&2; exit 1; }
fi
fixed_s=$(fastest ours "$work/tiny.cue")
ours_s=$(fastest ours "$work/disc.cue")
# The tracks' data, in order, is the bin: no pregaps, and every track ends on
# a sector boundary.
for ((t = 1; t <= tracks; t++)); do
  tail -c +45 "$work/out/TRACK$t.WAV"
done | cmp -s - "$work/disc.bin" || { echo "the rip does not match the image's audio" >&2; exit 1; }
rip_s=$(minus "$ours_s" "$fixed_s")

echo "copy (dd + fsync): ${copy_s}s ($(speed "$bytes" "$copy_s"))"
[ -z "$paranoia_s" ] || echo "cd-paranoia:       ${paranoia_s}s ($(speed "$bytes" "$paranoia_s"))"
echo "quillmere rip:     ${ours_s}s ($(speed "$bytes" "$ours_s")), every track byte-identical"
echo "  of which ${fixed_s}s start-up and the job's start (a one-second disc), ripping ${rip_s}s ($(speed "$bytes" "$rip_s"))"

echo "speed against copy: whole run $(ratio "$copy_s" "$ours_s"), ripping $(ratio "$copy_s" "$rip_s") (target >= 0.7)"
cmake --build "$build" --target bench_checksums >/dev/null
read -r sums_s _ < <("$build/bin/bench_checksums" "$work/disc.bin")
echo "checksums alone:   ${sums_s}s, $(awk -v a="$sums_s" -v b="$rip_s" 'BEGIN { printf "%.1f", (b > 0 ? 100 * a / b : 0) }')% of the WAV rip's time (target < 3%)"
if [ -n "$paranoia_s" ]; then
  echo "speed against cd-paranoia: whole run $(ratio "$paranoia_s" "$ours_s")x, ripping $(ratio "$paranoia_s" "$rip_s")x (target >= 2)"
fi
