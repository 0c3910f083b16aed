#!/usr/bin/env bash
# Builds the Debian package (build/rk5helper_<version>_<arch>.deb) with CPack from the
# program's build, without the tests. Install it with `apt install ./build/rk5helper_*.deb`.
#
#   scripts/package.sh --check   also runs lintian on the package, and the AppStream and
# Desktop Entry validators on its files; any error fails the run, warnings are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
check=${1:-}

RK5_SETUP_EXTRA=package scripts/setup.sh
echo "package: building the program in build/" >&2
RK5_BUILD_TARGETS=rk5_package_contents scripts/build.sh build
rm -f build/rk5helper_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/rk5helper_*.deb)
echo "package: $deb" >&2
[ "$check" = --check ] || exit 0

tree=$(mktemp -d /tmp/rk5-package.XXXXXX)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
echo "package: lintian" >&2
lintian --fail-on error --allow-root "$deb"
echo "package: appstreamcli validate --no-net" >&2
appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml
echo "package: desktop-file-validate" >&2
desktop-file-validate "$tree"/usr/share/applications/*.desktop
echo "package: $deb passed lintian, appstreamcli and desktop-file-validate" >&2
