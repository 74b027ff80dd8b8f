# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

"""Where a result goes: checked before anything runs, the hidden names the job keeps
beside it, and the lock that keeps a second job off the same result."""

import errno
import fcntl
import hashlib
import os
import stat

from telvo_farm.errors import FarmError

_DEFAULT_NAME_MAX = 255


def _name_max(folder):
    try:
        return os.pathconf(folder, "PC_NAME_MAX")
    except (OSError, ValueError):
        return _DEFAULT_NAME_MAX


_MOST_LINKS = 40  # as the kernel's own limit on links followed in one name


def follow_links(path):
    """The name a write through `path` lands on, as telvo finds it: symbolic links
    followed one by one, a relative target taken from the link's own folder, a dangling
    link to the target it names (which is then created); the folders resolved too, so
    that a result reached through a link and through its target has one name (and one
    lock). A loop fails as the system would."""
    path = os.path.abspath(path)
    for _ in range(_MOST_LINKS):
        if not os.path.islink(path):
            folder, name = os.path.split(path)
            return os.path.join(os.path.realpath(folder), name)
        target = os.readlink(path)
        path = os.path.join(os.path.dirname(path), target)
    raise FarmError(f"cannot write '{path}': {os.strerror(errno.ELOOP)}")


def same_file(a, b):
    try:
        return os.path.samefile(a, b)
    except OSError:
        return False


def keep_mode(replaced, replacement):
    """A result that replaces a file keeps its permissions, as telvo's do, so a private
    output stays private; set-id bits are not carried onto new contents."""
    try:
        status = os.stat(replaced)
    except OSError:
        return
    if stat.S_ISREG(status.st_mode):
        os.chmod(replacement, stat.S_IMODE(status.st_mode) & 0o1777)


def check_writable_place(path, shown=None):
    """Fails as telvo does where the file could never be made: a folder that does not
    exist (telvo makes none), or a name longer than the folder allows. Found here, not
    after the whole render. `shown`: the name as the user gave it."""
    folder = os.path.dirname(os.path.abspath(path))
    if not os.path.isdir(folder):
        raise FarmError(f"cannot write '{shown or path}': {os.strerror(errno.ENOENT)}")
    check_name_length(path, shown)


def check_name_length(path, shown=None):
    folder = os.path.dirname(os.path.abspath(path))
    if len(os.fsencode(os.path.basename(path))) > _name_max(folder):
        raise FarmError(f"cannot write '{shown or path}': {os.strerror(errno.ENAMETOOLONG)}")


def hidden_beside(path, suffix):
    """'.NAME' + suffix in the folder of `path`. A name too long to take the additions
    is cut, and a digest of the whole name keeps two long names that share their start
    apart."""
    folder, name = os.path.split(os.path.abspath(path))
    raw = os.fsencode(name)
    room = _name_max(folder) - 1 - len(os.fsencode(suffix))
    if len(raw) > room:
        digest = "~" + hashlib.sha256(raw).hexdigest()[:12]
        cut = room - len(digest)
        while cut > 0 and raw[cut] & 0xC0 == 0x80:  # not inside a UTF-8 character
            cut -= 1
        name = os.fsdecode(raw[:cut] + digest.encode())
    return os.path.join(folder, "." + name + suffix)


class ResultLock:
    """An exclusive lock on a hidden file beside the result, held for the whole job: a
    second job on the same OUTPUT would otherwise share, and remove, the first one's
    work folder. The file is removed on release; a job that took the lock on a file
    removed in between tries again, so two jobs never hold locks on different files of
    one name."""

    def __init__(self, result, shown):
        self.path = hidden_beside(result, ".farm.lock")
        self.shown = shown
        self.fd = None

    def acquire(self):
        """Returns a note when the storage takes no locks (the job then runs without)."""
        while True:
            try:
                fd = os.open(self.path, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC, 0o666)
            except OSError as e:
                raise FarmError(f"cannot write '{self.shown}': {e.strerror}") from None
            try:
                fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except BlockingIOError:
                os.close(fd)
                raise FarmError(f"another telvo-farm is writing {self.shown}") from None
            except OSError as e:
                self.fd = fd
                return (f"cannot lock '{self.path}' ({e.strerror}); no other telvo-farm may "
                        f"write {self.shown} meanwhile")
            try:
                if os.fstat(fd).st_ino == os.stat(self.path).st_ino:
                    self.fd = fd
                    return None
            except FileNotFoundError:
                pass
            os.close(fd)

    def release(self):
        if self.fd is None:
            return
        try:
            os.remove(self.path)
        except FileNotFoundError:
            pass
        os.close(self.fd)
        self.fd = None
