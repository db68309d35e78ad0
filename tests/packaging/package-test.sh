#!/usr/bin/env bash
# Builds the Debian package from a build folder, checks its files, links, conffiles, maintainer script
# and dependencies, unpacks it into a temporary folder and runs the unpacked programs and manual pages
# there, installs, reinstalls, removes and purges it with dpkg in another, and runs lintian on it,
# which must report neither errors nor warnings (packaging/lintian.md).
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
has() { grep -q " ./$1\$" <<<"$listing" || fail "/$1 is not in the package"; }
for program in VornImport VornConvert; do
  has "usr/lib/vornimport/$program"
  has "usr/bin/$program -> ../lib/vornimport/$program"
done
for file in VornImport.ini aliases.ini tipi.ini; do
  has "etc/vornimport/$file"
  has "usr/lib/vornimport/$file -> /etc/vornimport/$file"
done
! grep -q " ./opt/" <<<"$listing" || fail "the package puts files into /opt"
for file in usr/share/man/man1/VornImport.1.gz usr/share/man/man1/VornConvert.1.gz usr/share/doc/vornimport/README.md \
  usr/share/doc/vornimport/copyright usr/share/doc/vornimport/changelog.gz var/lib/vornimport/input/ \
  var/lib/vornimport/output/ usr/share/doc/vornimport/examples/{request.ini,vornimport-convert.service,vornimport-convert.timer}; do
  has "$file"
done

# dpkg keeps an edited configuration file on upgrade and removes it on purge only when it is a conffile.
dpkg-deb -e "$deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = "/etc/vornimport/VornImport.ini
/etc/vornimport/aliases.ini
/etc/vornimport/tipi.ini" ] || fail "conffiles: $(cat "$work/control/conffiles")"
[ "$(stat -c %a "$work/control/postinst")" = 755 ] || fail "postinst is not executable"
grep -q "addgroup --quiet --system vornimport" "$work/control/postinst" || fail "postinst adds no group vornimport"

# Dependencies from the libraries the programs link, and the database driver they load.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libqt6core6 libqt6sql6 libqt6widgets6 libcurl4 libssl3 libqt6sql6-sqlite adduser; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "$package is not among the dependencies"
done
[ "$(dpkg-deb -f "$deb" Package Version Architecture)" = "Package: vornimport
Version: $version
Architecture: amd64" ] || fail "package name, version or architecture"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 5 ] || fail "no long description"

root=$work/root
dpkg-deb -x "$deb" "$root"
file "$root/usr/lib/vornimport/VornConvert" | grep -q "ELF 64-bit.*, stripped" || fail "VornConvert is no stripped executable"
cmp "$root/etc/vornimport/tipi.ini" "$(dirname "$0")/../../samples/tipi.ini" || fail "/etc/vornimport/tipi.ini"
for program in VornConvert VornImport; do
  shown=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/lib/vornimport/$program" --version)
  [ "$shown" = "$program $version" ] || fail "$program --version printed \"$shown\""
  # man finds the page by the program's name, and it renders without warnings.
  page=$(man --manpath="$root/usr/share/man" -w "$program") || fail "man $program finds no page"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $program: $warnings"
  LC_ALL=C.UTF-8 man -l "$page" | grep -q "EXIT STATUS" || fail "man $program has no exit codes"
done

# A real install, reinstall, remove and purge into a throw-away root with a database of its own. The
# maintainer script's commands are stand-ins that log their calls, so the machine is not changed.
admin=$work/admin target=$work/target
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers" "$target" "$work/stubs"
touch "$admin/status" "$admin/available"
for command in addgroup chown chmod getent dpkg-statoverride; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\n[ %s != getent ] && [ %s != dpkg-statoverride ]\n' \
    "$command" "$work/calls" "$command" "$command" >"$work/stubs/$command"
  chmod +x "$work/stubs/$command"
done
run_dpkg() {
  PATH=$work/stubs:$PATH dpkg --instdir="$target" --admindir="$admin" --force-depends --force-script-chrootless \
    --force-not-root "$@" >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg $*"; }
}
run_dpkg -i "$deb"
expected_calls="getent group vornimport
addgroup --quiet --system vornimport"
for folder in /var/lib/vornimport /var/lib/vornimport/input /var/lib/vornimport/output; do
  expected_calls+="
dpkg-statoverride --list $folder
chown root:vornimport $target$folder
chmod 2770 $target$folder"
done
[ "$(cat "$work/calls")" = "$expected_calls" ] || fail "postinst ran: $(cat "$work/calls")"
echo "ZZ,99,1,2,N,N" >>"$target/etc/vornimport/tipi.ini"
run_dpkg -i "$deb"
grep -q "^ZZ,99" "$target/etc/vornimport/tipi.ini" || fail "reinstalling lost the edit of tipi.ini"
run_dpkg --remove vornimport
[ -f "$target/etc/vornimport/tipi.ini" ] && [ ! -e "$target/usr/lib/vornimport/VornImport" ] || fail "remove"
run_dpkg --purge vornimport
[ ! -e "$target/etc/vornimport" ] || fail "purge left $(ls "$target/etc/vornimport")"

lintian --allow-root --fail-on error,warning "$deb" || fail "lintian"
echo "package $deb: OK"
