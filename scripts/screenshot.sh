#!/usr/bin/env bash
# Photographs the options window for docs/options-window.png: runs the
# options_preview.exe of a Windows build (build/win32, or the folder given)
# inside Wine's virtual desktop under Xvfb, so that the window has its caption,
# and keeps the window's own rectangle of the screen. Builds nothing itself.
# It uses a prefix of its own (Russian locale, Wine's Tahoma and Marlett in its
# Fonts folder), made anew for every run and removed afterwards.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build/win32}" && pwd)"
out="$root/docs/options-window.png"
desktop=800x600
for f in options_preview.exe Pelmora.dll; do
  if [ ! -e "$build/$f" ]; then
    echo "no $build/$f: build the Windows configuration first" >&2
    exit 1
  fi
done

work="$(mktemp -d)"
trap 'WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ru_RU.UTF-8 LC_ALL=ru_RU.UTF-8
wineboot -i >/dev/null 2>&1
# Without a window manager Wine waits for every hidden window unless unmanaged.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
wineserver -w

# Runs under the X server: open the window, wait until it reports where it
# is, give it a moment to paint, photograph the whole screen.
cat > "$work/shoot.sh" <<SHOOT
set -e
cd "$work"
wine explorer /desktop=pelmora,$desktop "$(winepath -w "$build/options_preview.exe" 2>/dev/null)" 8 ready.txt &
for _ in \$(seq 300); do [ -s ready.txt ] && break; sleep 0.1; done
[ -s ready.txt ] || { echo "the window did not open" >&2; exit 1; }
sleep 1
import -window root screen.png
wait
SHOOT
xvfb-run -a -s "-screen 0 ${desktop}x24" bash "$work/shoot.sh"
read -r x y width height < "$work/ready.txt"
mkdir -p "$(dirname "$out")"
convert "$work/screen.png" -crop "${width}x${height}+${x}+${y}" +repage "$out"
echo "$out: ${width}x${height} from +${x}+${y}"
