#!/usr/bin/env bash
# Installs Quillmere the ways a user would and checks what lands:
#   1. `cmake --install` into a prefix with spaces: the program finds its
#      resources there and reads the installed demo disc;
#   2. the desktop entry, AppStream data and manual page pass their validators;
#   3. the Debian package from cpack carries a changelog for its version and
#      lintian finds no error or warning in it (info tags are only shown);
#   4. as root, the package installs with apt-get, works from PATH, and removes
#      leaving none of its files.
# Usage: check_package.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

prefix="$work/a prefix with spaces"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/quillmere share/quillmere/Main.qml share/quillmere/Skin.qss share/quillmere/Help.html \
         share/quillmere/CheckMark.svg share/quillmere/CheckPartial.svg \
         share/quillmere/demo/Demo.cue share/quillmere/demo/Demo.bin \
         share/applications/org.quillmere.Quillmere.desktop \
         share/metainfo/org.quillmere.Quillmere.metainfo.xml \
         share/icons/hicolor/scalable/apps/org.quillmere.Quillmere.svg share/man/man1/quillmere.1.gz \
         share/doc/quillmere/copyright share/doc/quillmere/changelog.gz; do
  [ -f "$prefix/$f" ] || fail "missing after install: $f"
done
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
mkdir -m 0700 "$work/runtime"; export XDG_RUNTIME_DIR="$work/runtime" QUILLMERE_LOCK_DIR="$work/runtime"
"$prefix/bin/quillmere" --version | grep -qi '^quillmere ' || fail "--version from the prefix"
"$prefix/bin/quillmere" tracks | grep -q 'Track 01' || fail "tracks on the installed demo disc"
# The demo's sheet is UTF-8: its accented title must come through unmangled.
"$prefix/bin/quillmere" tracks --no-lookup | grep -q 'Track 03 .*Café Inkwell$' || fail "the demo disc's CD-Text"

desktop-file-validate "$src/packaging/org.quillmere.Quillmere.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$src/packaging/org.quillmere.Quillmere.metainfo.xml" >/dev/null || fail "AppStream data"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$src/packaging/quillmere.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "manual page warnings: $warnings"

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB >/dev/null)
deb=$(ls "$work"/quillmere_*.deb)
dpkg-deb -c "$deb" | grep -q './usr/share/quillmere/demo/Demo.cue' || fail "package contents"
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/quillmere/changelog.gz | gunzip >"$work/changelog"
version=$(dpkg-deb -f "$deb" Version)
[ "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$version" ] ||
  fail "packaging/changelog has no entry for $version on top"
status=0
tags=$(lintian --display-info --fail-on error,warning "$deb" 2>&1) || status=$?
tags=$(grep -v '^running with root privileges' <<<"$tags" || true)
[ -z "$tags" ] || echo "$tags"
[ "$status" -eq 0 ] || fail "lintian found errors or warnings (status $status)"

if [ "$(id -u)" -eq 0 ] && [ "${QUILLMERE_PACKAGE_INSTALL:-1}" = 1 ] && ! dpkg -s quillmere >/dev/null 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null 2>&1 || fail "apt-get install"
  files=$(dpkg -L quillmere | while read -r f; do [ -f "$f" ] && echo "$f"; done)
  quillmere --version | grep -qi '^quillmere ' || { apt-get remove -y -qq quillmere >/dev/null 2>&1; fail "installed --version"; }
  quillmere tracks | grep -q 'Track 01' || { apt-get remove -y -qq quillmere >/dev/null 2>&1; fail "installed tracks"; }
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq quillmere >/dev/null 2>&1 || fail "apt-get remove"
  for f in $files; do [ ! -e "$f" ] || fail "left behind after removal: $f"; done
fi
echo "check_package: all checks passed"
