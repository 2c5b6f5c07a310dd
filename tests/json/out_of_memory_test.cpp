// A run that finds no memory never ends in std::terminate, at any -j.
//
// Each allocation in turn is refused, on the scan's thread (where the
// command line is read and the lines are written) or on the workers (where
// the images are inspected and their lines made). An allocation refused
// inside an inspection gives that image's line with
// inspection.out_of_memory (or partition_tables.allocation), as the library
// says; any other ends the run as
// one job ends it: the lines before it written whole, one line on standard
// error, status 2. The images have names of 3,000 bytes and more, and only
// allocations that large are refused: those are the ones that hold a name
// or a line, and the JSON library's destructors, which allocate a few bytes
// for each member (and end the program when they cannot), are left alone.
//
// And every thread that a run started is joined, also when starting the
// next one raised: one left running ends the program (std::thread), or is
// reported by ThreadSanitizer.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "support/plugin_image.h"
#include "support/refused_new.h"
#include "support/scratch_directory.h"
#include "vhdx-inspect-json/command_line.h"
#include "vhdx-inspect-json/parallel_run.h"

namespace json_test {
namespace {

using testsupport::Counted;

// An output of a fixed room that never allocates, as the program's standard
// output and error: every allocation refused on the scan's thread is one the
// run makes.
class FixedOutput final : public std::streambuf {
 public:
  FixedOutput() : room_(1 << 20) { setp(room_.data(), room_.data() + room_.size()); }
  std::string Text() const { return std::string(pbase(), pptr()); }

 private:
  std::vector<char> room_;
};

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

// The command line of vhdx-inspect-json with `arguments`, run in this
// process; with `refused`, its allocation `refused->second` of those that
// `refused->first` counts is refused. `refusedOne` tells whether it was.
// Allocations of this size and more are refused; every name is longer.
constexpr std::size_t kLong = 3000;

struct Refused {
  Counted counted;
  long nth;
};

Outcome RunInProcess(const std::vector<std::string>& arguments, const std::optional<Refused>& refused = std::nullopt,
                     bool* refusedOne = nullptr) {
  std::vector<const char*> argv = {"vhdx-inspect-json"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  FixedOutput outBuffer;
  FixedOutput errBuffer;
  std::ostream out(&outBuffer);
  std::ostream err(&errBuffer);
  out.exceptions(std::ios::badbit);  // as the program's standard output
  int status = 0;
  if (refused) {
    const testsupport::RefusedNew refuse(refused->counted, refused->nth, kLong);
    status = json_app::RunCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
    *refusedOne = refuse.Refused();
  } else {
    status = json_app::RunCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
  }
  return {status, outBuffer.Text(), errBuffer.Text()};
}

std::vector<nlohmann::json> Lines(const std::string& out) {
  std::vector<nlohmann::json> lines;
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

TEST(JsonOutOfMemory, EveryRefusedAllocationEndsTheImageOrTheRunAsOneJobDoes) {
  testsupport::ScratchDirectory scratch;
  // 15 folders of 200 bytes each: the paths are longer than kLong, and
  // shorter than the 4,096 bytes a path may have.
  std::filesystem::path folder = scratch.path();
  for (char letter = 'a'; letter < 'a' + 15; ++letter) folder /= std::string(200, letter);
  std::filesystem::create_directories(folder);
  const testsupport::PluginImage image = testsupport::PluginImage::Build({});
  std::vector<std::string> paths;
  for (const char* name : {"a.vhdx", "b.vhdx", "c.vhdx"}) {
    paths.push_back((folder / name).string());
    image.WriteTo(paths.back());
  }
  ASSERT_GT(paths.front().size(), kLong);
  const std::string noMemory =
      "vhdx-inspect-json: cannot write the report to standard output: " + std::string(std::strerror(ENOMEM)) + "\n";

  struct Case {
    const char* jobs;
    Counted counted;
  };
  for (const Case& c :
       {Case{"1", Counted::kThisThread}, Case{"4", Counted::kThisThread}, Case{"4", Counted::kOtherThreads}}) {
    std::vector<std::string> arguments = {"-j", c.jobs};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    const Outcome whole = RunInProcess(arguments);
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_EQ(Lines(whole.out).size(), 3U);
    bool sawWhole = false;
    for (long nth = 1; nth < 20000 && !sawWhole; ++nth) {
      SCOPED_TRACE(std::string("-j ") + c.jobs + (c.counted == Counted::kThisThread ? ", scan's thread" : ", workers") +
                   ", allocation " + std::to_string(nth));
      bool refused = false;
      const Outcome outcome = RunInProcess(arguments, Refused{c.counted, nth}, &refused);
      if (!refused) {
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.out, whole.out);
        sawWhole = true;
        continue;
      }
      if (outcome.status == 2) {
        EXPECT_EQ(outcome.err, noMemory);
        // The lines before the one that could not be made, whole.
        EXPECT_EQ(whole.out.compare(0, outcome.out.size(), outcome.out), 0) << outcome.out;
        EXPECT_TRUE(outcome.out.empty() || outcome.out.back() == '\n');
        continue;
      }
      EXPECT_EQ(outcome.err, "");
      const std::vector<nlohmann::json> lines = Lines(outcome.out);
      ASSERT_EQ(lines.size(), 3U) << outcome.out;
      if (outcome.status == 0) {
        EXPECT_EQ(outcome.out, whole.out);  // refused where the run could do without
        continue;
      }
      EXPECT_EQ(outcome.status, 4);
      int outOfMemory = 0;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]["path"], paths[i]);
        if (lines[i]["verdict"] == "sound") continue;
        // The library's line for no memory, or the partition tables' buffers'
        // own (tests/inspect/out_of_memory_test.cpp).
        const std::string check = lines[i]["failure"]["check"];
        EXPECT_TRUE(check == "inspection.out_of_memory" || check == "partition_tables.allocation") << check;
        ++outOfMemory;
      }
      EXPECT_EQ(outOfMemory, 1);
    }
    EXPECT_TRUE(sawWhole) << "a run with no refused allocation";
  }
}

// Every allocation of the run's start refused in turn, among them (with two
// cores or more) the second thread's while the first one runs: the start
// raises std::bad_alloc with no thread left running, or the run starts.
TEST(JsonOutOfMemory, AStartThatRaisesJoinsTheThreadsItStarted) {
  bool sawStart = false;
  for (long nth = 1; nth < 1000 && !sawStart; ++nth) {
    SCOPED_TRACE(nth);
    FixedOutput outBuffer;
    FixedOutput errBuffer;
    std::ostream out(&outBuffer);
    std::ostream err(&errBuffer);
    bool raised = false;
    bool refused = false;
    {
      const testsupport::RefusedNew refuse(Counted::kThisThread, nth);
      try {
        json_app::JsonLines lines(out);
        const json_app::ParallelRun run(lines, err, 4);
      } catch (const std::bad_alloc&) {
        raised = true;
      }
      refused = refuse.Refused();
    }
    EXPECT_EQ(raised, refused);
    EXPECT_EQ(errBuffer.Text(), "");
    sawStart = !refused;
  }
  EXPECT_TRUE(sawStart);
}

}  // namespace
}  // namespace json_test
