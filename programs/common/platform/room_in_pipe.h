// Room in a pipe for one whole line. A pipe takes a write of up to PIPE_BUF
// bytes whole or not at all, but a longer one (a JSON line of one image is
// about 4.4 KB) goes in as far as there is room and then waits. When the
// user interrupts that wait, part of the line is in the pipe and the rest is
// lost: the reader sees a line cut short. Waiting for room first, while
// watching for the interrupt, keeps every line that is written whole.
#pragma once

#include <cstddef>

namespace vhdx_programs {

// Waits until standard output, when it is a pipe, has room for `bytes` at
// once (true), or until an interrupt is requested (false). True at once when
// standard output is not a pipe, when `bytes` is at most PIPE_BUF, when
// `bytes` is more than half the pipe holds (about 28 KB by default: such a
// line may still be cut), and where the room cannot be known (systems other
// than Linux).
bool WaitForRoomInStandardOutput(std::size_t bytes);

}  // namespace vhdx_programs
