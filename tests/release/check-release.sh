#!/usr/bin/env bash
# Checks a release as its users get it, from the packages alone:
#
#   - the same commit built again in another folder gives the same bytes;
#   - the zip, unpacked into an empty folder: its files, their text form, the
#     version resources of both modules, pelmora.exe under Wine in a fresh
#     prefix (Russian locale) on the sample library (preview, real run, undo),
#     and a host of our own that loads Pelmora.dll from there and calls its
#     eight exports;
#   - the deb, installed with dpkg into a scratch root whose package database
#     holds this machine's entries of the packages it depends on (so they are
#     checked against a real Debian 12): the installed pelmora on the sample
#     library, --version, man pelmora; then removed, and nothing is left.
#
#   tests/release/check-release.sh [DIST]     (default dist/, from scripts/release.sh)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
dist=$(cd "${1:-$root/dist}" && pwd) || exit 2
version=$(cmake -P "$root/cmake/Version.cmake")
zip=Pelmora-$version-win32.zip
deb=pelmora_${version}_amd64.deb
for f in "$zip" "$deb" SHA256SUMS; do
  [ -f "$dist/$f" ] || { echo "$0: no $dist/$f; run scripts/release.sh first" >&2; exit 2; }
done
work=$(mktemp -d)
cleanup() {
  [ -n "${clone_builder:-}" ] && wait "$clone_builder" 2>/dev/null  # nothing is left running
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export LC_ALL=C.UTF-8
failures=0
checks=0
check() {  # check DESCRIPTION COMMAND...: counts a check, reports it when it fails
  local what=$1
  shift
  checks=$((checks + 1))
  if ! "$@"; then
    failures=$((failures + 1))
    echo "FAIL: $what" >&2
  fi
}
has() { grep -qF -- "$2" <<<"$1" || { echo "  lacks '$2' in: $1" >&2; false; }; }
same() { [ "$1" = "$2" ] || { echo "  got '$1', expected '$2'" >&2; false; }; }

"$root/scripts/make-sample-library.sh" "$work/library" || exit 1
fresh() { rm -rf "$work/$1" && cp -a "$work/library" "$work/$1"; }
identical() { diff -r "$work/library" "$work/$1" >/dev/null; }

# The same commit built again in another folder, meanwhile: the release of a
# tree with uncommitted changes is not its commit's, so then both sides of
# the comparison come from clones.
build_clone() {  # build_clone NAME: the release of HEAD, made in $work/NAME
  git clone -q --no-hardlinks "$root" "$work/$1" && git -C "$work/$1" checkout -q --detach "$(git -C "$root" rev-parse HEAD)" &&
    nice -n 5 "$work/$1/scripts/release.sh" --no-lint "$work/$1/dist" >"$work/$1.log" 2>&1
}
reference=$dist
clones=(second)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "(uncommitted changes: the bytes of two clones of the commit are compared)"
  reference=$work/first/dist
  clones=(first second)
fi
( for c in "${clones[@]}"; do build_clone "$c" || exit 1; done ) &
clone_builder=$!

echo "== the sums"
check "SHA256SUMS holds both packages and they match" \
  bash -c "cd '$dist' && [ \$(wc -l <SHA256SUMS) = 2 ] && sha256sum --quiet -c SHA256SUMS"

check "README.md's Install names this release's files" \
  bash -c "sed -n '/^## Install/,/^## /p' '$root/README.md' | grep -qF '$deb' && sed -n '/^## Install/,/^## /p' '$root/README.md' | grep -qF '$zip'"

echo "== the zip"
z=$work/zip
mkdir "$z"
unzip -q -d "$z" "$dist/$zip"
check "the zip holds its six files and nothing else" same "$(cd "$z" && find . -type f | sort | tr '\n' ' ')" \
  "./LICENSE.txt ./Pelmora.dll ./README-en.txt ./README-ru.txt ./RELEASE-NOTES.txt ./pelmora.exe "
for t in LICENSE.txt README-en.txt README-ru.txt RELEASE-NOTES.txt; do
  check "$t has Windows line ends only" bash -c "! tr -d '\r' <'$z/$t' | cmp -s - '$z/$t' && ! grep -qv \$'\r\$' '$z/$t'"
done
check "README-ru.txt is UTF-8 with a byte order mark, in Russian" \
  bash -c "head -c3 '$z/README-ru.txt' | cmp -s - <(printf '\xef\xbb\xbf') && iconv -f UTF-8 -t UTF-16 '$z/README-ru.txt' >/dev/null && grep -q 'Установка плагина' '$z/README-ru.txt'"
check "LICENSE.txt is LICENSE" bash -c "tr -d '\r' <'$z/LICENSE.txt' | cmp -s - '$root/LICENSE'"
check "RELEASE-NOTES.txt is the newest CHANGELOG.md entry" \
  bash -c "tr -d '\r' <'$z/RELEASE-NOTES.txt' | cmp -s - <(python3 '$root/packaging/package.py' notes '$version')"
for t in README-en.txt README-ru.txt; do
  check "$t names this version and all twelve placeholders" bash -c \
    "grep -qF 'Pelmora $version' '$z/$t' && for p in artist title album year comment genre track bitrate sample mode time filename; do grep -qF \"  *\$p*\" '$z/$t' || exit 1; done"
done

numbers=$(cmake -DPRINT=numbers -P "$root/cmake/Version.cmake")
for module in Pelmora.dll pelmora.exe; do
  properties=$(python3 "$here/pe_version.py" "$z/$module" 2>&1)
  check "$module: numeric version" has "$properties" "fixed FileVersion=$numbers.0 ProductVersion=$numbers.0"
  for language in 041904B0 040904B0; do
    for entry in "ProductName=Pelmora" "ProductVersion=$version" "FileVersion=$version" "OriginalFilename=$module" \
                 "LegalCopyright=Copyright © 2026 the Pelmora authors"; do
      check "$module: $language $entry" has "$properties" "$language $entry"
    done
    check "$module: $language FileDescription" grep -q "^$language FileDescription=Pelmora" <<<"$properties"
  done
  check "$module carries no build path" bash -c "! strings -a '$z/$module' | grep -qE '$root|$work|/build/'"
  check "$module has no link time stamp" bash -c "i686-w64-mingw32-objdump -p '$z/$module' | grep -q '^Time/Date.*1970'"
done
exports=$(i686-w64-mingw32-objdump -p "$z/Pelmora.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\]/{print $NF}' | grep -v Table | sort | tr '\n' ' ')
check "Pelmora.dll exports the eight names" same "$exports" "clickBtn exportBtns freeOpt getInfo initialize newOpt process showOptions "

no_wine=${PELMORA_NO_WINE-$("$root/scripts/wine-unavailable.sh")}
if [ -n "$no_wine" ]; then
  echo "SKIPPED: pelmora.exe and Pelmora.dll under Wine: $no_wine"
else
  # Wine in a fresh prefix, made as the project makes its prefixes.
  sed "s|@PELMORA_WINEPREFIX@|$work/prefix|" "$root/cmake/wine-run.sh.in" >"$work/wine-run.sh"
  chmod +x "$work/wine-run.sh"
  exe() { "$work/wine-run.sh" "$z/pelmora.exe" "$@" 2>&1 | tr -d '\r' | tr '\\' '/'; }
  check "pelmora.exe --version" same "$(exe --version)" "pelmora $version (Pelmora ID3 by Tolvarin, handles *.mp3)"
  fresh win
  cd "$work/win" || exit 1
  preview=$(exe -n .)
  check "pelmora.exe preview: a UTF-16 Cyrillic tag" has "$preview" "./track03.mp3 -> ./Белая Река - Осенний вальс.mp3"
  check "pelmora.exe preview: ID3v1 in Windows-1251" has "$(exe -n -t id3v1 .)" "./track06.mp3 -> ./Кукушка - Звезда.mp3"
  check "pelmora.exe preview renames nothing" identical win
  # Every mark the preview shows is explained in both read-me texts.
  while read -r mark; do
    for t in README-en.txt README-ru.txt; do
      check "$t explains the mark [$mark]" grep -qF "[$mark" "$z/$t"
    done
  done < <(grep -o '  \[[^]]*\]' <<<"$preview" | sed 's/^  \[//; s/\]$//; s/: stays$//; s/; .*//' | sort -u)
  check "pelmora.exe real run" has "$(exe .)" "journal: "
  check "pelmora.exe renamed the files" test -f "$work/win/Северный Ветер - Песня о дороге.mp3" -a ! -e "$work/win/track04.mp3"
  check "pelmora.exe keeps its journal in the prefix's LOCALAPPDATA" \
    bash -c "ls '$work/prefix/drive_c/users/'*/AppData/Local/Pelmora/*.journal >/dev/null 2>&1"
  check "pelmora.exe --undo" has "$(exe --undo)" " restored"
  check "pelmora.exe --undo puts every name back" identical win

  echo "== a host of ours loads Pelmora.dll from the unpacked zip"
  mkdir "$work/host"
  if i686-w64-mingw32-g++-posix -std=c++20 -O1 -Wall -Wextra -Wshadow -Wconversion -Werror -static \
       -I"$root/plugin/boundary" "$here/PackageHost.cpp" -o "$work/host/package_host.exe"; then
    fresh host-music
    dll=$("$work/wine-run.sh" winepath -w "$z/Pelmora.dll" 2>/dev/null)
    a=$("$work/wine-run.sh" winepath -w "$work/host-music/track03.mp3" 2>/dev/null)
    b=$("$work/wine-run.sh" winepath -w "$work/host-music/track01.mp3" 2>/dev/null)
    out=$(xvfb-run -a -s "-screen 0 1024x768x24" "$work/wine-run.sh" "$work/host/package_host.exe" "$dll" "$a" "$b" 2>&1 |
          tr -d '\r' | iconv -f CP1251 -t UTF-8 | tr '\\' '/')
    for line in "exports: all eight" "version: $version" "title: Pelmora ID3" "author: Tolvarin" \
                "category: MP3/Pelmora ID3" "mask: *.mp3" "optionsSize: 260" "buttons: 0" \
                "showOptions: 1, driven 1, description: Pelmora ID3v1 (*track* *title*)" \
                "edited record: *track* *title*, tag 1" "/host-music/Белая Река - Осенний вальс.mp3" \
                "/host-music/Nightfall Choir - Morning Light.mp3, there 1"; do
      check "package host: $line" has "$out" "$line"
    done
    check "package host: the preview renamed nothing" test -f "$work/host-music/track03.mp3"
  else
    check "the package host compiles" false
  fi
fi

echo "== the deb in a scratch root"
r=$work/root
mkdir -p "$r/var/lib/dpkg/info" "$r/var/lib/dpkg/updates" "$r/var/lib/dpkg/triggers"
# Only the packages it depends on: dpkg checks no further.
dependencies=$(dpkg-deb -f "$dist/$deb" Depends | sed 's/([^)]*)//g; s/,/ /g')
# shellcheck disable=SC2086
dpkg-query -s $(printf '%s:amd64 ' $dependencies) >"$r/var/lib/dpkg/status" 2>/dev/null
touch "$r/var/lib/dpkg/available"
tree() { (cd "$r" && find . -path ./var/lib/dpkg -prune -o -print | sort); }
before=$(tree)
dpkg_root() { dpkg --root="$r" --log=/dev/null "$@" 2>"$work/dpkg.err" || { cat "$work/dpkg.err" >&2; false; }; }
check "dpkg -i installs it, its dependencies met by this Debian" dpkg_root -i "$dist/$deb" >/dev/null
check "the package's files are where Debian puts them" same "$(dpkg_root -L pelmora | sort | tr '\n' ' ')" \
  "/. /usr /usr/bin /usr/bin/pelmora /usr/lib /usr/lib/pelmora /usr/lib/pelmora/libpelmora.so /usr/share /usr/share/doc /usr/share/doc/pelmora /usr/share/doc/pelmora/changelog.gz /usr/share/doc/pelmora/copyright /usr/share/man /usr/share/man/man1 /usr/share/man/man1/pelmora.1.gz "
check "the copyright file is machine-readable, with the licence" \
  bash -c "head -1 '$r/usr/share/doc/pelmora/copyright' | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' && sed -n 's/^ //; s/^\.\$//; /^Permission/,\$p' '$r/usr/share/doc/pelmora/copyright' | cmp -s - <(sed -n '/^Permission/,\$p' '$root/LICENSE')"
check "changelog.gz starts with this version" bash -c "zcat '$r/usr/share/doc/pelmora/changelog.gz' | head -1 | grep -qF 'pelmora ($version)'"
installed=$r/usr/bin/pelmora
check "installed pelmora --version" same "$("$installed" --version 2>&1)" "pelmora $version (Pelmora ID3 by Tolvarin, handles *.mp3)"
check "man pelmora" bash -c "MANPATH='$r/usr/share/man' MANWIDTH=80 man -P cat pelmora 2>/dev/null | grep -q 'Pelmora $version.*PELMORA(1)'"
fresh deb-music
cd "$work/deb-music" || exit 1
export XDG_STATE_HOME=$work/state
check "installed pelmora preview" has "$("$installed" -n . 2>&1)" "./track03.mp3 -> ./Белая Река - Осенний вальс.mp3"
check "installed pelmora real run" has "$("$installed" . 2>&1)" "journal: "
check "installed pelmora renamed the files" test -f "$work/deb-music/Белая Река - Осенний вальс.mp3"
check "installed pelmora --undo" has "$("$installed" --undo 2>&1)" " restored"
check "installed pelmora --undo puts every name back" identical deb-music
cd "$work" || exit 1
check "dpkg -r removes it" dpkg_root -r pelmora >/dev/null
check "nothing of the package is left" same "$(tree)" "$before"
check "dpkg keeps no record of its files" bash -c "! ls '$r/var/lib/dpkg/info/pelmora'.* 2>/dev/null && ! dpkg --root='$r' -s pelmora 2>/dev/null | grep -q '^Status: install'"
check "apt accepts the package on this machine" bash -c "apt-get install -s '$dist/$deb' 2>/dev/null | grep -q '^Inst pelmora'"

echo "== the same commit built in another folder"
if wait $clone_builder; then
  for f in "$zip" "$deb" SHA256SUMS; do
    check "$f is the same bytes when built in another folder" cmp "$reference/$f" "$work/second/dist/$f"
  done
  [ $failures = 0 ] || echo "  (was $reference made from the last commit?)" >&2
  mkdir -p "$work/dll-a" "$work/dll-b"
  unzip -q -d "$work/dll-a" "$reference/$zip" Pelmora.dll && unzip -q -d "$work/dll-b" "$work/second/dist/$zip" Pelmora.dll
  check "Pelmora.dll is the same bytes when built in another folder" cmp "$work/dll-a/Pelmora.dll" "$work/dll-b/Pelmora.dll"
else
  tail -20 "$work"/*.log >&2
  check "the release builds in another folder" false
fi

echo "check-release: $((checks - failures)) passed, $failures failed"
[ $failures = 0 ]
