#!/usr/bin/env bash
# The Debian package installs and runs: cpack builds it into a temporary folder,
# dpkg-deb unpacks it, and every program in it answers --version with the
# project's version (the window on the offscreen platform); lintian, where it
# is installed, accepts it without an error or a warning.
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
for file in usr/bin/halvek-cli usr/bin/halvek-sim usr/share/man/man1/halvek-cli.1.gz usr/share/man/man1/halvek-sim.1.gz \
    usr/share/bash-completion/completions/halvek-cli usr/share/doc/halvek/examples/60-halvek-serial.rules \
    usr/share/doc/halvek/README usr/share/doc/halvek/copyright usr/share/doc/halvek/changelog.gz; do
    [ -e "$work/root/$file" ] || { echo "package: $file is missing"; status=1; }
done
if [ -e "$work/root/usr/bin/halvek-uplink" ]; then
    for file in usr/share/man/man1/halvek-uplink.1.gz usr/lib/systemd/system/halvek-uplink.service \
        usr/share/doc/halvek/examples/uplink.conf; do
        [ -e "$work/root/$file" ] || [ -e "$work/root/${file#usr/}" ] || { echo "package: $file is missing"; status=1; }
    done
fi
if [ -e "$work/root/usr/bin/halvek" ]; then
    for file in usr/share/applications/halvek.desktop usr/share/icons/hicolor/scalable/apps/halvek.svg \
        usr/share/man/man1/halvek.1.gz; do
        [ -e "$work/root/$file" ] || { echo "package: $file is missing"; status=1; }
    done
fi
# halvekd's user is made on install, from the sysusers file the package holds.
dpkg-deb -e "$deb" "$work/control" || fail "dpkg-deb cannot unpack the control area of $deb"
if [ -e "$work/root/usr/lib/sysusers.d/halvekd.conf" ] || [ -e "$work/root/lib/sysusers.d/halvekd.conf" ]; then
    [ -x "$work/control/postinst" ] && grep -q 'systemd-sysusers halvekd.conf' "$work/control/postinst" ||
        { echo "package: no postinst makes halvekd's user from halvekd.conf"; status=1; }
    sh -n "$work/control/postinst" 2>/dev/null || { echo "package: the postinst is not a valid shell script"; status=1; }
fi
for program in "$work"/root/usr/bin/*; do
    said=$(env QT_QPA_PLATFORM=offscreen "$program" --version 2>&1) ||
        { echo "package: $(basename "$program") --version failed: $said"; status=1; continue; }
    grep -qE "(^| )$version\$" <<<"$said" ||
        { echo "package: $(basename "$program") --version says '$said', not $version"; status=1; }
done
# The installed README speaks of the installed programs, not of the source tree.
! grep -qE '\./(scripts|build)/' "$work/root/usr/share/doc/halvek/README" ||
    { echo "package: the installed README names ./scripts or ./build"; status=1; }
# Lintian, where it is installed, finds neither errors nor warnings.
if command -v lintian >/dev/null 2>&1; then
    said=$(lintian --fail-on error,warning "$deb" 2>&1) || { echo "package: lintian: $said"; status=1; }
else
    echo "package: lintian is not installed; not run"
fi
exit $status
