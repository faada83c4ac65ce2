#!/usr/bin/env bash
# Makes the release of the checked-out tree in dist/ (or DIR):
#
#   Pelmora-<version>-win32.zip    Pelmora.dll, pelmora.exe, read-me texts, licence, release notes
#   pelmora_<version>_amd64.deb    the pelmora command and its plug-in library, for Debian 12
#   SHA256SUMS                     the sums of both
#
#   scripts/release.sh [--no-lint] [DIR]
#
# The version is kVersionText of plugin/boundary/PelmoraConstants.h. Times
# come from the last commit (SOURCE_DATE_EPOCH), so one commit gives the same
# bytes in any folder; scripts/check-release.sh proves it. The binaries are
# built in build/release/ with PELMORA_RELEASE (cmake/Release.cmake). lintian
# checks the Debian package unless --no-lint.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lint=1
if [ "${1:-}" = --no-lint ]; then lint=0; shift; fi
out=${1:-$root/dist}
cd "$root"
scripts/setup.sh

version=$(cmake -P cmake/Version.cmake)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
umask 022
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release: the tree has uncommitted changes; this release is not the commit's" >&2
fi

build=$root/build/release
options=(-G Ninja -DPELMORA_TESTS=OFF -DPELMORA_RELEASE=ON)
toolchain=()
[ -f "$build/win32/CMakeCache.txt" ] || toolchain=(--toolchain cmake/mingw-i686.cmake)
cmake -S . -B "$build/win32" "${options[@]}" "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake -S . -B "$build/native" "${options[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$build/win32" --target pelmora
cmake --build "$build/native" --target pelmora

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out"
zip=Pelmora-$version-win32.zip
deb=pelmora_${version}_amd64.deb
rm -f "$out/$zip" "$out/$deb" "$out/SHA256SUMS"
package() { python3 "$root/packaging/package.py" "$@"; }

# --- the Windows zip: flat, so that the files land where it is unpacked.
cmake --install "$build/win32" --prefix "$stage/win32" >/dev/null
w=$stage/zip
mkdir -p "$w"
package windows-text packaging/windows/README-ru.txt "$w/README-ru.txt" "$version" --bom
package windows-text packaging/windows/README-en.txt "$w/README-en.txt" "$version"
package windows-text LICENSE "$w/LICENSE.txt" "$version"
package notes "$version" >"$stage/notes.txt"
package windows-text "$stage/notes.txt" "$w/RELEASE-NOTES.txt" "$version"
package zip "$out/$zip" "$SOURCE_DATE_EPOCH" \
  "Pelmora.dll=$stage/win32/bin/Pelmora.dll" "pelmora.exe=$stage/win32/bin/pelmora.exe" \
  "README-ru.txt=$w/README-ru.txt" "README-en.txt=$w/README-en.txt" \
  "LICENSE.txt=$w/LICENSE.txt" "RELEASE-NOTES.txt=$w/RELEASE-NOTES.txt"

# --- the Debian package: /usr/bin/pelmora finds its plug-in in /usr/lib/pelmora.
d=$stage/deb
DESTDIR=$d cmake --install "$build/native" --prefix /usr >/dev/null
doc=$d/usr/share/doc/pelmora
mkdir -p "$doc" "$d/DEBIAN"
gzip -9n "$d/usr/share/man/man1/pelmora.1"
maintainer=$(sed -n 's/^Maintainer: //p' packaging/debian/control.in)
# A native package: its one changelog is changelog.gz, made from CHANGELOG.md.
package debian-changelog "$version" "$maintainer" | gzip -9n >"$doc/changelog.gz"
{
  cat <<EOF
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Pelmora

Files: *
Copyright: $(sed -n 's/^Copyright (c) //p' LICENSE)
License: Expat
EOF
  # The licence text as it stands in LICENSE, without its title line.
  tail -n +3 LICENSE | sed -e 's/^$/./' -e 's/^/ /'
} >"$doc/copyright"
find "$d" -type d -exec chmod 0755 {} +
find "$d" -type f -exec chmod 0644 {} +
chmod 0755 "$d/usr/bin/pelmora"

mkdir -p "$stage/shlibs/debian"
printf 'Source: pelmora\n\nPackage: pelmora\nArchitecture: amd64\n' >"$stage/shlibs/debian/control"
depends=$(cd "$stage/shlibs" && dpkg-shlibdeps -O "$d/usr/bin/pelmora" "$d/usr/lib/pelmora/libpelmora.so" 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --apparent-size "$d/usr" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@INSTALLED_SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
  packaging/debian/control.in >"$d/DEBIAN/control"
(cd "$d" && find usr -type f | sort | xargs md5sum) >"$d/DEBIAN/md5sums"
chmod 0644 "$d/DEBIAN/control" "$d/DEBIAN/md5sums"
find "$d" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
dpkg-deb --root-owner-group -Zxz -z9 --threads-max=1 --build "$d" "$out/$deb" >/dev/null

(cd "$out" && sha256sum "$zip" "$deb" >SHA256SUMS)
if [ $lint = 1 ]; then
  lintian --fail-on error "$out/$deb"
fi
echo "release $version in $out:"
(cd "$out" && ls -l "$zip" "$deb" SHA256SUMS | awk '{print "  " $5 "\t" $9}')
