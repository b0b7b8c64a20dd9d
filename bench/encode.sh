#!/usr/bin/env bash
# Ripping a disc image to MP3, WMA, FLAC and Opus with "quillmere rip" against the peer
# encoders run on the same tracks' WAV files one after another; prints ratios
# (not a test).
#   bench/encode.sh BUILD_DIR [MINUTES]      (default build/test, 20 minutes of audio)
# Wall time and CPU time (user + system, the encoders included) are printed
# for both sides, and our wall time once more without the program's start-up
# and the rip job's one-second start. Wall time is what the user waits for, but
# on two cores our reading runs beside the encoder and other load on the
# machine moves it; CPU time is steadier and counts every cost of ours. Both
# sides' files are checked for count and size.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/test}
minutes=${2:-20}
. "$root/bench/disc-image.sh"
bench_setup encode "$build"
make_image $((minutes * 60)) 240 "$work/wav"

# "wall cpu" seconds of one command, children included; a failed command shows
# what it said and stops the run.
measure() {
  local TIMEFORMAT='%R %U %S' t
  if ! t=$( { time "$@" >"$work/log" 2>&1; } 2>&1 ); then
    cat "$work/log" >&2
    echo "failed: $*" >&2
    return 1
  fi
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' <<<"$t"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
fresh() {
  rm -rf "$work/out"
  mkdir "$work/out"
  cat "$work/disc.bin" "$work"/wav/*.wav >/dev/null
}
# Files written and their total size, so neither side is fast by leaving work out.
written() {
  local n
  n=$(find "$work/out" -type f -size +0 | wc -l)
  [ "$n" -eq "$tracks" ] || { echo "$1 wrote $n of $tracks files" >&2; exit 1; }
  du -cb "$work"/out/* | tail -n 1 | cut -f 1
}
near() { # two sizes within $4 (5% unless given) of each other
  awk -v a="$1" -v b="$2" -v d="${4:-0.05}" 'BEGIN { exit !(b > 0 && a / b > 1 - d && a / b < 1 + d) }' \
    || { echo "$3: $1 bytes against the peer's $2" >&2; exit 1; }
}

lame_all() { for f in "$work"/wav/*.wav; do lame -b 128 "$f" "$work/out/$(basename "$f" .wav).mp3"; done; }
ffmpeg_all() {
  for f in "$work"/wav/*.wav; do
    ffmpeg -v error -y -i "$f" -c:a wmav2 -b:a 128k "$work/out/$(basename "$f" .wav).wma"
  done
}
flac_all() { for f in "$work"/wav/*.wav; do flac -5 -s -o "$work/out/$(basename "$f" .wav).flac" "$f"; done; }
opusenc_all() {
  for f in "$work"/wav/*.wav; do opusenc --quiet --bitrate 160 "$f" "$work/out/$(basename "$f" .wav).opus"; done
}
ours() { local cue=$1; shift; "$program" rip --image "$cue" --tracks all --out "$work/out" "$@"; }

# Start-up, the rip job's one-second start and the exit hold no encoding:
# they are timed on a one-second disc and taken out of the second wall ratio.
dd if="$work/disc.bin" of="$work/tiny.bin" bs=2352 count=75 status=none
printf 'FILE "tiny.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' >"$work/tiny.cue"

# compare LABEL TARGET PEER OPTIONS...: the peer, then our rip with OPTIONS.
# SIZE_TOLERANCE (default 0.05) bounds how far the two sides' sizes may differ.
compare() {
  local label=$1 target=$2 peer=$3 t peer_wall peer_cpu peer_size ours_wall ours_cpu fixed_wall fixed_cpu ours_size
  shift 3
  fresh
  t=$(measure "$peer"); read -r peer_wall peer_cpu <<<"$t"
  peer_size=$(written "$peer")
  fresh
  t=$(measure ours "$work/tiny.cue" "$@"); read -r fixed_wall fixed_cpu <<<"$t"
  fresh
  t=$(measure ours "$work/disc.cue" "$@"); read -r ours_wall ours_cpu <<<"$t"
  ours_size=$(written quillmere)
  near "$ours_size" "$peer_size" "$label" "${SIZE_TOLERANCE:-0.05}"
  echo "$label: quillmere ${ours_wall}s wall (${fixed_wall}s of it start-up) ${ours_cpu}s cpu" \
    "(${fixed_cpu}s of it start-up) ${ours_size} bytes, ${peer%_all} ${peer_wall}s wall ${peer_cpu}s cpu ${peer_size} bytes"
  echo "  ratio wall $(ratio "$ours_wall" "$peer_wall"), wall after start-up" \
    "$(ratio "$(awk -v a="$ours_wall" -v b="$fixed_wall" 'BEGIN { print a - b }')" "$peer_wall")," \
    "cpu $(ratio "$ours_cpu" "$peer_cpu"), cpu after start-up" \
    "$(ratio "$(awk -v a="$ours_cpu" -v b="$fixed_cpu" 'BEGIN { print a - b }')" "$peer_cpu") (target <= $target)"
}

echo "image: $minutes minutes, $tracks tracks"
compare "mp3 cbr 128" 1.05 lame_all --format mp3 --cbr --bitrate 128
compare "wma 128" 1.1 ffmpeg_all --format wma --bitrate 128
compare "flac 5" 1.05 flac_all --format flac --level 5
# Both aim at 160 kbps with a variable rate; opusenc's own choices on this
# material land lower, so only the sizes' order of magnitude is compared.
SIZE_TOLERANCE=0.25 compare "opus 160" 1.05 opusenc_all --format opus --bitrate 160
