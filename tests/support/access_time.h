// Which files a run read, told by their access times: each file's is set two
// days back before the run, and a read moves it forward (with relatime too,
// which updates an access time older than a day).
#pragma once

#include <string>

namespace testsupport {

// Sets the access time of `path` two days back; a failure fails the test.
void AgeAccessTime(const std::string& path);

// True when `path` was read since AgeAccessTime.
bool ReadSinceAged(const std::string& path);

}  // namespace testsupport
