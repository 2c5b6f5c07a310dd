// The hostile corpus through the built program: every entry alone, then all
// of them in one directory scan. Whatever the input, the run ends by itself
// within a few seconds, with exit status 0, no signal and nothing on the error
// stream; a fault gets its one diagnostic line and one "Exception occurred: "
// line; and the peak memory stays within the reader's two working buffers
// plus the partition-table buffers that the image may claim.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "e2e/platform_expectations.h"
#include "e2e/run_tool.h"
#include "hostile_corpus.h"
#include "support/plugin_image.h"
#include "support/program_run.h"
#include "support/scratch_directory.h"

namespace hostile {
namespace {

namespace fs = std::filesystem;
using e2e::RunTool;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

constexpr double kSecondsPerImage = 10;
constexpr long kWorkingBuffersKiB = 3 * 1024;  // the reader's 1 MiB and 2 MiB
constexpr long kSlackKiB = 2 * 1024;           // stream buffers, file names, rounding

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

bool EndsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// What holds for every run over hostile input.
void ExpectCleanEnd(const ProgramRun& run, double secondsAllowed) {
  EXPECT_FALSE(run.timedOut) << "the run was killed at the time limit";
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_LT(run.seconds, secondsAllowed);
}

// The entry's whole output when it is given; otherwise the "Parsing " line,
// one diagnostic line and one "Exception occurred: " line at the end exactly
// when the image is refused, and the report lines expected before them, in
// order, with none of those that must be absent.
void ExpectDiagnosticAndReportLines(const std::string& out, const Expected& expected, const std::string& path) {
  if (!expected.whole.empty()) {
    EXPECT_EQ(out, WithPath(expected.whole, path));
    return;
  }
  EXPECT_NE(out.find("Parsing " + path + "\n\n"), std::string::npos) << out;
  EXPECT_EQ(Count(out, "Exception occurred: "), expected.Corrupt() ? 1u : 0u) << out;
  std::string body = out;
  if (expected.Corrupt()) {
    const std::string ending = WithPath(expected.diagnostic, path) + "\n" + kException;
    EXPECT_TRUE(EndsWith(out, ending)) << "expected the output to end with\n" << ending << "but it is\n" << out;
    body.resize(out.size() - std::min(out.size(), ending.size()));
  }
  if (!expected.tail.empty()) {
    EXPECT_TRUE(EndsWith(body, expected.tail)) << "expected the output to end with\n"
                                               << expected.tail << "but it is\n"
                                               << out;
  }
  std::size_t from = 0;
  for (const std::string& text : expected.contains) {
    const std::size_t at = out.find(WithPath(text, path), from);
    EXPECT_NE(at, std::string::npos) << "missing, or out of order:\n" << text << "\nin\n" << out;
    if (at != std::string::npos) from = at + text.size();
  }
  for (const std::string& text : expected.absent) {
    EXPECT_EQ(out.find(WithPath(text, path)), std::string::npos) << "unexpected:\n" << text;
  }
}

bool Sanitized() {
#ifdef VHDX_HOSTILE_SANITIZED
  return true;
#else
  return false;
#endif
}

// Peak memory of a run that opens nothing: the program, its libraries and
// the reader's buffers before anything is read into them. Under wine this
// holds wine's loader and DLLs too (about 9 MiB against the Linux program's
// 4 MiB); what an image adds on top is the same for both programs, so the
// same bound holds, and so does the time limit (a wine run takes well under
// a second).
long BaselinePeakKiB() {
  static const long baseline = [] {
    ScratchDirectory scratch;
    return RunTool({"-f", scratch / "missing.vhdx"}).peakKiB;
  }();
  return baseline;
}

class HostileEntry : public testing::TestWithParam<Entry> {};

TEST_P(HostileEntry, EndsCleanlyWithItsDiagnosticAndBoundedMemory) {
  const Entry& entry = GetParam();
  ScratchDirectory scratch;
  const std::string path = scratch / entry.name;
  entry.write(path);
  if (e2e::WindowsProgramUnderTest() && e2e::IsPosixOnlyFileType(path)) GTEST_SKIP() << e2e::kPosixFileTypes;

  const ProgramRun run = RunTool({"-f", path});
  ExpectCleanEnd(run, kSecondsPerImage);
  ExpectDiagnosticAndReportLines(run.out, entry.expected, path);
  if (!Sanitized()) {
    const long bound =
        BaselinePeakKiB() + kWorkingBuffersKiB + static_cast<long>(entry.expected.partitionBuffers / 1024) + kSlackKiB;
    EXPECT_LE(run.peakKiB, bound) << "baseline " << BaselinePeakKiB() << " KiB";
  }
}

std::string TestName(const testing::TestParamInfo<Entry>& info) {
  std::string name = info.param.name.substr(0, info.param.name.size() - std::string(".vhdx").size());
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, HostileEntry, testing::ValuesIn(Corpus()), TestName);

// All entries in one directory: the scan goes through to the end. The number
// base of the output carries from image to image, so the lines are counted
// here rather than compared.
TEST(HostileDirectory, TheScanGoesOnPastEveryEntry) {
  ScratchDirectory scratch;
  const fs::path directory = scratch.path() / "corpus";
  fs::create_directory(directory);
  WriteCorpus(directory);

  const ProgramRun run = RunTool({"-p", directory.string()});
  ExpectCleanEnd(run, kSecondsPerImage * static_cast<double>(Corpus().size()));

  std::size_t corrupt = 0;
  std::size_t reported = 0;
  for (const Entry& entry : Corpus()) {
    const std::string path = (directory / entry.name).string();
    if (!fs::exists(fs::symlink_status(path))) continue;  // left out for the Windows program
    const Expected& e = entry.expected;
    if (e.skippedByDirectoryScan) {
      EXPECT_EQ(run.out.find(path), std::string::npos) << path;
    } else if (!e.directoryScanLine.empty()) {
      EXPECT_EQ(Count(run.out, WithPath(e.directoryScanLine, path)), 1u) << path;
    } else {
      corrupt += e.Corrupt() ? 1 : 0;
      reported += e.ReachesReport() ? 1 : 0;
    }
  }
  EXPECT_EQ(Count(run.out, "Exception occurred: plugin VHDX is corrupt\n"), corrupt);
  EXPECT_EQ(Count(run.out, "Exception occurred: "), corrupt);
  EXPECT_EQ(Count(run.out, "\nParsing ") + (run.out.rfind("Parsing ", 0) == 0 ? 1 : 0), reported);
  EXPECT_EQ(run.out.find("inner.vhdx"), std::string::npos) << "a sub-directory was entered";
}

// Files and directories that the user running the tool may not read. As root,
// which may read anything, the tool runs as "nobody".
TEST(HostilePermissions, UnreadableFileAndDirectory) {
  if (e2e::WindowsProgramUnderTest()) GTEST_SKIP() << e2e::kPermissionBits;
  ScratchDirectory scratch;
  const fs::path folder = scratch.path() / "images";
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  const std::string unreadable = (folder / "unreadable.vhdx").string();
  testsupport::ImageDescription noTrailer;
  noTrailer.gptTrailer = false;
  testsupport::PluginImage::Build(noTrailer).WriteTo(unreadable);
  fs::permissions(unreadable, fs::perms::none);
  const std::string readable = (folder / "readable.vhdx").string();
  testsupport::PluginImage::Build(noTrailer).WriteTo(readable);
  fs::permissions(readable, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string closed = (scratch.path() / "closed").string();
  fs::create_directory(closed);
  fs::permissions(closed, fs::perms::none);

  const ProgramRun file = e2e::RunToolAsOrdinaryUser(scratch, {"-f", unreadable});
  ExpectCleanEnd(file, kSecondsPerImage);
  EXPECT_EQ(file.out, "CreateFile failed with status 13 for file: " + unreadable + "\n" + kException);

  const ProgramRun directory = e2e::RunToolAsOrdinaryUser(scratch, {"-p", closed});
  ExpectCleanEnd(directory, kSecondsPerImage);
  EXPECT_EQ(directory.out, "VHDX directory " + closed + " cannot be listed: Permission denied\n");

  // In a scan the unreadable image is reported and the readable one inspected
  // in full, whichever comes first (the container report leaves decimal).
  const ProgramRun scan = e2e::RunToolAsOrdinaryUser(scratch, {"-p", folder.string()});
  ExpectCleanEnd(scan, 2 * kSecondsPerImage);
  EXPECT_EQ(Count(scan.out, "CreateFile failed with status 13 for file: " + unreadable + "\n" + kException), 1u);
  EXPECT_EQ(Count(scan.out, "Parsing " + readable + "\n"), 1u);
  EXPECT_EQ(Count(scan.out, "Exception occurred: "), 1u);
}

}  // namespace
}  // namespace hostile
