#!/usr/bin/env bash
# Installs the Debian packages that the builds and tests need. Idempotent: returns
# quickly when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev googletest libbenchmark-dev
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine32:i386 fonts-wine xvfb xauth imagemagick
  lame ffmpeg python3-mutagen eyed3 id3v2 libtag1-dev file locales
  dpkg-dev lintian unzip man-db python3 git
)

install_packages() {
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# A package that is "Multi-Arch: same" must be at one version in both
# architectures. When a mirror is caught mid-sync, or a 64-bit package came
# from the security archive whose 32-bit index lags, the resolver gives up.
# First take each 32-bit twin at the exact version of its installed 64-bit
# package wherever an index still has it; installed packages stay as they are.
install_with_matching_twins() {
  echo "setup: the install failed; trying again with each 32-bit package at the version of its installed 64-bit twin" >&2
  local work
  work=$(mktemp -d)
  # shellcheck disable=SC2064
  trap "rm -rf '$work'" RETURN
  declare -A installed=() available=()
  local name arch multi version
  while read -r name arch multi version; do
    [ "$arch" = amd64 ] && [ "$multi" = same ] && installed[$name]=$version
  done < <(dpkg-query -W -f='${Package} ${Architecture} ${Multi-Arch} ${Version}\n')
  local queries=()
  for name in "${!installed[@]}"; do queries+=("$name:i386"); done
  while IFS='|' read -r name version _; do
    name=${name// /} version=${version// /}
    available["$name=$version"]=1
  done < <(apt-cache madison "${queries[@]}" 2>/dev/null)
  # Only twins that the packages asked for can pull in matter.
  declare -A needed=()
  while read -r name; do
    needed[$name]=1
  done < <(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
             --no-enhances "$@" 2>/dev/null | sed -n 's/^\([^ <][^ ]*:i386\)$/\1/p')
  local stuck=()
  : > "$work/preferences"
  for name in "${!installed[@]}"; do
    version=${installed[$name]}
    if [ -n "${available["$name:i386=$version"]:-}" ]; then
      printf 'Package: %s:i386\nPin: version %s\nPin-Priority: 1001\n\n' "$name" "$version" >> "$work/preferences"
    elif [ -n "${needed["$name:i386"]:-}" ] && ! dpkg-query -W "$name:i386" >/dev/null 2>&1; then
      stuck+=("$name")
    fi
  done
  local pinned=(-o Dir::Etc::Preferences="$work/preferences")
  if [ ${#stuck[@]} -eq 0 ]; then
    apt-get install -y -qq --no-install-recommends "${pinned[@]}" "$@" >/dev/null && return 0
    echo "setup: apt-get could not install: $*" >&2
    exit 1
  fi

  # No index has those twins at the installed version: the only way is the
  # main archive's version of them in both architectures, a downgrade.
  local downgrade=()
  for name in "${stuck[@]}"; do
    version=$(common_version "$name")
    if [ -z "$version" ]; then
      echo "setup: no index has $name at one version for amd64 and i386; run apt-get update when the mirror has caught up" >&2
      exit 1
    fi
    downgrade+=("$name:amd64=$version" "$name:i386=$version")
  done
  if [ "${CI:-}" != true ]; then
    echo "setup: stopped: the 32-bit twins of ${stuck[*]} are not in any index at their installed version; apt-get update later, or downgrade them: apt-get install --allow-downgrades ${downgrade[*]}" >&2
    exit 1
  fi
  echo "setup: CI machine: taking the main archive's version of ${stuck[*]} for both architectures (a downgrade)" >&2
  apt-get install -y -qq --no-install-recommends --allow-downgrades "${pinned[@]}" "$@" "${downgrade[@]}" >/dev/null
}

# The newest version that some index has for both amd64 and i386.
common_version() {
  local amd64 i386
  amd64=$(apt-cache madison "$1:amd64" 2>/dev/null | awk -F'|' '{gsub(/ /,"",$2); print $2}')
  i386=$(apt-cache madison "$1:i386" 2>/dev/null | awk -F'|' '{gsub(/ /,"",$2); print $2}')
  grep -Fxf <(printf '%s\n' "$i386") <(printf '%s\n' "$amd64") | head -1
}

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
  if [ ${#missing[@]} -gt 0 ] && ! install_packages "${missing[@]}"; then
    install_with_matching_twins "${missing[@]}"
  fi
fi

# Wine takes the ANSI code page and the charset of Unix file names from the
# locale: without a real ru_RU.UTF-8, Cyrillic names cannot reach the disk.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
  localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
