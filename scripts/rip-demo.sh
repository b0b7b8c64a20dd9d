#!/usr/bin/env bash
# Without a display: rips the demo disc with the stored settings into a fresh
# temporary folder through "quillmere rip", then lists the files it made.
# Usage: rip-demo.sh BIN_DIR (the build's bin folder)
set -euo pipefail
bin=${1:?usage: rip-demo.sh BIN_DIR}
out=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-demo.XXXXXX")
echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set), so no window:"
echo "ripping the demo disc with the stored settings into $out"
status=0
"$bin/quillmere" rip --image "$bin/demo/Demo.cue" --out "$out" || status=$?
echo "Files made in $out:"
ls -l "$out"
exit "$status"
