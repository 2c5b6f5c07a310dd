// The exit statuses of the programs, in one place. The text program ends
// with kAllSound, kCommandLineError or kReportNotWritten; vhdx-inspect-json
// and vhdx-inspect-report use every one (their manual pages list them).
#pragma once

namespace vhdx_programs {

// Every image inspected is sound; also an empty folder. The text program
// ends with it whatever its images were.
inline constexpr int kAllSound = 0;
// The command line could not be understood.
inline constexpr int kCommandLineError = 1;
// The report could not be written to standard output.
inline constexpr int kReportNotWritten = 2;
// Not every image asked for could be reached: a folder that is missing, is
// not a folder or cannot be listed, an entry of one that cannot be examined,
// a list of files that cannot be read, or an empty name in one. Takes
// precedence over kImageNotSound: the run is incomplete.
inline constexpr int kFolderNotScanned = 3;
// At least one image is not sound (any verdict other than "sound").
inline constexpr int kImageNotSound = 4;
// The user interrupted the run (Ctrl+C): the lines written are whole, and
// the images after them were not inspected. 128 + SIGINT, as a shell reports
// a program that Ctrl+C ended.
inline constexpr int kInterrupted = 130;

}  // namespace vhdx_programs
