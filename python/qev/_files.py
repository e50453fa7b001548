"""Input files as every reader of the package takes them: regular files only."""
from __future__ import annotations

import errno
import os
import stat

# Files are read whole into memory: a larger file is refused first.
_LARGEST_FILE = 1 << 30


def _readable(path) -> str:
    """The path of a regular file that can be opened for reading: a missing or
    unreadable file raises the OSError Python raises for it; a folder, a named
    pipe or a device (which could block or never end) and a file above 1 GiB
    raise an OSError saying so, before anything is opened."""
    path = os.fspath(path)
    mode = os.stat(path)
    if stat.S_ISDIR(mode.st_mode):
        raise IsADirectoryError(errno.EISDIR, "it is a directory, not a file", path)
    if not stat.S_ISREG(mode.st_mode):
        raise OSError(errno.EINVAL, "it is not a regular file but a device, a pipe or a socket",
                      path)
    if mode.st_size > _LARGEST_FILE:
        raise OSError(errno.EFBIG, f"larger than {_LARGEST_FILE} bytes, the most read whole", path)
    with open(path, "rb"):
        pass
    return path
