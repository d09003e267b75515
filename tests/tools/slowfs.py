#!/usr/bin/python3
"""A file system for tests and benchmarks that behaves like a slow device.

slowfs.py BACKING MOUNTPOINT [--latency-ms N] [--write-rate BYTES_PER_S]
          [--hang-file PATH] [--share]

Every operation passes through to BACKING after --latency-ms; writes also
wait as long as --write-rate takes to carry their bytes. While the file
--hang-file exists, every operation waits until it is removed: the device
hangs. --share mounts it with the type of a network share, so the program
lists it as a network drive. The kernel keeps no attributes or names in its
cache, so every look-up reaches the device. Runs in the foreground until
unmounted (fusermount3 -u MOUNTPOINT, or umount).
"""

import argparse
import errno
import os
import time

from fusepy import FUSE, FuseOSError, Operations


class SlowFs(Operations):
    def __init__(self, root, latency, rate, hang):
        self.root = os.path.realpath(root)
        self.latency = latency
        self.rate = rate
        self.hang = hang

    def _wait(self, nbytes=0):
        while self.hang and os.path.exists(self.hang):
            time.sleep(0.02)
        delay = self.latency + (nbytes / self.rate if self.rate else 0)
        if delay:
            time.sleep(delay)

    def _path(self, path):
        return os.path.join(self.root, path.lstrip('/'))

    def __call__(self, op, path, *args):
        if op not in ('init', 'destroy'):
            nbytes = len(args[0]) if op == 'write' else 0
            self._wait(nbytes)
        try:
            return super().__call__(op, self._path(path), *args)
        except OSError as e:
            raise FuseOSError(e.errno or errno.EIO)

    def access(self, path, mode):
        if not os.access(path, mode):
            raise FuseOSError(errno.EACCES)

    def getattr(self, path, fh=None):
        st = os.lstat(path) if fh is None else os.fstat(fh)
        keys = ('st_atime', 'st_ctime', 'st_gid', 'st_mode', 'st_mtime', 'st_nlink',
                'st_size', 'st_uid', 'st_blocks')
        return {k: getattr(st, k) for k in keys}

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(path)

    def readlink(self, path):
        return os.readlink(path)

    def statfs(self, path):
        sv = os.statvfs(path)
        keys = ('f_bavail', 'f_bfree', 'f_blocks', 'f_bsize', 'f_favail', 'f_ffree',
                'f_files', 'f_flag', 'f_frsize', 'f_namemax')
        return {k: getattr(sv, k) for k in keys}

    def chmod(self, path, mode):
        os.chmod(path, mode)

    def chown(self, path, uid, gid):
        os.lchown(path, uid, gid)

    def utimens(self, path, times=None):
        os.utime(path, times, follow_symlinks=False)

    def mkdir(self, path, mode):
        os.mkdir(path, mode)

    def rmdir(self, path):
        os.rmdir(path)

    def unlink(self, path):
        os.unlink(path)

    def rename(self, old, new):
        os.rename(old, self._path(new))

    def link(self, target, source):
        os.link(self._path(source), target)

    def symlink(self, target, source):
        os.symlink(source, target)

    def mknod(self, path, mode, dev):
        os.mknod(path, mode, dev)

    def open(self, path, flags):
        return os.open(path, flags)

    def create(self, path, mode, fi=None):
        return os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, mode)

    def read(self, path, size, offset, fh):
        return os.pread(fh, size, offset)

    def write(self, path, data, offset, fh):
        return os.pwrite(fh, data, offset)

    def truncate(self, path, length, fh=None):
        if fh is None:
            os.truncate(path, length)
        else:
            os.ftruncate(fh, length)

    def flush(self, path, fh):
        return 0

    def fsync(self, path, datasync, fh):
        (os.fdatasync if datasync else os.fsync)(fh)

    def release(self, path, fh):
        os.close(fh)

    def opendir(self, path):
        if not os.path.isdir(path):
            raise FuseOSError(errno.ENOTDIR)
        return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('backing')
    ap.add_argument('mountpoint')
    ap.add_argument('--latency-ms', type=float, default=0)
    ap.add_argument('--write-rate', type=float, default=0)
    ap.add_argument('--hang-file')
    ap.add_argument('--share', action='store_true')
    a = ap.parse_args()
    fs = SlowFs(a.backing, a.latency_ms / 1000.0, a.write_rate, a.hang_file)
    options = dict(foreground=True, attr_timeout=0, entry_timeout=0, negative_timeout=0,
                   fsname='slowfs', default_permissions=True, allow_other=True)
    if a.share:
        options['subtype'] = 'sshfs'
    FUSE(fs, a.mountpoint, **options)


if __name__ == '__main__':
    main()
