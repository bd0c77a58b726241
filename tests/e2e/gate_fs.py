#!/usr/bin/python3
"""A file system that answers only while a gate is open: a passthrough of
SOURCE mounted at MOUNTPOINT whose every operation waits, in the calling
thread, until the file GATE exists, as a share whose server is off holds
every lookup, open and read. The rest of the caller's process goes on.

    gate_fs.py SOURCE MOUNTPOINT GATE
"""
import errno
import os
import sys
import time

try:
    from fusepy import FUSE, FuseOSError, Operations   # Debian's python3-fusepy
except ImportError:
    from fuse import FUSE, FuseOSError, Operations


class Gated(Operations):
    def __init__(self, source, gate):
        self.source = source
        self.gate = gate

    def __call__(self, op, path, *args):
        while not os.path.exists(self.gate):
            time.sleep(0.05)
        return super().__call__(op, os.path.join(self.source, path.lstrip('/')), *args)

    def getattr(self, path, fh=None):
        try:
            st = os.lstat(path)
        except OSError as e:
            raise FuseOSError(e.errno)
        return {k: getattr(st, k) for k in ('st_mode', 'st_size', 'st_nlink', 'st_uid', 'st_gid',
                                           'st_atime', 'st_mtime', 'st_ctime')}

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(path)

    def open(self, path, flags):
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return os.open(path, os.O_RDONLY)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)

    def statfs(self, path):
        st = os.statvfs(path)
        return {k: getattr(st, k) for k in ('f_bsize', 'f_frsize', 'f_blocks', 'f_bfree',
                                           'f_bavail', 'f_files', 'f_ffree', 'f_namemax')}


if __name__ == '__main__':
    source, mountpoint, gate = sys.argv[1:4]
    # Nothing kept by the kernel: every lookup and open asks again.
    FUSE(Gated(source, gate), mountpoint, foreground=True, nothreads=False, ro=True,
         entry_timeout=0, attr_timeout=0, negative_timeout=0)
