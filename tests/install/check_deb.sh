#!/usr/bin/env bash
# Builds the Debian package with CPack and checks its name, version, dependencies,
# maintainer scripts and contents.
#   check_deb.sh BUILD_DIR VERSION FILE...   (FILE relative to /usr)
set -euo pipefail
build=$1 version=$2
shift 2

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log") || { cat "$out/cpack.log"; exit 1; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }

deb=$(find "$out" -maxdepth 1 -name "veltrane_${version}_*.deb")
[ -n "$deb" ] || { fail "no veltrane_${version}_*.deb"; ls "$out"; exit 1; }
info=$(dpkg-deb --info "$deb")
echo "$info" | grep -E '^ (Package|Version|Depends):'
depends=$(dpkg-deb --field "$deb" Depends)
# Computed from the programs (Qt 6 widgets and serial port, hidapi) and declared (fonts).
for package in libqt6widgets6 libqt6serialport6 libhidapi-hidraw0 fonts-liberation \
  fonts-dejavu-core fonts-wqy-microhei libc6; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "version is not $version"
# The maintainer scripts are there and executable.
scripts=$(mktemp -d -p "$out")
dpkg-deb --control "$deb" "$scripts"
for script in postinst postrm; do
  [ -x "$scripts/$script" ] || fail "no executable $script"
done
grep -q 'udevadm control --reload-rules' "$scripts/postinst" || fail "postinst reloads no rules"

expected=$(printf './usr/%s\n' "$@" | sort)
found=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
if [ "$expected" != "$found" ]; then
  fail "package contents differ from the expected files (< expected, > packaged):"
  diff <(echo "$expected") <(echo "$found") || true
fi

[ $failed = 0 ] && echo "package: $(basename "$deb")"
exit $failed
