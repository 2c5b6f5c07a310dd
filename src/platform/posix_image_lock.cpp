// POSIX backend: the locks that keep an image to itself (posix_image_lock.h).
#include "platform/posix_image_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace vhdx_inspect::detail::platform {
namespace {

ErrorCode LastErrno() { return static_cast<ErrorCode>(errno); }

// Takes the exclusive whole-file lock. A lock held elsewhere refuses the
// open; a file system that cannot lock at all does not.
ErrorCode LockWholeFile(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return LastErrno();
    return 0;
  }
  return 0;
}

#ifdef F_OFD_SETLK

// QEMU's image locking, as its file-posix block driver keeps it: a process
// that holds an image takes a read lock on byte 100 + n for each permission n
// that it uses, and on byte 200 + n for each permission that it does not
// share with others; it then tests the bytes that would conflict with it
// (200 + n for what it uses, 100 + n for what it does not share) and gives
// the image up when another process holds one of them. Permission 0 is
// "consistent read"; QEMU 7.2 has four (consistent read, write, write
// unchanged, resize), and five of each are taken and tested to leave room.
//
// The tool reads (permission 0) and shares nothing, so it holds byte 100
// and bytes 200-204. Like the exclusive open on Windows it is refused by any
// other holder: a lock on any of bytes 100-104 or 200-204.
struct ByteRange {
  off_t start;
  off_t length;
};
constexpr off_t kPermissions = 5;
constexpr ByteRange kConsistentReadByte{100, 1};
constexpr ByteRange kPermissionBytes{100, kPermissions};
constexpr ByteRange kUnsharedBytes{200, kPermissions};

// One F_OFD_* call on `range`; returns 0 or errno.
int OfdLockCall(int fd, int command, short type, ByteRange range, struct flock& lock) {
  lock = {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = range.start;
  lock.l_len = range.length;
  return ::fcntl(fd, command, &lock) == 0 ? 0 : errno;
}

int HoldForReading(int fd, ByteRange range) {
  struct flock lock;
  return OfdLockCall(fd, F_OFD_SETLK, F_RDLCK, range, lock);
}

// Whether another open file description holds a lock on `range` (this
// one's own locks do not count); returns 0 or errno.
int TestHeldElsewhere(int fd, ByteRange range, bool& held) {
  struct flock lock;
  const int error = OfdLockCall(fd, F_OFD_GETLK, F_WRLCK, range, lock);
  held = error == 0 && lock.l_type != F_UNLCK;
  return error;
}

// The open's status after a lock call failed with `error`: 0 (go on without
// these locks) on a file system that has none; EWOULDBLOCK when another
// process holds the bytes.
ErrorCode StatusOfFailedLock(int error) {
  if (error == EINVAL || error == ENOLCK || error == EOPNOTSUPP) return 0;
  if (error == EAGAIN || error == EACCES) return EWOULDBLOCK;
  return static_cast<ErrorCode>(error);
}

// The bytes are held first and tested afterwards, in QEMU's own order: of
// two processes that open the image at the same moment, at least one sees
// the other.
ErrorCode LockAgainstQemu(int fd) {
  for (const ByteRange range : {kConsistentReadByte, kUnsharedBytes}) {
    if (const int error = HoldForReading(fd, range)) return StatusOfFailedLock(error);
  }
  for (const ByteRange range : {kPermissionBytes, kUnsharedBytes}) {
    bool held = false;
    if (const int error = TestHeldElsewhere(fd, range, held)) return StatusOfFailedLock(error);
    if (held) return EWOULDBLOCK;
  }
  return 0;
}

#else

// No open-file-description locks on this system: QEMU does not lock either.
ErrorCode LockAgainstQemu(int) { return 0; }

#endif  // F_OFD_SETLK

}  // namespace

ErrorCode LockImage(int fd) {
  const ErrorCode status = LockWholeFile(fd);
  if (status != 0) return status;
  return LockAgainstQemu(fd);
}

}  // namespace vhdx_inspect::detail::platform
