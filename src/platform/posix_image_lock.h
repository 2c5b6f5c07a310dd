// How the POSIX backend keeps an image to itself while it reads it. Windows
// refuses an open without sharing while any other process has the file open;
// here two kinds of advisory lock stand in for that, so that the image is
// refused while another process holds it, and the other process is refused
// while the tool does:
// - an exclusive flock(2), for programs that lock whole files;
// - QEMU's image locking, open-file-description byte-range locks (fcntl
//   F_OFD_SETLK), which a running VM, qemu-nbd or qemu-io holds and which
//   flock does not see.
// Both are taken on the read-only descriptor of the image. A lock that the
// file system does not support is left out.
#pragma once

#include "platform/file.h"

namespace vhdx_inspect::detail::platform {

// Takes both locks on `fd` for as long as it stays open. Returns 0, or the
// status of a refused open: EWOULDBLOCK when another process holds the image
// by either kind of lock, or the error of a lock call that failed otherwise.
ErrorCode LockImage(int fd);

}  // namespace vhdx_inspect::detail::platform
