// The tool only ever reads images. Every entry of the hostile corpus is
// inspected, alone and in a directory scan; afterwards every file holds the
// same bytes and has the same modification and change times. Under strace,
// every open of a corpus path is read-only, no call that changes a path is
// made on one, and nothing is written through a descriptor open on one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/platform_expectations.h"
#include "e2e/run_tool.h"
#include "hostile_corpus.h"
#include "support/program_run.h"
#include "support/scratch_directory.h"

namespace hostile {
namespace {

namespace fs = std::filesystem;
using e2e::RunTool;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

// What is kept of one path to tell whether it changed.
struct PathState {
  std::string kind;  // "file", "directory", "symlink -> target", "other"
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  std::int64_t ctimeNs = 0;
  std::uint64_t contentHash = 0;  // data extents of a file, with their offsets
  friend bool operator==(const PathState&, const PathState&) = default;
};

std::ostream& operator<<(std::ostream& out, const PathState& s) {
  return out << s.kind << " size " << s.size << " mtime " << s.mtimeNs << " ctime " << s.ctimeNs << " hash " << std::hex
             << s.contentHash << std::dec;
}

std::int64_t Nanoseconds(const timespec& t) { return std::int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

void HashBytes(std::uint64_t& hash, const void* data, std::size_t length) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < length; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3u;  // FNV-1a
}

// Hashes the data extents of a (possibly sparse) file with their offsets, so
// that a 3 GiB sparse image costs only the bytes it holds.
std::uint64_t HashContent(const std::string& path) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  std::vector<char> chunk(1 << 20);
  off_t at = 0;
  for (;;) {
    off_t data = ::lseek(fd, at, SEEK_DATA);
    if (data < 0) break;  // ENXIO: no data after `at`
    const off_t hole = ::lseek(fd, data, SEEK_HOLE);
    HashBytes(hash, &data, sizeof data);
    for (off_t p = data; p < hole;) {
      const ssize_t got = ::pread(fd, chunk.data(), static_cast<std::size_t>(std::min<off_t>(hole - p, 1 << 20)), p);
      if (got <= 0) break;
      HashBytes(hash, chunk.data(), static_cast<std::size_t>(got));
      p += got;
    }
    at = hole;
  }
  ::close(fd);
  return hash;
}

std::map<std::string, PathState> Snapshot(const fs::path& directory) {
  std::map<std::string, PathState> states;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(directory)) {
    const std::string path = entry.path().string();
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) throw std::runtime_error("cannot lstat " + path);
    PathState state;
    state.size = static_cast<std::uint64_t>(info.st_size);
    state.mtimeNs = Nanoseconds(info.st_mtim);
    state.ctimeNs = Nanoseconds(info.st_ctim);
    if (S_ISREG(info.st_mode)) {
      state.kind = "file";
      state.contentHash = HashContent(path);
    } else if (S_ISDIR(info.st_mode)) {
      state.kind = "directory";
    } else if (S_ISLNK(info.st_mode)) {
      state.kind = "symlink -> " + fs::read_symlink(entry.path()).string();
    } else {
      state.kind = "other";
    }
    states[path] = state;
  }
  return states;
}

// The runs: one directory scan, and every entry alone.
std::vector<std::vector<std::string>> Runs(const fs::path& directory) {
  std::vector<std::vector<std::string>> runs{{"-p", directory.string()}};
  for (const Entry& entry : Corpus()) {
    // Every entry, but those WriteCorpus leaves out for the Windows program.
    const fs::path path = directory / entry.name;
    if (fs::exists(fs::symlink_status(path))) runs.push_back({"-f", path.string()});
  }
  return runs;
}

TEST(ReadOnly, ImagesAreUnchangedAfterInspection) {
  ScratchDirectory scratch;
  const fs::path directory = scratch.path() / "corpus";
  fs::create_directory(directory);
  WriteCorpus(directory);
  const auto before = Snapshot(directory);
  ASSERT_GE(before.size(), Runs(directory).size() - 1);

  for (const auto& arguments : Runs(directory)) {
    const ProgramRun run = RunTool(arguments);
    EXPECT_EQ(run.status, 0) << arguments[1];
  }

  const auto after = Snapshot(directory);
  EXPECT_EQ(after.size(), before.size());
  for (const auto& [path, state] : before) {
    const auto found = after.find(path);
    ASSERT_NE(found, after.end()) << path << " is gone";
    EXPECT_EQ(found->second, state) << path;
  }
}

// strace, or empty with the reason in HOSTILE_STRACE_MISSING.
constexpr std::string_view kStrace = HOSTILE_STRACE_PATH;

// One system call as strace writes it with -f -o: "<pid> name(arguments) = result".
struct Call {
  std::string name;
  std::string arguments;
};

std::vector<Call> ReadTrace(const std::string& path) {
  std::vector<Call> calls;
  std::ifstream trace(path);
  for (std::string text; std::getline(trace, text);) {
    std::size_t at = 0;
    while (at < text.size() && (std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == ' ')) ++at;
    const std::size_t name = at;
    while (at < text.size() && (std::islower(static_cast<unsigned char>(text[at])) ||
                                std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '_')) {
      ++at;
    }
    if (at == name || at >= text.size() || text[at] != '(') continue;  // a signal or exit line
    calls.push_back({text.substr(name, at - name), text.substr(at + 1)});
  }
  return calls;
}

