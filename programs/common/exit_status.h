// The exit statuses of vhdx-inspect-json (its manual page lists them).
#pragma once

namespace json_app {

// Every image inspected is sound; also an empty folder.
inline constexpr int kAllSound = 0;
// The command line could not be understood, as with the text program.
inline constexpr int kCommandLineError = 1;
// The report could not be written to standard output.
inline constexpr int kReportNotWritten = 2;
// A folder could not be scanned (missing, not a folder, unlistable), or an
// entry of one could not be examined. Takes precedence over kImageNotSound:
// the scan is incomplete.
inline constexpr int kFolderNotScanned = 3;
// At least one image is not sound (any verdict other than "sound").
inline constexpr int kImageNotSound = 4;
// The user interrupted the run (Ctrl+C): the lines written are whole, and
// the images after them were not inspected. 128 + SIGINT, as a shell reports
// a program that Ctrl+C ended.
inline constexpr int kInterrupted = 130;

}  // namespace json_app
