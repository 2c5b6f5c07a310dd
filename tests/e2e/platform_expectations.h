// Where the Windows program, run under wine, legitimately prints something
// other than the Linux program, all in one place: each expectation gives both
// forms and says why. Everything else the two programs print is the same,
// byte for byte once the Windows program's CR LF line ends are LF
// (run_tool.h).
//
// Messages that a folder scan takes from the system ("cannot be listed: ...",
// "cannot be examined: ...") come only from cases that are POSIX notions
// (link loops, permission bits): those cases run against the Linux program
// only, skipped for the Windows program with one of the reasons below.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "run_tool.h"

namespace e2e {

// Why an image could not be opened or positioned to. The number in
// "CreateFile failed with status N" and "SetFilePointerEx failed with status
// N" is the system's own code: errno on Linux, GetLastError() on Windows.
enum class Failure {
  kNoSuchFile,       // ENOENT 2; ERROR_FILE_NOT_FOUND 2
  kNoSuchFolder,     // a folder on the way is missing: ENOENT 2; ERROR_PATH_NOT_FOUND 3
  kFolder,           // the path names a folder: EISDIR 21; CreateFile opens no folder without
                     // FILE_FLAG_BACKUP_SEMANTICS: ERROR_ACCESS_DENIED 5
  kDevice,           // a character device (DevicePath()): the program refuses what is not a regular
                     // file with EINVAL 22; with ERROR_ACCESS_DENIED 5 what is not a disk file
  kInvalidPosition,  // a file position of 2^63 or beyond: EINVAL 22; ERROR_NEGATIVE_SEEK 131
};

// The status the program under test reports for `failure`.
int StatusOf(Failure failure);

// A character device that exists on every machine: /dev/null on Linux, the
// Windows device NUL on Windows.
std::string DevicePath();

// The path under which a scan of `folder` (as given on the command line)
// names the folder's entry `name`. Linux: the two joined with '/' unless the
// folder ends with one. Windows: Boost.Filesystem joins them with '\', and a
// listing of a folder other than a drive's root starts with "." and "..",
// whose path is then replaced by the next name's; replacing a file name drops
// every separator before it, so "d", "d/", "d\" and "d//" all give
// "d\name".
std::string ScannedPath(const std::string& folder, const std::string& name);

// The names of the entries of `directory` (without "." and "..") in the order
// in which the program under test meets them in a scan: the file system's
// order, which the program keeps. Linux: readdir's order. Windows: wine lists
// a folder sorted by name, compared without case (lower-cased), then exactly;
// NTFS sorts by the upper-cased name, the same order for the names the tests
// write, which have no character between 'Z' and 'a'.
std::vector<std::string> NamesInListingOrder(const std::filesystem::path& directory);

// A file name (UTF-8) as the program prints it. Linux: its bytes as given.
// Windows: the program takes its arguments and forms the names it lists in
// the ANSI code page, which is 1252 under the locale the tests run wine in;
// characters U+00A0 to U+00FF, where code page 1252 and Latin-1 agree, become
// one byte each; any other character of the Basic Multilingual Plane beyond
// ASCII is outside the code page and becomes "?", the form in which the
// program shows a name it refuses (the tests use no other characters).
std::string InProgramCodePage(const std::string& utf8);

// The system's words for a standard output that refuses the report: strerror
// on Linux; on Windows the system's message for the error code of the C
// runtime's failed WriteFile, here as wine words them.
std::string UnwritableOutputCause(testsupport::StandardOutput output);

// True when a pipe whose reader has gone ends the program by SIGPIPE, as on
// POSIX systems. Windows has no such signal: the write fails like any other.
bool ClosedPipeEndsBySigpipe();

// True when `path` is a symbolic link, a FIFO, a socket or a device: kinds of
// file that are POSIX notions, which wine only emulates.
bool IsPosixOnlyFileType(const std::filesystem::path& path);

// Reasons for cases that run against the Linux program only.
inline constexpr char kPosixFileTypes[] =
    "symbolic links, FIFOs, sockets and devices are POSIX notions that wine only emulates";
inline constexpr char kPermissionBits[] =
    "permission bits and other accounts are POSIX notions that wine only emulates (and wine's prefix "
    "serves only its owner)";
inline constexpr char kPosixLocks[] =
    "the lock is a POSIX flock; Windows programs refuse each other through sharing modes, which "
    "wineserver keeps among Windows processes only";
inline constexpr char kOpensInWineServer[] =
    "wine's server, a separate process, opens files for the Windows program, so a trace of the program's "
    "own process sees none of its opens (that the images stay unchanged is checked for both programs)";

}  // namespace e2e
