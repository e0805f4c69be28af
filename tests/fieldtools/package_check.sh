#!/usr/bin/env bash
# The Debian package installs and runs: cpack builds it into a temporary folder,
# dpkg-deb unpacks it, and every program in it answers --version with the
# project's version (the window on the offscreen platform).
#   package_check.sh BUILD_DIR VERSION [CPACK]
set -u
build=$1 version=$2 cpack=${3:-cpack}
work=$(mktemp -d "${TMPDIR:-/tmp}/halvek-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "package: $*"
    exit 1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    fail "cpack -G DEB failed: $(cat "$work/cpack.log")"
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb: $(ls "$work/out")"
deb=${debs[0]}
[ "$(dpkg-deb -f "$deb" Package)" = halvek ] || fail "the package is not called halvek"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb cannot unpack $deb"

status=0
for file in usr/bin/halvek-cli usr/bin/halvek-sim usr/share/man/man1/halvek-cli.1 usr/share/man/man1/halvek-sim.1 \
    usr/share/bash-completion/completions/halvek-cli usr/share/doc/halvek/examples/60-halvek-serial.rules; do
    [ -e "$work/root/$file" ] || { echo "package: $file is missing"; status=1; }
done
if [ -e "$work/root/usr/bin/halvek" ]; then
    for file in usr/share/applications/halvek.desktop usr/share/icons/hicolor/scalable/apps/halvek.svg \
        usr/share/man/man1/halvek.1; do
        [ -e "$work/root/$file" ] || { echo "package: $file is missing"; status=1; }
    done
fi
for program in "$work"/root/usr/bin/*; do
    said=$(env QT_QPA_PLATFORM=offscreen "$program" --version 2>&1) ||
        { echo "package: $(basename "$program") --version failed: $said"; status=1; continue; }
    grep -qE "(^| )$version\$" <<<"$said" ||
        { echo "package: $(basename "$program") --version says '$said', not $version"; status=1; }
done
exit $status
