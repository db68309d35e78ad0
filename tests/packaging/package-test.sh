#!/usr/bin/env bash
# Builds the Debian package from a build folder, checks its files, links and dependencies, unpacks it
# into a temporary folder and runs the unpacked programs there.
#   package-test.sh BUILD_FOLDER VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d /tmp/vorn-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail cpack; }
deb=$work/vornimport_${version}_amd64.deb
[ -f "$deb" ] || fail "no $deb"

listing=$(dpkg-deb -c "$deb")
echo "$listing"
for file in VornImport VornConvert tipi.ini VornImport.ini.example aliases.ini.example; do
  grep -q " ./opt/vornimport/$file\$" <<<"$listing" || fail "/opt/vornimport/$file is not in the package"
done
for program in VornImport VornConvert; do
  grep -q " ./usr/bin/$program -> /opt/vornimport/$program\$" <<<"$listing" || fail "no /usr/bin/$program link"
done

# Dependencies from the libraries the programs link, and the database driver they load.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libqt6core6 libqt6sql6 libqt6widgets6 libcurl4 libssl3 libpugixml1v5 libqt6sql6-sqlite; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "$package is not among the dependencies"
done
[ "$(dpkg-deb -f "$deb" Package Version Architecture)" = "Package: vornimport
Version: $version
Architecture: amd64" ] || fail "package name, version or architecture"

dpkg-deb -x "$deb" "$work/root"
file "$work/root/opt/vornimport/VornConvert" | grep -q "ELF 64-bit.*, stripped" || fail "VornConvert is no stripped executable"
for program in VornConvert VornImport; do
  shown=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/opt/vornimport/$program" --version)
  [ "$shown" = "$program $version" ] || fail "$program --version printed \"$shown\""
done
echo "package $deb: OK"
