#include "support/access_time.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <ctime>

namespace testsupport {

void AgeAccessTime(const std::string& path) {
  const timespec times[2] = {{std::time(nullptr) - 2 * 24 * 3600, 0}, {0, UTIME_OMIT}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

bool ReadSinceAged(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && info.st_atim.tv_sec > std::time(nullptr) - 24 * 3600;
}

}  // namespace testsupport
