#!/usr/bin/env bash
# Installs the Debian packages that the builds and tests need. Idempotent: returns
# quickly when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev googletest libbenchmark-dev
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine32:i386 fonts-wine xvfb xauth imagemagick
  lame ffmpeg python3-mutagen eyed3 id3v2 libtag1-dev file locales
  dpkg-dev lintian unzip man-db python3
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync fails one index now and then; the rest are
  # still fresh, so retry, and then let the install itself decide.
  for attempt in 1 2 3; do
    apt-get update -qq && break
    echo "setup: apt-get update failed (attempt $attempt of 3)" >&2
    [ "$attempt" = 3 ] || sleep 10
  done
  if [ ${#missing[@]} -gt 0 ] && ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    # The 32-bit packages must match the 64-bit ones version for version; a
    # security index missing for one architecture breaks that. The main
    # archive alone still has both at one version.
    echo "setup: the install failed; trying again from the main archive alone" >&2
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    sources=$(mktemp -d)
    printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$codename" "$codename" > "$sources/main.sources"
    apt-get install -y -qq --no-install-recommends -o Dir::Etc::SourceList=/dev/null \
      -o Dir::Etc::SourceParts="$sources" "${missing[@]}" >/dev/null
    rm -rf "$sources"
  fi
fi

# Wine takes the ANSI code page and the charset of Unix file names from the
# locale: without a real ru_RU.UTF-8, Cyrillic names cannot reach the disk.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
