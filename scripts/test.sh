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
# Build folders share compiled objects through ccache, precompiled headers included.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1 CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

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
  # A run without its sound server would skip the sound tests: a weaker run, not a pass.
  echo "test: the private PulseAudio did not start:" >&2
  cat "$work/pulse.log" >&2
  exit 1
fi
jobs=$(nproc)
# Each test program and the library compile as a few unity files: Qt's and
# gtest's templates are instantiated once per file rather than once per source.
unity=-DCMAKE_UNITY_BUILD=ON

run_suite() {
  local dir=$1; shift
  echo "== build $dir ($(date +%T))"
  "$root/scripts/build.sh" "$dir" "$@"
  echo "== test $dir ($(date +%T))"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

# Under the sanitizers each test program runs as one process rather than one
# per case: a sanitized process's start is most of a case's time there. The
# programs whose tests judge timing (SERIAL in tests/CMakeLists.txt, which
# lists the programs in test-programs.txt) run one at a time after the others.
run_programs() {
  local dir=$1; shift
  echo "== build $dir ($(date +%T))"
  "$root/scripts/build.sh" "$dir" "$@"
  echo "== test $dir, one process per test program ($(date +%T))"
  local logs=$work/logs-$(basename "$dir") t serial rc=0 parallel=() serial_programs=()
  mkdir -p "$logs"
  while read -r t serial; do
    [ -n "$t" ] || continue
    if [ "$serial" = TRUE ]; then serial_programs+=("$t"); else parallel+=("$t"); fi
  done <"$dir/test-programs.txt"
  run_one() {
    if timeout 1500 "$1/bin/$2" --gtest_brief=1 --gtest_filter="$sanitized_filter" >"$3/$2.log" 2>&1; then
      echo "passed: $2 ($(grep -m1 -o '[0-9]* tests\? from' "$3/$2.log" | cut -d' ' -f1) tests)"
    else
      echo "FAILED: $2"; tail -n 60 "$3/$2.log"; return 1
    fi
  }
  export -f run_one
  export sanitized_filter
  printf '%s\n' "${parallel[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ "$dir" {} "$logs" || rc=1
  for t in "${serial_programs[@]}"; do
    run_one "$dir" "$t" "$logs" || rc=1
  done
  return $rc
}

# The engine's threads under ThreadSanitizer: only the engine's test programs
# are built and run, which keeps the whole script well inside 25 minutes.
# Built file by file rather than in unity files (as fast here, with the
# precompiled headers): a missing include in the engine shows here, not
# first in scripts/run.sh's release build.
engine_tests=(test_audio test_audio_integration test_engine)
run_tsan() {
  local dir=$root/build/tsan
  echo "== build $dir, engine tests ($(date +%T))"
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
    -DQUILLMERE_TSAN=ON -DCMAKE_UNITY_BUILD=OFF >/dev/null
  cmake --build "$dir" --parallel "$jobs" --target "${engine_tests[@]}"
  echo "== test $dir ($(date +%T))"
  local t rc=0
  for t in "${engine_tests[@]}"; do
    TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/tsan.supp" \
      "$dir/bin/$t" --gtest_brief=1 --gtest_filter="$sanitized_filter" || rc=1
  done
  return $rc
}

# The real-time sound tests (RealTime*, and the window playing on the sound
# server) run fully in the release build; under the sanitizers SoundCheck.*
# plays a short tone through the same path instead.
sanitized_filter='-RealTime*:PlayerOnPulse.*'

status=0
if [ "$mode" = --tsan ]; then
  run_tsan || status=1
  echo "== done ($(date +%T))"
exit $status
fi
# Line tables only (-g1): enough for every backtrace and sanitizer report, and
# a third of the compile time that full debug information costs.
run_suite "$root/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" "$unity" || status=1
if [ "$mode" != --quick ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions="$root/tests/lsan.supp"
  # -O1: the sanitized tests run several times faster than at -O0, and still
  # keep every check.
  run_programs "$root/build/asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DQUILLMERE_SANITIZE=ON "$unity" || status=1
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
  run_tsan || status=1
fi
echo "== done ($(date +%T))"
exit $status
