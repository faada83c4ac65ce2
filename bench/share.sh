#!/usr/bin/env bash
# Mounts the library as a share (bench/share.py) for one run, and takes it down
# after: the runner calls it before and after every run, so each run meets a
# share whose client has cached nothing yet.
#
#   bench/share.sh mount SOURCE MOUNTPOINT DELAY_MS [COUNTS]
#   bench/share.sh unmount MOUNTPOINT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
case ${1:-} in
  mount)
    source=$2 mountpoint=$3 delay=$4 counts=${5:-}
    mkdir -p "$mountpoint"
    setsid /usr/bin/python3 "$here/share.py" "$source" "$mountpoint" "$delay" $counts \
      </dev/null >"$mountpoint.log" 2>&1 &
    echo $! > "$mountpoint.pid"
    for _ in $(seq 200); do
      mountpoint -q "$mountpoint" && exit 0
      kill -0 "$(cat "$mountpoint.pid")" 2>/dev/null || break
      sleep 0.05
    done
    echo "the share did not come up at $mountpoint:" >&2
    cat "$mountpoint.log" >&2
    exit 1 ;;
  unmount)
    mountpoint=$2
    fusermount3 -u "$mountpoint" 2>/dev/null || umount "$mountpoint"
    pid=$(cat "$mountpoint.pid")
    # The file system writes its counts as it goes down.
    for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || exit 0; sleep 0.05; done
    echo "the share at $mountpoint did not end" >&2
    exit 1 ;;
  *) sed -n '2,8p' "$0" >&2; exit 2 ;;
esac
