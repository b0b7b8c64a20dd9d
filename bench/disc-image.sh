# Sourced by the rip benchmarks: a private environment for "quillmere rip" and
# a disc image of music-like material.
#   bench_setup NAME BUILD_DIR       sets $program and $work (removed on exit)
#   make_image SECONDS TRACK_SECONDS [WAV_DIR]
#       writes $work/disc.bin and disc.cue, cut into tracks of about
#       TRACK_SECONDS on sector boundaries; sets $tracks. With WAV_DIR, every
#       track also as WAV_DIR/trackN.wav for the peers.

bench_setup() {
  program=$(cd "$2" && pwd)/bin/quillmere
  [ -x "$program" ] || { echo "$program: not built" >&2; exit 1; }
  work=$(mktemp -d "/tmp/quillmere-$1.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  # Private settings, state, discs and lock; no sound server needed. Disc
  # lookups go nowhere (a refused connection), so no run waits on the network.
  mkdir -m 0700 "$work/config" "$work/state" "$work/data" "$work/runtime"
  export XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state XDG_DATA_HOME=$work/data
  export XDG_RUNTIME_DIR=$work/runtime QUILLMERE_LOCK_DIR=$work/runtime
  export QUILLMERE_MUSICBRAINZ_SERVER=http://127.0.0.1:9 QUILLMERE_COVERART_SERVER=http://127.0.0.1:9 QUILLMERE_ACCURATERIP_SERVER=http://127.0.0.1:9
  export QT_QPA_PLATFORM=offscreen QUILLMERE_AUDIO_OUTPUT=null
}

make_image() {
  local seconds=$1 each=$2 wavs=${3:-}
  local sectors=$((seconds * 75)) t at end
  tracks=$(( (seconds + each / 2) / each )); [ "$tracks" -ge 2 ] || tracks=2
  # Two tones with a slow sweep and some noise, so encoders do real work.
  ffmpeg -v error -f lavfi -i "aevalsrc=0.3*sin(2*PI*(220+40*sin(t/3))*t)+0.2*sin(2*PI*660*t)+0.05*(random(0)-0.5):s=44100:c=stereo:d=$seconds" \
    -f s16le -ac 2 -ar 44100 "$work/disc.bin"
  truncate -s $((sectors * 2352)) "$work/disc.bin"
  [ -z "$wavs" ] || mkdir -p "$wavs"
  {
    echo 'FILE "disc.bin" BINARY'
    for ((t = 0; t < tracks; t++)); do
      at=$((sectors * t / tracks))
      end=$((sectors * (t + 1) / tracks))
      printf '  TRACK %02d AUDIO\n    INDEX 01 %02d:%02d:%02d\n' $((t + 1)) $((at / 4500)) $((at / 75 % 60)) $((at % 75))
      [ -z "$wavs" ] || dd if="$work/disc.bin" bs=2352 skip="$at" count=$((end - at)) status=none \
        | ffmpeg -v error -f s16le -ac 2 -ar 44100 -i - -c:a pcm_s16le "$wavs/track$((t + 1)).wav"
    done
  } >"$work/disc.cue"
}
