#!/usr/bin/env bash
# Start-up against the size of the settings store: "quillmere tracks" on a
# small disc image with stores of 100, 10,000 and 30,000 values in the
# settings key; prints each time and its ratio to the smallest (not a test).
#   bench/settings.sh [BUILD_DIR]      (default build/test)
# Each time is the fastest of three runs, from start to exit. A start reads
# the store's values some sixty times, so a store parsed on every read, or
# looked up name by name, shows here as a ratio far above 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
. "$root/bench/disc-image.sh"
bench_setup settings "$build"
make_image 20 5
store=$work/config/quillmere/registry
mkdir -p "$store"

# The program's own values, then filler values in the same key.
write_store() {
  awk -v n="$1" 'BEGIN {
    print "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Brellvox Quillmere\\Settings]"
    print "\"File Format\"=\"1\""
    for (i = 0; i < n - 1; i++)
      printf "\"Filler value %06d\"=\"a setting some tool left here, number %d\"\n", i, i
  }' >"$store/HKEY_LOCAL_MACHINE.reg"
}

seconds() {
  local TIMEFORMAT='%R' t
  if ! t=$( { time "$program" tracks --image "$work/disc.cue" >"$work/log" 2>&1; } 2>&1 ); then
    cat "$work/log" >&2
    echo "failed: quillmere tracks with $1 values" >&2
    return 1
  fi
  if [ -s "$work/log" ] && grep -q 'cannot be read' "$work/log"; then
    cat "$work/log" >&2
    return 1
  fi
  echo "$t"
}

fastest() {
  local best= t
  for _ in 1 2 3; do
    t=$(seconds "$1")
    best=$(awk -v a="$t" -v b="$best" 'BEGIN { print (b == "" || a < b ? a : b) }')
  done
  echo "$best"
}

base=
for n in 100 10000 30000; do
  write_store "$n"
  s=$(fastest "$n")
  [ -n "$base" ] || base=$s
  printf '%6d values (%s bytes): %ss, %s x the smallest\n' "$n" "$(stat -c %s "$store/HKEY_LOCAL_MACHINE.reg")" "$s" \
    "$(awk -v a="$s" -v b="$base" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
done
echo "target: 30000 values start in under 1 s"