// The result of a call: the number after the last " = ", or -1.
long Result(const Call& call) {
  const std::size_t at = call.arguments.rfind(" = ");
  if (at == std::string::npos) return -1;
  return std::strtol(call.arguments.c_str() + at + 3, nullptr, 10);
}

bool Writes(const std::string& name) {
  static const std::set<std::string> writes{"write",     "pwrite64",  "writev",   "pwritev",         "pwritev2",
                                            "ftruncate", "fallocate", "sendfile", "copy_file_range", "splice"};
  return writes.contains(name);
}

// Calls on a path that only look at it.
bool LooksOnly(const std::string& name) {
  static const std::set<std::string> looks{"stat",     "lstat",     "newfstatat", "statx",      "fstatat64",
                                           "access",   "faccessat", "faccessat2", "readlink",   "readlinkat",
                                           "getxattr", "lgetxattr", "listxattr",  "llistxattr", "statfs"};
  return looks.contains(name);
}

TEST(ReadOnly, ImagesAreOpenedForReadingOnly) {
  if (kStrace.empty()) GTEST_SKIP() << HOSTILE_STRACE_MISSING;
  if (e2e::WindowsProgramUnderTest()) GTEST_SKIP() << e2e::kOpensInWineServer;
  ScratchDirectory scratch;
  const fs::path directory = scratch.path() / "corpus";
  fs::create_directory(directory);
  WriteCorpus(directory);
  const std::string corpusPath = directory.string() + "/";

  std::set<std::string> opened;
  int run = 0;
  for (const auto& arguments : Runs(directory)) {
    const std::string trace = scratch / ("trace-" + std::to_string(run++));
    std::vector<std::string> argv{
        std::string(kStrace),
        "-f",
        "-qq",
        "-s",
        "4096",
        "-o",
        trace,
        "-e",
        "trace=%file,close,dup,dup2,dup3,fcntl,write,pwrite64,writev,pwritev,pwritev2,ftruncate,fallocate"};
    const std::vector<std::string> tool = e2e::ToolCommand();
    argv.insert(argv.end(), tool.begin(), tool.end());
    argv.insert(argv.end(), arguments.begin(), arguments.end());
#ifdef VHDX_HOSTILE_SANITIZED
    // LeakSanitizer cannot run under ptrace; the other sanitizers can.
    argv.insert(argv.begin(), {"/usr/bin/env", "ASAN_OPTIONS=detect_leaks=0"});
#endif
    const ProgramRun traced = testsupport::RunProgram(argv);
    if (traced.status != 0 && traced.err.find("ptrace") != std::string::npos) {
      GTEST_SKIP() << "strace cannot trace here: " << traced.err;
    }
    ASSERT_EQ(traced.status, 0) << traced.err;

    std::set<int> imageFds;  // descriptors open on a corpus path
    for (const Call& call : ReadTrace(trace)) {
      const int fd = std::atoi(call.arguments.c_str());  // the first argument, where it is a descriptor
      if (Writes(call.name)) {
        EXPECT_FALSE(imageFds.contains(fd)) << "a write to an image: " << call.name << "(" << call.arguments;
        continue;
      }
      if (call.name == "close") {
        imageFds.erase(fd);
        continue;
      }
      if (call.name == "dup" || call.name == "dup2" || call.name == "dup3" || call.name == "fcntl") {
        const bool duplicates = call.name != "fcntl" || call.arguments.find("F_DUPFD") != std::string::npos;
        if (duplicates && imageFds.contains(fd) && Result(call) >= 0) {
          imageFds.insert(static_cast<int>(Result(call)));
        }
        continue;
      }
      const std::size_t at = call.arguments.find(corpusPath);
      if (at == std::string::npos || call.name == "execve") continue;  // the tool's own command line
      const std::size_t end = call.arguments.find('"', at);
      const std::string path = call.arguments.substr(at, end - at);
      if (call.name == "open" || call.name == "openat" || call.name == "openat2") {
        const std::string flags = call.arguments.substr(end);
        EXPECT_NE(flags.find("O_RDONLY"), std::string::npos) << call.name << "(" << call.arguments;
        for (const char* write : {"O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC", "O_APPEND", "O_TMPFILE"}) {
          EXPECT_EQ(flags.find(write), std::string::npos) << call.name << "(" << call.arguments;
        }
        if (Result(call) >= 0) {
          imageFds.insert(static_cast<int>(Result(call)));
          opened.insert(path);
        }
      } else {
        EXPECT_TRUE(LooksOnly(call.name))
            << "a call that may change " << path << ": " << call.name << "(" << call.arguments;
      }
    }
  }
  // The trace saw the opens: every regular image was opened.
  for (const Entry& entry : Corpus()) {
    const fs::path path = directory / entry.name;
    if (fs::is_regular_file(fs::symlink_status(path))) {
      EXPECT_TRUE(opened.contains(path.string())) << path << " was never opened under the trace";
    }
  }
}

}  // namespace
}  // namespace hostile
