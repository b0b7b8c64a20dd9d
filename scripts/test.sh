#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first a release build,
# then the same suite under AddressSanitizer + UndefinedBehaviorSanitizer.
#   scripts/test.sh            both builds
#   scripts/test.sh --quick    the release build only
#   scripts/test.sh --tsan     only the engine's tests under ThreadSanitizer
# The full run ends with the engine's tests under ThreadSanitizer as well.
# A private PulseAudio daemon with a null sink "qm" serves the sound tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-all}

"$root/scripts/install-deps.sh"

# What the tests need: a private runtime folder (mode 0700) and cache.
work=$(mktemp -d /tmp/quillmere-test.XXXXXX)
pulse_env=(env XDG_RUNTIME_DIR="$work/pulse-run" HOME="$work/pulse-home")
cleanup() {
  [ -n "${PULSE_SERVER:-}" ] && "${pulse_env[@]}" pulseaudio --kill 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 0700 "$work/runtime" "$work/pulse-run" "$work/pulse-home"
export XDG_RUNTIME_DIR="$work/runtime" QUILLMERE_LOCK_DIR="$work/runtime" XDG_CACHE_HOME="$work/cache" QT_QPA_PLATFORM=offscreen

# Unix socket only, no cookie; tests reach it through PULSE_SERVER.
if "${pulse_env[@]}" pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes \
     -L "module-null-sink sink_name=qm rate=44100 channels=2" \
     -L "module-native-protocol-unix auth-anonymous=1 socket=$work/pulse-native" 2>"$work/pulse.log"; then
  export PULSE_SERVER="unix:$work/pulse-native"
else
  echo "test: PulseAudio did not start; the sound-server tests will be skipped" >&2
fi
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  echo "== build $dir"
  "$root/scripts/build.sh" "$dir" "$@"
  echo "== test $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

# The engine's threads under ThreadSanitizer: only the engine's test programs
# are built and run, which keeps the whole script well inside 25 minutes.
engine_tests=(test_audio test_audio_integration test_engine)
run_tsan() {
  local dir=$root/build/tsan
  echo "== build $dir (engine tests)"
  CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1 cmake -S "$root" -B "$dir" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMERE_TSAN=ON >/dev/null
  cmake --build "$dir" --parallel "$jobs" --target "${engine_tests[@]}"
  echo "== test $dir"
  local t rc=0
  for t in "${engine_tests[@]}"; do
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
      "$dir/bin/$t" --gtest_brief=1 || rc=1
  done
  return $rc
}

status=0
if [ "$mode" = --tsan ]; then
  run_tsan || status=1
  exit $status
fi
run_suite "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo || status=1
if [ "$mode" != --quick ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions="$root/tests/lsan.supp"
  run_suite "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DQUILLMERE_SANITIZE=ON || status=1
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
  run_tsan || status=1
fi
exit $status
