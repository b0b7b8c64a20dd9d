#!/usr/bin/env bash
# Installs what is missing, builds (release) and starts Quillmere with the
# given arguments; a terminal command (drives, tracks, rip) runs as such.
# Without a display it rips the demo disc through the command line instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release -DQUILLMERE_TESTS=OFF
bin="$root/build/release/bin"
case "${1:-}" in
drives|tracks|rip|--help|-h|--version) exec "$bin/quillmere" "$@" ;;
esac
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/scripts/rip-demo.sh" "$bin"
fi
exec "$bin/quillmere" "$@"
