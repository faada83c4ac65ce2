#!/usr/bin/python3
"""share.py SOURCE MOUNTPOINT DELAY_MS [COUNTS]: the library as a share on a local network would serve it.

A read-only pass-through file system (FUSE, Debian's fuse3 and python3-fusepy; run as root) that waits DELAY_MS
before answering each lookup, open, read and listing, and answers many requests at once. The kernel keeps what it
read (pages across opens, names and attributes for 60 s), as a network file system's client does, so mount it afresh
for every cold run. With COUNTS, the requests are counted by kind and by whether the process's first thread or
another one asked (a listing, a lookup, an open, a read, or any other: closing, flushing, ...), and written there
as "kind first-thread others" lines when the file system is unmounted."""
import collections, errno, os, sys, threading, time
from fusepy import FUSE, FuseOSError, Operations, fuse_get_context


class Share(Operations):
    # What the counts call each request the kernel sends.
    KINDS = {'getattr': 'lookup', 'readdir': 'listing', 'open': 'open', 'read': 'read'}

    def __init__(self, root, delay, counts):
        self.root, self.delay, self.counts_path = root, delay, counts
        self.counts = collections.Counter()
        self.mutex = threading.Lock()
        self.first_thread = {}  # thread id -> whether it is its process's first thread

    def __call__(self, op, *args):
        if self.counts_path and op not in ('init', 'destroy'):
            self._count(self.KINDS.get(op, 'other'))
        return super().__call__(op, *args)

    def _count(self, kind):
        tid = fuse_get_context()[2]
        with self.mutex:
            if tid not in self.first_thread:
                try:
                    with open('/proc/%d/status' % tid) as status:
                        tgid = next(int(l.split()[1]) for l in status if l.startswith('Tgid:'))
                except (OSError, StopIteration):
                    tgid = tid
                self.first_thread[tid] = tgid == tid
            self.counts[(kind, self.first_thread[tid])] += 1

    def _wait(self):
        time.sleep(self.delay)

    def _path(self, path):
        return os.path.join(self.root, path.lstrip('/'))

    def getattr(self, path, fh=None):
        self._wait()
        try:
            st = os.lstat(self._path(path))
        except OSError as e:
            raise FuseOSError(e.errno)
        return {k: getattr(st, k) for k in ('st_mode', 'st_size', 'st_nlink', 'st_uid', 'st_gid',
                                             'st_atime', 'st_mtime', 'st_ctime', 'st_ino')}

    def readdir(self, path, fh):
        self._wait()
        return ['.', '..'] + os.listdir(self._path(path))

    def open(self, path, flags):
        self._wait()
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return os.open(self._path(path), os.O_RDONLY)

    def read(self, path, size, offset, fh):
        self._wait()
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)
        return 0

    def statfs(self, path):
        st = os.statvfs(self._path(path))
        return {k: getattr(st, k) for k in ('f_bsize', 'f_blocks', 'f_bavail', 'f_bfree', 'f_files', 'f_ffree',
                                             'f_namemax')}

    def destroy(self, path):
        if self.counts_path:
            with open(self.counts_path, 'w') as out:
                for kind in ('listing', 'lookup', 'open', 'read', 'other'):
                    out.write('%s %d %d\n' % (kind, self.counts[(kind, True)], self.counts[(kind, False)]))


if __name__ == '__main__':
    source, mountpoint, ms = sys.argv[1], sys.argv[2], float(sys.argv[3])
    counts = sys.argv[4] if len(sys.argv) > 4 else None
    FUSE(Share(os.path.abspath(source), ms / 1000.0, counts), mountpoint, foreground=True, ro=True, nothreads=False,
         kernel_cache=True, attr_timeout=60, entry_timeout=60, negative_timeout=0)
