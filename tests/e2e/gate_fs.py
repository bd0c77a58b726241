#!/usr/bin/python3
"""gate_fs.py SOURCE MOUNTPOINT GATE: SOURCE mounted at MOUNTPOINT, every operation waiting in the
caller's thread until the file GATE exists, as a share whose server is off holds every lookup, open
and read; a flush to the disk waits for GATE.flush too, as on a slow USB stick."""
import os
import sys
import time

try:
    from fusepy import FUSE, FuseOSError, Operations   # Debian's python3-fusepy
except ImportError:
    from fuse import FUSE, FuseOSError, Operations


class Gated(Operations):
    def __init__(self, source, gate):
        self.source, self.gate = source, gate

    def __call__(self, op, path, *args):
        while not os.path.exists(self.gate) or op == 'fsync' and not os.path.exists(self.gate + '.flush'):
            time.sleep(0.05)
        try:
            return super().__call__(op, os.path.join(self.source, path.lstrip('/')), *args)
        except OSError as e:
            raise FuseOSError(e.errno)

    def getattr(self, path, fh=None):
        st = os.lstat(path)
        return {k: getattr(st, k) for k in dir(st) if k.startswith('st_') and k != 'st_blocks'}

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(path)

    def open(self, path, flags):
        return os.open(path, flags)
    def create(self, path, mode, fi=None): return os.open(path, os.O_RDWR | os.O_CREAT | os.O_TRUNC, mode)
    def write(self, path, data, offset, fh): return os.pwrite(fh, data, offset)
    def rename(self, old, new): os.rename(old, os.path.join(self.source, new.lstrip('/')))

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)


if __name__ == '__main__':
    source, mountpoint, gate = sys.argv[1:4]
    # Nothing kept by the kernel: every lookup and open asks again.
    FUSE(Gated(source, gate), mountpoint, foreground=True,
         entry_timeout=0, attr_timeout=0, negative_timeout=0)
