// The header block of the sample image (testsupport's default description),
// as the container report writes it at the start of a run, with decimal in
// force: header 2 is current, and the log, the metadata region and the BAT
// region take 1 MiB each from 1 MiB on.
#pragma once

namespace testsupport {

inline constexpr char kSampleHeaderBlock[] =
    "\n"
    "=========== HEADER \n"
    "SequenceNumber:   2\n"
    "Version:          1\n"
    "LogVersion:       0\n"
    "LogLength:        0x100000\n"
    "LogOffset:        0x100000\n"
    "MetadataLength:   0x100000\n"
    "MetadataOffset:   0x200000\n"
    "BATLength:        0x100000\n"
    "BATOffset:        0x300000\n"
    "\n";

}  // namespace testsupport
